// Checks, reads and writes of the files named on the command line.
#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "cli.h"
#include "host_os.h"
#include "platform/file.h"
#include "text/utf.h"

namespace fs = std::filesystem;

namespace ryn::cli {

namespace {

std::string quoted(const std::string &path) { return "'" + path + "'"; }

std::string reason() { return std::strerror(errno); }

struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

void check_input_file(const std::string &path, const std::string &what) {
    std::error_code ec;
    const auto status = fs::status(os::fs_path(path), ec);
    if (!fs::exists(status))
        throw Failure(what + " " + quoted(path) + " does not exist; check the name and the folder");
    if (fs::is_directory(status))
        throw Failure(what + " " + quoted(path) + " is a folder; give the name of a file");
    if (!fs::is_regular_file(status))
        throw Failure(what + " " + quoted(path) + " is not a regular file");
    if (!os::can_access(path, os::Access::Read))
        throw Failure("cannot read " + what + " " + quoted(path) + ": " + reason());
}

void check_output_file(const std::string &path, const std::string &what) {
    std::error_code ec;
    const auto status = fs::status(os::fs_path(path), ec);
    if (fs::is_directory(status))
        throw Failure(what + " " + quoted(path) + " is a folder; give the name of a file to write");
    if (fs::exists(status)) {
        if (!fs::is_regular_file(status))
            throw Failure(what + " " + quoted(path) + " is not a regular file");
        if (!os::can_access(path, os::Access::Write))
            throw Failure("cannot write " + what + " " + quoted(path) + ": " + reason());
        return;
    }
    fs::path folder = os::fs_path(path).parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec))
        throw Failure("the folder of " + what + " " + quoted(path) +
                      " does not exist; create it first or choose another place");
    if (!os::can_access(std::string(reinterpret_cast<const char *>(folder.u8string().c_str())), os::Access::CreateIn))
        throw Failure("cannot create " + what + " " + quoted(path) + ": " + reason());
}

std::vector<uint8_t> read_file(const std::string &path, const std::string &what, size_t max_size) {
    check_input_file(path, what);
    File f(platform::open_file(os::library_path(path), "rb"));
    if (!f) throw Failure("cannot open " + what + " " + quoted(path) + ": " + reason());
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) {
        if (bytes.size() + n > max_size)
            throw Failure(what + " " + quoted(path) + " is larger than " + std::to_string(max_size) +
                          " bytes; it cannot be what is expected here");
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    if (std::ferror(f.get())) throw Failure("cannot read " + what + " " + quoted(path) + ": " + reason());
    return bytes;
}

void write_file(const std::string &path, const std::string &what, const std::vector<uint8_t> &bytes) {
    check_output_file(path, what);
    File f(platform::open_file(os::library_path(path), "wb"));
    if (!f) throw Failure("cannot create " + what + " " + quoted(path) + ": " + reason());
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    const bool closed = std::fclose(f.release()) == 0;
    if (!written || !closed) throw Failure("cannot write " + what + " " + quoted(path) + ": " + reason());
}

}  // namespace ryn::cli
