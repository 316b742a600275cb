// The 5920 controller's update: the banked image reader and the path. The
// layouts are in formats/c5920_fw.h.
#pragma once

#include <cstdint>

#include "formats/c5920_fw.h"
#include "fwupdate/common/image_file.h"
#include "ryn_usr.h"

namespace ryn::fwupdate {

// Reads the whole file into buffer (its length into *length) and validates
// the banked image there: header dump, magic, checksum, model configuration
// and calibration bounds and CRCs. Nothing reaches the device. 1 when every
// check passed.
int read_banked_image(const fw_update_arg &arg, ImageFile &file, ImageBuffer &buffer,
                      uint32_t *length);

// The platform-3 path of ryn_fw_update.
int fw_update_5920(fw_update_arg &arg);

}  // namespace ryn::fwupdate
