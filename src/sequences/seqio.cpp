// Sequence sources (one to six track files read in step), the format detection of one
// sequence file, and database file lists: whole, segmented, and selected by ID.

#include "sequences/seqio.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "foundation/alphabet.h"
#include "sequences/fasta.h"
#include "sequences/hssp.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/output_files.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "foundation/scan.h"
#include "models/modelio.h"  // up: a model file is read as a sequence track (SEQFORMAT_MODEL)
#include "models/models.h"   // up: the same: such a track model is normalised and given costs
#include "sequences/seqlib.h"
#include "sequences/seqlib_read.h"
#include "sequences/seqlib_err.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

namespace {

// Result of the last detection, kept for messages.
short last_format = SEQFORMAT_NO_STREAM;
int last_kind = SEQKIND_OTHER;

bool guide_warned = false;

// Keyword of a format number.
const char *format_keyword(int format) {
    return SeqFormatString(format);
}

// Formats read through the sequence-file library (NBRF included).
bool library_format(short format) {
    return format != SEQFORMAT_FASTA && format != SEQFORMAT_MODEL && format != SEQFORMAT_HSSP;
}

// A file whose first four bytes are "HSSP".
bool looks_like_hssp(const char *filename) {
    return isHSSP(filename) != 0;
}

// True when the file gives nothing at all (a read error ends the run).
bool file_is_empty(const char *filename) {
    FILE *fp = open_read(filename, OPEN_FATAL);
    InputReader in;
    reader_init(&in, fp, filename);
    in.what = "sequence file";
    bool empty = reader_at_end(&in);  // a read error ends the run
    reader_free(&in);
    close_read(fp);
    return empty;
}

// Releases a track file; its stream is closed last (closing a decompression pipe may end the
// run when the decompressor failed).
void free_track_file(SeqTrackFile *t) {
    if (!t) return;
    FILE *stream = t->stream;
    seqlib_input_free(t->lib);
    delete t->lib;
    free(t->name);
    if (t->items) {
        for (int i = 0; i < t->item_count; i++) free(t->items[i]);
        free(t->items);
    }
    free(t->line);
    free_track_read_buffer(t);
    delete t;
    if (stream) close_read(stream);
}

// Fatal errors throw only under test harnesses (error_throws), and std::bad_alloc when memory
// runs out (which then ends the run); these guards release what a failed read holds so that such
// runs stay free of leaks.
template <typename Body, typename Cleanup>
auto guarded(Body body, Cleanup cleanup) -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        try {
            cleanup();
        } catch (...) {}
        throw;
    }
}

}  // namespace

void reset_seqio_state() {
    last_format = SEQFORMAT_NO_STREAM;
    last_kind = SEQKIND_OTHER;
    guide_warned = false;
}

// ---------------------------------------------------------------------------------------------
// Sets of IDs
// ---------------------------------------------------------------------------------------------

struct SeqIdSet {
    struct Slot {
        uint64_t hash;
        const char *id;  // null: empty slot
        int mark;
    };
    std::vector<Slot> slots;
    size_t used = 0;
    // One bit pair per ID in a small table (a sixteenth of the slot table's size in words), so
    // that most lookups of absent IDs are answered without touching the slot table.
    std::vector<uint64_t> filter;
    // Owned copies of the IDs added by seq_id_set_add, in blocks that never move.
    std::vector<std::unique_ptr<char[]>> blocks;
    size_t block_left = 0;
    char *block_next = nullptr;
};

namespace {

// 64-bit hash of an ID, eight bytes at a time.
uint64_t id_hash(const char *id, size_t n) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ (n * 0xff51afd7ed558ccdull);
    const char *p = id;
    while (n >= 8) {
        uint64_t w;
        memcpy(&w, p, 8);
        h = (h ^ w) * 0xbf58476d1ce4e5b9ull;
        h ^= h >> 31;
        p += 8;
        n -= 8;
    }
    uint64_t w = 0;
    memcpy(&w, p, n);
    h = (h ^ w) * 0x94d049bb133111ebull;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    return h ^ (h >> 32);
}

uint64_t id_hash(const char *id) {
    return id_hash(id, strlen(id));
}

// The filter word and bits of a hash (bits of the hash other than those that pick the slot).
inline uint64_t &filter_word(SeqIdSet *set, uint64_t h) {
    return set->filter[(h >> 40) & (set->filter.size() - 1)];
}
inline uint64_t filter_bits(uint64_t h) {
    return (uint64_t(1) << ((h >> 28) & 63)) | (uint64_t(1) << ((h >> 34) & 63));
}

SeqIdSet::Slot *id_set_find(SeqIdSet *set, const char *id, uint64_t h, bool insert) {
    if (insert && (set->used + 1) * 2 > set->slots.size()) {
        std::vector<SeqIdSet::Slot> old;
        old.swap(set->slots);
        set->slots.assign(old.empty() ? 1024 : old.size() * 2, SeqIdSet::Slot{0, nullptr, 0});
        set->filter.assign(set->slots.size() / 16, 0);
        size_t mask = set->slots.size() - 1;
        for (const SeqIdSet::Slot &o : old) {
            if (!o.id) continue;
            size_t i = o.hash & mask;
            while (set->slots[i].id) i = (i + 1) & mask;
            set->slots[i] = o;
            filter_word(set, o.hash) |= filter_bits(o.hash);
        }
    }
    if (set->slots.empty()) return nullptr;
    if (!insert) {
        uint64_t bits = filter_bits(h);
        if ((filter_word(set, h) & bits) != bits) return nullptr;
    }
    size_t mask = set->slots.size() - 1;
    size_t i = h & mask;
    while (set->slots[i].id) {
        if (set->slots[i].hash == h && strcmp(set->slots[i].id, id) == 0) return &set->slots[i];
        i = (i + 1) & mask;
    }
    if (!insert) return nullptr;
    set->slots[i] = SeqIdSet::Slot{h, id, -1};
    filter_word(set, h) |= filter_bits(h);
    set->used++;
    return &set->slots[i];
}

