// One sensor register entry: the 4-byte form in which both the calibration
// record's sensor register table and the model configuration's sensor dsp
// block hold a camera sensor setting.
#pragma once

#include <cstddef>

#include "formats/layout.h"

namespace ryn::frame {

struct SensorEntry {
    static constexpr size_t size = 4;
    static constexpr size_t count = 72;  // entries of a table or block
    // bit 0 enable; bits 1 to 3 camera; bits 4 to 7 kind
    static constexpr layout::Field control{"control", 0, 1};
    static constexpr layout::Field reg{"register", 1, 1};
    static constexpr layout::Field value{"value", 2, 1};
    static constexpr layout::Field mask{"mask", 3, 1};
    static constexpr layout::Field fields[] = {control, reg, value, mask};

    // Entry i of a table or block.
    static constexpr layout::Field at(size_t i) { return {"sensor register entry", size * i, size}; }
};
static_assert(layout::well_formed(SensorEntry::fields, SensorEntry::size));

}  // namespace ryn::frame
