// ryn on POSIX: argv is already UTF-8, the environment names the state folder.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

#include "cli.h"
#include "host_os.h"

namespace ryn::cli::os {

std::vector<std::string> arguments(int argc, char **argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool stderr_is_terminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

std::filesystem::path state_home() {
    const char *state_home = std::getenv("XDG_STATE_HOME");
    if (state_home && state_home[0] == '/') return state_home;
    const char *home = std::getenv("HOME");
    if (!home || !*home)
        throw Failure("neither XDG_STATE_HOME nor HOME is set; name the simulated device with --sim STATE");
    return std::filesystem::path(home) / ".local" / "state";
}

bool can_access(const std::string &path, Access access) {
    switch (access) {
        case Access::Read:
            return ::access(path.c_str(), R_OK) == 0;
        case Access::Write:
            return ::access(path.c_str(), W_OK) == 0;
        case Access::CreateIn:
            return ::access(path.c_str(), W_OK | X_OK) == 0;
    }
    return false;
}

std::string module_file_of(const void *address) {
    Dl_info info{};
    if (!::dladdr(address, &info) || !info.dli_fname) return {};
    return info.dli_fname;
}

}  // namespace ryn::cli::os
