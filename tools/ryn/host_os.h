// What differs between the hosts ryn runs on (host_os_posix.cpp,
// host_os_win32.cpp): the command line's text, the console, the folder of the
// default state file and access checks. Paths are UTF-8 everywhere in ryn.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "text/utf.h"

namespace ryn::cli::os {

// The arguments after the program name, as UTF-8; on Windows read from the
// wide command line, not the ANSI argv. Also sets the console up to show
// UTF-8 output.
std::vector<std::string> arguments(int argc, char **argv);

// True when stderr is a terminal (the progress bar is drawn there).
bool stderr_is_terminal();

// The folder below which ryn keeps its state: $XDG_STATE_HOME (when absolute)
// or ~/.local/state on POSIX, %LOCALAPPDATA% on Windows. Throws Failure when
// the environment names none.
std::filesystem::path state_home();

enum class Access { Read, Write, CreateIn };
// Whether the process may read or write the file, or create files in the folder.
bool can_access(const std::string &path, Access access);

// The file of the loaded module (shared library, DLL or program) that holds
// the code or data at address, as UTF-8; empty when the host cannot tell.
std::string module_file_of(const void *address);

// A file name from the command line as the library takes it (UTF-16). On
// POSIX a name is bytes and need not be UTF-8: a byte that is not is carried
// as a lone surrogate, which the library's file calls turn back into the byte.
inline std::u16string library_path(const std::string &name) {
#ifdef _WIN32
    return text::from_utf8(name);
#else
    return text::from_os_bytes(name);
#endif
}

// A UTF-8 path as the file-system library takes it on every host.
inline std::filesystem::path fs_path(const std::string &utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace ryn::cli::os
