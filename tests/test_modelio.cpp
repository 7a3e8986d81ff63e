// Model files: the text reader, the BINARY form, block handling, the writers and debug dumps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "foundation/reader.h"
#include "models/modelio.h"
#include "models/models_labels.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "testutil.h"

namespace {

class ModelIO : public ScratchTest {};

void use_dna() {
    init_alphabet_by_name("DNA", 0, "");
}

// Reads the first block of a file with read_rmodel from its first line on.
Rmodel *read_file(const std::string &name, int *lines = nullptr, std::string *keyword = nullptr,
                  std::string *title = nullptr) {
    FILE *fp = std::fopen(name.c_str(), "rb");
    EXPECT_NE(fp, nullptr) << name;
    int count = 0;
    Rmodel *rm = nullptr;
    InputReader in;
    reader_init(&in, fp, name.c_str());
    try {
        rm = read_rmodel(&in, name.c_str(), &count, nullptr, keyword, title, 0);
    } catch (...) {
        reader_free(&in);
        std::fclose(fp);
        throw;
    }
    reader_free(&in);
    std::fclose(fp);
    if (lines) *lines = count;
    return rm;
}

Rmodel *read_text_block(const std::string &file, const std::string &text) {
    write_text(file, text);
    return read_file(file);
}

std::vector<float> values(const Node *n) {
    return std::vector<float>(n->params, n->params + n->nparams);
}

uint32_t bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Two nodes hold the same values bit for bit, the same type and label.
void expect_same_node(const Node *a, const Node *b, const std::string &what, bool with_env) {
    ASSERT_EQ(a == nullptr, b == nullptr) << what;
    if (!a) return;
    ASSERT_EQ(a->nparams, b->nparams) << what;
    for (int i = 0; i < a->nparams; i++)
        EXPECT_EQ(bits(a->params[i]), bits(b->params[i])) << what << " value " << i;
    EXPECT_EQ(a->type, b->type) << what;
    EXPECT_EQ(a->lab, b->lab) << what;
    if (with_env) {
        ASSERT_EQ(a->nodeenv == nullptr, b->nodeenv == nullptr) << what;
        if (a->nodeenv) {
            EXPECT_EQ(a->nodeenv->acc, b->nodeenv->acc);
            EXPECT_EQ(a->nodeenv->env, b->nodeenv->env);
            EXPECT_EQ(a->nodeenv->code, b->nodeenv->code);
        }
    }
}

void expect_same_rmodel(const Rmodel *a, const Rmodel *b, bool with_env) {
    ASSERT_EQ(a->nstart, b->nstart);
    ASSERT_EQ(a->nend, b->nend);
    ASSERT_EQ(a->nslots, b->nslots);
    expect_same_node(a->generic, b->generic, "GENERIC", with_env);
    expect_same_node(a->lettcount, b->lettcount, "LETTCOUNT", with_env);
    expect_same_node(a->freqave, b->freqave, "FREQAVE", with_env);
    for (int i = 0; i < a->nslots; i++)
        expect_same_node(a->slots[i], b->slots[i], "slot " + std::to_string(i), with_env);
}

// Writes an Rmodel in the given form to a file and reads it back.
Rmodel *write_and_read(const std::string &file, const Rmodel *rm, int binary) {
    FILE *out = std::fopen(file.c_str(), "wb");
    nice_print_rmodel(out, rm, "MODEL", "round trip", nullptr, binary);
    std::fclose(out);
    return read_file(file);
}

// ---------------------------------------------------------------------------------------------

TEST_F(ModelIO, ReadsHandMadeTextBlock) {
    int lines = 0;
    std::string keyword, title;
    Rmodel *rm = read_file(test_data("modelio_dna.mod"), &lines, &keyword, &title);
    EXPECT_EQ(keyword, "MODEL");
    EXPECT_EQ(title, "hand-made DNA model");
    EXPECT_STREQ(alphabet->name, "DNA");
    // Lines 1-3 up to the header and 23 more up to ENDMODEL.
    EXPECT_EQ(lines, 26);
    ASSERT_EQ(rm->nstart, 2);
    EXPECT_EQ(rm->nend, 0);
    EXPECT_EQ(rm->nslots, 4);
    EXPECT_EQ(rm->begin, rm->slots[0]);
    EXPECT_EQ(rm->end, rm->slots[3]);
    EXPECT_EQ(rm->end_nodes, rm->slots + 3);
    EXPECT_EQ(rm->lettcount, nullptr);
    EXPECT_EQ(rm->freqave, nullptr);
    ASSERT_NE(rm->generic, nullptr);
    EXPECT_EQ(values(rm->generic),
              (std::vector<float>{0.1f, 0.2f, 0.7f, 0.3f, 0.4f, 0.3f, 0.5f, 0.25f, 0.25f, 0.25f,
                                  0.25f, 0.25f, 0.25f, 0.3f, 0.2f, 0.2f, 0.3f}));
    EXPECT_EQ(values(rm->slots[1]),
              (std::vector<float>{0.01f, 0.02f, 0.03f, 0.04f, 0.05f, 0.06f, 0.07f, 0.08f, 0.09f,
                                  0.1f, 0.2f, 0.3f, 0.4f, 0.4f, 0.3f, 0.2f, 0.1f}));
    EXPECT_FLOAT_EQ(rm->slots[2]->match[0], 0.6f);
    EXPECT_FLOAT_EQ(rm->slots[2]->insert[3], 0.1f);
    EXPECT_FLOAT_EQ(rm->end->djump[1], 0.6f);
    // The type line comes first and wins over the node's own letter.
    EXPECT_EQ(rm->slots[2]->type, 'K');
    EXPECT_EQ(rm->slots[1]->type, 0);
    EXPECT_EQ(rm->slots[1]->lab, 10);
    EXPECT_EQ(rm->slots[2]->lab, 11);
    EXPECT_EQ(rm->slots[0]->lab, -1);
    EXPECT_EQ(rm->end->lab, -1);
    free_rmodel(&rm);
    EXPECT_EQ(rm, nullptr);
}

TEST_F(ModelIO, HeaderSplitting) {
    std::string k, t;
    get_type_and_text("MODEL: my title\n", &k, &t);
    EXPECT_EQ(k, "MODEL");
    EXPECT_EQ(t, "my title");
    get_type_and_text("REGULARIZER --  Initial regularizer\n", &k, &t);
    EXPECT_EQ(k, "REGULARIZER");
    EXPECT_EQ(t, "Initial regularizer");
    get_type_and_text("NULLMODEL\n", &k, &t);
    EXPECT_EQ(k, "NULLMODEL");
    EXPECT_EQ(t, "");
    get_type_and_text("MODEL -- x", nullptr, &t);
    EXPECT_EQ(t, "x");
    EXPECT_TRUE(is_model_header("MODELS follow"));
    EXPECT_TRUE(is_model_header("FREQUENCIES"));
    EXPECT_FALSE(is_model_header(" MODEL"));
    EXPECT_FALSE(is_model_header("Model"));
    // "REGULARIZER" is matched on its first 10 characters.
    EXPECT_TRUE(is_model_header("REGULARIZE\n"));
    EXPECT_TRUE(is_model_header("REGULARIZEd"));
    EXPECT_FALSE(is_model_header("REGULARIZ\n"));
    EXPECT_FALSE(is_model_header("FREQUENCIE\n"));
    EXPECT_FALSE(is_model_header("NULLMODE\n"));
    EXPECT_EQ(countfields("  a b\tc \n"), 3);
    EXPECT_EQ(countfields(""), 0);
}

TEST_F(ModelIO, NodesPlacedByNumberWithGaps) {
    use_dna();
    std::string v17 = " 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n";
    Rmodel *rm =
        read_text_block(path("gaps.mod"), "MODEL\n5" + v17 + "2" + v17 + "% comment\n\n;x\n" + "5" +
                                              v17 + "ENDMODEL\n");
    ASSERT_EQ(rm->nstart, 5);
    EXPECT_EQ(rm->begin, nullptr);
    EXPECT_EQ(rm->slots[0], nullptr);
    EXPECT_EQ(rm->slots[1], nullptr);
    EXPECT_NE(rm->slots[2], nullptr);
    EXPECT_EQ(rm->slots[3], nullptr);
    EXPECT_NE(rm->slots[5], nullptr);
    EXPECT_EQ(rm->end, nullptr);
    EXPECT_FLOAT_EQ(rm->slots[5]->params[16], 17.0f);
    free_rmodel(&rm);
}

TEST_F(ModelIO, CommentOnlyBlockHasNoNodes) {
    use_dna();
    Rmodel *rm = read_text_block(path("empty.mod"), "MODEL -- empty\n% nothing\n\nENDMODEL\n");
    EXPECT_EQ(rm->nstart, -1);
    EXPECT_EQ(rm->nend, 0);
    EXPECT_EQ(rm->nslots, 1);
    EXPECT_EQ(rm->begin, nullptr);
    EXPECT_EQ(rm->end, nullptr);
    EXPECT_EQ(fatal_of([&] { require_rmodel_nodes(rm, "regularizer"); }),
              "The regularizer has no nodes (only special nodes); no model can be built from it");
    // Read back through BINARY as well.
    Rmodel *back = write_and_read(path("empty.bin"), rm, 1);
    expect_same_rmodel(rm, back, true);
    free_rmodel(&back);
    free_rmodel(&rm);

    rm = read_file(test_data("modelio_generic.mod"));
    EXPECT_EQ(rm->nstart, -1);
    ASSERT_NE(rm->generic, nullptr);
    EXPECT_FLOAT_EQ(rm->generic->insert[3], 0.3f);
    EXPECT_NE(fatal_of([&] { require_rmodel_nodes(rm, "model"); }), "<no error>");
    free_rmodel(&rm);
}

TEST_F(ModelIO, NegativeFirstMatchValueMakesFim) {
    use_dna();
    Rmodel *rm = read_text_block(
        path("fim.mod"), "MODEL\n1 0 0 0 0 0 0 0 0 0 -1 0 0 0 0.25 0.25 0.25 0.25\n"
                         "Begin 0 0 0 0 0 0 0 0 0 -1 0 0 0 0.25 0.25 0.25 0.25\nENDMODEL\n");
    EXPECT_EQ(rm->slots[1]->type, 'F');
    EXPECT_EQ(rm->begin->type, 0);  // named nodes are not made FIMs
    free_rmodel(&rm);
}

// Probabilities are never negative: a value a little below 0 (rounding in a written file) reads
// as 0, one further below is refused with its file, line and node, except the first match value
// of Begin or a numbered node, which marks a FIM. Text blocks, parameter-file blocks and BINARY.
TEST_F(ModelIO, NegativeValuesRefusedOutsideTheFimMark) {
    use_dna();
    const std::string tail = " 0.25 0.25 0.25 0.25\nENDMODEL\n";  // insert values
    struct TextCase {
        bool in_params;     // inside a parameter file, after a comment line
        std::string body;   // the lines after "MODEL\n", then tail
        std::string error;  // after the file name; empty: read
    };
    const TextCase text_cases[] = {
        {false, "1 0 0 0 0 0 0 0 0 0 0.5 -0.5 0.5 0",
         "(2): Negative value -0.5 in regularizer or model node 1"},
        {false, "3\n-0.1 0.05 0.2\n0 0 0 0 0 0 1 0 0 0",
         "(3): Negative value -0.1 in regularizer or model node 3"},
        {false, "GENERIC 0 0 0 0 0 0 0 0 0 -1 0 0 0",
         "(2): Negative value -1 in regularizer or model node GENERIC"},
        {false, "End 0 0 0 0 0 0 0 0 0 -1 0 0 0",
         "(2): Negative value -1 in regularizer or model node End"},
        {true, "1 0 0 0 0 0 0 0 0 0 0.5 0.5 0 -0.25",
         "(3): Negative value -0.25 in regularizer or model node 1"},
        {false, "Begin 0 0 0 0 0 0 0 0 0 -1 0 0 0", ""},  // a written raw model's Begin
    };
    std::string f = path("neg.mod");
    for (const TextCase &c : text_cases) {
        write_text(f, std::string(c.in_params ? "% parameters\n" : "") + "MODEL\n" + c.body + tail);
        free_rmodel(&base_model);
        Rmodel *rm = nullptr;
        std::string msg = fatal_of([&] {
            if (c.in_params)
                read_init(f.c_str(), PRIORITY_COMMAND, READ_MODEL);
            else
                rm = read_file(f);
        });
        EXPECT_EQ(msg, c.error.empty() ? "" : f + c.error) << c.body;
        free_rmodel(&rm);
    }
    // Rounding: both read as 0, and the node is no FIM.
    Rmodel *rm = read_text_block(f, "MODEL\n1 -1e-6 0 0 0 0 0 0 0 0 -0.000001 1 0 0" + tail);
    EXPECT_EQ(bits(rm->slots[1]->djump[0]), bits(0.0f));
    EXPECT_EQ(bits(rm->slots[1]->match[0]), bits(0.0f));
    EXPECT_EQ(rm->slots[1]->type, 0);
    free_rmodel(&rm);
    // The FIM mark.
    rm = read_text_block(f, "MODEL\n1 0 0 0 0 0 0 0 0 0 -1 0 0 0" + tail);
    EXPECT_EQ(rm->slots[1]->type, 'F');
    EXPECT_EQ(rm->slots[1]->match[0], -1.0f);
    free_rmodel(&rm);

    // BINARY: one value of a small raw model (GENERIC, Begin, node 1, End) made negative.
    struct BinaryCase {
        int node;  // -1 GENERIC, else the slot (2 is End)
        int index;
        float value;
        std::string error;  // after the file name; empty: read
    };
    const BinaryCase binary_cases[] = {
        {1, 10, -0.5f, ": BINARY model block holds a negative value -0.5 (node 1)"},
        {1, 0, -0.1f, ": BINARY model block holds a negative value -0.1 (node 1)"},
        {-1, 13, -2.0f, ": BINARY model block holds a negative value -2 (node GENERIC)"},
        {2, 9, -1.0f, ": BINARY model block holds a negative value -1 (node End)"},
        {1, 9, -1.0f, ""},   // the FIM mark
        {0, 9, -1.0f, ""},   // at Begin as well
        {1, 4, -1e-6f, ""},  // rounding: read as 0
    };
    f = path("neg.bin");
    for (const BinaryCase &c : binary_cases) {
        Rmodel *src = alloc_rmodel(nullptr);
        src->nstart = 1;
        alloc_rmodel(src);
        for (int i = 0; i < 3; i++) src->slots[i] = alloc_node();
        src->generic = alloc_node();
        for (Node *n : {src->generic, src->slots[0], src->slots[1], src->slots[2]})
            for (int k = 0; k < n->nparams; k++) n->params[k] = 0.25f;
        (c.node < 0 ? src->generic : src->slots[c.node])->params[c.index] = c.value;
        Rmodel *back = nullptr;
        std::string msg = fatal_of([&] { back = write_and_read(f, src, 1); });
        EXPECT_EQ(msg, c.error.empty() ? "" : f + c.error) << c.node << " " << c.index;
        if (back) {
            float expected = c.value > -MODEL_VALUE_ROUNDING ? 0.0f : c.value;
            EXPECT_EQ(bits(back->slots[c.node]->params[c.index]), bits(expected));
        }
        free_rmodel(&back);
        free_rmodel(&src);
    }
}

TEST_F(ModelIO, ContinuationAndWarnings) {
    use_dna();
    // Node 1 is short: the next node's lone number line is taken as one of its values (with a
    // warning), so the next node's value line is read as a node line of its own (node 9 here),
    // whose comment after the last value is extra text.
    std::string text = "MODEL\n1\n 1 2 3 4 5 6 7 8 9\n 1 2 3 4 5 6 7\n   2\n"
                       " 9 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7 8 9 % tail\nENDMODEL\n";
    testing::internal::CaptureStderr();
    Rmodel *rm = read_text_block(path("short.mod"), text);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(
        err.find("Warning: " + path("short.mod") + "(5): a line holding the single integer 2"),
        std::string::npos)
        << err;
    EXPECT_EQ(rm->nstart, 9);
    EXPECT_FLOAT_EQ(rm->slots[1]->params[16], 2.0f);
    EXPECT_FLOAT_EQ(rm->slots[9]->params[16], 9.0f);
    EXPECT_NE(err.find(path("short.mod") +
                       "(6): Extra characters ( 9 2 3 4 5 6 7 8 9 1 2 3 4 5 6 "
                       "7 8 9 % tail) in regularizer or model node ignored ---\n"
                       "   check alphabet (there should be 17 numbers for alphabet DNA).\n"
                       "   Further warnings of this type suppressed.\nNode number 9\n"),
              std::string::npos)
        << err;
    free_rmodel(&rm);

    // Too few values before a non-number line: two warnings, and the line is read as the next
    // line of the block (here GENERIC, then ENDMODEL).
    testing::internal::CaptureStderr();
    rm = read_text_block(path("few.mod"), "MODEL\n1 0.5 0.5\nGENERIC 1 1 1 1 1 1 1 1 1 1 1 1 1 1 "
                                          "1 1 1\nENDMODEL\n");
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path("few.mod") +
                       "(3): Too few entries in a regularizer or model node\n"
                       "\t check alphabet (was 2 should be 17 for alphabet DNA)\n"),
              std::string::npos)
        << err;
    EXPECT_FLOAT_EQ(rm->slots[1]->params[1], 0.5f);
    EXPECT_FLOAT_EQ(rm->slots[1]->params[2], 0.0f);
    ASSERT_NE(rm->generic, nullptr);
    EXPECT_FLOAT_EQ(rm->generic->params[16], 1.0f);
    free_rmodel(&rm);

    // Invalid identifiers and double types.
    testing::internal::CaptureStderr();
    rm = read_text_block(path("ident.mod"), "MODEL\nX 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1\n"
                                            "TYPE 1 f\nTYPE 1 k\nENDMODEL\n");
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path("ident.mod") + "(2): Invalid node identifier X; node ignored\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("Warning: " + path("ident.mod") + "(4):  Node 1 has two types: F and K.\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(rm->slots[1]->type, 'K');
    free_rmodel(&rm);
}

