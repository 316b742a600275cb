// The 5810 controller's firmware image, read whole into a 262144-byte image
// buffer. Both 5810 paths (the second controller and the six-camera 5810
// devices) read it through one validator; a policy chooses the checks and
// messages of each path.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "fwupdate/base/image.h"
#include "formats/layout.h"
#include "ryn_usr.h"

namespace ryn::fwupdate {

// The header at file offset 0x1000 (68 bytes, offsets below from its start).
// Every field is an unsigned 32-bit little-endian number; section offsets
// count from the start of the file.
struct Image5810Header {
    static constexpr size_t file_offset = 0x1000;
    static constexpr size_t size = 68;
    static constexpr uint32_t magic_value = 0x58104872;
    // The header CRC covers header length - 12 bytes from this offset.
    static constexpr size_t crc_from = 12;

    static constexpr layout::Field length{"header length", 0x00, 4};
    static constexpr layout::Field magic{"header magic", 0x04, 4};
    static constexpr layout::Field crc{"header CRC", 0x08, 4};
    static constexpr layout::Field flash_boot{"flash boot word", 0x0C, 4};
    static constexpr layout::Field firmware_ofs{"firmware offset", 0x18, 4};
    static constexpr layout::Field firmware_len{"firmware length", 0x1C, 4};
    static constexpr layout::Field major{"header major version", 0x20, 4};
    static constexpr layout::Field minor{"header minor version", 0x24, 4};
    static constexpr layout::Field model_ofs{"model config offset", 0x2C, 4};
    static constexpr layout::Field model_len{"model config length", 0x30, 4};
    static constexpr layout::Field model_crc{"model config CRC", 0x34, 4};
    static constexpr layout::Field cali_ofs{"cali info offset", 0x38, 4};
    static constexpr layout::Field cali_len{"cali info length", 0x3C, 4};
    static constexpr layout::Field cali_crc{"cali info CRC", 0x40, 4};

    static constexpr layout::Field fields[] = {
        length, magic,     crc,       flash_boot, firmware_ofs, firmware_len, major,
        minor,  model_ofs, model_len, model_crc,  cali_ofs,     cali_len,     cali_crc};
    // File offset just past the header: no image may end before it.
    static constexpr size_t end_in_file = file_offset + size;
};
static_assert(layout::well_formed(Image5810Header::fields, Image5810Header::size));
static_assert(Image5810Header::end_in_file == 4164);

// The image buffer's size: the longest image either path takes.
inline constexpr size_t image_5810_buffer_size = 262144;

// Whose checks and messages the validator runs.
enum class Image5810Policy {
    second,  // the second controller: magic, header CRC, sections
    sixcam,  // a six-camera 5810 device: magic, header versions 1.1, header CRC, sections
};

// Reads the whole open image into buffer (image_5810_buffer_size bytes) and
// validates it under the path's policy, with the path's header dump. On
// success length holds the file length. Refuses, before its bytes are used, an
// image that does not fit the buffer or does not hold the header whole, and a
// header whose length, sections or firmware length reach outside the file.
int read_5810_image(const fw_update_arg &arg, ImageFile &file, Image5810Policy policy,
                    std::span<uint8_t> buffer, uint32_t &length);

// The header's field in a validated image buffer.
inline uint32_t header_5810_field(std::span<const uint8_t> image, const layout::Field &f) {
    return static_cast<uint32_t>(f.get(image.subspan(Image5810Header::file_offset)));
}

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
