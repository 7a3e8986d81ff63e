// The alphabet table, letter lookup, track alphabets, user alphabets, background files and the
// alphabet listings.
#include "foundation/alphabet.h"
#include "sequences/seqio.h"  // up: start-up reads a sequence file to guess the alphabet

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "foundation/params.h"
#include "foundation/reader.h"
#include "foundation/scan.h"

// A built-in alphabet record: the regularizers and the lookup are left empty for
// init_alphabets to fill.
static constexpr AlphabetInfo builtin_alphabet(int id, const char *name, const char *comment,
                                               int length, int length_wild, int emit_length,
                                               int emit_length_wild, const char *letters,
                                               const char *conversions) {
    AlphabetInfo a{};
    a.id = id;
    a.name = name;
    a.comment = comment;
    a.length = length;
    a.length_wild = length_wild;
    a.emit_length = emit_length;
    a.emit_length_wild = emit_length_wild;
    a.letters = letters;
    a.conversions = conversions;
    return a;
}

// An empty user slot or the end record.
static constexpr AlphabetInfo empty_alphabet(int id) {
    AlphabetInfo a{};
    a.id = id;
    return a;
}

// The built-in alphabets in their fixed order, six empty user slots and the end record. The
// regularizers and lookups are filled by init_alphabets.
AlphabetInfo alphabet_table[ALPHABET_TABLE_SIZE] = {
    builtin_alphabet(DNA_ALPHABET_ID, "DNA", "DNA with R=Purine G/A and Y=Pyrimidine C/T", 4, 7, 4,
                     7, "AGCTRYN", "XN,UT"),
    builtin_alphabet(CODON_ALPHABET_ID, "CODON", "DNA codons in AAA G..C..TTT order", 4, 5, 64, 125,
                     "AGCTN", "XN,UT"),
    builtin_alphabet(RNA_ALPHABET_ID, "RNA", "RNA with R=Purine G/A and Y=Pyrimidine C/U", 4, 7, 4,
                     7, "AGCURYN", "XN,TU"),
    builtin_alphabet(PROTEIN_ALPHABET_ID, "protein", "Protein with B=N/D and Z=Q/E", 20, 23, 20, 23,
                     "ACDEFGHIKLMNPQRSTVWYBZX", nullptr),
    builtin_alphabet(DSSP_ALPHABET_ID, "DSSP", "DSSP Secondary structure alphabet", 8, 9, 8, 9,
                     "EHTSGBICX", "LC"),
    builtin_alphabet(EHL_ALPHABET_ID, "EHL", "Secondary structure alphabet", 3, 4, 3, 4, "EHCX",
                     "GH,LC,TC,SC,BC,IC"),
    builtin_alphabet(EHL2_ALPHABET_ID, "EHL2", "Secondary structure alphabet", 3, 4, 3, 4, "EHCX",
                     "GH,LC,TC,SC,BE,IH"),
    builtin_alphabet(EHTL_ALPHABET_ID, "EHTL", "Secondary structure alphabet", 4, 5, 4, 5, "EHTCX",
                     "GH,LC,SC,BC,IC"),
    builtin_alphabet(EHTL2_ALPHABET_ID, "EHTL2", "Secondary structure alphabet", 4, 5, 4, 5,
                     "EHTCX", "BE,GH,IH,LC,SC"),
    builtin_alphabet(EBHTL_ALPHABET_ID, "EBHTL", "Secondary structure alphabet", 5, 6, 5, 6,
                     "EBHTCX", "GH,IH,LC,SC"),
    builtin_alphabet(EBGHSTL_ALPHABET_ID, "EBGHSTL", "Secondary structure alphabet", 7, 8, 7, 8,
                     "EBGHSTCX", "IH,LC"),
    builtin_alphabet(EBGHTL_ALPHABET_ID, "EBGHTL", "Secondary structure alphabet", 6, 7, 6, 7,
                     "EBGHTCX", "IH,LC,SC"),
    builtin_alphabet(STRIDE_ALPHABET_ID, "STRIDE", "Full STRIDE Secondary structure alphabet", 7, 8,
                     7, 8, "EBGHITCX", "LC,SC"),
    builtin_alphabet(PB_ALPHABET_ID, "PB", "Protein blocks alphabet", 16, 17, 16, 17,
                     "ABCDEFGHIJKLMNOPX", nullptr),
    builtin_alphabet(STR_ALPHABET_ID, "STR", "Strand alphabet", 13, 14, 13, 14, "ABCEGHIMPQSTZX",
                     nullptr),
    builtin_alphabet(ANG_ALPHABET_ID, "ANG", "Quelmart angle alphabet without C (cis)", 10, 11, 10,
                     11, "EPGHLYDNTSX", nullptr),
    builtin_alphabet(QMR_ALPHABET_ID, "QMR", "Quelmart angle alphabet including C (cis)", 11, 12,
                     11, 12, "CDEGHLNPSTYX", nullptr),
    builtin_alphabet(TCO_ALPHABET_ID, "TCO", "Cosine dihedral alphabet", 4, 5, 4, 5, "EFGHX",
                     nullptr),
    builtin_alphabet(ALPHA_ALPHABET_ID, "ALPHA", "C-alpha dihedral alphabet", 11, 12, 11, 12,
                     "ABCDEFGHISTX", nullptr),
    builtin_alphabet(STR2_ALPHABET_ID, "STR2", "STR2 alphabet", 13, 14, 13, 14, "ABCEGHMPQSTYZX",
                     "IH,LC"),
    builtin_alphabet(CB_BURIAL_12_7_ALPHABET_ID, "CB_BURIAL_12_7", "CB_BURIAL_12_7 alphabet", 7, 8,
                     7, 8, "ABCDEFG", nullptr),
    builtin_alphabet(CB_BURIAL_14_7_ALPHABET_ID, "CB_BURIAL_14_7", "CB_BURIAL_14_7 alphabet", 7, 8,
                     7, 8, "ABCDEFG", nullptr),
    builtin_alphabet(CB_BURIAL_16_7_ALPHABET_ID, "CB_BURIAL_16_7", "CB_BURIAL_16_7 alphabet", 7, 8,
                     7, 8, "ABCDEFG", nullptr),
    builtin_alphabet(BURIAL_8_7_ALPHABET_ID, "BURIAL_8_7", "BURIAL_8_7 alphabet", 7, 8, 7, 8,
                     "ABCDEFG", nullptr),
    builtin_alphabet(BURIAL_9_7_ALPHABET_ID, "BURIAL_9_7", "BURIAL_9_7 alphabet", 7, 8, 7, 8,
                     "ABCDEFG", nullptr),
    builtin_alphabet(BURIAL_10_7_ALPHABET_ID, "BURIAL_10_7", "BURIAL_10_7 alphabet", 7, 8, 7, 8,
                     "ABCDEFG", nullptr),
    builtin_alphabet(CA_BURIAL_12_7_ALPHABET_ID, "CA_BURIAL_12_7", "CA_BURIAL_12_7 alphabet", 7, 8,
                     7, 8, "ABCDEFG", nullptr),
    builtin_alphabet(CA_BURIAL_14_7_ALPHABET_ID, "CA_BURIAL_14_7", "CA_BURIAL_14_7 alphabet", 7, 8,
                     7, 8, "ABCDEFG", nullptr),
    builtin_alphabet(28, "ABSSA7", "ABSSA7 alphabet", 7, 8, 7, 8, "BCDHGFE", nullptr),
    builtin_alphabet(29, "RELSA2", "RELSA2 alphabet", 2, 3, 2, 3, "BE", nullptr),
    builtin_alphabet(30, "RELSA3", "RELSA3 alphabet", 3, 4, 3, 4, "BIE", nullptr),
    builtin_alphabet(31, "RELSA7", "RELSA7 alphabet", 7, 8, 7, 8, "ABCDEFG", nullptr),
    builtin_alphabet(RELSA10_ALPHABET_ID, "RELSA10", "RELSA10 alphabet", 10, 11, 10, 11,
                     "ABCDEFGHIJ", nullptr),
    builtin_alphabet(NEAR_BACKBONE_11_ALPHABET_ID, "NEAR-BACKBONE-11", "Near Backbone 11 alphabet",
                     11, 12, 11, 12, "ABCDEFGHIJK", nullptr),
    builtin_alphabet(N_SEP_ALPHABET_ID, "n_sep", "Hbond Separation alphabet based on donor", 20, 21,
                     20, 21, "ABCDGHIJKLMNPQRSTUVWX", nullptr),
    builtin_alphabet(O_SEP_ALPHABET_ID, "o_sep", "Hbond Separation alphabet based on acceptor", 20,
                     21, 20, 21, "ABCDGHIJKLMNPQRSTUVWX", nullptr),
    builtin_alphabet(O_NOTOR_ALPHABET_ID, "o_notor", "Hbond Torsion angle alphabet based on donor",
                     8, 9, 8, 9, "ABGHMNPSX", nullptr),
    builtin_alphabet(N_NOTOR_ALPHABET_ID, "n_notor",
                     "Hbond Torsion angle alphabet based on acceptor", 8, 9, 8, 9, "ABGHMNPSX",
                     nullptr),
    builtin_alphabet(O_NOTOR2_ALPHABET_ID, "o_notor2",
                     "Hbond Torsion angle alphabet based on donor", 11, 12, 11, 12, "ABFGHIJMNPSX",
                     nullptr),
    builtin_alphabet(N_NOTOR2_ALPHABET_ID, "n_notor2",
                     "Hbond Torsion angle alphabet based on acceptor", 11, 12, 11, 12,
                     "ABFGHIMJNPSX", nullptr),
    empty_alphabet(USER_ALPHABET_ID),
    empty_alphabet(USER_ALPHABET_ID),
    empty_alphabet(USER_ALPHABET_ID),
    empty_alphabet(USER_ALPHABET_ID),
    empty_alphabet(USER_ALPHABET_ID),
    empty_alphabet(USER_ALPHABET_ID),
    empty_alphabet(END_ALPHABET_ID),
};

