// FASTA and NBRF recognition, FASTA entry reading (letter and numeric form) and the
// conversion of letters into letter indices.
//
// Entries are read from the block of the track's reader (the library's InputReader), scanned with a
// 256-entry class table, so a large database costs one pass over its bytes.

#include "sequences/fasta.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/alphabet.h"
#include "sequences/fasta_fast.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/params.h"
#include "foundation/reader.h"
#include "foundation/scan.h"
#include "sequences/seqio.h"
#include "sequences/sequence.h"

namespace {

bool warned_not_fasta = false;

// ---------------------------------------------------------------------------------------------
// Reading a track file
// ---------------------------------------------------------------------------------------------

// Starts the track's reader on its stream when the track was opened without one.
inline void attach_reader(SeqTrackFile *t) {
    if (!t->in.stream && !t->in.data) {
        reader_init(&t->in, t->stream, t->name);
        t->in.what = "sequence file";
        t->in.block = FASTA_READ_BLOCK;
        t->in.read_ahead = t->format == SEQFORMAT_FASTA;
    }
}

// Makes bytes available when the reader's block is used up; false at the end of the stream.
inline bool track_fill(SeqTrackFile *t) {
    return t->in.pos < t->in.end || reader_fill(&t->in, 1) > 0;
}

const char *base_name(const char *name) {
    const char *slash = strrchr(name, '/');
    return slash ? slash + 1 : name;
}

// Character classes of the letter form.
enum : unsigned char { C_RES = 0, C_SKIP = 1, C_GT = 2, C_STRANGE = 3 };

struct LetterClasses {
    unsigned char cls[256];
    LetterClasses() {
        for (int c = 0; c < 256; c++) {
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '-' || c == '.')
                cls[c] = C_RES;
            else if (is_space(c))
                cls[c] = C_SKIP;
            else if (c == '>')
                cls[c] = C_GT;
            else
                cls[c] = C_STRANGE;
        }
    }
};
const LetterClasses letter_classes;

// True when every one of the n bytes is a residue of the letter form (letters, digits, '-' and
// '.'); written without early exit so that the compiler can check many bytes at a time.
bool all_residues(const unsigned char *p, size_t n) {
    unsigned bad = 0;
    for (size_t i = 0; i < n; i++) {
        unsigned char b = p[i];
        unsigned char lower = static_cast<unsigned char>(b | 0x20);
        bool ok = static_cast<unsigned char>(lower - 'a') < 26 ||
                  static_cast<unsigned char>(b - '0') < 10 || b == '-' || b == '.';
        bad |= !ok;
    }
    return bad == 0;
}

// Scratch buffer of the residue readers: starts at 1000 bytes and doubles.
struct Scratch {
    unsigned char *data = nullptr;
    size_t cap = 0;
    void ensure(size_t need) {
        if (cap >= need) return;
        size_t n = cap ? cap : 1000;
        while (n < need) n *= 2;
        data = static_cast<unsigned char *>(mem_realloc(data, n));
        cap = n;
    }
};
Scratch scratch;

void check_length(const SeqTrackFile *t, size_t len, const char *id) {
    if (len > static_cast<size_t>(INT_MAX) - 8)
        error("%s (%s): sequence longer than %d residues", shown_text(t->name).c_str(),
              shown_text(id).c_str(), INT_MAX - 8);
}

// The next byte of a header line of which *length bytes are read: a header longer than the
// reader's bound ends the run, naming the file and the entry (the reader does not count the
// lines of a FASTA file).
int header_getc(SeqTrackFile *t, size_t *length) {
    if (++*length > t->in.max_line)
        error("Header of entry %d of %s is longer than %zu characters", t->entry_count,
              shown_text(t->name).c_str(), t->in.max_line);
    return reader_getc(&t->in);
}

// Drops the header outputs of an entry that gives no residues.
void drop_header(char **id, char **annotation) {
    if (id && *id) {
        free(*id);
        *id = nullptr;
    }
    if (annotation && *annotation) {
        free(*annotation);
        *annotation = nullptr;
    }
}

}  // namespace

void reset_fasta_warnings() {
    warned_not_fasta = false;
}

void free_track_read_buffer(SeqTrackFile *track) {
    if (!track) return;
    reader_free(&track->in);
}

// ---------------------------------------------------------------------------------------------
// Recognition
// ---------------------------------------------------------------------------------------------

