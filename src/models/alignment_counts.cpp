// Counting an alignment into a model: the path of one aligned sequence added to the counts, and
// the frequency model of a whole alignment file.

#include "models/alignment_counts.h"

#include <cstdlib>
#include <cstring>

#include "foundation/alphabet.h"
#include "models/codon.h"
#include "models/constraints.h"
#include "models/constrparse.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/models.h"
#include "models/models_labels.h"
#include "sequences/alignment.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "models/weightalignment.h"

namespace {

// Source index of a code byte's kind for the transition triples: 0 delete, 1 match, 2 insert.
inline int source_index(int b) {
    if (b > ALIGN_DELETE_BASE) return 0;
    if (b > ALIGN_MATCH_BASE) return 1;
    return 2;
}

}  // namespace

void update_freqs(const Sequence *seq, Model *counts) {
    if (!seq || !counts) return;
    const unsigned char *code = seq->align;
    int L = counts->length;
    long n = code ? static_cast<long>(strlen(reinterpret_cast<const char *>(code))) : 0;
    // Check the whole code before counting anything.
    long columns = 0, used = 0;
    for (long p = 0; p < n; p++) {
        int b = code[p];
        if (b > ALIGN_DELETE_BASE)
            columns += b - ALIGN_DELETE_BASE;
        else if (b > ALIGN_MATCH_BASE)
            columns += b - ALIGN_MATCH_BASE, used += b - ALIGN_MATCH_BASE;
        else
            used += b;
    }
    if (n > 0 && (columns != L || used != seq->len || (used > 0 && !seq->tracks[0].res)))
        error("update_freqs: alignment of %s does not fit the model (%ld of %d columns) or its "
              "residues (%ld of %d)",
              shown_text(sequence_id(seq)).c_str(), columns, L, used, seq->len);
    counts->nodes[L + 1]->mjump[n > 0 ? source_index(code[n - 1]) : 1] += 1;
    if (n == 0) return;
    const unsigned char *res = seq->tracks[0].res;
    int A = alphabet ? alphabet->emit_length : 0;
    int k = L;
    long r = seq->len;  // residues not yet walked; the next one back is res[r - 1]
    for (long p = n - 1; p >= 0; p--) {
        int b = code[p];
        int prev = p > 0 ? source_index(code[p - 1]) : 1;
        if (b > ALIGN_DELETE_BASE) {
            for (int j = b - ALIGN_DELETE_BASE - 1; j >= 0; j--, k--)
                counts->nodes[k]->djump[j == 0 ? prev : 0] += 1;
        } else if (b > ALIGN_MATCH_BASE) {
            for (int j = b - ALIGN_MATCH_BASE - 1; j >= 0; j--, k--) {
                Node *node = counts->nodes[k];
                node->mjump[j == 0 ? prev : 1] += 1;
                int x = res[--r];
                if (node->type == CODON_TYPE_C) {
                    if (r + 2 < seq->len && x < NUM_NUCLEOTIDES && res[r + 1] < NUM_NUCLEOTIDES &&
                        res[r + 2] < NUM_NUCLEOTIDES)
                        node->match[codon_index(x, res[r + 1], res[r + 2])] += 1;
                } else if (node->type != CODON_TYPE_D && node->type != CODON_TYPE_E && x < A) {
                    node->match[x] += 1;
                }
            }
        } else {
            Node *node = counts->nodes[k];
            for (int j = b - 1; j >= 0; j--) {
                node->ijump[j == 0 ? prev : 2] += 1;
                int x = res[--r];
                if (node->type != CODON_TYPE_C && node->type != CODON_TYPE_D && x < A)
                    node->insert[x] += 1;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Frequency model of an alignment
// ---------------------------------------------------------------------------------------------

Model *freq_from_alignment(const char *filename, FILE *info, const char *run_name,
                           const char *weights_file, AWeightParams *aweight, PriorLib *prior,
                           ConstrParams *constr) {
    int *fims = nullptr;
    int nfims = 0;
    SequenceTable *table = read_alignment(filename, &fims, &nfims);
    if (!table || table->count == 0) {
        fprintf(stderr, "No alignment found in alignment file %s.\n", shown_text(filename).c_str());
        free_sequence_table(table);
        free(fims);
        return nullptr;
    }
    bool have_file = weights_file && *weights_file;
    if (have_file && aweight && aweight->aweight_method != 0)
        fprintf(stderr, "Using alignment_weights file (%s) rather than aweight_method.\n",
                shown_text(weights_file).c_str());
    if (have_file || !aweight || !weight_alignment(info, run_name, table, prior, aweight)) {
        SeqWeights weights;
        read_weights(have_file ? weights_file : nullptr, &weights);
        merge_weights(table, &weights);
        print_weight_info(info, "Alignment weights", have_file ? weights_file : nullptr, nullptr,
                          table, weights.num_families);
        free_weights(&weights);
    }
    int L = 0;  // the first row's model length (every row has it)
    for (const unsigned char *c = table->seqs[0]->align; *c; c++)
        if (*c > ALIGN_DELETE_BASE)
            L += *c - ALIGN_DELETE_BASE;
        else if (*c > ALIGN_MATCH_BASE)
            L += *c - ALIGN_MATCH_BASE;
    bool codon = alphabet && alphabet->id == CODON_ALPHABET_ID;
    Model *model;
    if (codon) {
        model = alloc_model(L / 3 * 3);
        init_model(model, 0);
        set_codon_nodes(model);
        if (nfims > 0) fprintf(stderr, "Warning:  internal FIMs ignored in codon alignment\n");
    } else {
        model = alloc_model(L);
        init_model(model, 0);
        make_lettercounts(&model->lettcount, table, 0, table->count);
        for (int f = 0; f < nfims; f++) {
            if (fims[f] < 1 || fims[f] > L) continue;
            turn_into_fim(model, nullptr, fims[f]);
            fprintf(stderr, "Node %d is a FIM.\n", fims[f]);
        }
    }
    free(fims);
    if (model->length == L) {
        Model *counts = alloc_model(L);
        for (int s = 0; s < table->count; s++) {
            Sequence *seq = table->seqs[s];
            init_model(counts, 0);
            if (codon) set_codon_nodes(counts);
            update_freqs(seq, counts);
            increment_model(model, counts, seq->weights ? seq->weights[0] : 1.0);
        }
        free_model(counts);
    } else {
        fprintf(stderr,
                "Warning:  codon alignment of %d columns is not a whole number of codons; "
                "no counts taken.\n",
                L);
    }
    if (constr) {
        ConstrTable *from_files = nullptr;
        if (constr->constraints_from_align) {
            constraints_from_align(table);
        } else if (constr->constraints_count > 0) {
            from_files = read_constraints_table(constr->constraints, constr->constraints_count, 0);
            apply_seqs_constraints(from_files, table);
        } else {
            free_sequence_table(table);
            return model;
        }
        model_labels_from_align(table, model);
        if (constr->constraints_out && *constr->constraints_out) {
            ConstrTable *out = create_constraint_table();
            save_seqs_constraints(table, out);
            write_constraints_table(out, constr->constraints_out);
            free_constraint_table(out);
        }
        free_constraint_table(from_files);
    }
    free_sequence_table(table);
    return model;
}
