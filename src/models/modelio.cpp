// Model files in text and BINARY form, model writing and debug dumps.
#include "models/modelio.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "foundation/scan.h"
#include "models/models_labels.h"
#include "models/models_surgery.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

// Library directory searched for model files (after PRIOR_PATH).
static const char *const MODEL_LIBRARY_DIR = "/usr/local/lib/qor";
static const char *const MODEL_PATH_VARIABLE = "PRIOR_PATH";
static const char *const END_KEYWORD = "ENDMODEL";

// Set once a block has been read in BINARY form.
static int binary_block_read = 0;
// The "Extra characters" warning is given once per run.
static bool extra_characters_warned = false;

// ---------------------------------------------------------------------------------------------
// Small helpers
// ---------------------------------------------------------------------------------------------

static bool is_blank_char(char c) {
    return is_space(static_cast<unsigned char>(c));
}

// True when the line holds only white space.
static bool is_blank_line(const std::string &line) {
    for (char c : line)
        if (!is_blank_char(c)) return false;
    return true;
}

// The line without its trailing newline (and carriage return).
static std::string chomp(const std::string &line) {
    size_t n = line.size();
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) n--;
    return line.substr(0, n);
}

// "%s(%d)" location text of a line.
static std::string location(const char *filename, int line) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "(%d)", line);
    return shown_text(filename) + buf;
}

// Reads one line and counts it.
static bool next_line(InputReader *in, std::string &line, int *line_count) {
    if (!reader_line_copy(in, line)) return false;
    if (line_count) (*line_count)++;
    return true;
}

// Reads lines up to the next non-blank one (each counted). False at end of file.
static bool next_nonblank_line(InputReader *in, std::string &line, int *line_count) {
    while (next_line(in, line, line_count))
        if (!is_blank_line(line)) return true;
    return false;
}

// Holds nodes while a block is read, so that a fatal error thrown in a test or fuzz harness
// leaks nothing. Released nodes are taken out of the holder first.
struct NodeHolder {
    std::vector<Node *> nodes;
    ~NodeHolder() {
        for (Node *n : nodes) free_node(n);
    }
};

// Holds a raw model under construction (released on a throw).
struct RmodelHolder {
    Rmodel *rm = nullptr;
    ~RmodelHolder() { free_rmodel(&rm); }
    Rmodel *release() {
        Rmodel *r = rm;
        rm = nullptr;
        return r;
    }
};

// Holds a label map under construction.
struct LabelMapHolder {
    NodeLabelMap *map = nullptr;
    ~LabelMapHolder() { free_label_map(map); }
};

// Index of a node's first match value in its block (after the nine transitions).
static const int FIRST_MATCH_VALUE = 9;

// A value read from a model block: one a little below 0 (rounding in a written file, down to
// -MODEL_VALUE_ROUNDING) becomes 0. True when the value is negative beyond that; the caller
// refuses it unless it is the FIM mark.
static bool negative_beyond_rounding(float *value) {
    if (*value < 0.0f && *value >= -MODEL_VALUE_ROUNDING) *value = 0.0f;
    return *value < 0.0f;
}

// Emission size without wildcards of the current alphabet.
static int emission_size() {
    check_alphabet(nullptr);
    return alphabet->emit_length;
}

// ---------------------------------------------------------------------------------------------
// Headers and blocks
// ---------------------------------------------------------------------------------------------

bool is_model_header(const char *line) {
    if (!line) return false;
    // "REGULARIZER" is tested on its first 10 characters only.
    return std::strncmp(line, "MODEL", 5) == 0 || std::strncmp(line, "REGULARIZER", 10) == 0 ||
           std::strncmp(line, "FREQUENCIES", 11) == 0 || std::strncmp(line, "NULLMODEL", 9) == 0;
}

void get_type_and_text(const char *line, std::string *keyword, std::string *title) {
    if (!line) line = "";
    const char *p = line;
    while (*p && is_blank_char(*p)) p++;
    const char *word = p;
    while (*p && !is_blank_char(*p)) p++;
    if (keyword) {
        std::string w(word, p - word);
        size_t colon = w.find(':');
        if (colon != std::string::npos) w.erase(colon);
        *keyword = w;
    }
    if (title) {
        while (*p && is_blank_char(*p) && *p != '\n') p++;
        while (*p == '-') p++;
        while (*p && is_blank_char(*p) && *p != '\n') p++;
        std::string t(p);
        if (!t.empty() && t.back() == '\n') t.pop_back();
        *title = t;
    }
}

int read_to_next_model(InputReader *in, std::string &line) {
    while (reader_line_copy(in, line))
        if (is_model_header(line.c_str())) return 1;
    return 0;
}

void skip_model(InputReader *in, const char *location_format, int *line_count) {
    std::string line;
    while (next_line(in, line, line_count))
        if (starts_with(line.c_str(), END_KEYWORD)) return;
    // The location format holds one "%d" (and "%%" for a '%' of the file name); it is filled
    // here without handing a caller's text to printf.
    std::string loc;
    bool number_done = false;
    for (const char *p = location_format ? location_format : ""; *p; p++) {
        if (p[0] == '%' && p[1] == '%') {
            loc += '%';
            p++;
        } else if (p[0] == '%' && p[1] == 'd' && !number_done) {
            loc += std::to_string(line_count ? *line_count : 0);
            number_done = true;
            p++;
        } else {
            loc += *p;
        }
    }
    std::fprintf(stderr, "%s: %s not found before end of file in model definition.\n",
                 shown_text(loc).c_str(), END_KEYWORD);
}

int countfields(const char *s) {
    if (!s) return 0;
    int count = 0;
    const char *end = s + std::strlen(s), *token;
    size_t length;
    while ((s = next_token(s, end, SPACE_SEPARATORS, &token, &length))) count++;
    return count;
}

