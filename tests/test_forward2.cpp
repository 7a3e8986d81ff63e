// Exactness of the scoring engine against references written here from the recurrences: a
// full-matrix integer forward, best-path and backward computation (plain loops, nothing shared
// with the engine's kernels), a log-space forward in double precision, and path enumeration on
// tiny models. Also: results do not depend on the checkpoint memory limit.
#include "foundation/alphabet.h"
#include "engine/fbmodel.h"
#include "engine/forward2.h"
#include "engine/forward2_driver.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/models.h"
#include "sequences/sequence.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int BIG = 100000000;

void use_alphabet(const char *name) {
    reset_alphabets();
    init_alphabets();
    init_alphabet_by_name(name, 0, "");
}

// ---------------------------------------------------------------------------------------------
// The reference. Log-sum table from its definition: round(1000 ln(1 + e^(-d/1000))) formed as
// the cost of 1/(1 + e^(-d/1000)) in single precision.
// ---------------------------------------------------------------------------------------------

int ref_table(int d) {
    static std::vector<int> t;
    if (t.empty()) {
        for (int k = 0; k <= 7600; k++) {
            float e = std::exp(-(float)k / 1000.0f);
            float q = 1.0f / (1.0f + e);
            t.push_back((int)(0.5 - 1000.0 * std::log((double)q)));
        }
    }
    return t[d];
}

int rls(int a, int b) {
    long long d = a > b ? (long long)a - b : (long long)b - a;
    int m = a < b ? a : b;
    return d <= 7600 ? m - ref_table((int)d) : m;
}
int rcap(long long x) {
    return x < BIG ? (int)x : BIG;
}
int rlsc(long long a, long long b) {
    return rcap(rls(rcap(a), rcap(b)));
}

// A model as the recurrences see it: per node the nine costs (into D from D,M,I; into M from
// D,M,I; into I from D,M,I), emissions by node and letter, labels and type letters.
struct RM {
    int L;
    std::vector<std::array<int, 9>> T;
    std::vector<std::vector<int>> M, I;  // [node][letter]
    std::vector<int> lab;
    std::vector<char> type;
};

// From a model's cost records: Begin's start state and End's final state are delete states.
RM ref_model(const Model *m, int aw) {
    RM r;
    r.L = m->length;
    int L = r.L;
    for (int i = 0; i <= L + 1; i++) {
        const ModWeight *w = m->weights[i];
        std::array<int, 9> t{w->djump[0], w->djump[1], w->djump[2], w->mjump[0], w->mjump[1],
                             w->mjump[2], w->ijump[0], w->ijump[1], w->ijump[2]};
        if (i == 0) std::swap(t[6], t[7]);
        if (i == 1) {
            std::swap(t[0], t[1]);
            std::swap(t[3], t[4]);
        }
        if (i == L + 1)
            for (int e = 0; e < 3; e++) std::swap(t[e], t[3 + e]);
        r.T.push_back(t);
        r.M.emplace_back(w->match, w->match + aw);
        r.I.emplace_back(w->insert, w->insert + aw);
        r.lab.push_back(m->nodes[i]->lab);
        r.type.push_back(m->nodes[i]->type);
    }
    return r;
}

// The mirror image: reversed node r is node L+1-r (delete, match), reversed insert k is insert
// L-k.
RM ref_reverse(const RM &f) {
    int L = f.L;
    RM r = f;
    for (auto &t : r.T) t.fill(BIG);
    for (int x = 1; x <= L + 1; x++) {
        int e = L + 2 - x;
        r.T[x][0] = f.T[e][0];
        r.T[x][1] = f.T[e][3];
        r.T[x][2] = f.T[e - 1][6];
        r.T[x][3] = f.T[e][1];
        r.T[x][4] = f.T[e][4];
        r.T[x][5] = f.T[e - 1][7];
        r.T[x - 1][6] = f.T[e][2];
        r.T[x - 1][7] = f.T[e][5];
        r.T[x - 1][8] = f.T[e - 1][8];
    }
    for (int e = 0; e < 6; e++) r.T[0][e] = BIG;
    for (int e = 6; e < 9; e++) r.T[L + 1][e] = BIG;
    r.T[L + 1] = {f.T[1][0], f.T[1][3], f.T[0][6], f.T[1][1], f.T[1][4], f.T[1][7], BIG, BIG, BIG};
    for (int l = 1; l <= L; l++) r.M[l] = f.M[L + 1 - l];
    for (int l = 0; l <= L; l++) r.I[l] = f.I[L - l];
    for (int j = 0; j <= L + 1; j++) {
        r.lab[j] = f.lab[L + 1 - j];
        r.type[j] = f.type[L + 1 - j];
    }
    return r;
}

