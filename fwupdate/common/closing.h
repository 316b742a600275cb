// The closing steps that the update paths of the 5810, 5920, LPC4320 and
// six-camera 5810 controllers share, with their messages.
#pragma once

#include "ryn_usr.h"

namespace ryn::fwupdate {

// A write that failed ends the update: "Failed to update firmware code.\n", 0.
// 1 when written is nonzero.
int check_written(const fw_update_arg &arg, int written);

// The last steps: the device reset when reset is set (a failed one ends the
// update with "Failed to reset device.\n", 0), then the success message and
// the last progress step; 1.
int finish_update(fw_update_arg &arg, bool reset);

}  // namespace ryn::fwupdate
