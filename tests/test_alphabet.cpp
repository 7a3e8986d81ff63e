// Alphabet table, lookups, track alphabets, user alphabets, background files and listings.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "testutil.h"

namespace {

class Alphabet : public LibraryTest {};

// What a background file makes the reader write on standard error.
std::string read_backfile(const std::string &text, const char *name = "bg.txt") {
    FILE *fp = tmpfile();
    fputs(text.c_str(), fp);
    rewind(fp);
    testing::internal::CaptureStderr();
    process_alphabet_backfile(fp, name);
    std::string err = testing::internal::GetCapturedStderr();
    fclose(fp);
    return err;
}

// Entries [first, first + count) of a numeric alphabet's digit table, each digit value shown as
// its character.
std::string digit_text(const AlphabetInfo *a, int first, int count) {
    std::string s;
    for (int k = first * a->digits_per_number; k < (first + count) * a->digits_per_number; k++)
        s += static_cast<char>(a->digits[k] < 10 ? '0' + a->digits[k] : '?');
    return s;
}

AlphabetInfo *byname(const char *n) {
    for (int i = 0; i < NUM_BUILTIN_ALPHABETS; i++)
        if (std::strcmp(alphabet_table[i].name, n) == 0) return &alphabet_table[i];
    return nullptr;
}

TEST_F(Alphabet, TableLayout) {
    const int ids[NUM_BUILTIN_ALPHABETS] = {1,  34, 2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 18, 12,
                                            13, 14, 17, 15, 16, 19, 20, 21, 22, 23, 24, 25, 26, 27,
                                            28, 29, 30, 31, 32, 33, 35, 36, 38, 37, 40, 39};
    for (int i = 0; i < NUM_BUILTIN_ALPHABETS; i++) {
        const AlphabetInfo &a = alphabet_table[i];
        EXPECT_EQ(a.id, ids[i]) << i;
        ASSERT_NE(a.name, nullptr);
        if (a.id != CODON_ALPHABET_ID) {
            EXPECT_EQ(a.emit_length, a.length) << a.name;
            EXPECT_EQ(a.emit_length_wild, a.length_wild) << a.name;
        }
        // Letters cover at least the base letters; at most one catch-all beyond them.
        int n = static_cast<int>(std::strlen(a.letters));
        EXPECT_TRUE(n == a.length_wild || (n == a.length && a.length_wild == a.length + 1))
            << a.name;
        double sum = 0;
        for (int k = 0; k < a.emit_length; k++) sum += a.match_reg[k];
        EXPECT_NEAR(sum, 1.0, 1e-4) << a.name;
        for (int k = a.emit_length; k < MAX_ALPHA_LENGTH; k++) EXPECT_EQ(a.match_reg[k], 0.0f);
        EXPECT_EQ(0, std::memcmp(a.match_reg, a.insert_reg, sizeof a.match_reg)) << a.name;
        EXPECT_FLOAT_EQ(a.trans_reg[4], 15.52134f);
    }
    for (int i = NUM_BUILTIN_ALPHABETS; i < NUM_BUILTIN_ALPHABETS + NUM_USER_ALPHABETS; i++) {
        EXPECT_EQ(alphabet_table[i].id, USER_ALPHABET_ID);
        EXPECT_EQ(alphabet_table[i].name, nullptr);
    }
    EXPECT_EQ(alphabet_table[ALPHABET_TABLE_SIZE - 1].id, 0);
    AlphabetInfo *codon = byname("CODON");
    EXPECT_EQ(codon->emit_length, 64);
    EXPECT_EQ(codon->emit_length_wild, 125);
    EXPECT_FLOAT_EQ(byname("protein")->match_reg[19], 0.02992f);  // Y
    EXPECT_FLOAT_EQ(byname("DNA")->match_reg[2], 0.25f);
}

TEST_F(Alphabet, Lookups) {
    AlphabetInfo *dna = byname("DNA");
    EXPECT_EQ(letter_index(dna, 'A'), 0);
    EXPECT_EQ(letter_index(dna, 'a'), 0);
    EXPECT_EQ(letter_index(dna, 'U'), 3);
    EXPECT_EQ(letter_index(dna, 'u'), 3);
    EXPECT_EQ(letter_index(dna, 'X'), 6);
    EXPECT_EQ(letter_index(dna, 'x'), 6);
    EXPECT_EQ(letter_index(dna, '*'), 6);
    EXPECT_EQ(letter_index(dna, '-'), 6);
    EXPECT_EQ(letter_index(dna, 'r'), 4);
    AlphabetInfo *rna = byname("RNA");
    EXPECT_EQ(letter_index(rna, 't'), 3);
    AlphabetInfo *prot = byname("protein");
    EXPECT_EQ(letter_index(prot, 'B'), 20);
    EXPECT_EQ(letter_index(prot, 'z'), 21);
    EXPECT_EQ(letter_index(prot, 'J'), 22);
    EXPECT_EQ(letter_index(prot, 'O'), 22);
    EXPECT_EQ(letter_index(prot, 'w'), 18);
    // Every byte value has an index; bytes above 127 and the codes 32 above lower-case letters
    // are not letters.
    for (int c = 0; c < 256; c++) {
        int k = letter_index(prot, c);
        EXPECT_GE(k, 0);
        EXPECT_LT(k, prot->length_wild);
        bool letter =
            std::strchr("ACDEFGHIKLMNPQRSTVWYBZX", std::toupper(c)) && c < 128 && std::isalpha(c);
        if (!letter) {
            EXPECT_EQ(k, 22) << c;
        }
    }
    EXPECT_EQ(letter_index(prot, static_cast<char>(0xC1)), 22);  // 'A' + 128
    EXPECT_EQ(letter_index(prot, static_cast<char>(0xE1)), 22);  // 'a' + 128
    // DSSP (EHTSGBICX): L is read as C, index 7.
    EXPECT_EQ(letter_index(byname("DSSP"), 'C'), 7);
    EXPECT_EQ(letter_index(byname("DSSP"), 'L'), 7);
    EXPECT_EQ(letter_index(byname("DSSP"), 'l'), 7);
    AlphabetInfo *relsa2 = byname("RELSA2");
    EXPECT_EQ(letter_index(relsa2, 'E'), 1);
    EXPECT_EQ(letter_index(relsa2, 'Q'), 2);
    EXPECT_EQ(wildcard_index(relsa2), 2);
    // EHL2: B converts to E, I to H, G to H.
    AlphabetInfo *ehl2 = byname("EHL2");
    EXPECT_EQ(letter_index(ehl2, 'b'), 0);
    EXPECT_EQ(letter_index(ehl2, 'I'), 1);
    EXPECT_EQ(letter_index(ehl2, 'g'), 1);
    EXPECT_EQ(letter_index(ehl2, 'S'), 2);
}

// The lookup of every built-in alphabet, in table order, for all 256 byte values (worked out by
// tests/data/alphabet_make_golden.py from the letters and conversion pairs).
TEST_F(Alphabet, AllLookupsOfTheTable) {
    std::istringstream in(read_text(test_data("alphabet_lookups.txt")));
    std::string name;
    int i = 0;
    while (in >> name) {
        ASSERT_LT(i, NUM_BUILTIN_ALPHABETS);
        const AlphabetInfo &a = alphabet_table[i];
        EXPECT_EQ(name, a.name) << i;
        for (int c = 0; c < 256; c++) {
            int want = -1;
            in >> want;
            EXPECT_EQ(letter_index(&a, static_cast<char>(c)), want) << a.name << " byte " << c;
        }
        i++;
    }
    EXPECT_EQ(i, NUM_BUILTIN_ALPHABETS);
}

TEST_F(Alphabet, BadConversionString) {
    AlphabetInfo *dna = byname("DNA");
    const char *saved = dna->conversions;
    dna->conversions = "XN;UT";  // the pairs after a bad separator are not applied
    testing::internal::CaptureStderr();
    init_alphabets();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Alphabet DNA has a bad conversion string\n");
    EXPECT_EQ(letter_index(dna, 'x'), 6);
    EXPECT_EQ(letter_index(dna, 'U'), 6);
    dna->conversions = "UT,X";  // an incomplete last pair
    testing::internal::CaptureStderr();
    init_alphabets();
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Alphabet DNA has a bad conversion string\n");
    EXPECT_EQ(letter_index(dna, 'u'), 3);
    dna->conversions = saved;
    init_alphabets();
    EXPECT_EQ(letter_index(dna, 'U'), 3);
}

TEST_F(Alphabet, IdLookup) {
    EXPECT_EQ(alphabet_id_to_info(PROTEIN_ALPHABET_ID)->name, std::string("protein"));
    EXPECT_EQ(alphabet_id_to_info(O_NOTOR2_ALPHABET_ID)->name, std::string("o_notor2"));
    // User slots and the end record are not looked up by id.
    EXPECT_EQ(fatal_of([] { alphabet_id_to_info(USER_ALPHABET_ID); }),
              "alphabet_id_to_info: unknown alphabet id 41");
    EXPECT_EQ(fatal_of([] { alphabet_id_to_info(END_ALPHABET_ID); }),
              "alphabet_id_to_info: unknown alphabet id 0");
}

TEST_F(Alphabet, ByName) {
    init_alphabet_by_name("Protein", 0, "p: ");
    ASSERT_EQ(alphabet, byname("protein"));
    EXPECT_EQ(alphabets[0], alphabet);
    EXPECT_EQ(num_alphabets, 1);
    ASSERT_NE(alphabet_name, nullptr);
    EXPECT_STREQ(alphabet_name, "protein");
    // The same name again changes nothing; another is refused.
    init_alphabet_by_name("PROTEIN", 0, "p: ");
    EXPECT_EQ(num_alphabets, 1);
    EXPECT_EQ(fatal_of([] { init_alphabet_by_name("DNA", 0, "p: "); }),
              "alphabet is protein, trying to set it to DNA.");
    // Separators inside a name are skipped.
    init_alphabet_by_name("n-sep", 1, "p: ");
    EXPECT_EQ(alphabets[1], byname("n_sep"));
    EXPECT_EQ(alphabet, byname("protein"));
    EXPECT_STREQ(alphabet_name, "protein");
    EXPECT_EQ(num_alphabets, 2);
}

TEST_F(Alphabet, UnknownNameListsLegalAlphabets) {
    process_alphabet("alphabet_def mine,ABCX", -1, "x: ");
    std::string msg = fatal_of([] { init_alphabet_by_name("mine", 1, "cmd(0): "); });
    std::string want = "cmd(0): : Unrecognized alphabet mine\nLegal alphabets are: ";
    for (int i = 0; i < NUM_BUILTIN_ALPHABETS; i++)
        want += std::string("  ") + alphabet_table[i].name;
    want += "  mine";
    EXPECT_EQ(msg, want);
    EXPECT_EQ(alphabets[1], nullptr);
}

TEST_F(Alphabet, AlphabetLines) {
    process_alphabet("alphabet DNA,protein", -1, "f(1): ");
    EXPECT_EQ(alphabets[0], byname("DNA"));
    EXPECT_EQ(alphabets[1], byname("protein"));
    EXPECT_EQ(alphabet, byname("DNA"));
    EXPECT_EQ(num_alphabets, 2);
    EXPECT_STREQ(alphabet_name, "DNA");
    EXPECT_EQ(output_of([](FILE *f) { print_alphabet(f, 2); }), "alphabet DNA,protein\n");
    // A track given explicitly takes one name and becomes current.
    process_alphabet("a RNA", 2, "f(2): ");
    EXPECT_EQ(alphabet, byname("RNA"));
    EXPECT_EQ(output_of([](FILE *f) { print_alphabet(f, 3); }), "alphabet DNA,protein,RNA\n");
}

TEST_F(Alphabet, AlphabetLineErrors) {
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet", -1, "f(1): "); }),
              "f(1): : alphabet must have a list of one or more alphabet names");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def", -1, "f(1): "); }),
              "f(1): : alphabet_def must have a list of pairs of alphabet name and letters");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet-def x,ABCX,y", -1, "f(1): "); }),
              "f(1): : alphabet_def must have a list of pairs of alphabet name and letters");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet DNA RNA", 0, "f(1): "); }),
              "f(1): : bug: number of tracks must be one");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def a,ABX,b,CDX", 1, "f(1): "); }),
              "f(1): : bug: number of tracks must be one");
    // Seven tracks: refused before any is set.
    EXPECT_EQ(
        fatal_of([] { process_alphabet("alphabet DNA,DNA,DNA,DNA,DNA,DNA,DNA", -1, "f(1): "); }),
        "f(1): : 7 alphabets given; at most 6 sequence tracks can have one");
    EXPECT_EQ(fatal_of([] {
                  process_alphabet("alphabet_def a,-,b,-,c,-,d,-,e,-,f,-,g,ABX", -1, "f(1): ");
              }),
              "f(1): : 7 alphabets given; at most 6 sequence tracks can have one");
    EXPECT_EQ(num_alphabets, 0);
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet DNA", 6, "f(1): "); }),
              "f(1): : track 6 is beyond the 6 sequence tracks");
    // Six tracks are fine.
    process_alphabet("alphabet DNA,DNA,DNA,DNA,DNA,protein", -1, "f(1): ");
    EXPECT_EQ(num_alphabets, 6);
    EXPECT_EQ(alphabets[5], byname("protein"));
}

