// Sequence records and tables, and the small sequence utilities shared by many units (ordering
// and search by ID, length statistics, letter frequencies, shuffling and reversal, sequence weight
// files). The node, model and raw-model records are in model_records.h.
//
// Contracts: every record made here is owned by the caller and released with its free_ function.
// An allocation failure ends the run ("out of memory ..."; errors.h) and is not repeated below;
// "the alphabet check" is check_alphabet(nullptr) with its fatal messages (alphabet.h).
#ifndef QOR_SEQUENCE_H
#define QOR_SEQUENCE_H

#include <cstdio>

struct Model;

// ---------------------------------------------------------------------------------------------
// Sequences
// ---------------------------------------------------------------------------------------------

// Number of parallel tracks a sequence can carry.
constexpr int MAX_TRACKS = 6;
// Value of a score slot or E-value that has not been set (no score, or no path).
constexpr float SCORE_UNSET = 1000000.0f;
// Slots added to a SequenceTable each time it is full.
constexpr int SEQTABLE_GROWTH = 4096;

// Alignment code bytes: 1..100 inserts, 101..200 (b-100) matches, 201..255 (b-200) deletes,
// 0 ends the code.
constexpr int ALIGN_MATCH_BASE = 100;
constexpr int ALIGN_DELETE_BASE = 200;

// Per-residue path posterior written by the dynamic-programming engine.
struct SeqPathProb {
    float lnprob;  // natural log of the posterior, -20..0
    int node;      // model node of the state that emits the residue
    int match;     // 1: a match state, 0: an insert state
};

// Label of a node without label (Node::lab), and constraint label of a residue without one.
constexpr int NO_LABEL = -1;
// Constraint label of a residue that must match a node without a label.
constexpr int LABEL_UNNAMED_NODE = -3;

// Per-residue constraint read by the dynamic-programming engine.
struct PosConstraint {
    int label;          // model-node label the residue must match; NO_LABEL, LABEL_UNNAMED_NODE
    int satisfied;      // cost when matched by the node with that label
    int unsatisfied;    // cost when matched by another node
    int unconstrained;  // added to the residue's match and insert costs
};
// The value of every residue of a sequence without constraints.
inline constexpr PosConstraint noPosConstraint = {NO_LABEL, 80000, 80000, 0};

// One track of a sequence.
struct SeqTrack {
    unsigned char *res;  // letters as read, then letter indices after conversion; or null
    Model *model;        // track model (a profile standing as a sequence), or null
};

struct Sequence {
    int len;           // residues, the same in every track
    int converted;     // 1 once letters became letter indices
    int reversed;      // toggled by reverse_sequence
    char *id;          // owned, or null
    char *annotation;  // owned, or null
    int ntracks;       // tracks in use, 1..6
    SeqTrack tracks[MAX_TRACKS];
    unsigned char *align;            // alignment code (owned), or null
    SeqPathProb *pathprob;           // path posteriors (owned, len + 4 entries), or null
    double *weights;                 // one per family (owned); null means 1.0 for every family
    float raw_score;                 // negative log-likelihood from the scoring engine
    float prefilter_raw;             // single-best-path score of the prefilter
    float prefilter_simple;          // prefilter simple score
    float simple_score;              // raw minus null-model score plus the length adjustment
    float second_score;              // score against the null model chosen by subtract_null
    float report1;                   // report column 1
    float report2;                   // report column 2
    double evalue;                   // E-value, SCORE_UNSET when none
    float xcount;                    // the count that stands before 'X' in a score-file line
    PosConstraint *constraints;      // per residue, present orientation (owned), or null
    PosConstraint *rev_constraints;  // per residue, reversed orientation (owned), or null
};

// The ID of a sequence as messages and comparisons use it: "" for a sequence without one.
inline const char *sequence_id(const Sequence *seq) {
    return seq->id ? seq->id : "";
}

// A set of sequences. Slots may hold null between a removal and the next compaction.
struct SequenceTable {
    int count;        // slots in use (nulled slots included)
    int capacity;     // slots allocated
    Sequence **seqs;  // owned slot array, null until the first append
};

