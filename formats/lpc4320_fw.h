// The six-camera system's LPC4320 image: a header at offset 0 (version 1.0,
// or 1.1 which adds the two AHB SRAM parts), the firmware code at 0x1000, and
// parts located by flash address, at file offset flash address - 0x10000;
// the controller's firmware header record and firmware modes.
// Includes only the standard library and formats/.
#pragma once

#include <cstdint>
#include <span>
#include <cstddef>

#include "formats/layout.h"

namespace ryn::fwupdate {

// Version 1.0 header: every word little-endian.
struct Lpc4320Header10 {
    static constexpr size_t size = 0x5C;
    static constexpr size_t crc_from = 12;  // the header CRC covers [12, header len)
    static constexpr uint32_t magic_value = 0x43206C6A;
    static constexpr uint32_t code_offset = 0x1000;      // file offset of the firmware code
    static constexpr uint32_t part_base = 0x10000;       // flash address of file offset 0
    static constexpr uint32_t src_addr_mask = 0xFFFFFF;  // firmware src addr: flash offset bits

    static constexpr layout::Field header_len{"header len", 0x00, 4};
    static constexpr layout::Field magic{"header magic", 0x04, 4};
    static constexpr layout::Field header_crc{"header crc", 0x08, 4};
    static constexpr layout::Field reserved{"reserved", 0x0C, 16};
    static constexpr layout::Field fw_src_addr{"firmware src addr", 0x1C, 4};
    static constexpr layout::Field fw_dst_addr{"firmware dst addr", 0x20, 4};
    static constexpr layout::Field fw_length{"firmware length", 0x24, 4};
    static constexpr layout::Field reserved2{"reserved 2", 0x28, 4};
    static constexpr layout::Field major{"header major version", 0x2C, 4};
    static constexpr layout::Field minor{"header minor version", 0x30, 4};
    static constexpr layout::Field reserved3{"reserved 3", 0x34, 4};
    static constexpr layout::Field model_ofs{"model config ofs", 0x38, 4};
    static constexpr layout::Field model_len{"model config length", 0x3C, 4};
    static constexpr layout::Field model_crc{"model config crc", 0x40, 4};
    static constexpr layout::Field cali_ofs{"cali info ofs", 0x44, 4};
    static constexpr layout::Field cali_len{"cali info length", 0x48, 4};
    static constexpr layout::Field cali_crc{"cali info crc", 0x4C, 4};
    static constexpr layout::Field flash_fw_ofs{"flash fw offset", 0x50, 4};
    static constexpr layout::Field flash_fw_len{"flash fw len", 0x54, 4};
    static constexpr layout::Field flash_fw_crc{"flash fw crc", 0x58, 4};

    static constexpr layout::Field fields[] = {
        header_len, magic,    header_crc, reserved,     fw_src_addr,  fw_dst_addr, fw_length,
        reserved2,  major,    minor,      reserved3,    model_ofs,    model_len,   model_crc,
        cali_ofs,   cali_len, cali_crc,   flash_fw_ofs, flash_fw_len, flash_fw_crc};
};
static_assert(layout::well_formed(Lpc4320Header10::fields, Lpc4320Header10::size));
static_assert(Lpc4320Header10::flash_fw_crc.end() == Lpc4320Header10::size);

// Version 1.1 header: the 1.0 header, then the AHB SRAM 1 and 2 parts.
struct Lpc4320Header11 : Lpc4320Header10 {
    static constexpr size_t size = 0x74;
    static constexpr layout::Field sram1_ofs{"ahb sram 1 offset", 0x5C, 4};
    static constexpr layout::Field sram1_len{"ahb sram 1 len", 0x60, 4};
    static constexpr layout::Field sram1_crc{"ahb sram 1 crc", 0x64, 4};
    static constexpr layout::Field sram2_ofs{"ahb sram 2 offset", 0x68, 4};
    static constexpr layout::Field sram2_len{"ahb sram 2 len", 0x6C, 4};
    static constexpr layout::Field sram2_crc{"ahb sram 2 crc", 0x70, 4};

