// File arguments come from the user and are not trusted: each is checked
// before use, and every problem becomes a Failure that says what to do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ryn::cli {

// An existing, readable regular file.
void check_input_file(const std::string &path, const std::string &what);
// A path a file can be written to: not a folder, in an existing folder, and
// writable when it already exists.
void check_output_file(const std::string &path, const std::string &what);

// Whole content of a file of at most max_size bytes.
std::vector<uint8_t> read_file(const std::string &path, const std::string &what, size_t max_size);
// Replaces the file with the bytes.
void write_file(const std::string &path, const std::string &what, const std::vector<uint8_t> &bytes);

// Whether the bytes read as an INI file: text (UTF-8, UTF-16 with its mark,
// or 8-bit) without control characters but blanks and line ends, holding a
// section or nothing but blank lines and comments. A firmware image or other
// binary file does not.
bool is_ini_text(const std::vector<uint8_t> &bytes);

// A temporary file ryn made, removed when the object goes unless it has
// replaced its target.
class TempFile {
public:
    // An empty file in the folder of target, with target's permission bits:
    // where a GET writes before its file replaces target. A symbolic link
    // named by target is written through. Throws Failure when none can be made.
    static TempFile beside(const std::string &target, const std::string &what);
    // An empty file in the system's temporary folder, for a GET that only ryn
    // reads. Throws Failure when none can be made.
    static TempFile scratch();
    ~TempFile();
    TempFile(TempFile &&other) noexcept;
    TempFile &operator=(TempFile &&) = delete;

    // The file's name as ryn's other file calls and the library take it.
    const std::string &path() const { return path_; }
    // Replaces the target named to beside() with the file, atomically. Throws
    // Failure when it cannot; the target then stays as it was.
    void replace_target();

private:
    TempFile(std::string os_path, std::string target, std::string what);
    std::string path_;    // in the form of a command-line path; empty once it replaced its target
    std::string target_;  // the file replace_target replaces; empty for scratch()
    std::string what_;
};

}  // namespace ryn::cli
