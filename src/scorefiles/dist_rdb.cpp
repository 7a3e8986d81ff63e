// RDB score tables.
#include "scorefiles/dist_rdb.h"

#include <cstdarg>
#include <cstdlib>
#include <string>

#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"

static const char DIST_RDB_SUFFIX[] = ".dist-rdb";

// Values of subtract_null that give a second-score column, with its name.
static const char *second_score_name(int subtract_null) {
    switch (subtract_null) {
        case 2: return "COMPLEX";
        case 3: return "USERS";
        case 4: return "REVERSE";
        case 5: return "SCALED";
        default: return nullptr;
    }
}

// A text as one table field: tabs and line ends become blanks.
static std::string field_text(const char *text) {
    std::string s(text ? text : "");
    for (char &c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return s;
}

static void print_list(FILE *fp, const char *lead, char **values, int count) {
    std::fputs(lead, fp);
    for (int i = 0; i < count; i++) std::fprintf(fp, " %s", values[i] ? values[i] : "");
    std::fputc('\n', fp);
}

void dist_rdb_open_or_append(DistRDB **out, const char *banner, const char *version,
                             const char *run_name, int *model_length, int add_hmm_names,
                             const SeqInfo *info) {
    if (!out) {
        std::fputs("dist_rdb_open_or_append called with null DistRDB\n", stderr);
        return;
    }
    if (!*out) {
        DistRDB *w = (DistRDB *)mem_alloc(sizeof(DistRDB));
        w->fp = open_outputfile(run_name, DIST_RDB_SUFFIX);
        std::fprintf(stderr, "Opening %s.dist-rdb for RDB distance output\n",
                     shown_text(run_name).c_str());
        w->add_hmm_names = add_hmm_names;
        print_banner_block(w->fp, banner, '#');
        std::fprintf(w->fp, "# version: %s\n", version ? version : "");
        std::fprintf(w->fp, "# runname: %s\n", run_name ? run_name : "");
        std::fprintf(w->fp, "# date: %s\n", get_time());
        std::fprintf(w->fp, "# user: %s\n", get_user_name());
        std::fprintf(w->fp, "# host: %s\n", get_host_name());
        *out = w;
    } else if (add_hmm_names != (*out)->add_hmm_names) {
        std::fputs("Warning:  dist_rdb_open_or_append differing addHmmNames\n", stderr);
        std::fprintf(stderr, "using original value (%d)\n", (*out)->add_hmm_names);
    }
    DistRDB *w = *out;
    FILE *fp = w->fp;
    w->model_length = model_length;
    if (model_length) {
        if (var_changed(&model_file) && model_file)
            std::fprintf(fp, "# model_file: %s\n", model_file);
        if (var_changed(&nullmodel_file) && nullmodel_file)
            std::fprintf(fp, "# null_model_file: %s\n", nullmodel_file);
        if (insert_listcount > 0) print_list(fp, "# insert_files:", insert_list, insert_listcount);
        if (dblistcount > 0) print_list(fp, "# database_files:", dblist, dblistcount);
        std::fprintf(fp, "# scoring_mode: %s\n", get_scoring_mode_msg(SW));
        std::fprintf(fp, "# null_model: %s\n", get_null_model_msg(Score.subtract_null));
        std::fprintf(fp, "# scoring_algorithm: %s\n", get_dp_style_msg(dpstyle));
        std::fprintf(fp, "# adjust_score: %d\n", Score.adjust_score);
        std::fprintf(fp, "# dp_mode: %s\n", Vireon.use_vireon ? "vireon" : "sequential");
        std::fprintf(fp, "# model_length: %d\n", *model_length);
        std::fprintf(fp, "# vireon_mapping: %s\n",
                     Vireon.use_vireon == 0       ? "none"
                     : Vireon.vireon_dual_mapping ? "dual"
                                                  : "single");
        std::fprintf(fp, "# vireon_sim_pe: %d\n", Vireon.vireon_num_extra_pe);
    }
    if (info) {
        std::fprintf(fp, "# num_sequences: %d\n", info->count);
        std::fprintf(fp, "# total_seq_len: %d\n", (int)info->sum);
        std::fprintf(fp, "# ave_seq_len: %0.3f\n", info->mean);
    }
    if (Score.query)
        std::fprintf(fp, "# swlambda: %5.3f\n", Score.swlambda);
    else
        std::fprintf(fp, "# lambda: %5.3f\n", Score.lambda);
    std::fprintf(fp, "# tau %5.3f\n", Score.tau);
    std::fputs("#\n", fp);
}

void dist_rdb_comment(DistRDB *out, const char *fmt, ...) {
    if (!out) return;
    std::fputs("# ", out->fp);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(out->fp, fmt, ap);
    va_end(ap);
    std::fputc('\n', out->fp);
}

// The first entry of a table (null slots passed over), or null.
static const Sequence *first_entry(const SequenceTable *table) {
    if (!table) return nullptr;
    for (int i = 0; i < table->count; i++)
        if (table->seqs[i]) return table->seqs[i];
    return nullptr;
}

static void write_column_lines(DistRDB *w, const SequenceTable *table) {
    FILE *fp = w->fp;
    const char *second = second_score_name(Score.subtract_null);
    const Sequence *first = first_entry(table);
    w->second_column = second != nullptr;
    w->evalue_column = first && first->evalue != SCORE_UNSET;
    if (w->add_hmm_names) std::fputs("HMM\tHMMLEN\t", fp);
    std::fputs("SEQID\tSEQLEN\tRAW\tSIMPLE", fp);
    if (second) std::fprintf(fp, "\t%s", second);
    if (w->evalue_column) std::fputs("\tEVALUE", fp);
    std::fputs("\tX_CNT\n", fp);
    if (w->add_hmm_names) std::fputs("15S\t10N\t", fp);
    std::fputs("32S\t10N\t10N\t10N", fp);
    if (w->second_column) std::fputs("\t10N", fp);
    if (w->evalue_column) std::fputs("\t10N", fp);
    std::fputs("\t5N\n", fp);
    w->columns_written = 1;
}

void dist_rdb_write(DistRDB *out, const char *model_name, const SequenceTable *table,
                    const ScoreParams *score) {
    if (!out) return;
    if (!out->columns_written) write_column_lines(out, table);
    if (!table) return;
    FILE *fp = out->fp;
    std::string model = field_text(model_name);
    for (int i = 0; i < table->count; i++) {
        const Sequence *s = table->seqs[i];
        if (!s) continue;
        if (score && !score_selected(s, score, score->select_score)) continue;
        if (out->add_hmm_names)
            std::fprintf(fp, "%s\t%d\t", model.c_str(), out->model_length ? *out->model_length : 0);
        std::fprintf(fp, "%s\t%d\t%0.4f\t%0.4f", field_text(s->id).c_str(), s->len, s->raw_score,
                     s->simple_score);
        if (out->second_column) std::fprintf(fp, "\t%0.4f", s->second_score);
        if (out->evalue_column) std::fprintf(fp, "\t%0.3e", s->evalue);
        std::fprintf(fp, "\t%d\n", (int)s->xcount);
    }
}

void dist_rdb_close(DistRDB **out) {
    if (!out || !*out) return;
    close_outputfile((*out)->fp);
    std::free(*out);
    *out = nullptr;
}
