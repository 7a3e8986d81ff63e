// Score-based sequence weighting.
#include "engine/weighting.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sequences/sequence.h"
#include "engine/stat.h"
#include "foundation/errors.h"
#include "foundation/output_files.h"

// Scores above the median by more than this many deviations fall on the linear scale.
constexpr double MEDIAN_CUT_DEVIATIONS = 3.0;

// The weight matrix: rows by sequence, columns by candidate model; absent (null) until
// init_internal_weights.
struct WeightMatrix {
    double **all_weights = nullptr;
    int weight_rows = 0;
    int weight_columns = 0;
};
static WeightMatrix weight_matrix;

static double *first_weight(const Sequence *seq, const char *who) {
    if (!seq->weights)
        error("%s: sequence %s carries no family weights", who,
              shown_text(seq->id ? seq->id : "(no ID)").c_str());
    return &seq->weights[0];
}

void init_internal_weights(SequenceTable *table, int flag, int columns) {
    if (!flag || !table || table->count == 0 || weight_matrix.all_weights || columns < 1) return;
    for (int i = 0; i < table->count; i++)
        if (table->seqs[i]) first_weight(table->seqs[i], "init_internal_weights");
    weight_matrix.all_weights = reinterpret_cast<double **>(
        double_alloc((size_t)table->count, (size_t)columns, sizeof(double)));
    weight_matrix.weight_rows = table->count;
    weight_matrix.weight_columns = columns;
    for (int i = 0; i < table->count; i++) {
        double w = table->seqs[i] ? table->seqs[i]->weights[0] : 1.0;
        for (int c = 0; c < columns; c++) weight_matrix.all_weights[i][c] = w;
    }
}

void set_internal_weights(SequenceTable *table, int flag, int c) {
    if (!flag || !weight_matrix.all_weights || !table) return;
    if (c < 0 || c >= weight_matrix.weight_columns)
        error("set_internal_weights: column %d outside the %d columns", c,
              weight_matrix.weight_columns);
    int n = table->count < weight_matrix.weight_rows ? table->count : weight_matrix.weight_rows;
    for (int i = 0; i < n; i++)
        if (table->seqs[i])
            *first_weight(table->seqs[i], "set_internal_weights") = weight_matrix.all_weights[i][c];
}

void free_internal_weights(SequenceTable *table, int flag) {
    if (!flag || !table || !weight_matrix.all_weights) return;
    double_free(reinterpret_cast<void **>(weight_matrix.all_weights),
                (size_t)weight_matrix.weight_rows);
    weight_matrix.all_weights = nullptr;
    weight_matrix.weight_rows = weight_matrix.weight_columns = 0;
}

double internal_weight_value(int row, int column) {
    if (!weight_matrix.all_weights || row < 0 || row >= weight_matrix.weight_rows || column < 0 ||
        column >= weight_matrix.weight_columns)
        return 0.0;
    return weight_matrix.all_weights[row][column];
}

int score_compare(const void *a, const void *b) {
    float x = *static_cast<const float *>(a), y = *static_cast<const float *>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

void weight_model(SequenceTable *table, void *, void *, int c, int normalise, int method, float a,
                  float b) {
    if (method == WEIGHT_NONE || !table || table->count == 0 || !weight_matrix.all_weights) return;
    if (c < 0 || c >= weight_matrix.weight_columns)
        error("weight_model: column %d outside the %d columns", c, weight_matrix.weight_columns);
    int n = table->count < weight_matrix.weight_rows ? table->count : weight_matrix.weight_rows;
    // Only sequences with a score take part; the others keep their values.
    std::vector<int> rows;
    std::vector<float> scores;
    for (int j = 0; j < n; j++) {
        const Sequence *s = table->seqs[j];
        if (s && s->simple_score != SCORE_UNSET && std::isfinite(s->simple_score)) {
            rows.push_back(j);
            scores.push_back(s->simple_score);
        }
    }
    if (rows.empty()) {
        std::fprintf(stderr, "Warning: no sequence has a score; the weights of model %d are kept\n",
                     c);
        return;
    }
    std::vector<double> old((size_t)n);
    for (int j = 0; j < n; j++) old[(size_t)j] = weight_matrix.all_weights[j][c];
    float mn = scores[0], mx = scores[0];
    for (float s : scores) {
        if (s < mn) mn = s;
        if (s > mx) mx = s;
    }
    double la = std::log((double)a);
    auto expo = [&](float s) { return std::exp(la * (double)(s - mx) / (double)(mn - mx)); };
    if (method == WEIGHT_EXPONENTIAL || method == WEIGHT_MEDIAN_CUT) {
        double bound = 0.0;
        if (method == WEIGHT_MEDIAN_CUT) {
            std::vector<float> sorted = scores;
            std::qsort(sorted.data(), sorted.size(), sizeof(float), score_compare);
            Stat st;
            StatInit(&st);
            for (float s : scores) StatAdd(&st, s);
            bound = sorted[sorted.size() / 2] + MEDIAN_CUT_DEVIATIONS * StatSVar(&st);
        }
        for (size_t k = 0; k < rows.size(); k++) {
            double v;
            if (mn == mx)
                v = 1.0;
            else if (method == WEIGHT_EXPONENTIAL || scores[k] <= bound)
                v = expo(scores[k]);
            else
                v = 1.0 - (double)(mx - scores[k]) / (double)(mx - mn);
            weight_matrix.all_weights[rows[k]][c] = v;
        }
    }
    if (normalise) {
        double S = 0.0;
        for (int j = 0; j < n; j++)
            if (table->seqs[j] && table->seqs[j]->weights) S += table->seqs[j]->weights[0];
        double ln_n = std::log((double)n);
        for (int j = 0; j < n; j++) {
            double &v = weight_matrix.all_weights[j][c];
            if (S > n)
                v *= n / S;
            else if (S < ln_n && S > 0)
                v *= ln_n / S;
            else if (S <= 0)
                v = 1.0;
        }
    }
    for (int j = 0; j < n; j++)
        weight_matrix.all_weights[j][c] =
            (1.0 - b) * old[(size_t)j] + (double)b * weight_matrix.all_weights[j][c];
}

void print_weights(const SequenceTable *table, const char *prefix, int number, int model_number,
                   void *, void *, void *, int families) {
    std::string name = std::string(prefix ? prefix : "") + std::to_string(number);
    FILE *out = open_outputfile(name.c_str(), ".weightoutput");
    int count = table ? table->count : 0;
    std::fprintf(out, "candidate model #%d\n", model_number);
    std::fprintf(out, "%% %d sequence%s and ", count, (count == 1 || count == -1) ? "" : "s");
    std::fprintf(out, " %d ", families);
    std::fprintf(out, families < 2 ? "family\n" : "families\n");
    // One weight column is written, whatever the number of families.
    std::fprintf(out, "%d\t%d\n", count, 1);
    std::fprintf(out, "%% ID\tWeight\t\tNLL-null Score\n");
    for (int i = 0; i < count; i++) {
        const Sequence *s = table->seqs[i];
        if (!s) continue;
        std::fprintf(out, "%s\t", s->id ? s->id : "");
        std::fprintf(out, "%f\t", s->weights ? s->weights[0] : 1.0);
        std::fprintf(out, "%f\n", s->simple_score);
    }
    close_outputfile(out);
}