TEST_F(ModelIO, MalformedTextBlocksAreFatal) {
    use_dna();
    std::string f = path("bad.mod");
    std::string v17 = " 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n";
    auto fatal_text = [&](const std::string &text) {
        write_text(f, text);
        return fatal_of([&] { read_file(f); });
    };
    EXPECT_EQ(fatal_text("no header here\n"), f + "(1):  No model found in file\n");
    EXPECT_EQ(fatal_text(""), f + "(0):  No model found in file\n");
    EXPECT_EQ(fatal_text("MODEL\n\n  \n"), f + "(3): Incomplete model -- no ENDMODEL\n");
    EXPECT_EQ(fatal_text("MODEL\n1" + v17), f + "(2): Incomplete model -- no ENDMODEL\n");
    EXPECT_EQ(fatal_text("MODEL\n-3" + v17 + "ENDMODEL\n"), "Aborting");
    EXPECT_EQ(fatal_text("MODEL\nTYPE -1 F\nENDMODEL\n"), "Aborting");
    EXPECT_EQ(fatal_text("MODEL\n99999999999999999999" + v17 + "ENDMODEL\n"),
              f + "(2): node number 99999999999999999999 is out of range (at most 1000000)");
    EXPECT_EQ(fatal_text("MODEL\nTYPE 1000001 F\nENDMODEL\n"),
              f + "(2): node number 1000001 is out of range (at most 1000000)");
    EXPECT_EQ(fatal_text("MODEL\n?" + v17 + "ENDMODEL\n"), f + "(2):  Node number expected\n");
    EXPECT_EQ(fatal_text("MODEL\n1 1 2 nan 4 5 6 7 8 9 10 11 12 13 14 15 16 17\nENDMODEL\n"),
              f + "(2): Number nan in regularizer or model node is not finite");
    EXPECT_EQ(fatal_text("MODEL\n1 1 2 3\n 4 1e999\nENDMODEL\n"),
              f + "(3): Number 1e999 in regularizer or model node is not finite");
    EXPECT_EQ(fatal_text("MODEL\nNODELABELS 1-x: 3\nENDMODEL\n"),
              f + ": invalid node label line:\nNODELABELS 1-x: 3\n");
    EXPECT_EQ(fatal_text("MODEL\nNODELABELS 1-2: -3\nENDMODEL\n"),
              f + ": invalid node label line:\nNODELABELS 1-2: -3\n");
    EXPECT_EQ(fatal_text("MODEL\nTYPE 3\nENDMODEL\n"), f + "(2): TYPE line without a type letter");
}

