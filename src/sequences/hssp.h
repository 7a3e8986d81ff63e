// HSSP files (a protein of known structure with its aligned relatives) read as alignments, and
// structure templates: per residue the amino letter, the secondary-structure letter and the
// solvent accessibility, extracted from an HSSP file, written to and read from ".tplate" files.
// Applying a template to the node environments of a model is engine/template_align.h.
#ifndef QOR_HSSP_H
#define QOR_HSSP_H

#include <cstdio>

struct Sequence;
struct SeqTrackFile;

// Number of structure triples (rows of Structure3_4CodeTable); an environment code is
// STRUCTURE_TRIPLES * accessibility class + triple index.
constexpr int STRUCTURE_TRIPLES = 16;
// Triple index of a triple that matches no other row ("***").
constexpr int TRIPLE_ANY = 15;
// Accessibility bins made by binACC (0 buried, 1 intermediate, 2 exposed) and their bounds.
constexpr int ACC_BINS = 3;
constexpr int ACC_BURIED_MAX = 20;
constexpr int ACC_INTERMEDIATE_MAX = 70;
// Longest header line of an HSSP file that the format foresees (longer lines are read whole).
constexpr int HSSP_LINE_LENGTH = 10000;

// The structure triples; '*' in a row matches any character.
extern const char *const Structure3_4CodeTable[STRUCTURE_TRIPLES];

// A structure template. Per-position arrays are indexed 1..length.
struct Template {
    int length;
    char *id;         // owned, or null
    char *residues;   // length + 1 characters, owned
    char *structure;  // length + 3 characters, owned; 0 and length + 1 blank when read from a file
    int *env;         // environment codes (length + 2), owned; null until computed
    int *acc;         // accessibility (length + 2), owned; after binACC the bins 0..2
};

// 1 when the file's first four bytes are "HSSP"; 0 for a null or empty name, a file that cannot
// be opened (no message) or other content.
int isHSSP(const char *filename);

// Reads the header of an HSSP file up to its first "## ALIGNMENTS" line: *length and *columns
// receive SEQLENGTH, *count NALIGN (each out may be null).
// Fatal: the open failure of open_read; the header faults of read_HSSP.
void HSSPinfo(const char *filename, int *length, int *columns, int *count);

// Reads an HSSP file from an open stream (the caller closes it): returns NALIGN new rows, one per
// aligned relative, each SEQLENGTH characters and a NUL (a gap, blank or missing column is '-',
// lower case becomes capital); the caller frees each row and the array. *count receives NALIGN.
// With template_flag above 0 the structure is also written to "<template_id>.tplate".
// name names the file in messages (null: "HSSP file").
// A block holds the relatives its "## ALIGNMENTS" label gives when the label follows the relatives
// read before and fits the relative columns of its column header; otherwise it holds as many as
// the header has columns (up to NALIGN), with one warning per file on standard error naming the
// label that disagrees.
// Fatal, "HSSP file %s: ..." with the line: no "## ALIGNMENTS" block (truncated file); a
// SEQLENGTH or NALIGN missing, not a number or not positive; a block label that is unparsable,
// out of order or past NALIGN; a column header without its '.', "AA" (or, with the template
// flag, "STRUCT" and "ACC") marks; a residue line with letters past its header's relative
// columns ("block of relatives ... wider than the ... relative columns of its column header",
// on the header's line); column headers holding fewer relatives than NALIGN; a block with fewer
// residue lines than SEQLENGTH or a residue line without its residue column; the file ending
// inside a block. PrintTemplate's failure.
char **read_HSSP(FILE *fp, int *count, int template_flag, const char *template_id,
                 const char *name = nullptr);

// The next HSSP row of a track file as track track_index of seq: residues copied, the ID the file
// name without directory, '#' and the row number (from 0); no annotation. Returns 1, or 0 (done
// flag set) when no row is left. Fatal: "Sequence id %s from %s does not match id of main
// sequence (%s)" when an earlier track gave another ID.
int read_HSSP_item(SeqTrackFile *track, Sequence *seq, int track_index);

// A new template of the given length (arrays zeroed, no environment codes) with a copy of the id;
// the caller owns it (release with free_template). Fatal: "alloc_template: length %d out of
// range" for a negative length or one too large for its arrays.
Template *alloc_template(int length, const char *id);
// Releases a template and everything it owns; null is ignored.
void free_template(Template *t);

// Reads a ".tplate" file: returns a new template with its environment codes, and in *tseq (when
// given) a new one-track Sequence of its residues as letter indices, ID the template id. Null
// (and *tseq null) for a null or empty name.
// Fatal: the open failure of open_read; "The specified template file %s is not a template
// file."; "Template file %s: ..." for a missing or non-positive SEQLENGTH, a missing ID, a row
// that is not residue, structure letter and accessibility, or more rows than SEQLENGTH;
// "Number of residues read from template sequence does not match number specified in file %s
// (%d, SEQLENGTH %d). Or, no sequences found."
Template *read_template(const char *filename, Sequence **tseq);

// Writes "<id>.tplate" in the current directory (arrays indexed 1..length); an old file of that
// name is replaced only once the new one is complete (open_output_path).
// Fatal: "can not open \"%s\": %s" (file name, system error text).
void PrintTemplate(const char *id, const char *residues, const char *structure, const int *acc,
                   int length);

// A new array (length + 2 ints; the caller frees it) of the environment codes 1..length of a
// structure string indexed 1..length.
int *GetEnv(const char *structure, int length);

// The index 0..15 of the first row of Structure3_4CodeTable that the three characters match
// (TRIPLE_ANY when none does); a '*' in the triple matches only a '*' of the table. A shorter
// text is read up to its end only (the missing characters match only a '*').
int StructureFromTriple4(const char *triple);

// Writes "<triple row>, <class>" for a code (row code mod 16, class code / 16) into buffer (at
// least 16 bytes). Fatal: "Unknown environment code %d" for a negative code.
void EnvFromCode(char *buffer, int code);

// Bins values 1..n in place: up to 20 becomes 0, up to 70 becomes 1, above 70 becomes 2.
void binACC(int *values, int n);

#endif
