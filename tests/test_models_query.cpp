// Query-sequence models (sequence, matrix, gap costs, thresholds) and per-track models with their
// coefficients.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/modelio.h"
#include "models/models.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "testutil.h"

namespace {

class QueryModels : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        error_throws = true;
        initialize_variables();
        init_alphabets();
        reset_alphabets();
        reset_sw_model_thresholds();
        clear_fims_added();
        dir = scratch_dir();
    }
    void TearDown() override {
        std::free(Score.query);
        Score.query = nullptr;
        reset_alphabets();
    }
    std::string file(const std::string &name, const std::string &text) {
        std::string p = dir + "/" + name;
        write_text(p, text);
        return p;
    }
    void set_string(char *&slot, const std::string &value) {
        std::free(slot);
        slot = str_dup(value.c_str());
    }
    // A DNA model file whose numbered node is node length (the rest filled from GENERIC).
    std::string dna_model(const std::string &name, int length) {
        const std::string node =
            "0.1 0.8 0.1 0.1 0.8 0.1 0.1 0.1 0.8\n0.4 0.3 0.2 0.1 0.25 0.25 0.25 0.25\n";
        return file(name, "MODEL -- test\nalphabet DNA\nGENERIC\n" + node + std::to_string(length) +
                              "\n" + node + "ENDMODEL\n");
    }
};

TEST_F(QueryModels, QuerySequenceModel) {
    init_alphabet_by_name("protein", 0, "");
    set_string(Score.query, file("q.fa", ">q1 a query\nMKVW\n"));
    set_string(Score.matrix, test_data("matrix_EBLOSUM62"));
    Score.gap = 9;
    Score.continue_ = 2;
    Score.NLLnull = -5.0;
    mark_var_changed(&Score.NLLnull);
    Model *m = nullptr;
    std::string report = output_of([&](FILE *fp) { m = sw_model(&Score, fp); });
    EXPECT_EQ(report, "% Smith & Waterman Query Sequence:  q1\n% Query Annotation:  " +
                          std::string(43, ' ') + "a query\n% Cost matrix:  " +
                          test_data("matrix_EBLOSUM62") + "\n% Gap cost 9    Continue cost 2\n");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->kind, 1);
    EXPECT_EQ(m->length, 0);
    EXPECT_EQ(m->nodes[0], nullptr);
    EXPECT_EQ(m->nodes[1], nullptr);
    EXPECT_EQ(m->fim_node, nullptr);
    EXPECT_EQ(m->gap, 9);
    EXPECT_EQ(m->cont, 2);
    ASSERT_NE(m->query, nullptr);
    EXPECT_EQ(m->query->len, 4);
    // M K V W in ACDEFGHIKLMNPQRSTVWYBZX: 10 8 17 18.
    const unsigned char *res = m->query->tracks[0].res;
    EXPECT_EQ(std::vector<int>(res, res + 4), (std::vector<int>{10, 8, 17, 18}));
    // BLOSUM62 by hand: W-W 11, M-K -1, V-* -4.
    EXPECT_EQ(m->matrix[18][18], 11);
    EXPECT_EQ(m->matrix[10][8], -1);
    EXPECT_EQ(m->matrix[17][23], -4);
    EXPECT_EQ(Score.negate, 1);
    EXPECT_EQ(Score.model_length, 4);
    EXPECT_EQ(fims_added(), 1);
    // The threshold the user set changes sign; those left at their defaults keep theirs.
    EXPECT_EQ(Score.NLLnull, 5.0);
    EXPECT_EQ(Score.NLLcomplex, -10.0);
    EXPECT_EQ(Score.mdNLLnull, -10.0);
    free_model(m);
    // A second query model of the run changes nothing back.
    m = sw_model(&Score, nullptr);
    EXPECT_EQ(Score.NLLnull, 5.0);
    free_model(m);
}

TEST_F(QueryModels, QueryFaults) {
    init_alphabet_by_name("protein", 0, "");
    std::string empty = file("empty.fa", "");
    set_string(Score.query, empty);
    EXPECT_EQ(fatal_of([&] { sw_model(&Score, nullptr); }),
              "Query sequence not found in file " + empty);
    std::string blank = file("blank.fa", ">q0\n\n");
    set_string(Score.query, blank);
    EXPECT_EQ(fatal_of([&] { sw_model(&Score, nullptr); }),
              "Query sequence q0 in file " + blank + " is empty");
    set_string(Score.query, file("q.fa", ">q1\nMK\n"));
    set_string(Score.matrix, dir + "/none.mat");
    EXPECT_EQ(fatal_of([&] { sw_model(&Score, nullptr); }),
              "Couldn't open file " + dir + "/none.mat: No such file or directory\n");
}