TEST_F(Alphabet, LetteredUserAlphabet) {
    process_alphabet("alphabet_def myalpha,acgtx", -1, "f(1): ");
    AlphabetInfo *a = alphabets[0];
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, &alphabet_table[NUM_BUILTIN_ALPHABETS]);
    EXPECT_EQ(alphabet, a);
    EXPECT_EQ(a->id, USER_ALPHABET_ID);
    EXPECT_STREQ(a->name, "myalpha");
    EXPECT_STREQ(a->letters, "ACGTX");
    EXPECT_EQ(a->length, 4);
    EXPECT_EQ(a->length_wild, 5);
    EXPECT_EQ(a->emit_length, 4);
    EXPECT_EQ(a->emit_length_wild, 5);
    EXPECT_EQ(a->conversions, nullptr);
    EXPECT_EQ(a->digits, nullptr);
    EXPECT_EQ(letter_index(a, 'c'), 1);
    EXPECT_EQ(letter_index(a, 'Z'), 4);
    EXPECT_EQ(letter_index(a, 'x'), 4);
    for (int i = 0; i < 4; i++) EXPECT_FLOAT_EQ(a->match_reg[i], 0.25f);
    EXPECT_EQ(a->match_reg[4], 0.0f);
    EXPECT_FLOAT_EQ(a->insert_reg[3], 0.25f);
    EXPECT_EQ(0, std::memcmp(a->trans_reg, byname("protein")->trans_reg, sizeof a->trans_reg));
    EXPECT_STREQ(alphabet_def, "myalpha acgtx");
    EXPECT_STREQ(alphabet_name, "myalpha");
    // The same definition again changes nothing.
    process_alphabet("alphabet_def myalpha,ACGTX", -1, "f(2): ");
    EXPECT_EQ(num_alphabets, 1);
    EXPECT_EQ(alphabet_table[NUM_BUILTIN_ALPHABETS + 1].name, nullptr);
    EXPECT_EQ(output_of([](FILE *f) { print_alphabet(f, 1); }), "alphabet_def myalpha,ACGTX\n");
}

