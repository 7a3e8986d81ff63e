// The cost models and sequences of tests/data/emloop_models.txt (written by emloop_make.py),
// loaded as engine models: per node nine transition costs, then match and insert costs of the
// DNA letter indices; a FIM template record with insert costs and its loop cost.
#ifndef QOR_TESTS_EMLOOP_FIXTURE_H
#define QOR_TESTS_EMLOOP_FIXTURE_H

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"
#include "sequences/model_records.h"

struct EmloopData {
    std::map<std::string, Model *> models;
    std::vector<std::pair<std::string, std::vector<int>>> seqs;
};

// Loads the file; the current alphabet must be DNA. The models belong to the caller.
inline EmloopData load_emloop_data(const std::string &path) {
    EmloopData d;
    std::ifstream in(path);
    std::string line;
    Model *m = nullptr;
    int node = 0;
    const int w = alphabet->emit_length_wild;
    while (std::getline(in, line)) {
        std::istringstream is(line);
        std::string word;
        if (!(is >> word) || word[0] == '#') continue;
        if (word == "model") {
            std::string name;
            int L;
            is >> name >> L;
            m = alloc_model(L);
            alloc_mod_weight(m);
            d.models[name] = m;
            node = 0;
        } else if (word == "fim") {
            for (int k = 0; k < w; k++) is >> m->fim_weight->insert[k];
            is >> m->fim_weight->ijump[2];
        } else if (word == "seq") {
            std::string id;
            is >> id;
            std::vector<int> x;
            int v;
            while (is >> v) x.push_back(v);
            d.seqs.emplace_back(id, x);
        } else {
            ModWeight *mw = m->weights[node++];
            std::istringstream all(line);
            for (int e = 0; e < 9; e++) all >> mw->costs[e];
            for (int k = 0; k < w; k++) all >> mw->match[k];
            for (int k = 0; k < w; k++) all >> mw->insert[k];
        }
    }
    return d;
}

// A converted one-track sequence of letter indices.
inline Sequence *make_index_sequence(const std::string &id, const std::vector<int> &x) {
    Sequence *s = alloc_sequence(static_cast<int>(x.size()), 1);
    s->converted = 1;
    s->id = str_dup(id.c_str());
    for (size_t i = 0; i < x.size(); i++) s->tracks[0].res[i] = static_cast<unsigned char>(x[i]);
    return s;
}

#endif