void complete_line(std::string &line, int linelength, InputReader *in) {
    const int LINE_LIMIT = 100000;
    if (linelength != LINE_LIMIT) {
        std::fprintf(stderr, "complete_line:  called with bad linelength\n");
        return;
    }
    int wanted = 2 * emission_size() + 9;
    // Count the numbers of the line (after its name or number word).
    auto numbers_in = [](const std::string &text) {
        std::string t = text.substr(0, text.find('%'));
        return countfields(t.c_str());
    };
    int have = numbers_in(line) - 1;
    std::string next;
    while (have < wanted && reader_line_copy(in, next)) {
        std::string t = chomp(next.substr(0, next.find('%')));
        if (line.size() + t.size() + 2 > static_cast<size_t>(LINE_LIMIT))
            error("complete_line: joined node line longer than %d characters", LINE_LIMIT);
        line = chomp(line) + " " + t + "\n";
        have += countfields(t.c_str());
    }
}

int is_modelfilename(const char *name) {
    if (!name) return 0;
    size_t n = std::strlen(name);
    static const char *const endings[] = {".mod", ".mod.Z", ".mod.gz"};
    for (const char *e : endings) {
        size_t m = std::strlen(e);
        if (n >= m && std::strcmp(name + n - m, e) == 0) return 1;
    }
    return 0;
}

int is_model_file(const char *name) {
    if (!name || !*name) return 0;
    FILE *fp =
        open_read_env(name, MODEL_PATH_VARIABLE, MODEL_LIBRARY_DIR, nullptr, nullptr, OPEN_FATAL);
    if (!fp) return 0;
    ReaderScope in(fp, name);
    std::string line;
    return read_to_next_model(&in.in, line);
}

// ---------------------------------------------------------------------------------------------
// Reading one node in text form
// ---------------------------------------------------------------------------------------------

// True when the text (up to a '%') is exactly one integer token.
static bool single_integer_line(const std::string &line) {
    std::string t = line.substr(0, line.find('%'));
    if (countfields(t.c_str()) != 1) return false;
    const char *p = t.c_str();
    while (is_blank_char(*p)) p++;
    if (*p == '+' || *p == '-') p++;
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    while (std::isdigit(static_cast<unsigned char>(*p))) p++;
    while (is_blank_char(*p)) p++;
    return *p == 0;
}

long read_probs(InputReader *in, const char *filename, int *line_count, std::string &line,
                Node **node, char *name, bool *pending) {
    if (pending) *pending = false;
    int here = line_count ? *line_count : 0;
    const char *p = line.c_str();
    while (*p && is_blank_char(*p)) p++;

    long number = -1;
    std::string name_word;
    if (std::isalpha(static_cast<unsigned char>(*p))) {
        *name = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
        const char *w = p;
        while (*p && !is_blank_char(*p)) p++;
        name_word.assign(w, p - w);
    } else {
        *name = 0;
        long v = 0;
        bool overflow = false;
        const char *end = scan_long(p, line.c_str() + line.size(), &v, &overflow);
        if (!end) error("%s(%d):  Node number expected\n", shown_text(filename).c_str(), here);
        if (overflow || v > MAX_MODEL_NODE_NUMBER)
            error("%s(%d): node number %.*s is out of range (at most %d)",
                  shown_text(filename).c_str(), here, static_cast<int>(std::min<long>(end - p, 40)),
                  p, MAX_MODEL_NODE_NUMBER);
        number = v;
        p = end;
        while (*p && !is_blank_char(*p)) p++;
    }
    while (*p && is_blank_char(*p)) p++;

    // A node made here is held until it is handed out, so that a fatal error in its values
    // leaks nothing.
    Node *nd = *node;
    NodeHolder fresh;
    if (!nd) {
        nd = alloc_node();
        fresh.nodes.push_back(nd);
    }

    // An optional type letter.
    if (std::isalpha(static_cast<unsigned char>(*p))) {
        char t = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
        if (nd->type)
            std::fprintf(stderr, "%s(%d):  Node type set twice.  Using %c\n",
                         shown_text(filename).c_str(), here, t);
        nd->type = t;
        while (*p && !is_blank_char(*p)) p++;
        while (*p && is_blank_char(*p)) p++;
    }

    // The values, continuing over following lines; '%' ends the numbers of a line.
    int wanted = nd->nparams;
    int got = 0;
    bool first_token_of_line = false;
    size_t at = static_cast<size_t>(p - line.c_str());
    while (got < wanted) {
        const char *q = line.c_str() + at;
        while (*q && is_blank_char(*q)) q++;
        if (*q == 0 || *q == '%') {
            if (!next_line(in, line, line_count)) {
                line.clear();
                at = 0;
                break;
            }
            if (single_integer_line(line))
                std::fprintf(stderr,
                             "Warning: %s(%d): a line holding the single integer %s is read as "
                             "a value of the node above; that node may be short\n",
                             shown_text(filename).c_str(), line_count ? *line_count : 0,
                             chomp(line.substr(line.find_first_not_of(" \t"))).c_str());
            at = 0;
            first_token_of_line = true;
            continue;
        }
        double v = 0;
        const char *end = scan_double(q, line.c_str() + line.size(), &v, nullptr, C_FORMS);
        if (!end) {
            // A continuation line that begins with something else than a number is handed
            // back to the caller, which reads it as the next line of the block.
            if (first_token_of_line && pending) *pending = true;
            at = static_cast<size_t>(q - line.c_str());
            break;
        }
        float f = static_cast<float>(v);
        if (!std::isfinite(v) || !std::isfinite(f))
            error("%s(%d): Number %.*s in regularizer or model node is not finite",
                  shown_text(filename).c_str(), line_count ? *line_count : here,
                  static_cast<int>(end - q), q);
        // Only the first match value of Begin or a numbered node may be negative: the FIM mark.
        if (negative_beyond_rounding(&f) && !(got == FIRST_MATCH_VALUE && (!*name || *name == 'B')))
            error("%s(%d): Negative value %g in regularizer or model node %s",
                  shown_text(filename).c_str(), line_count ? *line_count : here,
                  static_cast<double>(f),
                  *name ? shown_text(name_word).c_str() : std::to_string(number).c_str());
        nd->params[got++] = f;
        first_token_of_line = false;
        at = static_cast<size_t>(end - line.c_str());
    }

    int lineno = line_count ? *line_count : here;
    if (got < wanted) {
        std::fprintf(stderr, "%s(%d): Too few entries in a regularizer or model node\n",
                     shown_text(filename).c_str(), lineno);
        std::fprintf(stderr, "\t check alphabet (was %d should be %d for alphabet %s)\n", got,
                     wanted, alphabet && alphabet->name ? alphabet->name : "(none)");
    }
    if (!(pending && *pending)) {
        const char *rest = line.c_str() + std::min(at, line.size());
        while (*rest && is_blank_char(*rest)) rest++;
        if (*rest && !extra_characters_warned) {
            extra_characters_warned = true;
            std::fprintf(stderr,
                         "%s(%d): Extra characters (%s) in regularizer or model node ignored ---\n",
                         shown_text(filename).c_str(), lineno, shown_text(chomp(line)).c_str());
            std::fprintf(stderr, "   check alphabet (there should be %d numbers for alphabet %s",
                         wanted, alphabet && alphabet->name ? alphabet->name : "(none)");
            std::fprintf(stderr, ").\n   Further warnings of this type suppressed.\n");
            if (*name)
                std::fprintf(stderr, "Node name %s\n", shown_text(name_word).c_str());
            else
                std::fprintf(stderr, "Node number %ld\n", number);
        }
    }

    // A numbered node written with a negative first match value is a FIM.
    if (!*name && wanted > FIRST_MATCH_VALUE && nd->match && nd->match[0] < -MODEL_VALUE_ROUNDING)
        nd->type = 'F';
    fresh.nodes.clear();
    *node = nd;
    return *name ? -1 : number;
}

