// Model files: reading model blocks in text and BINARY form into raw models, finding and
// skipping blocks in files, writing models and raw models back in either form, and the debug
// dumps of models, nodes, cost records and sequences.
#ifndef QOR_MODELIO_H
#define QOR_MODELIO_H

#include <cstdio>
#include <string>

#include "foundation/input_files.h"
#include "foundation/reader.h"

struct Node;
struct ModWeight;
struct Model;
struct Rmodel;
struct Sequence;

// ---------------------------------------------------------------------------------------------
// Text form and block handling
// ---------------------------------------------------------------------------------------------

// Flags of fread_first_rmodel / read_first_rmodel (the first two are the open flags that
// read_first_rmodel passes on to open_read_env).
constexpr int RMODEL_FATAL = OPEN_FATAL;  // no file or no block ends the run
constexpr int RMODEL_QUIET = OPEN_QUIET;  // no warning from the library search
constexpr int RMODEL_NOWARN = 8;          // no warning when the file holds no block
static_assert((RMODEL_NOWARN & (OPEN_FATAL | OPEN_QUIET | OPEN_REWIND)) == 0,
              "RMODEL_NOWARN must not be an open flag");

// Largest node number a model file may use (a larger one is refused as corrupt).
constexpr int MAX_MODEL_NODE_NUMBER = 1000000;

// Model blocks hold probabilities, which are never negative. A value down to this much below 0
// (rounding in a written file) reads as 0; a value further below is refused, except the first
// match value of Begin or a numbered node, where it marks a FIM.
constexpr float MODEL_VALUE_ROUNDING = 1e-5f;

// True when the line opens a model block: it begins with "MODEL", "REGULARIZER",
// "FREQUENCIES" or "NULLMODEL" (exact, case-sensitive prefixes).
bool is_model_header(const char *line);

// Reads one model block. in: its reader; filename: for messages; line_count: the caller's
// line counter, advanced for every line read after the header; header: the header line already
// read by the caller, or null/empty to search for the next header; keyword, title: optional
// outputs of the split header; track: the track whose alphabet the block's alphabet line sets.
// Returns a new raw model (text or BINARY form), owned by the caller (free_rmodel). Odd lines
// (unknown node letters, a type given twice) are reported and skipped. Fatal: "%s(%d):  No model
// found in file\n", "%s(%d): Incomplete model -- no ENDMODEL\n", "%s(%d): TYPE line without a
// node number", "%s(%d): TYPE line without a type letter", "%s(%d): node number %ld is out of
// range (at most %d)", "Aborting" (a negative node number, after its explanation), those of
// read_probs, binary_r_rmodel, process_alphabet, check_alphabet and the node-label parser.
Rmodel *read_rmodel(InputReader *in, const char *filename, int *line_count, const char *header,
                    std::string *keyword, std::string *title, int track);

// Reads one node line (first line in line, continuation lines from in) into *node, allocating
// it when *node is null. Gives back the node's name letter (upper-cased first character of the
// line) in *name and returns -1 for a named node; for a numbered node *name is 0 and the node
// number is returned. The line counter advances for each continuation line read. When the values
// stop at a continuation line that does not begin with a number, that line is left in line and
// *pending (when given) is set: the caller reads it as the next line of the block. Too few
// values and (once per run) extra characters are reported, not fatal. Values a little below 0
// read as 0 (MODEL_VALUE_ROUNDING); a numbered node whose first match value is negative beyond
// that becomes a FIM ('F'). Fatal: "%s(%d):  Node number expected\n", "%s(%d): node number %.*s
// is out of range (at most %d)", "%s(%d): Number %.*s in regularizer or model node is not
// finite", "%s(%d): Negative value %g in regularizer or model node %s" (the node's number or
// name; any other value negative beyond MODEL_VALUE_ROUNDING), and the alphabet check of
// alloc_node.
long read_probs(InputReader *in, const char *filename, int *line_count, std::string &line,
                Node **node, char *name, bool *pending);

// Splits a header line into keyword (first word cut at its first ':') and title (the rest, with
// leading blanks, a run of '-' and blanks removed, and the newline dropped). Either output may
// be null.
void get_type_and_text(const char *line, std::string *keyword, std::string *title);

// Reads lines until one opens a model block; the line stays in line. Returns 1, or 0 at end of
// file.
int read_to_next_model(InputReader *in, std::string &line);

// Reads and counts lines up to and including the next line beginning "ENDMODEL". location is a
// format holding one "%d" (the line number; "%%" a '%'), used in the warning when the file ends
// first. Not fatal.
void skip_model(InputReader *in, const char *location, int *line_count);

// Number of blank-separated fields in a string (null: 0).
int countfields(const char *s);

// Joins a node line with its continuation lines from in until it holds 2A+9 numbers (A of the
// current alphabet). linelength must be 100000 (another value is reported and nothing is done).
// Fatal: "complete_line: joined node line longer than %d characters".
void complete_line(std::string &line, int linelength, InputReader *in);

// 1 when the name ends in ".mod", ".mod.Z" or ".mod.gz", else 0 (also for null).
int is_modelfilename(const char *name);

// 1 when the file (searched through PRIOR_PATH and the library directory) holds a line that opens
// a model block, 0 when it holds none or the name is null or empty. Fatal: those of open_read_env
// with OPEN_FATAL (found nowhere).
int is_model_file(const char *name);