TEST_F(ModelIO, LongLinesReadWhole) {
    use_dna();
    // One node line of more than 200000 characters (values padded with blanks).
    std::string line = "1";
    for (int i = 0; i < 17; i++) line += std::string(12000, ' ') + std::to_string(i + 1);
    Rmodel *rm = read_text_block(path("long.mod"), "MODEL\n" + line + "\nENDMODEL\n");
    EXPECT_FLOAT_EQ(rm->slots[1]->params[16], 17.0f);
    free_rmodel(&rm);
}

TEST_F(ModelIO, ErrorEndsRunWithStatusOne) {
    std::string f = path("dead.mod");
    write_text(f, "MODEL\n");
    EXPECT_EXIT(
        {
            error_throws = false;
            use_dna();
            read_file(f);
        },
        ::testing::ExitedWithCode(1), "Error: .*dead.mod\\(1\\): Incomplete model -- no ENDMODEL");
}

// ---------------------------------------------------------------------------------------------
// Round trips
// ---------------------------------------------------------------------------------------------

TEST_F(ModelIO, TextToBinaryToTextRoundTrip) {
    Rmodel *rm = read_file(test_data("modelio_dna.mod"));
    // Environments are carried by BINARY only; End's insert values are zero in the file.
    rm->slots[1]->nodeenv = alloc_NodeEnv();
    update_nodenv(rm->slots[1]->nodeenv, 3, 7, 42);
    rm->end->lab = 12;
    rm->slots[2]->lab = 11;

    Rmodel *bin = write_and_read(path("rt.bin"), rm, 1);
    EXPECT_EQ(last_model_read_binary(), 1);
    expect_same_rmodel(rm, bin, true);
    EXPECT_EQ(bin->end->lab, 12);
    EXPECT_EQ(bin->slots[1]->lab, 10);

    Rmodel *txt = write_and_read(path("rt.txt"), bin, 0);
    // The text form keeps six decimals, so the values of the hand-made file come back
    // exactly; environments are lost.
    expect_same_rmodel(rm, txt, false);
    EXPECT_EQ(txt->slots[1]->nodeenv, nullptr);
    // Text written from the text read is the same text.
    std::string a =
        output_of([&](FILE *o) { nice_print_rmodel(o, bin, "MODEL", "t", nullptr, 0); });
    std::string b =
        output_of([&](FILE *o) { nice_print_rmodel(o, txt, "MODEL", "t", nullptr, 0); });
    // The environment shows only in a comment line of the first.
    std::string env_line = "%    1   acc: 3 env: 7 code: 42 <-|\n";
    size_t at = a.find(env_line);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(a.erase(at, env_line.size()), b);
    free_rmodel(&rm);
    free_rmodel(&bin);
    free_rmodel(&txt);
}

