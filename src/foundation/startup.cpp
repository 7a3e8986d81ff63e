// The common start-up of every program: the command line, the per-user parameter file, the model
// files named by parameters and the default regularizer; and the fresh start of test harnesses.
#include "foundation/startup.h"

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/interrupts.h"
#include "foundation/output_files.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "models/modelio.h"  // up: start-up reads the model, regularizer and null-model files
#include "models/models.h"   // up: start-up resets the library (the model units)
#include "scorefiles/seqio_scores.h"  // up: start-up resets the library (the sort direction)
#include "sequences/fasta.h"          // up: start-up resets the library (the FASTA warnings)
#include "sequences/model_records.h"  // up: start-up reads models into raw-model records
#include "sequences/seqio.h"          // up: start-up resets the library (the sequence readers)

// ---------------------------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------------------------

// A raw model whose only node is a GENERIC node made from the current alphabet's regularizers.
static Rmodel *regularizer_from_current_alphabet() {
    check_alphabet(nullptr);
    Rmodel *r = alloc_rmodel(nullptr);
    Node *node = alloc_node();
    for (int k = 0; k < 3; k++) {
        node->djump[k] = alphabet->trans_reg[k];
        node->mjump[k] = alphabet->trans_reg[3 + k];
        node->ijump[k] = alphabet->trans_reg[6 + k];
    }
    int a = (node->nparams - 9) / 2;
    for (int k = 0; k < a; k++) {
        node->match[k] = alphabet->match_reg[k];
        node->insert[k] = alphabet->insert_reg[k];
    }
    r->generic = node;
    return r;
}

Rmodel *make_base_regularizer(int track) {
    if (track < 0 || track >= MAX_ALPHABET_TRACKS || !alphabets[track])
        error("make_base_regularizer: track %d has no alphabet", track);
    ScopedAlphabet current(alphabets[track]);
    return regularizer_from_current_alphabet();
}

// True when the file can be opened for reading as a plain file (no decompression fallback).
static bool plain_file_opens(const std::string &path) {
    FILE *fp = open_input(path.c_str());
    if (!fp) return false;
    struct stat st;
    bool ok = fstat(fileno(fp), &st) == 0 && !S_ISDIR(st.st_mode);
    std::fclose(fp);
    return ok;
}

void read_default_inits(int make_default_reg, std::string *note, int read_flags) {
    if (note) note->clear();

    // Exactly one per-user parameter file, at the lowest priority.
    std::string userfile;
    const char *qorrc = std::getenv("QORRC");
    if (qorrc && !*qorrc) {
        // Set to an empty value: no per-user file at all (a way to run without one).
    } else if (qorrc) {
        userfile = qorrc;
        if (note)
            *note = "%\n%  Additional default parameters from QORRC =\n%\t" + userfile + "\n%\n";
        else if (verbout)
            std::fprintf(verbout, "Reading default parameters from QORRC=%s\n",
                         shown_text(qorrc).c_str());
    } else if (plain_file_opens(".qorrc")) {
        std::string dir = current_directory(".");
        userfile = dir + "/.qorrc";
        if (note)
            *note = "%\n%  Additional default parameters from\n%\t" + dir + "/.qorrc\n%\n";
        else if (verbout)
            std::fprintf(verbout, "Reading default parameters from %s/.qorrc\n",
                         shown_text(dir).c_str());
    } else {
        const char *home = std::getenv("HOME");
        if (home) {
            std::string path = std::string(home) + "/.qorrc";
            if (plain_file_opens(path)) {
                userfile = path;
                if (note)
                    *note = "%\n%  Additional default parameters from\n%\t" + path + "\n%\n";
                else if (verbout)
                    std::fprintf(verbout, "Reading default parameters from %s\n",
                                 shown_text(path).c_str());
            }
        }
    }
    if (!userfile.empty()) read_init(userfile.c_str(), PRIORITY_USERFILE, read_flags);

    // Model files named by parameters.
    if (read_flags & (READ_MODEL | READ_MODEL_FILE))
        read_first_rmodel(model_file, "initial model", 0, &base_model, RMODEL_FATAL);
    if (read_flags & READ_REGULARIZER)
        read_first_rmodel(regularizer_file, "regularizer", 0, &base_regularizer, RMODEL_FATAL);
    if (read_flags & READ_NULLMODEL)
        read_first_rmodel(nullmodel_file, "null model", 0, &users_null, RMODEL_FATAL);

    // The default regularizer, from the alphabet.
    if (make_default_reg && !base_regularizer)
        base_regularizer = regularizer_from_current_alphabet();

    if (mainline_cutoff != 0.5) {
        cutmatch = mainline_cutoff;
        cutinsert = mainline_cutoff;
    }

    // Seeds.
    if (random_seed == -1) random_seed = (int)getpid();
    srandom((unsigned)random_seed);
    find_read_var(&random_seed, "read_default_inits")->set = 2;
    if (trainseed == -1) {
        trainseed = (int)getpid();
        find_read_var(&trainseed, "read_default_inits")->set = 2;
    }
}