int is_fasta_or_nbrf(const char *filename, int *kind) {
    FILE *fp = open_read(filename, OPEN_FATAL);
    ReaderScope reading(fp, filename);
    InputReader *in = &reading.in;
    in->what = "sequence file";
    int prev = '\n';
    int c = reader_getc(in);
    while (c != EOF && is_space(c)) {
        prev = c;
        c = reader_getc(in);
    }
    if (c != '>' || prev != '\n') {
        if (c == '>' && !warned_not_fasta) {
            warned_not_fasta = true;
            fprintf(stderr, "Warning: %s not read as fasta.\n", shown_text(filename).c_str());
            fprintf(stderr, "The '>' must be the first character in a line, followed by ID.\n");
        }
        reader_free(in);
        reading.fp = nullptr;
        close_read(fp);
        return SEQFORMAT_UNKNOWN;
    }

    // Look-ahead of up to three characters for the NBRF ">P1;" form.
    int last = reader_getc(in);
    if (last != '\n') {
        last = reader_getc(in);
        if (last != '\n') last = reader_getc(in);
    }
    int result = (last == ';') ? SEQFORMAT_NBRF : SEQFORMAT_FASTA;
    if (last != EOF) reader_ungetc(in);

    long P = 0, D = 0, T = 0, U = 0, letters = 0;
    long leading = 0, trailing = 0;
    bool in_header = true;     // the first header line is being skipped
    size_t header_length = 1;  // bytes of the header line being skipped, its '>' included
    long lines = 0;            // line ends passed, for the message on an endless header
    // An NBRF entry's title line, after its header line, holds no residues.
    const int header_lines = result == 3 ? 2 : 1;
    int header_left = header_lines;
    bool line_start = false;
    bool letter_on_line = false;
    while (letters < 300) {
        c = reader_getc(in);
        if (c == EOF) break;
        if (in_header) {
            if (c != '\n') {
                if (++header_length <= in->max_line) continue;
                in->line_number = lines;
                reader_line_too_long(in);
            }
            lines++;
            header_length = 0;
            if (--header_left == 0) {
                in_header = false;
                line_start = true;
                letter_on_line = false;
            }
            continue;
        }
        if (c == '>') {
            if (!line_start) break;
            in_header = true;
            header_left = header_lines;
            header_length = 1;
            continue;
        }
        if (c == '\n') {
            lines++;
            line_start = true;
            letter_on_line = false;
            continue;
        }
        line_start = false;  // a '>' after blanks on its line does not begin an entry
        if (isalpha(c)) {
            letters++;
            letter_on_line = true;
            int u = toupper(c);
            if (strchr("ACDEFGHIKLMNPQRSTVWYBZ", u)) P++;
            if (strchr("AGCTRYU", u)) D++;
            if (u == 'T') T++;
            if (u == 'U') U++;
        } else if (isdigit(c)) {
            if (letter_on_line)
                trailing++;
            else
                leading++;
        }
    }
    reader_free(in);
    reading.fp = nullptr;
    close_read(fp);

    if (leading > 0 && trailing == 0) result = SEQFORMAT_NBRF;
    if (kind) {
        if (P + D + T + U == 0)
            *kind = SEQKIND_OTHER;
        else if (P > D)
            *kind = SEQKIND_PROTEIN;
        else if (T > U)
            *kind = SEQKIND_DNA;
        else if (U > T)
            *kind = SEQKIND_RNA;
        else
            *kind = SEQKIND_NUCLEIC;
    }
    return result;
}

int count_fasta(SeqTrackFile *track) {
    if (!track || !track->stream) error("Bad openseqfile passed to next_fasta_seq\n");
    attach_reader(track);
    int count = 0;
    for (;;) {
        if (!track_fill(track)) break;
        InputReader &in = track->in;
        const unsigned char *p = in.data + in.pos, *end = in.data + in.end;
        while (p < end) {
            const unsigned char *gt = static_cast<const unsigned char *>(memchr(p, '>', end - p));
            if (!gt) break;
            if (reader_byte_before(&in, gt - in.data) == '\n') count++;
            p = gt + 1;
        }
        in.pos = in.end;
    }
    return count;
}

// ---------------------------------------------------------------------------------------------
// Headers
// ---------------------------------------------------------------------------------------------