TEST_F(Alphabet, NumericUserAlphabet) {
    process_alphabet("alphabet_def DNA,-,nums,21", -1, "f(1): ");
    EXPECT_EQ(alphabets[0], byname("DNA"));
    AlphabetInfo *a = alphabets[1];
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->letters, nullptr);
    EXPECT_TRUE(alphabet_is_numeric(a));
    EXPECT_EQ(a->length, 20);
    EXPECT_EQ(a->length_wild, 21);
    EXPECT_EQ(a->digits_per_number, 2);
    for (int i = 0; i < 20; i++) EXPECT_FLOAT_EQ(a->match_reg[i], 0.05f);
    for (int c = 0; c < 256; c++) EXPECT_EQ(letter_index(a, c), 20);
    // 22 entries of 2 digit values (not characters), least significant first.
    ASSERT_NE(a->digits, nullptr);
    EXPECT_EQ(a->digits[0], 0);
    EXPECT_EQ(a->digits[2 * 13], 3);
    EXPECT_EQ(a->digits[2 * 13 + 1], 1);
    EXPECT_EQ(digit_text(a, 0, 22), "00102030405060708090"
                                    "01112131415161718191"
                                    "0212");
    EXPECT_STREQ(alphabet_def, "DNA - nums 21");
    EXPECT_EQ(output_of([](FILE *f) { print_alphabet(f, 2); }), "alphabet_def DNA,-,nums,21\n");
}