struct Cell {
    int d, m, i;
};
using Row = std::vector<Cell>;
using Terms = std::vector<std::array<int, 9>>;

Row ref_start(const RM &rm) {
    Row r(rm.L + 2);
    r[0] = {0, BIG, BIG};
    for (int k = 1; k <= rm.L + 1; k++) r[k] = {rcap((long long)r[k - 1].d + rm.T[k][0]), BIG, BIG};
    return r;
}

struct Jumps {
    bool in, out;
    int in_cost, out_cost;
    std::function<bool(char)> in_ok, out_ok;
};

// Emission of letter x at node j under a constraint (label -1: none).
void ref_emis(const RM &rm, int j, int x, const PosConstraint &pc, int *mc, int *ic) {
    *mc = rm.M[j][x];
    *ic = rm.I[j][x];
    if (pc.label == -1) return;
    *ic = *ic + pc.unconstrained;
    if (j == 0) return;
    int e = pc.label == rm.lab[j] ? pc.satisfied : pc.unsatisfied;
    *mc = rlsc(e, (long long)*mc + pc.unconstrained);
}

// One row by the recurrences. sum: log-sum, else minimum. terms (optional): the nine terms of
// every node.
Row ref_row(const RM &rm, int x, const Row &prev, bool sum, const Jumps &jp,
            const PosConstraint &pc, Terms *terms) {
    int L = rm.L;
    Row cur(L + 2);
    auto comb3 = [&](long long fm, long long fi, long long fd) -> int {
        if (sum) return rlsc(fm, rlsc(fi, fd));
        long long v = fm;
        if (fi < v) v = fi;
        if (fd < v) v = fd;
        return rcap(v);
    };
    if (terms) terms->assign(L + 2, std::array<int, 9>{});
    for (int j = 0; j <= L + 1; j++) {
        int mc, ic;
        ref_emis(rm, j, x, pc, &mc, &ic);
        const auto &t = rm.T[j];
        long long tI[3] = {(long long)prev[j].d + t[6], (long long)prev[j].m + t[7],
                           (long long)prev[j].i + t[8]};
        int I = rcap(ic + (long long)comb3(tI[1], tI[2], tI[0]));
        if (j == 0) {
            cur[0] = {BIG, BIG, I};
            if (terms)
                (*terms)[0] = {BIG, BIG, BIG, BIG, BIG, BIG, (int)tI[0], (int)tI[1], (int)tI[2]};
            continue;
        }
        long long tD[3] = {(long long)cur[j - 1].d + t[0], (long long)cur[j - 1].m + t[1],
                           (long long)cur[j - 1].i + t[2]};
        long long tM[3] = {(long long)prev[j - 1].d + t[3], (long long)prev[j - 1].m + t[4],
                           (long long)prev[j - 1].i + t[5]};
        int D = comb3(tD[1], tD[2], tD[0]);
        int Mv = rcap(mc + (long long)comb3(tM[1], tM[2], tM[0]));
        if (terms)
            (*terms)[j] = {(int)tD[0], (int)tD[1], (int)tD[2], (int)tM[0], (int)tM[1],
                           (int)tM[2], (int)tI[0], (int)tI[1], (int)tI[2]};
        if (j >= 2 && j <= L - 1 && jp.in && jp.in_ok(rm.type[j])) {
            long long v = (long long)jp.in_cost + prev[1].d + mc;
            Mv = sum ? rlsc(v, Mv) : (v < Mv ? rcap(v) : Mv);
        }
        cur[j] = {D, Mv, I};
        if (j == L && jp.out) {
            long long J = BIG;
            for (int k = 2; k <= L - 1; k++) {
                if (!jp.out_ok(rm.type[k])) continue;
                long long v = (long long)cur[k].m + jp.out_cost;
                J = sum ? rlsc(J, v) : (v < J ? v : J);
            }
            cur[L].d = sum ? rlsc(J, cur[L].d) : (J < cur[L].d ? rcap(J) : cur[L].d);
        }
    }
    return cur;
}