int next_fasta_header(SeqTrackFile *track, std::string &ident, std::string &annot, bool show_id) {
    if (!track || !track->stream) error("Bad openseqfile passed to next_fasta_seq\n");
    attach_reader(track);
    ident.clear();
    annot.clear();

    int c = reader_getc(&track->in);
    while (c != EOF && is_space(c)) c = reader_getc(&track->in);
    if (c == EOF) return EOF;
    if (c != '>') {
        fprintf(stderr, "Missing > in fasta file %s after sequence %d\n",
                shown_text(track->name).c_str(), track->entry_count);
        while (c != EOF && c != '>') c = reader_getc(&track->in);
        if (c == EOF) {
            fputs("Skipping rest of file.", stderr);
            return EOF;
        }
        fputs("Skipping to next >\n", stderr);
    }
    track->entry_count++;

    // A header line whose newline is already in the reader's block (the usual case) is taken
    // from it in place, with the same result as the byte-by-byte reading below.
    {
        InputReader &in = track->in;
        const unsigned char *start = in.data + in.pos, *end = in.data + in.end;
        const unsigned char *nl = in.pos < in.end
                                      ? static_cast<const unsigned char *>(
                                            memchr(start, '\n', static_cast<size_t>(end - start)))
                                      : nullptr;
        if (nl) {
            const unsigned char *q = start;
            while (q < nl && !is_space(*q) && *q != ',') q++;
            size_t n = static_cast<size_t>(q - start);
            ident.assign(reinterpret_cast<const char *>(start),
                         n < FASTA_MAX_ID ? n : FASTA_MAX_ID);
            if (ident.empty()) {
                char num[32];
                snprintf(num, sizeof num, "#%d", track->entry_count);
                ident = base_name(track->name);
                ident += num;
            }
            if (q < nl) {
                q++;
                while (q < nl && (*q == ' ' || *q == '\t' || *q == ',')) q++;
                size_t rest = static_cast<size_t>(nl - q);
                annot.assign(reinterpret_cast<const char *>(q),
                             rest < FASTA_MAX_ANNOTATION ? rest : FASTA_MAX_ANNOTATION);
                if (rest >= FASTA_MAX_ANNOTATION)
                    fprintf(stderr, "%s (%s):  Annotation truncated to %d char.\n",
                            shown_text(track->name).c_str(),
                            show_id ? shown_text(ident).c_str() : "",
                            static_cast<int>(FASTA_MAX_ANNOTATION));
                if (!annot.empty() && annot.back() == '\r') annot.pop_back();
            }
            in.pos = static_cast<size_t>(nl + 1 - in.data);
            return '\n';
        }
    }

    // The ID: up to white space, ',' or the end; longer IDs are cut.
    size_t header_length = 1;  // bytes of the header line so far, its '>' included
    c = reader_getc(&track->in);
    while (c != EOF && !is_space(c) && c != ',') {
        if (ident.size() < FASTA_MAX_ID) ident.push_back(static_cast<char>(c));
        c = header_getc(track, &header_length);
    }
    if (ident.empty()) {
        char num[32];
        snprintf(num, sizeof num, "#%d", track->entry_count);
        ident = base_name(track->name);
        ident += num;
    }

    // The annotation: the rest of the line after blanks, tabs and commas.
    if (c != EOF && c != '\n') {
        c = header_getc(track, &header_length);
        while (c == ' ' || c == '\t' || c == ',') c = header_getc(track, &header_length);
        while (c != EOF && c != '\n') {
            if (annot.size() >= FASTA_MAX_ANNOTATION) break;
            annot.push_back(static_cast<char>(c));
            c = header_getc(track, &header_length);
        }
        if (annot.size() >= FASTA_MAX_ANNOTATION) {
            fprintf(stderr, "%s (%s):  Annotation truncated to %d char.\n",
                    shown_text(track->name).c_str(), show_id ? shown_text(ident).c_str() : "",
                    static_cast<int>(FASTA_MAX_ANNOTATION));
            while (c != EOF && c != '\n') c = header_getc(track, &header_length);
        }
        if (!annot.empty() && annot.back() == '\r') annot.pop_back();
    }
    return c == EOF ? EOF : '\n';
}

int next_fasta_initial(SeqTrackFile *track, char **id, char **annotation) {
    static std::string ident, annot;
    if (id) *id = nullptr;
    if (annotation) *annotation = nullptr;
    int c = next_fasta_header(track, ident, annot, id != nullptr);
    if (ident.empty()) return c;  // no header at all
    if (id) *id = str_dup(ident.c_str());
    if (annotation && !annot.empty()) *annotation = str_dup(annot.c_str());
    return c;
}