// ---------------------------------------------------------------------------------------------
// Reading a text block
// ---------------------------------------------------------------------------------------------

[[noreturn]] static void negative_node_abort() {
    std::fprintf(stderr, "QOR no longer supports negatively-numbered nodes in models\n");
    std::fprintf(stderr, "Use a prior version of QOR's tarvix to convert the model.\n");
    std::fprintf(stderr, "tarvix mfile -modelfile mfile.mod -binaryoutput 0\n");
    error("Aborting");
}

// Makes the node table hold slot n (at least n+1 slots; grows by n, or by 500 below 500).
static void grow_node_table(std::vector<Node *> &table, long n) {
    size_t need = static_cast<size_t>(n) + 1;
    if (need <= table.size()) return;
    size_t grown = table.size() + static_cast<size_t>(n < 500 ? 500 : n);
    table.resize(grown < need ? need : grown, nullptr);
}

Rmodel *read_rmodel(InputReader *in, const char *filename, int *line_count, const char *header,
                    std::string *keyword, std::string *title, int track) {
    int dummy_count = 0;
    if (!line_count) line_count = &dummy_count;
    if (!filename) filename = "";
    std::string line;
    if (header && *header) {
        line = header;
    } else {
        bool found = false;
        while (next_line(in, line, line_count))
            if (is_model_header(line.c_str())) {
                found = true;
                break;
            }
        if (!found)
            error("%s(%d):  No model found in file\n", shown_text(filename).c_str(), *line_count);
    }
    get_type_and_text(line.c_str(), keyword, title);

    if (!next_nonblank_line(in, line, line_count))
        error("%s(%d): Incomplete model -- no ENDMODEL\n", shown_text(filename).c_str(),
              *line_count);
    if (starts_with(line.c_str(), "BINARY")) {
        binary_block_read = 1;
        return binary_r_rmodel(in, filename, line_count, track);
    }

    NodeHolder table;     // numbered nodes by number (slot 0: Begin)
    NodeHolder specials;  // GENERIC, LETTCOUNT, FREQAVE, End
    specials.nodes.assign(4, nullptr);
    LabelMapHolder labels;
    long max_node = -1;
    std::vector<Node *> &nodes = table.nodes;

    for (;;) {
        if (starts_with(line.c_str(), END_KEYWORD)) break;
        bool pending = false;
        char first = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
        int here = *line_count;
        switch (first) {
            case '\n':
            case '\r':
            case '\0':
            case '%':
            case ';': break;
            case 'A': {
                std::string text = chomp(line);
                process_alphabet(text.c_str(), track, location(filename, here).c_str());
                break;
            }
            case 'N':
                labels.map = parse_model_node_labels(labels.map, filename, line.c_str());
                break;
            case 'T': {
                const char *p = line.c_str();
                while (*p && !is_blank_char(*p)) p++;
                long n = 0;
                bool overflow = false;
                const char *end = scan_long(p, line.c_str() + line.size(), &n, &overflow);
                if (!end)
                    error("%s(%d): TYPE line without a node number", shown_text(filename).c_str(),
                          here);
                if (n < 0) negative_node_abort();
                if (overflow || n > MAX_MODEL_NODE_NUMBER)
                    error("%s(%d): node number %ld is out of range (at most %d)",
                          shown_text(filename).c_str(), here, n, MAX_MODEL_NODE_NUMBER);
                p = end;
                while (*p && is_blank_char(*p)) p++;
                if (!*p)
                    error("%s(%d): TYPE line without a type letter", shown_text(filename).c_str(),
                          here);
                char t = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
                grow_node_table(nodes, n);
                if (!nodes[n])
                    nodes[n] = alloc_node();
                else if (nodes[n]->type)
                    std::fprintf(stderr, "Warning: %s(%d):  Node %ld has two types: %s and %s.\n",
                                 shown_text(filename).c_str(), here, n,
                                 shown_text(&nodes[n]->type, 1).c_str(), shown_text(&t, 1).c_str());
                nodes[n]->type = t;
                if (n > max_node) max_node = n;
                break;
            }
            case 'B':
            case 'E':
            case 'F':
            case 'G':
            case 'L': {
                Node **slot;
                if (first == 'B') {
                    grow_node_table(nodes, 0);
                    slot = &nodes[0];
                    if (max_node < 0) max_node = 0;
                } else {
                    slot = &specials.nodes[first == 'G'   ? 0
                                           : first == 'L' ? 1
                                           : first == 'F' ? 2
                                                          : 3];
                }
                char name = 0;
                read_probs(in, filename, line_count, line, slot, &name, &pending);
                break;
            }
            default: {
                Node *node = nullptr;
                char name = 0;
                long n;
                {
                    NodeHolder hold;  // the new node until it is placed
                    n = read_probs(in, filename, line_count, line, &node, &name, &pending);
                    hold.nodes.push_back(node);
                    if (name) {
                        std::fprintf(stderr, "%s(%d): Invalid node identifier %s; node ignored\n",
                                     shown_text(filename).c_str(), here,
                                     shown_text(&name, 1).c_str());
                        break;
                    }
                    if (n < 0) negative_node_abort();
                    hold.nodes.clear();
                }
                grow_node_table(nodes, n);
                if (nodes[n]) {
                    if (nodes[n]->type) node->type = nodes[n]->type;
                    free_node(nodes[n]);
                }
                nodes[n] = node;
                if (n > max_node) max_node = n;
                break;
            }
        }
        if (pending && !is_blank_line(line))
            continue;  // the node reader handed back the next line of the block
        if (!next_nonblank_line(in, line, line_count))
            error("%s(%d): Incomplete model -- no ENDMODEL\n", shown_text(filename).c_str(),
                  *line_count);
    }

    check_alphabet(nullptr);
    RmodelHolder hold;
    hold.rm = alloc_rmodel(nullptr);
    Rmodel *rm = hold.rm;
    rm->nstart = static_cast<int>(max_node);
    rm->nend = 0;
    alloc_rmodel(rm);  // a start count of -1 gives the one slot of End
    for (long i = 0; i <= max_node && i < static_cast<long>(nodes.size()); i++) {
        rm->slots[i] = nodes[i];
        nodes[i] = nullptr;
    }
    rm->end_nodes[0] = specials.nodes[3];
    rm->end = specials.nodes[3];
    rm->begin = max_node >= 0 ? rm->slots[0] : nullptr;
    rm->generic = specials.nodes[0];
    rm->lettcount = specials.nodes[1];
    rm->freqave = specials.nodes[2];
    specials.nodes.assign(4, nullptr);
    label_rmodel_from_map(labels.map, rm);
    return hold.release();
}

