#include "text/field_number.h"

#include <cmath>
#include <limits>

#include "text/number_parse.h"

namespace ryn::text {
namespace {

// The text without the blanks around it.
std::u16string_view trimmed(std::u16string_view s) {
    const size_t first = detail::skip_space(s, 0);
    size_t last = s.size();
    while (last > first && detail::is_space(s[last - 1])) --last;
    return s.substr(first, last - first);
}

bool is_digit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

}  // namespace

std::optional<uint32_t> integer_field(std::u16string_view text, IntegerField field) {
    const std::u16string_view s = trimmed(text);
    const detail::integer_text n = detail::read_integer(s, field.base);
    if (n.consumed == 0 || n.consumed != s.size() || n.over32) return std::nullopt;
    const uint64_t max = (uint64_t{1} << field.bits) - 1;
    if (!n.negative) {
        if (n.magnitude > max) return std::nullopt;
        return static_cast<uint32_t>(n.magnitude);
    }
    if (n.magnitude == 0) return 0;  // "-0"
    if (!field.negatives || n.magnitude > (uint64_t{1} << (field.bits - 1))) return std::nullopt;
    return static_cast<uint32_t>((uint64_t{0} - n.magnitude) & max);
}

std::optional<float> float_field(std::u16string_view text) {
    const std::u16string_view s = trimmed(text);
    size_t consumed = 0;
    const double value = detail::read_real<double>(s, consumed);
    if (consumed == 0 || consumed != s.size()) return std::nullopt;
    if (std::isnan(value))
        return std::copysign(std::numeric_limits<float>::quiet_NaN(), std::signbit(value) ? -1.0f : 1.0f);
    // Infinity only when the text names it: a number too large for a double
    // reads as infinity too.
    const size_t after_sign = !s.empty() && (s[0] == u'+' || s[0] == u'-') ? 1 : 0;
    const bool named = after_sign < s.size() && !is_digit(s[after_sign]) && s[after_sign] != u'.';
    if (std::isinf(value)) {
        if (!named) return std::nullopt;
        return static_cast<float>(value);
    }
    // Beyond the largest float, rounding gives the largest float up to half
    // its last unit past it, and infinity from there on: no float holds it.
    constexpr float max = std::numeric_limits<float>::max();
    if (std::fabs(value) > static_cast<double>(max)) {
        if (std::fabs(value) >= static_cast<double>(max) + std::ldexp(1.0, 103)) return std::nullopt;
        return value > 0 ? max : -max;
    }
    return static_cast<float>(value);
}

}  // namespace ryn::text
