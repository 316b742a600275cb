// Pieces the other controllers' calibration and device-information paths have
// in common: the six-camera device selection, the firmware parameters read
// back by scanning the file's lines, and the text form of a system parameter.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "frame/paths.h"
#include "formats/layout.h"
#include "ryn_usr.h"
#include "text/checked_format.h"

namespace ryn::frame {

// Six-camera variants address their device first: the LPC4320 controller as
// 255; a 5810 device as 1 when RYN_FLAG_6CAM_DEV1 is set, otherwise 2. Other
// controllers select nothing. 0 (with a message) when the device library
// refuses the selection.
int select_6cam_device(const cali_info_arg &arg, Controller controller, uint32_t flags);

// Every line of the file that scans as "FW_PARAM_%04u=%d" with a number below
// the array's count sets that parameter (its low 16 bits for 2-byte entries),
// whatever section the line stands in; a line with blanks around "=" does not
// scan. A value above the signed range wraps modulo 2^32 in the scan, so a
// value written with "%u" comes back with all its 32 bits. 0 with
// open_failure (the path as its %s) when the file cannot be opened.
int parse_fw_param_lines(const cali_info_arg &arg, const std::u16string &path,
                         text::format_string<const char16_t *> open_failure,
                         const layout::Array &fw_params, std::span<uint8_t> record);

// A 4-byte system parameter: byte 0 bit 0 set when disabled, bits 1 to 7 the
// first number; bytes 1 to 3 the other three. Text form "%s,%u,%u,%u,%u" with
// "enable" or "disable".
std::u16string system_param_text(uint32_t entry);
// Reads the text form: a word of at most 15 lower-case letters (only the exact
// word "enable" enables) and four unsigned numbers, each cut to its bits; the
// first number shifted left by one. False when not every field converts.
bool parse_system_param(std::u16string_view value, uint32_t &entry);

}  // namespace ryn::frame