// A labelled End is written as node L+1 and reads back onto End without any message, in both
// forms, from a Model and from a raw model.
TEST_F(ModelIO, LabelledEndReadsBackSilently) {
    use_dna();
    Model *m = alloc_model(3);
    for (int i = 1; i <= 4; i++) m->nodes[i]->lab = 20 + i;
    for (int binary = 0; binary <= 1; binary++) {
        std::string out =
            output_of([&](FILE *o) { nice_print_model(o, m, "MODEL", "e", nullptr, binary); });
        EXPECT_NE(out.find("NODELABELS 1-4: 21\n"), std::string::npos) << out;
        write_text(path("end.mod"), out);
        testing::internal::CaptureStderr();
        Rmodel *rm = read_file(path("end.mod"));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << binary;
        ASSERT_EQ(rm->nstart, 3);
        EXPECT_EQ(rm->begin->lab, -1);
        for (int i = 1; i <= 3; i++) EXPECT_EQ(rm->slots[i]->lab, 20 + i);
        EXPECT_EQ(rm->end->lab, 24);
        // The raw model read is written and read once more, again without a message.
        testing::internal::CaptureStderr();
        Rmodel *again = write_and_read(path("end2.mod"), rm, binary);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << binary;
        EXPECT_EQ(again->end->lab, 24);
        free_rmodel(&again);
        free_rmodel(&rm);
    }
    free_model(m);

    // A label one node beyond End is past the end: the message (without newline), no label.
    testing::internal::CaptureStderr();
    Rmodel *rm =
        read_text_block(path("past.mod"), "MODEL\nNODELABELS 1-3: 7\nalphabet DNA\n"
                                          "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\nEnd\n"
                                          " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\nENDMODEL\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Node label 9 for node 3 is past the end of the model");
    EXPECT_EQ(rm->slots[1]->lab, 7);
    EXPECT_EQ(rm->end->lab, 8);
    free_rmodel(&rm);
}

// User alphabets: the alphabet line names the letters (or the count of a numeric alphabet) and
// the block reads back under the same alphabet, in both forms.
TEST_F(ModelIO, UserAlphabetLinesReadBack) {
    struct Case {
        const char *definition;
        const char *line;
        int A;
    } cases[] = {{"alphabet_def mine,abcx", "alphabet_def mine ABCX\n", 3},
                 {"alphabet_def nums,21", "alphabet_def nums 21\n", 20}};
    for (const Case &c : cases) {
        reset_alphabets();
        process_alphabet(c.definition, 0, "test");
        Rmodel *rm = alloc_rmodel(nullptr);
        rm->nstart = 1;
        alloc_rmodel(rm);
        for (int i = 0; i < 3; i++) {
            rm->slots[i] = alloc_node();
            ASSERT_EQ(rm->slots[i]->nparams, 2 * c.A + 9);
            for (int k = 0; k < rm->slots[i]->nparams; k++)
                rm->slots[i]->params[k] = 0.125f * ((i + k) % 7);
        }
        rm->begin = rm->slots[0];
        rm->end = rm->end_nodes[0];
        for (int k = 0; k < c.A; k++) rm->end->insert[k] = 0.0f;
        std::string text =
            output_of([&](FILE *o) { nice_print_rmodel(o, rm, "MODEL", "u", nullptr, 0); });
        EXPECT_EQ(text.substr(0, text.find('\n', 12) + 1), std::string("MODEL --  u\n") + c.line);
        for (int binary = 0; binary <= 1; binary++) {
            Rmodel *back = write_and_read(path("user.mod"), rm, binary);
            EXPECT_EQ(back->slots[1]->nparams, 2 * c.A + 9);
            expect_same_rmodel(rm, back, false);
            free_rmodel(&back);
        }
        free_rmodel(&rm);
    }
}

TEST_F(ModelIO, BinaryKeepsEveryBitPattern) {
    use_dna();
    Rmodel *rm = alloc_rmodel(nullptr);
    rm->nstart = 1;
    rm->nend = 0;
    alloc_rmodel(rm);
    float odd[] = {0.1f,   -0.0f,       1e-45f, 3.4028235e38f, 1.0f / 3.0f, 0.2f,
                   1e-30f, 123456.789f, 0.7f,   2.5e-7f,       0.3f,        0.9999999f,
                   5e-39f, 0.5f,        0.25f,  0.125f,        1e-3f};
    for (int s = 0; s < 3; s++) {
        Node *n = alloc_node();
        for (int i = 0; i < n->nparams; i++) n->params[i] = odd[(i + s) % 17];
        rm->slots[s] = n;
    }
    rm->begin = rm->slots[0];
    rm->end = rm->slots[2];
    Rmodel *back = write_and_read(path("bits.bin"), rm, 1);
    // End's insert table always reads back as zeros.
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(back->end->insert[i], 0.0f);
        rm->end->insert[i] = 0.0f;
    }
    expect_same_rmodel(rm, back, true);
    free_rmodel(&back);
    free_rmodel(&rm);
}