void require_rmodel_nodes(const Rmodel *rm, const char *what) {
    if (!rm) error("No %s to build a model from", what ? what : "model");
    if (rm->nstart < 0 || !rm->slots)
        error("The %s has no nodes (only special nodes); no model can be built from it",
              what ? what : "model");
    for (int i = 0; i < rm->nslots; i++)
        if (rm->slots[i]) return;
    error("The %s has no nodes (only special nodes); no model can be built from it",
          what ? what : "model");
}

// ---------------------------------------------------------------------------------------------
// First block of a file
// ---------------------------------------------------------------------------------------------

int fread_first_rmodel(InputReader *in, const char *filename, const char *description, int track,
                       Rmodel **slot, int flags) {
    if (!in) return 0;
    if (!filename) filename = "";
    if (!description) description = "model";
    std::string header;
    if (!read_to_next_model(in, header)) {
        if (flags & RMODEL_FATAL)
            error("No model found in the %s file %s\n", description, shown_text(filename).c_str());
        if (!(flags & RMODEL_NOWARN))
            std::fprintf(stderr, "Warning:  File or model not found in the %s file %s\n",
                         description, shown_text(filename).c_str());
        return -1;
    }
    int line_count = 1;
    Rmodel *rm = read_rmodel(in, filename, &line_count, header.c_str(), nullptr, nullptr, track);
    if (slot && *slot) {
        if (verbout)
            std::fprintf(stderr, "%s(%d):  Replacing %s with %s", shown_text(filename).c_str(),
                         line_count, description, shown_line(header).c_str());
        free_rmodel(slot);
    } else if (verbout) {
        std::fprintf(verbout, "%s(%d):  Reading %s from %s", shown_text(filename).c_str(),
                     line_count, description, shown_line(header).c_str());
    }
    if (slot)
        *slot = rm;
    else
        free_rmodel(&rm);
    return 1;
}

int read_first_rmodel(const char *filename, const char *description, int track, Rmodel **slot,
                      int flags) {
    if (!filename || !*filename) return 0;
    FILE *fp = open_read_env(filename, MODEL_PATH_VARIABLE, MODEL_LIBRARY_DIR, nullptr, nullptr,
                             (flags & (OPEN_FATAL | OPEN_QUIET)) | OPEN_REWIND);
    if (!fp) return 0;
    ReaderScope in(fp, filename);
    return fread_first_rmodel(&in.in, filename, description, track, slot, flags);
}

// ---------------------------------------------------------------------------------------------
// BINARY form: words
// ---------------------------------------------------------------------------------------------

void binary_put_int(FILE *out, int value) {
    uint32_t u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; i++) std::putc(static_cast<int>((u >> (8 * i)) & 0xff), out);
}

void binary_put_float(FILE *out, float value) {
    uint32_t u;
    std::memcpy(&u, &value, sizeof u);
    binary_put_int(out, static_cast<int>(u));
}

[[noreturn]] static void binary_corrupt(const char *filename, const char *what) {
    error("%s: BINARY model block cut short or corrupt (%s)", shown_text(filename).c_str(), what);
}

static uint32_t binary_get_word(InputReader *in, const char *filename, const char *what) {
    uint32_t u = 0;
    for (int i = 0; i < 4; i++) {
        int c = reader_getc(in);
        if (c == EOF) binary_corrupt(filename, what);
        u |= static_cast<uint32_t>(c) << (8 * i);
    }
    return u;
}

