// Number readers shared by scan, to_ulong_auto and to_double. Internal to text/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ryn::text::detail {

// White space as the C locale's iswspace: space, \t \n \v \f \r.
constexpr bool is_space(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

constexpr size_t skip_space(std::u16string_view s, size_t i) {
    while (i < s.size() && is_space(s[i])) ++i;
    return i;
}

struct integer_text {
    uint64_t magnitude = 0;  // modulo 2^64
    bool negative = false;
    bool over32 = false;  // the magnitude exceeds 0xFFFFFFFF
    size_t consumed = 0;  // 0: no number
};

// Reads an optional sign and digits from the start of s as strtoul does:
// base 16 takes an optional "0x"/"0X" prefix, base 0 chooses 16 by that
// prefix, 8 by a leading '0', else 10.
integer_text read_integer(std::u16string_view s, int base);

// Reads a floating number from the start of s as wcstod does (sign, decimal
// or "0x" hexadecimal form, "inf", "infinity", "nan", "nan(...)"), rounded
// once to T. Values out of T's range become infinity or zero. consumed is 0
// when there is no number.
template <class T>
T read_real(std::u16string_view s, size_t &consumed);

}  // namespace ryn::text::detail
