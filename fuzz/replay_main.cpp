// Runs a fuzz target over every file of its corpus folders without libFuzzer, so the corpus
// (seeds and every input that ever crashed) is replayed by ctest in every build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
// Optional, as with libFuzzer: a target may set things up once before the first input.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));

namespace {

int ReplayFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (LLVMFuzzerInitialize != nullptr)
        LLVMFuzzerInitialize(&argc, &argv);
    int files = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path corpus(argv[i]);
        std::error_code error;
        if (!std::filesystem::exists(corpus, error)) {
            std::fprintf(stderr, "no such corpus: %s\n", argv[i]);
            return 1;
        }
        if (!std::filesystem::is_directory(corpus, error)) {
            failures += ReplayFile(corpus.string());
            ++files;
            continue;
        }
        for (const auto &entry : std::filesystem::directory_iterator(corpus, error)) {
            // Hidden files and sub-folders (a seed folder may hold both) are not inputs.
            std::error_code kind;
            if (entry.path().filename().string()[0] == '.' || !entry.is_regular_file(kind))
                continue;
            failures += ReplayFile(entry.path().string());
            ++files;
        }
        if (error) {
            std::fprintf(stderr, "cannot list %s\n", argv[i]);
            return 1;
        }
    }
    std::printf("replayed %d inputs\n", files);
    return files > 0 && failures == 0 ? 0 : 1;
}
