// Aligning and domain cutting of the entries a score report selects.
#include "engine/report_align.h"

#include <cstdio>

#include "engine/domains.h"
#include "engine/emloop.h"
#include "foundation/params.h"
#include "sequences/seqio_print.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

namespace {

// Once per process: the warning on a positive mdNLLnull.
bool warn_md_threshold = true;

}  // namespace

void align_selected_seq(FILE *domainout, FILE *alignout, Model **models, float *coeffs, int count,
                        SequenceTable *table, double jump_in, double jump_out,
                        SequenceTable *result, ScoreParams *score, int sw, int pseqmethod,
                        ConstrTable *subseq_constraints, ConstrTable *align_constraints,
                        FILE *domtable, FILE *nodomainout, int reuse) {
    if (!table || !score) return;
    int a = score->select_align, d = score->select_mdalign;
    if (a == 0 && d == 0) return;
    if (d != 0 && score->mdNLLnull > 0 && warn_md_threshold) {
        warn_md_threshold = false;
        fprintf(stderr, "Warning:  mdNLLnull (%f) is greater than zero.\n", score->mdNLLnull);
        fprintf(stderr, "  With NLL-NULL scoring, negative numbers indicate similarity.\n");
        fprintf(stderr, "  Multdomain may crash with this value.\n");
    }
    int maxlen = 0;
    for (int i = 0; i < table->count; i++)
        if (table->seqs[i] && table->seqs[i]->len > maxlen) maxlen = table->seqs[i]->len;
    setup_alignment(models, coeffs, count, maxlen, sw, score->adpstyle, jump_in, jump_out,
                    pseqmethod);
    if (score->dbsize <= 0) score->dbsize = table->count;
    for (int i = 0; i < table->count; i++)
        if (table->seqs[i]) set_columns(table->seqs[i], score);
    for (int i = 0; i < table->count; i++) {
        Sequence *s = table->seqs[i];
        if (!s) continue;
        if (s->len > 0 && s->tracks[0].res) {
            if (a != 0 && score_selected(s, score, a)) {
                if (!(reuse && s->align)) align_one_sequence(s, nullptr);
                if (alignout) print_alignment(alignout, s, 0);
            }
            if (d != 0 && score_selected(s, score, d)) {
                int found = multdomain_sequence(s, result, domainout, score, subseq_constraints,
                                                align_constraints, domtable);
                if (!found && nodomainout) pretty_print_sequence(nodomainout, s);
            }
        }
        s->report1 = s->report2 = SCORE_UNSET;
    }
}
