// The file-system work of the INI store, behind one small header so that each
// host puts its own calls here (host_fs_posix.cpp for POSIX). Paths are the
// OS form of a path (UTF-8 here). Every function reports failure by its
// result and never throws for a file-system error.
#pragma once

#include <cstddef>
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

// ---- Test seams ------------------------------------------------------------

// Faults the writes of this layer suffer, set by tests to prove that a file
// the store could not finish is never left truncated. The default injects
// none. A write here is one OS write call, of at most write_chunk bytes.
struct WriteFaults {
    // The n-th write from now on (1: the next one) fails with an I/O error;
    // 0: none fails.
    uint32_t fail_write = 0;
    // Bytes that can still be written before the disk is full: a write past
    // them stores what fits and the next one fails with "no space".
    std::optional<uint64_t> disk_space;
    // The process is killed right after a temporary file is written and
    // flushed, before it replaces its target: the temporary file stays.
    bool kill_before_replace = false;
};
void set_write_faults(const WriteFaults &faults);

// Whether a write waits until the file and its folder are on the disk before
// it counts as done (on by default). The fuzz targets, which check what files
// hold and not what a power loss leaves, turn it off: the flush is most of
// the time a small write takes.
void set_flush_to_disk(bool on);
bool flush_to_disk();

inline constexpr size_t write_chunk = 65536;

// For the implementations of this header: the fault the next write of up to
// n bytes meets. 0 lets it go ahead with n cut to the space left; otherwise
// the errno value it fails with. wrote() counts what a write stored.
int next_write_fault(size_t &n);
void wrote(size_t n);
bool kill_before_replace();

}  // namespace ryn::platform::host_fs
