// The dynamic-programming engine's state and set-up: one process-wide state set up for one model
// (one FBmodel per sequence track), the log-sum table, the types that the row kernels and the
// drivers share, the profile-column costs and the null model. The row kernels are in
// forward2_kernels.h and forward2_kernels_fast.h, the forward-backward driver with checkpointing
// and the score-only forward in forward2_driver.h, posterior decoding and expected counts in
// forward2_post.h, Viterbi traceback and alignment encoding in forward2_trace.h.
//
// Costs are integers in thousandths of a nat; IMPOSSIBLE_COST (100000000) stands for an
// impossible step and caps every cell, so costs saturate there and never overflow.
#ifndef QOR_FORWARD2_H
#define QOR_FORWARD2_H

#include <cstdio>

#include "engine/fbmodel.h"
#include "models/models.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

// ---------------------------------------------------------------------------------------------
// Log-sum of two costs
// ---------------------------------------------------------------------------------------------

// Entries of the log-sum table: entry d is round(1000 ln(1 + e^(-d/1000))), d = 0..7600.
constexpr int SUMLOG_SIZE = 7601;
// Builds the table (engine.SUMLOG, below) and the cost of 0.5 (engine.log05) once per process;
// later calls do nothing.
void build_sumlog();

// ---------------------------------------------------------------------------------------------
// Engine state
// ---------------------------------------------------------------------------------------------

// One cell of a DP row: delete, match and insert costs. In a traceback row the same three
// entries hold where each cell's best value came from: -1 a delete cell, -2 a match cell, -3 an
// insert cell; 1 in a match cell entered by a jump in; a node number >= 2 in node L's delete
// cell entered by a jump out of that node's match cell.
struct DPCell {
    int d;
    int m;
    int i;
};
constexpr int TB_DELETE = -1;
constexpr int TB_MATCH = -2;
constexpr int TB_INSERT = -3;
// The terminator of a state path.
constexpr int PATH_END = -6;

// DP styles.
enum {
    DP_EM = 0,                // forward-backward with expected counts
    DP_VITERBI = 1,           // single best path
    DP_POSDECODE = 2,         // per-residue posterior report
    DP_POSDECODE_ALIGN = 4,   // best path through posterior costs (with transitions)
    DP_POSDECODE_ZTRANS = 5,  // the same with every transition cost 0
    DP_PATHPROB = 6,          // path posteriors along the sequence's alignment
    DP_POSTERIOR_ROWS = 7,    // posterior rows only
    DP_FIVESTATE = 8,         // five-state alignment
    DP_PATHPROB_END = 100,    // path posteriors, the alignment ending with one more delete
};
// Scoring modes.
enum { SW_GLOBAL = 0, SW_SEMILOCAL = 1, SW_LOCAL = 2, SW_DOMAIN = 3 };

// A row kernel (see the kernels below for the meaning of each argument).
typedef DPCell *(*DPRowKernel)(const TransCosts *trans, const int *mrow, const int *irow, int i,
                               int n, int bound, int L, const DPCell *prev, DPCell *cur,
                               TransCosts *btrans, DPCell *tb, int sw, const PosConstraint *pc,
                               const FBNodeInfo *info);

// The engine's one state (the instance `engine`, defined in forward2.cpp): the set-up, the
// per-track values, the buffers and their sizes, and the tables. init_forward2 and
// init_forward2_tracks set it up, free_forward2 releases it; every buffer only grows. The buffers
// belong to the engine: other callers may read them (tests do) but never free or replace them.
struct Engine {
    // Tables: the log-sum table (SUMLOG_SIZE entries plus one 0 past the end, so that a clamped
    // index reads 0) and the cost of 0.5, 0 until the table is built; both survive free_forward2.
    int SUMLOG[SUMLOG_SIZE + 1] = {};
    int log05 = 0;

