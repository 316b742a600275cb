// ryn on Windows: the wide command line, a UTF-8 console, %LOCALAPPDATA% and
// the runtime's _waccess.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>  // needs windows.h first

#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "cli.h"
#include "host_os.h"
#include "text/utf.h"

namespace ryn::cli::os {

namespace {

std::u16string u16(const wchar_t *s) {
    return std::u16string(reinterpret_cast<const char16_t *>(s), wcslen(s));
}

std::wstring wide(const std::string &utf8) {
    const std::u16string s = text::from_utf8(utf8);
    return std::wstring(reinterpret_cast<const wchar_t *>(s.data()), s.size());
}

}  // namespace

std::vector<std::string> arguments(int, char **) {
    // ryn writes UTF-8 bytes with LF line ends, as on every host; the console
    // shows them as UTF-8.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int count = 0;
    wchar_t **wide_args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide_args) throw Failure("cannot read the command line");
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(text::to_utf8(u16(wide_args[i])));
    LocalFree(wide_args);
    return args;
}

bool stderr_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::filesystem::path state_home() {
    const wchar_t *local = _wgetenv(L"LOCALAPPDATA");
    if (!local || !*local)
        throw Failure("LOCALAPPDATA is not set; name the simulated device with --sim STATE");
    return std::filesystem::path(local);
}

bool can_access(const std::string &path, Access access) {
    // The runtime knows read and write permission only; a folder that can be
    // written to can have files created in it.
    return _waccess(wide(path).c_str(), access == Access::Read ? 4 : 2) == 0;
}

std::string module_file_of(const void *address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return {};
    wchar_t name[32768];
    const DWORD n = GetModuleFileNameW(module, name, static_cast<DWORD>(std::size(name)));
    if (n == 0 || n >= std::size(name)) return {};
    return text::to_utf8(std::u16string(reinterpret_cast<const char16_t *>(name), n));
}

}  // namespace ryn::cli::os
