// Support of the firmware benchmarks: an image written to a temporary file
// once per run and removed at exit.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace ryn::bench {

struct ImageOnDisk {
    std::filesystem::path path;
    std::vector<uint8_t> bytes;

    ImageOnDisk(const std::string &name, std::vector<uint8_t> image)
        : path(std::filesystem::temp_directory_path() /
               ("ryn_bench_" + name + "." + std::to_string(::getpid()) + ".bin")),
          bytes(std::move(image)) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    ~ImageOnDisk() { std::filesystem::remove(path); }
    ImageOnDisk(const ImageOnDisk &) = delete;
    ImageOnDisk &operator=(const ImageOnDisk &) = delete;
};

}  // namespace ryn::bench
