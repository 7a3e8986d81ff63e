// Dirichlet-mixture prior libraries: the PriorLib record, its text file (read and written), its
// rendering as source code, the four built-in mixtures, log-Beta and the posterior-mean estimate
// of letter counts. Also the environment-dependent transition priors: TransPriors (one mixture
// per source state), EnvPlib (the mixtures of one environment), environment code tables and the
// transition-prior library file.
#ifndef QOR_PRIOR_H
#define QOR_PRIOR_H

#include <cstdio>

struct Model;
struct InputReader;

// ---------------------------------------------------------------------------------------------
// Dirichlet-mixture prior libraries
// ---------------------------------------------------------------------------------------------

// Directory searched for prior libraries when $PRIOR_PATH is not set (callers pass it).
constexpr const char *PRIOR_LIBRARY_DIR = "/usr/local/lib/qor";
// Environment variable naming the directory of prior libraries.
constexpr const char *PRIOR_PATH_VARIABLE = "PRIOR_PATH";
// Selector codes of the built-in mixtures (read_PriorLib with no file name).
enum {
    PRIOR_BUILTIN_NONE = 0,
    PRIOR_BUILTIN_PROTEIN20 = 1,  // 20 components over 20 letters; protein or codon alphabet only
    PRIOR_BUILTIN_PROTEIN32 = 2,  // 32 components over 20 letters
    PRIOR_BUILTIN_EHL2 = 3,       // 9 components over 3 letters
    PRIOR_BUILTIN_EBGHTL = 4,     // 6 components over 6 letters
};
// Longest word of a prior-library file; a longer one is refused.
constexpr int PRIOR_MAX_WORD = 1000;
// Mixture coefficients are renormalised when their sum is off 1 by more than this.
constexpr double PRIOR_MIX_TOLERANCE = 0.01;

struct PriorLib {
    int AlphaChar;    // K: letters each component covers
    int NumDistr;     // N: components
    char *Name;       // owned; null when none
    char *FileName;   // owned; the name asked for (not the path found); null when none
    double *Mix;      // N mixture coefficients (owned)
    double **Distr;   // N vectors of K+1 (owned): [0] the total, [1..K] the parameters
    double *logBeta;  // N cached log B(alpha_c) (owned); 0 means not computed yet
};

// A new library of N components over K letters, every value 0. The strings are copied when
// non-null and non-empty (else null); the caller owns it (release with free_PriorLib). Fatal:
// "alloc_PriorLib: %d components over %d letters" for a negative count, and exhausted memory.
PriorLib *alloc_PriorLib(int N, int K, const char *name, const char *file_name);
// Releases *lib and everything it owns and sets *lib to null; a null address or pointer is
// ignored.
void free_PriorLib(PriorLib **lib);
// The built-in 32-component mixture over the 20 amino acids (caller owns it).
PriorLib *genproteinprior();

// A new library (caller owns it) or null:
// - name non-empty: the text file of that name, found as a library data file (the name, else
//   under $PRIOR_PATH, else under default_dir); null with a warning when it cannot be found, or
//   with messages when its letter count differs from expected_K;
// - name null or empty: the built-in of the selector; null (no message) for another selector or
//   for selector 1 under another alphabet than protein or codon; null with messages when its
//   letter count differs from expected_K.
// Report lines ("%"-comments) go to report (may be null).
// Fatal, naming the file (and line where there is one): "File %s does not appear to be a prior
// library.", "Error in reading prior library %s.\n%d components read--expecting %d.", counts
// of 0 or less, negative coefficients, parameters that are not positive, a coefficient sum of 0
// or less, parameters whose single-precision sum overflows, a word that is not a number where a
// number stands, a word over PRIOR_MAX_WORD bytes.
PriorLib *read_PriorLib(const char *name, const char *default_dir, FILE *report, int expected_K,
                        int selector);
// Writes the text form; every value is written with enough digits to read back exactly. No name
// is written.
void write_PriorLib(FILE *out, const PriorLib *lib);
// Writes the library as source code that rebuilds it to base_name + ".c" and closes the file.
// Fatal: "(open_outputfile):  Could not open file %s".
void write_PriorLib_C(const char *base_name, const char *macro, const PriorLib *lib);

// log B(v) = sum of lgamma(v[i]) minus lgamma(sum of v[i]), i = 0..n-1.
double calc_logB(const double *v, int n);
// The same operation under a second name.
double calc_logBf(const double *v, int n);

// Replaces the K counts of table by their posterior-mean estimate under the mixture, keeping
// the total (all-zero counts give the mixture's mean distribution). With codon_reg the table is
// a codon table (64 values), estimated through its 20 amino-acid sums and spread back with the
// regularizer and w. Fatal: "adapt_freq_table: count scale %g must be positive" for s <= 0;
// "adapt_freq_table: prior library has %d letters, a codon table needs %d" when a codon table
// meets a library that is not over the 20 amino acids.
void adapt_freq_table(float *table, PriorLib *lib, const float *codon_reg, double s, double w);
// adapt_freq_table on the match table of every node 1..L (codon_reg only for nodes of type 'C');
// nothing for a null model or library. Fatal: "adapt_frequencies: prior library has %d letters,
// node %d has %d" when the library does not fit a node's table.
void adapt_frequencies(Model *counts, PriorLib *lib, const float *codon_reg, double s, double w);
// adapt_frequencies on every non-null model of the array, after a once-per-run note.
void adapt_family_frequencies(Model **models, PriorLib *lib, int count, const float *codon_reg,
                              double s, double w);

