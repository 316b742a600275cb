// Console, debug output and waits.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace ryn::platform {

// UTF-8 to stdout.
void console_write(std::u16string_view text);

// Debug output: to stderr when the environment variable RYN_DEBUG is set,
// otherwise nowhere.
void debug_output(std::u16string_view text);

// Waits. Tests install a hook that records the requested waits instead of
// sleeping; an empty hook restores real sleeping.
void sleep_ms(uint32_t ms);
using SleepHook = std::function<void(uint32_t ms)>;
void set_sleep_hook(SleepHook hook);

}  // namespace ryn::platform