// ---------------------------------------------------------------------------------------------
// Residues
// ---------------------------------------------------------------------------------------------

char *next_fasta_string(SeqTrackFile *track, char **id, char **annotation) {
    char *local_id = nullptr;
    char **idp = id ? id : &local_id;
    if (next_fasta_initial(track, idp, annotation) == EOF) {
        drop_header(idp, annotation);
        return nullptr;
    }
    char *res = fasta_string_body(track, id ? *id : "");
    if (local_id) free(local_id);
    return res;
}

namespace {

// Per alphabet (one per track): which letters of a read entry give a conversion note of
// convertseq (+1 to the wildcard count, or a U/T conversion), and the letter indices.
// Letters outside the alphabet that land on the catch-all are counted; so are U read into a DNA
// track and T read into an RNA track.
struct ConvNotes {
    const AlphabetInfo *alpha = nullptr;
    signed char lookup[256];  // the alphabet's lookup when the table was built
    // Per byte: bits 0-7 its letter index, bit 8 set unless it is a gap character ('-' or '.',
    // which are removed), bit 16 a letter counted as converted to the wildcard, bit 48 a U/T
    // conversion (its sign in ut_sign). One load per byte; the counts add up in one word.
    uint64_t packed[256];
    // Per byte, for checking letters without keeping them: bit 0 a wildcard conversion, bit 16 a
    // U/T conversion, bit 32 a byte that is not a residue of the letter form. Summed over at most
    // 4096 bytes, no field overflows into the next.
    uint64_t count[256];
    // The residue bytes that give a note, when there are at most eight of them (else
    // noisy_count is -1); unused places hold 0, which is never a residue. When every such letter
    // gives a note in both cases, they are held in lower case and noisy_fold is 0x20: a byte b
    // is then noisy when b | 0x20 is one of them.
    unsigned char noisy[QUIET_MAX_NOISY];
    int noisy_count = 0;
    unsigned char noisy_fold = 0;
    QuietTest quiet;  // the noisy values as the quiet-run test takes them
    int ut_sign = 0;
    void build(const AlphabetInfo *a) {
        alpha = a;
        memcpy(lookup, a->lookup, sizeof lookup);
        int wild = wildcard_index(a);
        char wild_letter = static_cast<int>(strlen(a->letters)) > wild ? a->letters[wild] : 0;
        ut_sign = a->id == DNA_ALPHABET_ID ? 1 : a->id == RNA_ALPHABET_ID ? -1 : 0;
        bool gives_note[256] = {};
        for (int c = 0; c < 256; c++) {
            uint64_t v = static_cast<unsigned char>(a->lookup[c]);
            if (c != '-' && c != '.') v |= uint64_t(1) << 8;
            if (isalpha(c) && a->lookup[c] == wild) {
                int u = toupper(c);
                bool converted = u == toupper(static_cast<unsigned char>(wild_letter));
                for (const char *q = a->conversions; q && *q; q++)
                    if ((q == a->conversions || q[-1] == ',') &&
                        toupper(static_cast<unsigned char>(*q)) == u)
                        converted = true;
                if (!converted) v |= uint64_t(1) << 16;
            }
            if ((ut_sign > 0 && (c == 'U' || c == 'u')) || (ut_sign < 0 && (c == 'T' || c == 't')))
                v |= uint64_t(1) << 48;
            packed[c] = v;
            bool residue = letter_classes.cls[c] == C_RES;
            count[c] = residue ? ((v >> 16) & 1) | (((v >> 48) & 1) << 16) : uint64_t(1) << 32;
            gives_note[c] = residue && (v & ((uint64_t(1) << 16) | (uint64_t(1) << 48)));
        }
        // Only letters give notes; fold them to lower case when both cases do.
        noisy_fold = 0x20;
        for (int c = 0; c < 256; c++)
            if (gives_note[c] && (!isalpha(c) || !gives_note[c ^ 0x20])) noisy_fold = 0;
        memset(noisy, 0, sizeof noisy);
        noisy_count = 0;
        for (int c = 0; c < 256; c++) {
            if (!gives_note[c] || (noisy_fold && c != (c | 0x20))) continue;
            if (noisy_count >= 0 && noisy_count < QUIET_MAX_NOISY)
                noisy[noisy_count++] = static_cast<unsigned char>(c);
            else
                noisy_count = -1;
        }
        memcpy(quiet.noisy, noisy, sizeof noisy);
        quiet.fold = noisy_fold;
        quiet.count = noisy_count >= 0 && noisy_count <= 4 ? 4 : QUIET_MAX_NOISY;
    }
    bool stale(const AlphabetInfo *a) const {
        return alpha != a || memcmp(lookup, a->lookup, sizeof lookup) != 0;
    }
};
ConvNotes conv_notes[MAX_TRACKS];

// The conversion notes of the track tables, rebuilt when the track's alphabet changed.
const ConvNotes &notes_of_track(int t, const AlphabetInfo *a) {
    ConvNotes &notes = conv_notes[t];
    if (notes.stale(a)) notes.build(a);
    return notes;
}

// True when every one of the n bytes is a residue of the letter form that gives no conversion
// note: no byte (or'ed with fold) is one of the eight noisy values. Without early exit, so that
// it is checked many bytes at a time.
bool all_quiet_residues(const unsigned char *p, size_t n, const unsigned char *noisy,
                        unsigned char fold) {
    const unsigned char v0 = noisy[0], v1 = noisy[1], v2 = noisy[2], v3 = noisy[3], v4 = noisy[4],
                        v5 = noisy[5], v6 = noisy[6], v7 = noisy[7];
    unsigned char bad = 0;
    for (size_t i = 0; i < n; i++) {
        unsigned char b = p[i];
        unsigned char lower = static_cast<unsigned char>(b | 0x20);
        unsigned char ok = (static_cast<unsigned char>(lower - 'a') < 26) |
                           (static_cast<unsigned char>(b - '0') < 10) | (b == '-') | (b == '.');
        unsigned char f = static_cast<unsigned char>(b | fold);
        unsigned char hit = (f == v0) | (f == v1) | (f == v2) | (f == v3) | (f == v4) | (f == v5) |
                            (f == v6) | (f == v7);
        bad |= static_cast<unsigned char>((ok ^ 1) | hit);
    }
    return bad == 0;
}

// The count-table sum of n bytes (n at most 4096).
uint64_t count_sum(const uint64_t *count, const unsigned char *p, size_t n) {
    uint64_t s0 = 0, s1 = 0;
    size_t i = 0;
    for (; i + 1 < n; i += 2) {
        s0 += count[p[i]];
        s1 += count[p[i + 1]];
    }
    if (i < n) s0 += count[p[i]];
    return s0 + s1;
}

// The residues of the entry whose header was just read, in letter form. Keep: they are copied
// to the scratch buffer and their number returned. Otherwise (notes given) they are only counted:
// the wildcard and U/T conversions that convertseq would count are added to wild and ut, and
// the number of residues is returned. Both ways read the same bytes, give the same messages in
// the same order, and grow the scratch buffer alike (so that the length check falls at the same
// place), one block of at most 4096 bytes at a time.
template <bool Keep>
size_t letter_body(SeqTrackFile *track, const char *shown, const ConvNotes *notes, uint64_t *wild,
                   uint64_t *ut) {
    const unsigned char *cls = letter_classes.cls;
    const uint64_t *count = Keep ? nullptr : notes->count;
    const bool quiet_test = !Keep && notes->noisy_count >= 0;
    size_t len = 0;
    bool strange = false;
    scratch.ensure(1000);
    for (;;) {
        if (!track_fill(track)) break;
        InputReader &in = track->in;
        const unsigned char *p = in.data + in.pos, *end = in.data + in.end;
        bool stop = false;
        while (p < end && !stop) {
            size_t n = static_cast<size_t>(end - p);
            if (n > 4096) n = 4096;
            if (scratch.cap - len < n + 2) {
                check_length(track, len + n, shown);
                scratch.ensure(len + n + 2);
            }
            unsigned char *out = Keep ? scratch.data + len : nullptr;
            size_t counted = 0;  // residues of this block (counting)
            uint64_t sum = 0;    // count-table sum of those residues
            const unsigned char *stop_at = p + n;
            while (p < stop_at) {
                // Counting: blocks of bytes that hold only residues without a note and newlines
                // (the usual case) are counted whole.
                if (quiet_test) {
                    p += quiet_run(p, static_cast<size_t>(stop_at - p), &notes->quiet, &counted);
                    if (p == stop_at) break;
                }
                // A line of residues is checked and copied or counted whole (a line that
                // begins with any other byte, as the next header does, cannot be).
                const unsigned char *nl =
                    cls[*p] == C_RES ? static_cast<const unsigned char *>(
                                           memchr(p, '\n', static_cast<size_t>(stop_at - p)))
                                     : nullptr;
                if (nl && nl > p) {
                    size_t k = static_cast<size_t>(nl - p);
                    if (Keep) {
                        if (all_residues(p, k)) {
                            memcpy(out, p, k);
                            out += k;
                            p = nl + 1;
                            continue;
                        }
                    } else if (quiet_test &&
                               all_quiet_residues(p, k, notes->noisy, notes->noisy_fold)) {
                        counted += k;
                        p = nl + 1;
                        continue;
                    } else {
                        uint64_t s = count_sum(count, p, k);
                        if ((s >> 32) == 0) {
                            sum += s;
                            counted += k;
                            p = nl + 1;
                            continue;
                        }
                    }
                }
                // Otherwise a run of residues is taken at once.
                const unsigned char *q = p;
                while (q < stop_at && cls[*q] == C_RES) q++;
                if (Keep) {
                    memcpy(out, p, static_cast<size_t>(q - p));
                    out += q - p;
                } else {
                    sum += count_sum(count, p, static_cast<size_t>(q - p));
                    counted += static_cast<size_t>(q - p);
                }
                p = q;
                if (p == stop_at) break;
                unsigned char b = *p;
                unsigned char k = cls[b];
                if (k == C_GT) {
                    stop = true;
                    break;
                }
                if (k == C_STRANGE && !strange) {
                    strange = true;
                    fprintf(stderr, "%s (%s): Strange characters (%s) ignored\n",
                            shown_text(track->name).c_str(), shown_text(shown).c_str(),
                            shown_byte(b).c_str());
                }
                p++;
            }
            if (Keep) {
                len = static_cast<size_t>(out - scratch.data);
            } else {
                len += counted;
                *wild += sum & 0xffff;
                *ut += (sum >> 16) & 0xffff;
            }
        }
        in.pos = static_cast<size_t>(p - in.data);
        if (stop) {
            // p points at the '>' that ends the entry; it stays for the next header.
            if (reader_byte_before(&in, in.pos) != '\n')
                fprintf(stderr, "%s (%s): Newline not present before terminating >\n",
                        shown_text(track->name).c_str(), shown_text(shown).c_str());
            break;
        }
    }
    return len;
}

void conversion_notes(const char *id, const char *annotation, const AlphabetInfo *a,
                      const unsigned char *res, int len, long wild_count, long ut_count,
                      size_t chars);

}  // namespace

