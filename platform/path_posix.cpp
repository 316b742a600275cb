// POSIX implementation of the host's path services: one separator '/', no
// drives, the absolute form worked out lexically, the executable from /proc.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "platform/encoding.h"
#include "platform/host.h"
#include "platform/path.h"
#include "text/utf.h"

namespace ryn::platform {

const char16_t host::separator = u'/';

bool host::is_separator(char16_t c) {
    return c == separator;
}

size_t host::drive_length(std::u16string_view) {
    return 0;
}

namespace {

using host::is_separator;
using host::separator;

// Largest buffer tried for a path the OS reports; beyond it the call fails.
constexpr size_t os_path_buffer_max = size_t{1} << 20;

bool fits(size_t length, size_t capacity) {
    return length < capacity;
}

// A name the OS gives back, bytes that are not UTF-8 included, as UTF-16
// that to_os_path turns back into the same bytes.
std::u16string from_os_path(const char *s, size_t length) {
    return text::from_os_bytes(std::string_view(s, length));
}

std::optional<std::u16string> current_directory() {
    std::vector<char> buf(256);
    while (getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE || buf.size() >= os_path_buffer_max) return std::nullopt;
        buf.resize(buf.size() * 2);
    }
    std::u16string dir = from_os_path(buf.data(), std::strlen(buf.data()));
    if (dir.empty() || !is_separator(dir.front())) return std::nullopt;
    return dir;
}

}  // namespace

std::optional<std::u16string> full_path(std::u16string_view path, size_t limit) {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return std::nullopt;

    std::u16string absolute;
    if (!is_separator(path.front())) {
        auto cwd = current_directory();
        if (!cwd) return std::nullopt;
        absolute = std::move(*cwd);
        absolute += separator;
    }
    absolute += path;

    // Walk the components: empty ones (repeated separators) and "." vanish,
    // ".." drops the previous component and stops at the root.
    std::vector<std::u16string_view> components;
    const std::u16string_view all(absolute);
    size_t start = 0;
    while (start < all.size()) {
        size_t end = start;
        while (end < all.size() && !is_separator(all[end])) ++end;
        const std::u16string_view component = all.substr(start, end - start);
        if (component == u"..") {
            if (!components.empty()) components.pop_back();
        } else if (!component.empty() && component != u".") {
            components.push_back(component);
        }
        start = end + 1;
    }

    std::u16string result;
    for (const auto component : components) {
        result += separator;
        result += component;
    }
    if (result.empty() || is_separator(path.back())) result += separator;

    if (!fits(result.size(), limit)) return std::nullopt;
    return result;
}

bool file_exists(std::u16string_view path) {
    const auto os = to_os_path(path);
    return os && access(os->c_str(), F_OK) == 0;
}

std::optional<std::u16string> executable_path(size_t limit) {
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return std::nullopt;
        if (static_cast<size_t>(n) < buf.size()) {
            std::u16string path = from_os_path(buf.data(), static_cast<size_t>(n));
            if (!fits(path.size(), limit)) return std::nullopt;
            return path;
        }
        // The link may have been cut at the buffer's end: try a larger one.
        if (buf.size() >= os_path_buffer_max) return std::nullopt;
        buf.resize(buf.size() * 2);
    }
}

std::optional<std::u16string> environment_path(const char *name) {
    const char *value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return from_os_path(value, std::strlen(value));
}

}  // namespace ryn::platform
