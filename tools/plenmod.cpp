// plenmod: reads a model (or, when no model is given, a regularizer), adds free insertion modules
// (FIMs) at both ends and writes the result to <run name>.mod: the comment header, the parameters
// that were set and one model block, in text or BINARY form (binary_output).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "foundation/startup.h"
#include "models/modelio.h"
#include "models/models.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

// A copy of a node with its environment (the BINARY form carries environments).
static Node *copy_node_with_env(const Node *node) {
    Node *copy = dup_node(node);
    if (copy && node->nodeenv) {
        copy->nodeenv = alloc_NodeEnv();
        copy_node_env(node->nodeenv, copy->nodeenv);
    }
    return copy;
}

// A deep copy of a raw model, taken before preparation consumes the original.
static Rmodel *copy_rmodel(const Rmodel *src) {
    Rmodel *r = alloc_rmodel(nullptr);
    r->nstart = src->nstart;
    r->nend = src->nend;
    if (src->slots) {
        alloc_rmodel(r);
        for (int i = 0; i < r->nslots && i < src->nslots; i++)
            r->slots[i] = copy_node_with_env(src->slots[i]);
        r->begin = r->nstart >= 0 ? r->slots[0] : nullptr;
        r->end = r->end_nodes[0];
    }
    r->generic = copy_node_with_env(src->generic);
    r->lettcount = copy_node_with_env(src->lettcount);
    r->freqave = copy_node_with_env(src->freqave);
    return r;
}

// True when some position that is not a FIM has a positive match probability.
static bool has_match_probabilities(const Model *model) {
    for (int i = 1; i <= model->length; i++) {
        const Node *n = model->nodes[i];
        if (n->type == 'F') continue;
        for (int k = 0; k < alphabet->emit_length; k++)
            if (n->match[k] > 0.0f) return true;
    }
    return false;
}

// Without a model, the regularizer takes the model's place (regularizer mode): returns true then.
static bool take_model_or_regularizer() {
    if (base_model) return false;
    if (!base_regularizer)
        error("plenmod needs a model or a regularizer (-model_file, -regularizer_file, or "
              "a MODEL or REGULARIZER block in a file given with -i)");
    base_model = base_regularizer;
    base_regularizer = nullptr;
    return true;
}

// Prepares base_model (consumed) with FIMs at both ends. The model is prepared before the output
// file is made, so that a model that cannot be prepared leaves no file behind; the notes of the
// preparation go to *notes, for the file's comment lines after the parameters, where the run
// would have written them.
static Model *prepare_with_notes(const char *what, std::string *notes) {
    char *text = nullptr;
    size_t size = 0;
    FILE *notes_stream = open_memstream(&text, &size);
    if (!notes_stream)
        error("Could not open a memory stream for the notes of the model preparation");
    Model *model = process_rmodel(&base_model, AUTOFIM_ALWAYS, 0, nullptr, 0, notes_stream);
    std::fclose(notes_stream);
    notes->assign(text, size);
    std::free(text);
    if (!has_match_probabilities(model)) error("The %s has no match probabilities", what);
    return model;
}

// <run name>.mod: the header, the parameters, the notes and the model with FIMs; a model that had
// FIMs at both ends already is written as it was read (original).
static void write_model_file(const std::string &run_name, const std::string &banner,
                             const std::string &notes, const Model *model, const Rmodel *original,
                             bool regularizer_mode) {
    FILE *out = prepare_statfile(run_name.c_str(), banner.c_str(), ".mod");
    print_init(out, 0, 0, binary_output);
    std::fwrite(notes.data(), 1, notes.size(), out);
    const char *keyword = regularizer_mode ? "REGULARIZER" : "MODEL";
    if (fims_added()) {
        nice_print_model(out, model, keyword,
                         regularizer_mode ? "Regularizer with FIMs added by plenmod"
                                          : "Model with FIMs added by plenmod",
                         nullptr, binary_output);
    } else {
        std::fprintf(stderr,
                     "The model had FIMs at both ends, and is being outputted unchanged.\n");
        nice_print_rmodel(out, original, keyword,
                          regularizer_mode ? "Regularizer with FIMs" : "Model with FIMs", nullptr,
                          binary_output);
    }
    close_outputfile(out);
}

int main(int argc, char **argv) {
    const std::string banner = program_banner(argv[0]);
    std::string run_name;
    basic_command_line(argv, argc, run_name, nullptr, READ_MODEL | READ_REGULARIZER,
                       REQUIRE_RUN_NAME, banner.c_str(), nullptr);

    const bool regularizer_mode = take_model_or_regularizer();
    const char *what = regularizer_mode ? "regularizer" : "model";
    if (binary_output != 0 && binary_output != 1)
        error("binary_output must be 0 (text) or 1 (BINARY), not %d", binary_output);
    require_rmodel_nodes(base_model, what);

    // Kept for the case where the model already has FIMs at both ends and is written as read.
    Rmodel *original = copy_rmodel(base_model);
    std::string notes;
    Model *model = prepare_with_notes(what, &notes);
    write_model_file(run_name, banner, notes, model, original, regularizer_mode);

    free_init();
    free_rmodel(&base_regularizer);
    free_rmodel(&original);
    free_rmodel(&base_model);
    free_model(model);
    return 0;
}
