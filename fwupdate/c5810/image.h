// The 5810 controller's firmware image (layout in formats/c5810_fw.h), read
// whole into a 262144-byte image buffer. Both 5810 paths (the second controller and the six-camera 5810
// devices) read it through one validator; a policy chooses the checks and
// messages of each path.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "formats/c5810_fw.h"
#include "fwupdate/common/image_file.h"
#include "ryn_usr.h"

namespace ryn::fwupdate {

// The image buffer's size: the longest image either path takes, the whole flash.
inline constexpr size_t image_5810_buffer_size = flash_5810_size;
static_assert(image_5810_buffer_size == image_buffer_size);

// Whose checks and messages the validator runs.
enum class Image5810Policy {
    c5810,       // the 5810 as the second controller: magic, header CRC, sections
    sixcam5810,  // a six-camera 5810 device: magic, header versions 1.1, header CRC, sections
};

// Reads the whole open image into buffer (image_5810_buffer_size bytes) and
// validates it under the path's policy, with the path's header dump. On
// success length holds the file length. Refuses, before its bytes are used, an
// image that does not fit the buffer or does not hold the header whole, and a
// header whose length, sections or firmware length reach outside the file.
int read_5810_image(const fw_update_arg &arg, ImageFile &file, Image5810Policy policy,
                    std::span<uint8_t> buffer, uint32_t &length);

// Opens the image at its full path for binary reading; on failure reports
// the path's open message and "Failed to read input patch file.\n", null.
std::unique_ptr<ImageFile> open_5810_image(const fw_update_arg &arg, Image5810Policy policy,
                                           const std::u16string &path);

// The full path of the caller's file_name; empty after "Fail to get the
// full path of [%s].\n".
std::optional<std::u16string> image_5810_path(const fw_update_arg &arg);

// Opens and validates the image at path into buffer, closing it again; on
// failure the path's messages end with "Failed to read input patch file.\n".
int load_5810_image(const fw_update_arg &arg, Image5810Policy policy, const std::u16string &path,
                    std::span<uint8_t> buffer, uint32_t &length);

}  // namespace ryn::fwupdate
