#include "devinfo/model_cfg_sections.h"

#include <bit>

#include "formats/algo_block.h"
#include "devinfo/ini_values.h"
#include "formats/model_cfg_record.h"
#include "frame/file_values.h"
#include "frame/sink.h"
#include "text/text.h"

namespace ryn::devinfo {
namespace {

using R = ModelCfgRecord;

struct StringKey {
    const char16_t *key;
    layout::Field field;
    text::format_string<> missing;
};
constexpr StringKey kStrings[] = {
    {u"model_name", R::model_name, u"[Warning] Missing model_name.\n"},
    {u"bar_code", R::bar_code, u"[Warning] Missing bar_code.\n"},
    {u"manufacturer", R::manufacturer, u"[Warning] Missing manufacturer.\n"},
    {u"product_type", R::product_type, u"[Warning] Missing product_type.\n"},
    {u"serial_num", R::serial_num, u"[Warning] Missing serial_num.\n"}};

constexpr text::IntegerField kU8 = text::prefixed_field(8);
constexpr text::IntegerField kU16 = text::prefixed_field(16);

}  // namespace

const std::vector<std::u16string> &algo_header_keys() {
    static const std::vector<std::u16string> keys = {u"length", u"major_version", u"minor_version"};
    return keys;
}

std::u16string hex2(uint64_t value) {
    return text::format_checked(u"0x%0*x", 2, static_cast<unsigned>(value));
}

std::u16string decimal(uint64_t value) {
    return text::numbered(u"", static_cast<unsigned>(value));
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
            // In double quotes when a read would change the string (blanks at
            // its ends, matching outer quotes), so the SET of this file gives
            // the device the same string back.
            if (!put(s.key, platform::IniFile::stored_form(
                                layout::utf16_field(record, s.field).substr(0, R::string_max))))
                return false;
    }
    return true;
}

bool head_strings_writable(std::span<const uint8_t> record, HeadKeys keys, const cali_info_arg &arg) {
    if (!keys.strings) return true;
    for (const StringKey &s : kStrings)
        if (!writable_text(s.key, layout::utf16_field(record, s.field).substr(0, R::string_max), arg))
            return false;
    return true;
}

int parse_model_cfg_head(const platform::IniFile &ini, std::span<uint8_t> record,
                         const cali_info_arg &arg, const std::u16string &path,
                         text::format_string<const char16_t *> vid_refusal) {
    uint32_t value = 0;
    // vid and pid, required.
    switch (read_number(ini, kModelSection, u"vid", kU16, arg, value)) {
        case ValueRead::missing:
            frame::report(arg, u"[Warning] Missing vid.\n");
            frame::report(arg, vid_refusal, path.c_str());
            return 0;
        case ValueRead::bad:
            return 0;
        case ValueRead::ok:
            R::vid.put(record, value);
    }
    switch (read_number(ini, kModelSection, u"pid", kU16, arg, value)) {
        case ValueRead::missing:
            frame::report(arg, u"[Warning] Missing pid.\n");
            frame::report(arg, u"file %s can not miss PID.\n", path.c_str());
            return 0;
        case ValueRead::bad:
            return 0;
        case ValueRead::ok:
            R::pid.put(record, value);
    }
    // bcdDevice; the record's value stays when it is missing.
    switch (read_number(ini, kModelSection, u"bcdDevice", kU16, arg, value)) {
        case ValueRead::missing:
            frame::report(arg, u"[Warning] Missing bcdDevice.\n");
            break;
        case ValueRead::bad:
            return 0;
        case ValueRead::ok:
            R::bcd_device.put(record, value);
    }
    // The strings, into their fields of 20 characters. A longer value
    // would not arrive as written and is refused. A string the field already
    // holds leaves the field as it is, bytes behind its terminator included.
    for (const StringKey &s : kStrings) {
        char16_t text[number_buffer_size];
        const size_t n = ini.get(kModelSection, s.key, text, std::size(text));
        const std::u16string_view value(text, n);
        if (n > R::string_max) {
            frame::report_bad_value(arg, s.key, value);
            return 0;
        }
        if (n == 0) frame::report(arg, s.missing);
        if (n > 0 && layout::utf16_field(record, s.field) == value) continue;
        layout::put_utf16_field(record, s.field, value, false);
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
    struct HeaderKey {
        const char16_t *key;
        layout::Field field;
        text::IntegerField width;
        text::format_string<> missing;
    };
    static constexpr HeaderKey kHeader[] = {
        {u"length", AlgoBlock::length, kU16, u"[Error] Missing length in ALGO_PARAM.\n"},
        {u"major_version", AlgoBlock::major, kU8, u"[Error] Missing major_version in ALGO_PARAM.\n"},
        {u"minor_version", AlgoBlock::minor, kU8, u"[Error] Missing minor_version in ALGO_PARAM.\n"},
    };
    for (const HeaderKey &h : kHeader) {
        uint32_t value = 0;
        switch (read_number(ini, kAlgoSection, h.key, h.width, arg, value)) {
            case ValueRead::missing:
                frame::report(arg, h.missing);
                return 0;
            case ValueRead::bad:
                return 0;
            case ValueRead::ok:
                h.field.put(block, value);
        }
    }
    return 1;
}

int parse_algo_slots(const platform::IniFile &ini, const frame::DefinitionTable &table,
                     size_t slots, std::optional<text::IntegerField> integer,
                     const cali_info_arg &arg, const std::function<void(size_t, uint32_t)> &store) {
    for (size_t n = 0; n < slots && n < table.size(); ++n) {
        const frame::DefinitionEntry &e = table[n];
        if (!e.present) continue;
        uint32_t bits = 0;
        float value = 0;
        const ValueRead read = integer
                                   ? read_number(ini, kAlgoSection, e.name_view(), *integer, arg, bits)
                                   : read_float(ini, kAlgoSection, e.name_view(), arg, value);
        switch (read) {
            case ValueRead::ok:
                store(n, integer ? bits : std::bit_cast<uint32_t>(value));
                break;
            case ValueRead::missing:
                frame::report(arg, u"[Warning] Missing %s.\n", e.name);
                break;
            case ValueRead::bad:
                return 0;
        }
    }
    return 1;
}

}  // namespace ryn::devinfo