// A copy of the n bytes of id, NUL-terminated, kept by the set.
const char *id_set_keep_copy(SeqIdSet *set, const char *id, size_t n) {
    if (set->block_left < n + 1) {
        size_t size = n + 1 > (size_t(1) << 20) ? n + 1 : (size_t(1) << 20);
        set->blocks.emplace_back(new char[size]);
        set->block_next = set->blocks.back().get();
        set->block_left = size;
    }
    char *copy = set->block_next;
    memcpy(copy, id, n);
    copy[n] = '\0';
    set->block_next += n + 1;
    set->block_left -= n + 1;
    return copy;
}

}  // namespace

SeqIdSet *make_seq_id_set(const SequenceTable *table) {
    SeqIdSet *set = new SeqIdSet();
    for (int i = 0; table && i < table->count; i++) {
        const Sequence *seq = table->seqs[i];
        if (seq && seq->id) id_set_find(set, seq->id, id_hash(seq->id), true);
    }
    return set;
}

SeqIdSet *new_seq_id_set() {
    return new SeqIdSet();
}

void seq_id_set_add(SeqIdSet *set, const char *id, size_t length) {
    // An ID is a C string: a NUL byte inside the given length ends it, as it ends the copy
    // that a table of the same IDs would hold.
    std::string key(id, strnlen(id, length));
    uint64_t h = id_hash(key.data(), key.size());
    size_t before = set->used;
    SeqIdSet::Slot *slot = id_set_find(set, key.c_str(), h, true);
    if (set->used != before) slot->id = id_set_keep_copy(set, key.data(), key.size());
}

bool seq_id_set_contains(const char *id, void *context) {
    SeqIdSet *set = static_cast<SeqIdSet *>(context);
    return id_set_find(set, id, id_hash(id), false) != nullptr;
}

void free_seq_id_set(SeqIdSet *set) {
    delete set;
}

// ---------------------------------------------------------------------------------------------
// Detection
// ---------------------------------------------------------------------------------------------

const char *seqfile_format_type(const char *filename, short *format, int *kind,
                                int *lines_to_skip) {
    NameList *names = parse_name_list(filename);
    if (names->count == 0) {
        free(names);
        error("attempt to determine alphabet from empty file name");
    }
    if (names->count > 1) {
        free(names);
        error("alphabet must be explictly specified when multiple sequence tracks are used");
    }
    std::string name = names->name[0];
    free(names);

    short fmt = SEQFORMAT_UNKNOWN;
    int k = SEQKIND_OTHER;
    int fk = SEQKIND_OTHER;
    int skip = 0;
    int fr = is_fasta_or_nbrf(name.c_str(), kind ? &fk : nullptr);
    if (fr) {
        fmt = static_cast<short>(fr);
        k = fk;
    } else if (is_modelfilename(name.c_str()) && is_model_file(name.c_str())) {
        fmt = SEQFORMAT_MODEL;  // the kind is not set
        k = SEQKIND_OTHER;
    } else if (looks_like_hssp(name.c_str())) {
        fmt = SEQFORMAT_HSSP;
        k = SEQKIND_PROTEIN;
    } else if (file_is_empty(name.c_str())) {
        fmt = SEQFORMAT_FASTA;
        k = SEQKIND_PROTEIN;
    } else {
        // The sequence-file library tells the other formats apart.
        short err = SEQERR_NONE;
        fmt = seqFileFormat(name.c_str(), &skip, &err);
        if (seqlibErr(err, name.c_str())) error("See QOR manual for more information\n");
        if (kind) k = seqlibGuessKind(name.c_str(), skip, fmt);
    }
    last_format = fmt;
    last_kind = k;
    if (format) *format = fmt;
    if (kind && fmt != SEQFORMAT_MODEL) *kind = k;
    if (lines_to_skip) *lines_to_skip = skip;
    return format_keyword(fmt);
}

const char *error_seqfile_format() {
    return format_keyword(last_format);
}

const char *error_seqfile_alphabet() {
    switch (last_kind) {
        case SEQKIND_DNA:
        case SEQKIND_NUCLEIC: return "DNA";
        case SEQKIND_RNA: return "RNA";
        case SEQKIND_PROTEIN: return "protein";
        default: return "unknown";
    }
}

// ---------------------------------------------------------------------------------------------
// Sources
// ---------------------------------------------------------------------------------------------

SeqFileSet *open_sequences(const char *filenames) {
    std::vector<std::string> names;
    {
        NameList *list = parse_name_list(filenames);
        for (int i = 0; i < list->count; i++) names.emplace_back(list->name[i]);
        free(list);
    }
    int count = static_cast<int>(names.size());
    if (count > MAX_SEQ_TRACKS) {
        fprintf(stderr, "Error: too many sequence tracks specified by the files:\n");
        for (const std::string &n : names) fprintf(stderr, "    %s\n", shown_text(n).c_str());
        error("maximum of %d tracks supported.", MAX_SEQ_TRACKS);
    }
    check_alphabet(nullptr);
    if (count != num_alphabets) {
        fprintf(stderr, "Error: %d alphabets are specified, however %d sequence tracks\n",
                num_alphabets, count);
        fprintf(stderr, "are specified with the files:\n");
        for (const std::string &n : names) fprintf(stderr, "    %s\n", shown_text(n).c_str());
        error(
            "The number of tracks is either specified on the command line or other sequence set.");
    }
    // Every file's format first, so that a refusal leaves nothing open.
    short track_formats[MAX_SEQ_TRACKS] = {};
    int skips[MAX_SEQ_TRACKS] = {};
    for (int i = 0; i < count; i++) {
        const char *name = names[i].c_str();
        if (names[i] == "-") continue;
        short fmt = SEQFORMAT_UNKNOWN;
        int skip = 0;
        seqfile_format_type(name, &fmt, nullptr, &skip);
        // A track of a numeric alphabet is read in the numeric FASTA form whatever the format.
        if (alphabets[i] && alphabet_is_numeric(alphabets[i])) {
            fmt = SEQFORMAT_FASTA;
            skip = 0;
        }
        track_formats[i] = fmt;
        skips[i] = skip;
    }
    SeqFileSet *set = new SeqFileSet();
    set->ntracks = count;
    for (int i = 0; i < count; i++) {
        if (names[i] == "-") continue;
        const char *name = names[i].c_str();
        FILE *stream = open_read(name, seqlibNeedsRewind(track_formats[i]) ? OPEN_REWIND : 0);
        if (!stream) {
            int err = errno;
            std::string n = shown_text(name);
            close_sequences(set);
            error("Couldn't open file %s: %s\n", n.c_str(), strerror(err));
        }
        SeqTrackFile *t = new SeqTrackFile();
        t->stream = stream;
        t->name = str_dup(name);
        t->format = track_formats[i];
        t->line = static_cast<char *>(mem_alloc(SEQ_LINE_BUFFER));
        reader_init(&t->in, stream, t->name);
        t->in.what = "sequence file";
        t->in.block = FASTA_READ_BLOCK;
        t->in.read_ahead = t->format == SEQFORMAT_FASTA;
        set->tracks[i] = t;
        if (t->format == SEQFORMAT_HSSP) {  // every row at once; the stream is done with
            t->items = guarded([&] { return read_HSSP(stream, &t->item_count, 0, nullptr, name); },
                               [&] { close_sequences(set); });
            close_read(stream);
            t->stream = nullptr;
            continue;
        }
        if (library_format(t->format)) {
            // The library passes over the header lines itself (again after a rewind).
            t->lib = new SeqLibInput();
            seqlib_input_init(t->lib, stream, t->name);
            t->skip_lines = skips[i];
            t->line[0] = '\0';
            continue;
        }
        // Header lines that a detector asked to skip.
        char *line;
        size_t length;
        for (int s = 0; s < skips[i]; s++)
            if (!reader_line(&t->in, &line, &length)) break;
        t->line[0] = '\0';
    }
    return set;
}

