// The six-camera system's LPC4320 update: the image reader and the path. The
// layouts are in formats/lpc4320_fw.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "formats/lpc4320_fw.h"
#include "fwupdate/common/image_file.h"
#include "ryn_usr.h"
#include "text/checked_format.h"

namespace ryn::fwupdate {

// A part whose offset and CRC the validation checks, with the whole texts of
// those two failures (the stored offset and the file length; the stored CRC
// and the computed one).
struct Lpc4320CheckedPart : Lpc4320Part {
    text::format_string<uint32_t, uint32_t> offset_failure;
    text::format_string<uint32_t, uint32_t> crc_failure;
};
inline constexpr Lpc4320CheckedPart lpc4320_checked_parts_10[] = {
    {lpc4320_model_cfg_part,
     u"[Patch File Error]: The offset of model config (0x%08x) exceeds the file length "
     u"(0x%08x).\n",
     u"[Patch File Error]: Failed to check the model config CRC 0x%08x (Expected: 0x%08x)\n"},
    {lpc4320_cali_part,
     u"[Patch File Error]: The offset of cali info (0x%08x) exceeds the file length (0x%08x).\n",
     u"[Patch File Error]: Failed to check the cali info CRC 0x%08x (Expected: 0x%08x)\n"},
};
inline constexpr Lpc4320CheckedPart lpc4320_sram_parts[] = {
    {lpc4320_sram1_part,
     u"[Patch File Error]: The offset of ahb sram 1 (0x%08x) exceeds the file length "
     u"(0x%08x).\n",
     u"[Patch File Error]: Failed to check the ahb sram 1 CRC 0x%08x (Expected: 0x%08x)\n"},
    {lpc4320_sram2_part,
     u"[Patch File Error]: The offset of ahb sram 2 (0x%08x) exceeds the file length "
     u"(0x%08x).\n",
     u"[Patch File Error]: Failed to check the ahb sram 2 CRC 0x%08x (Expected: 0x%08x)\n"},
};

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
