// The six-camera system's LPC4320 image: a header at offset 0 (version 1.0,
// or 1.1 which adds the two AHB SRAM parts), the firmware code at 0x1000, and
// parts located by flash address, at file offset flash address - 0x10000.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fwupdate/banked/banked_image.h"
#include "platform/layout.h"
#include "ryn_usr.h"
#include "text/checked_format.h"

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
// A part whose offset and CRC the validation checks, with the whole texts of
// those two failures (the stored offset and the file length; the stored CRC
// and the computed one).
struct Lpc4320CheckedPart : Lpc4320Part {
    text::format_string<uint32_t, uint32_t> offset_failure;
    text::format_string<uint32_t, uint32_t> crc_failure;
};
inline constexpr Lpc4320CheckedPart lpc4320_checked_parts_10[] = {
    {{u"model config", Lpc4320Header10::model_ofs, Lpc4320Header10::model_len,
      Lpc4320Header10::model_crc},
     u"[Patch File Error]: The offset of model config (0x%08x) exceeds the file length "
     u"(0x%08x).\n",
     u"[Patch File Error]: Failed to check the model config CRC 0x%08x (Expected: 0x%08x)\n"},
    {{u"cali info", Lpc4320Header10::cali_ofs, Lpc4320Header10::cali_len,
      Lpc4320Header10::cali_crc},
     u"[Patch File Error]: The offset of cali info (0x%08x) exceeds the file length (0x%08x).\n",
     u"[Patch File Error]: Failed to check the cali info CRC 0x%08x (Expected: 0x%08x)\n"},
};
inline constexpr Lpc4320CheckedPart lpc4320_sram_parts[] = {
    {{u"ahb sram 1", Lpc4320Header11::sram1_ofs, Lpc4320Header11::sram1_len,
      Lpc4320Header11::sram1_crc},
     u"[Patch File Error]: The offset of ahb sram 1 (0x%08x) exceeds the file length "
     u"(0x%08x).\n",
     u"[Patch File Error]: Failed to check the ahb sram 1 CRC 0x%08x (Expected: 0x%08x)\n"},
    {{u"ahb sram 2", Lpc4320Header11::sram2_ofs, Lpc4320Header11::sram2_len,
      Lpc4320Header11::sram2_crc},
     u"[Patch File Error]: The offset of ahb sram 2 (0x%08x) exceeds the file length "
     u"(0x%08x).\n",
     u"[Patch File Error]: Failed to check the ahb sram 2 CRC 0x%08x (Expected: 0x%08x)\n"},
};
inline constexpr Lpc4320Part lpc4320_flash_fw_part = {u"flash fw", Lpc4320Header10::flash_fw_ofs,
                                                      Lpc4320Header10::flash_fw_len,
                                                      Lpc4320Header10::flash_fw_crc};

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
