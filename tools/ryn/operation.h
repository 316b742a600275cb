// Runs one library operation on the simulated device: loads the device,
// fills the argument block, hands it the Host's callbacks, calls the
// operation, saves the device and turns the result into the exit status
// (0 on result 1, 1 on result 0).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli.h"
#include "ryn_usr.h"

namespace ryn::cli {

// A calibration or device-information request: ryn_cali_info or ryn_dev_info.
using InfoOperation = int32_t (*)(cali_info_arg *arg);
// Checks a request against the family of the loaded device ("base", "5810",
// "5920", "6cam") before the device is touched; throws UsageError.
using FamilyCheck = std::function<void(const std::string &family, const GlobalOptions &global)>;
// The operation on file with the request flags; --6cam-dev adds its bit.
// A GET into an existing file whose sections are not all among `sections`
// is warned about: the new sections are merged into it.
int run_info(const GlobalOptions &global, InfoOperation operation, const std::string &file,
             uint32_t flags, const FamilyCheck &check = {},
             const std::vector<std::string> &sections = {});
// ryn_fw_update of image (flash_builder may be empty); --6cam-dev adds its bit to the mode.
// An image recognised as another family's, and a mode or flash builder the
// device's family does not take, are usage errors found before any device call.
int run_fw_update(const GlobalOptions &global, const std::string &image, const std::string &flash_builder,
                  uint32_t update_mode);

// Whether a command writes to the device. A write on a six-camera system
// needs --6cam-dev; a read without it covers the whole unit.
enum class Access { read, write };

// Loads the device of a command (--sim or the default one) and checks that
// --6cam-dev fits it (a write to a six-camera system without it is a usage
// error), then the command's own check. Returns the state file; nothing has
// been written to it.
std::string open_checked_device(const GlobalOptions &global, const FamilyCheck &check,
                                Access access = Access::read);
// The family of the loaded device.
std::string loaded_family();

}  // namespace ryn::cli