static void print_usage_line(const char *program) {
    std::fprintf(stderr, "Usage: %s run_name [-option value]*\n", shown_text(program).c_str());
}

static void run_usage(void (*usage)()) {
    if (usage)
        usage();
    else
        std::fprintf(stderr, "Please see the QOR documentation for help.\n");
}

// Ends the run after a malformed command line: the message, the usage line and the program's
// usage text, status 1.
[[noreturn]] static void command_line_failure(const std::string &message, const char *program,
                                              void (*usage)()) {
    std::fflush(stdout);
    std::fputs(message.c_str(), stderr);
    print_usage_line(program);
    if (usage) usage();
    std::fflush(stderr);
    std::exit(1);
}

std::string program_banner(const char *program) {
    return std::string("QOR: ") + (program ? program : "") + " v" + QOR_VERSION + " " +
           QOR_RELEASE_DATE + " compiled " + QOR_BUILD_STAMP;
}

static bool is_set_text(const char *s) {
    return s && *s;
}

// A standard descriptor the run was started without is held by a placeholder, so that no file the
// run opens takes its number and gets its messages: a path-only descriptor of the root folder, on
// which a read or a write fails as on a closed descriptor, and which /dev/stdin, /dev/stdout or
// /dev/stderr reopens as a folder, which no reader or writer takes.
static void hold_closed_standard_descriptors() {
    const int descriptors[] = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
    for (int fd : descriptors) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // The lower ones are open by now: the lowest free number is fd.
        open("/", O_PATH | O_DIRECTORY);
    }
}

