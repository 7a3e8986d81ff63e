// Model libraries: reading entries one by one and writing entries for the settings in effect.
#include "foundation/init_modlib.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "foundation/reader.h"
#include "foundation/scan.h"
#include "models/modelio.h"           // up: a library entry names model files, read as at start-up
#include "sequences/model_records.h"  // up: entries replace the start-up raw models

// Read-flags of the parameter lines of an entry: MODEL, REGULARIZER and NULLMODEL blocks.
static const int MODLIB_READ_FLAGS = READ_MODEL | READ_REGULARIZER | READ_NULLMODEL;
// read_first_rmodel flag for the entry's model files: a file found nowhere is passed over.
static const int MODLIB_MODEL_FLAGS = RMODEL_QUIET;

static const char MODLIB_START[] = "MODLIBMOD";
static const char MODLIB_END[] = "ENDMODLIBMOD";

// The library state: open stream, its name, line counter, entries seen and written, and whether
// the single pass without a library has been made.
static FILE *modlib_fp = nullptr;
static InputReader modlib_in;  // the reader of modlib_fp
static char *modlib_name = nullptr;
static int modlib_line = 0;
static int modlib_entries = 0;
static int modlib_written = 0;
static int modlib_single_done = 0;

int start_model_library(const char *filename) {
    if (!filename || !*filename) return 0;
    if (modlib_fp)
        error("start_modellibrary (%s) called with open libary", shown_text(filename).c_str());
    modlib_fp = open_read(filename, OPEN_FATAL);
    modlib_name = str_dup(filename);
    reader_init(&modlib_in, modlib_fp, modlib_name);
    modlib_line = 0;
    modlib_entries = 0;
    return 1;
}

// Frees a string parameter and marks it unset.
static void clear_string_param(char **param) {
    std::free(*param);
    *param = nullptr;
    mark_var_same(param);
}

static void replace_text(char **slot, const char *text) {
    std::free(*slot);
    *slot = text ? str_dup(text) : nullptr;
}