TEST_F(Alphabet, DigitTableBoundaries) {
    // 10 numbers: one digit; 11 numbers: two; 100: two (entry 100 keeps its last two digits);
    // 101: three.
    process_alphabet("alphabet_def a,10,b,11,c,100,d,101", -1, "f: ");
    EXPECT_EQ(alphabets[0]->digits_per_number, 1);
    EXPECT_EQ(digit_text(alphabets[0], 0, 11), "01234567890");
    EXPECT_EQ(alphabets[1]->digits_per_number, 2);
    EXPECT_EQ(alphabets[2]->digits_per_number, 2);
    EXPECT_EQ(digit_text(alphabets[2], 99, 2), "9900");
    EXPECT_EQ(alphabets[3]->digits_per_number, 3);
    EXPECT_EQ(digit_text(alphabets[3], 101, 1), "101");
    EXPECT_EQ(digit_text(alphabets[3], 7, 1), "700");
}

TEST_F(Alphabet, UserAlphabetErrors) {
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def two,AB", -1, "f(1): "); }),
              "f(1): : minimum defined alphabet is two letters plus a wild character");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def two,2", -1, "f(1): "); }),
              "f(1): : minimum defined alphabet is two letters plus a wild character");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def bad,AB-X", -1, "f(1): "); }),
              "f(1): : alphabet can only contain alphabetic characters, got \"AB-X\"");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def rep,ABCAX", -1, "f(1): "); }),
              "f(1): : Letter A is repeated in alphabet rep");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def big,256", -1, "f(1): "); }),
              "f(1): : numeric alphabet big is defined to be 256 characters.  Only 255\n"
              "is permitted.  A larger limit needs a rebuilt program; ask its maintainers.");
    EXPECT_EQ(
        fatal_of([] { process_alphabet("alphabet_def big,99999999999999999999", -1, "f(1): "); }),
        "f(1): : numeric alphabet big is defined to be 2147483647 characters.  Only 255\n"
        "is permitted.  A larger limit needs a rebuilt program; ask its maintainers.");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def big,129", -1, "f(1): "); }),
              "f(1): : Length of alphabet big exceeds MAX_ALPHA_LENGTH");
    std::string long_letters;
    for (int i = 0; i < 129; i++) long_letters += static_cast<char>('A' + i % 26);
    EXPECT_EQ(fatal_of([&] {
                  process_alphabet(("alphabet_def long," + long_letters).c_str(), -1, "f: ");
              }),
              "f: : Length of alphabet long exceeds MAX_ALPHA_LENGTH");
    // Nothing was taken by the refused definitions.
    EXPECT_EQ(num_alphabets, 0);
    for (int i = NUM_BUILTIN_ALPHABETS; i < NUM_BUILTIN_ALPHABETS + NUM_USER_ALPHABETS; i++)
        EXPECT_EQ(alphabet_table[i].name, nullptr);
    // 128 numbers are allowed; the lookup holds the catch-all 127.
    process_alphabet("alphabet_def n128,128", -1, "f: ");
    EXPECT_EQ(letter_index(alphabets[0], 'A'), 127);
}

