// The common start-up of every program: the command line (basic_command_line), the per-user
// parameter file and the model files named by parameters (read_default_inits), the program
// banner, the default regularizer, and the fresh start of test harnesses.
#ifndef QOR_STARTUP_H
#define QOR_STARTUP_H

#include <string>

struct Rmodel;  // model_records.h

// Required-flags of basic_command_line.
enum {
    REQUIRE_MODEL = 1,
    REQUIRE_REGULARIZER = 2,
    REQUIRE_NULLMODEL = 8,
    REQUIRE_ANY_MODEL = 0x40,
    // Not a model: the run name names the program's output files, so it must not be empty.
    REQUIRE_RUN_NAME = 0x80,
};

// The banner line of a program: "QOR: %s v%s %s compiled %s" with the program name as invoked
// (null gives an empty name), the version, the release date and the build stamp.
std::string program_banner(const char *program);

// The common start-up of every program (call once, first). argv/argc as given to main; run_name
// receives the first argument; note (optional) receives a comment block naming the per-user
// parameter file; read_flags and required_flags as the READ_* and REQUIRE_* bits; banner is the
// formatted "QOR: %s v%s %s compiled %s" line; usage (optional) writes the program's own usage
// lines to standard error. The size-limit signal (SIGXFSZ) is ignored from here on, so that a
// write past a file-size limit fails as a write error, and the interrupt handlers are installed
// (install_interrupt_handlers). The special forms (no argument, "-v",
// "-h", "-dump_parameters 2") and a missing required model end the process here (status 1, or 0
// for "-v", "-h" and the dump).
// Fatal: "basic_command_line called twice!", "Option %s: option and value longer than %d
// characters.", "The run name holds a line end (CR or LF)", with REQUIRE_RUN_NAME "The run name
// is empty: every output file is named after it", "The run name %s ends in '/': every output
// file is named after it" and, for a last part "." or "..", "The run name %s names a folder:
// every output file is named after it"; a malformed option pair ends the run
// with its message and the usage text (status 1); and the messages of the parameter lines, files
// and model reads it makes.
void basic_command_line(char **argv, int argc, std::string &run_name, std::string *note,
                        int read_flags, int required_flags, const char *banner, void (*usage)());

// The per-user parameter file (QORRC, else ./.qorrc, else ~/.qorrc; note, when given, receives
// a comment block naming it), the model files named by parameters (as read_flags asks), the
// default regularizer from the current alphabet (when make_default_reg is set and none was read)
// and the random seeds. Fatal: those of read_init, read_first_rmodel (RMODEL_FATAL) and
// check_alphabet.
void read_default_inits(int make_default_reg, std::string *note, int read_flags);

// A new raw model (owned by the caller) whose only node is a GENERIC node built from the
// regularizers of the track's alphabet. Fatal: "make_base_regularizer: track %d has no
// alphabet".
Rmodel *make_base_regularizer(int track);

// A fresh start inside one process (unit tests, fuzz harnesses): every parameter released and set
// to its default, every track and user alphabet forgotten, the once-per-run warnings and records
// of the library cleared, the outputs in progress discarded (discard_outputfiles) and the score
// sort direction ascending again. Models held by model parameters are dropped, not released.
void reset_library_state();

#endif
