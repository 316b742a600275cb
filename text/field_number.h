// Numbers given in a file for a record's fields, read strictly: the text must
// be one number, and the number must fit the field it goes to. A SET that
// takes such a number refuses a text that is no number, or a number that the
// field would have to cut, instead of storing a wrong value.
//
// The text may have blanks around the number and nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
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
// A NaN keeps its bits as "nan(0x<8 hex digits of the float's bits>)" after
// its sign ("-nan(0xffffffff)" for an erased slot).
std::optional<float> float_field(std::u16string_view text);

// A 32-bit float as the files write it: "%+.10e" of the float widened to
// double ("+1.2500000000e+000", "+inf", "+nan"), except a NaN whose bits are
// not those "nan" reads back as (0x7fc00000, with its sign 0xffc00000): it is
// written "+nan(0x7fc00001)", sign and all 32 bits, so that float_field takes
// back every bit (the widening to double would lose a signalling NaN's, and
// "nan" alone every payload). The form stays a NaN for other readers of the
// file, as C's strtod reads "nan(n-char-sequence)".
std::u16string float_text(float value);

}  // namespace ryn::text
