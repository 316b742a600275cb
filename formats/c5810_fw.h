// The 5810 controller's firmware formats: its image header, its flash, its
// firmware header record, its firmware modes, the OSC-Cali and serial-flash
// registers and the download kit's device-control words (six-camera 5810
// devices). Includes only the standard library and formats/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/layout.h"

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

// The header dump of a six-camera 5810 device's update; the second
// controller's leaves out the two version rows.
inline constexpr layout::DumpRow image_5810_dump[] = {
    {Image5810Header::major, u"header major version:"},
    {Image5810Header::minor, u"header minor version:"},
    {Image5810Header::length, u"header len:"},
    {Image5810Header::magic, u"header magic:"},
    {Image5810Header::crc, u"header crc:"},
    {Image5810Header::firmware_ofs, u"firmware ofs:"},
    {Image5810Header::firmware_len, u"firmware length:"},
    {Image5810Header::model_ofs, u"model config ofs:"},
    {Image5810Header::model_len, u"model config length:"},
    {Image5810Header::model_crc, u"model config crc:"},
    {Image5810Header::cali_ofs, u"cali info ofs:"},
    {Image5810Header::cali_len, u"cali info length:"},
    {Image5810Header::cali_crc, u"cali info crc:"},
};
inline constexpr std::span<const layout::DumpRow> image_5810_dump_without_versions =
    std::span(image_5810_dump).subspan(2);

// The header's field in an image (or flash) buffer that holds the header whole.
inline uint32_t header_5810_field(std::span<const uint8_t> image, const layout::Field &f) {
    return static_cast<uint32_t>(f.get(image.subspan(Image5810Header::file_offset)));
}

// The controller's flash: 262144 bytes from address 0, which an image fills
// at most.
inline constexpr size_t flash_5810_size = 262144;

// The firmware header record of ryn_get_fw_hdr (80 bytes): two 16-bit values
// at offsets 16 and 18, reported when the controller switches to Maskrom.
struct FwHeaderRecord5810 {
    static constexpr size_t size = 80;
    static constexpr layout::Field value0{"first reported value", 16, 2};
    static constexpr layout::Field value1{"second reported value", 18, 2};
    static constexpr layout::Field fields[] = {value0, value1};
};
static_assert(layout::well_formed(FwHeaderRecord5810::fields, FwHeaderRecord5810::size));

// Firmware modes of the 5810 controller (ryn_get_fw_mode).
inline constexpr uint32_t fw_mode_5810_flash = 0x46;
inline constexpr uint32_t fw_mode_5810_maskrom = 0x52;

// The OSC-Cali registers, written in this order.
struct OscCaliRegister {
    uint32_t address;
    uint32_t value;
};
inline constexpr OscCaliRegister osc_cali_registers[] = {
    {0x906000C4, 0x161E2}, {0x906000C8, 0x15E5E}, {0x906000CC, 0x160A7},
    {0x906000D0, 0x15F99}, {0x906000D4, 0x18},
};

// The serial-flash registers that read the flash ID.
inline constexpr uint32_t sf_command_reg = 0x90200000;
inline constexpr uint32_t sf_read_id_command = 0x39F;  // low byte: read identification
inline constexpr uint32_t sf_status_reg = 0x90200008;
inline constexpr uint32_t sf_start = 8;
inline constexpr uint32_t sf_data_reg = 0x9020002C;

// The download kit of a six-camera 5810 device: ryn_set_dev_ctrl with this
// code asks it to end; ryn_get_dev_ctrl reads the second word once it has.
inline constexpr uint32_t download_kit_end = 0x58100001;
inline constexpr uint32_t download_kit_ended = 1;

}  // namespace ryn::fwupdate