    // Set-up: the model of each track and the settings of the run.
    FBmodel *FB = nullptr;                // track 0's integer model (FBtrack[0])
    Model *MD = nullptr;                  // track 0's model (Modtrack[0])
    FBmodel *FBtrack[MAX_TRACKS] = {};    // per track
    Model *Modtrack[MAX_TRACKS] = {};     // per track (not owned)
    double trackcoeffs[MAX_TRACKS] = {};  // per track (the parameter trackcoeff is its text form)
    int numtracks = 0;                    // tracks in use; 0 when released
    float scalefactor = 1000.0f;       // cost units per nat: 1000, or 1 for a query-sequence model
    int SW_mode = 0;                   // SW_GLOBAL, SW_SEMILOCAL or SW_LOCAL
    int DP_style = 0;                  // a DP_* style
    int Traceback = 0;                 // 0..3
    int Prob_seq_method = 0;           // profile-column method 0..5
    int jump_in_cost = COST_OF_ZERO;   // 80000 before the first set-up
    int jump_out_cost = COST_OF_ZERO;  // 80000 before the first set-up
    int SWgap = 0, SWcont = 0;         // gap and continue costs of a query-sequence model
    FILE *pdoc_output_file = nullptr;  // posterior output (DP_POSDECODE), or null

    // Per track, for the current sequence: shift (nats) and scale of the profile-column costs.
    double ps_shift[MAX_TRACKS] = {};
    double ps_scale[MAX_TRACKS] = {1, 1, 1, 1, 1, 1};

    // Buffers and their sizes. The DP area: rowtot slots of rowlen cells, 2 spare cells before.
    int dpmodlen = -1;                  // model length of the set-up
    int rowlen = -1;                    // cells per row; -1 when released
    int rowbytes = -1;                  // bytes per row; -1 when released
    size_t cellbytes = sizeof(DPCell);  // bytes per cell (five ints in the five-state style)
    int rowtot = 0;                     // row slots of the DP area
    size_t dpmemalloc = 0;              // bytes of the DP area
    char *dpspace_block = nullptr;      // the DP area as allocated
    DPCell *dpspace = nullptr;          // its first row slot
    int *rowindex = nullptr;   // rowtot entries: the residue each stored row holds, -1 none
    size_t rowindexalloc = 0;  // entries of rowindex
    // Per-residue emission rows of L+2 costs: match and insert; the constraint-adjusted reversed
    // rows of combine_rows; the five-state match-insert row.
    int *itabmem = nullptr, *mtabmem = nullptr;
    int *ritabmem = nullptr, *rmtabmem = nullptr;
    int *mitabmem = nullptr;
    size_t imtaballoc = 0;  // bytes of each emission row
    // Backward rows, backward transition-sum rows and L+2 zero transition records (posterior
    // alignment, style 5).
    DPCell *betaspace = nullptr, *boldspace = nullptr;
    size_t betaalloc = 0;  // bytes of each backward row
    TransCosts *betatransspace = nullptr, *boldtransspace = nullptr;
    TransCosts *zerotrans = nullptr;
    size_t betatransalloc = 0;  // bytes of each transition row
    // State paths.
    int *alignspace = nullptr;   // the state path
    size_t alignalloc = 0;       // bytes of alignspace
    int *align2space = nullptr;  // the five-state state path
    size_t align2alloc = 0;      // bytes of align2space
    // Posterior decoding.
    size_t pdmemalloc = 0;           // bytes of the posterior-alignment area
    char *posspace_block = nullptr;  // the posterior-alignment area as allocated
    DPCell *posspace = nullptr;      // its first row (2 spare cells before)
    int posdecodeseqlen = 0;         // longest sequence that is posterior-decoded
    PDmodel *PD = nullptr;           // posterior store, or null
    // Integer models of the runs.
    FBmodel *fbfreq = nullptr;  // expected-count accumulator, or null
    FBmodel *seqfb5 = nullptr;  // five-state alignment: the sequence side's integer model

    // The backward walk over an alignment code (backstep_alignment): the code reversed, its
    // length, the walk's position, node and residue.
    unsigned char *bs_code = nullptr;
    size_t bs_len = 0, bs_pos = 0;
    int bs_node = 0, bs_res = 0;