// New sequence of the given length and track count, never null (release with free_sequence):
// residue buffers of length + 2 zero bytes for the first ntracks tracks when length > 0; every
// score SCORE_UNSET. Fatal: "alloc_sequence: %d tracks requested, at most %d are possible".
Sequence *alloc_sequence(int length, int ntracks);
// Resizes every track in use to new_length residues (a negative length counts as 0; the two
// zero bytes every residue buffer ends with are kept) and sets the length. Returns seq. Fatal:
// "Realloc_sequence called with model sequence.\n", "can't realloc_sequence with constraints".
Sequence *realloc_sequence(Sequence *seq, int new_length);
// Releases a sequence and everything it owns (track models included); null does nothing.
void free_sequence(Sequence *seq);
// New copy (owned by the caller): ID, annotation, residues (tracks without residues stay
// without), alignment code, raw, prefilter, simple and second scores, report column 1 and the X
// count. Everything else starts as after alloc_sequence.
Sequence *copy_sequence(const Sequence *seq);
// Frees the residues and the alignment code and shortens the annotation to 50 characters; null
// does nothing.
void free_seq_data_align_trunc_annotate(Sequence *seq);

// New empty table, never null (release with free_sequence_table).
SequenceTable *alloc_sequence_table();
// Appends seq (null: nothing), which the table then holds. Fatal (null table, full table):
// "sequence:add_seq_to_table()  Null seqtab\n",
// "sequence:add_seq_to_table()  table full at %d sequences\n".
void add_seq_to_table(SequenceTable *table, Sequence *seq);
// Takes the sequence out of a slot, leaving null there; returns it (now the caller's), or null for
// an index outside the table. Fatal: "sequence:remove_seq_from_table()  Null seqtab\n".
Sequence *remove_seq_from_table(SequenceTable *table, int index);
// Closes up the null slots, keeping the order; null does nothing.
void compact_sequence_table(SequenceTable *table);
// Releases the entries of length 0 or without track-0 residues (a line "Dropping zero-length
// sequence %s" with the ID through shown_text on report each, when report is not null) and
// compacts; null does nothing.
void drop_null_sequences(SequenceTable *table, FILE *report);
// Releases every entry and empties the table (its slot array is kept); null does nothing.
void clean_sequence_table(SequenceTable *table);
// Empties the table without releasing the entries (they belong elsewhere); null does nothing.
void reset_sequence_table(SequenceTable *table);
// Moves every entry of src to the end of dest and empties src; null src does nothing. Fatal: as
// add_seq_to_table for a null dest.
void move_to_sequence_table(SequenceTable *dest, SequenceTable *src);
// Makes sub (reset first) a view of the entries first..last of table (clipped to the table); sub
// does not own them. Null tables abort.
void create_sub_sequence_table(SequenceTable *table, SequenceTable *sub, int first, int last);
// Appends a copy_sequence of every entry of src to dest; null src does nothing. Fatal:
// "sequence:add_seq_to_table()  Null seqtab\n" (null dest and src not empty).
void copy_sequence_table(const SequenceTable *src, SequenceTable *dest);
// free_seq_data_align_trunc_annotate on every entry. Fatal:
// "sequence:free_seq_data_align_trunc_annotate_from_table()\n" (null table).
void free_seq_data_align_trunc_annotate_from_table(SequenceTable *table);
// Releases the table and every entry it holds; null does nothing.
void free_sequence_table(SequenceTable *table);

// ---------------------------------------------------------------------------------------------
// Sequence utilities
// ---------------------------------------------------------------------------------------------

// Length statistics of a set of sequences (owned by the caller).
struct SeqInfo {
    int min_len;
    int max_len;
    int count;
    double mean;
    double sum;
    double excess_sum;
    double sumsq;
    double stddev;
};

// The most families (weight columns, one per candidate model) a weight file may state.
constexpr int MAX_WEIGHT_FAMILIES = 1000;

// Contents of one sequence weight file (owned by the caller).
struct SeqWeights {
    char *description;  // first non-comment line, with its line end
    int num_families;   // weight columns
    int num_seqs;       // rows
    double **weights;   // num_seqs rows of num_families values
    char **ids;         // num_seqs IDs
};

