// Files on Win32: _wfopen of the UTF-16 path, 64-bit offsets through
// _fseeki64 (a long holds 32 bits here).
#include <cstdio>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace ryn::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the host's wide strings are UTF-16");

std::FILE *open_file(std::u16string_view path, const char *mode) {
    // A NUL would cut the name short and name another file.
    if (path.find(u'\0') != std::u16string_view::npos) return nullptr;
    const std::wstring wide(reinterpret_cast<const wchar_t *>(path.data()), path.size());
    std::wstring wide_mode;
    for (const char *m = mode; *m != '\0'; ++m) wide_mode += static_cast<wchar_t>(*m);
    return _wfopen(wide.c_str(), wide_mode.c_str());
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
