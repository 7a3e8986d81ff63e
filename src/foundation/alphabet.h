// Alphabets: the static table of built-in alphabets and user slots, the letter lookup of each
// alphabet, the alphabet of every sequence track, user-defined alphabets, alphabet background
// files and the alphabet listings.
#ifndef QOR_ALPHABET_H
#define QOR_ALPHABET_H

#include <cstddef>
#include <cstdio>

// Largest emission size with wildcards that a track alphabet may have; also the size of the
// match and insert regularizer arrays of a record.
constexpr int MAX_ALPHA_LENGTH = 128;
// Number of sequence tracks that can carry an alphabet.
constexpr int MAX_ALPHABET_TRACKS = 6;
// Table layout: 40 built-ins, 6 user slots, the end record.
constexpr int NUM_BUILTIN_ALPHABETS = 40;
constexpr int NUM_USER_ALPHABETS = 6;
constexpr int ALPHABET_TABLE_SIZE = NUM_BUILTIN_ALPHABETS + NUM_USER_ALPHABETS + 1;
// Id of every user slot (lettered or numeric alphabet alike).
constexpr int USER_ALPHABET_ID = 41;
// Id of the end record of the table.
constexpr int END_ALPHABET_ID = 0;
// Largest count of a numeric user alphabet.
constexpr int MAX_NUMERIC_ALPHABET = 255;
// Longest line of an alphabet background file, without its line end.
constexpr size_t BACKFILE_MAX_LINE = 999;

// Ids of the built-in alphabets (the table lists them in its own order; ids 28-31 are unused).
constexpr int DNA_ALPHABET_ID = 1;
constexpr int RNA_ALPHABET_ID = 2;
constexpr int PROTEIN_ALPHABET_ID = 3;
constexpr int DSSP_ALPHABET_ID = 4;
constexpr int EHL_ALPHABET_ID = 5;
constexpr int EHL2_ALPHABET_ID = 6;
constexpr int EHTL_ALPHABET_ID = 7;
constexpr int EHTL2_ALPHABET_ID = 8;
constexpr int EBHTL_ALPHABET_ID = 9;
constexpr int EBGHSTL_ALPHABET_ID = 10;
constexpr int EBGHTL_ALPHABET_ID = 11;
constexpr int PB_ALPHABET_ID = 12;
constexpr int STR_ALPHABET_ID = 13;
constexpr int ANG_ALPHABET_ID = 14;
constexpr int TCO_ALPHABET_ID = 15;
constexpr int ALPHA_ALPHABET_ID = 16;
constexpr int QMR_ALPHABET_ID = 17;
constexpr int STRIDE_ALPHABET_ID = 18;
constexpr int STR2_ALPHABET_ID = 19;
constexpr int CB_BURIAL_12_7_ALPHABET_ID = 20;
constexpr int CB_BURIAL_14_7_ALPHABET_ID = 21;
constexpr int CB_BURIAL_16_7_ALPHABET_ID = 22;
constexpr int BURIAL_8_7_ALPHABET_ID = 23;
constexpr int BURIAL_9_7_ALPHABET_ID = 24;
constexpr int BURIAL_10_7_ALPHABET_ID = 25;
constexpr int CA_BURIAL_12_7_ALPHABET_ID = 26;
constexpr int CA_BURIAL_14_7_ALPHABET_ID = 27;
constexpr int RELSA10_ALPHABET_ID = 32;
constexpr int NEAR_BACKBONE_11_ALPHABET_ID = 33;
constexpr int CODON_ALPHABET_ID = 34;
constexpr int N_SEP_ALPHABET_ID = 35;
constexpr int O_SEP_ALPHABET_ID = 36;
constexpr int N_NOTOR_ALPHABET_ID = 37;
constexpr int O_NOTOR_ALPHABET_ID = 38;
constexpr int N_NOTOR2_ALPHABET_ID = 39;
constexpr int O_NOTOR2_ALPHABET_ID = 40;

// One record of the alphabet table.
struct AlphabetInfo {
    int id;  // internal id: a *_ALPHABET_ID, USER_ALPHABET_ID, END_ALPHABET_ID (end record)
    const char *name;         // null in an empty user slot and in the end record
    const char *comment;      // or null
    int length;               // number of base letters (without wildcards)
    int length_wild;          // number of letters with wildcards; the last is the catch-all
    int emit_length;          // emission values of a model node (64 for CODON)
    int emit_length_wild;     // the same with wildcards (125 for CODON)
    const char *letters;      // letters in index order, base letters first; null when numeric
    const char *conversions;  // letter pairs separated by ',' ("XN,UT"), or null
    float trans_reg[9];  // into delete from D,M,I; into match from D,M,I; into insert from D,M,I
    float match_reg[MAX_ALPHA_LENGTH];   // one per emission index
    float insert_reg[MAX_ALPHA_LENGTH];  // one per emission index
    signed char lookup[256];             // letter index of every character code
    unsigned char
        *digits;  // numeric user alphabet: (length_wild + 1) entries of
                  // digits_per_number digit values (0-9), least significant first; else null
    int digits_per_number;  // numeric user alphabet only; 0 otherwise
};

// The table: the built-ins in their fixed order, the six user slots, the end record.
extern AlphabetInfo alphabet_table[ALPHABET_TABLE_SIZE];
// The current alphabet (track 0's unless switched to another track's); null until set.
extern AlphabetInfo *alphabet;
// The alphabet of each sequence track; null when not set.
extern AlphabetInfo *alphabets[MAX_ALPHABET_TRACKS];
// Number of tracks whose alphabet has been set.
extern int num_alphabets;

