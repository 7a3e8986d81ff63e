// Alignment weighting: base weights by method, the bits-saved adjustment, the weight file and
// the summary.
#include "models/weightalignment.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "models/prior.h"
#include "sequences/seqio_print.h"
#include "sequences/sequence.h"

const char *const aweight_method_names[AWEIGHT_METHODS] = {"none", "brennel", "henikoff", "flat"};

// Wildcard indices of the nucleic and protein alphabets, and the letters they stand for.
enum { NUC_R = 4, NUC_Y = 5, NUC_N = 6 };
enum { PROT_B = 20, PROT_Z = 21, PROT_X = 22 };
enum { PROT_D = 2, PROT_E = 3, PROT_N = 11, PROT_Q = 13 };
constexpr int NUC_LETTERS = 4;
constexpr int PROT_LETTERS = 20;

// The total weight of method 1 is N to this power, whatever the exponent says.
constexpr double BRENNEL_TOTAL_EXPONENT = 0.5;
// Bits-saved iterations: limits on the total, the tolerance on the saving, the iteration cap,
// the damping factors, the cost of an impossible letter and the unset saving.
constexpr double ADJUST_MIN_TOTAL = 1e-20;
constexpr double ADJUST_MAX_TOTAL = 1e20;
constexpr double ADJUST_TOLERANCE = 1e-5;
constexpr int ADJUST_MAX_ITERATIONS = 40;
constexpr double ETA_START = 0.7;
constexpr double ETA_GROW = 1.2;
constexpr double ETA_GROW_MAX = 0.8;
constexpr double ETA_SHRINK_MAX = 0.5;
constexpr double IMPOSSIBLE_LETTER_COST = 99999.0;
constexpr double SAVING_UNSET = -9999.0;

// The delete index of an alignment block under the current alphabet.
static int delete_index() {
    return alphabet->length_wild + 1;
}

// True for a real letter of an emission table of A letters: below A and not the delete index
// (which lies above A but for the codon alphabet, whose entries are nucleotides).
static bool is_letter(int c, int A) {
    return c < A && c != delete_index();
}

double fill_freqtab(float *counts, int column, const double *weights, unsigned char *const *rows,
                    int nrows, int skip) {
    const int A = alphabet->emit_length;
    const int del = delete_index();
    for (int a = 0; a < A; a++) counts[a] = 0.0f;
    double total = 0.0;
    for (int k = 0; k < nrows; k++) {
        int c = rows[k][column];
        double w = weights ? weights[k] : 1.0;
        if (is_letter(c, A)) {
            counts[c] += (float)w;
            total += w;
            continue;
        }
        if (c == del || skip) continue;
        total += w;
        int id = alphabet->id;
        if (id == DNA_ALPHABET_ID || id == RNA_ALPHABET_ID) {
            if (c == NUC_R) {
                counts[0] += (float)(w / 2);
                counts[1] += (float)(w / 2);
            } else if (c == NUC_Y) {
                counts[2] += (float)(w / 2);
                counts[3] += (float)(w / 2);
            } else if (c == NUC_N) {
                for (int a = 0; a < NUC_LETTERS; a++) counts[a] += (float)(w / NUC_LETTERS);
            } else {
                error("illegal wildcard in nucleic alphabet");
            }
        } else if (id == PROTEIN_ALPHABET_ID) {
            if (c == PROT_B) {
                counts[PROT_D] += (float)(w / 2);
                counts[PROT_N] += (float)(w / 2);
            } else if (c == PROT_Z) {
                counts[PROT_Q] += (float)(w / 2);
                counts[PROT_E] += (float)(w / 2);
            } else if (c == PROT_X) {
                for (int a = 0; a < PROT_LETTERS; a++) counts[a] += (float)(w * 0.05);
            } else {
                error("illegal wildcard in protein alphabet");
            }
        }
    }
    return total;
}