// Reads the first model block of an open file into *slot (replacing and releasing what it held;
// a null slot releases the block read). description names the model in messages ("initial
// model", "track %d model", ...). Returns 1 when a model was read, -1 when the file holds no block
// (a warning unless RMODEL_NOWARN), 0 for a null file. Fatal: "No model found in the %s file
// %s\n" (no block, with RMODEL_FATAL), and those of read_rmodel.
int fread_first_rmodel(InputReader *in, const char *filename, const char *description, int track,
                       Rmodel **slot, int flags);

// The same from a file name, opened through PRIOR_PATH and the library directory (open_read_env
// with OPEN_REWIND and the RMODEL_FATAL / RMODEL_QUIET bits as OPEN_FATAL / OPEN_QUIET). Returns 0
// for a null or empty name or a file that could not be opened, else as fread_first_rmodel. Fatal:
// those of open_read_env and fread_first_rmodel.
int read_first_rmodel(const char *filename, const char *description, int track, Rmodel **slot,
                      int flags);

// Ends the run with a clear message when a raw model is null or holds no numbered node (only
// special nodes, as a GENERIC-only block), so that no model of length -1 is built from it. what
// names the model in the message (null: "model"). Fatal: "No %s to build a model from", "The %s
// has no nodes (only special nodes); no model can be built from it".
void require_rmodel_nodes(const Rmodel *rmodel, const char *what);

// ---------------------------------------------------------------------------------------------
// BINARY form
// ---------------------------------------------------------------------------------------------

// Reads the rest of a BINARY block from in (positioned after the "BINARY" line): the text lines up
// to the alphabet line, the counts, the shared insert tables, the nodes and the ENDMODEL line.
// Returns a new raw model owned by the caller. Values are taken as read_probs takes them:
// a little below 0 reads as 0, and only the first match value of a model position (Begin, a
// start- or end-numbered node) may be negative beyond MODEL_VALUE_ROUNDING. Fatal: "unexpected
// EOF on %s" (no alphabet line), "%s: BINARY model block cut short or corrupt (%s)", "%s: BINARY
// model block holds a value that is not a finite number (%s)", "%s: BINARY model block holds a
// negative value %g (node %s)" (GENERIC, LETTCOUNT, FREQAVE, End, a node number or -k for the
// k-th node before End), and those of process_alphabet and check_alphabet.
Rmodel *binary_r_rmodel(InputReader *in, const char *filename, int *line_count, int track);

// Reads one node record; returns a new node (the caller's) or null for an absent one. fim_index
// and ins_index are the shared-table indexes (-1 none), fim_table and ins_table the shared
// tables. The values are taken as stored (binary_r_rmodel checks them for negatives). Fatal: the
// cut-short and not-finite BINARY messages of binary_r_rmodel.
Node *binary_r_node(InputReader *in, const char *filename, int track, int fim_index, int ins_index,
                    const float *fim_table, const float *ins_table);

// Writes one node record (a single 0 word for null).
void binary_p_node(FILE *out, const Node *node, int fim_index, int ins_index);

// Writes a table index word and, unless it is -1, the insert table of nodes[index].
void binary_write_table(Node *const *nodes, int index, FILE *out);

// 1 once any block of the run has been read in BINARY form.
int last_model_read_binary();
// Forgets the BINARY record and the once-per-run warning of the text reader, as at start-up
// (see reset_library_state).
void reset_modelio_state();

// Little-endian words (4 bytes, least significant first).
void binary_put_int(FILE *out, int value);
void binary_put_float(FILE *out, float value);

// ---------------------------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------------------------

// Writes a model block. format: number format of the values (null: " %8.6f "); binary: 0 text,
// 1 BINARY, anything else writes nothing. Returns 1 when something was written, else 0 (also for
// a null stream or model). Not fatal.
int nice_print_model(FILE *out, const Model *model, const char *keyword, const char *title,
                     const char *format, int binary);
int nice_print_rmodel(FILE *out, const Rmodel *rmodel, const char *keyword, const char *title,
                      const char *format, int binary);
// As nice_print_model; with remove_fims set and FIMs at node 0 and node L writes a copy
// without them, titled "<title> (internally generated FIMs removed)".
int delfims_nice_print_model(FILE *out, const Model *model, const char *keyword, const char *title,
                             const char *format, int remove_fims, int binary);

// Writes one node in text form: name (or number as "%4d"), environment comment, values; null
// writes nothing.
void print_node(FILE *out, const Node *node, const char *name, int number, const char *format);

// The alphabet line of a model block for the current alphabet.
void print_model_alphabet_line(FILE *out);

// ---------------------------------------------------------------------------------------------
// Debug dumps ('%' comment lines); a null stream means the debug stream.
// ---------------------------------------------------------------------------------------------

// The debug stream "dbg.log", created (emptied) on first use, unbuffered; it belongs to the
// library. Fatal: "Open of dbg.log failed: %s". The dumps below are fatal only through it.
FILE *dbg_log_file();
// Each writes the title (a printf format and its values) and then the record: a node, a cost
// record, every node and cost record of a model, a sequence's scores and weights. A null node or
// cost record writes the title only; a null model or sequence is shown as "NULL".
void dbg_print_node(FILE *out, const Node *node, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void dbg_print_weight(FILE *out, const ModWeight *weight, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void dbg_print_model(FILE *out, const Model *model, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void dbg_print_seq(FILE *out, const Sequence *seq, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

#endif
