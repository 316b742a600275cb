// The simulated controller behind every command: the simulator holds the
// device while ryn runs, a JSON state file keeps it between runs.
#pragma once

#include <string>

#include "cli.h"

namespace ryn::cli {

// ryn/device.json below the host's state folder: $XDG_STATE_HOME or
// ~/.local/state on POSIX, %LOCALAPPDATA% on Windows.
std::string default_state_path();

// Loads the device kept in a state file into the simulator.
void load_device(const std::string &path);
// Saves the simulator's device (records and armed faults) into a state file.
void save_device(const std::string &path);

// Loads the device a library operation runs on: the --sim state file, or the
// default one, which is created as a base controller when missing. Returns
// the state file's path, for save_device once the operation has run.
std::string open_device(const GlobalOptions &global);

}  // namespace ryn::cli
