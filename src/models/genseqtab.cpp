// Generated sequence tables.
#include "models/genseqtab.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "models/gen_seq/gen_assert.h"
#include "models/gen_seq/gen_seq.h"
#include "models/prior.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"
#include "foundation/scan.h"

// Names of the alphabets with a built-in mixture, and the built-ins' selectors.
constexpr const char *EHL2_ALPHABET_NAME = "EHL2";
constexpr const char *EBGHTL_ALPHABET_NAME = "EBGHTL";
// Running sums this close to 1 count as 1.
constexpr double CUM_ROUNDING = 1e-6;

int generate_seqlen(double mean, double sd) {
    double len = std::exp(gen_norm() * sd + mean);
    if (!(len < (double)GENSEQ_MAX_LENGTH + 1.0)) {
        std::fprintf(stderr, "Warning: generated sequence length %g cut to %d\n", len,
                     GENSEQ_MAX_LENGTH);
        return GENSEQ_MAX_LENGTH;
    }
    return (int)len;
}

void generate_seqdata(Sequence *seq, int n, int track, const double *cum_probs) {
    unsigned char *res = seq->tracks[track].res;
    for (int r = 0; r < seq->len; r++) {
        double x = ((double)random() + 0.5) / 2147483647.0;
        if (x > 1.0) x = 1.0;
        int lo = -1, hi = n - 1;
        if (x > cum_probs[hi]) {
            int ahi = hi;
            GEN_ASSERT(x <= cum_probs[ahi] + CUM_ROUNDING);
            res[r] = (unsigned char)hi;
            continue;
        }
        while (lo < hi - 1) {
            int ahi = hi;
            GEN_ASSERT(x <= cum_probs[ahi]);
            int mid = (hi + lo + 1) / 2;
            if (x > cum_probs[mid])
                lo = mid;
            else
                hi = mid;
        }
        res[r] = (unsigned char)hi;
    }
}

namespace {
// The generator of one track.
struct TrackGen {
    AlphabetInfo *alpha = nullptr;
    int n = 0;                  // emission size
    std::vector<double> probs;  // letter probabilities
    std::vector<double> cum;    // their running sums
    PriorLib *lib = nullptr;
    GenDirchMix mix{};
    bool has_mix = false;
};
}  // namespace

static void running_sums(TrackGen &g) {
    double s = 0.0;
    for (int k = 0; k < g.n; k++) {
        s += g.probs[k];
        g.cum[k] = s;
    }
}

SequenceTable *generate_seqtable(int count, const char *priors, const char *protein_prior,
                                 const char *ehl2_prior, const char *ebghtl_prior, double mean_log,
                                 double sd_log) {
    check_alphabet(nullptr);
    int ntracks = num_alphabets > 0 ? num_alphabets : 1;
    NameList *list = parse_name_list(priors);
    std::vector<std::string> names;
    for (int k = 0; list && k < list->count; k++) names.emplace_back(list->name[k]);
    std::free(list);
    int nnames = (int)names.size();
    if (nnames && nnames != ntracks) {
        error("trackprior priors (%d) must correspond to alphabets (%d)\n", nnames, ntracks);
    }
    std::vector<TrackGen> gens((size_t)ntracks);
    for (int i = 0; i < ntracks; i++) {
        TrackGen &g = gens[(size_t)i];
        g.alpha = num_alphabets > 0 ? alphabets[i] : alphabet;
        std::fprintf(stderr, "Initializing generator %d for %s\n", i, g.alpha->name);
        g.n = g.alpha->emit_length;
        g.probs.assign((size_t)g.n, 0.0);
        g.cum.assign((size_t)g.n, 0.0);
        const char *name = nullptr;
        int selector = PRIOR_BUILTIN_NONE;
        bool chosen = true;
        if (nnames) {
            name = names[(size_t)i].c_str();
        } else if (g.alpha->id == PROTEIN_ALPHABET_ID) {
            name = protein_prior, selector = PRIOR_BUILTIN_PROTEIN32;
        } else if (capscomp(g.alpha->name, EHL2_ALPHABET_NAME) == 0) {
            name = ehl2_prior, selector = PRIOR_BUILTIN_EHL2;
        } else if (capscomp(g.alpha->name, EBGHTL_ALPHABET_NAME) == 0) {
            name = ebghtl_prior, selector = PRIOR_BUILTIN_EBGHTL;
        } else {
            chosen = false;
        }
        if (chosen || nnames) g.lib = read_PriorLib(name, PRIOR_LIBRARY_DIR, stdout, g.n, selector);
        if (g.lib) {
            gen_dirch_mix_initialize(&g.mix, g.lib->AlphaChar, g.lib->NumDistr, g.lib->Mix,
                                     g.lib->Distr);
            g.has_mix = true;
        } else {
            std::fprintf(stderr, "Generating sequences from default %s distribution\n",
                         g.alpha->name);
            double sum = 0.0;
            for (int k = 0; k < g.n; k++) sum += g.alpha->match_reg[k];
            if (!(sum > 0.0))
                error("Default %s distribution sums to 0; no sequences can be drawn from it",
                      g.alpha->name);
            for (int k = 0; k < g.n; k++) g.probs[(size_t)k] = g.alpha->match_reg[k] / sum;
            running_sums(g);
        }
    }
    SequenceTable *table = alloc_sequence_table();
    for (int s = 0; s < count; s++) {
        int len = generate_seqlen(mean_log, sd_log);
        Sequence *seq = alloc_sequence(len, ntracks);
        seq->len = len;
        seq->converted = 1;
        char id[32];
        std::snprintf(id, sizeof id, "GenSeq%d", s);
        seq->id = str_dup(id);
        add_seq_to_table(table, seq);
        for (int t = 0; t < ntracks; t++) {
            TrackGen &g = gens[(size_t)t];
            if (g.has_mix) {
                gen_dirch_mix(&g.mix, g.probs.data());
                running_sums(g);
            }
            if (len > 0) generate_seqdata(seq, g.n, t, g.cum.data());
        }
    }
    for (TrackGen &g : gens) {
        if (g.has_mix) gen_dirch_mix_free(&g.mix);
        free_PriorLib(&g.lib);
    }
    return table;
}