static int binary_get_int(InputReader *in, const char *filename, const char *what) {
    uint32_t u = binary_get_word(in, filename, what);
    int32_t v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

static float binary_get_float(InputReader *in, const char *filename, const char *what) {
    uint32_t u = binary_get_word(in, filename, what);
    float f;
    std::memcpy(&f, &u, sizeof f);
    if (!std::isfinite(f))
        error("%s: BINARY model block holds a value that is not a finite number (%s)",
              shown_text(filename).c_str(), what);
    return f;
}

// ---------------------------------------------------------------------------------------------
// BINARY form: reading
// ---------------------------------------------------------------------------------------------

int last_model_read_binary() {
    return binary_block_read;
}

void reset_modelio_state() {
    binary_block_read = 0;
    extra_characters_warned = false;
}

Node *binary_r_node(InputReader *in, const char *filename, int track, int fim_index, int ins_index,
                    const float *fim_table, const float *ins_table) {
    (void)track;
    if (binary_get_int(in, filename, "node presence") == 0) return nullptr;
    NodeHolder hold;
    Node *node = alloc_node();
    hold.nodes.push_back(node);
    int A = (node->nparams - 9) / 2;
    if (binary_get_int(in, filename, "node environment") != 0) {
        int acc = binary_get_int(in, filename, "node environment");
        int env = binary_get_int(in, filename, "node environment");
        int code = binary_get_int(in, filename, "node environment");
        node->nodeenv = alloc_NodeEnv();
        update_nodenv(node->nodeenv, acc, env, code);
    }
    int t = reader_getc(in);
    if (t == EOF) binary_corrupt(filename, "node type");
    node->type = static_cast<char>(std::toupper(t));
    for (int i = 0; i < 9 + A; i++) node->params[i] = binary_get_float(in, filename, "node values");
    const float *shared = nullptr;
    if (node->type == 'F' && fim_index != -1)
        shared = fim_table;
    else if (node->type != 'F' && ins_index != -1)
        shared = ins_table;
    if (shared)
        std::memcpy(node->insert, shared, sizeof(float) * A);
    else
        for (int i = 0; i < A; i++)
            node->insert[i] = binary_get_float(in, filename, "node insert table");
    hold.nodes.clear();
    return node;
}

// Refuses a node of a BINARY block holding a negative value (which names the node); values a
// little below 0 become 0. position: a model position (Begin, a start- or end-numbered node),
// whose first match value may be negative (the FIM mark).
static void check_binary_node(Node *node, const char *filename, const std::string &which,
                              bool position) {
    if (!node) return;
    for (int i = 0; i < node->nparams; i++)
        if (negative_beyond_rounding(&node->params[i]) && !(position && i == FIRST_MATCH_VALUE))
            error("%s: BINARY model block holds a negative value %g (node %s)",
                  shown_text(filename).c_str(), static_cast<double>(node->params[i]),
                  shown_text(which).c_str());
}

Rmodel *binary_r_rmodel(InputReader *in, const char *filename, int *line_count, int track) {
    int dummy_count = 0;
    if (!line_count) line_count = &dummy_count;
    if (!filename) filename = "";
    binary_block_read = 1;

    // Text lines up to the alphabet line.
    LabelMapHolder labels;
    std::string line;
    for (;;) {
        if (!next_line(in, line, line_count))
            error("unexpected EOF on %s", shown_text(filename).c_str());
        char c = line[0];
        if (c == 'N' || c == 'n') {
            labels.map = parse_model_node_labels(labels.map, filename, line.c_str());
        } else if (c == 'A' || c == 'a') {
            std::string text = chomp(line);
            process_alphabet(text.c_str(), track, location(filename, *line_count).c_str());
            check_alphabet(nullptr);
            break;
        }
    }
    int A = alphabet->emit_length;

    // Counts.
    binary_get_int(in, filename, "slot count");
    int P = binary_get_int(in, filename, "start count");
    int Q = binary_get_int(in, filename, "end count");
    if (P < -1 || P > MAX_MODEL_NODE_NUMBER || Q < 0 || Q > MAX_MODEL_NODE_NUMBER ||
        static_cast<long>(P) + Q > MAX_MODEL_NODE_NUMBER)
        binary_corrupt(filename, "node counts out of range");
    long last_index = static_cast<long>(P) + Q + 1;

    // Shared insert tables.
    int fim_index = binary_get_int(in, filename, "FIM table index");
    if (fim_index < -1 || fim_index > last_index)
        binary_corrupt(filename, "FIM table index out of range");
    std::vector<float> fim_table(A), ins_table(A);
    if (fim_index != -1)
        for (int i = 0; i < A; i++)
            fim_table[i] = binary_get_float(in, filename, "FIM insert table");
    int ins_index = binary_get_int(in, filename, "insert table index");
    if (ins_index < -1 || ins_index > last_index)
        binary_corrupt(filename, "insert table index out of range");
    if (ins_index != -1)
        for (int i = 0; i < A; i++) ins_table[i] = binary_get_float(in, filename, "insert table");

    // Nodes: the special nodes without sharing, then every slot. They are collected first and
    // the slot array is made only when all have been read, so that counts in a damaged file
    // cost no more memory than the file holds nodes.
    NodeHolder specials;
    for (int i = 0; i < 3; i++)
        specials.nodes.push_back(
            binary_r_node(in, filename, track, -1, -1, fim_table.data(), ins_table.data()));
    NodeHolder slots;
    slots.nodes.reserve(static_cast<size_t>(std::min<long>(last_index + 1, 4096)));
    for (long i = 0; i <= last_index; i++)
        slots.nodes.push_back(binary_r_node(in, filename, track, fim_index, ins_index,
                                            fim_table.data(), ins_table.data()));
    static const char *const special_names[3] = {"GENERIC", "LETTCOUNT", "FREQAVE"};
    for (int i = 0; i < 3; i++)
        check_binary_node(specials.nodes[i], filename, special_names[i], false);
    for (long i = 0; i <= last_index; i++) {
        long k = i - (P + 1);  // element of the end view, when not start-numbered
        check_binary_node(slots.nodes[i], filename,
                          k < 0    ? std::to_string(i)
                          : k == 0 ? "End"
                                   : std::to_string(-k),
                          k != 0);
    }

    // The closing line: the word ENDMODEL and the rest of its line.
    int c;
    while ((c = reader_getc(in)) != EOF && is_blank_char(static_cast<char>(c)))
        ;
    std::string word;
    while (c != EOF && !is_blank_char(static_cast<char>(c))) {
        word.push_back(static_cast<char>(c));
        if (word.size() > 64) break;
        c = reader_getc(in);
    }
    if (word.compare(0, std::strlen(END_KEYWORD), END_KEYWORD) != 0)
        binary_corrupt(filename, "no ENDMODEL after the nodes");
    while (c != EOF && c != '\n') c = reader_getc(in);
    (*line_count)++;

    RmodelHolder hold;
    hold.rm = alloc_rmodel(nullptr);
    Rmodel *rm = hold.rm;
    rm->nstart = P;
    rm->nend = Q;
    alloc_rmodel(rm);  // a start count of -1 gives the one slot of End
    for (long i = 0; i <= last_index; i++) {
        rm->slots[i] = slots.nodes[i];
        slots.nodes[i] = nullptr;
    }
    rm->generic = specials.nodes[0];
    rm->lettcount = specials.nodes[1];
    rm->freqave = specials.nodes[2];
    specials.nodes.assign(3, nullptr);
    rm->begin = P >= 0 ? rm->slots[0] : nullptr;
    rm->end = rm->end_nodes[0];
    if (rm->end)
        for (int i = 0; i < A; i++) rm->end->insert[i] = 0.0f;
    label_rmodel_from_map(labels.map, rm);
    return hold.release();
}

// ---------------------------------------------------------------------------------------------
// BINARY form: writing
// ---------------------------------------------------------------------------------------------

static int node_emission_size(const Node *node) {
    return (node->nparams - 9) / 2;
}

// A FIM as the BINARY form tells them apart; the reader upper-cases the type byte, so a
// lower-case 'f' set by a program counts as a FIM here as well.
static bool is_fim_type(char type) {
    return std::toupper(static_cast<unsigned char>(type)) == 'F';
}

void binary_p_node(FILE *out, const Node *node, int fim_index, int ins_index) {
    if (!node) {
        binary_put_int(out, 0);
        return;
    }
    binary_put_int(out, 1);
    if (node->nodeenv) {
        binary_put_int(out, 1);
        binary_put_int(out, node->nodeenv->acc);
        binary_put_int(out, node->nodeenv->env);
        binary_put_int(out, node->nodeenv->code);
    } else {
        binary_put_int(out, 0);
    }
    std::putc(static_cast<unsigned char>(node->type), out);
    int A = node_emission_size(node);
    for (int i = 0; i < 9 + A; i++) binary_put_float(out, node->params[i]);
    bool shared = is_fim_type(node->type) ? fim_index != -1 : ins_index != -1;
    if (!shared)
        for (int i = 0; i < A; i++) binary_put_float(out, node->insert[i]);
}

void binary_write_table(Node *const *nodes, int index, FILE *out) {
    binary_put_int(out, index);
    if (index == -1 || !nodes || !nodes[index]) return;
    const Node *node = nodes[index];
    for (int i = 0; i < node_emission_size(node); i++) binary_put_float(out, node->insert[i]);
}

// The binary part of a block for a node array (Model: nodes 0..L+1 with P = L, Q = 0; Rmodel:
// its slots), with the three special nodes.
static void write_binary_part(FILE *out, int slot_word, int P, int Q, Node *const *nodes,
                              const Node *generic, const Node *lettcount, const Node *freqave) {
    long count = static_cast<long>(P) + Q + 2;
    long end_index = static_cast<long>(P) + 1;
    binary_put_int(out, slot_word);
    binary_put_int(out, P);
    binary_put_int(out, Q);
    int fim_index = -1, ins_index = -1;
    check_node_array(nodes, static_cast<int>(count - 1), static_cast<int>(end_index), &fim_index,
                     &ins_index);
    binary_write_table(nodes, fim_index, out);
    binary_write_table(nodes, ins_index, out);
    binary_p_node(out, generic, -1, -1);
    binary_p_node(out, lettcount, -1, -1);
    binary_p_node(out, freqave, -1, -1);
    for (long i = 0; i < count; i++) binary_p_node(out, nodes[i], fim_index, ins_index);
}

// ---------------------------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------------------------

void print_model_alphabet_line(FILE *out) {
    check_alphabet(nullptr);
    if (alphabet->id == USER_ALPHABET_ID) {
        if (alphabet->letters)
            std::fprintf(out, "alphabet_def %s %s\n", alphabet->name, alphabet->letters);
        else
            std::fprintf(out, "alphabet_def %s %d\n", alphabet->name, alphabet->emit_length_wild);
    } else {
        std::fprintf(out, "alphabet %s\n", alphabet->name);
    }
}

void print_node(FILE *out, const Node *node, const char *name, int number, const char *format) {
    if (!node) return;
    if (!format) format = " %8.6f ";
    if (name)
        std::fprintf(out, "%s\n", name);
    else
        std::fprintf(out, "%4d\n", number);
    if (node->nodeenv)
        std::fprintf(out, "%% %4d   acc: %d env: %d code: %d <-|\n", number, node->nodeenv->acc,
                     node->nodeenv->env, node->nodeenv->code);
    for (int i = 0; i < 9; i++) {
        std::fprintf(out, format, node->params[i]);
        if (i % 3 == 2) std::fputc('\n', out);
    }
    int A = node_emission_size(node);
    int per_line = A < 5 ? A : 5;
    const float *tables[2] = {node->match, node->insert};
    for (const float *table : tables) {
        for (int i = 0; i < A; i++) {
            std::fprintf(out, format, table[i]);
            if ((i + 1) % per_line == 0) std::fputc('\n', out);
        }
        if (per_line > 0 && A % per_line != 0) std::fputc('\n', out);
    }
}

static void print_type_line(FILE *out, int number, const Node *node) {
    if (node && node->type) std::fprintf(out, "TYPE %d %c\n", number, node->type);
}

int nice_print_model(FILE *out, const Model *model, const char *keyword, const char *title,
                     const char *format, int binary) {
    if (!out || !model || (binary != 0 && binary != 1)) return 0;
    int L = model->length;
    std::fprintf(out, "%s --  %s\n", keyword ? keyword : "", title ? title : "");
    if (binary == 1) std::fprintf(out, "BINARY\n");
    write_model_node_labels(model, out);
    print_model_alphabet_line(out);
    if (binary == 1) {
        write_binary_part(out, L, L, 0, model->nodes, model->generic, model->lettcount,
                          model->freqave);
    } else {
        print_node(out, model->generic, "GENERIC", 0, format);
        print_node(out, model->lettcount, "LETTCOUNT", 0, format);
        print_node(out, model->freqave, "FREQAVE", 0, format);
        if (model->nodes && L >= 0) {
            print_type_line(out, 0, model->nodes[0]);
            print_node(out, model->nodes[0], "Begin", 0, format);
            for (int i = 1; i <= L; i++) {
                print_type_line(out, i, model->nodes[i]);
                print_node(out, model->nodes[i], nullptr, i, format);
            }
            print_node(out, model->nodes[L + 1], "End", L + 1, format);
        }
    }
    std::fprintf(out, "\n%s\n", END_KEYWORD);
    return 1;
}

int nice_print_rmodel(FILE *out, const Rmodel *rm, const char *keyword, const char *title,
                      const char *format, int binary) {
    if (!out || !rm || (binary != 0 && binary != 1)) return 0;
    int P = rm->nstart, Q = rm->nend;
    if (binary == 1) {
        std::fprintf(out, "%s -- %s\n", keyword ? keyword : "", title ? title : "");
        std::fprintf(out, "BINARY\n");
        write_rmodel_node_labels(rm, out);
        print_model_alphabet_line(out);
        if (rm->slots) {
            write_binary_part(out, rm->nslots, P, Q, rm->slots, rm->generic, rm->lettcount,
                              rm->freqave);
        } else {
            // A raw model without slot array: written as one with no nodes.
            Node *none = nullptr;
            write_binary_part(out, 1, -1, 0, &none, rm->generic, rm->lettcount, rm->freqave);
        }
    } else {
        std::fprintf(out, "%s --  %s\n", keyword ? keyword : "", title ? title : "");
        write_rmodel_node_labels(rm, out);
        print_model_alphabet_line(out);
        print_node(out, rm->generic, "GENERIC", 0, format);
        print_node(out, rm->lettcount, "LETTCOUNT", 0, format);
        print_node(out, rm->freqave, "FREQAVE", 0, format);
        if (rm->slots) {
            for (int j = 0; j <= P; j++) {
                const Node *node = rm->slots[j];
                if (!node) continue;
                print_type_line(out, j, node);
                print_node(out, node, j == 0 ? "Begin" : nullptr, j, format);
            }
            // End-numbered nodes at the positions they take in a model of length P+Q.
            for (int k = Q; k >= 1; k--) {
                const Node *node = rm->end_nodes[k];
                if (!node) continue;
                int number = P + Q + 1 - k;
                print_type_line(out, number, node);
                print_node(out, node, nullptr, number, format);
            }
            print_node(out, rm->end_nodes[0], "End", P + Q + 1, format);
        }
    }
    std::fprintf(out, "\n%s\n", END_KEYWORD);
    return 1;
}

// A full copy of a node (values, type, label and environment).
static Node *copy_whole_node(const Node *src) {
    Node *n = alloc_node();
    int count = std::min(n->nparams, src->nparams);
    std::memcpy(n->params, src->params, sizeof(float) * count);
    n->type = src->type;
    n->lab = src->lab;
    if (src->nodeenv) {
        n->nodeenv = alloc_NodeEnv();
        copy_node_env(src->nodeenv, n->nodeenv);
    }
    return n;
}

int delfims_nice_print_model(FILE *out, const Model *model, const char *keyword, const char *title,
                             const char *format, int remove_fims, int binary) {
    if (!model || !remove_fims || !model->nodes || model->length < 1 || !model->nodes[0] ||
        !model->nodes[model->length] || model->nodes[0]->type != 'F' ||
        model->nodes[model->length]->type != 'F')
        return nice_print_model(out, model, keyword, title, format, binary);

    int L = model->length;
    // A view of the model of length L-1: copies of Begin and End changed, the nodes between
    // shared with the model (only read).
    NodeHolder copies;
    Node *begin = copy_whole_node(model->nodes[0]);
    copies.nodes.push_back(begin);
    begin->type = 0;
    const Node *old_end = model->nodes[L + 1];
    Node *end = old_end ? copy_whole_node(old_end) : alloc_node();
    copies.nodes.push_back(end);
    for (int s = 0; s < 3; s++) {
        end->djump[s] = 0.0f;
        end->mjump[s] = model->nodes[L]->djump[s];
    }
    std::vector<Node *> nodes(model->nodes, model->nodes + L);  // 0..L-1
    nodes[0] = begin;
    nodes.push_back(end);  // End at position L
    Model view = *model;
    view.length = L - 1;
    view.nodes = nodes.data();
    view.weights = nullptr;
    view.fim_weight = nullptr;
    std::string new_title =
        std::string(title ? title : "") + " (internally generated FIMs removed)";
    return nice_print_model(out, &view, keyword, new_title.c_str(), format, binary);
}

// ---------------------------------------------------------------------------------------------
// Debug dumps
// ---------------------------------------------------------------------------------------------

static FILE *dbg_stream = nullptr;

FILE *dbg_log_file() {
    if (!dbg_stream) {
        dbg_stream = std::fopen("dbg.log", "w");
        if (!dbg_stream) error("Open of dbg.log failed: %s", std::strerror(errno));
        std::setvbuf(dbg_stream, nullptr, _IONBF, 0);
    }
    return dbg_stream;
}

static std::string vformat(const char *fmt, va_list ap) {
    if (!fmt) return std::string();
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0) return std::string();
    std::string s(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&s[0], s.size(), fmt, ap);
    s.resize(static_cast<size_t>(n));
    return s;
}

