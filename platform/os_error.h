// The operating system's reason for a file operation that failed. The file
// calls of this layer keep it when the OS refuses them (opening, reading,
// writing, replacing a file); the message sink hands it on after the message
// that reports the failure, so that a host sees why, not only what, failed.
// One reason is kept per thread; a later failure replaces it.
#pragma once

#include <optional>
#include <string>

namespace ryn::platform {

// Keeps a reason as the OS worded it; line ends and blanks at its end go.
void note_os_reason(std::u16string reason);

// Keeps the C runtime's text for errno value error ("No such file or
// directory", "Permission denied", "No space left on device", ...).
void note_errno(int error);

#if defined(_WIN32)
// Keeps the system's text (FormatMessageW) for a Win32 error code.
void note_system_error(unsigned long code);
#endif

// The reason kept since the last take or clear, and forgets it.
std::optional<std::u16string> take_os_reason();

// Forgets the reason: a failure the caller expects (a file a GET creates is
// missing) or one that is not reported.
void clear_os_reason();

}  // namespace ryn::platform
