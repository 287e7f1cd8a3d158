// SPDX-License-Identifier: MIT
// Replays a fuzz target's inputs without libFuzzer, so the normal (gcc, sanitized) build runs
// every kept input under ctest: each argument is an input file or a folder of them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const fs::path& Argument) {
    std::vector<fs::path> inputs;
    if (fs::is_directory(Argument)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(Argument))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
    } else {
        inputs.push_back(Argument);
    }
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        if (!fs::exists(argv[i])) {
            std::fprintf(stderr, "no such input: %s\n", argv[i]);
            return 2;
        }
        for (const fs::path& input : InputsOf(argv[i])) {
            std::ifstream in(input, std::ios::binary);
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                             std::istreambuf_iterator<char>());
            if (!in.eof() && in.fail()) {
                std::fprintf(stderr, "cannot read %s\n", input.c_str());
                return 2;
            }
            // Named first, so a crash's output says which input it was.
            std::printf("%s (%zu bytes)\n", input.c_str(), bytes.size());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed == 0 ? 1 : 0;
}
