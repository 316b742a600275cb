// Loading and saving the simulated device.
#include "device.h"

#include <filesystem>

#include "host_os.h"
#include "sim/ryn_sim.h"

namespace fs = std::filesystem;

namespace ryn::cli {

namespace {

std::string sim_reason() {
    const char *why = ryn_sim_last_error();
    return why && *why ? why : "no reason given";
}

std::string create_default_device(const std::string &path) {
    std::error_code ec;
    fs::create_directories(os::fs_path(path).parent_path(), ec);
    if (ec) throw Failure("cannot create the folder of the simulated device " + path + ": " + ec.message());
    if (ryn_sim_create("base", nullptr) == RYN_INVALID_HANDLE)
        throw Failure("cannot create the simulated base controller: " + sim_reason());
    save_device(path);
    print_error("no simulated device yet: created a base controller in " + path);
    return path;
}

}  // namespace

std::string default_state_path() {
    const std::u8string path = (os::state_home() / "ryn" / "device.json").u8string();
    return std::string(path.begin(), path.end());
}

void load_device(const std::string &path) {
    std::error_code ec;
    const auto status = fs::status(os::fs_path(path), ec);
    if (!fs::exists(status))
        throw Failure("no simulated device in '" + path + "'; create one with: ryn sim create " + path +
                      " --family base");
    if (!fs::is_regular_file(status))
        throw Failure("'" + path + "' is not a state file of a simulated device");
    if (ryn_sim_load(path.c_str()) == RYN_INVALID_HANDLE)
        throw Failure("cannot load the simulated device from '" + path + "': " + sim_reason());
}

void save_device(const std::string &path) {
    if (!ryn_sim_save(path.c_str()))
        throw Failure("cannot save the simulated device to '" + path + "': " + sim_reason());
}

std::string open_device(const GlobalOptions &global) {
    if (!global.sim.empty()) {
        load_device(global.sim);
        return global.sim;
    }
    const std::string path = default_state_path();
    std::error_code ec;
    if (!fs::exists(os::fs_path(path), ec)) return create_default_device(path);
    load_device(path);
    return path;
}

}  // namespace ryn::cli