char *fasta_string_body(SeqTrackFile *track, const char *shown, size_t *letters_length) {
    size_t len = letter_body<true>(track, shown, nullptr, nullptr, nullptr);
    if (letters_length) *letters_length = len;
    char *res = static_cast<char *>(malloc(len + 3));
    if (!res) error("out of memory allocating %zu bytes", len + 3);
    memcpy(res, scratch.data, len);
    res[len] = '\0';
    return res;
}

bool fasta_skip_body_converted(SeqTrackFile *track, const char *id, int t) {
    const AlphabetInfo *a = (t >= 0 && t < MAX_TRACKS) ? alphabets[t] : nullptr;
    if (!a || !a->letters || sequence_warning < 0) return false;
    const ConvNotes &notes = notes_of_track(t, a);
    uint64_t wild = 0, ut = 0;
    size_t chars = letter_body<false>(track, id, &notes, &wild, &ut);
    if (chars > static_cast<size_t>(INT_MAX))
        error("Sequence %s in %s is too long", shown_text(id).c_str(),
              shown_text(track->name).c_str());
    conversion_notes(id, nullptr, a, nullptr, 0, static_cast<long>(wild),
                     notes.ut_sign * static_cast<long>(ut), chars);
    return true;
}

bool letters_skip_converted(const unsigned char *letters, size_t n, const char *id, int t) {
    const AlphabetInfo *a = (t >= 0 && t < MAX_TRACKS) ? alphabets[t] : nullptr;
    if (!a || !a->letters || sequence_warning < 0) return false;
    const ConvNotes &notes = notes_of_track(t, a);
    // As convertseq counts: bits 0-31 the wildcard count, bits 32-63 the U/T count. Bytes that
    // pass the quiet test add nothing and are passed over many at a time.
    uint64_t counts = 0;
    size_t i = 0;
    while (i < n) {
        size_t stop = n;
        if (notes.noisy_count >= 0) {
            size_t residues = 0;
            i += quiet_run(letters + i, n - i, &notes.quiet, &residues);
            if (i >= n) break;
            stop = n - i > QUIET_BLOCK ? i + QUIET_BLOCK : n;
        }
        // Four sums at a time, so that the additions do not wait on each other.
        uint64_t c0 = 0, c1 = 0, c2 = 0, c3 = 0;
        for (; i + 4 <= stop; i += 4) {
            c0 += notes.packed[letters[i]] >> 16;
            c1 += notes.packed[letters[i + 1]] >> 16;
            c2 += notes.packed[letters[i + 2]] >> 16;
            c3 += notes.packed[letters[i + 3]] >> 16;
        }
        for (; i < stop; i++) c0 += notes.packed[letters[i]] >> 16;
        counts += c0 + c1 + c2 + c3;
    }
    conversion_notes(id, nullptr, a, nullptr, 0, static_cast<long>(counts & 0xffffffffu),
                     notes.ut_sign * static_cast<long>(counts >> 32), n);
    return true;
}

