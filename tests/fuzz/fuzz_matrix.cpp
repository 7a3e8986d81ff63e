// Fuzz harness of the cost-matrix reader: each input is read as a matrix of the protein alphabet
// (DNA with an odd first byte); a matrix read is printed, read again and must give the same
// numbers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "alphabet.h"
#include "init.h"
#include "matrix.h"
#include "utilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = false;
    static std::string path, again;
    struct Remove {
        ~Remove() {
            if (!path.empty()) unlink(path.c_str());
            if (!again.empty()) unlink(again.c_str());
        }
    };
    if (!started) {
        error_throws = true;
        initialize_variables();
        init_alphabets();
        path = "/tmp/fuzz_matrix." + std::to_string(getpid()) + ".mat";
        again = "/tmp/fuzz_matrix_again." + std::to_string(getpid()) + ".mat";
        static Remove remove_at_exit;
        started = true;
    }
    reset_alphabets();
    init_alphabet_by_name(size > 0 && (data[0] & 1) ? "DNA" : "protein", 0, "");
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return 0;
    if (size > 1) std::fwrite(data + 1, 1, size - 1, fp);
    std::fclose(fp);
    FILE *saved = stderr;
    FILE *sink = std::fopen("/dev/null", "w");
    if (sink) stderr = sink;
    const size_t rows = static_cast<size_t>(alphabet->length_wild) + 1;
    int **m = nullptr, **m2 = nullptr;
    try {
        int max = 0, min = 0;
        m = read_matrix(path.c_str(), &max, &min, nullptr);
        FILE *out = std::fopen(again.c_str(), "w");
        if (out) {
            print_matrix(out, m);
            std::fclose(out);
            m2 = read_matrix(again.c_str(), nullptr, nullptr, nullptr);
            for (size_t i = 0; i < rows; i++)
                if (std::memcmp(m[i], m2[i], rows * sizeof(int)) != 0) std::abort();
        }
    } catch (const FatalError &) {}
    double_free(reinterpret_cast<void **>(m), rows);
    double_free(reinterpret_cast<void **>(m2), rows);
    stderr = saved;
    if (sink) std::fclose(sink);
    return 0;
}