    static constexpr layout::Field fields[] = {sram1_ofs, sram1_len, sram1_crc,
                                               sram2_ofs, sram2_len, sram2_crc};
};
static_assert(layout::well_formed(Lpc4320Header11::fields, Lpc4320Header11::size));
static_assert(Lpc4320Header11::sram1_ofs.offset == Lpc4320Header10::size);
static_assert(Lpc4320Header11::sram2_crc.end() == Lpc4320Header11::size);

// The header dump of a 1.0 header; a 1.1 header's continues with its own rows.
inline constexpr layout::DumpRow lpc4320_header_10_dump[] = {
    {Lpc4320Header10::major, u"header major version"},
    {Lpc4320Header10::minor, u"header minor version"},
    {Lpc4320Header10::header_len, u"header len:"},
    {Lpc4320Header10::magic, u"header magic:"},
    {Lpc4320Header10::header_crc, u"header crc:"},
    {Lpc4320Header10::fw_src_addr, u"firmware src addr:"},
    {Lpc4320Header10::fw_dst_addr, u"firmware dst addr:"},
    {Lpc4320Header10::fw_length, u"firmware length:"},
    {Lpc4320Header10::model_ofs, u"model config ofs:"},
    {Lpc4320Header10::model_len, u"model config length:"},
    {Lpc4320Header10::model_crc, u"model config crc:"},
    {Lpc4320Header10::cali_ofs, u"cali info ofs:"},
    {Lpc4320Header10::cali_len, u"cali info length:"},
    {Lpc4320Header10::cali_crc, u"cali info crc:"},
    {Lpc4320Header10::flash_fw_ofs, u"flash fw offset:"},
    {Lpc4320Header10::flash_fw_len, u"flash fw len:"},
    {Lpc4320Header10::flash_fw_crc, u"flash fw crc:"},
};
inline constexpr layout::DumpRow lpc4320_header_11_dump[] = {
    {Lpc4320Header11::sram1_ofs, u"ahb sram 1 offset:"},
    {Lpc4320Header11::sram1_len, u"ahb sram 1 len:"},
    {Lpc4320Header11::sram1_crc, u"ahb sram 1 crc:"},
    {Lpc4320Header11::sram2_ofs, u"ahb sram 2 offset:"},
    {Lpc4320Header11::sram2_len, u"ahb sram 2 len:"},
    {Lpc4320Header11::sram2_crc, u"ahb sram 2 crc:"},
};

// The LPC4320 controller's firmware header record (128 bytes reserved); the
// update reads its USB ids, to print them.
struct Lpc4320FwHeaderRecord {
    static constexpr size_t size = 128;
    static constexpr layout::Field vid{"vendor id", 16, 4};
    static constexpr layout::Field pid{"product id", 20, 4};
    static constexpr layout::Field fields[] = {vid, pid};
};
static_assert(layout::well_formed(Lpc4320FwHeaderRecord::fields, Lpc4320FwHeaderRecord::size));

// Firmware modes of the LPC4320 controller, and the device id that selects it.
inline constexpr uint32_t lpc4320_mode_firmware = 0x630;
inline constexpr uint32_t lpc4320_mode_boot_loader = 0x631;
inline constexpr uint32_t lpc4320_dev_id = 255;

// A part of the image located by a flash address: its three header fields
// and the name its messages use.
struct Lpc4320Part {
    const char16_t *name;
    layout::Field offset, length, crc;
};
inline constexpr Lpc4320Part lpc4320_model_cfg_part = {
    u"model config", Lpc4320Header10::model_ofs, Lpc4320Header10::model_len,
    Lpc4320Header10::model_crc};
inline constexpr Lpc4320Part lpc4320_cali_part = {u"cali info", Lpc4320Header10::cali_ofs,
                                                  Lpc4320Header10::cali_len,
                                                  Lpc4320Header10::cali_crc};
inline constexpr Lpc4320Part lpc4320_sram1_part = {u"ahb sram 1", Lpc4320Header11::sram1_ofs,
                                                   Lpc4320Header11::sram1_len,
                                                   Lpc4320Header11::sram1_crc};
inline constexpr Lpc4320Part lpc4320_sram2_part = {u"ahb sram 2", Lpc4320Header11::sram2_ofs,
                                                   Lpc4320Header11::sram2_len,
                                                   Lpc4320Header11::sram2_crc};
inline constexpr Lpc4320Part lpc4320_flash_fw_part = {u"flash fw", Lpc4320Header10::flash_fw_ofs,
                                                      Lpc4320Header10::flash_fw_len,
                                                      Lpc4320Header10::flash_fw_crc};

}  // namespace ryn::fwupdate
