// Tables of generated sequences: log-normal lengths and, per track, a letter composition drawn
// from a Dirichlet-mixture prior (or the alphabet's default distribution) from which every
// residue is drawn independently. Residues are letter indices of the track's alphabet.
#ifndef QOR_GENSEQTAB_H
#define QOR_GENSEQTAB_H

struct Sequence;
struct SequenceTable;

// The longest generated sequence; a drawn length beyond it (or not a number) is cut to it with
// a warning.
constexpr int GENSEQ_MAX_LENGTH = 1 << 30;

// A new table (caller owns it) of count sequences "GenSeq0", "GenSeq1", ... with one track per
// track alphabet, marked converted. priors: comma- or blank-separated prior names, one per
// track, or null/empty for the defaults (the protein, EHL2 and EBGHTL prior names, empty for the
// built-in mixtures; other alphabets use their default distribution).
// Fatal: "trackprior priors (%d) must correspond to alphabets (%d)\n"; "Default %s distribution
// sums to 0; no sequences can be drawn from it"; those of read_PriorLib.
SequenceTable *generate_seqtable(int count, const char *priors, const char *protein_prior,
                                 const char *ehl2_prior, const char *ebghtl_prior, double mean_log,
                                 double sd_log);
// (int) exp(gen_norm() * sd + mean), truncated toward zero; capped at GENSEQ_MAX_LENGTH with a
// warning.
int generate_seqlen(double mean, double sd);
// Fills residues 0..len-1 of the track with letters drawn from the running sums cum[0..n-1]
// (uniform (random() + 0.5) / (2^31 - 1), at most 1). A total within 1e-6 of 1 picks the last
// letter for a uniform above it. Fatal: "Assertion failed: x <= cum_probs[ahi] ..." when the
// running sums end further below the uniform.
void generate_seqdata(Sequence *seq, int n, int track, const double *cum);

#endif