bool not_DE(char t) {
    return t != 'D' && t != 'E';
}
bool not_CD(char t) {
    return t != 'C' && t != 'D';
}

Jumps forward_jumps(int sw, int i, int n, int jin, int jout) {
    bool in = sw == 2 || (sw == 1 && i == 0);
    bool out = sw == 2 || (sw == 1 && i == n - 1 && i != 0);
    return {in, out, jin, jout, not_DE, not_CD};
}
Jumps backward_jumps(int sw, int i, int n, int jin, int jout) {
    bool in = sw == 2 || (sw == 1 && i == n - 1 && i != 0);
    bool out = sw == 2 || (sw == 1 && i == 0);
    return {in, out, jout, jin, not_CD, not_DE};
}

struct Problem {
    RM fwd, rev;
    std::vector<int> x;             // letters
    std::vector<PosConstraint> pc;  // per residue
    int sw, jin, jout;
};

// Full forward (sum) or best-path matrix; returns rows 0..N.
std::vector<Row> ref_matrix(const Problem &p, bool sum) {
    int N = (int)p.x.size();
    std::vector<Row> F{ref_start(p.fwd)};
    for (int i = 0; i < N; i++)
        F.push_back(ref_row(p.fwd, p.x[i], F.back(), sum, forward_jumps(p.sw, i, N, p.jin, p.jout),
                            p.pc[i], nullptr));
    return F;
}

// Expected-count costs as the forward-backward pass accumulates them.
struct Acc {
    std::vector<std::array<int, 9>> S;
    std::vector<std::vector<int>> CM, CI;  // [letter][node]
    int Z;
};

Acc ref_counts(const Problem &p, int aw) {
    int N = (int)p.x.size(), L = p.fwd.L;
    std::vector<Row> F = ref_matrix(p, true);
    Acc a;
    a.Z = F[N][L + 1].d;
    a.S.assign(L + 2, std::array<int, 9>{});
    for (auto &s : a.S) s.fill(BIG);
    a.CM.assign(aw, std::vector<int>(L + 2, BIG));
    a.CI = a.CM;
    Row Bprev = ref_start(p.rev);
    Terms To(L + 2);
    for (auto &t : To) t.fill(BIG);
    for (int k = 1; k <= L + 1; k++) To[k][0] = Bprev[k].d;
    auto put = [](int &slot, long long v) { slot = rlsc(slot, v); };
    for (int i = N - 1; i >= -1; i--) {
        Row B;
        Terms Tn;
        int x = i >= 0 ? p.x[i] : -1;
        if (i >= 0)
            B = ref_row(p.rev, x, Bprev, true, backward_jumps(p.sw, i, N, p.jin, p.jout), p.pc[i],
                        &Tn);
        const Row &Fi = F[i + 1];
        for (int k = L + 1; k >= 0; k--) {
            int j = L + 1 - k;
            long long fd = Fi[k].d, fm = Fi[k].m, fi = Fi[k].i;
            if (i >= 0) {
                int rmj, rij, dummy;
                ref_emis(p.rev, j, x, p.pc[i], &rmj, &dummy);
                long long mp = fm + B[j].m - rmj;
                if (k <= L) {
                    ref_emis(p.rev, j - 1, x, p.pc[i], &dummy, &rij);
                    long long ip = fi + B[j - 1].i - rij;
                    for (int e = 0; e < 3; e++) put(a.S[k][2 + 3 * e], fi + Tn[j - 1][6 + e]);
                    put(a.CI[x][k], ip);
                }
                for (int e = 0; e < 3; e++) put(a.S[k][1 + 3 * e], fm + Tn[j][3 + e]);
                put(a.CM[x][k], mp);
            }
            for (int e = 0; e < 3; e++) put(a.S[k][3 * e], fd + To[j][e]);
        }
        if (i >= 0) {
            Bprev = B;
            To = Tn;
        }
    }
    return a;
}