// Insert tables that differ only in the sign of a zero are two tables, not one shared: both
// read back bit for bit.
TEST_F(ModelIO, BinaryKeepsTheSignOfZeroInSharedTables) {
    use_dna();
    Rmodel *rm = alloc_rmodel(nullptr);
    rm->nstart = 2;
    rm->nend = 0;
    alloc_rmodel(rm);
    for (int s = 0; s < 4; s++) rm->slots[s] = alloc_node();
    rm->slots[2]->insert[1] = -0.0f;
    rm->begin = rm->slots[0];
    rm->end = rm->slots[3];
    Rmodel *back = write_and_read(path("zeros.bin"), rm, 1);
    EXPECT_TRUE(std::signbit(back->slots[2]->insert[1]));
    EXPECT_FALSE(std::signbit(back->slots[1]->insert[1]));
    expect_same_rmodel(rm, back, true);
    free_rmodel(&back);
    free_rmodel(&rm);
}

// The words of the binary part of a written block (after the alphabet line).
std::vector<int32_t> binary_words(const std::string &block, size_t *start_out = nullptr) {
    size_t at = block.find("alphabet DNA\n");
    size_t start = at + std::strlen("alphabet DNA\n");
    if (start_out) *start_out = start;
    std::vector<int32_t> w;
    for (size_t i = start; i + 4 <= block.size() && w.size() < 16; i += 4) {
        uint32_t u = 0;
        for (int k = 0; k < 4; k++)
            u |= static_cast<uint32_t>(static_cast<unsigned char>(block[i + k])) << (8 * k);
        w.push_back(static_cast<int32_t>(u));
    }
    return w;
}

TEST_F(ModelIO, SharedInsertTablesStoredOnce) {
    use_dna();
    Model *m = alloc_model(4);
    for (int i = 0; i <= 5; i++)
        for (int k = 0; k < 4; k++) m->nodes[i]->insert[k] = 0.25f;
    m->nodes[0]->type = 'F';
    m->nodes[4]->type = 'F';
    for (int k = 0; k < 4; k++) {
        m->nodes[0]->insert[k] = 0.1f * (k + 1);
        m->nodes[4]->insert[k] = 0.1f * (k + 1);
    }
    m->nodes[5]->insert[0] = 9.0f;  // End is not compared
    std::string shared =
        output_of([&](FILE *o) { nice_print_model(o, m, "MODEL", "s", nullptr, 1); });
    std::vector<int32_t> w = binary_words(shared);
    EXPECT_EQ(w[0], 4);  // L
    EXPECT_EQ(w[1], 4);  // P = L
    EXPECT_EQ(w[2], 0);  // Q
    EXPECT_EQ(w[3], 0);  // the first FIM
    EXPECT_EQ(w[8], 1);  // the first non-FIM, after the 4 words of the FIM table
    // After the alphabet line: 3 count words, two indexes with a table of 4 each, three absent
    // special nodes, six nodes of presence and environment words, a type byte and 13 floats
    // (the insert tables are shared).
    size_t start = 0;
    binary_words(shared, &start);
    size_t words = 3 + 5 + 5 + 3 + 6 * (2 + 13);
    EXPECT_EQ(shared.size(), start + words * 4 + 6 + std::strlen("\nENDMODEL\n"));
    EXPECT_EQ(shared.substr(0, 19), "MODEL --  s\nBINARY\n");

    // Both read back to the same numbers.
    auto expect_reads_back = [&](const std::string &blk) {
        write_text(path("shared.bin"), blk);
        Rmodel *rm = read_file(path("shared.bin"));
        ASSERT_EQ(rm->nstart, 4);
        for (int i = 0; i <= 4; i++)
            expect_same_node(m->nodes[i], rm->slots[i], "node " + std::to_string(i), true);
        free_rmodel(&rm);
    };
    expect_reads_back(shared);

    // One changed value: every FIM writes its own table.
    m->nodes[4]->insert[2] = 0.31f;
    std::string apart =
        output_of([&](FILE *o) { nice_print_model(o, m, "MODEL", "s", nullptr, 1); });
    w = binary_words(apart);
    EXPECT_EQ(w[3], -1);
    EXPECT_EQ(w[4], 1);
    EXPECT_EQ(apart.size(), shared.size() - 4 * 4 + 2 * 4 * 4);
    expect_reads_back(apart);

    // A lower-case FIM letter set by a program is a FIM for the sharing as well.
    m->nodes[4]->insert[2] = 0.3f;
    m->nodes[4]->type = 'f';
    std::string lower =
        output_of([&](FILE *o) { nice_print_model(o, m, "MODEL", "s", nullptr, 1); });
    EXPECT_EQ(lower.size(), shared.size());
    write_text(path("lower.bin"), lower);
    Rmodel *rm = read_file(path("lower.bin"));
    EXPECT_EQ(rm->slots[4]->type, 'F');
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(bits(rm->slots[4]->insert[k]), bits(m->nodes[4]->insert[k]));
    free_rmodel(&rm);

    free_model(m);
}

// The BINARY block of a small raw model, byte for byte: Begin a FIM with an environment (its
// insert table shared as the FIM table), End absent, no special nodes.
TEST_F(ModelIO, BinaryLayoutWordByWord) {
    use_dna();
    Rmodel *rm = alloc_rmodel(nullptr);
    alloc_rmodel(rm);  // P = 0, Q = 0: two slots
    Node *b = alloc_node();
    for (int k = 0; k < 17; k++) b->params[k] = 0.5f + k;
    b->type = 'F';
    b->nodeenv = alloc_NodeEnv();
    update_nodenv(b->nodeenv, 2, -1, 260);
    rm->slots[0] = rm->begin = b;

    std::string expected = "REGULARIZER -- b\nBINARY\nalphabet DNA\n";
    auto word = [&](uint32_t u) {
        for (int i = 0; i < 4; i++) expected += static_cast<char>((u >> (8 * i)) & 0xff);
    };
    auto real = [&](float f) { word(bits(f)); };
    word(2);  // slot count P+Q+2
    word(0);  // P
    word(0);  // Q
    word(0);  // FIM table: node 0's insert table
    for (int k = 13; k < 17; k++) real(0.5f + k);
    word(0xffffffffu);                               // no shared table for the other nodes
    word(0), word(0), word(0);                       // GENERIC, LETTCOUNT, FREQAVE absent
    word(1);                                         // Begin present
    word(1), word(2), word(0xffffffffu), word(260);  // environment
    expected += 'F';
    for (int k = 0; k < 13; k++) real(0.5f + k);
    word(0);  // End absent
    expected += "\nENDMODEL\n";
    EXPECT_EQ(output_of([&](FILE *o) { nice_print_rmodel(o, rm, "REGULARIZER", "b", nullptr, 1); }),
              expected);

    write_text(path("layout.bin"), expected);
    Rmodel *back = read_file(path("layout.bin"));
    expect_same_rmodel(rm, back, true);
    EXPECT_EQ(back->end, nullptr);
    free_rmodel(&back);
    free_rmodel(&rm);
}