namespace {

// Stores one track's entry (id, annotation and residues owned, taken over) in track t of seq:
// the first track read gives the ID and the length, a later track's ID must equal it; the
// annotation is kept when keepannotations is set and seq has none. Fatal: "Sequence id %s from
// %s does not match id of main sequence (%s)".
void store_track_entry(Sequence *seq, int t, const SeqTrackFile *track, char *id, char *annotation,
                       unsigned char *res, int length) {
    if (seq->id) {
        if (strcmp(seq->id, id) != 0) {
            std::string n = shown_text(id);
            free(id);
            free(annotation);
            free(res);
            error("Sequence id %s from %s does not match id of main sequence (%s)", n.c_str(),
                  shown_text(track->name).c_str(), shown_text(seq->id).c_str());
        }
        free(id);
    } else {
        seq->id = id;
        seq->len = length;
    }
    free(seq->tracks[t].res);
    seq->tracks[t].res = res;
    if (keepannotations && !seq->annotation)
        seq->annotation = annotation;
    else
        free(annotation);
}

// Reads the residues of the entry whose header (id, annotation: owned, taken over) was just
// read from a FASTA track, and stores the entry in track track_index of the sequence.
void finish_track_entry(SeqTrackFile *track, Sequence *seq, int track_index, char *id,
                        char *annotation) {
    unsigned char *res = nullptr;
    int length = 0;
    AlphabetInfo *a = alphabets[track_index];
    if (a && alphabet_is_numeric(a)) {
        // Numbers of the track's own alphabet.
        ScopedAlphabet current(a);
        res = fasta_numstring_body(track, id, &length);
    } else {
        size_t n = 0;
        char *letters = fasta_string_body(track, id, &n);
        if (n > static_cast<size_t>(INT_MAX))
            error("Sequence %s in %s is too long", shown_text(id).c_str(),
                  shown_text(track->name).c_str());
        length = static_cast<int>(n);
        res = reinterpret_cast<unsigned char *>(letters);
    }
    // The FASTA header reader has counted the entry already.
    store_track_entry(seq, track_index, track, id, annotation, res, length);
}

// read_model_track with the track's alphabet current.
int read_model_track_as_current(SeqTrackFile *track, Sequence *seq, int t,
                                const AlphabetInfo *track_alpha) {
    Rmodel *raw = nullptr;
    int got = fread_first_rmodel(&track->in, track->name, "model sequence", t, &raw, RMODEL_NOWARN);
    if (got != 1 || !raw) {
        free_rmodel(&raw);
        return 0;  // no further model; the done flag stays clear
    }
    Model *model = destruct_rmodel2model(&raw);
    if (seq->len > 0 && seq->len != model->length) {
        fprintf(stderr, "In file %s, model has length %d but earlier\n",
                shown_text(track->name).c_str(), model->length);
        fprintf(stderr, "sequence track has length %d.\n", seq->len);
        free_model(model);
        error("Non-matching track sequences.");
    }
    seq->len = model->length;
    if (!seq->id) {
        const char *slash = strrchr(track->name, '/');
        seq->id = str_dup(slash ? slash + 1 : track->name);
        if (keepannotations && !seq->annotation) seq->annotation = str_dup(track->name);
    }
    normalize_model(model);
    log_model(model);
    free_model(seq->tracks[t].model);
    seq->tracks[t].model = model;
    if (!seq->tracks[t].res && seq->len > 0)
        seq->tracks[t].res =
            static_cast<unsigned char *>(mem_alloc(static_cast<size_t>(seq->len) + 2));
    int letters = track_alpha ? track_alpha->emit_length : 0;
    for (int i = 0; i < seq->len; i++) {
        const Node *node = model->nodes[i + 1];
        float best = -1.0f;
        int idx = 0;
        for (int k = 0; node && node->match && k < letters; k++)
            if (node->match[k] > best) {
                best = node->match[k];
                idx = k;
            }
        seq->tracks[t].res[i] = static_cast<unsigned char>(idx);
    }
    track->entry_count++;
    return 1;
}

// One model of a model file as a track: the model itself and, as residues, the most probable
// match letter of each node. The current alphabet is the track's for the whole of it (reading,
// the nodes made in the conversion, normalising and costs), so that nodes have the track
// alphabet's size, and is restored afterwards, also when the read fails.
int read_model_track(SeqTrackFile *track, Sequence *seq, int t) {
    AlphabetInfo *track_alpha = alphabets[t] ? alphabets[t] : alphabet;
    ScopedAlphabet current(track_alpha);
    return read_model_track_as_current(track, seq, t, track_alpha);
}

// The next entry of a track in a library format: its letters (letter form, *length of them),
// its ID and its annotation (or null), all new and the caller's. The whole-file formats are asked
// for entries by number (the track's own count), the others for the next entry. No entry (end of
// the file, or an error the library reports) sets the done flag and gives 0.
int next_library_entry(SeqTrackFile *track, char **letters_out, int *length_out, char **id_out,
                       char **annotation_out) {
    int wanted = seqlibNeedsRewind(track->format) ? track->entry_count + 1 : 1;
    int64_t length = 0;
    int seen = 0;
    short err = SEQERR_NONE;
    char *idline = nullptr;
    char *letters = seqlibReadFp(wanted, track->lib, track->skip_lines, track->format, &length,
                                 &seen, &err, &idline);
    if (!letters || err != SEQERR_NONE) {
        if (err != SEQERR_NO_DATA) seqlibErr(err, track->name);
        free(letters);
        free(idline);
        track->done = 1;
        return 0;
    }
    if (length > INT_MAX) {
        free(letters);
        free(idline);
        error("Sequence %d in %s is too long", track->entry_count + 1,
              shown_text(track->name).c_str());
    }
    track->entry_count++;
    // The ID is the ID line up to its first blank, tab, newline or comma; the rest after those
    // separators is the annotation. An empty ID is named after the file and the entry's number.
    const char *sep = " \t\n,";
    size_t idlen = strcspn(idline, sep);
    const char *rest = idline + idlen;
    rest += strspn(rest, sep);
    char *id = nullptr;
    if (idlen > 0) {
        id = static_cast<char *>(memdub(idline, idlen));
    } else {
        const char *slash = strrchr(track->name, '/');
        std::string made =
            std::string(slash ? slash + 1 : track->name) + "#" + std::to_string(track->entry_count);
        id = str_dup(made.c_str());
    }
    *annotation_out = *rest ? str_dup(rest) : nullptr;
    free(idline);
    *letters_out = letters;
    *length_out = static_cast<int>(length);
    *id_out = id;
    return 1;
}

// The next entry of a track in a library format, stored in track t of the sequence; 0 at the end.
int read_library_track(SeqTrackFile *track, Sequence *seq, int t) {
    char *letters = nullptr, *id = nullptr, *annotation = nullptr;
    int length = 0;
    if (!next_library_entry(track, &letters, &length, &id, &annotation)) return 0;
    store_track_entry(seq, t, track, id, annotation, reinterpret_cast<unsigned char *>(letters),
                      length);
    return 1;
}

}  // namespace