TEST_F(Alphabet, Redefinitions) {
    process_alphabet("alphabet_def sec,EHCX,num,21", -1, "f(1): ");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def other,EHCX", -1, "f(2): "); }),
              "f(2): : alphabet is sec, tried to set it to other.");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def sec,EHLX", -1, "f(2): "); }),
              "f(2): : alphabet is sec, is defined as \"EHCX\" tried to set it to \"EHLX\".");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def sec,EHCX,num,22", -1, "f(2): "); }),
              "f(2): : numeric alphabet is num, is defined as 21 tried to set it to 22.");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def sec,EHCX,num,ABX", -1, "f(2): "); }),
              "f(2): : alphabet is num, is defined as \"21\" tried to set it to \"ABX\".");
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def sec,5", -1, "f(2): "); }),
              "f(2): : alphabet is sec, is defined as \"EHCX\" tried to set it to \"5\".");
    // "-" asks for a built-in alphabet: a user alphabet's name is not one.
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def sec,-", -1, "f(2): "); }).substr(0, 37),
              "f(2): : Unrecognized alphabet sec\nLeg");
    // The same definitions again, letters in any case, change nothing.
    process_alphabet("alphabet_def sec,ehcx,num,21", -1, "f(3): ");
    EXPECT_EQ(num_alphabets, 2);
    EXPECT_EQ(alphabet_table[NUM_BUILTIN_ALPHABETS + 2].name, nullptr);
}

TEST_F(Alphabet, SixUserSlots) {
    process_alphabet("alphabet_def a,ABX,b,ABX,c,ABX,d,ABX,e,ABX,f,ABX", -1, "f(1): ");
    EXPECT_EQ(num_alphabets, 6);
    for (int t = 0; t < 6; t++) EXPECT_EQ(alphabets[t], &alphabet_table[NUM_BUILTIN_ALPHABETS + t]);
    EXPECT_EQ(output_of([](FILE *f) { print_alphabet(f, 6); }),
              "alphabet_def a,ABX,b,ABX,c,ABX,d,ABX,e,ABX,f,ABX\n");
}

TEST_F(Alphabet, NoFreeSlot) {
    process_alphabet("alphabet_def a,ABX,b,ABX,c,ABX,d,ABX,e,ABX,f,ABX", -1, "f(1): ");
    // Clear the tracks but keep the slots filled.
    for (int t = 0; t < MAX_ALPHABET_TRACKS; t++) alphabets[t] = nullptr;
    num_alphabets = 0;
    alphabet = nullptr;
    EXPECT_EQ(fatal_of([] { process_alphabet("alphabet_def g,ABX", -1, "f(2): "); }),
              "f(2): : to many alphabet_def alphabets specified");
}

TEST_F(Alphabet, ScopedSwitchRestoresOnEveryExit) {
    init_alphabet_by_name("DNA", 0, "");
    AlphabetInfo *protein = byname("protein");
    {
        ScopedAlphabet current(protein);
        EXPECT_EQ(alphabet, protein);
    }
    EXPECT_EQ(alphabet, byname("DNA"));
    EXPECT_EQ(fatal_of([&] {
                  ScopedAlphabet current(protein);
                  error("inside");
              }),
              "inside");
    EXPECT_EQ(alphabet, byname("DNA"));
}

TEST_F(Alphabet, CheckAlphabet) {
    init_alphabet_by_name("DNA", 0, "");
    check_alphabet(nullptr);  // already set: nothing happens
    EXPECT_EQ(alphabet, byname("DNA"));
    reset_alphabets();
    EXPECT_EQ(fatal_of([] { check_alphabet(nullptr); }), "No sequence file found to set alphabet.");
    EXPECT_EQ(fatal_of([] { check_alphabet("seqs.fa"); }),
              "Couldn't open file seqs.fa: No such file or directory\n");
}

