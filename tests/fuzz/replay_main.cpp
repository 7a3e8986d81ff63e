// Replays a fuzz corpus as an ordinary test: every file in the directories (or the files) named
// on the command line is handed once to the harness's LLVMFuzzerTestOneInput.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int replay_file(const std::string &path) {
    FILE *fp = std::fopen(path.c_str(), "rb");
    if (!fp) {
        std::fprintf(stderr, "replay: cannot open %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> data;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(fp);
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    return 0;
}

int main(int argc, char **argv) {
    int failures = 0, count = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            std::fprintf(stderr, "replay: no such corpus %s\n", argv[i]);
            return 1;
        }
        if (!S_ISDIR(st.st_mode)) {
            failures += replay_file(argv[i]);
            count++;
            continue;
        }
        DIR *dir = opendir(argv[i]);
        if (!dir) return 1;
        std::vector<std::string> names;
        while (struct dirent *e = readdir(dir))
            if (e->d_name[0] != '.') names.push_back(std::string(argv[i]) + "/" + e->d_name);
        closedir(dir);
        for (const std::string &name : names) {
            failures += replay_file(name);
            count++;
        }
    }
    std::printf("replayed %d inputs\n", count);
    return failures ? 1 : 0;
}