// Log-space forward in double precision (exact log-sums).
double lse(double a, double b) {
    double m = std::min(a, b);
    return m - 1000.0 * std::log1p(std::exp(-std::fabs(a - b) / 1000.0));
}
double float_forward(const Problem &p) {
    const RM &rm = p.fwd;
    int N = (int)p.x.size(), L = rm.L;
    std::vector<double> pd(L + 2), pm(L + 2), pi(L + 2), cd(L + 2), cm(L + 2), ci(L + 2);
    pd[0] = 0;
    pm[0] = pi[0] = 1e300;
    for (int k = 1; k <= L + 1; k++) {
        pd[k] = pd[k - 1] + rm.T[k][0];
        pm[k] = pi[k] = 1e300;
    }
    const double inf = 1e300;
    auto s3 = [](double a, double b, double c) { return lse(a, lse(b, c)); };
    for (int r = 0; r < N; r++) {
        int x = p.x[r];
        const PosConstraint &pc = p.pc[r];
        Jumps jp = forward_jumps(p.sw, r, N, p.jin, p.jout);
        for (int j = 0; j <= L + 1; j++) {
            double mc = rm.M[j][x], ic = rm.I[j][x];
            if (pc.label != -1) {
                ic += pc.unconstrained;
                if (j > 0)
                    mc = lse(pc.label == rm.lab[j] ? pc.satisfied : pc.unsatisfied,
                             mc + pc.unconstrained);
            }
            const auto &t = rm.T[j];
            ci[j] = ic + s3(pm[j] + t[7], pi[j] + t[8], pd[j] + t[6]);
            if (j == 0) {
                cd[0] = cm[0] = inf;
                continue;
            }
            cd[j] = s3(cm[j - 1] + t[1], ci[j - 1] + t[2], cd[j - 1] + t[0]);
            cm[j] = mc + s3(pm[j - 1] + t[4], pi[j - 1] + t[5], pd[j - 1] + t[3]);
            if (j >= 2 && j <= L - 1 && jp.in && jp.in_ok(rm.type[j]))
                cm[j] = lse(p.jin + pd[1] + mc, cm[j]);
            if (j == L && jp.out) {
                double J = inf;
                for (int k = 2; k <= L - 1; k++)
                    if (jp.out_ok(rm.type[k])) J = lse(J, cm[k] + p.jout);
                cd[L] = lse(J, cd[L]);
            }
        }
        std::swap(pd, cd);
        std::swap(pm, cm);
        std::swap(pi, ci);
    }
    return pd[L + 1];
}

// ---------------------------------------------------------------------------------------------
// Random models and sequences
// ---------------------------------------------------------------------------------------------

struct Fixture {
    std::mt19937 rng;
    explicit Fixture(unsigned seed) : rng(seed) {}
    int uni(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    int cost_value() {
        int r = uni(0, 99);
        if (r < 8) return COST_OF_ZERO;
        return uni(0, 4000);
    }
    Model *model(int L, bool types) {
        Model *m = alloc_model(L);
        alloc_mod_weight(m);
        int w = alphabet->emit_length_wild;
        for (int i = 0; i <= L + 1; i++) {
            ModWeight *mw = m->weights[i];
            for (int e = 0; e < 9; e++) mw->costs[e] = cost_value();
            for (int k = 0; k < w; k++) {
                mw->match[k] = uni(200, 3500);
                mw->insert[k] = uni(500, 3000);
            }
            m->nodes[i]->lab = uni(-1, 3);
            int t = uni(0, 9);
            m->nodes[i]->type = types && t < 3 ? "CDE"[t] : 0;
        }
        for (int k = 0; k < w; k++) m->fim_weight->insert[k] = uni(500, 3000);
        m->fim_weight->ijump[2] = uni(0, 100);
        return m;
    }
    Sequence *sequence(int n, bool constraints) {
        Sequence *s = alloc_sequence(n, 1);
        s->converted = 1;
        s->id = str_dup("rand");
        int aw = alphabet->length_wild;
        for (int i = 0; i < n; i++) s->tracks[0].res[i] = (unsigned char)uni(0, aw - 1);
        if (constraints && n > 0) {
            s->constraints =
                static_cast<PosConstraint *>(mem_alloc(sizeof(PosConstraint) * (size_t)n));
            for (int i = 0; i < n; i++) {
                s->constraints[i] = noPosConstraint;
                if (uni(0, 2) == 0)
                    s->constraints[i] = {uni(0, 3), uni(0, 2000), uni(0, 1) ? 80000 : uni(0, 5000),
                                         uni(0, 3000)};
            }
        }
        return s;
    }
};

Problem problem_of(Model *m, const Sequence *s, int sw) {
    Problem p;
    int aw = alphabet->emit_length_wild;
    p.fwd = ref_model(m, aw);
    p.rev = ref_reverse(p.fwd);
    for (int i = 0; i < s->len; i++) {
        p.x.push_back(s->tracks[0].res[i]);
        p.pc.push_back(s->constraints ? s->constraints[i] : noPosConstraint);
    }
    p.sw = sw;
    p.jin = engine.jump_in_cost;
    p.jout = engine.jump_out_cost;
    return p;
}

int ref_forward(const Problem &p) {
    return ref_matrix(p, true).back()[p.fwd.L + 1].d;
}
int ref_viterbi(const Problem &p) {
    return ref_matrix(p, false).back()[p.fwd.L + 1].d;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        use_alphabet("DNA");
        maxmem = 20000000;
        maxposdecodemem = 100000000;
    }
    void TearDown() override { free_forward2(); }
};

