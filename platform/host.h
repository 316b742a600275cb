// What each host's files (*_posix.cpp, *_win32.cpp) give the shared platform
// code: the path separators, the drive prefix, the console and debugger
// channels and real waits. The public headers' host calls (full_path,
// file_exists, executable_path, open_file) are defined there as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ryn::platform::host {

// The separator the host writes between a directory and a name.
extern const char16_t separator;
// True for every character the host reads as a separator.
bool is_separator(char16_t c);
// Length of the drive prefix ("c:") at the start of path; 0 when there is none.
size_t drive_length(std::u16string_view path);

// Writes text to stdout when stdout is a console that takes UTF-16 text in
// its own code page; false (nothing written) otherwise, and the caller
// writes UTF-8 bytes.
bool write_console(std::u16string_view text);
// The host's debugger channel (nothing where the host has none).
void debug_string(std::u16string_view text);

// The C runtime's text for an errno value (strerror, thread-safe form).
std::u16string errno_text(int error);

// A real wait of ms milliseconds.
void sleep(uint32_t ms);

}  // namespace ryn::platform::host
