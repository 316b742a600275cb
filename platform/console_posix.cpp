// POSIX console and waits: stdout always takes UTF-8, there is no debugger
// channel.
#include <chrono>
#include <thread>

#include "platform/host.h"

namespace ryn::platform {

bool host::write_console(std::u16string_view) {
    return false;
}

void host::debug_string(std::u16string_view) {}

void host::sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace ryn::platform
