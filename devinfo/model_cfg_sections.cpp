#include "devinfo/model_cfg_sections.h"

#include "formats/algo_block.h"
#include "devinfo/ini_values.h"
#include "formats/model_cfg_record.h"
#include "frame/sink.h"

namespace ryn::devinfo {
namespace {

using R = ModelCfgRecord;

struct StringKey {
    const char16_t *key;
    layout::Field field;
};
constexpr StringKey kStrings[] = {{u"model_name", R::model_name},
                                  {u"bar_code", R::bar_code},
                                  {u"manufacturer", R::manufacturer},
                                  {u"product_type", R::product_type},
                                  {u"serial_num", R::serial_num}};

}  // namespace

std::u16string hex2(uint64_t value) {
    return text::format_checked(u"0x%0*x", 2, static_cast<unsigned>(value));
}

std::u16string decimal(uint64_t value) {
    return text::format_checked(u"%u", static_cast<unsigned>(value));
}

bool dump_model_cfg_head(platform::IniFile &ini, std::span<const uint8_t> record, HeadKeys keys) {
    auto put = [&](std::u16string_view key, const std::u16string &value) {
        return ini.set(kModelSection, key, value);
    };
    if (!put(u"length", decimal(R::length.get(record)))) return false;
    if (!put(u"major_version", hex2(R::major.get(record)))) return false;
    if (!put(u"minor_version", hex2(R::minor.get(record)))) return false;
    if (!write_hex(ini, kModelSection, u"vid", static_cast<uint32_t>(R::vid.get(record))))
        return false;
    if (!write_hex(ini, kModelSection, u"pid", static_cast<uint32_t>(R::pid.get(record))))
        return false;
    if (keys.bcd_device && !write_hex(ini, kModelSection, u"bcdDevice",
                                      static_cast<uint32_t>(R::bcd_device.get(record))))
        return false;
    if (keys.strings) {
        for (const StringKey &s : kStrings)
            if (!put(s.key, layout::utf16_field(record, s.field).substr(0, R::string_max)))
                return false;
    }
    return true;
}

int parse_model_cfg_head(const platform::IniFile &ini, std::span<uint8_t> record,
                         const cali_info_arg &arg, const std::u16string &path,
                         text::format_string<const char16_t *> vid_refusal) {
    // 1. and 2. vid and pid, required.
    const auto vid = read_number(ini, kModelSection, u"vid");
    if (!vid) {
        frame::report(arg, u"[Warning] Missing vid.\n");
        frame::report(arg, vid_refusal, path.c_str());
        return 0;
    }
    R::vid.put(record, *vid);
    const auto pid = read_number(ini, kModelSection, u"pid");
    if (!pid) {
        frame::report(arg, u"[Warning] Missing pid.\n");
        frame::report(arg, u"file %s can not miss PID.\n", path.c_str());
        return 0;
    }
    R::pid.put(record, *pid);
    // 3. bcdDevice; the record's value stays when it is missing.
    if (const auto bcd = read_number(ini, kModelSection, u"bcdDevice"))
        R::bcd_device.put(record, *bcd);
    else
        frame::report(arg, u"[Warning] Missing bcdDevice.\n");
    // 4. The strings, straight into their fields, at most 19 characters.
    for (const StringKey &s : kStrings) {
        char16_t text[R::string_chars];
        const size_t n = ini.get(kModelSection, s.key, text, std::size(text));
        layout::put_utf16_field(record, s.field, std::u16string_view(text, n));
        if (n == 0) frame::report(arg, u"[Warning] Missing %s.\n", s.key);
    }
    return 1;
}

bool dump_algo_header(platform::IniFile &ini, std::span<const uint8_t> block) {
    return ini.set(kAlgoSection, u"length", decimal(AlgoBlock::length.get(block))) &&
           ini.set(kAlgoSection, u"major_version", hex2(AlgoBlock::major.get(block))) &&
           ini.set(kAlgoSection, u"minor_version", hex2(AlgoBlock::minor.get(block)));
}

int parse_algo_header(const platform::IniFile &ini, std::span<uint8_t> block,
                      const cali_info_arg &arg) {
    const auto length = read_number(ini, kAlgoSection, u"length");
    if (!length) {
        frame::report(arg, u"[Error] Missing length in ALGO_PARAM.\n");
        return 0;
    }
    AlgoBlock::length.put(block, *length);
    const auto major = read_number(ini, kAlgoSection, u"major_version");
    if (!major) {
        frame::report(arg, u"[Error] Missing major_version in ALGO_PARAM.\n");
        return 0;
    }
    AlgoBlock::major.put(block, *major);
    const auto minor = read_number(ini, kAlgoSection, u"minor_version");
    if (!minor) {
        frame::report(arg, u"[Error] Missing minor_version in ALGO_PARAM.\n");
        return 0;
    }
    AlgoBlock::minor.put(block, *minor);
    return 1;
}

}  // namespace ryn::devinfo
