// Fuzz harness of the structure-template reader: each input is read as a ".tplate" file; a
// template read is written again, read back (same residues, structure and accessibility) and
// aligned to a model and applied to it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <string>
#include <unistd.h>

#include "foundation/alphabet.h"
#include "sequences/hssp.h"
#include "engine/template_align.h"
#include "foundation/errors.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

#include "fuzz_util.h"

namespace {

const int MAX_APPLIED = 300;  // longest template applied to a model

void apply(Template *t, Sequence *seq) {
    if (!seq || t->length > MAX_APPLIED) return;
    Model *model = alloc_model(t->length);
    alloc_mod_weight(model);  // every cost 0: any alignment will do
    try {
        ApplyTemplate(seq, model, t, nullptr);
    } catch (const FatalError &) {}
    free_model(model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = fuzz_scratch_file("fuzz_template", ".tplate");
    static const std::string again = fuzz_scratch_file("fuzz_template_again", ".tplate");
    static const std::string id = again.substr(0, again.size() - std::strlen(".tplate"));
    fuzz_start_once("protein");
    if (!fuzz_write_file(path, data, size)) return 0;
    FuzzQuiet quiet;
    Sequence *seq = nullptr, *seq2 = nullptr;
    Template *t = nullptr, *t2 = nullptr;
    try {
        t = read_template(path.c_str(), &seq);
        char buf[16];
        for (int i = 1; i <= t->length; i++) EnvFromCode(buf, t->env[i]);
        // Blank residues or structure letters would not read back; the writer takes them as given.
        bool plain = true;
        for (int i = 1; i <= t->length; i++)
            if (std::isspace(static_cast<unsigned char>(t->residues[i])) ||
                std::isspace(static_cast<unsigned char>(t->structure[i])))
                plain = false;
        if (plain) {
            PrintTemplate(id.c_str(), t->residues, t->structure, t->acc, t->length);
            t2 = read_template(again.c_str(), &seq2);
            if (t2->length != t->length || std::strcmp(t2->residues + 1, t->residues + 1) != 0 ||
                std::memcmp(t2->structure, t->structure, t->length + 2) != 0 ||
                std::memcmp(t2->acc, t->acc, (t->length + 2) * sizeof(int)) != 0)
                std::abort();
        }
        apply(t, seq);
    } catch (const FatalError &) {}
    free_sequence(seq);
    free_sequence(seq2);
    free_template(t);
    free_template(t2);
    return 0;
}
