// The engine's integer model form and the posterior-decoding store.
#include "engine/fbmodel.h"

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/alphabet.h"
#include "models/modelio.h"
#include "models/models.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"
#include "sequences/model_records.h"

// ---------------------------------------------------------------------------------------------
// FBmodel
// ---------------------------------------------------------------------------------------------

FBmodel *alloc_FBmodel() {
    FBmodel *fb = static_cast<FBmodel *>(mem_alloc(sizeof(FBmodel)));
    fb->length = -1;
    return fb;
}

// Letter rows: one block of nrows * (L+2) values behind an array of row pointers.
static int **alloc_rows(int nrows, int L) {
    int **rows = static_cast<int **>(mem_alloc((size_t)(nrows > 0 ? nrows : 1) * sizeof(int *)));
    int *block = static_cast<int *>(mem_alloc((size_t)nrows * ((size_t)L + 2) * sizeof(int)));
    for (int k = 0; k < nrows; k++) rows[k] = block + (size_t)k * ((size_t)L + 2);
    if (nrows == 0) rows[0] = block;
    return rows;
}

static void free_rows(int **rows) {
    if (!rows) return;
    std::free(rows[0]);
    std::free(rows);
}

void clear_FBmodel(FBmodel *fb) {
    if (!fb) return;
    std::free(fb->trans);
    std::free(fb->rtrans);
    free_rows(fb->itables);
    free_rows(fb->mtables);
    free_rows(fb->ritables);
    free_rows(fb->rmtables);
    std::free(fb->nodeinfo);
    std::free(fb->rnodeinfo);
    fb->trans = fb->rtrans = nullptr;
    fb->itables = fb->mtables = fb->ritables = fb->rmtables = nullptr;
    fb->nodeinfo = fb->rnodeinfo = nullptr;
    fb->nrows = 0;
    fb->length = -1;
}

void size_FBmodel(FBmodel *fb, int L, int aw, int reversed) {
    if (L < 0 || aw < 0 || L > (1 << 28)) error("size_FBmodel: bad size (L %d, letters %d)", L, aw);
    if (fb->length == L && fb->nrows == aw && fb->trans && (!reversed || fb->rmtables)) return;
    clear_FBmodel(fb);
    size_t n = (size_t)L + 2;
    fb->trans = static_cast<TransCosts *>(mem_alloc(n * sizeof(TransCosts)));
    fb->rtrans = static_cast<TransCosts *>(mem_alloc(n * sizeof(TransCosts)));
    fb->itables = alloc_rows(aw, L);
    fb->mtables = alloc_rows(aw, L);
    fb->nodeinfo = static_cast<FBNodeInfo *>(mem_alloc(n * sizeof(FBNodeInfo)));
    if (reversed) {
        fb->ritables = alloc_rows(aw, L);
        fb->rmtables = alloc_rows(aw, L);
        fb->rnodeinfo = static_cast<FBNodeInfo *>(mem_alloc(n * sizeof(FBNodeInfo)));
    }
    fb->nrows = aw;
    fb->length = L;
}

void zero_FBmodel(FBmodel *fb, int L, int aw) {
    size_FBmodel(fb, L, aw, 0);
    for (int i = 0; i < L + 2; i++)
        for (int e = 0; e < TC_COUNT; e++) fb->trans[i].t[e] = IMPOSSIBLE_COST;
    for (int k = 0; k < aw; k++)
        for (int i = 0; i < L + 2; i++) fb->itables[k][i] = fb->mtables[k][i] = IMPOSSIBLE_COST;
}

// A cost times the track scale, formed in single precision, truncated toward zero and kept
// within +-IMPOSSIBLE_COST (NaN counts as impossible).
static int scaled_cost(int c, float scale) {
    float v = (float)c * scale;
    if (std::isnan(v) || v >= (float)IMPOSSIBLE_COST) return IMPOSSIBLE_COST;
    if (v <= -(float)IMPOSSIBLE_COST) return -IMPOSSIBLE_COST;
    return (int)v;
}

static void swap_int(int &a, int &b) {
    int t = a;
    a = b;
    b = t;
}

// The nine costs of node i as the integer form stores them: Begin's start state and End's final
// state are delete states here, match states in the model's cost records.
static int clamp_cost(int c) {
    return c > IMPOSSIBLE_COST ? IMPOSSIBLE_COST : c < -IMPOSSIBLE_COST ? -IMPOSSIBLE_COST : c;
}

