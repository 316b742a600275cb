// Numbers given in a file for a record's fields, read strictly: the text must
// be one number, and the number must fit the field it goes to. A SET that
// takes such a number refuses a text that is no number, or a number that the
// field would have to cut, instead of storing a wrong value.
//
// The text may have blanks around the number and nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ryn::text {

// An integer field of a record.
struct IntegerField {
    unsigned bits = 32;      // 1 to 32: the largest number taken is 2^bits - 1
    int base = 0;            // 0: by prefix ("0x"/"0X" hexadecimal, leading 0 octal), else 10
    bool negatives = false;  // also -2^(bits-1) to -1, stored as their two's complement
};

// Decimal fields as "%u" writes them and "%d" reads them.
inline constexpr IntegerField decimal_field(unsigned bits) {
    return {.bits = bits, .base = 10, .negatives = false};
}
// Fields read by prefix, as wcstoul with base 0 reads them.
inline constexpr IntegerField prefixed_field(unsigned bits) {
    return {.bits = bits, .base = 0, .negatives = false};
}

// The field's bits of the number the text holds; nothing when the text is not
// one integer (an optional sign, digits of the base) or the number does not fit.
std::optional<uint32_t> integer_field(std::u16string_view text, IntegerField field);

// A 32-bit float: a decimal or hexadecimal floating number whose value lies
// within the float range once rounded to float (a number too small for a
// float becomes 0 or a subnormal, as rounding gives), or "inf", "infinity",
// "nan", "nan(...)" with an optional sign, the forms "%+.10e" writes for
// values that are not finite. Nothing for anything else.
std::optional<float> float_field(std::u16string_view text);

}  // namespace ryn::text
