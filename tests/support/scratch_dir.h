// The one scratch-folder helper of the tests, the benchmarks and the fuzz
// targets: a fresh folder of a unique name below a root ($RYN_TEST_TMP for the
// tests, $TMPDIR or the system's temporary folder otherwise), removed with
// everything in it when the helper goes. It needs only the standard library,
// so the fuzz targets and benchmarks use it without the test framework.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace ryn::support {

// Removes the folder if it exists and makes it again, empty.
inline void make_fresh_dir(const std::filesystem::path &dir) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
}

// The folder below which scratch folders are made: the value of the variable
// env when it is set and not empty, else the system's temporary folder.
inline std::filesystem::path scratch_root(const char *env = "TMPDIR") {
    const char *root = std::getenv(env);
    return root != nullptr && *root != '\0' ? std::filesystem::path(root)
                                            : std::filesystem::temp_directory_path();
}

inline void write_bytes(const std::filesystem::path &path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class ScratchDir {
  public:
    // A new folder "<prefix>.<random>" below root; aborts when none can be made.
    explicit ScratchDir(const std::string &prefix, const std::filesystem::path &root = scratch_root()) {
        std::random_device seed;
        std::mt19937_64 gen((std::uint64_t{seed()} << 32) ^ seed());
        std::error_code ec;
        std::filesystem::create_directories(root, ec);
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto dir = root / (prefix + "." + std::to_string(gen() % 1000000000u));
            if (std::filesystem::create_directory(dir, ec)) {
                dir_ = dir;
                text_ = (dir / "").string();
                return;
            }
        }
        std::abort();
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::filesystem::path &path() const { return dir_; }
    // The folder as text, with its trailing separator.
    const std::string &dir() const { return text_; }
    std::u16string dir16() const { return (dir_ / "").u16string(); }

    // Full path of the file of that name in the folder.
    std::string path(const std::string &name) const { return text_ + name; }

    // Writes bytes to the file of that name in the folder (replacing it);
    // its full path. Aborts when the file cannot be written.
    std::string write(const std::string &name, const void *data, size_t size) const {
        const std::string full = path(name);
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
        out.close();
        if (!out) std::abort();
        return full;
    }
    std::string write(const std::string &name, std::string_view text) const {
        return write(name, text.data(), text.size());
    }

  private:
    std::filesystem::path dir_;
    std::string text_;
};

}  // namespace ryn::support
