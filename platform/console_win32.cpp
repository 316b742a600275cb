// Win32 console, debugger channel and waits.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/host.h"

namespace ryn::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

bool host::write_console(std::u16string_view text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
    // WriteConsoleW shows the characters in the console's code page; bytes
    // still buffered in stdout go first.
    std::fflush(stdout);
    const auto *wide = reinterpret_cast<const wchar_t *>(text.data());
    size_t left = text.size();
    while (left > 0) {
        const DWORD chunk = left > 16384 ? 16384 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteConsoleW(out, wide, chunk, &written, nullptr) || written == 0) break;
        wide += written;
        left -= written;
    }
    return true;
}

void host::debug_string(std::u16string_view text) {
    const std::u16string terminated(text);
    OutputDebugStringW(reinterpret_cast<const wchar_t *>(terminated.c_str()));
}

void host::sleep(uint32_t ms) {
    Sleep(ms);
}

}  // namespace ryn::platform
