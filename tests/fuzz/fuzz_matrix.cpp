// Fuzz harness of the cost-matrix reader: each input is read as a matrix of the protein alphabet
// (DNA with an odd first byte); a matrix read is printed, read again and must give the same
// numbers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "sequences/matrix.h"

#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = fuzz_scratch_file("fuzz_matrix", ".mat");
    static const std::string again = fuzz_scratch_file("fuzz_matrix_again", ".mat");
    fuzz_start_once(nullptr);
    reset_alphabets();
    init_alphabet_by_name(size > 0 && (data[0] & 1) ? "DNA" : "protein", 0, "");
    if (!fuzz_write_file(path, size > 1 ? data + 1 : data, size > 1 ? size - 1 : 0)) return 0;
    FuzzQuiet quiet;
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
    return 0;
}
