// Random variates for generated sequences: standard normal, beta, Dirichlet and
// Dirichlet-mixture. Every uniform is U = (random() + 0.5) x 2^-31, strictly inside (0, 1); the
// generators keep no state beyond their prepared records. A broken invariant ends the run with
// "Assertion failed: <condition> (<unit>:<line>)".
#ifndef QOR_GEN_SEQ_H
#define QOR_GEN_SEQ_H

// A prepared beta(a, b) generator.
struct GenBeta {
    double a, b;  // the parameters (both positive)
    double min;   // the smaller of a and b
    double max;   // the larger
    double sum;   // a + b
    double t;     // first regime constant
    double p;     // second regime constant
};

// A prepared Dirichlet generator: a tree of beta splits, the two smallest parameters first.
struct GenDirch {
    int numd;        // parameters
    double *alpha;   // 2 numd - 1: the parameters, then the sums of the merged pairs (owned)
    int root_index;  // 2 numd - 2
    GenBeta *betas;  // numd - 1 splits (owned)
    int *left;       // numd - 1 left children, indices into alpha (owned)
    int *right;      // numd - 1 right children (owned)
};

// A prepared Dirichlet-mixture generator.
struct GenDirchMix {
    int count;              // components
    double *mix_coeff_cum;  // cumulative coefficients over their total; the last is 1 (owned)
    GenDirch *components;   // one generator per component (owned)
};

// The uniform of every generator here: (random() + 0.5) x 2^-31.
double gen_uniform();

// A standard normal variate (ratio of uniforms).
double gen_norm();

// Prepares a beta(a, b) generator. Fatal (assertion) unless a > 0 and b > 0.
void gen_beta_initialize(GenBeta *gen, double a, double b);
// A beta(a, b) variate in (0, 1); parameters far below 1 can give 0 or 1 by rounding. Fatal
// (assertion "g <= s") only if the rejection step's invariant breaks.
double gen_beta(const GenBeta *gen);

// Prepares a Dirichlet generator from numd (at least 1) positive parameters; its arrays are
// owned by the record (release with gen_dirch_free). Fatal (assertion): "numd >= 1", and from
// the beta preparation "a > 0 && b > 0" for a parameter that is not positive.
void gen_dirch_initialize(GenDirch *gen, int numd, const double *alpha);
// Writes numd values summing to 1 into out (room for numd values, owned by the caller).
void gen_dirch(const GenDirch *gen, double *out);
// Releases the record's arrays (not the record); null is accepted.
void gen_dirch_free(GenDirch *gen);

// Prepares a mixture generator from count coefficients (each at least 0, total above 0) and
// count parameter vectors of numd + 1 values as a prior library stores them (element 0, the
// total, is skipped); the arrays are owned by the record (release with gen_dirch_mix_free).
// Fatal (assertion): "count >= 1", "mix[c] >= 0", "sum > 0", and those of
// gen_dirch_initialize.
void gen_dirch_mix_initialize(GenDirchMix *gen, int numd, int count, const double *mix,
                              double *const *distr);
// Draws a component, then a Dirichlet variate of it into out (numd values). Fatal (assertion
// "x <= gen->mix_coeff_cum[hi]") only if the cumulative coefficients are broken.
void gen_dirch_mix(const GenDirchMix *gen, double *out);
// Releases every component generator and both arrays (not the record); null is accepted.
void gen_dirch_mix_free(GenDirchMix *gen);

// Internals of the Dirichlet preparation, open for tests: a binary min-heap of indices into
// keys. heapify orders heap[0..size-1]; pop_heap removes and returns the index of the smallest
// key (fatal on an empty heap: assertion "*size > 0"); push_heap adds an index (the caller
// provides the room).
void heapify(int *heap, int size, const double *keys);
int pop_heap(int *heap, int *size, const double *keys);
void push_heap(int *heap, int *size, int index, const double *keys);
// Splits mass x over the subtree at index k into out (the leaves' entries of out are written).
void gen_dirch_subtree(const GenDirch *gen, int k, double x, double *out);

#endif