    // Notes given once per process: the illegal SW option, long sequences not
    // posterior-decoded.
    bool sw_note_given = false, long_note_given = false;
    // Whether the expected counts may take the vector pass (where the processor has AVX2); on
    // by default, tests turn it off to check the scalar pass against the vector one.
    bool forward2_vector_counts = true;
};
extern Engine engine;

// The cost of the sum of the probabilities of two costs: min(a, b) - engine.SUMLOG[|a - b|] when
// |a - b| <= 7600, else min(a, b). Not capped. |a - b| must fit an int.
inline int LS(int a, int b) {
    int m = a < b ? a : b;
    int M = a < b ? b : a;
    unsigned d = (unsigned)M - (unsigned)m;
    d = d < (unsigned)SUMLOG_SIZE ? d : (unsigned)SUMLOG_SIZE;
    return m - engine.SUMLOG[d];
}
// min(x, IMPOSSIBLE_COST).
inline int cap_cost(int x) {
    return x < IMPOSSIBLE_COST ? x : IMPOSSIBLE_COST;
}
// LS capped at IMPOSSIBLE_COST.
inline int LSC(int a, int b) {
    return cap_cost(LS(a, b));
}

// ---------------------------------------------------------------------------------------------
// Set-up and release
// ---------------------------------------------------------------------------------------------

// Sets the engine up for one model as track 0 (dropping every other track): the integer model
// (emission costs times coef), the mode (sw outside 0..3 gives a note once per process and 0;
// 3 runs as 0), the style, the jump costs, and buffers for sequences of up to maxlen residues
// (longer ones grow them later). A null model keeps the current one.
// Fatal: "init_forward2 called with null model!", "forward2 is receiving a model of length %d??\n"
// (a model of length below 1), "Null model or modweight in model2fbmodel" (no cost records).
void init_forward2(Model *model, int maxlen, int sw, int style, int pseqmethod, int traceback,
                   float coef, double jump_in, double jump_out, FILE *pdoc_out);
// Sets the engine up for count track models with coefficients (null: 1.0 each).
// Fatal: "init_forward2_tracks: %d tracks (at most %d)" (count outside 1..MAX_TRACKS),
// "add_track_forward2 %d called with null model!", "Add_track_forward2():  nonsequential tracks
// %d expect %d\n", "Track %d model length %d mismatch (track 0 is %d)\n" and the messages of
// init_forward2.
void init_forward2_tracks(Model **models, const float *coeffs, int count, int maxlen, int sw,
                          int style, double jump_in, double jump_out, int pseqmethod, int traceback,
                          FILE *pdoc_out);
// Releases every FBmodel, the accumulator, the posterior store and every buffer; the engine
// must be set up again before the next use. Never fatal.
void free_forward2();

// ---------------------------------------------------------------------------------------------
// Profile columns and the null model
// ---------------------------------------------------------------------------------------------

// Sets ps_shift and ps_scale of every track for the sequence and reports them (methods 3..5).
// Fatal: "Illegal pseqmethod %d\n" (method above 5), "set_pseq_scale: track %d has no background
// distribution".
void set_pseq_scale(Model **models, int count, const Sequence *seq, int method);
// Cost of one profile column p against one model distribution q (track's letters), capped at
// IMPOSSIBLE_COST. Fatal: "Codon alphabet not supported with probabilistic sequences",
// "Unknown combine_mod_probseq method %d\n" (a negative method).
int combine_wseq_wmod(const int *p, const int *q, int track, int method);
// Null-model score of the sequence in nats (coefficients may be null); 0 for a query-sequence
// model (no background). Fatal: "Null model score needs a model with a FIM template node" for
// another model (or track model) without a FIM template cost record.
double base_null_score(Model **models, const float *coeffs, int count, const Sequence *seq);
// Null cost of the residue at pos in nats (0 for a query-sequence model). Fatal as
// base_null_score.
double character_null(int pos, Model **models, const float *coeffs, int count, const Sequence *seq);

#endif