TEST_F(ModelIO, EndNumberedNodesRoundTrip) {
    use_dna();
    Rmodel *rm = alloc_rmodel(nullptr);
    rm->nstart = 2;
    rm->nend = 2;
    alloc_rmodel(rm);
    for (int i = 0; i < rm->nslots; i++) {
        rm->slots[i] = alloc_node();
        for (int k = 0; k < rm->slots[i]->nparams; k++)
            rm->slots[i]->params[k] = 0.01f * (i + 1) + 0.001f * k;
    }
    rm->begin = rm->slots[0];
    rm->end = rm->end_nodes[0];
    for (int k = 0; k < 4; k++) rm->end->insert[k] = 0.0f;
    rm->end_nodes[2]->type = 'K';
    rm->end->type = 'T';
    rm->end_nodes[1]->lab = 7;  // node P+Q = 4 in model numbering

    Rmodel *bin = write_and_read(path("ends.bin"), rm, 1);
    EXPECT_EQ(bin->nend, 2);
    expect_same_rmodel(rm, bin, true);

    // In text the end-numbered nodes take their places in a model of length P+Q.
    std::string text =
        output_of([&](FILE *o) { nice_print_rmodel(o, rm, "MODEL", "e", nullptr, 0); });
    EXPECT_EQ(text.substr(0, 12), "MODEL --  e\n");
    EXPECT_NE(text.find("NODELABELS 4-4: 7\n"), std::string::npos);
    EXPECT_NE(text.find("TYPE 3 K\n   3\n"), std::string::npos);
    EXPECT_EQ(text.find("TYPE 0"), std::string::npos);  // neither Begin nor End is typed here
    EXPECT_EQ(text.find("TYPE 5"), std::string::npos);
    Rmodel *txt = write_and_read(path("ends.txt"), rm, 0);
    ASSERT_EQ(txt->nstart, 4);
    EXPECT_EQ(txt->nend, 0);
    EXPECT_EQ(txt->slots[3]->type, 'K');
    EXPECT_EQ(txt->slots[4]->lab, 7);
    EXPECT_EQ(txt->end->type, 0);
    for (int j = 0; j <= 5; j++)
        for (int k = 0; k < 17; k++)
            EXPECT_NEAR(txt->slots[j]->params[k], rmodel_view_node(rm, j)->params[k], 5e-7);
    free_rmodel(&txt);
    free_rmodel(&bin);
    free_rmodel(&rm);
}

TEST_F(ModelIO, ModelOfLengthZeroReadsBackFromBinary) {
    use_dna();
    Model *m = alloc_model(0);
    m->nodes[0]->mjump[1] = 1.0f;
    m->nodes[1]->mjump[1] = 0.5f;
    std::string out =
        output_of([&](FILE *o) { nice_print_model(o, m, "MODEL", "zero", nullptr, 1); });
    write_text(path("zero.bin"), out);
    Rmodel *rm = read_file(path("zero.bin"));
    EXPECT_EQ(rm->nstart, 0);
    EXPECT_EQ(rm->nend, 0);
    EXPECT_FLOAT_EQ(rm->begin->mjump[1], 1.0f);
    EXPECT_FLOAT_EQ(rm->end->mjump[1], 0.5f);
    free_rmodel(&rm);
    free_model(m);
}

TEST_F(ModelIO, BinaryCutShortOrCorruptIsFatal) {
    Rmodel *rm = read_file(test_data("modelio_dna.mod"));
    rm->slots[1]->nodeenv = alloc_NodeEnv();
    std::string good =
        output_of([&](FILE *o) { nice_print_rmodel(o, rm, "MODEL", "c", nullptr, 1); });
    free_rmodel(&rm);
    size_t start = good.find("alphabet DNA\n") + 13;
    std::string f = path("cut.bin");
    // Every cut inside the block ends with a clear message.
    for (size_t n = 0; n < good.size() - 1; n++) {
        write_text(f, good.substr(0, n));
        std::string msg = fatal_of([&] { read_file(f); });
        if (n < start)  // text lines cut short: missing header, bad label or alphabet line
            EXPECT_NE(msg, "<no error>") << n;
        else
            EXPECT_EQ(msg.find(f + ": BINARY model block cut short or corrupt ("), 0u)
                << n << ": " << msg;
    }
    // The closing line must be ENDMODEL.
    std::string bad = good;
    bad[bad.size() - 9] = 'X';
    write_text(f, bad);
    EXPECT_EQ(fatal_of([&] { read_file(f); }),
              f + ": BINARY model block cut short or corrupt (no ENDMODEL after the nodes)");
    // Absurd counts and indexes.
    auto with_word_at = [&](size_t offset, int32_t value) {
        std::string s = good;
        for (int k = 0; k < 4; k++)
            s[start + offset + k] =
                static_cast<char>((static_cast<uint32_t>(value) >> (8 * k)) & 0xff);
        write_text(f, s);
        return fatal_of([&] { read_file(f); });
    };
    auto with_word = [&](int index, int32_t value) { return with_word_at(4 * index, value); };
    EXPECT_EQ(with_word(1, 0x7fffffff),
              f + ": BINARY model block cut short or corrupt (node counts out of range)");
    EXPECT_EQ(with_word(1, -2),
              f + ": BINARY model block cut short or corrupt (node counts out of range)");
    EXPECT_EQ(with_word(2, -1),
              f + ": BINARY model block cut short or corrupt (node counts out of range)");
    EXPECT_EQ(with_word(3, 99),
              f + ": BINARY model block cut short or corrupt (FIM table index out of range)");
    // A large but allowed count in a short file reads what is there and stops cleanly.
    EXPECT_EQ(with_word(1, 900000).find(f + ": BINARY model block cut short or corrupt"), 0u);
    // A NaN value is refused.
    // (words 0-4 counts and indexes, 5-6 GENERIC's presence and environment, a type byte)
    EXPECT_NE(with_word_at(29, 0x7fc00000).find("not a finite number"), std::string::npos);
    // No alphabet line.
    write_text(f, "MODEL\nBINARY\nNODELABELS 1-1: 3\n");
    EXPECT_EQ(fatal_of([&] { read_file(f); }), "unexpected EOF on " + f);
}

// ---------------------------------------------------------------------------------------------
// Blocks in files
// ---------------------------------------------------------------------------------------------

TEST_F(ModelIO, FileNamesAndModelFileTest) {
    EXPECT_EQ(is_modelfilename("x.mod"), 1);
    EXPECT_EQ(is_modelfilename("dir/x.mod.Z"), 1);
    EXPECT_EQ(is_modelfilename("x.mod.gz"), 1);
    EXPECT_EQ(is_modelfilename("x.model"), 0);
    EXPECT_EQ(is_modelfilename("x.mod.bz2"), 0);
    EXPECT_EQ(is_modelfilename(nullptr), 0);
    EXPECT_EQ(is_model_file(nullptr), 0);
    EXPECT_EQ(is_model_file(""), 0);
    EXPECT_EQ(is_model_file(test_data("modelio_dna.mod").c_str()), 1);
    EXPECT_EQ(is_model_file(test_data("modelio_notmodel.txt").c_str()), 0);
    EXPECT_EQ(fatal_of([&] { is_model_file(path("absent.mod").c_str()); }).find("Couldn't open"),
              0u);
    // Found through PRIOR_PATH.
    write_text(path("lib.mod"), "MODEL\nENDMODEL\n");
    setenv("PRIOR_PATH", dir.c_str(), 1);
    EXPECT_EQ(is_model_file("lib.mod"), 1);
    unsetenv("PRIOR_PATH");
}