const double JUMP_PROBS[][2] = {{0.05, 0.3}, {1.0, 1.0}, {0.001, 0.9}};

// ---------------------------------------------------------------------------------------------
// Tests
// ---------------------------------------------------------------------------------------------

TEST_F(EngineTest, ForwardViterbiAndCountsMatchTheReferenceBitForBit) {
    Fixture fx(12345);
    int cases = 0;
    for (int round = 0; round < 240; round++) {
        int L = fx.uni(1, 9);
        int n = fx.uni(0, 9);
        int sw = round % 3;
        bool constr = round % 4 == 3;
        const double *jp = JUMP_PROBS[round % 3];
        Model *m = fx.model(L, round % 5 == 0);
        Sequence *s = fx.sequence(n, constr);
        SCOPED_TRACE("round " + std::to_string(round) + " L " + std::to_string(L) + " n " +
                     std::to_string(n) + " sw " + std::to_string(sw));

        // Score-only forward and best path.
        init_forward2(m, n, sw, DP_EM, 0, 0, 1.0f, jp[0], jp[1], nullptr);
        Problem p = problem_of(m, s, sw);
        int zf = ref_forward(p);
        float got = forward_score(s);
        if (zf < BIG) {
            EXPECT_EQ(got, (float)zf / 1000.0f);
        }
        init_forward2(m, n, sw, DP_VITERBI, 0, 0, 1.0f, jp[0], jp[1], nullptr);
        int zv = ref_viterbi(p);
        got = forward_score(s);
        if (zv < BIG) {
            EXPECT_EQ(got, (float)zv / 1000.0f);
        }

        // Forward-backward with counts (style 0) and the accumulated costs.
        init_forward2(m, n, sw, DP_EM, 0, 1, 1.0f, jp[0], jp[1], nullptr);
        Model *counts = alloc_model(L);
        init_model(counts, 0.0);
        got = forback2(s, counts, 0);
        if (zf < BIG) {
            EXPECT_EQ(got, (float)zf / 1000.0f);
            Acc a = ref_counts(p, alphabet->emit_length_wild);
            ASSERT_NE(engine.fbfreq, nullptr);
            for (int k = 0; k <= L + 1; k++)
                for (int e = 0; e < 9; e++)
                    ASSERT_EQ(engine.fbfreq->trans[k].t[e], a.S[k][e])
                        << "node " << k << " entry " << e;
            for (int x = 0; x < alphabet->emit_length_wild; x++)
                for (int k = 0; k <= L + 1; k++) {
                    ASSERT_EQ(engine.fbfreq->mtables[x][k], a.CM[x][k])
                        << "letter " << x << " node " << k;
                    ASSERT_EQ(engine.fbfreq->itables[x][k], a.CI[x][k])
                        << "letter " << x << " node " << k;
                }
            cases++;
        } else {
            EXPECT_EQ(got, SCORE_UNSET);
        }

        // Viterbi with traceback: the path cost is the best cost.
        // (Under constraints the path is costed without them, as the alignment code carries
        // none.)
        init_forward2(m, n, sw, DP_VITERBI, 0, 1, 1.0f, jp[0], jp[1], nullptr);
        got = forback2(s, nullptr, 0);
        if (zv < BIG && !constr) {
            EXPECT_EQ(got, (float)zv / 1000.0f);
        }
        free_model(counts);
        free_sequence(s);
        free_model(m);
    }
    EXPECT_GT(cases, 150);
}