// The text after the last '/' of a path.
static const char *last_component(const char *path) {
    const char *slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The single pass without a library.
static int single_pass(char **name, char **title, const char *default_name) {
    if (modlib_single_done) return 0;
    modlib_single_done = 1;
    const char *source = default_name;
    if (model_file && *model_file)
        source = model_file;
    else if (Score.query && *Score.query)
        source = Score.query;
    else if (insert_list && insert_listcount > 0 && insert_list[0])
        source = insert_list[0];
    replace_text(name, source ? last_component(source) : nullptr);
    replace_text(title, nullptr);
    return 1;
}

// Releases what the previous entry left: its name and title, its model-file parameters and its
// model, so that no model survives into the next entry. The regularizer and the null model stay
// (those of start-up, or the last named by an entry) until an entry names others.
static void release_previous_entry(char **name, char **title) {
    replace_text(name, nullptr);
    replace_text(title, nullptr);
    clear_string_param(&model_file);
    clear_string_param(&regularizer_file);
    clear_string_param(&nullmodel_file);
    clear_string_param(&trackcoeff);
    clear_string_param(&trackmod);
    free_rmodel(&base_model);
}

// Reads one entry whose header line is in line; returns 1 when it yields a model.
static int read_entry(const std::string &header, char **name, char **title) {
    modlib_entries++;
    int header_line = modlib_line;

    // Name: the first word after the keyword; title: the rest of the line.
    std::string rest = header.substr(std::strlen(MODLIB_START));
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
    size_t p = 0;
    auto is_sep = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    while (p < rest.size() && is_sep(rest[p])) p++;
    size_t q = p;
    while (q < rest.size() && !is_sep(rest[q])) q++;
    std::string entry_name = rest.substr(p, q - p);
    while (q < rest.size() && is_sep(rest[q])) q++;
    std::string entry_title = rest.substr(q);
    if (entry_name.empty())
        entry_name = std::string(modlib_name) + "_" + std::to_string(modlib_entries);
    if (entry_title.empty())
        entry_title = std::string("File ") + modlib_name + " Model " +
                      std::to_string(modlib_entries) + " Line " + std::to_string(header_line);
    replace_text(name, entry_name.c_str());
    replace_text(title, entry_title.c_str());
    if (verbout)
        std::fprintf(verbout, "%s(%d):  Reading model %d (%s)\n", shown_text(modlib_name).c_str(),
                     header_line, modlib_entries, shown_text(*name).c_str());

    // Parameter lines up to the end line. The next entry's header before it means the end line
    // is missing, as does the end of the file: never take the next entry's lines.
    std::string line;
    for (;;) {
        if (!reader_line_copy(&modlib_in, line) || starts_with(line.c_str(), MODLIB_START))
            error("Model library %s Model %s missing\n", shown_text(modlib_name).c_str(),
                  MODLIB_END);
        modlib_line++;
        if (starts_with(line.c_str(), MODLIB_END)) break;
        unsigned char c = (unsigned char)line[0];
        if (std::isalpha(c) || (std::isspace(c) && line != "\n"))
            process_init_entry(&modlib_in, line.c_str(), PRIORITY_LIBRARY, modlib_name,
                               &modlib_line, MODLIB_READ_FLAGS);
    }

    // The entry's model files.
    read_first_rmodel(model_file, *title, 0, &base_model, MODLIB_MODEL_FLAGS);
    read_first_rmodel(regularizer_file, *title, 0, &base_regularizer, MODLIB_MODEL_FLAGS);
    read_first_rmodel(nullmodel_file, *title, 0, &users_null, MODLIB_MODEL_FLAGS);
    if (base_model || (trackmod && *trackmod)) return 1;
    std::fprintf(stderr, "WARNING:  No model found in library %s\n   Model %s (%s)\n",
                 shown_text(modlib_name).c_str(), shown_text(*name).c_str(),
                 shown_text(*title).c_str());
    return 0;
}

int next_model_library(char **name, char **title, const char *default_name) {
    if (!name || !title) error("next_model_library called without modelname pointer\n");
    if (!modlib_fp) return single_pass(name, title, default_name);
    std::string line;
    for (;;) {
        release_previous_entry(name, title);
        bool found = false;
        while (reader_line_copy(&modlib_in, line)) {
            modlib_line++;
            if (starts_with(line.c_str(), MODLIB_START)) {
                found = true;
                break;
            }
        }
        if (!found) {
            if (modlib_entries == 0)
                error(" No models found in model library %s\n",
                      shown_text(model_library ? model_library : modlib_name).c_str());
            return 0;
        }
        if (read_entry(line, name, title)) return 1;
    }
}

int end_model_library(char **name, char **title) {
    if (name) replace_text(name, nullptr);
    if (title) replace_text(title, nullptr);
    replace_text(&modlib_name, nullptr);
    if (!modlib_fp) return 0;
    reader_free(&modlib_in);
    close_read(modlib_fp);
    modlib_fp = nullptr;
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Writing entries
// ---------------------------------------------------------------------------------------------

// The name as written into an entry: made absolute when modlib_absolute asks for it; a name
// that cannot be resolved is written as given, with a warning.
static std::string library_path(const char *name) {
    if (!modlib_absolute) return name;
    char *resolved = realpath(name, nullptr);
    if (!resolved) {
        std::fprintf(stderr, "Warning:  Could not make %s an absolute path; written as given\n",
                     shown_text(name).c_str());
        return name;
    }
    std::string path(resolved);
    std::free(resolved);
    return path;
}

static const char *text_or_empty(const char *s) {
    return s ? s : "";
}

void print_model_library(FILE *out, const char *name, const char *title, const char *description,
                         int ntracks, const char *extra) {
    modlib_written++;
    if (title)
        std::fprintf(out, "\n%s %s %s\n", MODLIB_START, text_or_empty(name), title);
    else
        std::fprintf(out, "\n%s %s %s model number %d\n", MODLIB_START, text_or_empty(name),
                     text_or_empty(description), modlib_written);
    if (extra) std::fputs(extra, out);

    if (Score.query) {
        std::fprintf(out, "query %s\nswlambda %lf\ntau %lf\n\ngap %d\ncontinue %d\nmatrix %s\n",
                     Score.query, Score.swlambda, Score.tau, Score.gap, Score.continue_,
                     text_or_empty(Score.matrix));
    } else {
        if (trackmod) {
            if (!modlib_absolute) {
                std::fprintf(out, "trackmod %s\n", trackmod);
            } else {
                NameList *names = parse_name_list(trackmod);
                std::fputs("trackmod", out);
                for (int i = 0; i < names->count; i++)
                    std::fprintf(out, i == 0 ? " %s" : ",%s", library_path(names->name[i]).c_str());
                std::fputc('\n', out);
                std::free(names);
            }
            if (trackcoeff) std::fprintf(out, "trackcoeff %s\n", trackcoeff);
            print_alphabet(out, ntracks);
        } else if (model_file) {
            std::fprintf(out, "model_file %s\n", library_path(model_file).c_str());
        } else if (!insert_list || insert_listcount <= 0) {
            std::fputs("Unknown model source\n", out);
            std::fputs("Error: Unknown model source for model library\n", stderr);
        } else {
            std::fprintf(out, "insert %s\n", library_path(insert_list[0]).c_str());
            if (insert_listcount > 1)
                std::fputs("Warning:  Assuming model came from first insert file\n", stderr);
        }
        std::fprintf(out, "lambda %lf\ntau %lf\n", Score.lambda, Score.tau);
    }
    std::fprintf(out, "sw %d\ndpstyle %d\njumpinprob %f\njumpoutprob %f\n", SW, dpstyle,
                 jump_in_prob, jump_out_prob);
    std::fprintf(out, "subtractnull %d\nFIMmethodscore %d\ninsertmethodscore %d\n",
                 Score.subtract_null, Score.FIM_method_score, Score.Insert_method_score);
    std::fprintf(out, "adjust_score %d\n", Score.adjust_score);
    std::fprintf(out, "%s\n", MODLIB_END);
}
