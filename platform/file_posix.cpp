// Files on POSIX: fopen of the UTF-8 path, 64-bit offsets through fseeko.
#include <sys/types.h>

#include <cstdio>
#include <limits>

#include "platform/file.h"
#include "platform/path.h"

namespace ryn::platform {

std::FILE *open_file(std::u16string_view path, const char *mode) {
    const auto os = to_os_path(path);
    if (!os) return nullptr;
    return std::fopen(os->c_str(), mode);
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
