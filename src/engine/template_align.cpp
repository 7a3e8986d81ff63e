// Structure templates applied to a model: the template sequence aligned to the model, and each
// matched node given the environment of its template residue.
#include "engine/template_align.h"

#include <string>

#include "engine/emloop.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "sequences/hssp.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

namespace {

// The template sequence is one plain letter track: the profile-column method is never used.
constexpr int TEMPLATE_PSEQ_METHOD = 0;

// The track-model list handed to the alignment driver, which keeps it as its stored setting:
// it outlives the call, so that the stored list never points into a finished stack frame.
Model *template_tracks[1];

// Aligns the template sequence alone to the model with the run's alignment settings (scoring
// mode, alignment DP style, jump probabilities); its alignment code is replaced.
void align_template_sequence(Sequence *tseq, Model *model) {
    Sequence *one[1] = {tseq};
    SequenceTable set = {1, 1, one};
    template_tracks[0] = model;
    align_sequences(template_tracks, nullptr, 1, &set, nullptr, SW, jump_in_prob, jump_out_prob,
                    Score.adpstyle, TEMPLATE_PSEQ_METHOD, 0, 0);
}

}  // namespace

void ApplyTemplate(Sequence *tseq, Model *model, Template *t, int **counts) {
    if (!t || !model) return;
    const std::string shown_id = shown_text(tseq && tseq->id ? tseq->id : "(none)");
    const char *id = shown_id.c_str();
    if (!tseq || tseq->len < 1) error("ApplyTemplate: no template sequence to align to the model");
    if (tseq->len > t->length)
        error("ApplyTemplate: template sequence %s has %d residues, template %d positions", id,
              tseq->len, t->length);
    if (!t->env) t->env = GetEnv(t->structure, t->length);
    for (int i = 0; i <= model->length + 1; i++)
        if (model->nodes[i] && !model->nodes[i]->nodeenv)
            model->nodes[i]->nodeenv = alloc_NodeEnv();
    align_template_sequence(tseq, model);
    if (!tseq->align)
        error("ApplyTemplate: template sequence %s has no alignment to the model", id);
    // Node j takes the environment of the template residue matched there; inserted residues
    // are passed over and deleted nodes keep their environment.
    int j = 0, pos = 0;
    for (const unsigned char *p = tseq->align; *p; p++) {
        int b = *p;
        if (b <= ALIGN_MATCH_BASE) {
            pos += b;
            continue;
        }
        if (b > ALIGN_DELETE_BASE) {
            j += b - ALIGN_DELETE_BASE;
            continue;
        }
        for (int c = 0; c < b - ALIGN_MATCH_BASE; c++) {
            j++;
            pos++;
            if (j > model->length || pos > t->length)
                error("ApplyTemplate: alignment of %s matches position %d at node %d; model has "
                      "%d nodes, template %d positions",
                      id, pos, j, model->length, t->length);
            int acc = t->acc[pos];
            int env = t->env[pos];
            if (acc < 0 || env < 0)
                error("ApplyTemplate: unknown environment code (accessibility %d, code %d) at "
                      "position %d",
                      acc, env, pos);
            int code = 0;
            if (counts) {
                if (acc >= ACC_BINS || env >= STRUCTURE_TRIPLES)
                    error("ApplyTemplate: accessibility %d or code %d at position %d outside the "
                          "count table",
                          acc, env, pos);
                code = counts[acc][env];
            }
            if (model->nodes[j]) update_nodenv(model->nodes[j]->nodeenv, acc, env, code);
        }
    }
}
