// Numbers that a SET takes from the caller's file for a record's fields. The
// number rules are text/field_number's; this is how a path reports a value
// they refuse: one message naming the key and the value as the file gives it,
// after which the path fails without writing the device.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "ryn_usr.h"
#include "text/field_number.h"

namespace ryn::frame {

// "[Error] Bad value of <key>: <value>.\n"
void report_bad_value(const cali_info_arg &arg, std::u16string_view key, std::u16string_view value);

// One number of a value made of several ("enable,1,2,3,4"): the token the
// value's scan gave and the field it goes to.
struct NumberToken {
    std::u16string_view text;
    text::IntegerField field;
};
// Reads each token by its field's rule into out (one per token); false, after
// reporting the whole value under key, when one is refused.
bool read_numbers(const cali_info_arg &arg, std::u16string_view key, std::u16string_view value,
                  std::initializer_list<NumberToken> tokens, uint32_t *out);
// The same for 32-bit float tokens (text::float_field).
bool read_floats(const cali_info_arg &arg, std::u16string_view key, std::u16string_view value,
                 std::initializer_list<std::u16string_view> tokens, float *out);

}  // namespace ryn::frame
