// Score reports: the score-file writer and the operations on selected sequences.

#include "scorefiles/seqio_report.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/params.h"
#include "sequences/seqio_print.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"

namespace {

// ID column widths of the report.
constexpr int ID_WIDTH_MIN = 14;
constexpr int ID_WIDTH_MAX = 40;
constexpr int ID_LONG = 42;  // longest ID that still widens the column

void reset_columns(SequenceTable *table) {
    for (int i = 0; i < table->count; i++)
        if (Sequence *s = table->seqs[i]) s->report1 = s->report2 = SCORE_UNSET;
}

// An annotation as written in a row: without the line end it may have kept from a score file.
std::string row_annotation(const char *a) {
    std::string s(a);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// A report column as a row writes it: negated when asked, except the unset value, which is
// written as score files hold it.
double row_column(float value, int negate) {
    return negate && value != SCORE_UNSET ? -value : value;
}

// The selection tests of a selection value's bits, in the words of sel_message.
void write_tests(FILE *out, long long m, const char *prefix, double nll, double complex,
                 double emax) {
    if (m & SELECT_SIMPLE) fprintf(out, " Simple (%sNLLnull %6.3f)", prefix, nll);
    if (m & SELECT_SECOND) fprintf(out, " Reverse/Complex (%sNLLcomplex %6.3f)", prefix, complex);
    if (m & SELECT_EVALUE) fprintf(out, " E-value (%sEmax %.1e)", prefix, emax);
    if (m & SELECT_ALL) fprintf(out, " All");
}

}  // namespace

float score_adjustment(int kind, int seqlen, int modlen) {
    if (kind == ADJUST_LOG_SUM) {
        long sum = static_cast<long>(seqlen) + modlen;
        return sum > 0 ? static_cast<float>(std::log(static_cast<double>(sum))) : 0.0f;
    }
    if (kind == ADJUST_LOG_SEQ)
        return seqlen > 0 ? static_cast<float>(std::log(static_cast<double>(seqlen))) : 0.0f;
    return 0.0f;
}

void SortAndPrintZscore(FILE *out, SequenceTable *table, ScoreParams *score) {
    if (!out || !score || score->select_score == 0 || !table || table->count == 0) return;
    compact_sequence_table(table);
    if (table->count == 0) return;
    const char *c1 = "Column1", *d1 = "the first column of scores";
    const char *c2 = "Column2", *d2 = "the second column of scores";
    if (columns_unset(table)) {
        assign_sort_columns(table, score);
        c1 = "Simple";
        d1 = "NLL-NULL using FIM probabilities";
        switch (score->subtract_null) {
            case NULL_COMPLEX:
                c2 = "Complex";
                d2 = "Complex model NLL-NULL score using FIM probabilities";
                break;
            case NULL_USER:
                c2 = "User's";
                d2 = "NLL-NULL for user input NULL model";
                break;
            case NULL_REVERSE:
                c2 = "Reverse";
                d2 = "NLL-NULL for the reverse sequence NULL model";
                break;
            case NULL_SCALED:
                c2 = "Scaled";
                d2 = "Scaled NLL-NULL using FIM probabilities";
                break;
            default:
                c2 = "Raw";
                d2 = "the raw NLL score";
                break;
        }
    }
    size_t M = 0;
    bool evalues = false;
    for (int i = 0; i < table->count; i++) {
        const Sequence *s = table->seqs[i];
        if (s->id) M = std::max(M, strlen(s->id));
        if (s->evalue != SCORE_UNSET) evalues = true;
    }
    int width = M > ID_LONG ? ID_WIDTH_MAX : (M >= 13 ? static_cast<int>(M) + 2 : ID_WIDTH_MIN);

    fprintf(out, "%%\n%% %s: %s\n", c1, d1);
    if (score->viterbi_threshold != SCORE_UNSET)
        fprintf(out, "%%    Calculated when Viterbi Simple < viterbi_threshold (%.2f)\n",
                score->viterbi_threshold);
    fprintf(out, "%% %s: %s\n", c2, d2);
    if (score->subtract_null != NULL_RAW && score->subtract_null != NULL_SIMPLE)
        fprintf(out, "%%    Calculated when Simple < simple_threshold (%.2f)\n",
                score->simple_threshold);
    if (evalues) {
        fprintf(out, "%% E-value on N (=%d) sequences:\n", score->dbsize);
        fprintf(out, "%%    N / (1 + exp(-(%s(=%6.4f) * Reverse)^tau(=%6.4f)))\n",
                score->query ? "swlambda" : "lambda",
                score->query ? score->swlambda : score->lambda, score->tau);
        if (!score->query)
            fprintf(out, "%%    Calculated when Simple < simple_threshold (%.2f)\n",
                    score->simple_threshold);
        fprintf(out, "%%    Rescale E-values or use -dbsize for multiple scoring runs.\n");
    }
    long long k = std::llabs(static_cast<long long>(score->sort));
    if (k != 0) {
        if (k == 4 && !evalues) {
            score->sort = score->sort < 0 ? -1 : 1;
            k = 1;
        }
        const char *key = k == 1   ? c1
                          : k == 2 ? c2
                          : k == 4 ? "E-value"
                                   : "Error in setting of sort";
        fprintf(out, "%% Scores sorted by %s, %s first\n", key,
                score->sort >= 0 ? "best" : "worst");
    }
    fprintf(out, "%%\n");
    fprintf(out, "%%");
    fprintf(out, " %-*s  %6s %11s %11s", width - 2, "Sequence ID", "Length", c1, c2);
    if (evalues) fprintf(out, " %11s", "E-value");
    fprintf(out, "      X count\n");

    sort_scores_as_specified(score, table);
    for (int i = 0; i < table->count; i++) {
        const Sequence *s = table->seqs[i];
        if (!score_selected(s, score, score->select_score)) continue;
        fprintf(out, "%-*s  %5d  %11.2f %11.2f", width, s->id ? s->id : "", s->len,
                row_column(s->report1, score->negate), row_column(s->report2, score->negate));
        if (evalues) fprintf(out, "    %9.2e", s->evalue);
        if (s->xcount != 0) fprintf(out, "      %3d X", static_cast<int>(s->xcount));
        if (s->annotation) fprintf(out, "\t:%-50s", row_annotation(s->annotation).c_str());
        fputc('\n', out);
    }
    sort_direction = 1;
}

void print_selected_seq(FILE *out, SequenceTable *table, ScoreParams *score) {
    if (!out || !table || !score) return;
    if (columns_unset(table)) assign_sort_columns(table, score);
    for (int i = 0; i < table->count; i++) {
        Sequence *s = table->seqs[i];
        if (s && score_selected(s, score, score->select_seq)) pretty_print_sequence(out, s);
    }
    reset_columns(table);
}

void sel_message(FILE *out, const char *option, const char *text, const char *s1, const char *s2,
                 int value, int force, const ScoreParams *score) {
    if (!out || !score || (value == 0 && !force)) return;
    const char *sep = (s1 || s2) ? " " : "";
    if (!text) text = "";
    if (!s1) s1 = "";
    if (!s2) s2 = "";
    if (value == SELECT_ALL) {
        fprintf(out, "%% %s%s%s%s:  All ", text, sep, s1, s2);
    } else if (value != 0) {
        fprintf(out, "%% %s %s%s%sif %s than:\n%%\t", text, s1, s2, sep,
                value > 0 ? "better" : "worse");
        write_tests(out, std::llabs(static_cast<long long>(value)), "", score->NLLnull,
                    score->NLLcomplex, score->Emax);
    } else {
        fprintf(out, "%% %s: \n%%\t NONE", text);
    }
    fprintf(out, " (%s=%d)\n", option ? option : "", value);
}

void mdsel_message(FILE *out, const char *option, const char *text, const char *s1, const char *s2,
                   int value, const ScoreParams *score) {
    if (!out || !score || value == 0) return;
    const char *sep = (s1 || s2) ? " " : "";
    if (!text) text = "";
    if (!s1) s1 = "";
    if (!s2) s2 = "";
    if (value == SELECT_ALL) {
        fprintf(out, "%% %s %s%s:  All ", text, s1, s2);
    } else {
        fprintf(out, "%% %s %s%s%sif %s than:\n%%\t", text, s1, s2, sep,
                value > 0 ? "better" : "worse");
        write_tests(out, std::llabs(static_cast<long long>(value)), "md", score->mdNLLnull,
                    score->mdNLLcomplex, score->mdEmax);
    }
    fprintf(out, " (%s=%d)\n", option ? option : "", value);
}
