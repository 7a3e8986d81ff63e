// The scoring engine's integer form of a model (FBmodel): per node nine transition costs and a
// match and an insert cost per letter, with a mirror-image copy for passes that run from the end
// of a sequence towards its start; and the posterior-decoding store (PDmodel).
#ifndef QOR_FBMODEL_H
#define QOR_FBMODEL_H

#include <cstdio>

struct Model;

// Positions of the nine costs of a TransCosts record: into the delete state of a node from the
// previous node's delete, match and insert states; into its match state from the same three;
// into its own insert state from its own delete, match and insert states.
enum {
    TC_DD = 0,  // delete <- delete
    TC_DM = 1,  // delete <- match
    TC_DI = 2,  // delete <- insert
    TC_MD = 3,  // match <- delete
    TC_MM = 4,  // match <- match
    TC_MI = 5,  // match <- insert
    TC_ID = 6,  // insert <- delete
    TC_IM = 7,  // insert <- match
    TC_II = 8,  // insert <- insert
    TC_COUNT = 9
};

// The nine transition costs of one node, stored at the destination node.
struct TransCosts {
    int t[TC_COUNT];
};

// Label and type letter of one node.
struct FBNodeInfo {
    int label;  // the node's lab (-1 unlabelled)
    char type;  // the node's type letter (0 ordinary)
};

// Posterior-decoding store: 20000 marks an empty entry.
constexpr int PD_EMPTY = 20000;

struct FBmodel {
    int length;             // L; -1 while the record holds no tables
    TransCosts *trans;      // L+2 nodes
    TransCosts *rtrans;     // L+2 nodes of the reversed model
    int **itables;          // nrows rows of L+2 insert costs, by letter
    int **mtables;          // nrows rows of L+2 match costs
    int **ritables;         // reversed insert rows, or null
    int **rmtables;         // reversed match rows, or null
    FBNodeInfo *nodeinfo;   // L+2 entries
    FBNodeInfo *rnodeinfo;  // L+2 entries of the reversed model, or null
    int query;              // 1 when built from a query-sequence model
    int nrows;              // letter rows allocated (the alphabet's size with wildcards)
};

struct PDmodel {
    int length;               // L, -1 when empty
    int nres;                 // residue rows, -1 when empty
    int *buf;                 // 2(L+2) values per residue row: the match rows, then the insert rows
    int capacity;             // values held by buf
    TransCosts **trans;       // rows -1..nres (trans[-1] valid), each L+2 entries; or null
    int **insert;             // nres rows into buf
    int **match;              // nres rows into buf
    TransCosts **trans_base;  // the allocated array behind trans (nres + 2 entries), or null
    int trans_rows;           // entries of trans_base
    int trans_len;            // L+2 entries of every transition row allocated, or 0
};

// An empty record (length -1, no tables, query flag 0). Release with clear_FBmodel and free().
FBmodel *alloc_FBmodel();
// Releases every table and resets the pointers and the length (-1); null does nothing.
void clear_FBmodel(FBmodel *fb);
// Sizes fb for length L with aw letter rows (and the reversed set when reversed is set); keeps
// the tables when they already have that shape. Fatal: "size_FBmodel: bad size (L %d, letters
// %d)" for a negative L or aw, or L above 2^28.
void size_FBmodel(FBmodel *fb, int L, int aw, int reversed);
// Sizes without the reversed set and sets every transition, insert and match cost of nodes
// 0..L+1 to IMPOSSIBLE_COST. Fatal as size_FBmodel.
void zero_FBmodel(FBmodel *fb, int L, int aw);
// Fills fb (allocated when null) from a prepared model, emission costs multiplied by scale (in
// single precision, truncated toward zero, clamped to +-IMPOSSIBLE_COST); a query-sequence model
// goes through seq2fbmodel. Returns fb (a new one, owned by the caller, when fb is null). Sized
// for the current alphabet. Fatal: "Null model or modweight in model2fbmodel" (no model, no cost
// records), those of seq2fbmodel and size_FBmodel, and the alphabet check.
FBmodel *model2fbmodel(Model *model, FBmodel *fb, float scale);
// The query-sequence branch of model2fbmodel: length n+1 for a query of n residues, no reversed
// set, raw matrix scores; returns fb (allocated when null, owned by the caller). Fatal: "Null
// model or modweight in model2fbmodel" for a missing or empty query, "seq2fbmodel: query sequence
// %s is not converted".
FBmodel *seq2fbmodel(Model *model, FBmodel *fb);
// Debug dump of fb to out (null: the debug log "dbg.log") under a printf-style title.
void dbg_print_fbmodel(FILE *out, const FBmodel *fb, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

// An empty store (both lengths -1, capacity 0, no rows). Release with clear_PDmodel and free().
PDmodel *alloc_PDmodel();
// Releases the rows and the buffer; capacity 0, lengths -1. Null does nothing.
void clear_PDmodel(PDmodel *pd);
// Sizes the store for model length L and n residue rows, with transition rows -1..n unless
// no_trans is set (then any transition rows are released). Fatal for a negative L or n:
// "size_PDmodel: negative size (L %d, n %d)"; "size_PDmodel: store of %zu values is too large"
// beyond 2^31 - 1 values.
void size_PDmodel(PDmodel *pd, int L, int n, int no_trans);
// Sizes, then sets the first L values of every match and insert row to PD_EMPTY and, with
// transition rows, all nine costs of nodes 0..L+1 of rows -1..n to PD_EMPTY. Fatal as
// size_PDmodel.
void zero_PDmodel(PDmodel *pd, int L, int n, int no_trans);

#endif