TEST_F(EngineTest, IntegerForwardWithinLogSumRoundingOfExactForward) {
    Fixture fx(777);
    for (int round = 0; round < 90; round++) {
        int L = fx.uni(1, 20);
        int n = fx.uni(0, 30);
        int sw = round % 3;
        Model *m = fx.model(L, round % 3 == 0);
        Sequence *s = fx.sequence(n, round % 2 == 1);
        init_forward2(m, n, sw, DP_EM, 0, 0, 1.0f, 0.02, 0.4, nullptr);
        Problem p = problem_of(m, s, sw);
        double exact = float_forward(p);
        float got = forward_score(s);
        // Every log-sum rounds by at most half a unit; a cell is at most three log-sums deep
        // past its inputs and a path of cells crosses at most n + L + 3 rows and nodes.
        double bound = 1.5 * (n + L + 3) + 1;
        if (exact < BIG - 1e6) {
            EXPECT_NEAR(got * 1000.0, exact, bound) << "round " << round;
        }
        free_sequence(s);
        free_model(m);
    }
}

// Checkpointing: results are the same whatever the memory limit.
TEST_F(EngineTest, ResultsIndependentOfTheCheckpointMemory) {
    Fixture fx(4242);
    const int mems[] = {100000000, 50000, 1};
    for (int round = 0; round < 24; round++) {
        int L = fx.uni(2, 12);
        int n = fx.uni(0, 160);
        int sw = round % 3;
        int style = round % 2 == 0 ? DP_EM : DP_VITERBI;
        Model *m = fx.model(L, false);
        Sequence *s = fx.sequence(n, round % 4 == 1);
        float first = 0;
        std::string code0;
        std::vector<float> counts0;
        for (int mi = 0; mi < 3; mi++) {
            free_forward2();
            maxmem = mems[mi];
            init_forward2(m, n, sw, style, 0, 1, 1.0f, 0.05, 0.3, nullptr);
            Model *counts = alloc_model(L);
            init_model(counts, 0.0);
            float got = forback2(s, counts, 0);
            // The row area stays within the limit whenever the limit holds the least it needs.
            if (mems[mi] > 1) {
                EXPECT_LE(engine.dpmemalloc, (size_t)mems[mi] + 2 * sizeof(DPCell));
            }
            std::vector<float> cv;
            for (int k = 0; k <= L + 1; k++)
                cv.insert(cv.end(), counts->nodes[k]->params,
                          counts->nodes[k]->params + counts->nodes[k]->nparams);
            std::string code = s->align ? reinterpret_cast<char *>(s->align) : "";
            if (mi == 0) {
                first = got;
                code0 = code;
                counts0 = cv;
                if (mems[mi] > 1) {
                    EXPECT_GE(engine.rowtot, n + 1);
                }
            } else {
                EXPECT_EQ(got, first) << "round " << round << " maxmem " << mems[mi];
                EXPECT_EQ(code, code0) << "round " << round;
                EXPECT_EQ(cv, counts0) << "round " << round;
            }
            if (mi == 2) {
                EXPECT_LE(engine.rowtot, (int)std::floor(std::sqrt(2.0 * n) + 4.0));
            }
            free_model(counts);
        }
        free_sequence(s);
        free_model(m);
    }
}

// The checkpoint scheme works for every length with the least memory.
TEST_F(EngineTest, LeastMemoryCheckpointsEveryLength) {
    Fixture fx(99);
    maxmem = 1;
    Model *m = fx.model(3, false);
    for (int style : {DP_EM, DP_VITERBI}) {
        free_forward2();
        init_forward2(m, 0, SW_GLOBAL, style, 0, 1, 1.0f, 1.0, 1.0, nullptr);
        for (int n = 0; n <= 400; n += (n < 60 ? 1 : 17)) {
            Sequence *s = fx.sequence(n, false);
            Problem p = problem_of(m, s, SW_GLOBAL);
            int want = style == DP_EM ? ref_forward(p) : ref_viterbi(p);
            EXPECT_EQ(forback2(s, nullptr, 0), (float)want / 1000.0f) << "n " << n;
            EXPECT_LE((size_t)engine.rowtot, (size_t)std::floor(std::sqrt(2.0 * n) + 4.0) + 1);
            free_sequence(s);
        }
    }
    free_model(m);
}

