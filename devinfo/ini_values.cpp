#include "devinfo/ini_values.h"

#include <cmath>
#include <limits>

#include "text/checked_format.h"
#include "text/text.h"

namespace ryn::devinfo {
namespace {

// The key's value read into a number buffer; nothing when it is missing.
std::optional<std::u16string_view> read_value(const platform::IniFile &ini,
                                              std::u16string_view section, std::u16string_view key,
                                              char16_t (&buf)[number_buffer_size]) {
    const size_t n = ini.get(section, key, buf, number_buffer_size);
    if (n == 0) return std::nullopt;
    return std::u16string_view(buf, n);
}

}  // namespace

std::u16string hex_value(uint32_t value) {
    const int digits = value > 0xFFFF ? 8 : value > 0xFF ? 4 : 2;
    return text::format_checked(u"0x%0*x", digits, value);
}

std::u16string float_value(float value) {
    return text::format_checked(u"%+.10e", static_cast<double>(value));
}

bool write_hex(platform::IniFile &ini, std::u16string_view section, std::u16string_view key,
               uint32_t value) {
    return ini.set(section, key, hex_value(value));
}

void write_float(platform::IniFile &ini, std::u16string_view section, std::u16string_view key,
                 float value) {
    ini.set(section, key, float_value(value));
}

std::optional<uint32_t> read_number(const platform::IniFile &ini, std::u16string_view section,
                                    std::u16string_view key) {
    char16_t buf[number_buffer_size];
    const auto value = read_value(ini, section, key, buf);
    if (!value) return std::nullopt;
    return text::to_ulong_auto(*value);
}

std::optional<float> read_float(const platform::IniFile &ini, std::u16string_view section,
                                std::u16string_view key) {
    char16_t buf[number_buffer_size];
    const auto value = read_value(ini, section, key, buf);
    if (!value) return std::nullopt;
    return narrow_to_float(text::to_double(*value));
}

float narrow_to_float(double value) {
    // Beyond the largest float, IEEE rounding gives the largest float up to
    // half its last unit past it, and infinity from there on.
    constexpr float max = std::numeric_limits<float>::max();
    const double limit = static_cast<double>(max) + std::ldexp(1.0, 103);
    if (std::isfinite(value) && std::fabs(value) > static_cast<double>(max)) {
        const float magnitude =
            std::fabs(value) < limit ? max : std::numeric_limits<float>::infinity();
        return value > 0 ? magnitude : -magnitude;
    }
    return static_cast<float>(value);
}

}  // namespace ryn::devinfo
