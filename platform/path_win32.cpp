// Win32 implementation of the host's path services: the C runtime's
// _wfullpath, _waccess and _wfopen, the module file name of the process,
// '\' and '/' as separators and a drive letter before a ':'.
#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "platform/host.h"
#include "platform/path.h"

namespace ryn::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the host's wide strings are UTF-16");

const char16_t host::separator = u'\\';

bool host::is_separator(char16_t c) {
    return c == u'\\' || c == u'/';
}

size_t host::drive_length(std::u16string_view path) {
    return path.size() >= 2 && path[1] == u':' ? 2 : 0;
}

namespace {

// Longest path the wide Win32 calls take.
constexpr size_t os_path_buffer_max = 32768;

// The path as the wide runtime calls take it; empty when a NUL would cut it
// and name another file.
std::optional<std::wstring> wide_path(std::u16string_view path) {
    if (path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    return std::wstring(reinterpret_cast<const wchar_t *>(path.data()), path.size());
}

std::u16string from_wide(const wchar_t *s, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t *>(s), length);
}

}  // namespace

std::optional<std::u16string> full_path(std::u16string_view path, size_t limit) {
    if (path.empty() || limit == 0) return std::nullopt;
    const auto wide = wide_path(path);
    if (!wide) return std::nullopt;
    // _wfullpath fails when the result with its terminator exceeds limit.
    std::vector<wchar_t> buf(limit);
    if (_wfullpath(buf.data(), wide->c_str(), limit) == nullptr) return std::nullopt;
    return from_wide(buf.data(), wcslen(buf.data()));
}

bool file_exists(std::u16string_view path) {
    const auto wide = wide_path(path);
    return wide && _waccess(wide->c_str(), 0) == 0;
}

std::optional<std::u16string> executable_path(size_t limit) {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return std::nullopt;
        if (n < buf.size()) {
            if (n >= limit) return std::nullopt;
            return from_wide(buf.data(), n);
        }
        // The name was cut at the buffer's end: try a larger one.
        if (buf.size() >= os_path_buffer_max) return std::nullopt;
        buf.resize(buf.size() * 2);
    }
}

// GetEnvironmentVariableW reads the process's environment block, which every
// host runtime's own setter writes (the C runtime's copy may lag behind it).
std::optional<std::u16string> environment_path(const char *name) {
    std::wstring wide_name;
    for (const char *c = name; *c; ++c) wide_name += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = GetEnvironmentVariableW(wide_name.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return std::nullopt;  // unset, or set to an empty value
        if (n < buf.size()) return from_wide(buf.data(), n);
        // n is the size the value needs, terminator included.
        if (n > os_path_buffer_max) return std::nullopt;
        buf.resize(n);
    }
}

}  // namespace ryn::platform