// The five views of a node or cost record, one line each: the three transition triples, then
// the n match and n insert values, each printed with the given format.
template <class T>
static void dbg_views(FILE *out, const T *djump, const T *mjump, const T *ijump, const T *match,
                      const T *insert, int n, const char *format) {
    const char *labels[3] = {"%      djump =", "%      mjump =", "%      ijump ="};
    const T *views[3] = {djump, mjump, ijump};
    for (int v = 0; v < 3; v++) {
        std::fputs(labels[v], out);
        for (int i = 0; i < 3; i++) std::fprintf(out, format, views[v][i]);
        std::fputc('\n', out);
    }
    std::fputs("%      match =", out);
    for (int i = 0; i < n; i++) std::fprintf(out, format, match[i]);
    std::fputc('\n', out);
    std::fputs("%     insert =", out);
    for (int i = 0; i < n; i++) std::fprintf(out, format, insert[i]);
    std::fputc('\n', out);
}

static void dbg_node(FILE *out, const Node *node, const std::string &title) {
    std::fprintf(out, "%%  %s", title.c_str());
    if (node && node->lab != NO_LABEL) std::fprintf(out, " lab = %d", node->lab);
    std::fputc('\n', out);
    if (!node) return;
    dbg_views<float>(out, node->djump, node->mjump, node->ijump, node->match, node->insert,
                     node_emission_size(node), " %8.6f");
    if (node->nodeenv)
        std::fprintf(out, "%%        acc: %d env: %d code: %d\n", node->nodeenv->acc,
                     node->nodeenv->env, node->nodeenv->code);
}