unsigned char *next_fasta_numstring(SeqTrackFile *track, char **id, char **annotation,
                                    int *length) {
    char *local_id = nullptr;
    char **idp = id ? id : &local_id;
    if (length) *length = 0;
    if (next_fasta_initial(track, idp, annotation) == EOF) {
        drop_header(idp, annotation);
        return nullptr;
    }
    unsigned char *res = fasta_numstring_body(track, id ? *id : "", length);
    if (local_id) free(local_id);
    return res;
}

unsigned char *fasta_numstring_body(SeqTrackFile *track, const char *shown, int *length) {
    if (length) *length = 0;
    if (!alphabet)
        error("No alphabet set for reading numeric sequences from %s",
              shown_text(track->name).c_str());
    const int wild = wildcard_index(alphabet);
    size_t len = 0;
    bool strange = false, long_x = false;
    scratch.ensure(1000);
    int c = reader_getc(&track->in);
    int prev = '\n';
    for (;;) {
        if (c == EOF) break;
        if (c == '>') {
            reader_ungetc(&track->in);
            if (prev != '\n')
                fprintf(stderr, "%s (%s): Newline not present before terminating >\n",
                        shown_text(track->name).c_str(), shown_text(shown).c_str());
            break;
        }
        if (scratch.cap - len < 2) {
            check_length(track, len + 1, shown);
            scratch.ensure(scratch.cap * 2);
        }
        if (c >= '0' && c <= '9') {
            // A decimal number; large values saturate (they are out of range anyway).
            long value = 0;
            while (c >= '0' && c <= '9') {
                if (value <= INT_MAX) value = value * 10 + (c - '0');
                prev = c;
                c = reader_getc(&track->in);
            }
            if (value > INT_MAX) value = INT_MAX;
            if (value > wild) {
                fprintf(
                    stderr,
                    "%s (%s): Number %d is out of range for alphabet %s.  Replaced with X (%d).\n",
                    shown_text(track->name).c_str(), shown_text(shown).c_str(),
                    static_cast<int>(value), alphabet->name ? alphabet->name : "", wild);
                value = wild;
            }
            scratch.data[len++] = static_cast<unsigned char>(value);
            continue;
        }
        if (c == 'x' || c == 'X') {
            int run = 0;
            while (c == 'x' || c == 'X') {
                run++;
                prev = c;
                c = reader_getc(&track->in);
            }
            if (run > alphabet->digits_per_number && !long_x) {
                long_x = true;
                fprintf(
                    stderr,
                    "%s (%s): X repeated more than the number of digits (%d).  Treated as one X.\n",
                    shown_text(track->name).c_str(), shown_text(shown).c_str(),
                    alphabet->digits_per_number);
            }
            scratch.data[len++] = static_cast<unsigned char>(wild);
            continue;
        }
        if (!(is_space(c) || c == '-' || c == '.' || c == '*') && !strange) {
            strange = true;
            fprintf(stderr, "%s (%s): Strange characters (%s) ignored\n",
                    shown_text(track->name).c_str(), shown_text(shown).c_str(),
                    shown_byte(c).c_str());
        }
        prev = c;
        c = reader_getc(&track->in);
    }
    unsigned char *res = static_cast<unsigned char *>(mem_alloc(len + 2));
    memcpy(res, scratch.data, len);
    if (length) *length = static_cast<int>(len);
    return res;
}

