// Path services shared by every host: splitting and joining names by the
// host's separators, and the UTF-8 form of a path.
#include "platform/path.h"

#include "platform/host.h"
#include "text/utf.h"

namespace ryn::platform {

namespace {

// _wsplitpath_s capacities, terminator included.
constexpr size_t drive_capacity = 3;
constexpr size_t part_capacity = 256;

bool fits(size_t length, size_t capacity) {
    return length < capacity;
}

}  // namespace

std::optional<PathParts> split_path(std::u16string_view path) {
    const size_t drive = host::drive_length(path);
    size_t name_start = path.size();
    while (name_start > drive && !host::is_separator(path[name_start - 1])) --name_start;
    size_t ext_start = path.rfind(u'.');
    if (ext_start == std::u16string_view::npos || ext_start < name_start) ext_start = path.size();

    PathParts parts;
    parts.drive = path.substr(0, drive);
    parts.dir = path.substr(drive, name_start - drive);
    parts.name = path.substr(name_start, ext_start - name_start);
    parts.ext = path.substr(ext_start);
    if (!fits(parts.drive.size(), drive_capacity) || !fits(parts.dir.size(), part_capacity) ||
        !fits(parts.name.size(), part_capacity) || !fits(parts.ext.size(), part_capacity))
        return std::nullopt;
    return parts;
}

std::optional<std::u16string> make_path(std::u16string_view drive, std::u16string_view dir,
                                        std::u16string_view name, std::u16string_view ext,
                                        size_t limit) {
    std::u16string path;
    if (!drive.empty()) {
        path += drive.front();
        path += u':';
    }
    if (!dir.empty()) {
        path += dir;
        if (!host::is_separator(dir.back())) path += host::separator;
    }
    path += name;
    if (!ext.empty()) {
        if (ext.front() != u'.') path += u'.';
        path += ext;
    }
    if (!fits(path.size(), limit)) return std::nullopt;
    return path;
}

std::optional<std::string> to_os_path(std::u16string_view path) {
    if (path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    std::string os;
#ifdef _WIN32
    if (!text::append_utf8(os, path)) return std::nullopt;
#else
    // A POSIX name is bytes: a byte that is not UTF-8 came in as a lone
    // surrogate U+DC80..U+DCFF (from_os_bytes) and goes back as that byte.
    if (!text::to_os_bytes(path, os)) return std::nullopt;
#endif
    return os;
}

}  // namespace ryn::platform
