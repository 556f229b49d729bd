// Runs the fuzz harness without the fuzzing engine, in every build: over
// the files given (folders are read file by file), or over a fixed number
// of inputs from a seeded generator, so that the same checks run with g++
// and under the sanitizers on each test run.
//
//   station-fuzz-replay FILE_OR_FOLDER...
//   station-fuzz-replay --random COUNT SEED
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size);

namespace {

int replay(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    return LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::string(argv[1]) == "--random") {
        const long count = std::strtol(argv[2], nullptr, 10);
        std::mt19937 random(static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)));
        for (long i = 0; i < count; ++i) {
            std::vector<uint8_t> bytes(random() % 2048);
            for (uint8_t &b : bytes) b = static_cast<uint8_t>(random());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        }
        std::printf("replayed %ld random inputs\n", count);
        return 0;
    }
    long files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto &entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file()) replay(entry.path()), ++files;
        } else {
            replay(path), ++files;
        }
    }
    std::printf("replayed %ld inputs\n", files);
    return files > 0 ? 0 : 1;
}
