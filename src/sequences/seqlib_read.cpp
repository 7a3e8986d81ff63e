// The readers of the sequence-file library: one entry of a file in any readable format, the next
// entry of an open input, or the list of every entry's ID. Line formats are read line by line
// with a push-back of one line; the whole-file formats (interleaved alignments and the like) are
// read in one pass into a list of entries kept with the input.
#include "sequences/seqlib_read.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "sequences/seqio.h"
#include "sequences/seqlib_keep.h"
#include "sequences/seqlib.h"
#include "sequences/seqlib_keep_fast.h"
#include "sequences/seqlib_write.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/reader.h"
#include "foundation/scan.h"

// One entry of a whole-file format.
struct SeqLibEntry {
    std::string id;       // ID line
    std::string info;     // text of its listing line
    std::string letters;  // accepted characters
    int64_t counted = 0;  // letters counted (sequential layouts)
};

struct SeqLibEntries {
    short format = 0;
    int skiplines = 0;
    short error = SEQERR_NONE;  // error of the whole read (-2 no entries)
    std::vector<SeqLibEntry> list;
};

namespace {

// First capacity of the letter buffer (it doubles as needed).
constexpr int64_t LETTERS_START = 4096;
// Unused room a returned letter buffer may keep before it is shrunk to its letters.
constexpr int64_t LETTERS_SLACK = 64;
// Width of a Phylip name; the data begin in the column after it.
constexpr size_t PHYLIP_NAME_WIDTH = 10;
// Olsen data begin this many columns after the start of the entry's name.
constexpr size_t OLSEN_DATA_OFFSET = 10;
// An Olsen entry's data end this many columns before a further occurrence of its name.
constexpr size_t OLSEN_NAME_GAP = 2;

// Digit d of Olsen data becomes the (d+1)-th character of this text.
const char digit_substitutes[] = "~!@#$%^&*(";

bool is_letter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_digit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool isAnyChar(unsigned char c) {
    return c < 128;
}

// A line of the given length holds "//".
bool holds_slashes(const char *line, size_t length) {
    const char *end = line + length;
    for (const char *p = line; p < end;) {
        p = static_cast<const char *>(memchr(p, '/', static_cast<size_t>(end - p)));
        if (!p || p + 1 >= end) return false;
        if (p[1] == '/') return true;
        p += 2;
    }
    return false;
}
bool holds(const char *line, const char *text) {
    return strstr(line, text) != nullptr;
}
bool blank_text(const char *text, size_t length) {
    for (size_t i = 0; i < length; i++)
        if (!is_space(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// Growing buffer of the entry's characters (or of the listing).
struct Letters {
    char *data = nullptr;
    int64_t length = 0;
    int64_t capacity = 0;
    void reserve(int64_t extra) {
        if (length + extra + 1 <= capacity) return;
        int64_t cap = capacity ? capacity : LETTERS_START;
        while (cap < length + extra + 1) cap *= 2;
        data = static_cast<char *>(mem_realloc(data, static_cast<size_t>(cap)));
        capacity = cap;
    }
};

char empty_line[1] = {0};

enum EndTest {
    END_IG,
    END_STRIDER,
    END_PIR,
    END_GENBANK,
    END_NBRF,
    END_PEARSON,
    END_EMBL,
    END_ZUKER,
    END_FITCH
};

// The state of one reading.
struct State {
    SeqLibInput *in = nullptr;
    InputReader *r = nullptr;
    int wanted = 1;  // -1: listing
    short error = SEQERR_NONE;
    int count = 0;  // entries seen
    Letters seq;
    const char *filename = nullptr;
    std::string id;
    bool all_done = false;
    bool entry_done = false;
    bool storing = false;
    bool listing_any = false;  // the acceptor takes any character (listing text)
    bool eof = false;
    char *line = empty_line;  // current line, in place in the reader
    size_t len = 0;
};

// The next line (in place; a trailing carriage return removed); false and an empty line at the
// end of the stream.
bool get_line(State &st) {
    char *text = nullptr;
    size_t n = 0;
    if (!reader_line(st.r, &text, &n)) {
        st.line = empty_line;
        st.len = 0;
        st.eof = true;
        return false;
    }
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\0')) text[--n] = '\0';
    st.line = text;
    st.len = n;
    st.eof = false;
    return true;
}

void unget_line(State &st) {
    reader_unget_line(st.r);
}

bool current_blank(const State &st) {
    return blank_text(st.line, st.len);
}

// The text of the current line from a column on ("" past its end).
std::string column_text(const State &st, size_t column) {
    return column < st.len ? std::string(st.line + column, st.len - column) : std::string();
}

// addseq: appends the accepted characters of the text when storing.
void add_seq(State &st, const char *text, size_t length) {
    if (!st.storing) return;
    st.seq.reserve(static_cast<int64_t>(length + SEQLIB_KEEP_SLACK));
    char *out = st.seq.data + st.seq.length;
    if (st.listing_any) {
        for (size_t i = 0; i < length; i++)
            if (isAnyChar(static_cast<unsigned char>(text[i]))) *out++ = text[i];
        st.seq.length = out - st.seq.data;
    } else {
        st.seq.length += static_cast<int64_t>(seqlib_keep_fast(text, length, out));
    }
}

// addinfo: in listing mode, one line " %d)  %s\n" for the current entry.
void add_info(State &st, const std::string &text) {
    if (st.wanted != -1) return;
    size_t skip = 0;
    while (skip < text.size() && text[skip] == ' ') skip++;
    std::string entry = " " + std::to_string(st.count) + ")  " + text.substr(skip) + "\n";
    bool storing = st.storing;
    st.storing = true;
    st.listing_any = true;
    add_seq(st, entry.c_str(), entry.size());
    st.listing_any = false;
    st.storing = storing;
}

struct EndResult {
    bool ends = false;
    bool keep = false;
    bool push = false;
};

EndResult end_test(State &st, EndTest test) {
    EndResult e;
    const char *s = st.line;
    switch (test) {
        case END_IG:
            if (strchr(s, ';')) {
                e.ends = true;
                e.push = true;
            } else if (strchr(s, '1') || strchr(s, '2')) {
                e.ends = true;
                e.keep = true;
            }
            break;
        case END_STRIDER: e.ends = holds_slashes(s, st.len); break;
        case END_PIR:
            if (holds(s, "///"))
                e.ends = true;
            else if (starts_with(s, "ENTRY"))
                e.ends = e.push = true;
            break;
        case END_GENBANK:
            if (holds_slashes(s, st.len))
                e.ends = true;
            else if (starts_with(s, "LOCUS"))
                e.ends = e.push = true;
            break;
        case END_NBRF: {
            char *star = strchr(st.line, '*');
            if (star) {
                *star = '\0';
                st.len = static_cast<size_t>(star - st.line);
                e.ends = e.keep = true;
            } else if (s[0] == '>') {
                e.ends = e.push = true;
            }
            break;
        }
        case END_PEARSON: e.ends = e.push = s[0] == '>'; break;
        case END_EMBL:
            if (holds_slashes(s, st.len))
                e.ends = true;
            else if (starts_with(s, "ID   "))
                e.ends = e.push = true;
            break;
        case END_ZUKER: e.ends = e.push = s[0] == '('; break;
        case END_FITCH: e.ends = e.push = s[0] != ' '; break;
    }
    return e;
}

// Starts an entry: counts it and decides whether its characters are kept.
void begin_entry(State &st) {
    st.count++;
    st.storing = st.wanted != -1 && st.count == st.wanted;
    if (st.storing) st.seq.length = 0;
}

// Ends an entry: listing line, or all done when it was the wanted one (the ending line then
// pushed back when asked).
void end_entry(State &st, bool push) {
    if (st.wanted == -1) {
        add_info(st, st.id);
        return;
    }
    st.all_done = st.count == st.wanted;
    if (st.all_done && push && !st.eof) unget_line(st);
}

// readLoop: reads the lines of one entry up to the line the end test stops at.
void read_loop(State &st, bool add_first, EndTest test) {
    begin_entry(st);
    if (add_first) add_seq(st, st.line, st.len);
    EndResult e;
    do {
        get_line(st);
        st.entry_done = st.eof;
        e = st.eof ? EndResult{true, false, false} : end_test(st, test);
        if (e.ends) st.entry_done = true;
        if (st.entry_done && !e.keep) break;
        add_seq(st, st.line, st.len);  // nothing unless storing
    } while (!st.entry_done);
    end_entry(st, e.push);
}

// An entry without sequence lines (GenBank, EMBL or PIR entry that ends before its sequence).
void empty_entry(State &st, bool push) {
    begin_entry(st);
    end_entry(st, push);
}

// Reads lines until the current one passes the test (the current line is tested first).
template <typename Test>
void skip_to(State &st, Test test) {
    while (!st.eof && !test()) get_line(st);
}

// ---------------------------------------------------------------------------------------------
// Line formats
// ---------------------------------------------------------------------------------------------

void read_ig(State &st) {
    bool need_next = false;
    while (!st.all_done) {
        if (need_next) get_line(st);
        for (;;) {
            if (st.eof) break;
            for (size_t i = 0; i < st.len && static_cast<unsigned char>(st.line[i]) < ' '; i++)
                st.line[i] = ' ';
            if (!current_blank(st) && st.line[0] != ';') break;
            get_line(st);
        }
        if (st.eof) {
            st.all_done = true;
            break;
        }
        st.id.assign(st.line, st.len);
        read_loop(st, false, END_IG);
        need_next = true;
        if (st.eof) st.all_done = true;
    }
}

// GenBank and EMBL: entry head line, sequence after a marker line, "//" at the end.
void read_gb_embl(State &st, bool embl) {
    const char *head = embl ? "ID   " : "LOCUS";
    const char *marker = embl ? "SQ   " : "ORIGIN";
    size_t id_column = embl ? 5 : 12;
    skip_to(st, [&] { return st.len > 0 && starts_with(st.line, head); });
    while (!st.all_done && !st.eof) {
        st.id = column_text(st, id_column);
        if (embl) {
            // New-style IDs end their first word in ';': decided by the file's first entry.
            size_t word = st.id.find_first_of(" \t");
            if (word == std::string::npos) word = st.id.size();
            if (st.in->embl_semicolon < 0)
                st.in->embl_semicolon = word > 0 && st.id[word - 1] == ';' ? 1 : 0;
            if (st.in->embl_semicolon == 1 && word > 0 && st.id[word - 1] == ';')
                st.id.erase(word - 1, 1);
        }
        bool has_sequence = false;
        while (get_line(st)) {
            if (starts_with(st.line, marker)) {
                has_sequence = true;
                break;
            }
            if (holds(st.line, "//") || starts_with(st.line, head)) break;
        }
        if (has_sequence)
            read_loop(st, false, embl ? END_EMBL : END_GENBANK);
        else
            empty_entry(st, !st.eof && starts_with(st.line, head));
        if (!st.all_done) skip_to(st, [&] { return st.len > 0 && starts_with(st.line, head); });
        if (st.eof) st.all_done = true;
    }
}

// NBRF title line read as sequence: a digit before its first letter, '-' or '.', at least one
// letter, '-' or '.', and nothing but digits, letters, '-', '.' and white space.
bool title_is_sequence(const State &st) {
    bool digit_first = false, any_residue = false;
    for (size_t i = 0; i < st.len; i++) {
        unsigned char c = static_cast<unsigned char>(st.line[i]);
        if (is_letter(c) || c == '-' || c == '.') {
            any_residue = true;
        } else if (is_digit(c)) {
            if (!any_residue) digit_first = true;
        } else if (!is_space(c)) {
            return false;
        }
    }
    return digit_first && any_residue;
}

void read_nbrf(State &st) {
    while (!st.all_done) {
        skip_to(st, [&] { return st.line[0] == '>'; });
        if (st.eof) break;
        bool nbrf_head = st.len > 3 && st.line[3] == ';';
        st.id = column_text(st, nbrf_head ? 4 : 1);
        // Only an NBRF head (">P1;") has a title line after it; a '>' there is the next entry's
        // head (an entry without a title). Other heads (files that the position numbers of their
        // lines made NBRF) are followed by sequence lines at once.
        if (nbrf_head) {
            get_line(st);
            if (!st.eof && (st.line[0] == '>' || title_is_sequence(st))) unget_line(st);
        }
        read_loop(st, false, END_NBRF);
        if (!st.all_done) skip_to(st, [&] { return st.line[0] == '>'; });
        if (st.eof) st.all_done = true;
    }
}

void read_pearson(State &st) {
    while (!st.all_done) {
        skip_to(st, [&] { return st.line[0] == '>'; });
        if (st.eof) break;
        st.id = column_text(st, 1);
        read_loop(st, false, END_PEARSON);
        if (st.eof) st.all_done = true;
    }
}

void read_zuker(State &st) {
    while (!st.all_done) {
        skip_to(st, [&] { return st.line[0] == '('; });
        if (st.eof) break;
        get_line(st);
        st.id = column_text(st, 6);
        read_loop(st, false, END_ZUKER);
        if (st.eof) st.all_done = true;
    }
}

void read_pir(State &st) {
    while (!st.all_done) {
        skip_to(st, [&] { return holds(st.line, "ENTRY") || holds(st.line, "SEQUENCE"); });
        if (st.eof) break;
        st.id = column_text(st, 16);
        bool has_sequence = false;
        for (;;) {
            if (starts_with(st.line, "SEQUENCE")) {
                has_sequence = true;
                break;
            }
            if (!get_line(st)) break;
            if (holds(st.line, "///") || starts_with(st.line, "ENTRY")) break;
        }
        if (has_sequence)
            read_loop(st, false, END_PIR);
        else
            empty_entry(st, !st.eof && starts_with(st.line, "ENTRY"));
        if (!st.all_done) skip_to(st, [&] { return st.len > 0 && starts_with(st.line, "ENTRY"); });
        if (st.eof) st.all_done = true;
    }
}

void read_strider(State &st) {
    bool need_next = false;
    while (!st.all_done) {
        if (need_next) get_line(st);
        skip_to(st, [&] { return !current_blank(st); });
        std::string id, fallback, first;
        bool have = false;
        int comments = 0;
        while (!st.eof && st.line[0] == ';') {
            if (starts_with(st.line, "; DNA sequence  ")) {
                id = column_text(st, 16);
                have = true;
            } else if (comments == 0) {
                first = column_text(st, 1);
            } else if (comments == 1) {
                fallback = column_text(st, 1);
            }
            comments++;
            get_line(st);
        }
        if (st.eof) {
            st.all_done = true;
            break;
        }
        st.id = have ? id : comments > 1 ? fallback : first;
        read_loop(st, true, END_STRIDER);
        need_next = true;
        if (st.eof) st.all_done = true;
    }
}

void read_fitch(State &st) {
    st.id.assign(st.line, st.len);
    get_line(st);
    bool first = true;
    while (!st.all_done) {
        if (!first) st.id.assign(st.line, st.len);
        read_loop(st, first, END_FITCH);
        if (st.eof) st.all_done = true;
        first = false;
    }
}

void read_gcg(State &st) {
    while (!st.all_done && !st.eof) {
        if (!(holds(st.line, "..") && holds(st.line, "Check:"))) {
            get_line(st);
            continue;
        }
        begin_entry(st);
        const char *cut = strstr(st.line, "  Length: ");
        if (!cut) cut = strstr(st.line, "..");
        st.id.assign(st.line, static_cast<size_t>(cut - st.line));
        while (get_line(st)) {
            if ((holds(st.line, "..") && holds(st.line, "Check:")) || starts_with(st.line, "!!"))
                break;
            add_seq(st, st.line, st.len);
        }
        end_entry(st, true);
    }
    if (st.eof) st.all_done = true;
}

void read_plain(State &st) {
    begin_entry(st);
    const char *name = st.filename;
    if (name) {
        const char *slash = strrchr(name, '/');
        st.id = std::string(slash ? slash + 1 : name) + "(" + std::to_string(st.count) + ")";
    } else {
        st.id = "[" + std::to_string(st.count) + "]";
    }
    do add_seq(st, st.line, st.len);
    while (get_line(st));
    end_entry(st, false);
    st.all_done = true;
}

// ---------------------------------------------------------------------------------------------
// Whole-file formats
// ---------------------------------------------------------------------------------------------

// Appends the accepted characters of text to an entry; returns their number.
int64_t append_letters(SeqLibEntry &e, const char *text, size_t length) {
    size_t old = e.letters.size();
    e.letters.resize(old + length + SEQLIB_KEEP_SLACK);
    size_t n = seqlib_keep_fast(text, length, &e.letters[old]);
    e.letters.resize(old + n);
    return static_cast<int64_t>(n);
}

void rewind_input(State &st) {
    // The reader is released first: releasing may set the stream's position.
    const char *name = st.r->name;
    FILE *stream = st.r->stream;
    reader_free(st.r);
    if (!stream || fseek(stream, 0, SEEK_SET) != 0)
        error("Sequence file %s cannot be rewound; it must be a plain file",
              shown_text(st.filename).c_str());
    reader_init(st.r, stream, name);
    st.r->long_text_lines = true;
    st.eof = false;
    st.line = empty_line;
    st.len = 0;
}

// The first word of a text after leading blanks.
std::string first_word(const char *text, size_t length, size_t *end = nullptr) {
    size_t i = 0;
    while (i < length && is_space(static_cast<unsigned char>(text[i]))) i++;
    size_t start = i;
    while (i < length && !is_space(static_cast<unsigned char>(text[i]))) i++;
    if (end) *end = i;
    return std::string(text + start, i - start);
}

void read_olsen(State &st, SeqLibEntries &out) {
    struct Head {
        std::string name, key;
    };
    std::vector<Head> heads;
    bool data = false;
    while (get_line(st)) {
        if (holds(st.line, "identity:   Data:")) {
            data = true;
            break;
        }
        const char *mark = strstr(st.line, "): ");
        if (!mark) continue;
        const char *paren = strchr(st.line, '(');
        const char *text = paren && paren < mark ? paren + 1 : st.line;
        std::string info(text, st.len - static_cast<size_t>(text - st.line));
        size_t close = info.find(')');
        std::string name = info.substr(0, static_cast<size_t>(mark - text));
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (close != std::string::npos) info[close] = ' ';
        std::string id = info;
        size_t colon = id.find(':');
        size_t last = colon == std::string::npos ? id.size() : colon;
        while (last > 0 && id[last - 1] == ' ') last--;
        for (size_t i = 1; i + 1 < last; i++)
            if (id[i] == ' ') id[i] = '_';
        SeqLibEntry e;
        e.id = id;
        e.info = info;
        out.list.push_back(e);
        heads.push_back({name, first_word(st.line, st.len)});
    }
    if (!data) return;
    while (get_line(st)) {
        std::string line(st.line, st.len);
        for (size_t k = 0; k < heads.size(); k++) {
            const Head &h = heads[k];
            if (h.name.empty() || h.key.empty()) continue;
            size_t npos = line.find(h.name);
            size_t kpos = line.find(h.key);
            if (npos == std::string::npos || kpos == std::string::npos) continue;
            if (kpos + h.key.size() >= npos) continue;
            size_t start = npos + OLSEN_DATA_OFFSET;
            if (start >= line.size()) continue;
            size_t stop = line.size();
            size_t again = line.find(h.name, start);
            if (again != std::string::npos)
                stop = again >= OLSEN_NAME_GAP ? again - OLSEN_NAME_GAP : 0;
            if (stop <= start) continue;
            std::string part = line.substr(start, stop - start);
            for (char &c : part) {
                if (c == ' ')
                    c = '.';
                else if (is_digit(static_cast<unsigned char>(c)))
                    c = digit_substitutes[c - '0'];
            }
            append_letters(out.list[k], part.c_str(), part.size());
        }
    }
}

void read_msf(State &st, SeqLibEntries &out) {
    std::unordered_map<std::string, std::vector<size_t>> rows;
    bool data = false;
    while (get_line(st)) {
        if (holds(st.line, "//")) {
            data = true;
            break;
        }
        const char *name = strstr(st.line, "Name: ");
        if (!name) continue;
        name += 6;
        std::string word = first_word(name, st.len - static_cast<size_t>(name - st.line));
        SeqLibEntry e;
        e.id = e.info = word;
        rows[word].push_back(out.list.size());
        out.list.push_back(e);
    }
    if (!data) return;
    while (get_line(st)) {
        size_t end = 0;
        std::string word = first_word(st.line, st.len, &end);
        auto it = rows.find(word);
        if (word.empty() || it == rows.end()) continue;
        std::string rest(st.line + end, st.len - end);
        for (char &c : rest) {
            if (c == '_' || c == '.' || c == '~')
                c = '-';
            else if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
        for (size_t k : it->second) append_letters(out.list[k], rest.c_str(), rest.size());
    }
}

// A keyword's count in a lower-cased header line: "key", blanks, '=', blanks, then the value up
// to a blank, ';', '[', '=' or the end of the line; a word followed by '=' is the next keyword,
// and leaves the value empty. *written is the value as the file has it (original is the line
// before lower-casing, of the same length); *value the count when the value is wholly digits
// (held at LONG_MAX past the long range), else 0, refused as not positive (so is an empty value).
// False when the line has no "key =".
bool keyword_number(const char *line, const char *original, const char *key, long *value,
                    std::string *written) {
    const char *p = strstr(line, key);
    if (!p) return false;
    p += strlen(key);
    while (*p == ' ' || *p == '\t') p++;
    if (*p != '=') return false;
    p++;
    while (*p == ' ' || *p == '\t') p++;
    const char *end = p;
    while (*end && !is_space(static_cast<unsigned char>(*end)) && *end != ';' && *end != '[' &&
           *end != '=')
        end++;
    const char *after = end;
    while (*after == ' ' || *after == '\t') after++;
    if (*after == '=') end = p;
    written->assign(original + (p - line), static_cast<size_t>(end - p));
    *value = 0;
    for (const char *d = p; d < end; d++)
        if (!is_digit(static_cast<unsigned char>(*d))) return true;
    scan_long(p, end, value);
    return true;
}

// The reading that guesses a file's kind prints its messages and keeps them here: the reading of
// the file that follows it gives each of them again, and that one is not printed a second time.
bool guessing = false;
std::unordered_multiset<std::string> guess_messages;

// Prints a message about the file being read (text without the file and the newline).
void report(const State &st, const std::string &text) {
    std::string message = "SeqLib (file " + shown_text(st.filename) + "): " + text + "\n";
    if (guessing) {
        guess_messages.insert(message);
    } else {
        auto it = guess_messages.find(message);
        if (it != guess_messages.end()) {
            guess_messages.erase(it);
            return;
        }
    }
    fputs(message.c_str(), stderr);
}

// A header count that is not a positive number, shown as written.
void refuse_count(State &st, const char *what, const std::string &shown) {
    report(st,
           std::string(what) + " " + shown_text(shown) + " in the header is not a positive number");
}

// A NEXUS row (read at the current line) whose data are dropped; why completes "row ... is".
void warn_dropped_row(const State &st, const std::string &name, const std::string &why) {
    report(st, "row \"" + shown_text(name) + "\" at line " + std::to_string(st.r->line_number) +
                   " is " + why + "; dropped");
}

// A quoted NEXUS name at text[p] ('dna one', a doubled quote standing for one quote): the text
// between the quotes into *name and the index past the closing quote into *end; false when the
// line has no closing quote.
bool quoted_name(const char *text, size_t length, size_t p, std::string *name, size_t *end) {
    name->clear();
    for (size_t i = p + 1; i < length; i++) {
        if (text[i] != '\'') {
            name->push_back(text[i]);
        } else if (i + 1 < length && text[i + 1] == '\'') {
            name->push_back('\'');
            i++;
        } else {
            *end = i + 1;
            return true;
        }
    }
    return false;
}

// The [...] comments of a NEXUS file, which may span lines and hold comments.
struct NexusComments {
    long depth = 0;            // the depth open at the start of the next line
    long opened = 0;           // the line where the outermost open comment began
    std::vector<bool> inside;  // of each character of the current line: blanked, in a comment
};

// Blanks the comments of the current line, so that nothing in them is read; with lower, A-Z
// outside them are lower-cased. A '[' in a quoted word ('a [b') opens none; a quoted word ends
// with its line.
void blank_comments(State &st, NexusComments &c, bool lower) {
    bool quoted = false;
    c.inside.assign(st.len, false);
    for (size_t i = 0; i < st.len; i++) {
        char ch = st.line[i];
        if (ch == '\'' && c.depth == 0) quoted = !quoted;
        if (ch == '[' && !quoted && c.depth++ == 0) c.opened = st.r->line_number;
        if (c.depth > 0) {
            st.line[i] = ' ';
            c.inside[i] = true;
            if (ch == ']') c.depth--;
        } else if (lower && ch >= 'A' && ch <= 'Z') {
            st.line[i] = static_cast<char>(ch - 'A' + 'a');
        }
    }
}

// The columns of a row's data on the current line from index from up to to, as a match
// character's template counts them: its characters but for blanks and those of its comments.
std::string data_columns(const State &st, const NexusComments &c, size_t from, size_t to) {
    std::string text;
    text.reserve(to - from);
    for (size_t i = from; i < to; i++)
        if (!c.inside[i] && !is_space(static_cast<unsigned char>(st.line[i]))) text += st.line[i];
    return text;
}

// At the end of the file: a comment still open there is reported.
void report_open_comment(const State &st, const NexusComments &c) {
    if (c.depth > 0)
        report(st, "the comment opened at line " + std::to_string(c.opened) + " is not closed");
}

void read_paup(State &st, SeqLibEntries &out) {
    long ntax = 0, nchar = 0;
    std::string ntax_text = "0", nchar_text = "0";  // the counts as written
    char matchchar = 0;
    bool interleaved = false, matrix = false;
    NexusComments comments;
    while (get_line(st)) {
        const std::string original(st.line, st.len);
        blank_comments(st, comments, true);
        keyword_number(st.line, original.c_str(), "ntax", &ntax, &ntax_text);
        keyword_number(st.line, original.c_str(), "nchar", &nchar, &nchar_text);
        const char *mc = strstr(st.line, "matchchar");
        if (mc) {
            const char *p = mc + 9;
            while (*p == ' ' || *p == '\t') p++;
            if (*p == '=') {
                p++;
                while (*p == ' ' || *p == '\t') p++;
                if (*p == '\'' || *p == '"') p++;
                matchchar = *p;
            }
        }
        const char *il = strstr(st.line, "interleav");
        if (il) {
            const char *p = il + 9;
            while (is_letter(static_cast<unsigned char>(*p))) p++;
            while (*p == ' ' || *p == '\t') p++;
            bool no = false;
            if (*p == '=') {
                p++;
                while (*p == ' ' || *p == '\t') p++;
                no = starts_with(p, "no");
            }
            interleaved = !no;
        }
        if (holds(st.line, "matrix")) {
            matrix = true;
            break;
        }
    }
    if (!matrix) {
        report_open_comment(st, comments);
        return;
    }
    // Counts past the int range are refused with the non-positive ones.
    if (ntax <= 0 || ntax > INT_MAX) {
        refuse_count(st, "ntax", ntax_text);
        return;
    }
    if (!interleaved && (nchar <= 0 || nchar > INT_MAX)) {
        refuse_count(st, "nchar", nchar_text);
        return;
    }
    std::unordered_map<std::string, std::vector<size_t>> rows;
    std::unordered_set<std::string> unknown;  // later-block names already warned about
    bool open = true;
    bool first_block = true;
    long later_rows = 0;
    std::string templ;
    long current = -1;  // sequential: the row being read
    SeqLibEntry past;   // sequential: a row past the ntax of the header, read to be dropped
    bool in_past = false;
    // Interleaved: whether a comment left open at the end of the last row's line (its own or one
    // it went on to) carries the row on to the next line; the entries the row went to (none for
    // a row that is dropped), its data's length so far in its block, and whether it is the
    // block's template.
    bool carry = false;
    std::vector<size_t> last_row;
    size_t last_length = 0;
    bool last_is_template = false;
    // Each match character of a row's data, from column at on, takes the template's letter there.
    auto fill_matches = [&](std::string &data, size_t at) {
        for (size_t i = 0; matchchar && i < data.size() && at + i < templ.size(); i++)
            if (data[i] == matchchar) data[i] = templ[at + i];
    };
    while (get_line(st)) {
        const bool carried = carry;
        carry = false;
        blank_comments(st, comments, !open);
        if (!open) {
            if (std::string(st.line, st.len).find("matrix") != std::string::npos) open = true;
            continue;
        }
        // The matrix ends at a ';' at or past index from: the row's text stops there.
        auto row_length = [&](size_t from) {
            const char *semi =
                static_cast<const char *>(memchr(st.line + from, ';', st.len - from));
            if (!semi) return st.len;
            open = false;
            return static_cast<size_t>(semi - st.line);
        };
        if (interleaved && carried) {
            // A row that a comment carried over the line end goes on after the comment.
            std::string data = data_columns(st, comments, 0, row_length(0));
            carry = comments.depth > 0;
            if (last_is_template) templ += data;
            fill_matches(data, last_length);
            last_length += data.size();
            for (size_t k : last_row) append_letters(out.list[k], data.c_str(), data.size());
            continue;
        }
        if (!interleaved && current >= 0) {
            SeqLibEntry &e = in_past ? past : out.list[static_cast<size_t>(current)];
            if (e.counted < nchar) {
                e.counted += append_letters(e, st.line, row_length(0));
                if (in_past) e.letters.clear();  // a dropped row keeps nothing
                continue;
            }
        }
        size_t p = 0;
        while (p < st.len && is_space(static_cast<unsigned char>(st.line[p]))) p++;
        // A row may begin with a quoted name, which may hold blanks and ';'.
        std::string name;
        size_t end = 0;
        bool quoted =
            p < st.len && st.line[p] == '\'' && quoted_name(st.line, st.len, p, &name, &end);
        size_t length = row_length(end);
        bool row = quoted || (p < length && (is_letter(static_cast<unsigned char>(st.line[p])) ||
                                             is_digit(static_cast<unsigned char>(st.line[p]))));
        if (!row) continue;
        if (!quoted) name = first_word(st.line, length, &end);
        size_t d = end;
        while (d < length && is_space(static_cast<unsigned char>(st.line[d]))) d++;
        std::string data = data_columns(st, comments, d, length);
        if (!interleaved) {
            // A row begins when the one before it is complete.
            SeqLibEntry e;
            e.id = e.info = name;
            if (static_cast<long>(out.list.size()) >= ntax) {
                warn_dropped_row(st, name,
                                 "past the " + std::to_string(ntax) + " rows of the header (ntax)");
                past = e;
                in_past = true;
                past.counted = append_letters(past, data.c_str(), data.size());
                past.letters.clear();
                continue;
            }
            out.list.push_back(e);
            current = static_cast<long>(out.list.size()) - 1;
            SeqLibEntry &x = out.list[static_cast<size_t>(current)];
            x.counted += append_letters(x, data.c_str(), data.size());
            continue;
        }
        long index_in_block = 0;
        bool new_row = first_block;
        if (first_block) {
            index_in_block = static_cast<long>(out.list.size());
            SeqLibEntry e;
            e.id = e.info = name;
            rows[name].push_back(out.list.size());
            out.list.push_back(e);
            if (static_cast<long>(out.list.size()) >= ntax) first_block = false;
        } else {
            index_in_block = later_rows % ntax;
            later_rows++;
        }
        if (index_in_block == 0) templ = data;
        fill_matches(data, 0);
        carry = comments.depth > 0;
        last_length = data.size();
        last_is_template = index_in_block == 0;
        if (new_row) {
            last_row.assign(1, out.list.size() - 1);
            append_letters(out.list.back(), data.c_str(), data.size());
            continue;
        }
        auto it = rows.find(name);
        if (it == rows.end()) {
            last_row.clear();
            if (unknown.insert(name).second)
                warn_dropped_row(st, name, "not among the rows of the first block");
            continue;
        }
        last_row = it->second;
        for (size_t k : it->second) append_letters(out.list[k], data.c_str(), data.size());
    }
    report_open_comment(st, comments);
}

// Phylip: the header's counts; false (and a message for counts below 1) when there are none.
bool phylip_header(State &st, long *n, long *m) {
    char *end = nullptr;
    long a = strtol(st.line, &end, 10);
    if (end == st.line) return false;
    const char *rest = end;
    long b = strtol(rest, &end, 10);
    if (end == rest) return false;
    if (a <= 0 || b <= 0) {
        refuse_count(st, a <= 0 ? "sequence count" : "sequence length",
                     std::to_string(a <= 0 ? a : b));
        return false;
    }
    *n = a;
    *m = b;
    return true;
}

std::string phylip_name(const State &st) {
    size_t width = st.len < PHYLIP_NAME_WIDTH ? st.len : PHYLIP_NAME_WIDTH;
    size_t i = 0;
    while (i < width && st.line[i] == ' ') i++;
    return std::string(st.line + i, width - i);
}

bool next_nonblank(State &st) {
    while (get_line(st))
        if (!current_blank(st)) return true;
    return false;
}

void read_phylip_interleaved(State &st, long n, SeqLibEntries &out) {
    long k = 0;
    while (next_nonblank(st)) {
        if (k < n) {
            SeqLibEntry e;
            e.id = e.info = phylip_name(st);
            if (st.len > PHYLIP_NAME_WIDTH)
                e.counted +=
                    append_letters(e, st.line + PHYLIP_NAME_WIDTH, st.len - PHYLIP_NAME_WIDTH);
            out.list.push_back(e);
        } else {
            SeqLibEntry &e = out.list[static_cast<size_t>(k % n)];
            e.counted += append_letters(e, st.line, st.len);
        }
        k++;
    }
}

void read_phylip_sequential(State &st, long n, int64_t m, SeqLibEntries &out) {
    while (static_cast<long>(out.list.size()) < n && next_nonblank(st)) {
        SeqLibEntry e;
        e.id = e.info = phylip_name(st);
        if (st.len > PHYLIP_NAME_WIDTH)
            e.counted += append_letters(e, st.line + PHYLIP_NAME_WIDTH, st.len - PHYLIP_NAME_WIDTH);
        while (e.counted < m && get_line(st)) e.counted += append_letters(e, st.line, st.len);
        out.list.push_back(e);
    }
}

// True when the entries are the header's count of rows of its length each.
bool phylip_fits(const SeqLibEntries &e, long n, int64_t m) {
    if (static_cast<long>(e.list.size()) != n) return false;
    for (const SeqLibEntry &x : e.list)
        if (x.counted != m) return false;
    return true;
}

// Phylip in the given layout; when its rows do not fit the header and the other layout's do,
// the other layout.
void read_phylip(State &st, short format, int skiplines, SeqLibEntries &out) {
    for (int pass = 0; pass < 2; pass++) {
        bool interleaved = (format == SEQFORMAT_PHYLIP) == (pass == 0);
        rewind_input(st);
        for (int i = 0; i < skiplines; i++)
            if (!get_line(st)) break;
        if (!next_nonblank(st)) return;
        long n = 0, m = 0;
        // The header is read again on the second pass: its message is given once.
        if (pass == 1) {
            char *end = nullptr;
            n = strtol(st.line, &end, 10);
            m = strtol(end, nullptr, 10);
        } else if (!phylip_header(st, &n, &m)) {
            return;
        }
        SeqLibEntries attempt;
        if (interleaved)
            read_phylip_interleaved(st, n, attempt);
        else
            read_phylip_sequential(st, n, m, attempt);
        if (pass == 0 || phylip_fits(attempt, n, m)) out.list.swap(attempt.list);
        if (phylip_fits(out, n, m)) return;
    }
}

// Reads the whole file of a whole-file format into the input's entries.
SeqLibEntries *whole_file_entries(State &st, short format, int skiplines) {
    SeqLibEntries *cached = st.in->entries;
    if (cached && cached->format == format && cached->skiplines == skiplines) return cached;
    delete cached;
    st.in->entries = nullptr;
    SeqLibEntries *e = new SeqLibEntries();
    e->format = format;
    e->skiplines = skiplines;
    if (format == SEQFORMAT_PHYLIP || format == SEQFORMAT_PHYLIP_SEQUENTIAL) {
        read_phylip(st, format, skiplines, *e);
    } else {
        rewind_input(st);
        if (format == SEQFORMAT_OLSEN)
            read_olsen(st, *e);
        else if (format == SEQFORMAT_MSF)
            read_msf(st, *e);
        else
            read_paup(st, *e);
    }
    if (e->list.empty()) e->error = SEQERR_NO_DATA;
    st.in->entries = e;
    return e;
}

void read_whole_file(State &st, short format, int skiplines) {
    SeqLibEntries *e = whole_file_entries(st, format, skiplines);
    st.count = static_cast<int>(e->list.size());
    if (e->error) {
        st.error = e->error;
        return;
    }
    if (st.wanted == -1) {
        int saved = st.count;
        st.count = 0;
        for (const SeqLibEntry &x : e->list) {
            st.count++;
            add_info(st, x.info);
        }
        st.count = saved;
        return;
    }
    if (st.wanted > st.count) {
        st.error = SEQERR_NO_DATA;
        return;
    }
    const SeqLibEntry &x = e->list[static_cast<size_t>(st.wanted - 1)];
    st.id = x.id;
    st.seq.reserve(static_cast<int64_t>(x.letters.size()));
    memcpy(st.seq.data, x.letters.data(), x.letters.size());
    st.seq.length = static_cast<int64_t>(x.letters.size());
    st.all_done = true;
}

bool whole_file_format(short format) {
    return format == SEQFORMAT_OLSEN || format == SEQFORMAT_PHYLIP_SEQUENTIAL ||
           format == SEQFORMAT_PHYLIP || format == SEQFORMAT_MSF || format == SEQFORMAT_PAUP;
}

bool readable_format(short format) {
    return format >= SEQFORMAT_IG && format <= SEQFORMAT_PAUP && format != SEQFORMAT_ASN1;
}

// seqlibMain: the dispatch.
void seqlib_main(State &st, int skiplines, short format) {
    if (!st.in || !st.r || !st.r->stream) {
        st.error = SEQERR_FILE_NOT_FOUND;
        return;
    }
    if (whole_file_format(format)) {
        read_whole_file(st, format, skiplines);
        return;
    }
    if (!st.in->started) {
        st.in->started = true;
        for (int i = 0; i < skiplines; i++)
            if (!get_line(st)) break;
    }
    for (;;) {
        if (!get_line(st)) {
            st.error = SEQERR_NO_DATA;
            return;
        }
        if (!current_blank(st)) break;
    }
    switch (format) {
        case SEQFORMAT_IG: read_ig(st); break;
        case SEQFORMAT_GENBANK: read_gb_embl(st, false); break;
        case SEQFORMAT_NBRF: read_nbrf(st); break;
        case SEQFORMAT_EMBL: read_gb_embl(st, true); break;
        case SEQFORMAT_GCG: read_gcg(st); break;
        case SEQFORMAT_STRIDER: read_strider(st); break;
        case SEQFORMAT_FITCH: read_fitch(st); break;
        case SEQFORMAT_FASTA: read_pearson(st); break;
        case SEQFORMAT_ZUKER: read_zuker(st); break;
        case SEQFORMAT_PLAIN: read_plain(st); break;
        case SEQFORMAT_PIR: read_pir(st); break;
        default: st.error = SEQERR_UNKNOWN_FORMAT; return;
    }
    // A wanted entry that the file does not hold is no success.
    if (st.wanted != -1 && !st.all_done) st.error = SEQERR_ITEM_NOT_FOUND;
    if (st.wanted != -1 && st.count < st.wanted) st.error = SEQERR_ITEM_NOT_FOUND;
}

}  // namespace

void seqlib_input_init(SeqLibInput *in, FILE *stream, const char *name) {
    *in = SeqLibInput();
    in->reader = new InputReader();
    reader_init(in->reader, stream, name);
    in->reader->long_text_lines = true;  // residue lines keep any length
}

void seqlib_input_free(SeqLibInput *in) {
    if (!in) return;
    if (in->reader) {
        reader_free(in->reader);
        delete in->reader;
    }
    delete in->entries;
    *in = SeqLibInput();
}

char *seqlibReadFp(int wanted, SeqLibInput *in, int skiplines, short format, int64_t *seqlen,
                   int *nseqs, short *error, char **seqid) {
    if (seqlen) *seqlen = 0;
    if (nseqs) *nseqs = 0;
    if (seqid) *seqid = nullptr;
    if (!readable_format(format)) {
        if (error) *error = SEQERR_UNKNOWN_FORMAT;
        if (seqid) *seqid = str_dup("");
        return nullptr;
    }
    State st;
    st.in = in;
    st.r = in ? in->reader : nullptr;
    st.filename = st.r ? st.r->name : nullptr;
    st.wanted = wanted == -1 ? -1 : wanted <= 0 ? 1 : wanted;
    st.storing = st.wanted > 0;
    seqlib_main(st, skiplines, format);
    if (st.error) {
        free(st.seq.data);
        if (error) *error = st.error;
        if (nseqs) *nseqs = st.count;
        if (seqid) *seqid = str_dup("");
        return nullptr;
    }
    st.seq.reserve(0);
    st.seq.data[st.seq.length] = '\0';
    // The entry keeps no more room than its letters.
    if (st.seq.capacity > st.seq.length + 1 + LETTERS_SLACK)
        st.seq.data =
            static_cast<char *>(mem_realloc(st.seq.data, static_cast<size_t>(st.seq.length + 1)));
    if (seqlen) *seqlen = st.seq.length;
    if (nseqs) *nseqs = st.count;
    if (error) *error = SEQERR_NONE;
    if (seqid) *seqid = str_dup(st.id.c_str());
    return st.seq.data;
}

char *seqlibRead(int wanted, const char *filename, int skiplines, short format, int64_t *seqlen,
                 int *nseqs, short *error, char **seqid) {
    int flags = OPEN_FATAL | (whole_file_format(format) ? OPEN_REWIND : 0);
    FILE *fp = open_read(filename, flags);
    SeqLibInput in;
    seqlib_input_init(&in, fp, filename);
    char *result = seqlibReadFp(wanted, &in, skiplines, format, seqlen, nseqs, error, seqid);
    seqlib_input_free(&in);
    close_read(fp);
    return result;
}

char *listSeqs(const char *filename, int skiplines, short format, int *nseqs, short *error) {
    char *id = nullptr;
    char *text = seqlibRead(-1, filename, skiplines, format, nullptr, nseqs, error, &id);
    free(id);
    return text;
}

bool seqlibNeedsRewind(short format) {
    return whole_file_format(format);
}

int seqlibGuessKind(const char *filename, int skiplines, short format) {
    if (!readable_format(format)) return 0;
    struct Guessing {
        // Only the latest guess's messages wait for their reading: a guess whose file was never
        // read leaves nothing behind to hide later messages.
        Guessing() {
            guess_messages.clear();
            guessing = true;
        }
        ~Guessing() { guessing = false; }
    } marked;
    FILE *fp = open_read(filename, OPEN_FATAL | (whole_file_format(format) ? OPEN_REWIND : 0));
    SeqLibInput in;
    seqlib_input_init(&in, fp, filename);
    int kind = 0;
    for (int n = 1;; n++) {
        int64_t length = 0;
        short err = SEQERR_NONE;
        int wanted = whole_file_format(format) ? n : 1;
        char *letters =
            seqlibReadFp(wanted, &in, skiplines, format, &length, nullptr, &err, nullptr);
        if (!letters) break;
        bool any = length > 0;
        if (any) kind = getseqtype(letters, length);
        free(letters);
        if (any || err) break;
    }
    seqlib_input_free(&in);
    close_read(fp);
    return kind;
}
