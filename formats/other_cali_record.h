// Calibration records of the 5810 and 5920 controllers and of both controller
// kinds of the six-camera system: 8192 bytes, little-endian, exchanged whole
// with the device library. The 5810 form also serves the six-camera system's
// LPC4320 controller and its 5810 devices.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/layout.h"

namespace ryn::calibration {

// What the 4-byte entries after the header hold: sensor parameters (5810 form)
// or system parameter slots (5920 form).
enum class ParamKind { sensor, system };

struct OtherCaliLayout {
    static constexpr size_t size = 8192;
    layout::Field length;    // unsigned 16-bit
    layout::Field version;   // unsigned 8-bit
    layout::Field reserved;  // carried unchanged
    layout::Array params;    // 4-byte entries
    ParamKind param_kind;
    size_t first_exchanged;  // the entries exchanged with the file: [first, first + count)
    size_t exchanged;
    layout::Array fw_params;  // unsigned 32-bit (5810 form) or 16-bit (5920 form)
    layout::Array values;     // value n belongs to definition number n
    bool float_values;        // 32-bit floats (5810 form) or unsigned 16-bit (5920 form)

    constexpr bool well_formed() const {
        const layout::Field fields[] = {length,         version,           reserved,
                                        params.whole(), fw_params.whole(), values.whole()};
        return layout::well_formed(fields, size) && values.end() == size &&
               first_exchanged + exchanged <= params.count;
    }
};

inline constexpr OtherCaliLayout cali_layout_5810{
    {"length", 0, 2},
    {"version", 2, 1},
    {"reserved", 3, 1},
    {"sensor parameters", 4, 4, 64},
    ParamKind::sensor,
    0,
    64,
    {"firmware parameters", 260, 4, 191},
    {"calibration values", 1024, 4, 1792},
    true,
};

inline constexpr OtherCaliLayout cali_layout_5920{
    {"length", 0, 2},
    {"version", 2, 1},
    {"reserved", 3, 1},
    {"system parameter slots", 4, 4, 511},
    ParamKind::system,
    448,
    63,
    {"firmware parameters", 2048, 2, 1024},
    {"calibration values", 4096, 2, 2048},
    false,
};

static_assert(cali_layout_5810.well_formed());
static_assert(cali_layout_5920.well_formed());

// The bits of one 4-byte sensor parameter (5810 form).
namespace sensor_param {
inline constexpr uint8_t enabled = 0x01;     // byte 0, bit 0: set when enabled
inline constexpr unsigned camera_shift = 1;  // byte 0, bits 1 to 3
inline constexpr uint8_t camera_mask = 0x07;
inline constexpr unsigned value_shift = 4;  // byte 0, bits 4 to 7
inline constexpr uint8_t value_mask = 0x0F;
}  // namespace sensor_param

// The 4-byte system parameters of the 5920 form have their text form in
// frame/other_params.h, shared with the device information.

}  // namespace ryn::calibration