// Tiny models: every path enumerated.
struct Path {
    std::vector<int> states;  // 0 D, 1 M, 2 I with node, in order
    std::vector<int> nodes;
    long long cost;
};

void enumerate(const RM &rm, const std::vector<int> &x, int state, int node, int used,
               long long cost, Path &cur, std::vector<Path> &out) {
    int L = rm.L;
    int n = (int)x.size();
    if (state == 0 && node == L + 1) {
        if (used == n) {
            cur.cost = cost;
            out.push_back(cur);
        }
        return;
    }
    auto go = [&](int st, int nd, long long c) {
        cur.states.push_back(st);
        cur.nodes.push_back(nd);
        enumerate(rm, x, st, nd, used + (st != 0), c, cur, out);
        cur.states.pop_back();
        cur.nodes.pop_back();
    };
    if (node + 1 <= L + 1) {
        go(0, node + 1, cost + rm.T[node + 1][state]);
        if (used < n && node + 1 <= L)
            go(1, node + 1, cost + rm.T[node + 1][3 + state] + rm.M[node + 1][x[used]]);
    }
    if (used < n && node <= L) go(2, node, cost + rm.T[node][6 + state] + rm.I[node][x[used]]);
}

std::string code_of(const Path &p) {
    std::string s;
    for (size_t k = 0; k + 1 < p.states.size(); k++) {
        int base = p.states[k] == 2 ? 0 : p.states[k] == 1 ? 100 : 200;
        if (!s.empty() && (unsigned char)s.back() > base && (unsigned char)s.back() < base + 99)
            s.back()++;
        else
            s.push_back((char)(base + 1));
    }
    return s;
}

TEST_F(EngineTest, TinyModelsAgainstEveryPath) {
    Fixture fx(2024);
    int checked = 0;
    for (int round = 0; round < 60; round++) {
        int L = fx.uni(1, 3), n = fx.uni(0, 4);
        Model *m = fx.model(L, false);
        for (int i = 0; i <= L + 1; i++)
            for (int e = 0; e < 9; e++) m->weights[i]->costs[e] = fx.uni(0, 3000);
        Sequence *s = fx.sequence(n, false);
        for (int i = 0; i < n; i++) s->tracks[0].res[i] = (unsigned char)fx.uni(0, 3);
        Problem p = problem_of(m, s, SW_GLOBAL);
        std::vector<Path> paths;
        Path cur;
        enumerate(p.fwd, p.x, 0, 0, 0, 0, cur, paths);
        ASSERT_FALSE(paths.empty());
        long long best = paths[0].cost;
        int nbest = 0;
        double total = 0;
        for (auto &q : paths) best = std::min(best, q.cost);
        for (auto &q : paths) {
            nbest += q.cost == best;
            total += std::exp(-(double)q.cost / 1000.0);
        }
        init_forward2(m, n, SW_GLOBAL, DP_VITERBI, 0, 1, 1.0f, 1.0, 1.0, nullptr);
        EXPECT_EQ(forback2(s, nullptr, 0), (float)best / 1000.0f);
        if (nbest == 1) {
            for (auto &q : paths)
                if (q.cost == best) {
                    EXPECT_EQ(std::string(reinterpret_cast<char *>(s->align)), code_of(q));
                }
            checked++;
        }
        init_forward2(m, n, SW_GLOBAL, DP_EM, 0, 1, 1.0f, 1.0, 1.0, nullptr);
        Model *counts = alloc_model(L);
        init_model(counts, 0.0);
        float z = forback2(s, counts, 0);
        EXPECT_NEAR(z * 1000.0, -1000.0 * std::log(total), 0.6 * (n + L + 3));
        double emitted = 0;
        for (int k = 0; k <= L + 1; k++)
            for (int a = 0; a < alphabet->emit_length; a++)
                emitted += counts->nodes[k]->match[a] + counts->nodes[k]->insert[a];
        EXPECT_NEAR(emitted, n, 0.01 * (n + 1));
        free_model(counts);
        free_sequence(s);
        free_model(m);
    }
    EXPECT_GT(checked, 30);
}

