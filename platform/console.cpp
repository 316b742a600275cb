#include "platform/console.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

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
    write_utf8(stdout, text);
}

void debug_output(std::u16string_view text) {
    const char *flag = std::getenv("RYN_DEBUG");
    if (flag != nullptr && *flag != '\0') write_utf8(stderr, text);
}

void sleep_ms(uint32_t ms) {
    if (const auto &hook = sleep_hook())
        hook(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void set_sleep_hook(SleepHook hook) {
    sleep_hook() = std::move(hook);
}

}  // namespace ryn::platform
