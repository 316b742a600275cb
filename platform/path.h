// Paths as the host runtime handles them (wide strings, lexical operations).
// Paths are UTF-16 inside the library and UTF-8 only at the OS calls.
// The separator is '/'.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ryn::platform {

inline constexpr size_t max_path = 260;

// Absolute form of path (lexical: "." and ".." resolved, repeated separators
// folded, a relative path taken against the current directory, the file need
// not exist; ".." at the root stays at the root; a trailing separator is
// kept). Empty when the result (with its terminator) would exceed limit, when
// path is empty or holds a NUL character, or when the current directory is
// needed and cannot be read.
std::optional<std::u16string> full_path(std::u16string_view path, size_t limit = max_path);

// True when the file or folder exists (access mode 0).
bool file_exists(std::u16string_view path);

// Full path of the host process's executable file, empty when it exceeds
// limit (with its terminator) or cannot be read.
std::optional<std::u16string> executable_path(size_t limit = max_path);

// The value of the environment variable name (ASCII) as a path: on POSIX its
// bytes as from_os_bytes gives them, on Windows the wide value from the
// process's environment block. Empty when the variable is unset or empty.
std::optional<std::u16string> environment_path(const char *name);

struct PathParts {
    std::u16string drive;  // always empty on this platform
    std::u16string dir;    // with its trailing separator
    std::u16string name;
    std::u16string ext;  // with its leading '.'
};
// Split into drive, directory, name and extension: the directory runs up to
// and including the last separator, the extension from the last '.' after it
// to the end, the name is what lies between. Fails when a part (with its
// terminator) exceeds its capacity: drive 3, the others 256.
std::optional<PathParts> split_path(std::u16string_view path);
// drive + dir + name + "." + ext: a drive gives its letter and ':', a
// separator follows a directory that lacks one, ext may be given with or
// without its '.'. Fails when the result with its terminator exceeds limit.
std::optional<std::u16string> make_path(std::u16string_view drive, std::u16string_view dir,
                                        std::u16string_view name, std::u16string_view ext,
                                        size_t limit = max_path);

// The path as the OS calls take it (UTF-8). Empty when it cannot be passed
// exactly: a NUL character or an unpaired surrogate would name another file.
// On POSIX a lone surrogate U+DC80..U+DCFF is the byte 0x80..0xFF of a name
// that is not UTF-8 (text::to_os_bytes), and goes back as that byte.
std::optional<std::string> to_os_path(std::u16string_view path);

}  // namespace ryn::platform
