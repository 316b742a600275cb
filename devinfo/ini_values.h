// Value writers and readers of the device-information INI files, shared by
// every controller's model configuration:
//   - hex value writer: "0x%0*x" with 2, 4 or 8 digits by the value's size;
//   - float value writer: the float widened to double, "%+.10e" (a NaN with
//     other bits than plain "nan" gives back: text::float_text);
//   - integer reading rule: the key's value (at most 255 characters) read as
//     an unsigned number whose base follows its prefix ("0x"/"0X" hexadecimal,
//     a leading 0 octal, otherwise decimal), which must fit its field;
//   - float reading rule: a decimal floating-point number within the float
//     range, narrowed to 32 bits.
// "Missing" means a key that is absent or empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ini_file.h"
#include "ryn_usr.h"
#include "text/field_number.h"

namespace ryn::devinfo {

// Characters of the buffer a number is read into, terminator included.
inline constexpr size_t number_buffer_size = 256;

// "0x50", "0x0123", "0x00012345": 8 digits when a bit above bit 15 is set,
// else 4 when one of bits 8 to 15 is, else 2; lowercase.
std::u16string hex_value(uint32_t value);
// "+1.2500000000e+000" (text::float_text).
std::u16string float_value(float value);

// Writes hex_value(value) under key; true when the key was written.
bool write_hex(platform::IniFile &ini, std::u16string_view section, std::u16string_view key,
               uint32_t value);
// Writes float_value(value) under key. The write's result is not reported.
void write_float(platform::IniFile &ini, std::u16string_view section, std::u16string_view key,
                 float value);

// Whether a device's text can be written to an INI file as the value of key:
// a line break or NUL in it cannot, nor a surrogate without its pair. When it
// cannot, reports "[Error] Cannot write <key>: its value holds a line break
// or NUL.\n" or "... holds an unpaired surrogate.\n".
bool writable_text(std::u16string_view key, std::u16string_view value, const cali_info_arg &arg);

// How reading a number for a record's field went: the key was missing, its
// value was refused (reported as "[Error] Bad value of <key>: <value>.\n"),
// or out holds the number.
enum class ValueRead { ok, missing, bad };

// The key's value by the integer reading rule, strictly: one number that fits
// the field (text::integer_field).
ValueRead read_number(const platform::IniFile &ini, std::u16string_view section,
                      std::u16string_view key, text::IntegerField field, const cali_info_arg &arg,
                      uint32_t &out);
// The key's value by the float reading rule, strictly (text::float_field).
ValueRead read_float(const platform::IniFile &ini, std::u16string_view section,
                     std::u16string_view key, const cali_info_arg &arg, float &out);

}  // namespace ryn::devinfo