int read_sequence_track(SeqTrackFile *track, Sequence *seq, int track_index) {
    if (!track) {
        free(seq->tracks[track_index].res);
        seq->tracks[track_index].res = nullptr;
        return 1;
    }
    if (track->format == SEQFORMAT_MODEL) return read_model_track(track, seq, track_index);
    if (track->format == SEQFORMAT_HSSP) return read_HSSP_item(track, seq, track_index);
    if (track->lib) return read_library_track(track, seq, track_index);
    if (track->format != SEQFORMAT_FASTA)
        error("Sequence file %s: no reader for format %s", shown_text(track->name).c_str(),
              format_keyword(track->format));
    char *id = nullptr;
    char *annotation = nullptr;
    if (next_fasta_initial(track, &id, &annotation) == EOF) {
        // A header cut off by the end of the file gives no entry.
        free(id);
        free(annotation);
        track->done = 1;
        return 0;
    }
    finish_track_entry(track, seq, track_index, id, annotation);
    return 1;
}

Sequence *read_sequence(SeqFileSet *source, int convert) {
    if (!source) return nullptr;
    bool any = false;
    for (int t = 0; t < source->ntracks; t++)
        if (source->tracks[t]) any = true;
    if (!any) return nullptr;  // only empty tracks: there is nothing to read
    Sequence *seq = alloc_sequence(0, source->ntracks);
    return guarded(
        [&]() -> Sequence * {
            for (int t = 0; t < source->ntracks; t++) {
                if (!read_sequence_track(source->tracks[t], seq, t)) {
                    free_sequence(seq);
                    return nullptr;
                }
            }
            if (convert) convertseq(seq);
            return seq;
        },
        [&] { free_sequence(seq); });
}

