// The fuzz targets as plain programs: each runs the inputs it is given (files,
// or every file of a folder) through its LLVMFuzzerTestOneInput, repeat times
// each, in the order given. Built in place of libFuzzer's driver with any
// compiler, to replay a corpus or a finding under a profiler or a debugger.
//   fuzz_NAME [--repeat N] INPUT...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

int main(int argc, char **argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    namespace fs = std::filesystem;
    unsigned long repeat = 1;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = std::strtoul(argv[++i], nullptr, 10);
        } else if (fs::is_directory(argv[i])) {
            std::vector<fs::path> files;
            for (const auto &e : fs::directory_iterator(argv[i]))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else {
            inputs.emplace_back(argv[i]);
        }
    }
    std::vector<std::vector<uint8_t>> data;
    for (const fs::path &p : inputs) {
        // In one piece: a character at a time costs more than many inputs' runs.
        std::ifstream in(p, std::ios::binary | std::ios::ate);
        std::vector<uint8_t> &bytes = data.emplace_back(in ? static_cast<size_t>(in.tellg()) : 0);
        in.seekg(0);
        in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    for (const auto &bytes : data)
        for (unsigned long r = 0; r < repeat; ++r) LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    std::printf("%zu inputs, %lu times each\n", data.size(), repeat);
    return 0;
}