TEST_F(ModelIO, ReadFirstModelOfAFile) {
    Rmodel *slot = nullptr;
    EXPECT_EQ(read_first_rmodel(nullptr, "initial model", 0, &slot, RMODEL_FATAL), 0);
    EXPECT_EQ(read_first_rmodel("", "initial model", 0, &slot, RMODEL_FATAL), 0);
    EXPECT_EQ(read_first_rmodel(test_data("modelio_dna.mod").c_str(), "initial model", 0, &slot,
                                RMODEL_FATAL),
              1);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->nstart, 2);
    // A second read replaces the first.
    write_text(path("second.mod"),
               "junk\nMODEL\n3 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1\nENDMODEL\nMODEL\nENDMODEL\n");
    EXPECT_EQ(read_first_rmodel(path("second.mod").c_str(), "model", 0, &slot, 0), 1);
    EXPECT_EQ(slot->nstart, 3);
    free_rmodel(&slot);

    std::string none = test_data("modelio_notmodel.txt");
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_first_rmodel(none.c_str(), "null model", 0, &slot, 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning:  File or model not found in the null model file " + none + "\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_first_rmodel(none.c_str(), "null model", 0, &slot, RMODEL_NOWARN), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(
        fatal_of([&] { read_first_rmodel(none.c_str(), "null model", 0, &slot, RMODEL_FATAL); }),
        "No model found in the null model file " + none + "\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_first_rmodel(path("absent.mod").c_str(), "model", 0, &slot, RMODEL_QUIET), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(fatal_of([&] {
                  read_first_rmodel(path("absent.mod").c_str(), "m", 0, &slot, 1);
              }).find("Couldn't open file"),
              0u);
    EXPECT_EQ(fread_first_rmodel(nullptr, "x", "m", 0, &slot, 0), 0);
    EXPECT_EQ(slot, nullptr);

    // Line numbers in messages count from the header.
    write_text(path("count.mod"), "\n\n\nMODEL\n1 1\n");
    EXPECT_EQ(fatal_of([&] { read_first_rmodel(path("count.mod").c_str(), "m", 0, &slot, 1); }),
              path("count.mod") + "(2): Incomplete model -- no ENDMODEL\n");
}

TEST_F(ModelIO, SkipModelAndNextBlock) {
    std::string f = path("skip.mod");
    write_text(f, "MODEL\na\nb\nENDMODEL x\nREGULARIZER\nc\n");
    FILE *fp = std::fopen(f.c_str(), "r");
    InputReader in;
    reader_init(&in, fp, f.c_str());
    std::string line;
    ASSERT_EQ(read_to_next_model(&in, line), 1);
    EXPECT_EQ(line, "MODEL\n");
    int count = 1;
    skip_model(&in, "skip.mod(%d)", &count);
    EXPECT_EQ(count, 4);
    ASSERT_EQ(read_to_next_model(&in, line), 1);
    EXPECT_EQ(line, "REGULARIZER\n");
    count = 5;
    testing::internal::CaptureStderr();
    skip_model(&in, "skip.mod(%d)", &count);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "skip.mod(6): ENDMODEL not found before end of file in model definition.\n");
    EXPECT_EQ(read_to_next_model(&in, line), 0);
    reader_free(&in);
    std::fclose(fp);
    // A '%' of the file name comes doubled in the format; "%s" stays text.
    fp = std::fopen(f.c_str(), "r");
    reader_init(&in, fp, f.c_str());
    count = 0;
    testing::internal::CaptureStderr();
    skip_model(&in, "a%%b%s(%d)", &count);
    skip_model(&in, "a%%b%s(%d)", &count);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "a%b%s(6): ENDMODEL not found before end of file in model definition.\n");
    reader_free(&in);
    std::fclose(fp);
}

// ---------------------------------------------------------------------------------------------
// Writers and dumps
// ---------------------------------------------------------------------------------------------

TEST_F(ModelIO, TextWriterExactOutput) {
    use_dna();
    Model *m = alloc_model(1);
    for (int i = 0; i <= 2; i++)
        for (int k = 0; k < 17; k++) m->nodes[i]->params[k] = 0.5f;
    m->nodes[1]->params[0] = 0.125f;
    m->nodes[0]->type = 'F';
    m->nodes[1]->type = 'k';  // written as stored
    m->nodes[2]->type = 'F';  // End's type is not written
    m->nodes[1]->lab = 4;
    m->nodes[2]->lab = 5;
    m->generic = alloc_node();
    m->nodes[1]->nodeenv = alloc_NodeEnv();
    std::string h = " 0.500000 ";
    std::string three = h + h + h + "\n";
    std::string four = h + h + h + h + "\n";
    std::string zeros = std::string(" 0.000000 ") + " 0.000000 " + " 0.000000 ";
    std::string expected = "REGULARIZER --  Exact\n"
                           "NODELABELS 1-2: 4\n"
                           "alphabet DNA\n"
                           "GENERIC\n" +
                           zeros + "\n" + zeros + "\n" + zeros + "\n" + zeros + " 0.000000 \n" +
                           zeros + " 0.000000 \n" + "TYPE 0 F\nBegin\n" + three + three + three +
                           four + four + "TYPE 1 k\n   1\n%    1   acc: -1 env: -1 code: 0 <-|\n" +
                           " 0.125000 " + h + h + "\n" + three + three + four + four + "End\n" +
                           three + three + three + four + four + "\nENDMODEL\n";
    EXPECT_EQ(
        output_of([&](FILE *o) { nice_print_model(o, m, "REGULARIZER", "Exact", nullptr, 0); }),
        expected);
    EXPECT_EQ(
        output_of([&](FILE *o) { EXPECT_EQ(nice_print_model(o, m, "MODEL", "x", nullptr, 2), 0); }),
        "");
    EXPECT_EQ(output_of([&](FILE *o) { nice_print_rmodel(o, nullptr, "MODEL", "x", nullptr, 0); }),
              "");
    EXPECT_EQ(
        output_of([&](FILE *o) { print_node(o, m->nodes[2], nullptr, 7, "%4.1f"); }),
        "   7\n 0.5 0.5 0.5\n 0.5 0.5 0.5\n 0.5 0.5 0.5\n 0.5 0.5 0.5 0.5\n 0.5 0.5 0.5 0.5\n");
    free_model(m);
}

TEST_F(ModelIO, ProteinNodesWriteFiveValuesALine) {
    init_alphabet_by_name("protein", 0, "");
    Node *n = alloc_node();
    EXPECT_EQ(n->nparams, 49);
    std::string s = output_of([&](FILE *o) { print_node(o, n, "GENERIC", 0, "%.0f"); });
    std::string expected = "GENERIC\n000\n000\n000\n";
    for (int i = 0; i < 8; i++) expected += "00000\n";
    EXPECT_EQ(s, expected);
    free_node(n);
}

