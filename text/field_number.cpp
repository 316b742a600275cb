#include "text/field_number.h"

#include <bit>
#include <cmath>
#include <limits>

#include "text/checked_format.h"
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

// The bits of "nan(0x<hex>)" after an optional sign; nothing for any other
// text. The sign must agree with the bits' sign and the bits be a NaN's.
std::optional<uint32_t> nan_bits(std::u16string_view s) {
    bool negative = false;
    if (!s.empty() && (s[0] == u'+' || s[0] == u'-')) {
        negative = s[0] == u'-';
        s.remove_prefix(1);
    }
    constexpr std::u16string_view kOpen = u"nan(0x";
    if (s.size() < kOpen.size() + 2 || s.substr(0, kOpen.size()) != kOpen || s.back() != u')')
        return std::nullopt;
    const std::u16string_view digits = s.substr(kOpen.size(), s.size() - kOpen.size() - 1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t bits = 0;
    for (const char16_t c : digits) {
        const int d = c >= u'0' && c <= u'9'   ? c - u'0'
                      : c >= u'a' && c <= u'f' ? c - u'a' + 10
                      : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                               : -1;
        if (d < 0) return std::nullopt;
        bits = bits << 4 | static_cast<uint32_t>(d);
    }
    if (!std::isnan(std::bit_cast<float>(bits)) || negative != (bits >> 31 != 0)) return std::nullopt;
    return bits;
}

constexpr uint32_t kQuietNan = 0x7FC00000;

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
    if (const auto bits = nan_bits(s)) return std::bit_cast<float>(*bits);
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

std::u16string float_text(float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    if (std::isnan(value) && (bits & 0x7FFFFFFF) != kQuietNan)
        return format_checked(u"%snan(0x%08x)", bits >> 31 ? u"-" : u"+", bits);
    return format_checked(u"%+.10e", static_cast<double>(value));
}

}  // namespace ryn::text