namespace {

// Guide handling shared by the whole and the segmented readers. db_name and guide_name are
// given by the segmented reader (its warning names the files).
void apply_guide(Sequence *seq, Sequence *guide, const char *db_name, const char *guide_name) {
    if (!guide) return;
    if (seq->tracks[0].model) {
        if (seq->len == guide->len) {
            std::swap(seq->tracks[0].res, guide->tracks[0].res);
        } else if (db_name) {
            fprintf(stderr, "Warning: Sequence model %s (%s) and guide sequence %s (%s)\n",
                    shown_text(seq->id).c_str(), shown_text(db_name).c_str(),
                    shown_text(guide->id).c_str(), shown_text(guide_name).c_str());
            fprintf(stderr, "have different lengths (%d, %d).  Guide ignored.\n", seq->len,
                    guide->len);
        } else {
            fprintf(stderr, "Warning: Sequence model %s and guide sequence %s\n",
                    shown_text(seq->id).c_str(), shown_text(guide->id).c_str());
            fprintf(stderr, "have different lengths (%d, %d).  Guide ignored.\n", seq->len,
                    guide->len);
        }
    } else if (!guide_warned) {
        guide_warned = true;
        fprintf(stderr, "Warning: Guide sequence provided but database is not\n");
        fprintf(stderr, "a model.  Ignoring guide file.  Further warnings surpressed.\n");
    }
    free_sequence(guide);
}

// What a filtered database read leaves out, so that its report and warnings are those of a
// whole read: the IDs of the entries the filter dropped, and the read number of every kept
// entry. Dropped IDs are only appended while reading (one pass over the database, no random
// access), each with its read number, in blocks that never move; finish() then counts the
// distinct ones and finds, for each repeated ID, the read number of its second occurrence.
struct ReadTally {
    struct Dropped {
        uint64_t hash;
        const char *record;  // the read number (4 bytes) and then the ID, NUL-terminated
    };
    std::vector<Dropped> dropped;
    std::vector<std::unique_ptr<char[]>> blocks;
    char *block_next = nullptr;
    size_t block_left = 0;
    long unique = 0;               // distinct IDs among the dropped entries
    long reads = 0;                // entries read so far, over all files
    std::vector<long> kept_index;  // read number of each kept entry, table order
    std::vector<std::pair<long, std::string>> repeats;  // read number and ID of dropped repeats
    // Read numbers stay below 2^31: a read takes at most INT_MAX entries.
    static uint32_t read_number(const char *record) {
        uint32_t r;
        memcpy(&r, record, sizeof r);
        return r;
    }
    static const char *id_of(const char *record) { return record + sizeof(uint32_t); }
    void drop(const char *id) {
        size_t n = strlen(id);
        size_t need = sizeof(uint32_t) + n + 1;
        if (block_left < need) {
            size_t size = need > (size_t(1) << 20) ? need : (size_t(1) << 20);
            blocks.emplace_back(new char[size]);
            block_next = blocks.back().get();
            block_left = size;
        }
        uint32_t r = static_cast<uint32_t>(reads);
        memcpy(block_next, &r, sizeof r);
        memcpy(block_next + sizeof r, id, n + 1);
        dropped.push_back(Dropped{id_hash(id, n), block_next});
        block_next += need;
        block_left -= need;
    }
    static bool before(const Dropped &x, const Dropped &y) {
        if (x.hash != y.hash) return x.hash < y.hash;
        int c = strcmp(id_of(x.record), id_of(y.record));
        return c != 0 ? c < 0 : read_number(x.record) < read_number(y.record);
    }
    // Puts the dropped entries in the order of before(): they are first moved, in place, into
    // 256 buckets by the top byte of their hash (each move goes to one of 256 places that
    // advance in step, so the moves stay in the cache), then each bucket is sorted.
    void sort_dropped() {
        const size_t n = dropped.size();
        const int shift = 56;
        const size_t buckets = 256;
        if (n < 4 * buckets) {
            std::sort(dropped.begin(), dropped.end(), before);
            return;
        }
        size_t start[buckets + 1] = {};
        for (const Dropped &d : dropped) start[(d.hash >> shift) + 1]++;
        for (size_t b = 0; b < buckets; b++) start[b + 1] += start[b];
        size_t next[buckets];
        for (size_t b = 0; b < buckets; b++) next[b] = start[b];
        for (size_t b = 0; b < buckets; b++) {
            while (next[b] < start[b + 1]) {
                Dropped d = dropped[next[b]];
                size_t to = d.hash >> shift;
                while (to != b) {
                    std::swap(d, dropped[next[to]++]);
                    to = d.hash >> shift;
                }
                dropped[next[b]++] = d;
            }
        }
        for (size_t b = 0; b < buckets; b++)
            std::sort(dropped.begin() + static_cast<long>(start[b]),
                      dropped.begin() + static_cast<long>(start[b + 1]), before);
    }
    void finish() {
        sort_dropped();
        for (size_t i = 0; i < dropped.size();) {
            size_t j = i + 1;
            while (j < dropped.size() && dropped[j].hash == dropped[i].hash &&
                   strcmp(id_of(dropped[j].record), id_of(dropped[i].record)) == 0)
                j++;
            unique++;
            if (j - i > 1)
                repeats.emplace_back(read_number(dropped[i + 1].record), id_of(dropped[i].record));
            i = j;
        }
        std::sort(repeats.begin(), repeats.end());
        std::vector<Dropped>().swap(dropped);
        std::vector<std::unique_ptr<char[]>>().swap(blocks);
        block_next = nullptr;
        block_left = 0;
    }
};

// A source of one FASTA track in letter form, read with the conversion notes that need no
// letters (sequence_warning not negative).
bool skippable_source(const SeqFileSet *source) {
    if (!source || source->ntracks != 1 || !source->tracks[0]) return false;
    const AlphabetInfo *a = alphabets[0];
    const SeqTrackFile *track = source->tracks[0];
    return (track->format == SEQFORMAT_FASTA || track->lib) && a && a->letters &&
           sequence_warning >= 0;
}

// read_or_skip_sequence for a library track: the entry is read whole, but the letters of one the
// filter drops are only checked for the notes of convertseq.
Sequence *read_or_skip_library_entry(SeqTrackFile *track, SeqIdFilter keep, void *context,
                                     bool *dropped, std::string &dropped_id) {
    char *letters = nullptr, *id = nullptr, *annotation = nullptr;
    int length = 0;
    if (!next_library_entry(track, &letters, &length, &id, &annotation)) return nullptr;
    if (!keep(id, context) && letters_skip_converted(reinterpret_cast<unsigned char *>(letters),
                                                     static_cast<size_t>(length), id, 0)) {
        dropped_id = id;
        free(letters);
        free(id);
        free(annotation);
        *dropped = true;
        return nullptr;
    }
    Sequence *seq = alloc_sequence(0, 1);
    store_track_entry(seq, 0, track, id, annotation, reinterpret_cast<unsigned char *>(letters),
                      length);
    return guarded(
        [&]() -> Sequence * {
            convertseq(seq);
            return seq;
        },
        [&] { free_sequence(seq); });
}

// The next entry of a skippable source as read_sequence(source, 1) gives it, when the filter
// keeps its ID. An entry the filter drops is read and checked with the same messages, in the
// same order, but nothing of it is kept: the result is null, *dropped is set and dropped_id
// holds its ID. Null without *dropped at the end of the source.
Sequence *read_or_skip_sequence(SeqFileSet *source, SeqIdFilter keep, void *context, bool *dropped,
                                std::string &dropped_id) {
    static std::string annot;
    *dropped = false;
    SeqTrackFile *track = source->tracks[0];
    if (track->lib) return read_or_skip_library_entry(track, keep, context, dropped, dropped_id);
    // As next_fasta_initial: a header cut off by the end of the file gives no entry.
    if (next_fasta_header(track, dropped_id, annot, true) == EOF || dropped_id.empty()) {
        track->done = 1;
        return nullptr;
    }
    if (!keep(dropped_id.c_str(), context) &&
        fasta_skip_body_converted(track, dropped_id.c_str(), 0)) {
        *dropped = true;
        return nullptr;
    }
    char *id = str_dup(dropped_id.c_str());
    char *annotation = annot.empty() ? nullptr : str_dup(annot.c_str());
    Sequence *seq = alloc_sequence(0, 1);
    bool taken = false;  // finish_track_entry owns the ID and annotation once it returns
    return guarded(
        [&]() -> Sequence * {
            finish_track_entry(track, seq, 0, id, annotation);
            taken = true;
            convertseq(seq);
            return seq;
        },
        [&] {
            if (!taken) {
                free(id);
                free(annotation);
            }
            free_sequence(seq);
        });
}

// read_sequences, also telling whether it stopped at the maximum with entries left. With a
// filter, every entry is still read and converted whole (so that its messages and checks are
// those of a whole read), but only those the filter keeps are added to the table; the others
// are noted in the tally and freed at once. Returns the number of entries read, kept or not.
int read_sequences_more(const char *filenames, const char *guidenames, int max_count,
                        SequenceTable *table, int convert, bool *more, SeqIdFilter keep = nullptr,
                        void *context = nullptr, ReadTally *tally = nullptr) {
    if (more) *more = false;
    SeqFileSet *source = open_sequences(filenames);
    SeqFileSet *guides = nullptr;
    int n = 0;
    guarded(
        [&] {
            guides = guidenames ? open_sequences(guidenames) : nullptr;
            // A filtered read of one FASTA track without guides: the entries the filter drops are
            // checked without being kept (see read_or_skip_sequence).
            const bool skipping = keep && tally && convert && !guides && skippable_source(source);
            std::string dropped_id;
            while (n < max_count) {
                if (skipping) {
                    bool dropped = false;
                    Sequence *seq =
                        read_or_skip_sequence(source, keep, context, &dropped, dropped_id);
                    if (dropped) {
                        n++;
                        tally->drop(dropped_id.c_str());
                        tally->reads++;
                        continue;
                    }
                    if (!seq) break;
                    n++;
                    add_seq_to_table(table, seq);
                    tally->kept_index.push_back(tally->reads);
                    tally->reads++;
                    continue;
                }
                Sequence *seq = read_sequence(source, convert);
                if (!seq) break;
                Sequence *guide = nullptr;
                if (guides)
                    guide = guarded([&] { return read_sequence(guides, convert); },
                                    [&] { free_sequence(seq); });
                n++;
                guarded([&] { apply_guide(seq, guide, nullptr, nullptr); },
                        [&] { free_sequence(seq); });
                if (keep && seq->id && !keep(seq->id, context)) {
                    if (tally) tally->drop(seq->id);
                    free_sequence(seq);
                } else {
                    add_seq_to_table(table, seq);
                    if (tally) tally->kept_index.push_back(tally->reads);
                }
                if (tally) tally->reads++;
            }
            if (n >= max_count && more) {
                Sequence *extra = read_sequence(source, 0);
                if (extra) *more = true;
                free_sequence(extra);
            }
            SeqFileSet *s = source;
            source = nullptr;
            close_sequences(s);
            s = guides;
            guides = nullptr;
            close_sequences(s);
        },
        [&] {
            close_sequences(source);
            close_sequences(guides);
        });
    return n;
}

}  // namespace

