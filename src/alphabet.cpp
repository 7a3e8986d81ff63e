// The alphabet table, letter lookup, track alphabets, user alphabets, background files and the
// alphabet listings.
#include "alphabet.h"

#include <cstdio>
#include <cstdlib>

// The built-in alphabets in their fixed order, six empty user slots and the end record. The
// regularizer arrays and lookups are filled by init_alphabets.
AlphabetInfo alphabet_table[ALPHABET_TABLE_SIZE] = {
    {1, "DNA", "DNA with R=Purine G/A and Y=Pyrimidine C/T", 4, 7, 4, 7, "AGCTRYN", "XN,UT", {}, {}, {}, {}, nullptr, 0},
    {34, "CODON", "DNA codons in AAA G..C..TTT order", 4, 5, 64, 125, "AGCTN", "XN,UT", {}, {}, {}, {}, nullptr, 0},
    {2, "RNA", "RNA with R=Purine G/A and Y=Pyrimidine C/U", 4, 7, 4, 7, "AGCURYN", "XN,TU", {}, {}, {}, {}, nullptr, 0},
    {3, "protein", "Protein with B=N/D and Z=Q/E", 20, 23, 20, 23, "ACDEFGHIKLMNPQRSTVWYBZX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {4, "DSSP", "DSSP Secondary structure alphabet", 8, 9, 8, 9, "EHTSGBICX", "LC", {}, {}, {}, {}, nullptr, 0},
    {5, "EHL", "Secondary structure alphabet", 3, 4, 3, 4, "EHCX", "GH,LC,TC,SC,BC,IC", {}, {}, {}, {}, nullptr, 0},
    {6, "EHL2", "Secondary structure alphabet", 3, 4, 3, 4, "EHCX", "GH,LC,TC,SC,BE,IH", {}, {}, {}, {}, nullptr, 0},
    {7, "EHTL", "Secondary structure alphabet", 4, 5, 4, 5, "EHTCX", "GH,LC,SC,BC,IC", {}, {}, {}, {}, nullptr, 0},
    {8, "EHTL2", "Secondary structure alphabet", 4, 5, 4, 5, "EHTCX", "BE,GH,IH,LC,SC", {}, {}, {}, {}, nullptr, 0},
    {9, "EBHTL", "Secondary structure alphabet", 5, 6, 5, 6, "EBHTCX", "GH,IH,LC,SC", {}, {}, {}, {}, nullptr, 0},
    {10, "EBGHSTL", "Secondary structure alphabet", 7, 8, 7, 8, "EBGHSTCX", "IH,LC", {}, {}, {}, {}, nullptr, 0},
    {11, "EBGHTL", "Secondary structure alphabet", 6, 7, 6, 7, "EBGHTCX", "IH,LC,SC", {}, {}, {}, {}, nullptr, 0},
    {18, "STRIDE", "Full STRIDE Secondary structure alphabet", 7, 8, 7, 8, "EBGHITCX", "LC,SC", {}, {}, {}, {}, nullptr, 0},
    {12, "PB", "Protein blocks alphabet", 16, 17, 16, 17, "ABCDEFGHIJKLMNOPX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {13, "STR", "Strand alphabet", 13, 14, 13, 14, "ABCEGHIMPQSTZX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {14, "ANG", "Quelmart angle alphabet without C (cis)", 10, 11, 10, 11, "EPGHLYDNTSX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {17, "QMR", "Quelmart angle alphabet including C (cis)", 11, 12, 11, 12, "CDEGHLNPSTYX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {15, "TCO", "Cosine dihedral alphabet", 4, 5, 4, 5, "EFGHX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {16, "ALPHA", "C-alpha dihedral alphabet", 11, 12, 11, 12, "ABCDEFGHISTX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {19, "STR2", "STR2 alphabet", 13, 14, 13, 14, "ABCEGHMPQSTYZX", "IH,LC", {}, {}, {}, {}, nullptr, 0},
    {20, "CB_BURIAL_12_7", "CB_BURIAL_12_7 alphabet", 7, 8, 7, 8, "ABCDEFG", nullptr, {}, {}, {}, {}, nullptr, 0},
    {21, "CB_BURIAL_14_7", "CB_BURIAL_14_7 alphabet", 7, 8, 7, 8, "ABCDEFG", nullptr, {}, {}, {}, {}, nullptr, 0},
    {22, "CB_BURIAL_16_7", "CB_BURIAL_16_7 alphabet", 7, 8, 7, 8, "ABCDEFG", nullptr, {}, {}, {}, {}, nullptr, 0},
    {23, "BURIAL_8_7", "BURIAL_8_7 alphabet", 7, 8, 7, 8, "ABCDEFG", nullptr, {}, {}, {}, {}, nullptr, 0},
    {24, "BURIAL_9_7", "BURIAL_9_7 alphabet", 7, 8, 7, 8, "ABCDEFG", nullptr, {}, {}, {}, {}, nullptr, 0},
    {25, "BURIAL_10_7", "BURIAL_10_7 alphabet", 7, 8, 7, 8, "ABCDEFG", nullptr, {}, {}, {}, {}, nullptr, 0},
    {26, "CA_BURIAL_12_7", "CA_BURIAL_12_7 alphabet", 7, 8, 7, 8, "ABCDEFG", nullptr, {}, {}, {}, {}, nullptr, 0},
    {27, "CA_BURIAL_14_7", "CA_BURIAL_14_7 alphabet", 7, 8, 7, 8, "ABCDEFG", nullptr, {}, {}, {}, {}, nullptr, 0},
    {28, "ABSSA7", "ABSSA7 alphabet", 7, 8, 7, 8, "BCDHGFE", nullptr, {}, {}, {}, {}, nullptr, 0},
    {29, "RELSA2", "RELSA2 alphabet", 2, 3, 2, 3, "BE", nullptr, {}, {}, {}, {}, nullptr, 0},
    {30, "RELSA3", "RELSA3 alphabet", 3, 4, 3, 4, "BIE", nullptr, {}, {}, {}, {}, nullptr, 0},
    {31, "RELSA7", "RELSA7 alphabet", 7, 8, 7, 8, "ABCDEFG", nullptr, {}, {}, {}, {}, nullptr, 0},
    {32, "RELSA10", "RELSA10 alphabet", 10, 11, 10, 11, "ABCDEFGHIJ", nullptr, {}, {}, {}, {}, nullptr, 0},
    {33, "NEAR-BACKBONE-11", "Near Backbone 11 alphabet", 11, 12, 11, 12, "ABCDEFGHIJK", nullptr, {}, {}, {}, {}, nullptr, 0},
    {35, "n_sep", "Hbond Separation alphabet based on donor", 20, 21, 20, 21, "ABCDGHIJKLMNPQRSTUVWX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {36, "o_sep", "Hbond Separation alphabet based on acceptor", 20, 21, 20, 21, "ABCDGHIJKLMNPQRSTUVWX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {38, "o_notor", "Hbond Torsion angle alphabet based on donor", 8, 9, 8, 9, "ABGHMNPSX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {37, "n_notor", "Hbond Torsion angle alphabet based on acceptor", 8, 9, 8, 9, "ABGHMNPSX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {40, "o_notor2", "Hbond Torsion angle alphabet based on donor", 11, 12, 11, 12, "ABFGHIJMNPSX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {39, "n_notor2", "Hbond Torsion angle alphabet based on acceptor", 11, 12, 11, 12, "ABFGHIMJNPSX", nullptr, {}, {}, {}, {}, nullptr, 0},
    {USER_ALPHABET_ID, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, {}, {}, {}, {}, nullptr, 0},
    {USER_ALPHABET_ID, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, {}, {}, {}, {}, nullptr, 0},
    {USER_ALPHABET_ID, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, {}, {}, {}, {}, nullptr, 0},
    {USER_ALPHABET_ID, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, {}, {}, {}, {}, nullptr, 0},
    {USER_ALPHABET_ID, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, {}, {}, {}, {}, nullptr, 0},
    {USER_ALPHABET_ID, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, {}, {}, {}, {}, nullptr, 0},
    {0, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, {}, {}, {}, {}, nullptr, 0},
};

AlphabetInfo *alphabet = nullptr;
AlphabetInfo *alphabets[MAX_ALPHABET_TRACKS] = {};
int num_alphabets = 0;

// Placeholder bodies while the library around them is being built.
static void not_ready(const char *what) {
    fflush(stdout);
    fprintf(stderr, "Error: %s is not available yet\n", what);
    exit(1);
}

void init_alphabets() {}
AlphabetInfo *alphabet_id_to_info(int id) {
    for (int i = 0; i < NUM_BUILTIN_ALPHABETS; i++)
        if (alphabet_table[i].id == id) return &alphabet_table[i];
    not_ready("alphabet_id_to_info");
    return nullptr;
}
AlphabetInfo *find_alphabet_by_name(const char *) { return nullptr; }
void init_alphabet_by_name(const char *, int, const char *) { not_ready("init_alphabet_by_name"); }
void check_alphabet(const char *) { if (!alphabet) not_ready("check_alphabet"); }
void process_alphabet(const char *, int, const char *) { not_ready("process_alphabet"); }
void process_alphabet_backfile(FILE *, const char *) { not_ready("process_alphabet_backfile"); }
void print_alphabet_info(FILE *, const AlphabetInfo *) {}
void print_internal_alphabet_info(FILE *) {}
void print_set_alphabet_info(FILE *) {}
void print_alphabet(FILE *, int) {}
void reset_alphabets() {}
