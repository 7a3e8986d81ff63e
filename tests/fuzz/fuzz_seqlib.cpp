// Fuzz harness of the sequence-file library readers: the first byte chooses a format (or
// detection by content), the rest is the file. The file is detected, listed, read entry by entry
// by number and from one open input, and read as a sequence track (whole and filtered, which
// must say and keep the same); the harness checks that every call ends, that letters are what
// the readers keep, and that a missing entry is never a success.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/params.h"
#include "sequences/seqio.h"
#include "sequences/seqlib.h"
#include "sequences/seqlib_read.h"
#include "sequences/sequence.h"

#include "fuzz_util.h"
#include "caught_list_read.h"

static void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_seqlib: %s\n", what);
        std::abort();
    }
}

static bool kept_char(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c && std::strchr("_.-*?", c));
}

// One result of a reader: letters and ID must agree with the error code.
static void check_result(char *s, int64_t len, short err, char *id) {
    check(id != nullptr, "no ID copy");
    if (err != SEQERR_NONE) {
        check(s == nullptr, "letters with an error");
        check(id[0] == '\0', "an ID with an error");
    } else {
        check(s != nullptr, "no letters without an error");
        check(static_cast<int64_t>(std::strlen(s)) == len, "length differs from the letters");
        for (int64_t i = 0; i < len; i++)
            check(kept_char(static_cast<unsigned char>(s[i])), "a character the readers drop");
    }
    std::free(s);
    std::free(id);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool ready = false;
    static std::string path;
    if (!ready) {
        error_throws = true;
        initialize_variables();
        init_alphabets();
        path = fuzz_scratch_file("fuzz_seqlib", ".seq");
        ready = true;
    }
    if (size == 0) return 0;
    short chosen = static_cast<short>(data[0] % 20);  // 0: detect; 19: detect and read as a track
    if (!fuzz_write_file(path, data + 1, size - 1)) return 0;

    FILE *saved_err = stderr;
    FILE *sink = std::fopen("/dev/null", "w");
    if (sink) stderr = sink;
    int skip = 0;
    short err = 0;
    short format = seqFileFormat(path.c_str(), &skip, &err);
    check(err == SEQERR_NONE, "detection error on a file");
    check(skip >= 0 && static_cast<size_t>(skip) <= size, "lines to skip past the file");
    if (chosen >= 1 && chosen <= 18) format = chosen;

    int count = 0;
    char *list = listSeqs(path.c_str(), skip, format, &count, &err);
    std::free(list);
    // Every entry by number, and one past the end.
    for (int n = 1; n <= count + 1 && n <= 64; n++) {
        int64_t len = 0;
        char *id = nullptr;
        char *s = seqlibRead(n, path.c_str(), skip, format, &len, nullptr, &err, &id);
        if (n == count + 1) check(err != SEQERR_NONE, "an entry past the end read as success");
        check_result(s, len, err, id);
    }
    // One open input, entry after entry: the reading must end.
    FILE *fp = open_read(path.c_str(), OPEN_REWIND);
    if (fp) {
        SeqLibInput in;
        seqlib_input_init(&in, fp, path.c_str());
        bool by_number = seqlibNeedsRewind(format);
        for (int n = 1;; n++) {
            check(static_cast<size_t>(n) <= size + 2, "more entries than bytes: reading loops");
            int64_t len = 0;
            char *id = nullptr;
            char *s = seqlibReadFp(by_number ? n : 1, &in, skip, format, &len, nullptr, &err, &id);
            bool got = s != nullptr;
            check_result(s, len, err, id);
            if (!got) break;
        }
        seqlib_input_free(&in);
        close_read(fp);
    }
    // As a sequence track through the format dispatch.
    if (chosen == 19) {
        FILE *saved_out = stdout;
        if (sink) stdout = sink;
        SequenceTable *t = alloc_sequence_table();
        try {
            process_alphabet("alphabet protein", -1, "fuzz");
            read_sequences(path.c_str(), nullptr, 1000, t, 1);
        } catch (const FatalError &) {}
        free_sequence_table(t);
        stdout = saved_out;
        // The filtered database read (entries with an even first ID byte are kept) says and keeps
        // exactly what a whole read says and keeps.
        std::vector<std::string> whole_ids, filtered_ids;
        std::string whole = caught_list_read(path.c_str(), false, whole_ids);
        std::string filtered = caught_list_read(path.c_str(), true, filtered_ids);
        if (whole != filtered || whole_ids != filtered_ids) {
            std::fprintf(saved_err, "filtered read differs from whole read:\n--- whole\n%s\n",
                         whole.c_str());
            std::fprintf(saved_err, "--- filtered\n%s\n", filtered.c_str());
            std::abort();
        }
    }
    stderr = saved_err;
    if (sink) std::fclose(sink);
    return 0;
}
