// Console, debug output and waits.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace ryn::platform {

// To stdout: UTF-8, or on Windows, when stdout is a console, as characters in
// the console's code page.
void console_write(std::u16string_view text);

// Debug output: the host's debugger channel (OutputDebugStringW on Windows,
// none on POSIX), and to stderr as UTF-8 when the environment variable
// RYN_DEBUG is set.
void debug_output(std::u16string_view text);

// Waits. Tests install a hook that records the requested waits instead of
// sleeping; an empty hook restores real sleeping.
void sleep_ms(uint32_t ms);
using SleepHook = std::function<void(uint32_t ms)>;
void set_sleep_hook(SleepHook hook);

}  // namespace ryn::platform
