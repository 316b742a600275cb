// The six-camera system's LPC4320 update: the image reader and the path. The
// layouts are in formats/lpc4320_fw.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "formats/lpc4320_fw.h"
#include "fwupdate/common/image_file.h"
#include "ryn_usr.h"

namespace ryn::fwupdate {

// Opens the image for binary reading (which measures it); null, with its
// message, on failure.
std::unique_ptr<ImageFile> open_lpc4320_image(const fw_update_arg &arg, const std::u16string &path);

// Reads the whole open file into buffer (its length into *length) and
// validates the image by its header version; in normal mode only a 1.1
// header is taken. Every part that the update writes is checked to lie inside
// the file. Nothing reaches the device. 1 when every check passed.
int read_lpc4320_image(const fw_update_arg &arg, ImageFile &file, uint32_t update_mode,
                       ImageBuffer &buffer, uint32_t *length);

// The path of ryn_fw_update for the LPC4320 controller of a six-camera system.
int fw_update_6cam_4320(fw_update_arg &arg);

}  // namespace ryn::fwupdate
