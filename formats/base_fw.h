// The base controller's firmware formats: the image header block and its
// seven sections, the flash builder file, the firmware header and update
// verdict records, the firmware modes and the device modes.
// Includes only the standard library and formats/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/layout.h"

namespace ryn::fwupdate {

// Header (68 bytes) and extra header (20 bytes) at file offset 0. Every
// field is an unsigned 32-bit little-endian number; section offsets count
// from the end of the 88-byte block.
struct ImageHeader {
    static constexpr size_t header_size = 68;
    static constexpr size_t block_size = 88;

    static constexpr layout::Field word0{"first header word", 0, 4};
    static constexpr layout::Field word1{"second header word", 4, 4};
    static constexpr layout::Field update_ofs{"update code offset", 8, 4};
    static constexpr layout::Field update_len{"update code length", 12, 4};
    static constexpr layout::Field update_crc{"update code CRC", 16, 4};
    static constexpr layout::Field normal_ofs{"normal code offset", 20, 4};
    static constexpr layout::Field normal_len{"normal code length", 24, 4};
    static constexpr layout::Field normal_crc{"normal code CRC", 28, 4};
    static constexpr layout::Field cali_ofs{"calibration offset", 32, 4};
    static constexpr layout::Field cali_len{"calibration length", 36, 4};
    static constexpr layout::Field cali_crc{"calibration CRC", 40, 4};
    static constexpr layout::Field version_ofs{"version string offset", 44, 4};
    static constexpr layout::Field version_len{"version string length", 48, 4};
    static constexpr layout::Field version_crc{"version string CRC", 52, 4};
    static constexpr layout::Field model_ofs{"model config offset", 56, 4};
    static constexpr layout::Field model_len{"model config length", 60, 4};
    static constexpr layout::Field model_crc{"model config CRC", 64, 4};
    // Extra header.
    static constexpr layout::Field fw_header_ofs{"fw header offset", 68, 4};
    static constexpr layout::Field fw_header_len{"fw header length", 72, 4};
    static constexpr layout::Field bootldr_ofs{"boot loader offset", 76, 4};
    static constexpr layout::Field bootldr_len{"boot loader length", 80, 4};
    static constexpr layout::Field bootldr_crc{"boot loader CRC", 84, 4};