TEST_F(Alphabet, GuessFromSequenceFile) {
    std::string dir = scratch_dir();
    write_text(dir + "/p.fa",
               ">p1 a "
               "protein\nMKVLWAALLVTFLAGCQAKVEQAVETEPEPELRQQTEWQSGQRWELALGRFWDYLRWVQTLSEQVQEELLSSQV"
               "TQELRALMDETMKELKAYKSELEEQLTPVAEETRARLSKELQAAQARLGADMEDVCGRLVQYRGEVQAMLGQSTEELRVRLAS"
               "HLRKLRKRLLRDADDLQKRLAVYQAGAREGAERGLSAIRERLGPLVEQGRVRAATVGSLAGQPLQERAQAWGERLRARMEEMG"
               "SRTRDRLDEVKEQVAEVRAKLEEQAQQIRLQAEAFQARLKSWFEPLVEDMQRQWAGLVEKVQAAVGTSAAPVPSDNH\n");
    write_text(dir + "/d.fa", ">d1\nACGTACGGTTACGATCGATCGGATCCAGTACGATCGATTTAGCA\n");
    write_text(dir + "/r.fa", ">r1\nACGUACGGUUACGAUCGAUCGGAUCCAGUACGAUCGAUUUAGCA\n");
    check_alphabet((dir + "/p.fa").c_str());
    EXPECT_EQ(alphabet, byname("protein"));
    EXPECT_EQ(alphabets[0], alphabet);
    EXPECT_EQ(num_alphabets, 1);
    EXPECT_STREQ(alphabet_name, "protein");
    // Naming DNA for track 0 after the file gave protein is refused.
    EXPECT_EQ(fatal_of([] { init_alphabet_by_name("DNA", 0, "c(0): "); }),
              "alphabet is protein, trying to set it to DNA.");
    reset_alphabets();
    check_alphabet((dir + "/d.fa").c_str());
    EXPECT_EQ(alphabet, byname("DNA"));
    reset_alphabets();
    check_alphabet((dir + "/r.fa").c_str());
    EXPECT_EQ(alphabet, byname("RNA"));
}

TEST_F(Alphabet, BackfileDna) {
    FILE *fp = fopen(test_data("alphabet_back_dna.txt").c_str(), "r");
    ASSERT_NE(fp, nullptr);
    testing::internal::CaptureStderr();
    process_alphabet_backfile(fp, "back.txt");
    std::string err = testing::internal::GetCapturedStderr();
    fclose(fp);
    EXPECT_EQ(err, "back.txt(DNA): Replacing background with Probs from file.\n");
    AlphabetInfo *dna = byname("DNA");
    EXPECT_FLOAT_EQ(dna->match_reg[3], 0.1f);  // T
    EXPECT_FLOAT_EQ(dna->match_reg[2], 0.2f);  // C
    EXPECT_FLOAT_EQ(dna->match_reg[1], 0.3f);  // G
    EXPECT_FLOAT_EQ(dna->match_reg[0], 0.4f);  // A
    EXPECT_FLOAT_EQ(dna->insert_reg[0], 0.4f);
    EXPECT_FLOAT_EQ(byname("RNA")->match_reg[0], 0.25f);
    init_alphabet_by_name("DNA", 0, "");
    EXPECT_EQ(output_of(print_set_alphabet_info),
              read_text(test_data("alphabet_tracks_dna_back.txt")));
}

TEST_F(Alphabet, BackfileOrderChecks) {
    std::string err = read_backfile("Alphabet dna\nOrder A A C T\nProbs 0.1 0.2 0.3 0.4\n");
    EXPECT_EQ(err, "bg.txt(dna): 2 Order characters map to single character A.\n"
                   "bg.txt(dna): No Order character maps to character G.\n"
                   "bg.txt(dna): Skipping probability assignments.\n");
    EXPECT_FLOAT_EQ(byname("DNA")->match_reg[0], 0.25f);

    err = read_backfile("Alphabet DNA\nOrder AG C T\n");
    EXPECT_EQ(err, "bg.txt(DNA): Order must be composed of single characters.\n"
                   "bg.txt(DNA): Skipping probability assignments.\n");
    err = read_backfile("Alphabet DNA\nOrder A G C N\n");
    EXPECT_EQ(err, "bg.txt(DNA): Order character N is not an existing base character.\n"
                   "bg.txt(DNA): The characters are AGCT (do not include wildcards like RYN)\n"
                   "bg.txt(DNA): Skipping probability assignments.\n");
    err = read_backfile("Alphabet RELSA2\nOrder B E Q\n");
    EXPECT_EQ(err, "bg.txt(RELSA2): Order character Q is not an existing base character.\n"
                   "bg.txt(RELSA2): The characters are BE (do not include wildcards like )\n"
                   "bg.txt(RELSA2): Skipping probability assignments.\n");
    err = read_backfile("Alphabet DNA\nOrder A G C T A\nProbs 1 2 3 4\n");
    EXPECT_EQ(err, "bg.txt(DNA): 5 characters in Order; but alphabet length is 4.\n"
                   "bg.txt(DNA): 2 Order characters map to single character A.\n"
                   "bg.txt(DNA): Skipping probability assignments.\n");
    err = read_backfile("Alphabet DNA\nProbs 1 2 3 4\n");
    EXPECT_EQ(err, "bg.txt(DNA): Order required after Alphabet.\n"
                   "bg.txt(DNA): Skipping probability assignments.\n");
    err = read_backfile("Alphabet DNA");
    EXPECT_EQ(err, "bg.txt(DNA): Order required after Alphabet.\n"
                   "bg.txt(DNA): Skipping probability assignments.\n");
    err = read_backfile("Alphabet DNA\nOrder A G C T\nOrder A G C T\n");
    EXPECT_EQ(err, "bg.txt(DNA): Probs required after Alphabet.\n"
                   "bg.txt(DNA): Skipping probability assignments.\n");
    EXPECT_FLOAT_EQ(byname("DNA")->match_reg[0], 0.25f);
    // A failed stanza's unused line may open the next stanza.
    err = read_backfile("Alphabet DNA\nAlphabet RNA\nOrder A G C U\nProbs 0.7 0.1 0.1 0.1\n");
    EXPECT_EQ(err, "bg.txt(DNA): Order required after Alphabet.\n"
                   "bg.txt(DNA): Skipping probability assignments.\n"
                   "bg.txt(RNA): Replacing background with Probs from file.\n");
    EXPECT_FLOAT_EQ(byname("RNA")->match_reg[0], 0.7f);
}