int read_sequences(const char *filenames, const char *guidenames, int max_count,
                   SequenceTable *table, int convert) {
    return read_sequences_more(filenames, guidenames, max_count, table, convert, nullptr);
}

int count_sequences(const char *filenames) {
    SeqFileSet *source = open_sequences(filenames);
    SeqTrackFile *first = source->ntracks > 0 ? source->tracks[0] : nullptr;
    if (!first) {
        close_sequences(source);
        error("Cannot count the sequences of %s: its first track is empty",
              shown_text(filenames).c_str());
    }
    int count = 0;
    if (first->format == SEQFORMAT_FASTA) {
        count = count_fasta(first);
    } else if (first->format == SEQFORMAT_HSSP) {
        count = first->item_count;
    } else {
        for (;;) {
            Sequence *seq = read_sequence(source, 0);
            if (!seq) break;
            free_sequence(seq);
            count++;
        }
    }
    close_sequences(source);
    return count;
}

void close_sequences(SeqFileSet *source) {
    if (!source) return;
    bool any_done = false;
    for (int t = 0; t < source->ntracks; t++)
        if (source->tracks[t] && source->tracks[t]->done) any_done = true;
    if (any_done) {
        for (int t = 0; t < source->ntracks; t++) {
            SeqTrackFile *track = source->tracks[t];
            if (!track || track->done) continue;
            Sequence *scratch = alloc_sequence(0, source->ntracks);
            if (read_sequence_track(track, scratch, t))
                fprintf(stderr, "Warning: sequence file %s longer than other tracks\n",
                        shown_text(track->name).c_str());
            free_sequence(scratch);
        }
    }
    SeqTrackFile *tracks[MAX_SEQ_TRACKS];
    for (int t = 0; t < MAX_SEQ_TRACKS; t++) {
        tracks[t] = source->tracks[t];
        source->tracks[t] = nullptr;
    }
    delete source;
    for (int t = 0; t < MAX_SEQ_TRACKS; t++) {
        SeqTrackFile *track = tracks[t];
        tracks[t] = nullptr;
        guarded([&] { free_track_file(track); },
                [&] {
                    for (int k = t + 1; k < MAX_SEQ_TRACKS; k++) free_track_file(tracks[k]);
                });
    }
}

// ---------------------------------------------------------------------------------------------
// Database file lists
// ---------------------------------------------------------------------------------------------