// ---------------------------------------------------------------------------------------------
// Conversion
// ---------------------------------------------------------------------------------------------

namespace {

void conversion_notes(const char *id, const char *annotation, const AlphabetInfo *a,
                      const unsigned char *res, int len, long wild_count, long ut_count,
                      size_t chars) {
    if (wild_count == 0 && ut_count == 0 && sequence_warning != -2) return;
    double percent = 100.0 * static_cast<double>(wild_count + labs(ut_count)) /
                     (static_cast<double>(chars) + 1.0);
    if (!id) id = "";
    if (sequence_warning >= 0) {
        if (percent <= sequence_warning) return;
        const std::string shown = shown_text(id);
        if (wild_count > 0)
            fprintf(stderr, "Warning: %ld letters converted to wildcard in sequence %s\n",
                    wild_count, shown.c_str());
        if (ut_count > 0)
            fprintf(stderr, "Warning: %ld RNA U converted to DNA T in sequence %s\n", ut_count,
                    shown.c_str());
        if (ut_count < 0)
            fprintf(stderr, "Warning: %ld DNA T converted to RNA U in sequence %s\n", -ut_count,
                    shown.c_str());
        return;
    }
    // The warnings are shown escaped; the record below is the sequence itself, as read.
    const std::string shown = shown_text(id);
    if (wild_count > 0)
        printf("; Warning: %ld letters converted to wildcard in sequence %s\n", wild_count,
               shown.c_str());
    if (ut_count > 0)
        printf("; Warning: %ld RNA U converted to DNA T in sequence %s\n", ut_count, shown.c_str());
    if (ut_count < 0)
        printf("; Warning: %ld DNA T converted to RNA U in sequence %s\n", -ut_count,
               shown.c_str());
    if (sequence_warning == -2 || (sequence_warning == -1 && (wild_count != 0 || ut_count != 0))) {
        if (annotation)
            printf(">%s %s\n", id, annotation);
        else
            printf(">%s\n", id);
        for (int i = 0; i < len; i++) putchar(a->letters[res[i]]);
        putchar('\n');
    }
}

}  // namespace

