// Files on POSIX: fopen of the UTF-8 path, 64-bit offsets through fseeko.
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/file.h"
#include "platform/host.h"
#include "platform/os_error.h"
#include "platform/path.h"
#include "text/utf.h"

namespace ryn::platform {

std::FILE *open_file(std::u16string_view path, const char *mode) {
    const auto os = to_os_path(path);
    if (!os) return nullptr;
    std::FILE *f = std::fopen(os->c_str(), mode);
    if (!f) note_errno(errno);
    return f;
}

std::u16string host::errno_text(int error) {
    char buf[256] = {};
    // strerror_r comes in two forms: the GNU one returns the text (which may
    // not be buf), the POSIX one fills buf and returns 0.
    const auto result = ::strerror_r(error, buf, sizeof buf);
    const char *text = buf;
    if constexpr (std::is_same_v<decltype(result), char *const>)
        text = result;
    else if (result != 0)
        return {};
    return text::from_os_bytes(text);
}

bool seek_file(std::FILE *f, uint64_t position) {
    return position <= static_cast<uint64_t>(std::numeric_limits<off_t>::max()) &&
           ::fseeko(f, static_cast<off_t>(position), SEEK_SET) == 0;
}

std::optional<uint64_t> file_size(std::FILE *f) {
    off_t size = -1;
    if (::fseeko(f, 0, SEEK_END) == 0) size = ::ftello(f);
    if (size < 0 || ::fseeko(f, 0, SEEK_SET) != 0) return std::nullopt;
    return static_cast<uint64_t>(size);
}

}  // namespace ryn::platform
