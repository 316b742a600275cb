// Folders and files of the end-to-end tests, made, compared and removed with
// the host's own calls (file_tree_posix.cpp, file_tree_win32.cpp): on Windows
// through the wide calls in their long form, so that a path of more than 260
// characters, or one with characters outside the ANSI code page, is handled
// like any other.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace ryn::test {

// What a folder holds: the path of everything below it, relative to it (UTF-8,
// the host's separator), with the bytes of each regular file and
// "<type N>" (N a std::filesystem::file_type) for anything else, which is
// never read: a FIFO would block. Throws std::runtime_error when the folder
// cannot be listed or a file cannot be read.
std::map<std::string, std::string> snapshot_tree(const std::filesystem::path &dir);

// Removes path with everything below it; nothing when it does not exist.
// Throws std::runtime_error when something stays.
void remove_tree(const std::filesystem::path &path);

// Creates the folder and the folders on its way. Throws std::runtime_error
// when one cannot be made.
void create_folders(const std::filesystem::path &dir);

// Writes bytes to the file at path, replacing one that is there. Throws
// std::runtime_error when it cannot.
void write_bytes(const std::filesystem::path &path, std::string_view bytes);

}  // namespace ryn::test
