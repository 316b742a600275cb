// Checks, reads and writes of the files named on the command line.
#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "cli.h"
#include "host_os.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/host_fs.h"
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

bool is_ini_text(const std::vector<uint8_t> &bytes) {
    const platform::DetectedEncoding detected = platform::detect_encoding(bytes);
    const std::u16string text =
        platform::decode(std::span<const uint8_t>(bytes).subspan(detected.mark_size), detected.encoding);
    bool section = false, other = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of(u"\r\n", at);
        if (end == std::u16string::npos) end = text.size();
        const std::u16string_view line = std::u16string_view(text).substr(at, end - at);
        for (const char16_t c : line)
            if (c < 0x20 && c != u'\t' && c != u'\v' && c != u'\f' && c != 0x1A) return false;
        const size_t first = line.find_first_not_of(u" \t\v\f\x1A");
        if (first != std::u16string_view::npos && line[first] != u';') {
            if (line[first] == u'[' && line.find(u']', first) != std::u16string_view::npos) section = true;
            else other = true;
        }
        at = end + 1;
    }
    return section || !other;
}

TempFile::TempFile(std::string os_path, std::string target, std::string what)
    : path_(std::move(os_path)), target_(std::move(target)), what_(std::move(what)) {}

TempFile::TempFile(TempFile &&other) noexcept
    : path_(std::move(other.path_)), target_(std::move(other.target_)), what_(std::move(other.what_)) {
    other.path_.clear();
}

TempFile::~TempFile() {
    if (!path_.empty()) platform::host_fs::remove_temp(path_);
}

TempFile TempFile::beside(const std::string &target, const std::string &what) {
    // The file-system layer takes paths in the form the command line gives them.
    const std::optional<std::string> resolved = platform::host_fs::writable_target(target);
    std::optional<std::string> temp;
    if (resolved) temp = platform::host_fs::write_temp_beside(*resolved, {});
    if (!temp) throw Failure("cannot write " + what + " " + quoted(target) + ": no temporary file can be made in its folder");
    return TempFile(*temp, *resolved, what + " " + quoted(target));
}

TempFile TempFile::scratch() {
    std::error_code ec;
    const std::u8string folder = fs::temp_directory_path(ec).u8string();
    std::optional<std::string> temp;
    if (!ec) temp = platform::host_fs::write_temp_beside(std::string(folder.begin(), folder.end()) + "/ryn-device.ini", {});
    if (!temp) throw Failure("cannot make a temporary file in the system's temporary folder");
    return TempFile(*temp, {}, "a temporary file");
}

void TempFile::replace_target() {
    if (!platform::host_fs::replace_with_temp(path_, target_))
        throw Failure("cannot replace " + what_ + " with the file read: " + reason() + "; it stays as it was");
    path_.clear();
}

}  // namespace ryn::cli