// Order by length, then by the track-0 residue bytes (unsigned; missing residues first): -1, 0
// or 1.
int seq_compare(const Sequence *a, const Sequence *b);
// The same order over two table slots (Sequence **), for sorting; a null slot is equal to any.
int compare_seqs(const void *a, const void *b);
// Stable sort of the table by seq_compare, null slots last; null or short tables are left alone.
void sequence_data_sort(SequenceTable *table);
// strcmp order of the IDs of two table slots (Sequence **; no ID counts as ""); a null slot is
// equal to any.
int compare_ID(const void *a, const void *b);
// Stable sort of the table by ID (no ID counts as ""), null slots last.
void sequence_sort(SequenceTable *table);
// Slot of the ID in a table sorted by ID, or -1 (also for a null ID or table).
int sequence_search(const char *id, const SequenceTable *table);
// The same, trying the slots just after hint (the previous find, -1 for none) first.
int sequence_hint_search(const char *id, int hint, const SequenceTable *table);

// Adds the lengths of the table's entries to *info (cleared first when reset is 1 or the table is
// null): least and greatest length, count, sum, sum of squares, the sum of the excesses over
// threshold (each at least 1), mean and standard deviation. Fatal: "seq_max_stats passed null
// SeqInfo".
void seq_max_stats(const SequenceTable *table, SeqInfo *info, int reset, float threshold);
// New NUL-terminated string (owned by the caller) of the current alphabet's letters for the
// track-0 residues; an index without a letter gives 'X'. Fatal: the alphabet check.
char *SeqToStr(const Sequence *seq);
// Number of track-0 residues with the letter's index. Fatal: "count_letter: letter not in
// alphabet", the alphabet check.
int count_letter(char letter, const Sequence *seq);
// New table (owned by the caller, emit_length_wild values of the track's alphabet, or the current
// one) of letter frequencies over track `track` of count sequences: pseudocount 0.001, ambiguity
// letters shared out (DNA/RNA R and Y, protein B and Z) and the catch-all spread in proportion,
// base letters normalised to 1, the ambiguity entries their letters' sums, the catch-all 1.
// Fatal: the alphabet check.
float *global_letter_counts(Sequence *const *seqs, int track, int count);

// Shuffles the residues of every track with the same permutation (random()); null does nothing.
void permuted_sequence(Sequence *seq);
// Reverses the residues of every track, swaps the two constraint arrays and toggles reversed;
// null does nothing.
void reverse_sequence(Sequence *seq);

// Reads a sequence weight file into *weights (owned by the caller; release with free_weights).
// Returns 1 when read, and also (with *weights empty) for a null record or a null or empty file
// name; 0 when the file cannot be opened or is malformed, after messages on standard error ending
// with "Weightfile %s will not be used.\n" (*weights then empty). A family count above
// MAX_WEIGHT_FAMILIES is malformed ("Weight file %s line %ld: %ld families, more than the %d
// allowed\n"), as is a row count above INT_MAX / sizeof(char *) ("Weight file %s line %ld: %ld
// rows, more than the %d allowed\n"), and so is a count that begins with a number but is not wholly
// one, or is past the long range (a row count: past the int range) ("Weight file %s line %ld: count
// %s is not a whole number in range\n", the file name and the count through shown_text). A weight
// that is not a finite non-negative number becomes 0.0 ("Weightfile %s: %5.2f for %s reset to
// 0.0\n"). A row short of weights gets 1.0 for each missing one, with one message for the row. IDs
// in the messages are shown through shown_text. Nothing is fatal.
int read_weights(const char *filename, SeqWeights *weights);
// Gives every entry of the table its row of weights by ID (sorting the table and the rows by ID;
// missing rows give 1.0, with a message; rows without entry are reported; IDs shown through
// shown_text). Without usable weights (null, or no rows or families) every entry gets one weight
// 1.0 and num_families becomes 1. Null table does nothing.
void merge_weights(SequenceTable *table, SeqWeights *weights);
// Writes the weight summary lines (total, greatest and least weight per family, then the note
// when given) as '%' comment lines to out (standard error when null); nothing for num_families
// 0 or less.
void print_weight_info(FILE *out, const char *title, const char *source, const char *note,
                       const SequenceTable *table, int num_families);
// Releases the rows, IDs and description of a weights record and clears it; null does nothing.
void free_weights(SeqWeights *weights);

#endif
