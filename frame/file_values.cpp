#include "frame/file_values.h"

#include <string>

#include "frame/sink.h"

namespace ryn::frame {

void report_bad_value(const cali_info_arg &arg, std::u16string_view key, std::u16string_view value) {
    report(arg, u"[Error] Bad value of %s: %s.\n", std::u16string(key).c_str(),
           std::u16string(value).c_str());
}

bool read_numbers(const cali_info_arg &arg, std::u16string_view key, std::u16string_view value,
                  std::initializer_list<NumberToken> tokens, uint32_t *out) {
    for (const NumberToken &t : tokens) {
        const auto number = text::integer_field(t.text, t.field);
        if (!number) {
            report_bad_value(arg, key, value);
            return false;
        }
        *out++ = *number;
    }
    return true;
}

bool read_floats(const cali_info_arg &arg, std::u16string_view key, std::u16string_view value,
                 std::initializer_list<std::u16string_view> tokens, float *out) {
    for (const std::u16string_view t : tokens) {
        const auto number = text::float_field(t);
        if (!number) {
            report_bad_value(arg, key, value);
            return false;
        }
        *out++ = *number;
    }
    return true;
}

}  // namespace ryn::frame