namespace {

int effective_max(int max_count) {
    return max_count <= 0 ? DEFAULT_MAX_DB_SEQUENCES : max_count;
}

// Reads the files of a list into the table, each with the remaining allowance. Warns once when
// the allowance ran out with entries left. Returns the number read.
int read_list_into(SequenceTable *table, int max_count, const char *const *files, int nfiles,
                   const char *const *guides, int nguides, SeqIdFilter keep = nullptr,
                   void *context = nullptr, ReadTally *tally = nullptr) {
    int total = 0;
    for (int i = 0; i < nfiles; i++) {
        int remaining = max_count - total;
        if (remaining <= 0) {
            fprintf(
                stderr,
                "Warning: stopped after %d sequences, the most one read takes; %s and any later "
                "database files were not read (raise the maximum sequence count to read them).\n",
                total, shown_text(files[i]).c_str());
            break;
        }
        bool more = false;
        total += read_sequences_more(files[i], nguides ? guides[i] : nullptr, remaining, table, 1,
                                     &more, keep, context, tally);
        if (more) {
            fprintf(stderr,
                    "Warning: stopped after %d sequences, the most one read takes; %s holds more "
                    "entries that were not read (raise the maximum sequence count to read them).\n",
                    total, shown_text(files[i]).c_str());
            break;
        }
    }
    return total;
}

void warn_repeated_id(const char *id) {
    fprintf(stderr,
            "Warning: sequence ID %s occurs more than once in the database files; the first one "
            "read is kept.\n",
            shown_text(id).c_str());
}

// With two database entries of one ID, the first read stays; each repeated ID is reported once,
// at its second occurrence. After a filtered read the repeats among the dropped entries are
// reported in the same read order.
void drop_duplicate_ids(SequenceTable *table, const ReadTally *tally = nullptr) {
    size_t next_repeat = 0;
    auto repeats_before = [&](long index) {
        while (tally && next_repeat < tally->repeats.size() &&
               tally->repeats[next_repeat].first < index)
            warn_repeated_id(tally->repeats[next_repeat++].second.c_str());
    };
    SeqIdSet set;
    bool removed = false;
    for (int k = 0; k < table->count; k++) {
        Sequence *seq = table->seqs[k];
        if (!seq || !seq->id) continue;
        size_t before = set.used;
        SeqIdSet::Slot *slot = id_set_find(&set, seq->id, id_hash(seq->id), true);
        if (set.used != before) continue;  // first of its ID
        if (slot->mark < 0) {
            slot->mark = 1;
            repeats_before(tally ? tally->kept_index[static_cast<size_t>(k)] : 0);
            warn_repeated_id(seq->id);
        }
        free_sequence(remove_seq_from_table(table, k));
        removed = true;
    }
    repeats_before(LONG_MAX);
    if (removed) compact_sequence_table(table);
}

const char *plural(int n) {
    return (n == 1 || n == -1) ? "" : "s";
}

}  // namespace

SequenceTable *read_seqfile_list(int *max_count, const char *const *files, int nfiles,
                                 const char *const *guides, int nguides) {
    int max = effective_max(*max_count);
    if (nguides != 0 && nguides != nfiles)
        error("Must specify same number of database and guide sequence files.\n");
    check_alphabet(nullptr);
    SequenceTable *table = alloc_sequence_table();
    *max_count = guarded([&] { return read_list_into(table, max, files, nfiles, guides, nguides); },
                         [&] { free_sequence_table(table); });
    return table;
}

