// The second (5810) controller's update: the flash driver list and table, the
// Maskrom switch, the OSC-Cali registers, the flash identification and the
// extended flash driver, and the path that runs them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "ryn_usr.h"
#include "text/checked_format.h"

namespace ryn::fwupdate {

// One line of the flash driver list "ryn_flash_driver_list.ini" (beside the
// host's executable): "%X,%d,%X,%s" = flash ID, built-in flag, driver
// parameter, driver file.
struct FlashDriverEntry {
    static constexpr size_t file_capacity = 128;  // wide characters, terminator included
    uint32_t flash_id = 0;
    int32_t built_in = 0;        // nonzero: the controller's own driver serves the chip
    std::u16string driver_file;  // empty for a built-in entry
    uint32_t driver_param = 0;
};

// The in-memory form of the list, module-wide; cleared by every load.
struct FlashDriverTable {
    static constexpr size_t capacity = 32;
    size_t count = 0;
    std::array<FlashDriverEntry, capacity> entries{};

    // The first entry, in file order, for this ID; null when none.
    const FlashDriverEntry *find(uint32_t flash_id) const;
};
FlashDriverTable &flash_driver_table();

// Firmware modes of the 5810 controller (ryn_get_fw_mode).
inline constexpr uint32_t fw_mode_5810_flash = 0x46;
inline constexpr uint32_t fw_mode_5810_maskrom = 0x52;

// The OSC-Cali registers, written in this order, each with the message of
// its failed write (the whole text, as a host's msg_fn receives it).
struct OscCaliRegister {
    uint32_t address;
    uint32_t value;
    text::format_string<> failure;
};
inline constexpr OscCaliRegister osc_cali_registers[] = {
    {0x906000C4, 0x161E2, u"Failed to set register[0x906000C4]\n"},
    {0x906000C8, 0x15E5E, u"Failed to set register[0x906000C8]\n"},
    {0x906000CC, 0x160A7, u"Failed to set register[0x906000CC]\n"},
    {0x906000D0, 0x15F99, u"Failed to set register[0x906000D0]\n"},
    {0x906000D4, 0x18, u"Failed to set register[0x906000D4]\n"},
};

// The serial-flash registers that read the flash ID.
inline constexpr uint32_t sf_command_reg = 0x90200000;
inline constexpr uint32_t sf_read_id_command = 0x39F;  // low byte: read identification
inline constexpr uint32_t sf_status_reg = 0x90200008;
inline constexpr uint32_t sf_start = 8;
inline constexpr uint32_t sf_data_reg = 0x9020002C;
// Reads of the status register before the flash ID read gives up, 100 ms
// apart: about ten seconds for a command a working chip ends in microseconds.
inline constexpr uint32_t sf_status_reads = 100;

// Largest extended flash driver file.
inline constexpr size_t flash_driver_buffer_size = 65536;

// The firmware header record of ryn_get_fw_hdr (80 bytes): two 16-bit values
// at offsets 16 and 18, reported when the controller switches to Maskrom.
inline constexpr size_t fw_header_record_5810_size = 80;

// The image buffer of the second-controller path; it keeps the last image.
std::span<uint8_t> image_buffer_5810();

int fw_update_5810(fw_update_arg &arg);
int switch_to_maskrom(fw_update_arg &arg);
int enable_osc_cali(fw_update_arg &arg);
int load_flash_driver_list(fw_update_arg &arg);
int set_flash_driver(fw_update_arg &arg);
int read_flash_id(fw_update_arg &arg, uint32_t &flash_id);
int load_extend_flash_driver(fw_update_arg &arg, const std::u16string &driver_file,
                             uint32_t driver_param);

}  // namespace ryn::fwupdate
