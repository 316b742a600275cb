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

// Every line of the file "FW_PARAM_<n>=<value>" (n of one to four digits)
// with a number below the array's count sets that parameter, whatever
// section the line stands in. Lines are read as the INI store reads keys:
// the name without regard to case, blanks around the name, "=" and the value
// trimmed, lines ended by LF, CRLF or CR alone, and the first line of a
// repeated parameter wins. The value is a
// decimal number that fits the parameter: 0 to 2^32 - 1 (0 to 65535 for
// 2-byte entries), or a negative number down to -2^31 (-32768) stored as its
// two's complement, so -1 gives all ones and a value written with "%u" comes
// back with all its bits. 0 with open_failure (the path as its %s) when the
// file cannot be opened, or with "[Error] Bad value of FW_PARAM_<n>: ..." for
// a value that is no such number.
int parse_fw_param_lines(const cali_info_arg &arg, const std::u16string &path,
                         text::format_string<const char16_t *> open_failure,
                         const layout::Array &fw_params, std::span<uint8_t> record);

// A 4-byte system parameter: byte 0 bit 0 set when disabled, bits 1 to 7 the
// first number; bytes 1 to 3 the other three. Text form "%s,%u,%u,%u,%u" with
// "enable" or "disable".
std::u16string system_param_text(uint32_t entry);
// Reads the text form: a word of at most 15 lower-case letters (only the exact
// word "enable" enables) and four unsigned decimal numbers, the first of 7
// bits (shifted left by one), the others of 8. False when the value is not of
// that form, and also when a number does not fit its bits, which is reported
// under key (report_bad_value).
bool parse_system_param(const cali_info_arg &arg, std::u16string_view key, std::u16string_view value,
                        uint32_t &entry);

}  // namespace ryn::frame