// Scales weights to the given total; weights summing to 0 or less become 1/N each.
static void scale_to_total(std::vector<double> &w, double total) {
    double sum = 0.0;
    for (double v : w) sum += v;
    for (double &v : w) v = sum <= 0.0 ? 1.0 / (double)w.size() : v * total / sum;
}

// Counts of a column turned into the prior's estimate and normalised to probabilities.
static void column_probabilities(std::vector<float> &table, PriorLib *prior) {
    adapt_freq_table(table.data(), prior, nullptr, 1.0, 0.0);
    double sum = 0.0;
    for (float v : table) sum += v;
    if (!(sum > 0.0)) error("weight_alignment: probabilities sum to %g", sum);
    for (float &v : table) {
        if (v < 0.0f) error("weight_alignment: negative probability %g", (double)v);
        v = (float)(v / sum);
    }
}

// Base weights of methods 1 and 2: shares of each column's distinct letters, averaged over the
// row's letters.
static void position_weights(const AlignmentBlock *block, std::vector<double> &w) {
    const int A = alphabet->emit_length;
    const int N = block->nseqs;
    std::vector<float> counts((size_t)A);
    std::vector<double> share((size_t)A);
    std::vector<int> letters((size_t)N, 0);
    for (int j = 0; j < block->ncols; j++) {
        fill_freqtab(counts.data(), j, nullptr, block->rows, N, 1);
        int r = 0;
        for (int a = 0; a < A; a++)
            if (counts[(size_t)a] > 0.0f) r++;
        for (int a = 0; a < A; a++)
            share[(size_t)a] = counts[(size_t)a] > 0.0f ? 1.0 / (r * (double)counts[(size_t)a]) : 0;
        for (int k = 0; k < N; k++) {
            int c = block->rows[k][j];
            if (is_letter(c, A)) {
                w[(size_t)k] += share[(size_t)c];
                letters[(size_t)k]++;
            }
        }
    }
    for (int k = 0; k < N; k++)
        if (letters[(size_t)k] > 0) w[(size_t)k] /= letters[(size_t)k];
}

// The new shape x_k = (score_k / m_k)^P normalised to sum 1 (rows without letters 0; 1/N each
// when nothing is left), taken through logarithms so that large exponents cannot overflow.
static void shape_from_scores(const std::vector<double> &score, const std::vector<int> &m, double P,
                              std::vector<double> &x) {
    const size_t N = x.size();
    std::vector<double> lx(N, -INFINITY);
    double top = -INFINITY;
    for (size_t k = 0; k < N; k++) {
        if (m[k] > 0) lx[k] = P * std::log(score[k] / m[k]);
        if (std::isnan(lx[k])) lx[k] = -INFINITY;
        top = std::max(top, lx[k]);
    }
    double sum = 0.0;
    for (size_t k = 0; k < N; k++) {
        if (std::isinf(top) && top > 0)
            x[k] = lx[k] == top ? 1.0 : 0.0;  // a zero score under a negative exponent
        else
            x[k] = std::isinf(top) ? 0.0 : std::exp(lx[k] - top);
        sum += x[k];
    }
    for (double &v : x) v = sum <= 0.0 ? 1.0 / (double)N : v / sum;
}