TEST_F(Alphabet, BackfileProbs) {
    std::string err = read_backfile("Alphabet=protein\nOrder=A C D\n");
    EXPECT_NE(err.find("3 characters in Order; but alphabet length is 20."), std::string::npos);
    err = read_backfile("Alphabet DNA\nOrder T C G A\nProbs 0.5 0.5\n");
    EXPECT_EQ(err, "bg.txt(DNA): Missing Probs (4 expected); only some Probs changed.\n");
    AlphabetInfo *dna = byname("DNA");
    EXPECT_FLOAT_EQ(dna->match_reg[3], 0.5f);
    EXPECT_FLOAT_EQ(dna->match_reg[2], 0.5f);
    EXPECT_FLOAT_EQ(dna->match_reg[1], 0.25f);
    // Extra numbers are ignored with a warning, never stored past the alphabet.
    err = read_backfile("Alphabet DNA\nOrder A G C T\nProbs 0.1 0.2 0.3 0.4 0.5 0.6\n");
    EXPECT_EQ(err, "bg.txt(DNA): 6 Probs given; the 2 beyond the 4 expected are ignored.\n"
                   "bg.txt(DNA): Replacing background with Probs from file.\n");
    EXPECT_FLOAT_EQ(dna->match_reg[3], 0.4f);
    EXPECT_EQ(dna->match_reg[4], 0.0f);
    // Lines that are not stanzas are skipped; unknown alphabet names are passed over silently.
    err = read_backfile("# comment\nAbout this file\nalphabet nosuch\nOrder X\nProbs 1\n"
                        "  Alphabet DNA\nALPHABET Q_M_R\nOrder C D E G H L N P S T Y\n"
                        "Probs 11 10 9 8 7 6 5 4 3 2 1\n");
    EXPECT_EQ(err, "bg.txt(Q_M_R): Replacing background with Probs from file.\n");
    EXPECT_FLOAT_EQ(byname("QMR")->match_reg[10], 1.0f);
    EXPECT_FLOAT_EQ(byname("QMR")->insert_reg[0], 11.0f);
}

TEST_F(Alphabet, BackfileRefusesProbsThatAreNoProbabilities) {
    // Not numbers, infinite, negative, past the float range, past the double range; all zero.
    const struct {
        std::string probs, fault;
    } rows[] = {
        {"0.1 nan 0.3 0.4", "Probs value nan on line 3 is not a finite non-negative number."},
        {"0.1 -INF 0.3 0.4", "Probs value -INF on line 3 is not a finite non-negative number."},
        {"0.1 -0.1 0.3 0.4", "Probs value -0.1 on line 3 is not a finite non-negative number."},
        {"0.1 1e39 0.3 0.4", "Probs value 1e39 on line 3 is not a finite non-negative number."},
        {"0.1 1e999 0.3 0.4", "Probs value 1e999 on line 3 is not a finite non-negative number."},
        {"0 0 0 0", "Probs on line 3 leave a background that sums to 0."},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.probs);
        std::string err = read_backfile("Alphabet DNA\nOrder A G C T\nProbs " + r.probs + "\n");
        EXPECT_EQ(err,
                  "bg.txt(DNA): " + r.fault + "\nbg.txt(DNA): Skipping probability assignments.\n");
        EXPECT_FLOAT_EQ(byname("DNA")->match_reg[0], 0.25f);
        EXPECT_FLOAT_EQ(byname("DNA")->insert_reg[0], 0.25f);
    }
}