int count_seqfile_list(const char *const *files, int nfiles) {
    check_alphabet(nullptr);
    long total = 0;
    for (int i = 0; i < nfiles; i++) total += count_sequences(files[i]);
    return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

// Segmented reading ---------------------------------------------------------------------------

namespace {

struct SegmentState {
    int segments = 1;
    int segment = 1;
    int chunk = 0;
    int nfiles = 0;
    int next_file = 0;
    std::vector<std::string> files;
    std::vector<std::string> guides;  // empty string: no guide
    SeqFileSet *source = nullptr;
    SeqFileSet *guide_source = nullptr;
    long seen = 0;
};
SegmentState seg;

void close_segment_sources() {
    close_sequences(seg.source);
    close_sequences(seg.guide_source);
    seg.source = nullptr;
    seg.guide_source = nullptr;
}

}  // namespace

void setup_segmented_read_seqfile_list(int chunk_size, const char *const *files, int nfiles,
                                       const char *const *guides, int nguides, int segment,
                                       int segment_count) {
    if (nfiles == 0) error("No database files found.  Use -db <filename>.");
    if (nguides != 0 && nguides != nfiles)
        error("Number of database files and database guide files must be the same.");
    if (segment > segment_count)
        error("Segment number (%d) is larger than number of segments (%d)", segment, segment_count);
    if (chunk_size < 1) error("Segment size must be at least 1 (got %d)", chunk_size);
    close_segment_sources();
    if (segment_count < 2) {
        seg.segments = 1;
        seg.segment = 1;
    } else {
        if (segment < 1) error("Segment number must be at least 1 (got %d)", segment);
        seg.segments = segment_count;
        seg.segment = segment;
    }
    seg.chunk = chunk_size;
    seg.nfiles = nfiles;
    seg.files.assign(files, files + nfiles);
    seg.guides.assign(nfiles, std::string());
    for (int i = 0; i < nguides; i++) seg.guides[i] = guides[i] ? guides[i] : "";
    seg.next_file = 0;
    seg.seen = 0;
}

int segmented_read_seqfile_list(SequenceTable *table) {
    if (!table) error("Segmented_read_seqfile_list passed null seqtable.");
    if (table->count != 0) error("Segmented_read_seqfile_list passed non-empty seqtable.");
    if (seg.chunk < 1) return 0;  // not set up
    int appended = 0;
    while (table->count < seg.chunk) {
        if (!seg.source) {
            if (seg.next_file >= seg.nfiles) return appended;
            int f = seg.next_file++;
            seg.source = open_sequences(seg.files[f].c_str());
            if (!seg.guides[f].empty()) seg.guide_source = open_sequences(seg.guides[f].c_str());
        }
        Sequence *seq = read_sequence(seg.source, 1);
        Sequence *guide = seg.guide_source ? read_sequence(seg.guide_source, 1) : nullptr;
        if (!seq) {
            free_sequence(guide);
            close_segment_sources();
            continue;
        }
        long s = seg.seen++;
        if (seg.segments > 1 && (s / seg.chunk) % seg.segments != seg.segment - 1) {
            free_sequence(seq);
            free_sequence(guide);
            continue;
        }
        int f = seg.next_file - 1;
        apply_guide(seq, guide, seg.files[f].c_str(), seg.guides[f].c_str());
        add_seq_to_table(table, seq);
        appended++;
        if (table->count >= seg.chunk) return appended;
    }
    return appended;
}

void cleanup_segmented_read_seqfile_list_exit_no_seq() {
    if (seg.segment >= 2 && seg.seen < static_cast<long>(seg.segment - 1) * seg.chunk)
        error("With %ld sequences and %d-sequence segments, segment %d is empty.", seg.seen,
              seg.chunk, seg.segment);
    if (seg.seen == 0) error("No sequences found in database files.\n");
    close_segment_sources();
    seg.files.clear();
    seg.guides.clear();
    seg.nfiles = 0;
    seg.next_file = 0;
}

// Selection -----------------------------------------------------------------------------------

SequenceTable *select_sequences(SequenceTable *table, int *count, const char *const *select_ids,
                                int nselect, const char *const *exclude_ids, int nexclude,
                                int mode) {
    if (nselect > 0) {
        sequence_sort(table);
        SequenceTable *selected = alloc_sequence_table();
        std::vector<char> taken(static_cast<size_t>(table->count), 0);
        for (int i = 0; i < nselect; i++) {
            const char *id = select_ids[i];
            if (!id) continue;
            int k = sequence_search(id, table);
            if (k < 0) {
                fprintf(stderr, "Unable to find sequence `%s'.\n", shown_text(id).c_str());
            } else if (taken[k]) {
                fprintf(stderr, "ID %s selected twice; skipping repeat.\n", shown_text(id).c_str());
            } else {
                taken[k] = 1;
                add_seq_to_table(selected, table->seqs[k]);
            }
        }
        for (int k = 0; k < table->count; k++) {
            if (!taken[k]) free_sequence(table->seqs[k]);
            table->seqs[k] = nullptr;
        }
        free_sequence_table(table);
        table = selected;
    }
    if (nexclude > 0) {
        sequence_sort(table);
        std::vector<char> gone(static_cast<size_t>(table->count), 0);
        bool removed = false;
        for (int i = 0; i < nexclude; i++) {
            const char *id = exclude_ids[i];
            if (!id) continue;
            int k = sequence_search(id, table);
            if (k < 0) {
                fprintf(stderr, "Unable to find sequence `%s' for exclusion.\n",
                        shown_text(id).c_str());
            } else if (!gone[k]) {
                gone[k] = 1;
                removed = true;
            }
        }
        if (removed) {
            for (int k = 0; k < table->count; k++)
                if (gone[k]) free_sequence(remove_seq_from_table(table, k));
            compact_sequence_table(table);
        }
    }
    if (mode == 1 && table->count == 0) {
        free_sequence_table(table);
        error("No sequences specified; exiting");
    }
    if (count) *count = table->count;
    return table;
}

namespace {

struct ListFilter {
    SeqIdFilter keep;
    void *context;
    std::unordered_set<std::string_view> named;  // the select and exclude IDs
};

bool list_filter_keep(const char *id, void *context) {
    const ListFilter *f = static_cast<const ListFilter *>(context);
    return f->keep(id, f->context) || (!f->named.empty() && f->named.count(id));
}

SequenceTable *read_select_impl(int *max_count, const char *const *files, int nfiles,
                                const char *const *guides, int nguides,
                                const char *const *select_ids, int nselect,
                                const char *const *exclude_ids, int nexclude, FILE *report,
                                FILE *report2, int mode, SeqIdFilter keep, void *context) {
    if (mode == 1 && nfiles <= 0) error("No sequence databases provided.  Use -db");
    int max = effective_max(*max_count);
    if (nguides != 0 && nguides != nfiles)
        error("Must specify same number of database and guide sequence files.\n");
    check_alphabet(nullptr);
    SequenceTable *table = alloc_sequence_table();
    ReadTally tally;
    int found = 0;
    guarded(
        [&] {
            if (keep) {
                // Every entry named by the select and exclude lists is read, so that the selection
                // and its messages are those of a whole read.
                ListFilter filter{keep, context, {}};
                for (int i = 0; i < nselect; i++)
                    if (select_ids[i]) filter.named.insert(select_ids[i]);
                for (int i = 0; i < nexclude; i++)
                    if (exclude_ids[i]) filter.named.insert(exclude_ids[i]);
                found = read_list_into(table, max, files, nfiles, guides, nguides, list_filter_keep,
                                       &filter, &tally);
            } else {
                found = read_list_into(table, max, files, nfiles, guides, nguides);
            }
        },
        [&] { free_sequence_table(table); });
    tally.finish();
    drop_duplicate_ids(table, keep ? &tally : nullptr);
    int selected = 0;
    table = select_sequences(table, &selected, select_ids, nselect, exclude_ids, nexclude,
                             keep ? 0 : mode);
    // Entries the filter skipped stay selected when no select list was given.
    if (nselect == 0) selected += static_cast<int>(tally.unique);
    if (mode == 1 && selected == 0) {
        free_sequence_table(table);
        error("No sequences specified; exiting");
    }
    if (report) {
        const bool message = report == stdout || report == stderr;
        const char *prefix = message ? "" : "% ";
        // On standard output or error the list is a message, its file names shown escaped; in a
        // report file it is data, written as given.
        std::vector<std::string> listed(files, files + nfiles);
        std::vector<char *> names;
        for (std::string &name : listed) {
            if (message) name = shown_text(name);
            names.push_back(&name[0]);
        }
        list_strings(report, names.data(), nfiles, "Database Files: ", prefix);
        if (nselect > 0)
            list_strings(report, const_cast<char **>(select_ids), nselect, "Select IDs: ", prefix);
        if (nexclude > 0)
            list_strings(report, const_cast<char **>(exclude_ids), nexclude,
                         "Exclude IDs: ", prefix);
        fprintf(report, "%sFound %d sequence%s in %d file%s; selected %d sequence%s\n", prefix,
                found, plural(found), nfiles, plural(nfiles), selected, plural(selected));
        flush_outputfile(report);
    }
    if (report2 && report2 != report) {
        fprintf(report2, "Found %d sequence%s in %d file%s; selected %d sequence%s\n", found,
                plural(found), nfiles, plural(nfiles), selected, plural(selected));
        flush_outputfile(report2);
    }
    *max_count = selected;
    return table;
}

}  // namespace

SequenceTable *read_select_seqfile_list(int *max_count, const char *const *files, int nfiles,
                                        const char *const *guides, int nguides,
                                        const char *const *select_ids, int nselect,
                                        const char *const *exclude_ids, int nexclude, FILE *report,
                                        FILE *report2, int mode) {
    return read_select_impl(max_count, files, nfiles, guides, nguides, select_ids, nselect,
                            exclude_ids, nexclude, report, report2, mode, nullptr, nullptr);
}

SequenceTable *read_select_seqfile_list_filtered(int *max_count, const char *const *files,
                                                 int nfiles, const char *const *guides, int nguides,
                                                 const char *const *select_ids, int nselect,
                                                 const char *const *exclude_ids, int nexclude,
                                                 FILE *report, FILE *report2, int mode,
                                                 SeqIdFilter keep, void *context) {
    return read_select_impl(max_count, files, nfiles, guides, nguides, select_ids, nselect,
                            exclude_ids, nexclude, report, report2, mode, keep, context);
}
