// The device's version record, filled by ryn_get_fw_ver_str and
// ryn_get_version_str into a 368-byte buffer of which 364 bytes are defined.
#pragma once

#include <array>
#include <cstdint>

#include "formats/layout.h"

namespace ryn::devinfo {

struct VersionRecord {
    static constexpr size_t buffer_size = 368;
    static constexpr size_t size = 364;
    static constexpr size_t string_chars = 60;  // terminator included

    static constexpr layout::Field length{"length", 0, 2};
    static constexpr layout::Field minor{"minor version", 2, 1};
    static constexpr layout::Field major{"major version", 3, 1};
    static constexpr layout::Field bootldr{"bootldr", 4, 2 * string_chars};
    static constexpr layout::Field normal{"normal", 124, 2 * string_chars};
    static constexpr layout::Field updater{"updater", 244, 2 * string_chars};

    static constexpr layout::Field fields[] = {length, minor, major, bootldr, normal, updater};
};
static_assert(layout::well_formed(VersionRecord::fields, VersionRecord::size));
static_assert(VersionRecord::updater.end() == VersionRecord::size);

using VersionBuffer = std::array<uint8_t, VersionRecord::buffer_size>;

}  // namespace ryn::devinfo