TEST_F(ModelIO, DelfimsWriterDropsTheAddedFims) {
    use_dna();
    Model *m = alloc_model(3);
    m->nodes[0]->type = 'F';
    m->nodes[3]->type = 'F';
    m->nodes[3]->djump[0] = 0.25f;
    m->nodes[3]->djump[1] = 0.5f;
    m->nodes[3]->djump[2] = 0.75f;
    m->nodes[4]->djump[1] = 0.9f;
    m->nodes[2]->match[1] = 0.3f;
    std::string s =
        output_of([&](FILE *o) { delfims_nice_print_model(o, m, "MODEL", "T", nullptr, 1, 0); });
    write_text(path("delfims.mod"), s);
    Rmodel *rm = read_file(path("delfims.mod"));
    EXPECT_EQ(s.substr(0, s.find('\n')), "MODEL --  T (internally generated FIMs removed)");
    ASSERT_EQ(rm->nstart, 2);
    EXPECT_EQ(rm->begin->type, 0);
    EXPECT_FLOAT_EQ(rm->slots[2]->match[1], 0.3f);
    EXPECT_FLOAT_EQ(rm->end->djump[1], 0.0f);
    EXPECT_FLOAT_EQ(rm->end->mjump[0], 0.25f);
    EXPECT_FLOAT_EQ(rm->end->mjump[2], 0.75f);
    free_rmodel(&rm);
    // A FIM at Begin only: written unchanged under its own title.
    m->nodes[3]->type = 0;
    std::string plain =
        output_of([&](FILE *o) { nice_print_model(o, m, "MODEL", "T", nullptr, 0); });
    EXPECT_EQ(
        output_of([&](FILE *o) { delfims_nice_print_model(o, m, "MODEL", "T", nullptr, 1, 0); }),
        plain);
    EXPECT_EQ(m->length, 3);
    free_model(m);
}

TEST_F(ModelIO, DebugDumps) {
    use_dna();
    Node *n = alloc_node();
    n->lab = 3;
    n->match[2] = 0.5f;
    n->nodeenv = alloc_NodeEnv();
    std::string z3 = " 0.000000 0.000000 0.000000";
    EXPECT_EQ(output_of([&](FILE *o) { dbg_print_node(o, n, "node %d", 9); }),
              "%  node 9 lab = 3\n%      djump =" + z3 + "\n%      mjump =" + z3 +
                  "\n%      ijump =" + z3 +
                  "\n%      match = 0.000000 0.000000 0.500000 0.000000\n"
                  "%     insert = 0.000000 0.000000 0.000000 0.000000\n"
                  "%        acc: -1 env: -1 code: 0\n");
    free_node(n);

    Model *m = alloc_model(1);
    std::string dump = output_of([&](FILE *o) { dbg_print_model(o, m, "M %s", "one"); });
    EXPECT_EQ(dump.substr(0, 79), "%" + std::string(77, '=') + "\n");
    EXPECT_NE(dump.find("% M one\n% Alphabet: DNA\n%> Nodes:\n%  Begin\n"), std::string::npos);
    EXPECT_NE(dump.find("%  -1\n"), std::string::npos);
    EXPECT_NE(dump.find("%  End\n"), std::string::npos);
    EXPECT_NE(dump.find("%> Weights: NULL\n%" + std::string(77, '^') + "\n"), std::string::npos);
    free_model(m);

    Sequence *seq = alloc_sequence(3, 1);
    seq->id = str_dup("seq1");
    seq->raw_score = 1.5f;
    seq->simple_score = -2.0f;
    EXPECT_EQ(output_of([&](FILE *o) { dbg_print_seq(o, seq, "S"); }),
              "% S: seq1 len = 3 raw = 1.500000 simple = -2.000000\n%   Weights: NULL\n");
    Nmodels = 7;
    seq->weights = static_cast<double *>(mem_alloc(7 * sizeof(double)));
    for (int i = 0; i < 7; i++) seq->weights[i] = i;
    EXPECT_EQ(output_of([&](FILE *o) { dbg_print_seq(o, seq, "S"); }),
              "% S: seq1 len = 3 raw = 1.500000 simple = -2.000000\n%   Weights:\n%     "
              " 0.000000 1.000000 2.000000 3.000000 4.000000 5.000000\n%      6.000000");
    free_sequence(seq);
}

}  // namespace

namespace {

// Model blocks inside a parameter file: taken or skipped by the read-flags, with line numbers
// counted from the start of the file.
TEST_F(ModelIO, BlocksInParameterFiles) {
    std::string f = path("params.txt");
    write_text(f,
               "% parameters\n"
               "REGULARIZER -- skipped\nalphabet DNA\nGENERIC 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1\n"
               "ENDMODEL\n"
               "MODEL -- taken\nalphabet DNA\n"
               "1 0.5 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\nENDMODEL\n");
    free_rmodel(&base_model);
    free_rmodel(&base_regularizer);
    read_init(f.c_str(), PRIORITY_COMMAND, READ_MODEL);
    ASSERT_NE(base_model, nullptr);
    EXPECT_EQ(base_model->nstart, 1);
    EXPECT_FLOAT_EQ(base_model->slots[1]->params[0], 0.5f);
    EXPECT_EQ(base_regularizer, nullptr);
    free_rmodel(&base_model);

    write_text(f, "% parameters\n\nMODEL -- bad\nalphabet DNA\n? 1 2\nENDMODEL\n");
    EXPECT_EQ(fatal_of([&] { read_init(f.c_str(), PRIORITY_COMMAND, READ_MODEL); }),
              f + "(5):  Node number expected\n");
    free_rmodel(&base_model);
}

}  // namespace

namespace {

// Dumps with no stream go to dbg.log in the working directory, created on first use.
TEST_F(ModelIO, DebugFileIsCreatedOnFirstUse) {
    use_dna();
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    Node *n = alloc_node();
    dbg_print_node(nullptr, n, "first %s", "node");
    FILE *log = dbg_log_file();
    EXPECT_EQ(log, dbg_log_file());
    dbg_print_weight(nullptr, nullptr, "no costs");
    std::string text = read_text(dir + "/dbg.log");  // unbuffered: everything is there
    EXPECT_EQ(text.substr(0, 17), "%  first node\n%  ");
    EXPECT_NE(text.find("%  no costs\n"), std::string::npos);
    free_node(n);
    ASSERT_EQ(chdir(here), 0);
}

}  // namespace

namespace {

TEST_F(ModelIO, CompleteLineJoinsContinuationLines) {
    use_dna();
    std::string f = path("join.txt");
    write_text(f, " 4 5 6 % comment\n 7 8 9 10 11 12 13 14 15 16 17\nnext\n");
    FILE *fp = std::fopen(f.c_str(), "r");
    InputReader in;
    reader_init(&in, fp, f.c_str());
    std::string line = "1 1 2 3\n";
    complete_line(line, 100000, &in);
    EXPECT_EQ(countfields(line.c_str()), 18);
    std::string rest;
    ASSERT_TRUE(reader_line_copy(&in, rest));
    EXPECT_EQ(rest, "next\n");
    testing::internal::CaptureStderr();
    std::string other = "1 2\n";
    complete_line(other, 2000, &in);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "complete_line:  called with bad linelength\n");
    EXPECT_EQ(other, "1 2\n");
    reader_free(&in);
    std::fclose(fp);
}

}  // namespace
