// Model configuration records of the 5810 and 5920 controllers and of the
// six-camera system's controllers: one record version each (0x200, or 0x300
// for the 5920), 8192 bytes, little-endian; strings are NUL-terminated UTF-16
// of 20 characters including the terminator.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/layout.h"

namespace ryn::devinfo {

struct OtherModelCfgLayout {
    static constexpr size_t size = 8192;

    // The head both versions share: header, USB identity and the five strings.
    static constexpr layout::Field length{"length", 0, 2};
    static constexpr layout::Field minor{"minor_version", 2, 1};
    static constexpr layout::Field major{"major_version", 3, 1};
    static constexpr layout::Field vid{"vid", 4, 2};
    static constexpr layout::Field pid{"pid", 6, 2};
    static constexpr layout::Field bcd_device{"bcdDevice", 8, 2};
    static constexpr size_t string_count = 5;
    static constexpr layout::Field strings[string_count] = {{"model_name", 10, 40},
                                                            {"bar_code", 50, 40},
                                                            {"manufacturer", 90, 40},
                                                            {"product_type", 130, 40},
                                                            {"serial_num", 170, 40}};
    static constexpr layout::Field head[] = {length,     minor,      major,      vid,
                                             pid,        bcd_device, strings[0], strings[1],
                                             strings[2], strings[3], strings[4]};

    // What follows the head in each version.
    uint16_t version;          // major << 8 | minor
    layout::Array sys_params;  // 4-byte entries (0x300 only; count 0 otherwise)
    layout::Array fw_params;   // unsigned 32-bit (0x200) or 16-bit (0x300)
    bool algo_header;          // the algorithm block starts with length and version (0x200)
    layout::Field algo_length;
    layout::Field algo_minor;
    layout::Field algo_major;
    layout::Array algo_slots;  // 32-bit floats (0x200) or unsigned 16-bit (0x300)

    constexpr bool well_formed() const {
        const layout::Field tail[] = {sys_params.whole(), fw_params.whole(), algo_length,
                                      algo_minor,         algo_major,        algo_slots.whole()};
        return strings[string_count - 1].end() <= sys_params.offset &&
               layout::well_formed(tail, size) && algo_slots.end() == size;
    }
};
static_assert(layout::well_formed(OtherModelCfgLayout::head, OtherModelCfgLayout::size));

inline constexpr OtherModelCfgLayout model_cfg_layout_0x200{
    0x200,
    {"system parameters", 212, 4, 0},
    {"firmware parameters", 212, 4, 715},
    true,
    {"algorithm block length", 3072, 2},
    {"algorithm block minor_version", 3074, 1},
    {"algorithm block major_version", 3075, 1},
    {"algorithm parameters", 3076, 4, 1279},
};

inline constexpr OtherModelCfgLayout model_cfg_layout_0x300{
    0x300,
    {"system parameters", 210, 4, 1024},
    {"firmware parameters", 4306, 2, 1024},
    false,
    {"algorithm block length", 6354, 0},
    {"algorithm block minor_version", 6354, 0},
    {"algorithm block major_version", 6354, 0},
    {"algorithm parameters", 6354, 2, 919},
};

static_assert(model_cfg_layout_0x200.well_formed());
static_assert(model_cfg_layout_0x300.well_formed());

}  // namespace ryn::devinfo