void basic_command_line(char **argv, int argc, std::string &run_name, std::string *note,
                        int read_flags, int required_flags, const char *banner, void (*usage)()) {
    static bool started = false;
    hold_closed_standard_descriptors();
    verbout = stderr;
    // A write past a file-size limit then fails like any other (and the output is removed with
    // "Could not write"), instead of the signal killing the run and leaving half a file.
    std::signal(SIGXFSZ, SIG_IGN);
    // A SIGCHLD inherited as ignored would have the system reap the run's children at once, and
    // every wait for a decompressor or gnuplot fail.
    std::signal(SIGCHLD, SIG_DFL);
    // Before any temporary or child exists, so that an interrupt always finds its clean-up.
    install_interrupt_handlers();
    check_stdout_on_exit();
    if (started) error("basic_command_line called twice!");
    started = true;
    if (!banner) banner = "";
    const char *program = (argc > 0 && argv[0]) ? argv[0] : "qor";

    initialize_variables();
    init_alphabets();

    // Special forms.
    if (argc <= 1) {
        std::fprintf(stderr, "%s\n", shown_text(banner).c_str());
        print_usage_line(program);
        run_usage(usage);
        std::exit(1);
    }
    if (argc == 2 && std::strcmp(argv[1], "-v") == 0) {
        std::printf("%s\n", shown_text(banner).c_str());
        flush_outputfile(stdout);
        std::exit(0);
    }
    if (argc == 2 && std::strcmp(argv[1], "-h") == 0) {
        std::printf("%s\n", shown_text(banner).c_str());
        flush_outputfile(stdout);
        run_usage(usage);
        std::exit(0);
    }
    if (argc == 3 && capscomp(argv[1], "-dump_parameters") == 0 && std::strcmp(argv[2], "2") == 0) {
        dump_params(banner, "default");
        flush_outputfile(stdout);
        std::exit(0);
    }

    run_name = argv[1];
    // The run name names every output file and goes into their comment headers.
    if (run_name.find_first_of("\r\n") != std::string::npos)
        error("The run name holds a line end (CR or LF)");
    if ((required_flags & REQUIRE_RUN_NAME) && run_name.empty())
        error("The run name is empty: every output file is named after it");
    // A folder alone ("sub/", "/") would name hidden files in it.
    if ((required_flags & REQUIRE_RUN_NAME) && run_name.back() == '/')
        error("The run name %s ends in '/': every output file is named after it",
              shown_text(run_name).c_str());
    // So would one whose last part is "." or ".." ("a/." gives "a/..ps").
    if (required_flags & REQUIRE_RUN_NAME) {
        size_t slash = run_name.rfind('/');
        std::string last = run_name.substr(slash == std::string::npos ? 0 : slash + 1);
        if (last == "." || last == "..")
            error("The run name %s names a folder: every output file is named after it",
                  shown_text(run_name).c_str());
    }

    // Option pairs at command-line priority.
    for (int i = 2; i < argc; i += 2) {
        const char *option = argv[i];
        if (option[0] != '-')
            command_line_failure(std::string("Option ") + option + " is missing a leading hyphen\n",
                                 program, usage);
        if (i + 1 >= argc)
            command_line_failure(std::string("Option ") + option + " is missing its value\n",
                                 program, usage);
        std::string line = std::string(option + 1) + " " + argv[i + 1];
        if (line.size() > MAX_PARAMETER_LINE)
            error("Option %s: option and value longer than %d characters.", option,
                  (int)MAX_PARAMETER_LINE);
        line += "\n";
        int position = i - 2;
        process_init_entry(nullptr, line.c_str(), PRIORITY_COMMAND, "Command line option",
                           &position, read_flags);
    }

    if (verbout) std::fprintf(verbout, "%s\n", shown_text(banner).c_str());

    // Background files named so far (the per-user file is read only below).
    for (int i = 0; i < alphbackfilecount; i++) {
        FILE *fp = open_read(alphbackfile[i], OPEN_FATAL);
        process_alphabet_backfile(fp, alphbackfile[i]);
        close_read(fp);
    }

    read_default_inits(required_flags & REQUIRE_REGULARIZER, note, read_flags);

    // Default prior library by alphabet.
    if (alphabet && !var_changed(&prior_library) && !is_set_text(prior_library)) {
        char **from = nullptr;
        if (alphabet->id == PROTEIN_ALPHABET_ID)
            from = &protein_prior;
        else if (alphabet->id == DNA_ALPHABET_ID || alphabet->id == RNA_ALPHABET_ID)
            from = &nucleotide_prior;
        if (from && is_set_text(*from)) {
            std::free(prior_library);
            prior_library = str_dup(*from);
            if (var_changed(from)) mark_var_changed(&prior_library);
        }
    }

    // Required models: only the first failure is reported.
    bool failed = true;
    if ((required_flags & REQUIRE_ANY_MODEL) && !base_model && !is_set_text(Score.query) &&
        !is_set_text(trackmod) && !is_set_text(model_library)) {
        std::fprintf(stderr, "This program requires a QOR model specified as either\n");
        std::fprintf(stderr, "-i file, which contains a %s, or\n", "MODEL");
        std::fprintf(stderr, "-model_file file, where file contains any model structure, or\n");
        std::fprintf(stderr, "-trackmod file1,file2,..., for a multitrack model, or\n");
        std::fprintf(stderr, "-query sequencefile   for a Smith and Waterman query model.\n");
    } else if ((required_flags & REQUIRE_MODEL) && !base_model) {
        std::fprintf(stderr, "This program requires a QOR model specified as either\n");
        std::fprintf(stderr, "-i file, while file contains a %s, or\n", "MODEL");
        std::fprintf(stderr, "-model_file file, where file contains any model structure, or\n");
    } else if ((required_flags & REQUIRE_REGULARIZER) && !base_regularizer) {
        std::fprintf(stderr, "This program requires a QOR regularizer specified as either\n");
        std::fprintf(stderr, "-i file, while file contains a %s, or\n", "REGULARIZER");
        std::fprintf(stderr, "-regularizer_file file, where file contains any model structure.\n");
    } else if ((required_flags & REQUIRE_NULLMODEL) && !users_null) {
        std::fprintf(stderr,
                     "This program requires a QOR complex null model specified as either\n");
        std::fprintf(stderr, "-i file, while file contains a %s, or\n", "NULLMODEL");
        std::fprintf(stderr, "-nullmodel_file file, where file contains any model structure.\n");
    } else if (required_flags & ~(0x5f | REQUIRE_RUN_NAME)) {
        std::fprintf(stderr,
                     "basic_command_line was called with an illegal required model (0x%x).\n",
                     (unsigned)required_flags);
    } else {
        failed = false;
    }

    // The experimental codon alphabet.
    if (alphabet && alphabet->id == CODON_ALPHABET_ID) {
        std::fprintf(stderr, "Resetting parameters for experimental codon alphabet\n");
        std::fprintf(stderr, "Nmodels 1, seq_models = 0\n");
        std::fprintf(stderr, "Settings for evalues & null scores not yet studied.\n");
        std::fprintf(stderr, "Character regularizer for codons always\n");
        std::fprintf(stderr, "taken from the alphabet node.  Use -alphbackfile to set.\n");
        Nmodels = 1;
        sequence_models = 0.0;
        mark_var_changed(&Nmodels);
        mark_var_changed(&sequence_models);
    }

    if (failed) {
        if (usage) usage();
        std::fflush(stdout);
        std::exit(1);
    }
}

// ---------------------------------------------------------------------------------------------
// A fresh start
// ---------------------------------------------------------------------------------------------

void reset_library_state() {
    discard_outputfiles();
    free_init();
    initialize_variables();
    reset_alphabets();
    reset_fasta_warnings();
    reset_seqio_state();
    reset_modelio_state();
    reset_models_state();
    sort_direction = 1;
}