static TransCosts node_trans(const Model *model, int i) {
    const ModWeight *w = model->weights[i];
    TransCosts tc;
    for (int e = 0; e < 3; e++) {
        tc.t[TC_DD + e] = clamp_cost(w->djump[e]);
        tc.t[TC_MD + e] = clamp_cost(w->mjump[e]);
        tc.t[TC_ID + e] = clamp_cost(w->ijump[e]);
    }
    int L = model->length;
    if (i == 0) swap_int(tc.t[TC_ID], tc.t[TC_IM]);
    if (i == 1) {
        swap_int(tc.t[TC_DD], tc.t[TC_DM]);
        swap_int(tc.t[TC_MD], tc.t[TC_MM]);
    }
    if (i == L + 1)
        for (int e = 0; e < 3; e++) swap_int(tc.t[TC_DD + e], tc.t[TC_MD + e]);
    return tc;
}

FBmodel *model2fbmodel(Model *model, FBmodel *fb, float scale) {
    if (!model) error("Null model or modweight in model2fbmodel");
    if (model->kind == 1) return seq2fbmodel(model, fb);
    if (!model->weights || model->length < 0) error("Null model or modweight in model2fbmodel");
    check_alphabet(nullptr);
    if (!fb) fb = alloc_FBmodel();
    int L = model->length;
    int aw = alphabet->emit_length_wild;
    size_FBmodel(fb, L, aw, 1);
    fb->query = 0;
    for (int i = 0; i <= L + 1; i++) {
        const ModWeight *w = model->weights[i];
        if (!w) error("Null model or modweight in model2fbmodel");
        int wl = (w->ncosts - TC_COUNT) / 2;
        fb->trans[i] = node_trans(model, i);
        for (int k = 0; k < aw; k++) {
            fb->itables[k][i] = k < wl ? scaled_cost(w->insert[k], scale) : IMPOSSIBLE_COST;
            fb->mtables[k][i] = k < wl ? scaled_cost(w->match[k], scale) : IMPOSSIBLE_COST;
        }
        const Node *node = model->nodes ? model->nodes[i] : nullptr;
        fb->nodeinfo[i].label = node ? node->lab : -1;
        fb->nodeinfo[i].type = node ? node->type : 0;
    }
    // The reversed model: reversed node r stands for node L+1-r (delete and match states); the
    // insert state of reversed node k for the insert state of node L-k.
    const TransCosts *T = fb->trans;
    TransCosts *R = fb->rtrans;
    for (int r = 0; r <= L + 1; r++)
        for (int e = 0; e < TC_COUNT; e++) R[r].t[e] = IMPOSSIBLE_COST;
    for (int r = 1; r <= L + 1; r++) {
        int e = L + 2 - r;
        R[r].t[TC_DD] = T[e].t[TC_DD];
        R[r].t[TC_DM] = T[e].t[TC_MD];
        R[r].t[TC_DI] = T[e - 1].t[TC_ID];
        R[r].t[TC_MD] = T[e].t[TC_DM];
        R[r].t[TC_MM] = T[e].t[TC_MM];
        R[r].t[TC_MI] = T[e - 1].t[TC_IM];
        R[r - 1].t[TC_ID] = T[e].t[TC_DI];
        R[r - 1].t[TC_IM] = T[e].t[TC_MI];
        R[r - 1].t[TC_II] = T[e - 1].t[TC_II];
    }
    for (int e = TC_DD; e <= TC_MI; e++) R[0].t[e] = IMPOSSIBLE_COST;
    for (int e = TC_ID; e <= TC_II; e++) R[L + 1].t[e] = IMPOSSIBLE_COST;
    R[L + 1].t[TC_DD] = T[1].t[TC_DD];
    R[L + 1].t[TC_DM] = T[1].t[TC_MD];
    R[L + 1].t[TC_DI] = T[0].t[TC_ID];
    R[L + 1].t[TC_MD] = T[1].t[TC_DM];
    R[L + 1].t[TC_MM] = T[1].t[TC_MM];
    R[L + 1].t[TC_MI] = T[1].t[TC_IM];
    for (int k = 0; k < aw; k++) {
        for (int l = 1; l <= L; l++) fb->rmtables[k][l] = fb->mtables[k][L + 1 - l];
        fb->rmtables[k][0] = fb->mtables[k][0];
        fb->rmtables[k][L + 1] = fb->mtables[k][L + 1];
        for (int l = 0; l <= L; l++) fb->ritables[k][l] = fb->itables[k][L - l];
        fb->ritables[k][L + 1] = fb->itables[k][L + 1];
    }
    for (int j = 0; j <= L + 1; j++) fb->rnodeinfo[j] = fb->nodeinfo[L + 1 - j];
    return fb;
}