static void dbg_weight(FILE *out, const ModWeight *w, const std::string &title) {
    std::fprintf(out, "%%  %s\n", title.c_str());
    if (!w) return;
    dbg_views<int>(out, w->djump, w->mjump, w->ijump, w->match, w->insert, (w->ncosts - 9) / 2,
                   " %6d");
}

void dbg_print_node(FILE *out, const Node *node, const char *fmt, ...) {
    if (!out) out = dbg_log_file();
    va_list ap;
    va_start(ap, fmt);
    std::string title = vformat(fmt, ap);
    va_end(ap);
    dbg_node(out, node, title);
}

void dbg_print_weight(FILE *out, const ModWeight *weight, const char *fmt, ...) {
    if (!out) out = dbg_log_file();
    va_list ap;
    va_start(ap, fmt);
    std::string title = vformat(fmt, ap);
    va_end(ap);
    dbg_weight(out, weight, title);
}

// Titles of the nodes of a dump: Begin, 1..L-1, -1 for position L, End.
static std::string dbg_node_title(int i, int L) {
    if (i == 0) return "Begin";
    if (i == L + 1) return "End";
    if (i == L) return "-1";
    return std::to_string(i);
}

void dbg_print_model(FILE *out, const Model *model, const char *fmt, ...) {
    if (!out) out = dbg_log_file();
    va_list ap;
    va_start(ap, fmt);
    std::string title = vformat(fmt, ap);
    va_end(ap);
    std::fprintf(
        out, "%%=============================================================================\n");
    std::fprintf(out, "%% %s\n", title.c_str());
    std::fprintf(out, "%% Alphabet: %s\n", alphabet && alphabet->name ? alphabet->name : "(none)");
    std::fprintf(out, "%%> Nodes:\n");
    if (model) {
        if (model->generic) dbg_node(out, model->generic, "GENERIC");
        if (model->lettcount) dbg_node(out, model->lettcount, "LETTCOUNT");
        if (model->freqave) dbg_node(out, model->freqave, "FREQAVE");
        int L = model->length;
        if (model->nodes && L >= 0)
            for (int i = 0; i <= L + 1; i++) dbg_node(out, model->nodes[i], dbg_node_title(i, L));
        std::fprintf(out, "%%> Weights:");
        if (!model->weights || L < 0) {
            std::fprintf(out, " NULL\n");
        } else {
            std::fputc('\n', out);
            for (int i = 0; i <= L + 1; i++)
                dbg_weight(out, model->weights[i], dbg_node_title(i, L));
        }
    } else {
        std::fprintf(out, "%%> Weights: NULL\n");
    }
    std::fprintf(
        out, "%%^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^\n");
    std::fflush(out);
}

void dbg_print_seq(FILE *out, const Sequence *seq, const char *fmt, ...) {
    if (!out) out = dbg_log_file();
    va_list ap;
    va_start(ap, fmt);
    std::string title = vformat(fmt, ap);
    va_end(ap);
    std::fprintf(out, "%% %s", title.c_str());
    if (!seq) {
        std::fprintf(out, ": NULL\n");
        return;
    }
    std::fprintf(out, ": %s len = %d raw = %8.6f simple = %8.6f\n", seq->id ? seq->id : "",
                 seq->len, seq->raw_score, seq->simple_score);
    std::fprintf(out, "%%   Weights:");
    int count = Nmodels;
    if (!seq->weights || count < 1) {
        std::fprintf(out, " NULL\n");
        return;
    }
    for (int i = 0; i < count; i++) {
        if (i % 6 == 0) std::fprintf(out, "\n%%     ");
        std::fprintf(out, " %8.6f", seq->weights[i]);
    }
    if ((count - 1) % 6 != 0) std::fputc('\n', out);
}
