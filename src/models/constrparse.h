// Constraint files: reading them into a ConstrTable and writing one back (the table itself and
// the per-residue constraints are in constraints.h).
#ifndef QOR_CONSTRPARSE_H
#define QOR_CONSTRPARSE_H

#include "models/constraints.h"

// Longest sequence ID of a constraint file.
constexpr int CONSTR_MAX_ID = 512;
// Longest number text of a constraint file.
constexpr int CONSTR_MAX_NUMBER = 513;

// A new table with the constraints of the count files, read in order; null when count < 1.
// Unlabelled ranges are refused unless allow_unlabeled is set. Fatal messages name the file and
// line: "%s:%d: data line before a section:\n%s", "%s:%d: sequence id exceeds maximum length of
// %d", "%s: %d: invalid constraint defintion: %s\n%s" and "Error: constraint file %s has
// constraints with unspecified model labels,\n%s"; and those of open_read and
// add_constraint_to_table.
ConstrTable *read_constraints_table(char *const *filenames, int count, int allow_unlabeled);
// Writes the table as a constraint file (through a temporary file, as open_output_path does).
// Returns 0 when it was written whole; otherwise EOF, and a file of that name is as it was.
// Fatal: "Couldn't open file %s for writting: %s"; an ID that would not read back as itself
// (empty, white space or a '#' at its start, longer than 512 characters) is refused before
// anything is written: "constraint table: sequence id \"%s\" cannot be written to %s".
int write_constraints_table(const ConstrTable *table, const char *filename);
// Reads one number of an entry starting at *p up to (not past) one of the characters of stops
// or the end of the text, white space ignored. Returns null on success (*p at the stop, *value
// set), else the reason: "invalid number", "number out of range", "garbage entry", or
// "missing value" for an empty number.
const char *parse_constr_def_num(const char **p, const char *stops, int *value);

#endif
