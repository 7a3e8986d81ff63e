// Multiple-domain cutting: regions of a long sequence aligned to the current model one by one,
// each domain found written out and the parts beside it cut again.

#include "engine/domains.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/alphabet.h"
#include "models/constraints.h"
#include "engine/emloop.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "sequences/seqio_print.h"
#include "scorefiles/seqio_report.h"
#include "sequences/sequence.h"

namespace {

inline bool is_lower(unsigned char c) {
    return c >= 'a' && c <= 'z';
}

// select_md: absolute value f (bits 1 mdNLLnull > simple, 2 mdNLLcomplex > second, 4 mdEmax >
// E-value, 8 always); a negative value keeps the regions that fail.
bool md_selected(const Sequence *seq, const ScoreParams *score) {
    int v = score->select_md;
    if (v == 0) return false;
    long long f = std::llabs(static_cast<long long>(v));
    bool pass = true;
    if (!(f & SELECT_ALL)) {
        if ((f & SELECT_SIMPLE) && !(score->mdNLLnull > seq->simple_score)) pass = false;
        if ((f & SELECT_SECOND) && !(score->mdNLLcomplex > seq->second_score)) pass = false;
        if ((f & SELECT_EVALUE) && !(score->mdEmax > seq->evalue)) pass = false;
    }
    return v > 0 ? pass : !pass;
}

char residue_char(unsigned char idx) {
    if (alphabet && alphabet->letters && idx < strlen(alphabet->letters))
        return static_cast<char>(tolower(static_cast<unsigned char>(alphabet->letters[idx])));
    return 'x';
}

}  // namespace

int multdomain_sequence(Sequence *seq, SequenceTable *result, FILE *fasta, ScoreParams *score,
                        ConstrTable *subseq_constraints, ConstrTable *align_constraints,
                        FILE *domtable) {
    if (!seq) return 0;
    return process_sequence(seq, 1, seq->len, result, fasta, score, subseq_constraints,
                            align_constraints, domtable);
}

int process_sequence(Sequence *S, int l, int r, SequenceTable *result, FILE *fasta,
                     ScoreParams *score, ConstrTable *subseq_constraints,
                     ConstrTable *align_constraints, FILE *domtable) {
    if (!S || !score || !S->tracks[0].res) return 0;
    if (l < 1) l = 1;
    if (r > S->len) r = S->len;
    if (l >= r) return 0;
    int L = score->model_length;
    double cut = L * score->Motifcutoff;
    int minlen = static_cast<int>(cut);
    if (r - l < minlen) {
        fprintf(stderr, "MD warning l %d r %d ml %d mc %4.2f min %d %s\n", l, r, L,
                score->Motifcutoff, minlen, shown_text(sequence_id(S)).c_str());
        return 0;
    }
    // The region as a sequence of its own.
    int n = r - l + 1;
    Sequence *region = alloc_sequence(n, 1);
    memcpy(region->tracks[0].res, S->tracks[0].res + (l - 1), static_cast<size_t>(n));
    region->converted = 1;
    copy_subseq_constraints(S, l, r, region);
    std::string name = std::string(sequence_id(S)) + ":" + std::to_string(l) + ":" +
                       std::to_string(r) + "(md_internal)";
    region->id = str_dup(name.c_str());
    region->annotation = str_dup(S->annotation);
    align_one_sequence(region, score);
    char *text = md_selected(region, score) ? str_w_deletions(region, 0, 0, 0) : nullptr;
    if (!text) {
        free_sequence(region);
        return 0;
    }
    long T = static_cast<long>(strlen(text));
    // Leading inserts with one '-' after them; the trailing inserts after index z.
    long a = 0;
    while (a < T && is_lower(static_cast<unsigned char>(text[a]))) a++;
    if (a < T && text[a] == '-') a++;
    long z = T - 1;
    while (z >= 0 && is_lower(static_cast<unsigned char>(text[z]))) z--;
    if (z < a) {
        // Nothing of the model was matched: no domain.
        free(text);
        free_sequence(region);
        return 0;
    }
    auto gaps = [&](long from, long to) {  // '-' and '.' in text[from..to]
        long g = 0;
        for (long p = from; p <= to; p++)
            if (text[p] == '-' || text[p] == '.') g++;
        return g;
    };
    long g1 = gaps(0, a - 1), g2 = gaps(a, z);
    long b = l + a - g1;
    long e = l + z - g2 - g1;
    b = std::max<long>(l, std::min<long>(b, r));
    e = std::max<long>(b, std::min<long>(e, r));
    int as = score->alignshort;
    // Flanks: S's residues before the region (0-based from..l-2), the leading inserts of the
    // region text (lead..a-1), the region text a..tail-1, and S's residues after r (r..after-1).
    long before = 0, lead = 0, tail = T, after = S->len;
    if (as >= 0) {
        before = std::max<long>(0, b - as - 1);
        lead = std::max<long>(0, a - as - g1);
        tail = std::min<long>(T, z + 1 + as);
        after = std::min<long>(S->len, e + as);
    }
    before = std::min<long>(before, l - 1);
    std::string out;
    for (long p = before; p < l - 1; p++) out += residue_char(S->tracks[0].res[p]);
    out.append(text + lead, static_cast<size_t>(a - lead));
    out.append(text + a, static_cast<size_t>(tail - a));
    // Text cut before the end of the region leaves no residue after r to write.
    if (tail == T)
        for (long p = r; p < after; p++) out += residue_char(S->tracks[0].res[p]);
    std::string newname =
        std::string(sequence_id(S)) + "_" + std::to_string(b) + ":" + std::to_string(e);
    if (fasta) {
        print_string(fasta, out.c_str(), newname.c_str(), S->annotation);
        fflush(fasta);
    }
    long first = before < l - 1 ? before + 1 : l + lead;
    long last = (tail == T) ? std::max<long>(r, after) : l + (tail - 1) - gaps(0, tail - 1);
    if (domtable)
        fprintf(domtable, "%s\t%s\t%d\t%d\t%d\t%d\n", newname.c_str(), sequence_id(S),
                static_cast<int>(first), static_cast<int>(last), static_cast<int>(b),
                static_cast<int>(e));
    if (subseq_constraints)
        save_subseq_constraints(subseq_constraints, newname.c_str(), static_cast<int>(first),
                                static_cast<int>(last), S);
    if (align_constraints)
        save_domain_align_constraints(align_constraints, region, newname.c_str(), sequence_id(S), l,
                                      r, static_cast<int>(first));
    free(text);
    free_seq_data_align_trunc_annotate(region);
    free_seq_constraints(region);
    region->len = static_cast<int>(e - b + 1);
    free(region->id);
    region->id = str_dup(newname.c_str());
    if (result)
        add_seq_to_table(result, region);
    else
        free_sequence(region);
    // The parts before and after the domain, each strictly smaller than this region.
    if (a > cut && b - 1 < r)
        process_sequence(S, l, static_cast<int>(b - 1), result, fasta, score, subseq_constraints,
                         align_constraints, domtable);
    if (r - e > cut && e + 1 > l)
        process_sequence(S, static_cast<int>(e + 1), r, result, fasta, score, subseq_constraints,
                         align_constraints, domtable);
    return 1;
}
