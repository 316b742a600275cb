#include "frame/other_params.h"

#include "frame/sink.h"
#include "platform/file.h"
#include "ryn_hid.h"
#include "text/text.h"

namespace ryn::frame {
namespace {

constexpr uint32_t kDisabled = 0x01;  // byte 0, bit 0 of a system parameter
constexpr unsigned kValueShift = 1;   // byte 0, bits 1 to 7
constexpr size_t kWordCapacity = 16;  // at most 15 letters and the terminator

}  // namespace

int select_6cam_device(const cali_info_arg &arg, Controller controller, uint32_t flags) {
    if (controller == Controller::sixcam_4320) return select_6cam_dev_id(arg, 255);
    if (controller == Controller::sixcam_5810)
        return select_6cam_dev_id(arg, (flags & RYN_FLAG_6CAM_DEV1) ? 1 : 2);
    return 1;
}

int parse_fw_param_lines(const cali_info_arg &arg, const std::u16string &path,
                         text::format_string<const char16_t *> open_failure,
                         const layout::Array &fw_params, std::span<uint8_t> record) {
    auto reader = platform::TextReader::open(path, platform::TextMode::Ansi);
    if (!reader) {
        report(arg, open_failure, path.c_str());
        return 0;
    }
    std::u16string line;
    while (reader->read_line(line)) {
        unsigned number = 0;
        int value = 0;
        if (text::scan(line, u"FW_PARAM_%04u=%d", &number, &value) != 2) continue;
        if (number >= fw_params.count) continue;
        const auto bits = static_cast<uint32_t>(value);
        fw_params.at(number).put(record, fw_params.width == 2 ? bits & 0xFFFF : bits);
    }
    return 1;
}

std::u16string system_param_text(uint32_t entry) {
    const uint32_t b0 = entry & 0xFF;
    return text::format_checked(u"%s,%u,%u,%u,%u", (b0 & kDisabled) ? u"disable" : u"enable",
                                b0 >> kValueShift, (entry >> 8) & 0xFF, (entry >> 16) & 0xFF,
                                entry >> 24);
}

bool parse_system_param(std::u16string_view value, uint32_t &entry) {
    char16_t word[kWordCapacity] = {};
    unsigned first = 0, b1 = 0, b2 = 0, b3 = 0;
    if (text::scan(value, u"%[a-z],%u,%u,%u,%u", word, kWordCapacity, &first, &b1, &b2, &b3) != 5)
        return false;
    const uint32_t b0 =
        (std::u16string_view(word) == u"enable" ? 0 : kDisabled) | ((first << kValueShift) & 0xFF);
    entry = b0 | (b1 & 0xFF) << 8 | (b2 & 0xFF) << 16 | (b3 & 0xFF) << 24;
    return true;
}

}  // namespace ryn::frame