    static constexpr layout::Field fields[] = {
        word0,         word1,       update_ofs,  update_len, update_crc, normal_ofs,
        normal_len,    normal_crc,  cali_ofs,    cali_len,   cali_crc,   version_ofs,
        version_len,   version_crc, model_ofs,   model_len,  model_crc,  fw_header_ofs,
        fw_header_len, bootldr_ofs, bootldr_len, bootldr_crc};
};
static_assert(layout::well_formed(ImageHeader::fields, ImageHeader::block_size));

// The header dumps of a base image: the header, then the extra header.
inline constexpr layout::DumpRow image_header_dump[] = {
    {ImageHeader::normal_ofs, u"normal code ofs:"},
    {ImageHeader::normal_len, u"normal code length:"},
    {ImageHeader::normal_crc, u"normal code crc:"},
    {ImageHeader::update_ofs, u"update code ofs:"},
    {ImageHeader::update_len, u"update code length:"},
    {ImageHeader::update_crc, u"update code crc:"},
    {ImageHeader::version_ofs, u"version string ofs:"},
    {ImageHeader::version_len, u"version string length:"},
    {ImageHeader::version_crc, u"version string crc:"},
    {ImageHeader::model_ofs, u"model config ofs:"},
    {ImageHeader::model_len, u"model config length:"},
    {ImageHeader::model_crc, u"model config crc:"},
    {ImageHeader::cali_ofs, u"calibration ofs:"},
    {ImageHeader::cali_len, u"calibration length:"},
    {ImageHeader::cali_crc, u"calibration crc:"},
};
inline constexpr layout::DumpRow image_extra_header_dump[] = {
    {ImageHeader::fw_header_ofs, u"fw header ofs:"},
    {ImageHeader::fw_header_len, u"fw header length:"},
    {ImageHeader::bootldr_ofs, u"bootloader ofs:"},
    {ImageHeader::bootldr_len, u"bootloader length:"},
    {ImageHeader::bootldr_crc, u"bootloader crc:"},
};
static_assert(ImageHeader::model_crc.end() == ImageHeader::header_size);
static_assert(ImageHeader::bootldr_crc.end() == ImageHeader::block_size);

// The flash builder file: the 68-byte header alone, sections counted from its
// end. Its version string lies after the code, at
// header_size + normal code offset + normal code length + the word at offset 36.
struct FlashBuilderFile {
    static constexpr size_t sections_from = ImageHeader::header_size;
    static constexpr layout::Field version_gap = ImageHeader::cali_len;
};
// Its header dump: the normal code rows of the image header's.
inline constexpr std::span<const layout::DumpRow> flash_builder_dump =
    std::span(image_header_dump).first(3);

// Capacity of the fw header, version string and model config areas.
inline constexpr size_t section_area_size = 16384;

// The flash range a flash-layout update writes.
inline constexpr uint32_t layout_start = 0x20000;
inline constexpr uint32_t layout_size = 0x60000;

// Which sections an image holds, in the order validation checks them.
enum class Section {
    normal_code,
    update_code,
    boot_loader,
    fw_header,
    version_string,
    model_config,
    calibration
};

// Where one section is found, by its header fields.
struct SectionFields {
    Section section;
    const char16_t *name;  // for the bound messages
    layout::Field offset;
    layout::Field length;
};
inline constexpr SectionFields section_fields[] = {
    {Section::normal_code, u"normal code", ImageHeader::normal_ofs, ImageHeader::normal_len},
    {Section::update_code, u"update code", ImageHeader::update_ofs, ImageHeader::update_len},
    {Section::boot_loader, u"boot loader", ImageHeader::bootldr_ofs, ImageHeader::bootldr_len},
    {Section::fw_header, u"fw header", ImageHeader::fw_header_ofs, ImageHeader::fw_header_len},
    {Section::version_string, u"version string", ImageHeader::version_ofs,
     ImageHeader::version_len},
    {Section::model_config, u"model config", ImageHeader::model_ofs, ImageHeader::model_len},
    {Section::calibration, u"calibration", ImageHeader::cali_ofs, ImageHeader::cali_len},
};

// The firmware header record that ryn_get_fw_hdr fills (80 bytes): bit 0 of
// the word at offset 4 is the current mode, 1 update and 0 normal.
struct FwHeaderRecord {
    static constexpr size_t size = 80;
    static constexpr layout::Field mode_flags{"mode flags", 4, 4};
    static constexpr uint32_t update_mode_bit = 1;
    static constexpr layout::Field fields[] = {mode_flags};
};
static_assert(layout::well_formed(FwHeaderRecord::fields, FwHeaderRecord::size));

// The verdict record that ryn_get_update_hdr fills: its first byte is 1 when
// the layout's CRC matched.
struct UpdateResultRecord {
    static constexpr size_t size = 16;
    static constexpr layout::Field verdict{"CRC verdict", 0, 1};
    static constexpr uint8_t crc_matched = 1;
};

// Firmware modes of the base controller (ryn_get_fw_mode).
inline constexpr uint32_t fw_mode_flash_builder = 0x49;
inline constexpr uint32_t fw_mode_normal = 0x50;
inline constexpr uint32_t fw_mode_update = 0x58;

// Modes the switch operations and ryn_set_dev_mode take.
inline constexpr uint32_t dev_mode_normal = 0;
inline constexpr uint32_t dev_mode_update = 1;

// The device's model configuration buffer of the g40 and g52-old sequences.
inline constexpr size_t model_cfg_buffer_size = 6144;

}  // namespace ryn::fwupdate
