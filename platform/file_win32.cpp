// Files on Win32: _wfopen of the UTF-16 path, 64-bit offsets through
// _fseeki64 (a long holds 32 bits here).
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/file.h"
#include "platform/host.h"
#include "platform/os_error.h"

namespace ryn::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the host's wide strings are UTF-16");

std::FILE *open_file(std::u16string_view path, const char *mode) {
    // A NUL would cut the name short and name another file.
    if (path.find(u'\0') != std::u16string_view::npos) return nullptr;
    const std::wstring wide(reinterpret_cast<const wchar_t *>(path.data()), path.size());
    std::wstring wide_mode;
    for (const char *m = mode; *m != '\0'; ++m) wide_mode += static_cast<wchar_t>(*m);
    std::FILE *f = _wfopen(wide.c_str(), wide_mode.c_str());
    if (!f) note_errno(errno);
    return f;
}

// The runtime keeps _wcserror's text per thread.
std::u16string host::errno_text(int error) {
    const wchar_t *text = _wcserror(error);
    if (!text) return {};
    return std::u16string(reinterpret_cast<const char16_t *>(text), std::wcslen(text));
}

void note_system_error(unsigned long code) {
    wchar_t *text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    if (n == 0 || !text) return;
    std::u16string reason(reinterpret_cast<const char16_t *>(text), n);
    LocalFree(text);
    note_os_reason(std::move(reason));
}

bool seek_file(std::FILE *f, uint64_t position) {
    return position <= static_cast<uint64_t>(INT64_MAX) &&
           _fseeki64(f, static_cast<int64_t>(position), SEEK_SET) == 0;
}

std::optional<uint64_t> file_size(std::FILE *f) {
    int64_t size = -1;
    if (_fseeki64(f, 0, SEEK_END) == 0) size = _ftelli64(f);
    if (size < 0 || _fseeki64(f, 0, SEEK_SET) != 0) return std::nullopt;
    return static_cast<uint64_t>(size);
}

}  // namespace ryn::platform
