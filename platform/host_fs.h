// The file-system work of the INI store, behind one small header so that each
// host puts its own calls here (host_fs_posix.cpp for POSIX). Paths are the
// OS form of a path (UTF-8 here). Every function reports failure by its
// result and never throws for a file-system error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ryn::platform::host_fs {

enum class ReadResult { Ok, Missing, Failed };

// The whole file at path into out when path names a regular file (symbolic
// links followed). Opening never blocks, so a FIFO or device named by the
// path cannot hang the caller. Missing when nothing has that name (or a
// folder on the way is not a folder); Failed for anything that is not a
// regular file or cannot be read.
ReadResult read_regular_file(const std::string &path, std::vector<uint8_t> &out);

// The file a write to path goes to: path with the symbolic links at its end
// followed (a dangling link names the file to create). Empty when that file
// cannot be created or replaced: a link loop, a folder or other file that is
// not regular, no write permission on it, or no temporary file can be made
// beside it. The check leaves nothing behind.
std::optional<std::string> writable_target(const std::string &path);

// Writes bytes to a new temporary file in target's folder and flushes them to
// the disk. The file gets the target's permission bits (and, where allowed,
// its owner) or, when there is no target yet, those of a new file. Returns
// the temporary file's path; empty on failure, and then nothing is left.
std::optional<std::string> write_temp_beside(const std::string &target, std::string_view bytes);

// Atomically replaces target with the temporary file and makes the change
// durable. False when it cannot: target is then as it was and temp remains.
bool replace_with_temp(const std::string &temp, const std::string &target);

// Removes a temporary file made by write_temp_beside.
void remove_temp(const std::string &temp);

// Removes the temporary files in target's folder that a writer which is gone
// (killed between writing and replacing) left behind. Only files that carry
// this layer's own temporary name, belong to the current user and whose
// writer no longer runs are removed; anything else is left alone.
void remove_stale_temps(const std::string &target);

}  // namespace ryn::platform::host_fs