TEST_F(QueryModels, TrackModelsWithCoefficients) {
    process_alphabet("alphabet DNA,DNA", -1, "test");
    std::string a = dna_model("a.mod", 3), b = dna_model("b.mod", 3);
    Model **models = nullptr;
    float *coeffs = nullptr;
    std::string report = output_of([&](FILE *fp) {
        int n =
            read_and_process_track_models(nullptr, nullptr, &models, &coeffs, (a + "," + b).c_str(),
                                          "0.5,-2", 0, 4, &Score, fp, 1, 0);
        EXPECT_EQ(n, 2);
    });
    EXPECT_EQ(report, "% Track 0 Coeff 0.500 File " + a +
                          "\n% Track 1 coef < 0 (-2.000).  Resetting to 1.0.\n% Track 1 Coeff "
                          "1.000 File " +
                          b + "\n");
    ASSERT_NE(models, nullptr);
    EXPECT_EQ(models[0]->length, 3);
    EXPECT_EQ(models[1]->length, 3);
    ASSERT_NE(models[1]->weights, nullptr);  // prepared: costs built
    EXPECT_EQ(coeffs[0], 0.5f);
    EXPECT_EQ(coeffs[1], 1.0f);
    EXPECT_EQ(alphabet, alphabets[0]);
    free_track_models(&models, &coeffs, 2);
    EXPECT_EQ(models, nullptr);
    EXPECT_EQ(coeffs, nullptr);

    // Lengths that differ: released and 0 without read flag 1, fatal with it.
    std::string c = dna_model("c.mod", 4);
    std::string both = a + "," + c;
    EXPECT_EQ(read_and_process_track_models(nullptr, nullptr, &models, &coeffs, both.c_str(), "", 0,
                                            4, &Score, nullptr, 0, 0),
              0);
    EXPECT_EQ(models, nullptr);
    EXPECT_EQ(coeffs, nullptr);
    EXPECT_EQ(fatal_of([&] {
                  read_and_process_track_models(nullptr, nullptr, &models, &coeffs, both.c_str(),
                                                "", 0, 4, &Score, nullptr, 0, 1);
              }),
              "All track models must have same length.");
    EXPECT_EQ(models, nullptr);

    // Lists that do not match the alphabets.
    EXPECT_EQ(read_and_process_track_models(nullptr, nullptr, &models, &coeffs,
                                            (a + "," + b).c_str(), "1", 0, 4, &Score, nullptr, 0,
                                            0),
              0);
    EXPECT_EQ(read_and_process_track_models(nullptr, nullptr, &models, &coeffs, a.c_str(), "", 0, 4,
                                            &Score, nullptr, 1, 0),
              0);
    EXPECT_EQ(fatal_of([&] {
                  read_and_process_track_models(nullptr, nullptr, &models, &coeffs,
                                                (a + "," + b + "," + a).c_str(), "", 0, 4, &Score,
                                                nullptr, 0, 1);
              }),
              "Tracks must correspond to alphabets.\n");
    EXPECT_EQ(models, nullptr);

    // A file without a model gives 0; one that cannot be opened is refused.
    std::string none = file("none.mod", "no model here\n");
    EXPECT_EQ(read_and_process_track_models(nullptr, nullptr, &models, &coeffs,
                                            (a + "," + none).c_str(), "", 0, 4, &Score, nullptr, 0,
                                            RMODEL_NOWARN),
              0);
    EXPECT_EQ(models, nullptr);
    std::string missing = dir + "/missing.mod";
    EXPECT_EQ(fatal_of([&] {
                  read_and_process_track_models(nullptr, nullptr, &models, &coeffs, missing.c_str(),
                                                "", 0, 4, &Score, nullptr, 0, RMODEL_QUIET);
              }),
              "Track 0 model file " + missing + " could not be opened");
    EXPECT_EQ(models, nullptr);
}

TEST_F(QueryModels, SingleModelOrQuery) {
    init_alphabet_by_name("DNA", 0, "");
    Rmodel *single = nullptr;
    ASSERT_EQ(read_first_rmodel(dna_model("s.mod", 5).c_str(), "initial model", 0, &single, 0), 1);
    Model **models = nullptr;
    float *coeffs = nullptr;
    std::string report = output_of([&](FILE *fp) {
        EXPECT_EQ(read_and_process_track_models(&single, "s.mod", &models, &coeffs, "", "", 0, 4,
                                                &Score, fp, 0, 0),
                  1);
    });
    EXPECT_EQ(report, "% Single Track Model:  s.mod\n");
    EXPECT_EQ(single, nullptr);
    ASSERT_NE(models, nullptr);
    EXPECT_EQ(models[0]->length, 5);
    EXPECT_EQ(Score.model_length, 5);
    free_track_models(&models, &coeffs, 1);

    // Two sources at once are refused; none gives 0.
    ASSERT_EQ(read_first_rmodel(dna_model("s.mod", 5).c_str(), "initial model", 0, &single, 0), 1);
    set_string(Score.query, file("q.fa", ">q\nACGT\n"));
    EXPECT_EQ(fatal_of([&] {
                  read_and_process_track_models(&single, nullptr, &models, &coeffs, "", "", 0, 4,
                                                &Score, nullptr, 0, 0);
              }),
              "Only one of -modelfile (or -i models), -query sequences,\nand -trackmod may be "
              "specified.\n");
    free_rmodel(&single);
    EXPECT_EQ(read_and_process_track_models(nullptr, nullptr, &models, &coeffs, "", "", 0, 4,
                                            nullptr, nullptr, 0, 0),
              0);

    // The query as the run's model.
    std::string dna_matrix = " ";
    for (char l : std::string("AGCTRYN*")) dna_matrix += std::string("  ") + l;
    dna_matrix += "\n";
    for (char l : std::string("AGCTRYN*"))
        dna_matrix += std::string(1, l) + "  1  1  1  1  1  1  1  1\n";
    set_string(Score.matrix, file("dna.mat", dna_matrix));
    report = output_of([&](FILE *fp) {
        EXPECT_EQ(read_and_process_track_models(nullptr, nullptr, &models, &coeffs, "", "", 0, 4,
                                                &Score, fp, 0, 0),
                  1);
    });
    EXPECT_EQ(report.substr(0, 38), "% Smith & Waterman Query Sequence:  q\n");
    ASSERT_NE(models, nullptr);
    EXPECT_EQ(models[0]->kind, 1);
    EXPECT_EQ(models[0]->matrix[0][3], 1);
    free_track_models(&models, &coeffs, 1);
}

}  // namespace