AlphabetInfo *alphabet = nullptr;
AlphabetInfo *alphabets[MAX_ALPHABET_TRACKS] = {};
int num_alphabets = 0;

namespace {

// Transition regularizer shared by every built-in alphabet and by user alphabets: into delete,
// into match, into insert, each from delete, match, insert.
const float builtin_trans_reg[9] = {1.886984f, 0.254944f, 0.376488f, 1.819972f, 15.52134f,
                                    3.764209f, 0.225758f, 0.265967f, 4.006562f};

// Background of the protein alphabet in its letter order ACDEFGHIKLMNPQRSTVWY.
const float protein_background[20] = {0.08713f, 0.03347f, 0.04687f, 0.04953f, 0.03977f,
                                      0.08861f, 0.03362f, 0.03689f, 0.08048f, 0.08536f,
                                      0.01475f, 0.04043f, 0.05068f, 0.03826f, 0.0409f,
                                      0.06958f, 0.05854f, 0.06472f, 0.01049f, 0.02992f};

// Storage of the user slots: the table records point into these.
struct UserSlotStore {
    std::string name;
    std::string letters;
    std::vector<unsigned char> digits;
};
UserSlotStore user_store[NUM_USER_ALPHABETS];

bool is_upper_ascii(int c) {
    return c >= 'A' && c <= 'Z';
}

// Match and insert regularizer of a built-in alphabet: the protein background for protein, and
// a uniform background over the base letters (or the 64 codons) for every other alphabet. The
// structure alphabets and CODON carry no measured statistics; uniform is the neutral choice.
void set_builtin_regularizers(AlphabetInfo *a) {
    std::memcpy(a->trans_reg, builtin_trans_reg, sizeof a->trans_reg);
    for (int i = 0; i < MAX_ALPHA_LENGTH; i++) a->match_reg[i] = 0.0f;
    if (a->id == PROTEIN_ALPHABET_ID) {
        for (int i = 0; i < 20; i++) a->match_reg[i] = protein_background[i];
    } else {
        int n = a->emit_length;
        if (n > MAX_ALPHA_LENGTH) n = MAX_ALPHA_LENGTH;
        for (int i = 0; i < n; i++) a->match_reg[i] = 1.0f / static_cast<float>(a->emit_length);
    }
    std::memcpy(a->insert_reg, a->match_reg, sizeof a->insert_reg);
}

// Builds the 256-entry lookup: every code maps to the catch-all, each letter (and the lower-case
// form of an upper-case letter) to its index, then each conversion pair F,T maps F (and its
// lower-case form) to the index T has at that moment.
void build_lookup(AlphabetInfo *a) {
    int catchall = a->length_wild - 1;
    if (catchall < 0) catchall = 0;
    for (int c = 0; c < 256; c++) a->lookup[c] = static_cast<signed char>(catchall);
    if (a->letters) {
        for (int k = 0; a->letters[k]; k++) {
            int c = static_cast<unsigned char>(a->letters[k]);
            a->lookup[c] = static_cast<signed char>(k);
            if (is_upper_ascii(c)) a->lookup[c + 32] = static_cast<signed char>(k);
        }
    }
    if (a->conversions) {
        const char *p = a->conversions;
        while (*p) {
            if (!p[1] || p[1] == ',') {
                fprintf(stderr, "Alphabet %s has a bad conversion string\n", a->name);
                break;
            }
            int from = static_cast<unsigned char>(p[0]);
            signed char to = a->lookup[static_cast<unsigned char>(p[1])];
            a->lookup[from] = to;
            if (is_upper_ascii(from)) a->lookup[from + 32] = to;
            p += 2;
            if (*p == ',') {
                p++;
            } else if (*p) {
                fprintf(stderr, "Alphabet %s has a bad conversion string\n", a->name);
                break;
            }
        }
    }
}

// Replaces an owned parameter string.
void set_param_string(char **var, const char *value) {
    free(*var);
    *var = str_dup(value);
}

// Records a as the alphabet of track: the track count grows, track 0 makes it current, and the
// alphabet parameter, when the user did not set it, takes its name.
void assign_track(AlphabetInfo *a, int track) {
    alphabets[track] = a;
    num_alphabets++;
    if (track == 0) {
        alphabet = a;
        if (var_changed(&alphabet_name) != 1) set_param_string(&alphabet_name, a->name);
    }
}

// Sequence kind (SEQKIND_*) of the letters of a sequence file, as the sequence-file format
// detection reports it.
int guess_sequence_kind(const char *filename) {
    int kind = SEQKIND_OTHER;
    seqfile_format_type(filename, nullptr, &kind, nullptr);
    return kind;
}

// Splits a parameter line at white space and ','.
std::vector<std::string> split_names(const char *line) {
    std::vector<std::string> out;
    NameList *list = parse_name_list(line);
    for (int i = 0; i < list->count; i++) out.emplace_back(list->name[i]);
    free(list);
    return out;
}

// Number of decimal digits used per number of a numeric alphabet of h numbers (0 .. h - 1).
int digits_for_count(int h) {
    if (h < 11) return 1;
    if (h < 101) return 2;
    return 3;
}

// The definition of an alphabet as alphabet_def writes it: its letters or its count.
std::string definition_text(const AlphabetInfo *a) {
    if (a->letters) return a->letters;
    return std::to_string(a->length_wild);
}

// Case-blind equality of two letter strings.
bool same_letters(const char *a, const char *b) {
    for (; *a && *b; a++, b++)
        if (std::toupper(static_cast<unsigned char>(*a)) !=
            std::toupper(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// Applies one (name, definition) pair of alphabet_def to a track.
void define_user_alphabet(const char *name, const char *def, int track, const char *prefix) {
    if (std::strcmp(def, "-") == 0) {
        init_alphabet_by_name(name, track, prefix);
        return;
    }
    bool numeric = std::isdigit(static_cast<unsigned char>(def[0])) != 0;
    long count = 0;
    if (numeric) {
        bool overflow = false;
        scan_long(def, def + std::strlen(def), &count, &overflow);
        if (overflow || count > INT_MAX) count = INT_MAX;
    }
    AlphabetInfo *old = alphabets[track];
    if (old) {
        if (capscomp(name, old->name) != 0)
            error("%s: alphabet is %s, tried to set it to %s.", prefix,
                  shown_text(old->name).c_str(), shown_text(name).c_str());
        if (numeric && !old->letters) {
            if (count != old->length_wild)
                error("%s: numeric alphabet is %s, is defined as %d tried to set it to %d.", prefix,
                      shown_text(old->name).c_str(), old->length_wild, static_cast<int>(count));
        } else if (numeric || !old->letters || !same_letters(old->letters, def)) {
            error("%s: alphabet is %s, is defined as \"%s\" tried to set it to \"%s\".", prefix,
                  shown_text(old->name).c_str(), definition_text(old).c_str(),
                  shown_text(def).c_str());
        }
        return;
    }

    int h;
    if (numeric) {
        if (count > MAX_NUMERIC_ALPHABET)
            error("%s: numeric alphabet %s is defined to be %d characters.  Only %d\n%s", prefix,
                  shown_text(name).c_str(), static_cast<int>(count), MAX_NUMERIC_ALPHABET,
                  "is permitted.  A larger limit needs a rebuilt program; ask its maintainers.");
        h = static_cast<int>(count);
    } else {
        h = static_cast<int>(std::strlen(def));
    }
    // The regularizer arrays and the signed 8-bit lookup hold at most MAX_ALPHA_LENGTH letters.
    if (h > MAX_ALPHA_LENGTH)
        error("%s: Length of alphabet %s exceeds MAX_ALPHA_LENGTH", prefix,
              shown_text(name).c_str());
    int slot = -1;
    for (int i = NUM_BUILTIN_ALPHABETS; i < NUM_BUILTIN_ALPHABETS + NUM_USER_ALPHABETS; i++) {
        if (!alphabet_table[i].name) {
            slot = i;
            break;
        }
    }
    if (slot < 0) error("%s: to many alphabet_def alphabets specified", prefix);
    if (h < 3) error("%s: minimum defined alphabet is two letters plus a wild character", prefix);
    std::string letters;
    if (!numeric) {
        for (const char *p = def; *p; p++) {
            unsigned char c = static_cast<unsigned char>(*p);
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
                error("%s: alphabet can only contain alphabetic characters, got \"%s\"", prefix,
                      shown_text(def).c_str());
            letters += static_cast<char>(std::toupper(c));
        }
        // A repeated letter would give two indices one lookup entry.
        for (size_t i = 0; i < letters.size(); i++)
            if (letters.find(letters[i], i + 1) != std::string::npos)
                error("%s: Letter %c is repeated in alphabet %s", prefix, letters[i], name);
    }

    UserSlotStore &store = user_store[slot - NUM_BUILTIN_ALPHABETS];
    AlphabetInfo *a = &alphabet_table[slot];
    store.name = name;
    store.letters = letters;
    a->id = USER_ALPHABET_ID;
    a->name = store.name.c_str();
    a->comment = nullptr;
    a->length = h - 1;
    a->length_wild = h;
    a->emit_length = h - 1;
    a->emit_length_wild = h;
    a->letters = numeric ? nullptr : store.letters.c_str();
    a->conversions = nullptr;
    if (numeric) {
        int d = digits_for_count(h);
        // Entries 0 .. h, each d digit values (0-9, not characters), least significant first;
        // digits that do not fit in d bytes (only in entry h itself) are left out.
        store.digits.assign(static_cast<size_t>(h + 1) * d, 0);
        for (int j = 0; j <= h; j++) {
            int v = j;
            for (int k = 0; k < d; k++) {
                store.digits[static_cast<size_t>(j) * d + k] = static_cast<unsigned char>(v % 10);
                v /= 10;
            }
        }
        a->digits = store.digits.data();
        a->digits_per_number = d;
    } else {
        store.digits.clear();
        a->digits = nullptr;
        a->digits_per_number = 0;
    }
    std::memcpy(a->trans_reg, alphabet_id_to_info(PROTEIN_ALPHABET_ID)->trans_reg,
                sizeof a->trans_reg);
    for (int i = 0; i < MAX_ALPHA_LENGTH; i++)
        a->match_reg[i] = i < h - 1 ? 1.0f / static_cast<float>(h - 1) : 0.0f;
    std::memcpy(a->insert_reg, a->match_reg, sizeof a->insert_reg);
    build_lookup(a);
    assign_track(a, track);
}

}  // namespace

void init_alphabets() {
    for (int i = 0; i < ALPHABET_TABLE_SIZE && alphabet_table[i].name; i++) {
        if (alphabet_table[i].id == USER_ALPHABET_ID) break;
        set_builtin_regularizers(&alphabet_table[i]);
        build_lookup(&alphabet_table[i]);
    }
}

AlphabetInfo *alphabet_id_to_info(int id) {
    for (int i = 0; i < NUM_BUILTIN_ALPHABETS; i++)
        if (alphabet_table[i].id == id) return &alphabet_table[i];
    error("alphabet_id_to_info: unknown alphabet id %d", id);
}

AlphabetInfo *find_alphabet_by_name(const char *name) {
    if (!name) return nullptr;
    for (int i = 0; i < ALPHABET_TABLE_SIZE && alphabet_table[i].name; i++)
        if (capscomp(name, alphabet_table[i].name) == 0) return &alphabet_table[i];
    return nullptr;
}

void init_alphabet_by_name(const char *name, int track, const char *prefix) {
    if (!prefix) prefix = "";
    if (track < 0 || track >= MAX_ALPHABET_TRACKS)
        error("%s: alphabet %s given for track %d; only %d tracks are possible", prefix,
              shown_text(name).c_str(), track + 1, MAX_ALPHABET_TRACKS);
    AlphabetInfo *a = find_alphabet_by_name(name);
    if (!a || a->id == USER_ALPHABET_ID) {
        std::string legal;
        for (int i = 0; i < ALPHABET_TABLE_SIZE - 1; i++)
            if (alphabet_table[i].name) {
                legal += "  ";
                legal += alphabet_table[i].name;
            }
        error("%s: Unrecognized alphabet %s\nLegal alphabets are: %s", prefix,
              shown_text(name).c_str(), legal.c_str());
    }
    if (a->emit_length_wild > MAX_ALPHA_LENGTH)
        error("%s: Length of alphabet %s exceeds MAX_ALPHA_LENGTH", prefix, a->name);
    AlphabetInfo *old = alphabets[track];
    if (old) {
        if (std::strcmp(old->name, a->name) != 0)
            error("alphabet is %s, trying to set it to %s.", old->name, a->name);
        return;
    }
    assign_track(a, track);
}

void check_alphabet(const char *filename) {
    if (alphabet) return;
    if (!filename) {
        filename = find_seq_file();
        if (!filename) error("No sequence file found to set alphabet.");
    }
    int kind = guess_sequence_kind(filename);
    int id;
    switch (kind) {
        case SEQKIND_DNA:
        case SEQKIND_NUCLEIC: id = DNA_ALPHABET_ID; break;
        case SEQKIND_RNA: id = RNA_ALPHABET_ID; break;
        case SEQKIND_PROTEIN: id = PROTEIN_ALPHABET_ID; break;
        default: error("No alphabet specified and file %s no help.", shown_text(filename).c_str());
    }
    AlphabetInfo *a = alphabet_id_to_info(id);
    AlphabetInfo *old = alphabets[0];
    if (old) {
        if (std::strcmp(old->name, a->name) != 0)
            error("alphabet is %s, trying to set it to %s.", old->name, a->name);
        alphabet = old;
        return;
    }
    assign_track(a, 0);
}

void process_alphabet(const char *line, int track, const char *prefix) {
    if (!prefix) prefix = "";
    std::vector<std::string> words = split_names(line);
    if (words.empty()) error("%s: alphabet must have a list of one or more alphabet names", prefix);
    bool is_def = capscomp(words[0].c_str(), "alphabet_def") == 0;
    int nvalues = static_cast<int>(words.size()) - 1;
    int ntracks;
    if (is_def) {
        if (nvalues == 0 || nvalues % 2 != 0)
            error("%s: alphabet_def must have a list of pairs of alphabet name and letters",
                  prefix);
        ntracks = nvalues / 2;
    } else {
        if (nvalues == 0)
            error("%s: alphabet must have a list of one or more alphabet names", prefix);
        ntracks = nvalues;
    }
    if (track >= 0 && ntracks > 1) error("%s: bug: number of tracks must be one", prefix);
    if (track >= MAX_ALPHABET_TRACKS)
        error("%s: track %d is beyond the %d sequence tracks", prefix, track, MAX_ALPHABET_TRACKS);
    if (ntracks > MAX_ALPHABET_TRACKS)
        error("%s: %d alphabets given; at most %d sequence tracks can have one", prefix, ntracks,
              MAX_ALPHABET_TRACKS);
    int first = track >= 0 ? track : 0;
    if (!is_def) {
        for (int i = 0; i < ntracks; i++)
            init_alphabet_by_name(words[1 + i].c_str(), first + i, prefix);
    } else {
        for (int i = 0; i < ntracks; i++)
            define_user_alphabet(words[1 + 2 * i].c_str(), words[2 + 2 * i].c_str(), first + i,
                                 prefix);
        std::string joined;
        for (int i = 1; i <= nvalues; i++) {
            if (i > 1) joined += ' ';
            joined += words[i];
        }
        set_param_string(&alphabet_def, joined.c_str());
    }
    if (track >= 0) alphabet = alphabets[track];
}

namespace {

// Words of a background-file line: separated by blanks, tabs, '=' and line ends.
std::vector<std::string> backfile_words(const std::string &line) {
    return split_tokens(line, " \t=\n\r");
}

// Reads the Order line of a stanza into order (one alphabet index per Order letter). Returns
// false, with the messages written, when the order is not a permutation of the base letters.
// file is the file name as messages show it.
bool read_backfile_order(const std::vector<std::string> &words, const AlphabetInfo *a,
                         const char *file, const char *name, std::vector<int> &order) {
    for (size_t k = 1; k < words.size(); k++) {
        if (words[k].size() != 1) {
            fprintf(stderr, "%s(%s): Order must be composed of single characters.\n", file, name);
            return false;
        }
        char ch = words[k][0];
        int idx = letter_index(a, ch);
        if (idx < 0 || idx >= a->length) {
            fprintf(stderr, "%s(%s): Order character %s is not an existing base character.\n", file,
                    name, shown_text(&ch, 1).c_str());
            std::string base(a->letters, static_cast<size_t>(a->length));
            std::string wild = a->letters + a->length;
            fprintf(stderr, "%s(%s): The characters are %s (do not include wildcards like %s)\n",
                    file, name, base.c_str(), wild.c_str());
            return false;
        }
        order.push_back(idx);
    }
    bool ok = true;
    if (static_cast<int>(order.size()) != a->length) {
        fprintf(stderr, "%s(%s): %d characters in Order; but alphabet length is %d.\n", file, name,
                static_cast<int>(order.size()), a->length);
        ok = false;
    }
    std::vector<int> named(static_cast<size_t>(a->length), 0);
    for (int idx : order) named[static_cast<size_t>(idx)]++;
    for (int k = 0; k < a->length; k++) {
        if (named[static_cast<size_t>(k)] > 1) {
            fprintf(stderr, "%s(%s): %d Order characters map to single character %c.\n", file, name,
                    named[static_cast<size_t>(k)], a->letters[k]);
            ok = false;
        } else if (named[static_cast<size_t>(k)] == 0) {
            fprintf(stderr, "%s(%s): No Order character maps to character %c.\n", file, name,
                    a->letters[k]);
            ok = false;
        }
    }
    return ok;
}

// The regularizer index that Probs value i (in file order) of a stanza with a sound order sets.
int backfile_slot(const AlphabetInfo *a, const std::vector<int> &order, int i) {
    if (a->id == CODON_ALPHABET_ID)
        return 16 * order[static_cast<size_t>(i / 16)] + 4 * order[static_cast<size_t>(i / 4 % 4)] +
               order[static_cast<size_t>(i % 4)];
    return order[static_cast<size_t>(i)];
}

// True when the first emit entries of reg, with the slots of the first values replaced by them
// (as float), have a positive total.
bool background_keeps_weight(const float *reg, int emit, const std::vector<int> &slots,
                             const std::vector<double> &values) {
    std::vector<float> after(reg, reg + emit);
    for (size_t i = 0; i < slots.size(); i++)
        after[static_cast<size_t>(slots[i])] = static_cast<float>(values[i]);
    double total = 0;
    for (float v : after) total += v;
    return total > 0;
}

// Applies the Probs line (line number line_no) of a stanza with a sound order. A value that is
// not a finite non-negative number a regularizer can hold refuses the whole line, and so do
// values that leave a background summing to 0: reported with its line, the stanza skipped and
// nothing changed. file is the file name as messages show it.
void apply_backfile_probs(const std::vector<std::string> &words, AlphabetInfo *a,
                          const std::vector<int> &order, const char *file, const char *name,
                          long line_no) {
    int emit = a->emit_length < MAX_ALPHA_LENGTH ? a->emit_length : MAX_ALPHA_LENGTH;
    std::vector<double> values;
    for (size_t k = 1; k < words.size(); k++) {
        const char *text = words[k].c_str(), *text_end = text + std::strlen(text);
        double v = 0;
        if (scan_double(text, text_end, &v, nullptr, C_FORMS) != text_end || text == text_end)
            break;  // the numbers end at the first word that is not one
        if (!std::isfinite(static_cast<float>(v)) || v < 0) {
            fprintf(stderr,
                    "%s(%s): Probs value %s on line %ld is not a finite non-negative number.\n",
                    file, name, text, line_no);
            fprintf(stderr, "%s(%s): Skipping probability assignments.\n", file, name);
            return;
        }
        values.push_back(v);
    }
    std::vector<int> slots;
    for (int i = 0; i < emit && i < static_cast<int>(values.size()); i++)
        slots.push_back(backfile_slot(a, order, i));
    if (!slots.empty() && (!background_keeps_weight(a->match_reg, emit, slots, values) ||
                           !background_keeps_weight(a->insert_reg, emit, slots, values))) {
        fprintf(stderr, "%s(%s): Probs on line %ld leave a background that sums to 0.\n", file,
                name, line_no);
        fprintf(stderr, "%s(%s): Skipping probability assignments.\n", file, name);
        return;
    }
    for (size_t i = 0; i < slots.size(); i++) {
        a->match_reg[slots[i]] = static_cast<float>(values[i]);
        a->insert_reg[slots[i]] = static_cast<float>(values[i]);
    }
    int given = static_cast<int>(values.size());
    if (given > emit)
        fprintf(stderr, "%s(%s): %d Probs given; the %d beyond the %d expected are ignored.\n",
                file, name, given, given - emit, emit);
    if (given >= emit)
        fprintf(stderr, "%s(%s): Replacing background with Probs from file.\n", file, name);
    else
        fprintf(stderr, "%s(%s): Missing Probs (%d expected); only some Probs changed.\n", file,
                name, a->emit_length);
}

// Writes one regularizer of a listing, four entries a line, and its total.
void print_regularizer(FILE *out, const AlphabetInfo *a, const float *reg, const char *what) {
    int emit = a->emit_length < MAX_ALPHA_LENGTH ? a->emit_length : MAX_ALPHA_LENGTH;
    double total = 0.0;
    for (int i = 0; i < emit; i++) {
        if (i % 4 == 0) fputc('\n', out);
        if (a->id == CODON_ALPHABET_ID && a->letters)
            fprintf(out, " %c%c%c %9.6f  ", a->letters[i / 16 % 4], a->letters[i / 4 % 4],
                    a->letters[i % 4], reg[i]);
        else if (a->letters)
            fprintf(out, " %c %9.6f  ", a->letters[i], reg[i]);
        else
            fprintf(out, " %*d %9.6f  ", a->digits_per_number, i, reg[i]);
        total += reg[i];
    }
    fprintf(out, "\n# Total %s regularizer weight is %9.6f\n", what, total);
}

}  // namespace

void process_alphabet_backfile(FILE *fp, const char *filename) {
    std::vector<AlphabetInfo *> candidates;
    if (num_alphabets > 0) {
        for (int t = 0; t < num_alphabets && t < MAX_ALPHABET_TRACKS; t++)
            if (alphabets[t]) candidates.push_back(alphabets[t]);
    } else {
        for (int i = 0; i < NUM_BUILTIN_ALPHABETS; i++) candidates.push_back(&alphabet_table[i]);
    }
    // The reader is released also when a fatal error is thrown (tests, fuzzing).
    struct Reading {
        InputReader in;
        ~Reading() { reader_free(&in); }
    } reading;
    InputReader *in = &reading.in;
    reader_init(in, fp, filename);
    in->max_line = BACKFILE_MAX_LINE;
    const std::string file = shown_text(filename);  // the name as messages show it
    std::string line;
    bool pending = false;  // line holds a line that a failed stanza did not use
    while (pending || reader_line_copy(in, line)) {
        pending = false;
        if (line.empty() || (line[0] != 'A' && line[0] != 'a')) continue;
        std::vector<std::string> words = backfile_words(line);
        if (words.size() < 2 || capscomp(words[0].c_str(), "Alphabet") != 0) continue;
        std::string name = words[1];
        AlphabetInfo *a = nullptr;
        for (AlphabetInfo *c : candidates) {
            if (capscomp(name.c_str(), c->name) == 0) {
                a = c;
                break;
            }
        }
        if (!a) continue;
        const char *an = name.c_str();

        std::vector<int> order;
        // The words of the next line when its first word is key; else the two warnings, and the
        // line is held for the next stanza.
        auto keyword_line = [&](const char *key) {
            bool have = reader_line_copy(in, line);
            words = have ? backfile_words(line) : std::vector<std::string>();
            if (!words.empty() && capscomp(words[0].c_str(), key) == 0) return true;
            fprintf(stderr, "%s(%s): %s required after Alphabet.\n", file.c_str(), an, key);
            fprintf(stderr, "%s(%s): Skipping probability assignments.\n", file.c_str(), an);
            pending = have;
            return false;
        };
        if (a->letters) {
            if (!keyword_line("Order")) continue;
            if (!read_backfile_order(words, a, file.c_str(), an, order)) {
                fprintf(stderr, "%s(%s): Skipping probability assignments.\n", file.c_str(), an);
                continue;
            }
        } else {
            for (int k = 0; k < a->length; k++) order.push_back(k);
        }
        if (!keyword_line("Probs")) continue;
        apply_backfile_probs(words, a, order, file.c_str(), an, in->line_number);
    }
}

void print_alphabet_info(FILE *out, const AlphabetInfo *a) {
    if (!a || a->id == END_ALPHABET_ID) return;
    fprintf(out, "#InternalID:        %d\n", a->id);
    fprintf(out, "Name:          %s\n", a->name ? a->name : "<none>");
    fprintf(out, "Comment:       %s\n", a->comment ? a->comment : "<none>");
    fprintf(out, "Length:        %-3d\n", a->length);
    fprintf(out, "WildCards:     %-3d\n", a->length_wild - a->length);
    fprintf(out, "FLength:       %-3d\n", a->emit_length);
    fprintf(out, "FWildCards:    %-3d\n", a->emit_length_wild - a->emit_length);
    fprintf(out, "Letters:       %s\n", a->letters ? a->letters : "<numeric alphabet>");
    fprintf(out, "Convert:       %s\n", a->conversions ? a->conversions : "<none>");
    fputs("MatchRegularizer:", out);
    print_regularizer(out, a, a->match_reg, "match");
    fputs("InsertRegularizer:", out);
    print_regularizer(out, a, a->insert_reg, "insert");
    const float *t = a->trans_reg;
    fputs("TransitionRegularlizer:\n", out);
    fprintf(out, " IntoDeleteFrom:  D %9.6f M %9.6f I %9.6f\n", t[0], t[1], t[2]);
    fprintf(out, " IntoMatchFrom:   D %9.6f M %9.6f I %9.6f\n", t[3], t[4], t[5]);
    fprintf(out, " IntoInsertFrom:  D %9.6f M %9.6f I %9.6f\n", t[6], t[7], t[8]);
}

void print_internal_alphabet_info(FILE *out) {
    for (int i = 0; i < ALPHABET_TABLE_SIZE && alphabet_table[i].id != END_ALPHABET_ID; i++) {
        fputs("############################################\n", out);
        print_alphabet_info(out, &alphabet_table[i]);
    }
}

void print_set_alphabet_info(FILE *out) {
    for (int t = 0; t < MAX_ALPHABET_TRACKS; t++) {
        fprintf(out, "########### Track %d alphabet ##############\n", t);
        print_alphabet_info(out, alphabets[t]);
    }
}

void print_alphabet(FILE *out, int ntracks) {
    if (ntracks > MAX_ALPHABET_TRACKS) ntracks = MAX_ALPHABET_TRACKS;
    bool user = false;
    for (int t = 0; t < ntracks; t++)
        if (alphabets[t] && alphabets[t]->id == USER_ALPHABET_ID) user = true;
    fputs(user ? "alphabet_def " : "alphabet ", out);
    bool first = true;
    for (int t = 0; t < ntracks; t++) {
        const AlphabetInfo *a = alphabets[t];
        if (!a) continue;
        if (!first) fputc(',', out);
        first = false;
        if (!user)
            fputs(a->name, out);
        else if (a->id != USER_ALPHABET_ID)
            fprintf(out, "%s,-", a->name);
        else if (a->letters)
            fprintf(out, "%s,%s", a->name, a->letters);
        else
            fprintf(out, "%s,%d", a->name, a->length_wild);
    }
    fputc('\n', out);
}

void reset_alphabets() {
    alphabet = nullptr;
    for (int t = 0; t < MAX_ALPHABET_TRACKS; t++) alphabets[t] = nullptr;
    num_alphabets = 0;
    for (int i = 0; i < NUM_USER_ALPHABETS; i++) {
        AlphabetInfo &a = alphabet_table[NUM_BUILTIN_ALPHABETS + i];
        a = AlphabetInfo{USER_ALPHABET_ID, nullptr, nullptr, 0,  0,  0,       0, nullptr,
                         nullptr,          {},      {},      {}, {}, nullptr, 0};
        user_store[i] = UserSlotStore();
    }
    init_alphabets();
}
