// Parameter files and parameter lines, and the parameters written back out.
#include "foundation/param_files.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "foundation/reader.h"
#include "foundation/scan.h"
#include "models/modelio.h"           // up: parameter files may hold model blocks, read at start-up
#include "sequences/model_records.h"  // up: those blocks become raw-model records

// ---------------------------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------------------------

// Reads an integer as "%d" would (leading blanks, sign, digits; the rest ignored), refusing a
// value outside the 32-bit range.
static bool parse_int_value(const char *text, int *out) {
    long v = 0;
    bool overflow = false;
    if (!scan_long(text, text + std::strlen(text), &v, &overflow) || overflow || v < INT_MIN ||
        v > INT_MAX)
        return false;
    *out = (int)v;
    return true;
}

// Reads a double as "%lf" would, refusing a value too large for a double.
static bool parse_double_value(const char *text, double *out) {
    double v = 0;
    bool overflow = false;
    if (!scan_double(text, text + std::strlen(text), &v, &overflow, C_FORMS) || overflow)
        return false;
    *out = v;
    return true;
}

// True for the variable of a plot-range parameter: check_plot_parameters refuses one that is not
// finite in single precision, with a message of its own.
static bool is_plot_range(const void *value) {
    for (const double *p : {&plotmin, &plotmax, &plotleft, &plotright, &plotline})
        if (value == p) return true;
    return false;
}

// Appends a value to a list entry (the count lives in the entry after it).
static void append_list_value(ReadVar *entry, const char *value) {
    char ***list = (char ***)entry->value;
    int *count = (int *)entry[1].value;
    if (*count >= MAX_LIST_VALUES)
        error("Only %d %s values can be specified.  Skipping %s.\n", MAX_LIST_VALUES, entry->key,
              shown_text(value).c_str());
    if (!*list) *list = (char **)mem_alloc(MAX_LIST_VALUES * sizeof(char *));
    (*list)[(*count)++] = str_dup(value);
}

// True when any entry that shares the variable (an alias or the entry itself) has been set.
static bool any_alias_set(const ReadVar *entry) {
    for (const ReadVar *v = read_vars; v->type != VAR_END; v++)
        if (v->value == entry->value && v->set) return true;
    return false;
}

