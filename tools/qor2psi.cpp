// qor2psi: converts a protein profile model into a PSI-BLAST checkpoint profile: <run name>.ckp
// gets the consensus and, per kept model position, the 20 match probabilities; <run name>.cks
// gets the consensus as a one-record FASTA file.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "foundation/startup.h"
#include "models/models.h"
#include "sequences/seqio_print.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

// The letter order of a checkpoint's probability rows.
static const char blastorder[] = "ARNDCQEGHILKMFPSTWYV";

static void usage() {
    std::fprintf(stderr, "Convert  QOR HMM match distributions to a PSI-BLAST profile\n"
                         "according to posit version 6.6 (2003/05/30). \n"
                         "PSI-BLAST profiles are machine architecture dependent. \n"
                         "Requires:   -modelfile <filename>.mod    Model\n"
                         "Creates:  <runname>.ckp        PSIBLAST checkpoint profile file\n"
                         "Creates:  <runname>.cks        PSIBLAST checkpoint sequence file)\n");
}

// The checkpoint is little-endian whatever the machine: integers and doubles byte by byte.
static void put_le32(std::vector<unsigned char> &buf, int32_t value) {
    uint32_t u = (uint32_t)value;
    for (int i = 0; i < 4; i++) buf.push_back((unsigned char)(u >> (8 * i)));
}

static void put_le_double(std::vector<unsigned char> &buf, double value) {
    uint64_t u;
    std::memcpy(&u, &value, sizeof u);
    for (int i = 0; i < 8; i++) buf.push_back((unsigned char)(u >> (8 * i)));
}

// The consensus of a model: every position but a FIM at the first or the last position, and
// the letter of each one's first largest match probability.
struct Consensus {
    std::vector<int> positions;  // the kept model positions
    std::string letters;         // one per kept position
};

// Refuses (before any file is made) a model with no position to convert or no match
// probability: an empty or all-zero profile is no checkpoint.
static Consensus model_consensus(const Model *model) {
    Consensus c;
    int L = model->length;
    int A = alphabet->emit_length;
    bool any_probability = false;
    for (int i = 1; i <= L; i++) {
        const Node *n = model->nodes[i];
        if (n->type == 'F' && (i == 1 || i == L)) continue;
        float best = -1.0f;
        int best_index = 0;
        for (int k = 0; k < A; k++)
            if (n->match[k] > best) {
                best = n->match[k];
                best_index = k;
            }
        if (best > 0.0f) any_probability = true;
        c.positions.push_back(i);
        c.letters += alphabet->letters[best_index];
    }
    if (c.positions.empty()) error("The model has no positions to convert");
    if (!any_probability) error("The model has no match probabilities to convert");
    return c;
}

static void warn_machine_format(const std::string &run_name) {
    std::printf("\nWARNING:  PSI-BLAST checkpoints are stored in a machine-dependent format!\n");
    std::printf("The %s.ckp file should work on other machines that have:\n",
                shown_text(run_name).c_str());
    std::printf("%s-endian order, %d byte chars, %d byte ints, %d byte doubles\n", "little", 1, 4,
                8);
    flush_outputfile(stdout);
}

// The checkpoint: the consensus length, its letters, then per kept position the match
// probabilities in blastorder.
static void write_checkpoint(FILE *ckp, const Model *model, const Consensus &c) {
    std::vector<unsigned char> buf;
    put_le32(buf, (int32_t)c.positions.size());
    buf.insert(buf.end(), c.letters.begin(), c.letters.end());
    for (int i : c.positions) {
        const Node *n = model->nodes[i];
        for (const char *letter = blastorder; *letter; letter++)
            put_le_double(buf, (double)n->match[letter_index(alphabet, *letter)]);
    }
    // A failed write is found and reported when the file is closed; no file is replaced then.
    std::fwrite(buf.data(), 1, buf.size(), ckp);
}

int main(int argc, char **argv) {
    const std::string banner = program_banner(argv[0]);
    std::string run_name;
    basic_command_line(argv, argc, run_name, nullptr, READ_MODEL | READ_REGULARIZER,
                       REQUIRE_MODEL | REQUIRE_RUN_NAME, banner.c_str(), usage);

    Model *model = process_rmodel(&base_model, AUTOFIM_NEVER, 0, nullptr, 0, nullptr);
    if (alphabet->id != PROTEIN_ALPHABET_ID)
        error("Must use the protein alphabet; model alphabet is %s", alphabet->name);
    const Consensus consensus = model_consensus(model);

    warn_machine_format(run_name);
    FILE *ckp = open_outputfile(run_name.c_str(), ".ckp");
    FILE *cks = open_outputfile(run_name.c_str(), ".cks");
    std::string description = "Sequence for " + run_name + ".ckp PSI-BLAST checkpoint file";
    print_string(cks, consensus.letters.c_str(), run_name.c_str(), description.c_str());
    write_checkpoint(ckp, model, consensus);

    free_init();
    free_rmodel(&base_regularizer);
    free_model(model);
    // The two files stand or fall together: neither replaces an old one unless both are complete.
    hold_outputfile(ckp);
    hold_outputfile(cks);
    commit_outputfiles();
    return 0;
}
