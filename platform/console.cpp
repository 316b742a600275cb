// Console, debug output and waits, shared by every host: UTF-8 streams unless
// the host's console or debugger takes the text itself, and a test hook
// before the host's real wait.
#include "platform/console.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/host.h"
#include "text/utf.h"

namespace ryn::platform {

namespace {

void write_utf8(std::FILE *stream, std::u16string_view text) {
    std::string bytes;
    text::append_utf8(bytes, text);  // an unpaired surrogate shows as U+FFFD
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

// The installed wait hook; empty means real sleeping.
SleepHook &sleep_hook() {
    static SleepHook hook;
    return hook;
}

}  // namespace

void console_write(std::u16string_view text) {
    if (!host::write_console(text)) write_utf8(stdout, text);
}

void debug_output(std::u16string_view text) {
    host::debug_string(text);
    const char *flag = std::getenv("RYN_DEBUG");
    if (flag != nullptr && *flag != '\0') write_utf8(stderr, text);
}

void sleep_ms(uint32_t ms) {
    if (const auto &hook = sleep_hook())
        hook(ms);
    else
        host::sleep(ms);
}

void set_sleep_hook(SleepHook hook) {
    sleep_hook() = std::move(hook);
}

}  // namespace ryn::platform
