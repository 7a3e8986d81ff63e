// Model files: reading model blocks in text and BINARY form into raw models, finding and
// skipping blocks in files, writing models and raw models back in either form, and the debug
// dumps of models, nodes, cost records and sequences.
#ifndef QOR_MODELIO_H
#define QOR_MODELIO_H

#include <cstdio>
#include <string>

struct InputReader;
struct Node;
struct ModWeight;
struct Model;
struct Rmodel;
struct Sequence;

// ---------------------------------------------------------------------------------------------
// Text form and block handling
// ---------------------------------------------------------------------------------------------

// Flags of fread_first_rmodel / read_first_rmodel (the open flags 1 and 2 are passed on to
// open_read_env by read_first_rmodel).
constexpr int RMODEL_FATAL = 1;   // no file or no block ends the run
constexpr int RMODEL_QUIET = 2;   // no warning from the library search
constexpr int RMODEL_NOWARN = 8;  // no warning when the file holds no block

// Largest node number a model file may use (a larger one is refused as corrupt).
constexpr int MAX_MODEL_NODE_NUMBER = 1000000;

// True when the line opens a model block: it begins with "MODEL", "REGULARIZER",
// "FREQUENCIES" or "NULLMODEL" (exact, case-sensitive prefixes).
bool is_model_header(const char *line);

// Reads one model block. in: its reader; filename: for messages; line_count: the caller's
// line counter, advanced for every line read after the header; header: the header line already
// read by the caller, or null/empty to search for the next header; keyword, title: optional
// outputs of the split header; track: the track whose alphabet the block's alphabet line sets.
// Returns a new raw model (text or BINARY form); every failure is fatal.
Rmodel *read_rmodel(InputReader *in, const char *filename, int *line_count, const char *header,
                    std::string *keyword, std::string *title, int track);

// Reads one node line (first line in line, continuation lines from in) into *node, allocating
// it when *node is null. Gives back the node's name letter (upper-cased first character of the
// line) in *name and returns -1 for a named node; for a numbered node *name is 0 and the node
// number is returned. The line counter advances for each continuation line read. When the values
// stop at a continuation line that does not begin with a number, that line is left in line and
// *pending (when given) is set: the caller reads it as the next line of the block.
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
// format holding one "%d" (the line number), used in the warning when the file ends first.
void skip_model(InputReader *in, const char *location, int *line_count);

// Number of blank-separated fields in a string.
int countfields(const char *s);

// Joins a node line with its continuation lines from in until it holds 2A+9 numbers.
// linelength must be 100000; the joined line may not pass 100000 characters.
void complete_line(std::string &line, int linelength, InputReader *in);

// 1 when the name ends in ".mod", ".mod.Z" or ".mod.gz", else 0.
int is_modelfilename(const char *name);

// 1 when the file (searched through PRIOR_PATH and the library directory; found nowhere is
// fatal) holds a line that opens a model block, 0 when it holds none or the name is empty.
int is_model_file(const char *name);

// Reads the first model block of an open file into *slot (replacing what it held).
// description names the model in messages ("initial model", "track %d model", ...).
// Returns 1 when a model was read, -1 when the file holds no block, 0 for a null file.
int fread_first_rmodel(InputReader *in, const char *filename, const char *description, int track,
                       Rmodel **slot, int flags);

// The same from a file name, opened through PRIOR_PATH and the library directory with the
// flags plus 4. Returns 0 for an empty name or a file that could not be opened, else as
// fread_first_rmodel.
int read_first_rmodel(const char *filename, const char *description, int track, Rmodel **slot,
                      int flags);

// Ends the run with a clear message when a raw model holds no numbered node (only special
// nodes, as a GENERIC-only block), so that no model of length -1 is built from it. what names
// the model in the message.
void require_rmodel_nodes(const Rmodel *rmodel, const char *what);

// ---------------------------------------------------------------------------------------------
// BINARY form
// ---------------------------------------------------------------------------------------------

// Reads the rest of a BINARY block from in (positioned after the "BINARY" line).
Rmodel *binary_r_rmodel(InputReader *in, const char *filename, int *line_count, int track);

// Reads one node record; returns a new node or null for an absent one. fim_index and
// ins_index are the shared-table indexes (-1 none), fim_table and ins_table the shared tables.
Node *binary_r_node(InputReader *in, const char *filename, int track, int fim_index, int ins_index,
                    const float *fim_table, const float *ins_table);

// Writes one node record (a single 0 word for null).
void binary_p_node(FILE *out, const Node *node, int fim_index, int ins_index);

// Writes a table index word and, unless it is -1, the insert table of nodes[index].
void binary_write_table(Node *const *nodes, int index, FILE *out);

// 1 once any block of the run has been read in BINARY form.
int last_model_read_binary();

// Little-endian words (4 bytes, least significant first).
void binary_put_int(FILE *out, int value);
void binary_put_float(FILE *out, float value);

// ---------------------------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------------------------

// Writes a model block. format: number format of the values (null: " %8.6f "); binary: 0 text,
// 1 BINARY, anything else writes nothing. Returns 1 when something was written, else 0.
int nice_print_model(FILE *out, const Model *model, const char *keyword, const char *title,
                     const char *format, int binary);
int nice_print_rmodel(FILE *out, const Rmodel *rmodel, const char *keyword, const char *title,
                      const char *format, int binary);
// As nice_print_model; with remove_fims set and FIMs at node 0 and node L writes a copy
// without them, titled "<title> (internally generated FIMs removed)".
int delfims_nice_print_model(FILE *out, const Model *model, const char *keyword, const char *title,
                             const char *format, int remove_fims, int binary);

// Writes one node in text form: name (or number as "%4d"), environment comment, values.
void print_node(FILE *out, const Node *node, const char *name, int number, const char *format);

// The alphabet line of a model block for the current alphabet.
void print_model_alphabet_line(FILE *out);

// ---------------------------------------------------------------------------------------------
// Debug dumps ('%' comment lines); a null stream means the debug stream.
// ---------------------------------------------------------------------------------------------

// The debug stream "dbg.log", created (emptied) on first use, unbuffered.
FILE *dbg_log_file();
void dbg_print_node(FILE *out, const Node *node, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void dbg_print_weight(FILE *out, const ModWeight *weight, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void dbg_print_model(FILE *out, const Model *model, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void dbg_print_seq(FILE *out, const Sequence *seq, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

#endif