// A scoped switch of the current alphabet: makes `a` current for the life of the guard and puts
// back the alphabet that was current before on every exit from the scope (a return, or a fatal
// error thrown under error_throws). Owns nothing.
struct ScopedAlphabet {
    explicit ScopedAlphabet(AlphabetInfo *a) : saved(alphabet) { alphabet = a; }
    ~ScopedAlphabet() { alphabet = saved; }
    ScopedAlphabet(const ScopedAlphabet &) = delete;
    ScopedAlphabet &operator=(const ScopedAlphabet &) = delete;
    AlphabetInfo *const saved;  // the alphabet current before
};

// Letter index of a character in an alphabet (the byte taken unsigned).
inline int letter_index(const AlphabetInfo *a, int ch) {
    return a->lookup[static_cast<unsigned char>(ch)];
}
// Index of the catch-all wildcard.
inline int wildcard_index(const AlphabetInfo *a) {
    return a->length_wild - 1;
}
// True for an alphabet of numbers (no letters).
inline bool alphabet_is_numeric(const AlphabetInfo *a) {
    return a->letters == nullptr;
}

// Builds the built-in regularizers and the letter lookup of every built-in record (start-up;
// again after a change of their conversions). Not fatal.
void init_alphabets();
// The first built-in record with that id (the table's own). Fatal: "alphabet_id_to_info: unknown
// alphabet id %d" (also for USER_ALPHABET_ID and END_ALPHABET_ID).
AlphabetInfo *alphabet_id_to_info(int id);
// The first record (built-in or defined user slot) with that name by capscomp, or null (also for
// a null name). The record is the table's own.
AlphabetInfo *find_alphabet_by_name(const char *name);
// Sets the alphabet of a track to the built-in alphabet of that name (track 0 also makes it
// current and names it in the alphabet parameter unless the user set that); the same alphabet
// again does nothing. prefix is the "%s(%d): " text of the parameter line (null or empty).
// Fatal: "%s: alphabet %s given for track %d; only %d tracks are possible", "%s: Unrecognized
// alphabet %s\nLegal alphabets are: %s", "%s: Length of alphabet %s exceeds MAX_ALPHA_LENGTH",
// "alphabet is %s, trying to set it to %s." (the track has another alphabet).
void init_alphabet_by_name(const char *name, int track, const char *prefix);
// Makes sure the current alphabet is set: when none is, track 0's alphabet is guessed from the
// kind of the file (or, with null, of the first sequence file named by parameters): DNA for DNA
// or nucleic letters, RNA, protein. Fatal: "No sequence file found to set alphabet.", "No
// alphabet specified and file %s no help." (no kind), "alphabet is %s, trying to set it to %s."
// (track 0 has another alphabet), and those of seqfile_format_type.
void check_alphabet(const char *filename);

// Applies an alphabet parameter line (key included: alphabet, a or alphabet_def, with names, or
// pairs of name and letters or count, separated by blanks or ','). Track -1 sets tracks from 0
// on, one per name; a track of 0 or more takes one name and makes it current. alphabet_def
// defines user alphabets in free user slots ("-" after a name: the built-in alphabet) and
// records the value in the alphabet_def parameter. Fatal: "%s: alphabet must have a list of one
// or more alphabet names", "%s: alphabet_def must have a list of pairs of alphabet name and
// letters", "%s: bug: number of tracks must be one", "%s: track %d is beyond the %d sequence
// tracks", "%s: %d alphabets given; at most %d sequence tracks can have one", those of
// init_alphabet_by_name, and for user alphabets "%s: to many alphabet_def alphabets specified",
// "%s: minimum defined alphabet is two letters plus a wild character", "%s: alphabet can only
// contain alphabetic characters, got \"%s\"", "%s: Letter %c is repeated in alphabet %s", "%s:
// numeric alphabet %s is defined to be %d characters.  Only %d\n%s", "%s: Length of alphabet %s
// exceeds MAX_ALPHA_LENGTH" and the three "%s: alphabet is %s, ..." / "%s: numeric alphabet is
// %s, ..." messages of a track that has another alphabet.
void process_alphabet(const char *line, int track, const char *prefix);
// Reads one alphabet background file (Alphabet / Order / Probs stanzas) into the regularizers of
// the alphabets it names; malformed stanzas are reported on standard error and skipped (also a
// Probs line holding a value that is not a finite non-negative number, or values that leave a
// background summing to 0, reported with its line). The stream stays the caller's. Not fatal, but
// for a line longer than BACKFILE_MAX_LINE: "Line %ld of %s is longer than %zu characters"
// (reader.h).
void process_alphabet_backfile(FILE *in, const char *filename);

// Listings (not fatal). One record (nothing for null or the end record):
void print_alphabet_info(FILE *out, const AlphabetInfo *a);
// Listing of every record of the table up to the end record.
void print_internal_alphabet_info(FILE *out);
// Track headers and the listing of each set track alphabet.
void print_set_alphabet_info(FILE *out);
// The alphabet parameter line of a model file for the first ntracks tracks (at most
// MAX_ALPHABET_TRACKS; tracks without alphabet skipped): "alphabet" with the names, or
// "alphabet_def" with pairs when any is a user alphabet.
void print_alphabet(FILE *out, int ntracks);

// Forgets every track alphabet and user alphabet and restores the built-in regularizers (a fresh
// start inside one process; used by the unit tests).
void reset_alphabets();

#endif
