#include "devinfo/ini_values.h"

#include "frame/file_values.h"
#include "frame/sink.h"
#include "text/checked_format.h"
#include "text/field_number.h"
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
    return text::float_text(value);
}

bool write_hex(platform::IniFile &ini, std::u16string_view section, std::u16string_view key,
               uint32_t value) {
    return ini.set(section, key, hex_value(value));
}

void write_float(platform::IniFile &ini, std::u16string_view section, std::u16string_view key,
                 float value) {
    ini.set(section, key, float_value(value));
}

bool writable_text(std::u16string_view key, std::u16string_view value, const cali_info_arg &arg) {
    if (!platform::IniFile::writable_value(value)) {
        frame::report(arg, u"[Error] Cannot write %s: its value holds a line break or NUL.\n",
                      std::u16string(key).c_str());
        return false;
    }
    // A surrogate without its pair has no form in a UTF-8 file: it would
    // come back as U+FFFD.
    for (size_t i = 0; i < value.size(); ++i) {
        const char16_t c = value[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < value.size() && value[i + 1] >= 0xDC00 && value[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (high || low) {
            frame::report(arg, u"[Error] Cannot write %s: its value holds an unpaired surrogate.\n",
                          std::u16string(key).c_str());
            return false;
        }
    }
    return true;
}

ValueRead read_number(const platform::IniFile &ini, std::u16string_view section,
                      std::u16string_view key, text::IntegerField field, const cali_info_arg &arg,
                      uint32_t &out) {
    char16_t buf[number_buffer_size];
    const auto value = read_value(ini, section, key, buf);
    if (!value) return ValueRead::missing;
    const auto number = text::integer_field(*value, field);
    if (!number) {
        frame::report_bad_value(arg, key, *value);
        return ValueRead::bad;
    }
    out = *number;
    return ValueRead::ok;
}

ValueRead read_float(const platform::IniFile &ini, std::u16string_view section,
                     std::u16string_view key, const cali_info_arg &arg, float &out) {
    char16_t buf[number_buffer_size];
    const auto value = read_value(ini, section, key, buf);
    if (!value) return ValueRead::missing;
    const auto number = text::float_field(*value);
    if (!number) {
        frame::report_bad_value(arg, key, *value);
        return ValueRead::bad;
    }
    out = *number;
    return ValueRead::ok;
}

}  // namespace ryn::devinfo
