#include "frame/other_params.h"

#include <optional>
#include <vector>

#include "frame/file_values.h"
#include "frame/sink.h"
#include "platform/file.h"
#include "ryn_hid.h"
#include "text/checked_format.h"
#include "text/text.h"

namespace ryn::frame {
namespace {

constexpr uint32_t kDisabled = 0x01;  // byte 0, bit 0 of a system parameter
constexpr unsigned kValueShift = 1;   // byte 0, bits 1 to 7
constexpr size_t kWordCapacity = 16;  // at most 15 letters and the terminator
constexpr size_t kTokenCapacity = 256;  // a number's text: a whole INI value at most

}  // namespace

int select_6cam_device(const cali_info_arg &arg, Controller controller, uint32_t flags) {
    if (controller == Controller::sixcam_4320) return select_6cam_dev_id(arg, 255);
    if (controller == Controller::sixcam_5810)
        return select_6cam_dev_id(arg, (flags & RYN_FLAG_6CAM_DEV1) ? 1 : 2);
    return 1;
}

namespace {

bool is_blank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view trim_blanks(std::u16string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// A firmware parameter line "FW_PARAM_<n>=<value>" read as an INI line: the
// name matched without regard to case, blanks around the name, "=" and the
// value trimmed. Nothing for any other line.
struct FwParamLine {
    unsigned number;
    std::u16string_view value;
};
std::optional<FwParamLine> fw_param_line(std::u16string_view line) {
    static constexpr std::u16string_view kPrefix = u"FW_PARAM_";
    line = trim_blanks(line);
    if (line.size() < kPrefix.size()) return std::nullopt;
    for (size_t i = 0; i < kPrefix.size(); ++i) {
        const char16_t c = line[i] >= u'a' && line[i] <= u'z' ? line[i] - (u'a' - u'A') : line[i];
        if (c != kPrefix[i]) return std::nullopt;
    }
    line.remove_prefix(kPrefix.size());
    // The number: one to four digits, as "%04u" reads it.
    unsigned number = 0;
    size_t digits = 0;
    while (digits < line.size() && digits < 4 && line[digits] >= u'0' && line[digits] <= u'9')
        number = number * 10 + (line[digits++] - u'0');
    if (digits == 0) return std::nullopt;
    line = trim_blanks(line.substr(digits));
    if (line.empty() || line.front() != u'=') return std::nullopt;
    return FwParamLine{number, trim_blanks(line.substr(1))};
}

}  // namespace

int parse_fw_param_lines(const cali_info_arg &arg, const std::u16string &path,
                         text::format_string<const char16_t *> open_failure,
                         const layout::Array &fw_params, std::span<uint8_t> record) {
    auto reader = platform::TextReader::open(path, platform::TextMode::Ansi);
    if (!reader) {
        report(arg, open_failure, path.c_str());
        return 0;
    }
    const text::IntegerField field{
        .bits = static_cast<unsigned>(8 * fw_params.width), .base = 10, .negatives = true};
    // The whole text, so that a line longer than one read, or lines ended by
    // CR alone, are taken as the lines they are.
    std::u16string text, piece;
    while (reader->read_line(piece)) text += piece;
    std::vector<bool> seen(fw_params.count, false);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of(u"\r\n", at);
        if (end == std::u16string::npos) end = text.size();
        const std::u16string_view line(text.data() + at, end - at);
        at = end + 1;
        const auto param = fw_param_line(line);
        // As for every other key, the first line of a parameter wins.
        if (!param || param->number >= fw_params.count || seen[param->number]) continue;
        seen[param->number] = true;
        uint32_t bits = 0;
        if (!read_numbers(arg, text::numbered(u"FW_PARAM_", param->number, 4), param->value,
                          {{param->value, field}}, &bits))
            return 0;
        fw_params.at(param->number).put(record, bits);
    }
    return 1;
}

std::u16string system_param_text(uint32_t entry) {
    const uint32_t b0 = entry & 0xFF;
    return text::format_checked(u"%s,%u,%u,%u,%u", (b0 & kDisabled) ? u"disable" : u"enable",
                                b0 >> kValueShift, (entry >> 8) & 0xFF, (entry >> 16) & 0xFF,
                                entry >> 24);
}

bool parse_system_param(const cali_info_arg &arg, std::u16string_view key, std::u16string_view value,
                        uint32_t &entry) {
    char16_t word[kWordCapacity] = {};
    char16_t t[4][kTokenCapacity] = {};
    if (text::scan(value, u"%[a-z],%[^,],%[^,],%[^,],%[^\n]", word, kWordCapacity, t[0],
                   kTokenCapacity, t[1], kTokenCapacity, t[2], kTokenCapacity, t[3],
                   kTokenCapacity) != 5)
        return false;
    uint32_t n[4] = {};
    if (!read_numbers(arg, key, value,
                      {{t[0], text::decimal_field(7)},
                       {t[1], text::decimal_field(8)},
                       {t[2], text::decimal_field(8)},
                       {t[3], text::decimal_field(8)}},
                      n))
        return false;
    const uint32_t b0 = (std::u16string_view(word) == u"enable" ? 0 : kDisabled) | n[0] << kValueShift;
    entry = b0 | n[1] << 8 | n[2] << 16 | n[3] << 24;
    return true;
}

}  // namespace ryn::frame
