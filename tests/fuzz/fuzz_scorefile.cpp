// Fuzz harness of the score-file reader: each input is read as a score file into a table and
// through the compact column reader, then its columns are chosen, negated, sorted and trimmed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

#include "init.h"
#include "plot.h"
#include "seqio_scores.h"
#include "sequence.h"
#include "utilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = false;
    static std::string path;
    struct Remove {
        ~Remove() {
            if (!path.empty()) unlink(path.c_str());
        }
    };
    if (!started) {
        error_throws = true;
        path = "/tmp/fuzz_scorefile." + std::to_string(getpid()) + ".dist";
        static Remove remove_at_exit;
        started = true;
    }
    reset_library_state();
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return 0;
    if (size) std::fwrite(data, 1, size, fp);
    std::fclose(fp);
    FILE *saved = stderr;
    FILE *sink = std::fopen("/dev/null", "w");
    if (sink) stderr = sink;
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
    stderr = saved;
    if (sink) std::fclose(sink);
    return 0;
}