// The bits-saved adjustment (the prior is present and bits > 0).
static void adjust_bits_saved(const AlignmentBlock *block, PriorLib *prior, int method,
                              const AWeightParams *aw, std::vector<double> &w) {
    const int A = alphabet->emit_length;
    const int N = block->nseqs;
    if (prior->AlphaChar != A)
        error("weight_alignment: prior library has %d letters, alphabet %d", prior->AlphaChar, A);
    const double G = aw->aweight_bits * std::log(2.0);
    const double P = method == AWEIGHT_BRENNEL ? aw->aweight_exponent : 0.0;

    // Background entropy: the prior's estimate from no counts.
    std::vector<float> table((size_t)A, 0.0f);
    column_probabilities(table, prior);
    double H0 = 0.0;
    for (float p : table)
        if (p > 0.0f) H0 -= p * std::log((double)p);

    if (G > H0) {
        std::fprintf(stderr,
                     "Can't possibly save %f nats/column, as background entropy only %f "
                     "nats/column.\n",
                     G, H0);
        std::fprintf(stderr, "Scaling initial weights to total %f\n", (double)N);
        double sum = 0.0;
        for (double v : w) sum += v;
        for (double &v : w) v = sum <= 0.0 ? 1.0 / N : v * N / sum;
        return;
    }

    std::vector<int> m((size_t)N, 0);
    for (int k = 0; k < N; k++) {
        for (int j = 0; j < block->ncols; j++)
            if (is_letter(block->rows[k][j], A)) m[(size_t)k]++;
        if (m[(size_t)k] == 0) w[(size_t)k] = 0.0;
    }
    double W = 0.0;
    for (double v : w) W += v;
    std::vector<double> x((size_t)N);
    for (int k = 0; k < N; k++) x[(size_t)k] = W <= 0.0 ? 1.0 / N : w[(size_t)k] / W;

    double s = SAVING_UNSET, s1 = SAVING_UNSET, s2 = SAVING_UNSET;
    double eta = ETA_START, W_prev = 0.0;
    std::vector<double> score((size_t)N);
    std::vector<double> cost((size_t)A);
    for (int iter = 0; iter < ADJUST_MAX_ITERATIONS && W > ADJUST_MIN_TOTAL &&
                       W < ADJUST_MAX_TOTAL && std::fabs(s - G) > ADJUST_TOLERANCE;
         iter++) {
        std::fill(score.begin(), score.end(), 0.0);
        double entropy = 0.0;
        int counted = 0;
        for (int j = 0; j < block->ncols; j++) {
            if (fill_freqtab(table.data(), j, w.data(), block->rows, N, 1) <= 0.0) continue;
            column_probabilities(table, prior);
            for (int a = 0; a < A; a++) {
                double p = table[(size_t)a];
                cost[(size_t)a] = p <= 0.0 ? IMPOSSIBLE_LETTER_COST : -std::log(p);
                entropy += p * cost[(size_t)a];
            }
            counted++;
            for (int k = 0; k < N; k++) {
                int c = block->rows[k][j];
                if (is_letter(c, A)) score[(size_t)k] += cost[(size_t)c];
            }
        }
        if (counted == 0) {
            std::fputs("Warning: no column holds weighted letters; bits-saved adjustment "
                       "stopped.\n",
                       stderr);
            break;
        }
        s2 = s1;
        s1 = s;
        s = H0 - entropy / counted;

        if (P != 0.0) shape_from_scores(score, m, P, x);
        double F = s > 0.0 ? W * G / s : 1.0;
        if (N > 0 && F > N) F = N;

        if (s2 < 0.0)
            eta = ETA_START;
        else if ((s1 - s) * (s2 - s1) > 0.0)
            eta = std::min(ETA_GROW_MAX, ETA_GROW * eta);
        else
            eta = std::min(ETA_SHRINK_MAX, eta / 2);
        if (N > 0 && W_prev > N) eta = 1.0;
        if (eta < 0.0 || eta > 1.0) error("weight_alignment: damping factor %g outside 0..1", eta);

        W_prev = W;
        W = std::exp(eta * std::log(F) + (1.0 - eta) * std::log(W_prev));
        if (P != 0.0)
            for (int k = 0; k < N; k++)
                x[(size_t)k] = eta * x[(size_t)k] + (1.0 - eta) * w[(size_t)k] / W_prev;
        for (int k = 0; k < N; k++) w[(size_t)k] = W * x[(size_t)k];
    }
}

