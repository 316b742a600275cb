// Support of the fuzz targets whose reader takes a file: one scratch folder
// per process under $TMPDIR (/tmp when unset), removed with its files at
// exit, in which each input overwrites the same file. scripts/fuzz.sh points
// TMPDIR at a memory file system where there is one: creating, renaming and
// removing files on a disk that other work keeps busy costs each input
// milliseconds of waiting.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace ryn::fuzz {

class ScratchDir {
  public:
    // A fresh folder named after prefix; aborts when none can be made.
    explicit ScratchDir(const std::string &prefix) {
        const char *root = std::getenv("TMPDIR");
        std::string name = std::string(root && *root ? root : "/tmp") + "/" + prefix + ".XXXXXX";
        if (!::mkdtemp(name.data())) std::abort();
        dir_ = name + "/";
    }
    ~ScratchDir() {
        for (const std::string &f : files_) ::unlink(f.c_str());
        ::rmdir(dir_.c_str());
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    // The folder, with its trailing separator.
    const std::string &dir() const { return dir_; }
    std::u16string dir16() const { return std::u16string(dir_.begin(), dir_.end()); }

    // Full path of the file of that name in the folder, removed with the
    // folder whoever writes it (the reader under test may write it itself).
    std::string path(const std::string &name) {
        const std::string full = dir_ + name;
        bool known = false;
        for (const std::string &f : files_) known = known || f == full;
        if (!known) files_.push_back(full);
        return full;
    }

    // Writes bytes to the file of that name in the folder; its full path.
    std::string write(const std::string &name, const void *data, size_t size) {
        const std::string full = path(name);
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
        out.close();
        if (!out) std::abort();
        return full;
    }
    std::string write(const std::string &name, const std::string &text) {
        return write(name, text.data(), text.size());
    }

  private:
    std::string dir_;
    std::vector<std::string> files_;
};

}  // namespace ryn::fuzz
