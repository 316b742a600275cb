// Runs one library operation on the simulated device: loads the device,
// fills the argument block, hands it the Host's callbacks, calls the
// operation, saves the device and turns the result into the exit status
// (0 on result 1, 1 on result 0).
#pragma once

#include <cstdint>
#include <string>

#include "cli.h"
#include "ryn_usr.h"

namespace ryn::cli {

// A calibration or device-information request: ryn_cali_info or ryn_dev_info.
using InfoOperation = int32_t (*)(cali_info_arg *arg);
// The operation on file with the request flags; --6cam-dev adds its bit.
int run_info(const GlobalOptions &global, InfoOperation operation, const std::string &file,
             uint32_t flags);
// ryn_fw_update of image (flash_builder may be empty); --6cam-dev adds its bit to the mode.
int run_fw_update(const GlobalOptions &global, const std::string &image, const std::string &flash_builder,
                  uint32_t update_mode);

}  // namespace ryn::cli
