// Paths as the host runtime handles them (wide strings, lexical operations).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ryn::platform {

inline constexpr size_t max_path = 260;

// Absolute form of path (lexical: "." and ".." resolved, the file need not
// exist). Empty when the result (with its terminator) would exceed limit.
std::optional<std::u16string> full_path(std::u16string_view path, size_t limit = max_path);

// True when the file or folder exists (access mode 0).
bool file_exists(std::u16string_view path);

// Full path of the host process's executable file, empty when it exceeds limit.
std::optional<std::u16string> executable_path(size_t limit = max_path);

struct PathParts {
    std::u16string drive;  // always empty on this platform
    std::u16string dir;    // with its trailing separator
    std::u16string name;
    std::u16string ext;    // with its leading '.'
};
// Split into drive, directory, name and extension; fails when a part
// (with its terminator) exceeds its capacity: drive 3, the others 256.
std::optional<PathParts> split_path(std::u16string_view path);
// drive + dir + name + "." + ext (ext given with or without its '.'); fails
// when the result with its terminator exceeds limit.
std::optional<std::u16string> make_path(std::u16string_view drive, std::u16string_view dir,
                                        std::u16string_view name, std::u16string_view ext,
                                        size_t limit = max_path);

}  // namespace ryn::platform
