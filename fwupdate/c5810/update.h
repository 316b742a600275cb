// The second (5810) controller's update: the flash driver list and table, the
// Maskrom switch, the OSC-Cali registers, the flash identification and the
// extended flash driver, and the path that runs them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <iterator>
#include <string>

#include "formats/c5810_fw.h"
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
    // The list's own folder (drive and directory, with its separator), which
    // a relative driver path is taken against first.
    std::u16string list_dir;

    // The first entry, in file order, for this ID; null when none.
    const FlashDriverEntry *find(uint32_t flash_id) const;
};
FlashDriverTable &flash_driver_table();

// The message of each OSC-Cali register's failed write, in the order of
// osc_cali_registers (the whole text, as a host's msg_fn receives it).
inline constexpr text::format_string<> osc_cali_failures[] = {
    u"Failed to set register[0x906000C4]\n", u"Failed to set register[0x906000C8]\n",
    u"Failed to set register[0x906000CC]\n", u"Failed to set register[0x906000D0]\n",
    u"Failed to set register[0x906000D4]\n",
};
static_assert(std::size(osc_cali_failures) == std::size(osc_cali_registers));

// Reads of the status register before the flash ID read gives up, 100 ms
// apart: about ten seconds for a command a working chip ends in microseconds.
inline constexpr uint32_t sf_status_reads = 100;

// Largest extended flash driver file.
inline constexpr size_t flash_driver_buffer_size = 65536;

int fw_update_5810(fw_update_arg &arg);
// ran_from_flash tells whether the controller ran from flash before (and was
// switched to Maskrom here).
int switch_to_maskrom(fw_update_arg &arg, bool &ran_from_flash);
// Ends an update that cannot go on after the switch to Maskrom, before
// anything was written: a controller that ran from flash runs from it again;
// otherwise the last message says it is left in Maskrom. Returns 0.
int stop_before_writing(fw_update_arg &arg, bool ran_from_flash);
int enable_osc_cali(fw_update_arg &arg);
int load_flash_driver_list(fw_update_arg &arg);
int set_flash_driver(fw_update_arg &arg);
int read_flash_id(fw_update_arg &arg, uint32_t &flash_id);
int load_extend_flash_driver(fw_update_arg &arg, const std::u16string &driver_file,
                             uint32_t driver_param);

}  // namespace ryn::fwupdate