void convertseq(Sequence *seq) {
    if (!seq) return;
    int prev_len = -1;
    for (int t = 0; t < seq->ntracks && t < MAX_TRACKS; t++) {
        const AlphabetInfo *a = alphabets[t];
        unsigned char *res = seq->tracks[t].res;
        if (a && a->letters && res && !seq->tracks[t].model) {
            size_t chars = strlen(reinterpret_cast<char *>(res));
            const ConvNotes &notes = notes_of_track(t, a);
            const uint64_t *packed = notes.packed;
            size_t len = 0;
            uint64_t counts = 0;  // bits 0-31 the wildcard count, bits 32-63 the U/T count
            if (!memchr(res, '-', chars) && !memchr(res, '.', chars)) {
                // No gap characters (the usual case): every byte stays in its place.
                for (size_t i = 0; i < chars; i++) {
                    uint64_t v = packed[res[i]];
                    res[i] = static_cast<unsigned char>(v);
                    counts += v >> 16;
                }
                len = chars;
            } else {
                // Every byte's index is written at the next place, which moves on unless the
                // byte is a gap character (never past the byte read).
                for (size_t i = 0; i < chars; i++) {
                    uint64_t v = packed[res[i]];
                    res[len] = static_cast<unsigned char>(v);
                    len += (v >> 8) & 1;
                    counts += v >> 16;
                }
            }
            long wild_count = static_cast<long>(counts & 0xffffffffu);
            long ut_count = notes.ut_sign * static_cast<long>(counts >> 32);
            res[len] = 0;
            if (chars - len > 500) {
                res = static_cast<unsigned char *>(mem_realloc(res, len + 1));
                seq->tracks[t].res = res;
            }
            seq->len = static_cast<int>(len);
            conversion_notes(seq->id, seq->annotation, a, res, seq->len, wild_count, ut_count,
                             chars);
        }
        if (prev_len >= 0 && seq->len != prev_len)
            error("ID %s, track %d: length (%d) does not match previous track (%d)",
                  shown_text(seq->id).c_str(), t, seq->len, prev_len);
        prev_len = seq->len;
    }
    seq->converted = 1;
}
