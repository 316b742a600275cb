// The header dump of every image format: one routine printing a row table
// that formats/ keeps beside the header's declaration.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "formats/layout.h"
#include "ryn_usr.h"

namespace ryn::fwupdate {

// Sends one message: title, then one line per row ("label", spaces to the
// label column, "0x" and the field's value in header), then closing.
void report_header_dump(const fw_update_arg &arg, std::u16string_view title,
                        std::span<const layout::DumpRow> rows, std::span<const uint8_t> header,
                        std::u16string_view closing = {});

}  // namespace ryn::fwupdate