// Posterior styles run over the same rows: their forward scores agree, posteriors stay in range.
TEST_F(EngineTest, PosteriorStylesAgreeWithTheForward) {
    Fixture fx(31337);
    for (int round = 0; round < 60; round++) {
        int L = fx.uni(2, 8), n = round % 4 == 0 ? 1 : fx.uni(1, 20);
        int sw = round % 3;
        Model *m = fx.model(L, round % 5 == 0);
        Sequence *s = fx.sequence(n, false);
        init_forward2(m, n, sw, DP_EM, 0, 0, 1.0f, 0.05, 0.3, nullptr);
        float z = forward_score(s);
        for (int style : {DP_POSTERIOR_ROWS, DP_POSDECODE_ZTRANS, DP_POSDECODE_ALIGN}) {
            init_forward2(m, n, sw, style, 0, 1, 1.0f, 0.05, 0.3, nullptr);
            float got = forback2(s, nullptr, 0);
            if (style == DP_POSTERIOR_ROWS) {
                EXPECT_EQ(got, z);
                // Each residue is emitted by exactly one match or insert state: forward and
                // backward sum over the same paths in every mode.
                for (int i = 0; i < n; i++) {
                    double sum = 0;
                    for (int k = 0; k <= L + 1; k++) {
                        ASSERT_GE(engine.PD->match[i][k], 0);
                        ASSERT_LE(engine.PD->match[i][k], PD_EMPTY);
                        sum += std::exp(-engine.PD->match[i][k] / 1000.0);
                        if (k <= L) sum += std::exp(-engine.PD->insert[i][k] / 1000.0);
                    }
                    sum -= std::exp(-PD_EMPTY / 1000.0) * 2;  // node 0 match, End match
                    EXPECT_NEAR(sum, 1.0, 0.02) << "residue " << i << " round " << round;
                }
            }
            if (style != DP_POSTERIOR_ROWS) {
                ASSERT_NE(s->align, nullptr);
            }
        }
        // Path posteriors along the Viterbi alignment.
        init_forward2(m, n, sw, DP_VITERBI, 0, 1, 1.0f, 0.05, 0.3, nullptr);
        forback2(s, nullptr, 0);
        init_forward2(m, n, sw, DP_PATHPROB, 0, 1, 1.0f, 0.05, 0.3, nullptr);
        forback2(s, nullptr, 0);
        {
            ASSERT_NE(s->pathprob, nullptr);
            for (int i = 0; i < n; i++) {
                EXPECT_LE(s->pathprob[i].lnprob, 0.0f);
                EXPECT_GE(s->pathprob[i].lnprob, -20.0f);
            }
        }
        free_sequence(s);
        free_model(m);
    }
}

TEST_F(EngineTest, MultipleTracksSumTheirEmissions) {
    Fixture fx(5);
    Model *m1 = fx.model(6, false);
    Model *m2 = fx.model(6, false);
    Sequence *s = fx.sequence(12, false);
    s->ntracks = 2;
    s->tracks[1].res = static_cast<unsigned char *>(mem_alloc(14));
    for (int i = 0; i < 12; i++) s->tracks[1].res[i] = (unsigned char)fx.uni(0, 6);
    alphabets[1] = alphabets[0];
    Model *models[2] = {m1, m2};
    float coef[2] = {1.0f, 0.5f};
    init_forward2_tracks(models, coef, 2, 12, SW_LOCAL, DP_EM, 0.1, 0.2, 0, 0, nullptr);
    EXPECT_EQ(engine.numtracks, 2);
    float got = forward_score(s);
    // Each residue's rows are the sum of the tracks' costs, the second at half weight.
    const int *mr, *ir;
    for (int i = 0; i < 12; i++) {
        set_prob_mi_tabs(&mr, &ir, s, i, 0);
        for (int k = 0; k <= 7; k++) {
            int want = m1->weights[k]->match[s->tracks[0].res[i]] +
                       (int)((float)m2->weights[k]->match[s->tracks[1].res[i]] * 0.5f);
            ASSERT_EQ(mr[k], want);
        }
    }
    EXPECT_LT(got, SCORE_UNSET);
    alphabets[1] = nullptr;
    free_sequence(s);
    free_model(m1);
    free_model(m2);
}

}  // namespace