int weight_alignment(FILE *info, const char *run_name, SequenceTable *table, PriorLib *prior,
                     AWeightParams *aw) {
    int method = aw->aweight_method;
    if (method < 0 || method >= AWEIGHT_METHODS) {
        std::fprintf(stderr, "Invalid setting of alignment weight method (%d) ignored\n", method);
        std::fprintf(stderr, "Valid settings are 0 (%s), 1 (%s), 2 (%s) and 3 (%s).\n",
                     aweight_method_names[0], aweight_method_names[1], aweight_method_names[2],
                     aweight_method_names[3]);
        aw->aweight_method = AWEIGHT_NONE;
        return 0;
    }
    if (method == AWEIGHT_NONE) return 0;
    check_alphabet(nullptr);

    // A target of 0 bits asks for no adjustment; only a positive target needs a prior.
    if (aw->aweight_bits > 0.0) {
        if (alphabet->id == CODON_ALPHABET_ID) {
            std::fputs("Alignment weighting changed to no bit adjustment (aweightbits = -1)\n",
                       stderr);
            std::fputs("for CODON alphabet.\n", stderr);
            prior = nullptr;
            aw->aweight_bits = -1;
        } else if (!prior) {
            std::fputs("Turning off bits saved parameter (aweightbits = -1) -- no prior library "
                       "specified.\n",
                       stderr);
            aw->aweight_bits = -1;
        }
    }

    AlignmentBlock *block = block_from_alignment(table);
    const int N = block->nseqs;
    if (N <= 0) error("weight_alignment: alignment without sequences");
    char title[300];
    std::snprintf(title, sizeof title, "Weights from alignment method %d (%s), b=%f, e=%f", method,
                  aweight_method_names[method], aw->aweight_bits, aw->aweight_exponent);

    const double E = method == AWEIGHT_BRENNEL ? BRENNEL_TOTAL_EXPONENT : aw->aweight_exponent;
    // The cap at N below is applied to the total up front as well, so that a total beyond the
    // range of doubles (a large exponent) gives N rather than inf x 0.
    double T = std::pow((double)N, E);
    if (!(T <= N)) T = N;
    std::vector<double> w((size_t)N, 0.0);
    if (method == AWEIGHT_FLAT) {
        for (double &v : w) v = T / N;
    } else {
        position_weights(block, w);
        scale_to_total(w, T);
    }
    double sum = 0.0;
    for (double v : w) sum += v;
    if (sum > N)
        for (double &v : w) v *= N / sum;

    if (aw->aweight_bits > 0.0 && prior) adjust_bits_saved(block, prior, method, aw, w);

    double total = 0.0;
    for (int k = 0; k < N; k++) {
        total += w[(size_t)k];
        Sequence *seq = table->seqs[k];
        std::free(seq->weights);
        seq->weights = static_cast<double *>(mem_alloc(sizeof(double)));
        seq->weights[0] = w[(size_t)k];
    }

    FILE *out = open_outputfile(run_name, WEIGHT_FILE_SUFFIX);
    std::fprintf(out, "%s\n", title);
    std::fprintf(out, "%% Method: %s (%d)  Bits to save: %f Exponent %f\n",
                 aweight_method_names[method], method, aw->aweight_bits, aw->aweight_exponent);
    std::fprintf(out, "%% %d sequence%s with %d column%s\n", N, (N == 1 || N == -1) ? "" : "s",
                 block->ncols, (block->ncols == 1 || block->ncols == -1) ? "" : "s");
    std::fprintf(out, "%% total weight limited to %f\n", (double)N);
    std::fprintf(out, "%% total_weight: %f \n", total);
    std::fprintf(out, "%d\t%d\n", N, 1);
    std::fputs("% ID\tWeight\n", out);
    for (int k = 0; k < N; k++) {
        const Sequence *seq = table->seqs[k];
        std::fprintf(out, "%s\t", seq->id ? seq->id : "");
        std::fprintf(out, "%f\n", w[(size_t)k]);
    }
    close_outputfile(out);

    print_weight_info(info, "Alignment weights", "internal calc", title, table, 1);
    free_block_alignment(block);
    return 1;
}
