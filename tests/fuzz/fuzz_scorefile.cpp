// Fuzz harness of the score-file reader: each input is read as a score file into a table and
// through the compact column reader, then its columns are chosen, negated, sorted and trimmed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

#include "foundation/errors.h"
#include "foundation/params.h"
#include "foundation/startup.h"
#include "scorefiles/plot.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"

#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = fuzz_scratch_file("fuzz_scorefile", ".dist");
    error_throws = true;
    reset_library_state();
    if (!fuzz_write_file(path, data, size)) return 0;
    FuzzQuiet quiet;
    try {
        SequenceTable *t = read_score_file(path.c_str());
        int column = size ? data[0] % 5 : 3;
        set_plotcolumn(t, column);
        negate_score_list(size > 1 ? data[1] & 1 : 0, t);
        sort_score_list(t);
        Score.sort = size > 2 ? static_cast<int8_t>(data[2]) % 8 : 4;
        sort_scores_as_specified(&Score, t);
        sort_direction = 1;
        trim_sequence_table(t, &Score, size > 3 ? static_cast<int8_t>(data[3]) % 17 : 5);
        free_sequence_table(t);
        const char *label;
        std::vector<float> v = read_plotted_scores(path.c_str(), column, 1, &label);
        sort_plotted_scores(v);
    } catch (const FatalError &) {}
    return 0;
}