// ---------------------------------------------------------------------------------------------
// Transition priors
// ---------------------------------------------------------------------------------------------

// Source states of a transition-prior library's state order, as estimation reads them; also the
// positions of the targets in a parameter vector (parameter 1 + state).
enum { TRANS_STATE_DELETE = 0, TRANS_STATE_MATCH = 1, TRANS_STATE_INSERT = 2 };
// Text of an environment line that always means environment 0.
constexpr const char *ENV_JUST_DMI = "justDMI";

// The mixture of one source state.
struct TransPriors {
    int K;            // transitions (target states)
    int L;            // components
    double *Mix;      // L coefficients (owned)
    double **Distr;   // L vectors of K+1 (owned): [0] the total as written, [1..K] parameters
    char **comments;  // L comments (owned), null where a component has none
};

// The transition priors of one environment.
struct EnvPlib {
    int nstates;          // the library's state count
    TransPriors **trans;  // nstates entries by state position (array owned, entries not)
};

// Environment code table: rows by accessibility bin, columns by structure class, entries
// bin * classes + class.
struct EnvCodeTable {
    int bins;
    int classes;
    int **codes;  // bins rows of classes entries (owned)
};

// A new record of L zero coefficients, L zeroed vectors of K+1 and no comments; the caller owns
// it (release with free_TransPriors). Fatal: "alloc_TransPriors: %d components over %d
// transitions" for a negative count.
TransPriors *alloc_TransPriors(int L, int K);
// Releases the vectors, both arrays, every comment and the record; null is ignored.
void free_TransPriors(TransPriors *tp);
// A new record of nstates null entries; the caller owns it (release with free_EnvPlib). Fatal:
// "alloc_EnvPlib: %d states" for a negative count.
EnvPlib *alloc_EnvPlib(int nstates);
// Releases the array and the record (not the TransPriors); null is ignored.
void free_EnvPlib(EnvPlib *env);
// Releases a library from read_TransPriorsLib: every TransPriors, every EnvPlib and the array.
void free_TransPriorsLib(EnvPlib **lib, int nenv);

// Builds a new table of bins x classes codes into *table (an old table there is released; the
// caller owns the new one, release with free_EnvCodes); entry [b][c] is b * classes + c. Fatal:
// "makeEnvCodes: %d accessibility bins by %d classes" for a count of 0 or less, or more than
// TRANS_MAX_ENVS codes.
void makeEnvCodes(EnvCodeTable **table, int bins, int classes);
// Releases a table; null is ignored.
void free_EnvCodes(EnvCodeTable *table);
// The environment index of a code text: 0 when it contains "justDMI"; with a table, the text
// "structure triple, bin" gives the table's entry, or -1 when the bin is not a number or the
// triple's class or the bin lies outside the table; without a table "ERROR: Don't know this
// environment code.\n\n" goes to standard error and 0 is returned. The text is cut up.
int getEnvCode(char *text, const EnvCodeTable *table);

// Reads one state block ("L= n", then per component its "Number=", "Mixture=", parameter and
// comment lines) from r: a new record (caller owns it). Fatal as read_TransPriorsLib.
TransPriors *read_StateTransPriors(InputReader *r, int K);
// Reads "State" blocks into env up to a line containing "-----" (or the end of the file); a
// state read twice keeps the later block. order holds the state letters.
void read_Env(InputReader *r, EnvPlib *env, const char *order, int K);
// Opens a transition-prior library file (a missing file is fatal) and reads it: an array of one
// EnvPlib per environment (caller owns it; release with free_TransPriorsLib) and their number in
// *nenv. A coding section in the file replaces table; table may be null.
// Fatal, with the file and line: counts of 0 or less, a short Order line, an unknown or
// unresolvable environment, an environment index past the count, a "Number" outside 0..L-1, a
// state letter not in the order, a parameter line without K+1 numbers, a missing line (each
// "%s(%ld): ... in transition prior library"; the short Order line as "%s(%ld): Order line names
// %d of %d states in transition prior library").
EnvPlib **read_TransPriorsLib(const char *file, int *nenv, const EnvCodeTable *table);

// The pseudo-counts of one target transition (a TRANS_STATE_* value) from each source state
// (delete, match, insert) of an environment: the first component's parameter for that target;
// 0 for a state the environment has no mixture for. Fatal: "env_pseudocounts: target %d not in
// the library's %d transitions".
void env_pseudocounts(const EnvPlib *env, int target, float out[3]);

#endif