FBmodel *seq2fbmodel(Model *model, FBmodel *fb) {
    if (!model || !model->query || model->query->len <= 0 || !model->query->tracks[0].res)
        error("Null model or modweight in model2fbmodel");
    const Sequence *q = model->query;
    if (!q->converted)
        error("seq2fbmodel: query sequence %s is not converted", shown_text(q->id).c_str());
    check_alphabet(nullptr);
    set_fims_added();
    if (!fb) fb = alloc_FBmodel();
    int n = q->len;
    int aw = alphabet->emit_length_wild;
    // The matrix has a+1 rows and columns, a the letters with wildcards; row and column a stand
    // for '*', which any other letter index uses.
    int a = alphabet->length_wild;
    size_FBmodel(fb, n + 1, aw, 0);
    fb->query = 1;
    int G = std::abs(model->gap), E = std::abs(model->cont);
    const int B = IMPOSSIBLE_COST;
    for (int i = 0; i <= n + 2; i++) {
        int *t = fb->trans[i].t;
        t[TC_DD] = E;
        t[TC_DM] = G;
        t[TC_DI] = G;
        t[TC_MD] = t[TC_MM] = t[TC_MI] = 0;
        t[TC_ID] = G;
        t[TC_IM] = G;
        t[TC_II] = E;
        fb->nodeinfo[i].label = -1;
        fb->nodeinfo[i].type = 0;
        int row = -1;
        if (i >= 1 && i <= n) {
            row = q->tracks[0].res[i - 1];
            if (row < 0 || row > a) row = a;
        }
        for (int k = 0; k < aw; k++) {
            fb->itables[k][i] = 0;
            int col = k < a ? k : a;
            fb->mtables[k][i] = (row < 0 || !model->matrix) ? B : -model->matrix[row][col];
        }
    }
    TransCosts *T = fb->trans;
    for (int e = TC_DD; e <= TC_MI; e++) T[0].t[e] = B;
    T[0].t[TC_ID] = 0;
    T[0].t[TC_IM] = B;
    T[0].t[TC_II] = 0;
    T[1].t[TC_DD] = 0;
    T[1].t[TC_DI] = 0;
    for (int e = 0; e < 3; e++) {
        T[n + 1].t[TC_DD + e] = 0;
        T[n + 1].t[TC_MD + e] = B;
        T[n + 1].t[TC_ID + e] = 0;
        T[n + 2].t[TC_DD + e] = 0;
        T[n + 2].t[TC_MD + e] = B;
        T[n + 2].t[TC_ID + e] = B;
    }
    return fb;
}

static void print_trans_table(FILE *out, const char *name, const TransCosts *t, int L) {
    std::fprintf(out, "%%> %s: \n", name);
    for (int i = 0; i <= L + 1; i++) {
        const int *c = t[i].t;
        std::fprintf(out, "%%   %d: (%d %d %d) (%d %d %d) (%d %d %d)\n", i, c[0], c[1], c[2], c[3],
                     c[4], c[5], c[6], c[7], c[8]);
    }
}

static void print_letter_table(FILE *out, const char *name, int *const *rows, int nrows, int L) {
    std::fprintf(out, "%%> %s:\n", name);
    for (int i = 0; i <= L + 1; i++) {
        std::fprintf(out, "%%   %d:", i);
        for (int k = 0; k < nrows; k++) std::fprintf(out, " %d", rows[k][i]);
        std::fprintf(out, "\n");
    }
}

