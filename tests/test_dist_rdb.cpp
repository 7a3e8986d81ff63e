// RDB score tables: the header of each pass, the column lines, rows with and without selection,
// appended passes, and the table read back by an independent TSV reader (Python's csv module).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>

#include "scorefiles/dist_rdb.h"
#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

struct Entry {
    const char *id;
    int len;
    float raw, simple, second, report1;
    double evalue;
    float xcount;
};

SequenceTable *make_table(const std::vector<Entry> &entries) {
    SequenceTable *t = alloc_sequence_table();
    for (const Entry &e : entries) {
        Sequence *s = alloc_sequence(0, 1);
        s->id = str_dup(e.id);
        s->len = e.len;
        s->raw_score = e.raw;
        s->simple_score = e.simple;
        s->second_score = e.second;
        s->report1 = e.report1;
        s->report2 = SCORE_UNSET;
        s->evalue = e.evalue;
        s->xcount = e.xcount;
        add_seq_to_table(t, s);
    }
    return t;
}

struct Rdb : ::testing::Test {
    std::string run;
    void SetUp() override {
        initialize_variables();
        verbout = nullptr;
        run = scratch_dir() + "/run";
    }
    void TearDown() override { free_init(); }
    // The table's lines that are not '#' comments, as the csv reader gives them back.
    std::string read_back() {
        std::string out = run + ".csv.txt";
        std::string cmd =
            "python3 " + test_data("dist_rdb_read.py") + " " + run + ".dist-rdb > " + out;
        if (std::system(cmd.c_str()) != 0) return "<reader failed>: " + read_text(out);
        return read_text(out);
    }
};

TEST_F(Rdb, TwoPassesAppendToOneTableAndReadBack) {
    Score.subtract_null = 4;
    process_init_entry(nullptr, "model_file m1.mod", PRIORITY_COMMAND, "t", nullptr, 0);
    process_init_entry(nullptr, "db a.fa", PRIORITY_COMMAND, "t", nullptr, 0);
    process_init_entry(nullptr, "db b.fa", PRIORITY_COMMAND, "t", nullptr, 0);
    SequenceTable *t1 = make_table({{"s1", 100, -12.5f, 3.25f, 0.125f, 0, 0.00123, 2},
                                    {"s\t2\nx", 7, 1.5f, -2.0f, -0.5f, 0, SCORE_UNSET, 0}});
    SequenceTable *t2 = make_table({{"s3", 50, 4.0f, 5.0f, 6.0f, -20.0f, 12345.0, 1},
                                    {"s4", 60, 7.0f, 8.0f, 9.0f, 0.0f, 1.0, 0}});
    SeqInfo info{};
    info.count = 2;
    info.sum = 107.9;
    info.mean = 53.95;
    int length = 10;
    DistRDB *w = nullptr;
    testing::internal::CaptureStderr();
    dist_rdb_open_or_append(&w, "BANNER", "v9", run.c_str(), &length, 1, &info);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Opening " + run + ".dist-rdb for RDB distance output\n");
    dist_rdb_comment(w, "note %d", 5);
    dist_rdb_write(w, "m1", t1, nullptr);
    length = 20;
    Score.lambda = 0.5;
    testing::internal::CaptureStderr();
    dist_rdb_open_or_append(&w, "BANNER", "v9", run.c_str(), &length, 0, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning:  dist_rdb_open_or_append differing addHmmNames\nusing original value "
              "(1)\n");
    Score.select_score = 1;  // report column 1 below NLLnull (-10): s3 only
    dist_rdb_write(w, "m\t2", t2, &Score);
    dist_rdb_close(&w);
    EXPECT_EQ(w, nullptr);
    free_sequence_table(t1);
    free_sequence_table(t2);

    std::string text = read_text(run + ".dist-rdb");
    // One header block, two pass headers, one pair of column lines, the second pass's header
    // after the first pass's rows.
    size_t body = text.find("# version: v9\n# runname: " + run + "\n# date: ");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(text.rfind("#  BANNER\n", body), 0u);
    std::string pass1 =
        "# model_file: m1.mod\n# database_files: a.fa b.fa\n# scoring_mode: local\n"
        "# null_model: reverse\n# scoring_algorithm: EM\n# adjust_score: 2\n"
        "# dp_mode: sequential\n# model_length: 10\n# vireon_mapping: none\n"
        "# vireon_sim_pe: 0\n# num_sequences: 2\n# total_seq_len: 107\n# ave_seq_len: 53.950\n"
        "# lambda: 1.000\n# tau 1.000\n#\n# note 5\n"
        "HMM\tHMMLEN\tSEQID\tSEQLEN\tRAW\tSIMPLE\tREVERSE\tEVALUE\tX_CNT\n"
        "15S\t10N\t32S\t10N\t10N\t10N\t10N\t10N\t5N\n"
        "m1\t10\ts1\t100\t-12.5000\t3.2500\t0.1250\t1.230e-03\t2\n"
        "m1\t10\ts 2 x\t7\t1.5000\t-2.0000\t-0.5000\t1.000e+06\t0\n";
    std::string pass2 = "# model_file: m1.mod\n# database_files: a.fa b.fa\n# scoring_mode: local\n"
                        "# null_model: reverse\n# scoring_algorithm: EM\n# adjust_score: 2\n"
                        "# dp_mode: sequential\n# model_length: 20\n# vireon_mapping: none\n"
                        "# vireon_sim_pe: 0\n# lambda: 0.500\n# tau 1.000\n#\n"
                        "m 2\t20\ts3\t50\t4.0000\t5.0000\t6.0000\t1.234e+04\t1\n";
    EXPECT_NE(text.find("# host: " + std::string(get_host_name()) + "\n" + pass1 + pass2),
              std::string::npos)
        << text;

    REQUIRE_PROGRAM("python3");
    std::string back = read_back();
    EXPECT_EQ(back, "HMM|HMMLEN|SEQID|SEQLEN|RAW|SIMPLE|REVERSE|EVALUE|X_CNT\n"
                    "15S|10N|32S|10N|10N|10N|10N|10N|5N\n"
                    "m1|10|s1|100|-12.5000|3.2500|0.1250|1.230e-03|2\n"
                    "m1|10|s 2 x|7|1.5000|-2.0000|-0.5000|1.000e+06|0\n"
                    "m 2|20|s3|50|4.0000|5.0000|6.0000|1.234e+04|1\n");
}