// True when any of the alphabet entries (alphabet, a, alphabet_def) has been set.
static bool any_alphabet_entry_set() {
    for (const ReadVar *v = read_vars; v->type != VAR_END; v++)
        if (v->type == VAR_ALPHABET && v->set) return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Parameter files
// ---------------------------------------------------------------------------------------------

// Parameter files being read, outermost first, so that a file that includes itself (directly or
// through others) is refused instead of being read again and again.
static std::vector<std::string> files_being_read;

static std::string file_identity(const char *name) {
    struct stat st;
    if (stat(name, &st) == 0)
        return std::to_string((unsigned long long)st.st_dev) + ":" +
               std::to_string((unsigned long long)st.st_ino);
    return std::string("name:") + name;
}

void read_init(const char *filename, int priority, int read_flags) {
    if (!filename || !*filename) return;
    std::string id = file_identity(filename);
    for (const std::string &other : files_being_read)
        if (other == id)
            error("Parameter file %s includes itself (directly or through other files).",
                  shown_text(filename).c_str());
    FILE *fp = open_read(filename, OPEN_FATAL | OPEN_REWIND);
    if (verbout) std::fprintf(verbout, "Reading parameter file %s\n", shown_text(filename).c_str());
    // Leaves the stack of files and closes the stream also when a fatal error is thrown (test
    // and fuzz builds), so that a later read starts clean.
    struct Reading {
        FILE *fp;
        InputReader in;
        ~Reading() {
            files_being_read.pop_back();
            reader_free(&in);
            if (fp) std::fclose(fp);
        }
    };
    files_being_read.push_back(id);
    Reading reading{fp, InputReader()};
    std::string name(filename);  // the caller's text may be a list value released meanwhile
    reader_init(&reading.in, fp, name.c_str());
    int line_no = 0;
    char *line;
    size_t length;
    while (reader_line(&reading.in, &line, &length)) {
        line_no++;
        if (length > MAX_PARAMETER_LINE)
            error("%s(%d): line longer than %d characters.", shown_text(name).c_str(), line_no,
                  (int)MAX_PARAMETER_LINE);
        // An empty line (its first byte the NUL in place of the newline) is skipped.
        unsigned char c = (unsigned char)line[0];
        if (std::isalpha(c) || is_space(c))
            process_init_entry(&reading.in, line, priority, name.c_str(), &line_no, read_flags);
    }
    reader_free(&reading.in);
    reading.fp = nullptr;
    close_read(fp);
}

// The location format "<source>(%d)" for the model reader, with any '%' of the name doubled.
static std::string location_format(const char *source) {
    std::string f;
    for (const char *p = source; *p; p++) {
        f += *p;
        if (*p == '%') f += '%';
    }
    return f + "(%d)";
}

static const int model_read_flag[4] = {READ_MODEL, READ_REGULARIZER, READ_FREQUENCIES,
                                       READ_NULLMODEL};

void process_init_entry(InputReader *in, const char *line_in, int priority, const char *source,
                        int *line_no, int read_flags) {
    // 1. Trim; ignore empty lines and comments.
    const char *b = line_in;
    const char *e = line_in + std::strlen(line_in);
    b = skip_space(b, e);
    while (e > b && is_space((unsigned char)e[-1])) e--;
    std::string line(b, e);
    if (line.empty() || line[0] == '%') return;

    // 2. The prefix of every message about the line.
    std::string prefix =
        shown_text(source ? source : "") + "(" + std::to_string(line_no ? *line_no : 0) + "): ";
    const char *pre = prefix.c_str();

    // 3. Name and value.
    const char *name_text = line.c_str(), *line_end = name_text + line.size();
    size_t name_length = 0;
    const char *after_name = next_token(name_text, line_end, SPACE_SEPARATORS, &name_text,
                                        &name_length);  // the line is trimmed: a name stands first
    std::string name(name_text, name_length);
    std::string value(skip_space(after_name, line_end), line_end);
    const char *val = value.c_str();

    // 4. Find the entry.
    ReadVar *entry = nullptr;
    for (ReadVar *v = read_vars; v->type != VAR_END; v++) {
        if (v->type == VAR_MODEL) {
            if (line.compare(0, std::strlen(v->key), v->key) == 0) {
                entry = v;
                break;
            }
        } else if (capscomp(name.c_str(), v->key) == 0) {
            entry = v;
            break;
        }
    }
    // A line end inside a line (a value pasted from the command line, or a lone CR in a file)
    // would go on into the parameter section of output files as a line of its own. The CR of a
    // CRLF line end was trimmed above with the rest of the line end.
    if (line.find_first_of("\r\n") != std::string::npos)
        error("%s The value of %s holds a line end (CR or LF)", pre,
              entry ? entry->key : shown_text(name).c_str());
    if (!entry) {
        std::fprintf(stderr, "%s Could not understand %s\n", pre, shown_text(line).c_str());
        return;
    }

    // 5. verbose switches the verbose stream at once, at any priority.
    if (entry->value == &verbose) {
        int v;
        if (!parse_int_value(val, &v))
            error("%s Incorrect type or missing value for %s\n", pre, entry->key);
        verbout = v ? stderr : nullptr;
    }

    // 6. Model sections.
    if (entry->type == VAR_MODEL) {
        if (!in) {
            std::fprintf(stderr, "%s Cannot specify %s here.\n", pre, entry->key);
            return;
        }
        int section = (int)(entry - read_vars);
        Rmodel **slot = (Rmodel **)entry->value;
        if ((read_flags & model_read_flag[section]) && (!entry->set || priority != 0)) {
            if (verbout) std::fprintf(verbout, "%s Reading %s\n", pre, shown_text(line).c_str());
            free_rmodel(slot);
            if (priority != PRIORITY_LIBRARY && entry->set)
                std::fprintf(stderr, "%s Note: Last %s specified will be used.\n", pre, entry->key);
            entry->set = 1;
            *slot = read_rmodel(in, source, line_no, line.c_str(), nullptr, nullptr, 0);
        } else {
            if (verbout) std::fprintf(verbout, "%s Skipping %s\n", pre, shown_text(line).c_str());
            skip_model(in, location_format(source ? source : "").c_str(), line_no);
        }
        return;
    }

    // 7. Every other entry needs a value.
    if (value.empty()) {
        std::fprintf(stderr, "%s Value not specified for %s\n", pre, shown_text(name).c_str());
        return;
    }

    // The counts of the lists follow their lists; they are not set from outside.
    if (is_count_entry(entry)) {
        std::fprintf(stderr, "%s %s counts the values of %s and cannot be set; ignored.\n", pre,
                     entry->key, entry[-1].key);
        return;
    }

    // At priority 0 a value set by any of its names is kept.
    bool set_before = priority == PRIORITY_USERFILE ? any_alias_set(entry) : entry->set != 0;

    switch (entry->type) {
        case VAR_INT:
        case VAR_DOUBLE:
            if (set_before && priority == PRIORITY_USERFILE) return;
            if (set_before && priority == PRIORITY_COMMAND)
                std::fprintf(stderr, "%s%s has already been set. Using %s.\n", pre, entry->key,
                             shown_text(val).c_str());
            if (entry->type == VAR_INT) {
                int v;
                if (!parse_int_value(val, &v))
                    error("%s Incorrect type or missing value for %s\n", pre, entry->key);
                *(int *)entry->value = v;
            } else {
                double v;
                if (!parse_double_value(val, &v))
                    error("%s Incorrect type or missing value for %s\n", pre, entry->key);
                // No setting takes a NaN or an infinity: refused before any use sees it, but for
                // the plot ranges, which their plotting checks against single precision.
                if (!std::isfinite(v) && !is_plot_range(entry->value))
                    error("%s Value %s for %s is not a finite number\n", pre,
                          shown_text(val).c_str(), entry->key);
                *(double *)entry->value = v;
            }
            entry->set = 1;
            return;
        case VAR_STRING:
        case VAR_SEQFILE:
        case VAR_PRIORFILE: {
            if (set_before && priority == PRIORITY_USERFILE) return;
            if (set_before && priority == PRIORITY_COMMAND)
                std::fprintf(stderr, "%s%s has already been set.  Using %s.\n", pre, entry->key,
                             shown_text(val).c_str());
            char **str = (char **)entry->value;
            std::free(*str);
            *str = str_dup(val);
            entry->set = 1;
            return;
        }
        case VAR_INSERT:
        case VAR_INSERT_DNA:
        case VAR_INSERT_RNA:
        case VAR_INSERT_PROTEIN: {
            append_list_value(entry, val);
            entry->set = 1;
            int wanted_id = entry->type == VAR_INSERT_DNA       ? DNA_ALPHABET_ID
                            : entry->type == VAR_INSERT_RNA     ? RNA_ALPHABET_ID
                            : entry->type == VAR_INSERT_PROTEIN ? PROTEIN_ALPHABET_ID
                                                                : END_ALPHABET_ID;
            if (entry->type == VAR_INSERT || (alphabet && alphabet->id == wanted_id))
                read_init(val, priority, read_flags);
            return;
        }
        case VAR_ALPHABET:
            // The per-user file supplies an alphabet only when none was named by any of the
            // alphabet entries: -alphabet_def on the command line must not clash with an
            // "alphabet" default in .qorrc.
            if (priority != PRIORITY_USERFILE || !any_alphabet_entry_set()) {
                process_alphabet(line.c_str(), -1, pre);
                entry->set = 1;
            }
            return;
        case VAR_STRINGLIST:
        case VAR_FILELIST:
            entry->set = 1;
            append_list_value(entry, val);
            return;
        default: error("Illegal code (%d) in processes_init_entry.\n", entry->type);
    }
}

// ---------------------------------------------------------------------------------------------
// Writing parameters
// ---------------------------------------------------------------------------------------------

void list_strings(FILE *fp, char **values, int count, const char *key, const char *lead) {
    if (!lead) lead = "";
    size_t head = std::strlen(lead) + std::strlen(key);
    std::fprintf(fp, "%s%s", lead, key);
    if (count < 0) {
        int n = -count;
        for (int i = 0; i < n; i++) {
            if (i > 0) std::fprintf(fp, "\n%s%s", lead, key);
            std::fprintf(fp, " %s", values[i]);
        }
    } else {
        size_t used = head;
        for (int i = 0; i < count; i++) {
            size_t len = std::strlen(values[i]);
            if (i > 0 && used + len > 70) {
                std::fprintf(fp, "\n%s%s", lead, key);
                used = head;
            }
            std::fprintf(fp, " %s", values[i]);
            used += 1 + len;
        }
    }
    std::fputc('\n', fp);
}

void print_init(FILE *fp, int all, int comment_all, int binary) {
    ReadVar *nm = find_read_var(&Nmodels, "print_init");
    if (nm->set) nm->set = 2;
    for (ReadVar *v = read_vars; v->type != VAR_END; v++) {
        if (is_count_entry(v)) continue;
        if (!all && !v->set) continue;
        const char *pre = (v->set == 2 || comment_all) ? "% " : "";
        switch (v->type) {
            case VAR_INT: std::fprintf(fp, "%s%s %d\n", pre, v->key, *(int *)v->value); break;
            case VAR_DOUBLE:
                std::fprintf(fp, "%s%s %lf\n", pre, v->key, *(double *)v->value);
                break;
            case VAR_STRING:
            case VAR_SEQFILE:
            case VAR_PRIORFILE:
            case VAR_ALPHABET: {
                const char *s = *(char **)v->value;
                std::fprintf(fp, "%s%s %s\n", pre, v->key, s ? s : "");
                break;
            }
            case VAR_INSERT:
            case VAR_INSERT_DNA:
            case VAR_INSERT_RNA:
            case VAR_INSERT_PROTEIN:
                list_strings(fp, *(char ***)v->value, -*(int *)v[1].value, v->key, "%");
                break;
            case VAR_STRINGLIST:
            case VAR_FILELIST:
                list_strings(fp, *(char ***)v->value, -*(int *)v[1].value, v->key,
                             v->value == &Constr.constraints ? "% " : "");
                break;
            case VAR_MODEL:
                if (v->value == &base_regularizer && !comment_all && base_regularizer)
                    nice_print_rmodel(fp, base_regularizer, "REGULARIZER", "Initial regularizer",
                                      nullptr, binary);
                break;
            default:
                std::fprintf(stderr, "Unkown type in init:print_init: %d name: %s\n", v->type,
                             v->key);
        }
    }
}

void dump_params(const char *banner, const char *run_name) {
    if (!run_name) run_name = "default";
    if (verbout)
        std::fprintf(verbout, "Dumping parameters to file %s.params\n",
                     shown_text(run_name).c_str());
    FILE *fp = prepare_statfile(run_name, banner, ".params");
    stat_print_time(fp);
    std::fprintf(fp, "%% ---------------------------------------------------------------------\n");
    print_init(fp, 1, 0, binary_output);
    close_outputfile(fp);
}

int print_reg_if_changed(FILE *fp, int force, const char *title, int binary) {
    if (!base_regularizer || !(force || var_changed(&base_regularizer))) return 0;
    return nice_print_rmodel(fp, base_regularizer, "REGULARIZER", title, nullptr, binary);
}