TEST_F(Alphabet, BackfileCodon) {
    // Order T G C A: codon i = 16a + 4b + c of the file goes to 16 o(a) + 4 o(b) + o(c) with
    // o = (3, 1, 2, 0).
    std::string probs = "Probs";
    for (int i = 0; i < 64; i++) probs += " " + std::to_string(i);
    std::string err = read_backfile("Alphabet CODON\nOrder T G C A\n" + probs + "\n");
    EXPECT_EQ(err, "bg.txt(CODON): Replacing background with Probs from file.\n");
    const int o[4] = {3, 1, 2, 0};
    AlphabetInfo *codon = byname("CODON");
    for (int i = 0; i < 64; i++)
        EXPECT_FLOAT_EQ(codon->match_reg[16 * o[i / 16] + 4 * o[i / 4 % 4] + o[i % 4]],
                        static_cast<float>(i));
    EXPECT_FLOAT_EQ(codon->match_reg[63], 0.0f);  // TTT from file codon AAA (0)
    EXPECT_FLOAT_EQ(codon->match_reg[0], 63.0f);
}

TEST_F(Alphabet, BackfileCandidatesAreTrackAlphabets) {
    process_alphabet("alphabet_def nums,5,sec,EHCX", -1, "f: ");
    // Protein is no candidate once tracks are set; the numeric alphabet needs no Order.
    std::string err =
        read_backfile("Alphabet protein\nOrder A\nAlphabet nums\nProbs 0.1 0.2 0.3 0.4\n"
                      "Alphabet sec\nOrder H E C\nProbs 0.5 0.3 0.2\n");
    EXPECT_EQ(err, "bg.txt(nums): Replacing background with Probs from file.\n"
                   "bg.txt(sec): Replacing background with Probs from file.\n");
    EXPECT_FLOAT_EQ(alphabets[0]->match_reg[3], 0.4f);
    EXPECT_FLOAT_EQ(alphabets[1]->match_reg[0], 0.3f);
    EXPECT_FLOAT_EQ(alphabets[1]->match_reg[1], 0.5f);
    EXPECT_FLOAT_EQ(byname("protein")->match_reg[0], 0.08713f);
}

TEST_F(Alphabet, ListingOfWholeTable) {
    EXPECT_EQ(output_of(print_internal_alphabet_info), read_text(test_data("alphabet_all.txt")));
}

TEST_F(Alphabet, ListingsOfTracks) {
    process_alphabet("alphabet protein", -1, "");
    EXPECT_EQ(output_of(print_set_alphabet_info),
              read_text(test_data("alphabet_tracks_protein.txt")));
    reset_alphabets();
    process_alphabet("alphabet_def mine,ABCX", -1, "");
    EXPECT_EQ(output_of(print_set_alphabet_info), read_text(test_data("alphabet_tracks_mine.txt")));
    reset_alphabets();
    process_alphabet("alphabet_def DNA,-,nums,21", -1, "");
    EXPECT_EQ(output_of(print_set_alphabet_info),
              read_text(test_data("alphabet_tracks_dna_nums.txt")));
    EXPECT_EQ(output_of([](FILE *f) { print_alphabet_info(f, byname("CODON")); }),
              read_text(test_data("alphabet_codon.txt")));
    EXPECT_EQ(output_of([](FILE *f) { print_alphabet_info(f, nullptr); }), "");
    EXPECT_EQ(output_of([](FILE *f) {
                  print_alphabet_info(f, &alphabet_table[ALPHABET_TABLE_SIZE - 1]);
              }),
              "");
}

// Background-file lines hold at most 999 characters: a Probs line of 999 (blanks after the
// numbers) is taken, one of 1000 ends the run before anything changes.
TEST_F(Alphabet, BackfileLinesOfAtMost999Characters) {
    for (size_t width : {999, 1000}) {
        std::string probs = "Probs 0.1 0.2 0.3 0.4";
        probs.resize(width, ' ');
        FILE *fp = tmpfile();
        ASSERT_NE(fp, nullptr);
        fputs(("Alphabet DNA\nOrder T C G A\n" + probs + "\n").c_str(), fp);
        rewind(fp);
        std::string message = fatal_of([&] { process_alphabet_backfile(fp, "bg.txt"); });
        fclose(fp);
        if (width == 999) {
            EXPECT_EQ(message, "");
            EXPECT_FLOAT_EQ(byname("DNA")->match_reg[3], 0.1f);  // T
        } else {
            EXPECT_EQ(message, "Line 3 of bg.txt is longer than 999 characters");
            EXPECT_FLOAT_EQ(byname("DNA")->match_reg[3], 0.25f);
        }
        reset_alphabets();
    }
}

}  // namespace