void dbg_print_fbmodel(FILE *out, const FBmodel *fb, const char *fmt, ...) {
    if (!out) out = dbg_log_file();
    std::string title;
    if (fmt) {
        va_list ap;
        va_start(ap, fmt);
        char buf[1024];
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
        title = buf;
    }
    std::fprintf(out, "%%%s\n", std::string(70, '=').c_str());
    std::fprintf(out, "%% %s", title.c_str());
    if (title.empty() || title.back() != '\n') std::fprintf(out, "\n");
    int L = fb ? fb->length : -1;
    std::fprintf(out, "%%> length: %d\n", L);
    if (fb && L >= 0 && fb->trans) {
        print_trans_table(out, "trans", fb->trans, L);
        print_trans_table(out, "rtrans", fb->rtrans, L);
        print_letter_table(out, "itables", fb->itables, fb->nrows, L);
        print_letter_table(out, "mtables", fb->mtables, fb->nrows, L);
        if (fb->ritables) print_letter_table(out, "ritables", fb->ritables, fb->nrows, L);
        if (fb->rmtables) print_letter_table(out, "rmtables", fb->rmtables, fb->nrows, L);
    }
    std::fprintf(out, "%%%s\n", std::string(70, '^').c_str());
    std::fflush(out);
}

// ---------------------------------------------------------------------------------------------
// PDmodel
// ---------------------------------------------------------------------------------------------

PDmodel *alloc_PDmodel() {
    PDmodel *pd = static_cast<PDmodel *>(mem_alloc(sizeof(PDmodel)));
    pd->length = -1;
    pd->nres = -1;
    return pd;
}

static void free_pd_trans(PDmodel *pd) {
    if (pd->trans_base) {
        for (int r = 0; r < pd->trans_rows; r++) std::free(pd->trans_base[r]);
        std::free(pd->trans_base);
    }
    pd->trans_base = nullptr;
    pd->trans = nullptr;
    pd->trans_rows = 0;
    pd->trans_len = 0;
}

void clear_PDmodel(PDmodel *pd) {
    if (!pd) return;
    free_pd_trans(pd);
    std::free(pd->buf);
    std::free(pd->insert);
    std::free(pd->match);
    pd->buf = nullptr;
    pd->insert = pd->match = nullptr;
    pd->capacity = 0;
    pd->length = -1;
    pd->nres = -1;
}

void size_PDmodel(PDmodel *pd, int L, int n, int no_trans) {
    if (L < 0 || n < 0) error("size_PDmodel: negative size (L %d, n %d)", L, n);
    bool want_trans = !no_trans;
    bool has_trans = pd->trans_base != nullptr;
    if (pd->length == L && pd->nres == n && want_trans == has_trans) return;
    size_t need = (2 * (size_t)L + 4) * (size_t)n;
    if (need > (size_t)0x7fffffff) error("size_PDmodel: store of %zu values is too large", need);
    if ((size_t)pd->capacity < need) {
        std::free(pd->buf);
        pd->buf = static_cast<int *>(mem_alloc(need * sizeof(int)));
        pd->capacity = (int)need;
    }
    if (pd->nres != n) {
        std::free(pd->insert);
        std::free(pd->match);
        pd->insert = static_cast<int **>(mem_alloc((size_t)n * sizeof(int *)));
        pd->match = static_cast<int **>(mem_alloc((size_t)n * sizeof(int *)));
    }
    size_t w = (size_t)L + 2;
    for (int i = 0; i < n; i++) {
        pd->match[i] = pd->buf + (size_t)i * w;
        pd->insert[i] = pd->buf + ((size_t)n + i) * w;
    }
    if (!want_trans) {
        free_pd_trans(pd);
    } else if (pd->trans_rows != n + 2 || pd->trans_len != L + 2) {
        free_pd_trans(pd);
        pd->trans_rows = n + 2;
        pd->trans_len = L + 2;
        pd->trans_base =
            static_cast<TransCosts **>(mem_alloc((size_t)pd->trans_rows * sizeof(TransCosts *)));
        for (int r = 0; r < pd->trans_rows; r++)
            pd->trans_base[r] = static_cast<TransCosts *>(mem_alloc(w * sizeof(TransCosts)));
        pd->trans = pd->trans_base + 1;
    }
    pd->nres = n;
    pd->length = L;
}

void zero_PDmodel(PDmodel *pd, int L, int n, int no_trans) {
    size_PDmodel(pd, L, n, no_trans);
    for (int i = 0; i < n; i++)
        for (int k = 0; k < L; k++) pd->match[i][k] = pd->insert[i][k] = PD_EMPTY;
    if (pd->trans)
        for (int r = -1; r <= n; r++)
            for (int k = 0; k < L + 2; k++)
                for (int e = 0; e < TC_COUNT; e++) pd->trans[r][k].t[e] = PD_EMPTY;
}