TEST_F(Rdb, ColumnsFixedByTheFirstWrite) {
    struct Case {
        int subtract_null;
        double first_evalue;
        const char *names;
        const char *row2;
    } cases[] = {
        {1, SCORE_UNSET, "SEQID\tSEQLEN\tRAW\tSIMPLE\tX_CNT\n", "b\t2\t1.0000\t2.0000\t0\n"},
        {2, SCORE_UNSET, "SEQID\tSEQLEN\tRAW\tSIMPLE\tCOMPLEX\tX_CNT\n",
         "b\t2\t1.0000\t2.0000\t3.0000\t0\n"},
        {3, 0.5, "SEQID\tSEQLEN\tRAW\tSIMPLE\tUSERS\tEVALUE\tX_CNT\n",
         "b\t2\t1.0000\t2.0000\t3.0000\t5.000e-01\t0\n"},
        {5, SCORE_UNSET, "SEQID\tSEQLEN\tRAW\tSIMPLE\tSCALED\tX_CNT\n",
         "b\t2\t1.0000\t2.0000\t3.0000\t0\n"},
    };
    for (const Case &c : cases) {
        Score.subtract_null = c.subtract_null;
        // Only the first entry decides the E-value column.
        SequenceTable *t = make_table(
            {{"a", 1, 0, 0, 0, 0, c.first_evalue, 0}, {"b", 2, 1.0f, 2.0f, 3.0f, 0, 0.5, 0}});
        DistRDB *w = nullptr;
        testing::internal::CaptureStderr();
        dist_rdb_open_or_append(&w, "B", "v", run.c_str(), nullptr, 0, nullptr);
        testing::internal::GetCapturedStderr();
        dist_rdb_write(w, "m", t, nullptr);
        dist_rdb_close(&w);
        free_sequence_table(t);
        std::string text = read_text(run + ".dist-rdb");
        EXPECT_EQ(text.find("# model_length"), std::string::npos);
        EXPECT_NE(text.find(std::string("# tau 1.000\n#\n") + c.names), std::string::npos) << text;
        EXPECT_EQ(text.substr(text.size() - std::string(c.row2).size()), c.row2);
    }
}

TEST_F(Rdb, NullArgumentsAndStandardOutput) {
    testing::internal::CaptureStderr();
    dist_rdb_open_or_append(nullptr, "B", "v", run.c_str(), nullptr, 0, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "dist_rdb_open_or_append called with null DistRDB\n");
    dist_rdb_close(nullptr);
    DistRDB *w = nullptr;
    dist_rdb_close(&w);
    w = (DistRDB *)mem_alloc(sizeof(DistRDB));
    w->fp = stdout;
    dist_rdb_close(&w);
    EXPECT_EQ(w, nullptr);
    EXPECT_NE(fcntl(1, F_GETFD), -1);
    EXPECT_EQ(std::fflush(stdout), 0);
}

}  // namespace
