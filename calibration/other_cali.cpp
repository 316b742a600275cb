// Calibration of the other controllers: the 5810 and 5920 controllers and
// both variants of the six-camera system. One GET and one SET serve the four
// variants; a descriptor per variant gives the device id it selects first, its
// definition file, its record layout and the messages in which it differs.
//
// The INI file has the sections "calibration" (length, version and one key per
// defined calibration value), "firmware parameter" (FW_PARAM_0000 on) and
// "sensor parameter" (SENSOR_PARAM_0000 to 0063) or, for the 5920, "system
// parameter" (SYSTEM_PARAM_0448 to 0510).
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "formats/other_cali_record.h"
#include "frame/definitions.h"
#include "frame/file_values.h"
#include "frame/other_params.h"
#include "frame/paths.h"
#include "frame/record_identity.h"
#include "frame/sink.h"
#include "platform/file.h"
#include "platform/ini_file.h"
#include "ryn_hid.h"
#include "text/checked_format.h"
#include "text/field_number.h"
#include "text/text.h"

namespace ryn::calibration {
namespace {

using Record = std::vector<uint8_t>;

struct OtherCaliVariant {
    Controller controller;
    frame::DefinitionFile definitions;
    const OtherCaliLayout &layout;
    text::format_string<> load_failure;
    text::format_string<> no_getter;
};

constexpr OtherCaliVariant kVariants[] = {
    {Controller::c5810, frame::DefinitionFile::cali_5810, cali_layout_5810,
     u"Fail to load the calibration information definition.\n",
     u"Fail to find the appropriate function.\n"},
    {Controller::c5920, frame::DefinitionFile::cali_5920, cali_layout_5920,
     u"Fail to load the calibrationinformation definition.\n",
     u"Fail to find the appropriate function.\n"},
    {Controller::sixcam_4320, frame::DefinitionFile::cali_6cam_4320, cali_layout_5810,
     u"Fail to load the calibration information definition.\n",
     u"Fail to find the appropriate function.\n"},
    {Controller::sixcam_5810, frame::DefinitionFile::cali_6cam_5810, cali_layout_5810,
     u"Fail to load the calibration information definition.\n",
     u"Failed to find the appropriate function.\n"},
};

const OtherCaliVariant *variant_of(Controller controller) {
    for (const OtherCaliVariant &v : kVariants)
        if (v.controller == controller) return &v;
    return nullptr;
}

constexpr const char16_t *kCalibration = u"calibration";
constexpr const char16_t *kFirmwareParameter = u"firmware parameter";
constexpr const char16_t *kSensorParameter = u"sensor parameter";
constexpr const char16_t *kSystemParameter = u"system parameter";

// The word of a sensor or system parameter text: at most 15 lower-case letters.
constexpr size_t kWordCapacity = 16;

// A number's text in a sensor parameter: a whole INI value at most.
constexpr size_t kTokenCapacity = 256;

uint32_t entry_byte(const layout::Field &entry, std::span<const uint8_t> record, unsigned n) {
    return static_cast<uint32_t>(entry.get(record) >> (8 * n)) & 0xFF;
}

void put_entry(const layout::Field &entry, std::span<uint8_t> record, uint32_t b0, uint32_t b1,
               uint32_t b2, uint32_t b3) {
    entry.put(record, (b0 & 0xFF) | (b1 & 0xFF) << 8 | (b2 & 0xFF) << 16 | (b3 & 0xFF) << 24);
}

// The section and key of sensor or system parameter n.
const char16_t *param_section(ParamKind kind) {
    return kind == ParamKind::sensor ? kSensorParameter : kSystemParameter;
}
std::u16string param_key(ParamKind kind, size_t n) {
    const auto number = static_cast<unsigned>(n);
    return text::numbered(kind == ParamKind::sensor ? u"SENSOR_PARAM_" : u"SYSTEM_PARAM_", number, 4);
}

// --- Definitions ----------------------------------------------------------------

int load_cali_def(const OtherCaliVariant &v, const cali_info_arg &arg) {
    static const std::u16string kFixed[] = {u"length", u"version",
                                            std::u16string(frame::controller_key)};
    return frame::load_definitions(v.definitions, &arg, kFixed);
}

// --- Dump -------------------------------------------------------------------------

// A sensor parameter as "%s,cam%u,%u,%u,%u,%u", a system parameter as "%s,%u,%u,%u,%u".
std::u16string param_text(const OtherCaliLayout &l, std::span<const uint8_t> record, size_t n) {
    const layout::Field entry = l.params.at(n);
    const uint32_t b0 = entry_byte(entry, record, 0);
    const uint32_t b1 = entry_byte(entry, record, 1), b2 = entry_byte(entry, record, 2),
                   b3 = entry_byte(entry, record, 3);
    if (l.param_kind == ParamKind::sensor) {
        const char16_t *word = (b0 & sensor_param::enabled) ? u"enable" : u"disable";
        return text::format_checked(u"%s,cam%u,%u,%u,%u,%u", word,
                                    (b0 >> sensor_param::camera_shift) & sensor_param::camera_mask,
                                    (b0 >> sensor_param::value_shift) & sensor_param::value_mask,
                                    b1, b2, b3);
    }
    return frame::system_param_text(static_cast<uint32_t>(entry.get(record)));
}

// The section whose write failed in failed_section.
int write_keys(const OtherCaliVariant &v, std::span<const uint8_t> record, platform::IniFile &ini,
               const char16_t *&failed_section) {
    const OtherCaliLayout &l = v.layout;
    // Length and version.
    if (!ini.set(kCalibration, u"length",
                 text::format_checked(u"%u", static_cast<unsigned>(l.length.get(record)))) ||
        !ini.set(kCalibration, u"version",
                 text::format_checked(u"%u", static_cast<unsigned>(l.version.get(record))))) {
        failed_section = kCalibration;
        return 0;
    }
    // Every defined value under its name; a failed write is passed over.
    const frame::DefinitionTable &table = frame::definition_table(v.definitions);
    for (size_t n = 0; n < table.size() && n < l.values.count; ++n) {
        if (!table[n].present) continue;
        const uint64_t raw = l.values.at(n).get(record);
        const std::u16string value =
            l.float_values
                ? text::float_text(std::bit_cast<float>(static_cast<uint32_t>(raw)))
                : text::format_checked(u"%d", static_cast<int>(raw));
        ini.set(kCalibration, table[n].name_view(), value);
    }
    // The controller the record was read from, which a SET checks.
    if (!ini.set(kCalibration, frame::controller_key, frame::controller_key_value(v.controller)))
        return 0;
    // Every firmware parameter, numbered from 0.
    for (size_t n = 0; n < l.fw_params.count; ++n) {
        if (!ini.set(
                kFirmwareParameter,
                text::numbered(u"FW_PARAM_", static_cast<unsigned>(n), 4),
                text::numbered(u"", static_cast<unsigned>(l.fw_params.at(n).get(record))))) {
            failed_section = kFirmwareParameter;
            return 0;
        }
    }
    // The sensor parameters, or the system parameters of the 5920.
    for (size_t n = l.first_exchanged; n < l.first_exchanged + l.exchanged; ++n) {
        if (!ini.set(param_section(l.param_kind), param_key(l.param_kind, n),
                     param_text(l, record, n))) {
            failed_section = param_section(l.param_kind);
            return 0;
        }
    }
    return 1;
}

// The record into the INI file. The keys written before a failed write stay
// in the file, as they would with the host's one-key-at-a-time writes. A
// failure names the file, and the section it was writing when a key could
// not be set.
int dump_cali_info(const OtherCaliVariant &v, const cali_info_arg &arg,
                   std::span<const uint8_t> record, platform::IniFile &ini,
                   const std::u16string &path) {
    const char16_t *failed_section = kCalibration;
    const int written = write_keys(v, record, ini, failed_section);
    const bool committed = ini.commit();
    if (!written)
        frame::report(arg, u"Fail to write the section [%s] of the file [%s].\n", failed_section,
                      path.c_str());
    else if (!committed)
        frame::report(arg, u"Fail to write the file [%s].\n", path.c_str());
    return written && committed ? 1 : 0;
}

// --- Parse ------------------------------------------------------------------------

// Sensor parameter n from "%[a-z],cam%u,%u,%u,%u,%u" (word "enable" sets the
// enabled bit; camera of 3 bits, value of 4, three bytes), or system parameter
// n from "%[a-z],%u,%u,%u,%u" (any word but "enable" sets the disabled bit).
// 0 when the key is missing or empty, when the value is not of that form, or
// when a number does not fit its bits (reported with the value).
int parse_param(const cali_info_arg &arg, const platform::IniFile &ini, ParamKind kind, size_t n,
                const layout::Field &entry, std::span<uint8_t> record) {
    const std::u16string key = param_key(kind, n);
    const std::u16string value = ini.get(param_section(kind), key);
    if (value.empty()) return 0;
    if (kind == ParamKind::system) {
        uint32_t parsed = 0;
        if (!frame::parse_system_param(arg, key, value, parsed)) return 0;
        entry.put(record, parsed);
        return 1;
    }
    char16_t word[kWordCapacity] = {};
    char16_t t[5][kTokenCapacity] = {};
    if (text::scan(value, u"%[a-z],cam%[^,],%[^,],%[^,],%[^,],%[^\n]", word, kWordCapacity, t[0],
                   kTokenCapacity, t[1], kTokenCapacity, t[2], kTokenCapacity, t[3],
                   kTokenCapacity, t[4], kTokenCapacity) != 6)
        return 0;
    uint32_t f[5] = {};
    if (!frame::read_numbers(arg, key, value,
                             {{t[0], text::decimal_field(3)},
                              {t[1], text::decimal_field(4)},
                              {t[2], text::decimal_field(8)},
                              {t[3], text::decimal_field(8)},
                              {t[4], text::decimal_field(8)}},
                             f))
        return 0;
    const bool enable = std::u16string_view(word) == u"enable";
    const uint32_t b0 = (enable ? sensor_param::enabled : 0) | f[0] << sensor_param::camera_shift |
                        f[1] << sensor_param::value_shift;
    put_entry(entry, record, b0, f[2], f[3], f[4]);
    return 1;
}

// The file's values over the device's record. Length and version are never
// read back: the record keeps the device's. A value that is no number or does
// not fit its field fails the parse.
int parse_cali_info(const OtherCaliVariant &v, const cali_info_arg &arg, const std::u16string &path,
                    std::span<uint8_t> record) {
    const OtherCaliLayout &l = v.layout;
    const platform::IniFile ini(path);
    // A file that exists but cannot be read would leave every value missing,
    // and the device's own values would go back as the file's.
    if (ini.read_failed()) {
        frame::report(arg, u"\nFail to open the file [%s]\n", path.c_str());
        return 0;
    }

    // The defined calibration values; a missing one keeps the device's value.
    const frame::DefinitionTable &table = frame::definition_table(v.definitions);
    for (size_t n = 0; n < table.size() && n < l.values.count; ++n) {
        if (!table[n].present) continue;
        const std::u16string value = ini.get(kCalibration, table[n].name_view());
        if (value.empty()) {
            frame::report(arg, u"[Warning] Missing %s.\n", table[n].name);
            continue;
        }
        std::optional<uint32_t> number;
        if (!l.float_values)
            number = text::integer_field(value, text::prefixed_field(16));
        else if (const auto f = text::float_field(value))
            number = std::bit_cast<uint32_t>(*f);
        if (!number) {
            frame::report_bad_value(arg, table[n].name_view(), value);
            return 0;
        }
        l.values.at(n).put(record, *number);
    }

    // The firmware parameters, by line scanning.
    if (!frame::parse_fw_param_lines(arg, path, u"\nFail to open the file [%s]\n", l.fw_params,
                                     record)) {
        frame::report(arg, u"Failed to parse FW param\n");
        return 0;
    }

    // The sensor parameters, or the system parameters of the 5920.
    for (size_t n = l.first_exchanged; n < l.first_exchanged + l.exchanged; ++n) {
        if (parse_param(arg, ini, l.param_kind, n, l.params.at(n), record)) continue;
        if (l.param_kind == ParamKind::sensor)
            frame::report(arg, u"Failed to parse sensor param\n");
        else
            frame::report(arg, u"Failed to parse system param\n");
        return 0;
    }
    return 1;
}

// --- Device -----------------------------------------------------------------------

// The start that a GET and a SET share: select the device, load
// the definitions, read the device's record.
int read_cali_record(const OtherCaliVariant &v, cali_info_arg &arg, std::span<uint8_t> record) {
    if (!frame::select_6cam_device(arg, v.controller, arg.flags)) return 0;
    frame::progress(arg, 1);
    if (!load_cali_def(v, arg)) {
        frame::report(arg, v.load_failure);
        return 0;
    }
    frame::progress(arg, 2);
    ryn_record_reader getter = ryn_get_cali_info_fn(arg.handle);
    if (!getter) {
        frame::report(arg, v.no_getter);
        frame::report(arg, u"Failed to get cali info.\n");
        return 0;
    }
    if (!getter(arg.handle, record.data())) {
        frame::report(arg, u"Fail to get the calibration information.\n");
        frame::report(arg, u"Failed to get cali info.\n");
        return 0;
    }
    frame::progress(arg, 3);
    return 1;
}

}  // namespace

int get_cali_info_other(cali_info_arg &arg, const std::u16string &path, Controller controller) {
    const OtherCaliVariant *v = variant_of(controller);
    if (!v) return 0;
    Record record(OtherCaliLayout::size, 0);
    if (!read_cali_record(*v, arg, record)) return 0;
    platform::IniFile ini(path);
    if (!frame::check_get_target(arg, ini, path, frame::InfoRequest::calibration)) return 0;
    if (!dump_cali_info(*v, arg, record, ini, path)) {
        frame::report(arg, u"Failed to dump cali info.\n");
        return 0;
    }
    return 1;
}

int set_cali_info_other(cali_info_arg &arg, const std::u16string &path, Controller controller) {
    const OtherCaliVariant *v = variant_of(controller);
    if (!v) return 0;
    Record record(OtherCaliLayout::size, 0);
    if (!read_cali_record(*v, arg, record)) return 0;
    // A file of another controller, or one that also holds a model
    // configuration, is refused before anything of it is read.
    {
        const platform::IniFile ini(path);
        const auto length = static_cast<uint32_t>(v->layout.length.get(record));
        const auto version = static_cast<uint32_t>(v->layout.version.get(record));
        if (!frame::check_record_identity(
                arg, ini, path,
                {frame::InfoRequest::calibration, controller, length, version, length, version}) ||
            !frame::check_set_source(arg, ini, path))
            return 0;
    }
    if (!parse_cali_info(*v, arg, path, record)) {
        frame::report(arg, u"Failed to parse the input file\n");
        return 0;
    }
    frame::progress(arg, 4);
    ryn_record_writer setter = ryn_set_cali_info_fn(arg.handle);
    if (!setter) {
        frame::report(arg, u"Fail to find the appropriate function.\n");
        frame::report(arg, u"Fail to set the calibration information.\n");
        return 0;
    }
    if (!setter(arg.handle, record.data())) {
        frame::report(arg, u"Fail to set the calibration information.\n");
        return 0;
    }
    return 1;
}

}  // namespace ryn::calibration
