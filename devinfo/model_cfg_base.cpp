// Model-configuration GET and SET of the base controller: the device's record
// to and from the INI sections "model configuration", "sensor dsp" and
// "algorithm parameter".
#include <bit>
#include <string>

#include "devinfo/ini_values.h"
#include "devinfo/base_model_cfg.h"
#include "devinfo/model_cfg_sections.h"
#include "frame/definitions.h"
#include "frame/file_values.h"
#include "frame/paths.h"
#include "frame/sink.h"
#include "platform/ini_file.h"
#include "ryn_hid.h"
#include "text/checked_format.h"
#include "text/text.h"

namespace ryn::devinfo {
namespace {

using platform::IniFile;
using R = ModelCfgRecord;
using frame::DefinitionFile;
using frame::DefinitionTable;

constexpr std::u16string_view kSensorSection = u"sensor dsp";

// Keys of section "model configuration" and the record versions that hold them.
constexpr uint16_t kStringsSince = 0x101;
constexpr uint16_t kBcdDeviceSince = 0x102;

struct NumberKey {
    const char16_t *key;
    layout::Field field;
    uint16_t since;  // first record version that holds it
    text::format_string<> missing;
};
constexpr NumberKey kNumbers[] = {
    {u"led_async", R::led_async, 0x100, u"[Warning] Missing led_async.\n"},
    {u"led_delay_us", R::led_delay_us, 0x100, u"[Warning] Missing led_delay_us.\n"},
    {u"update_refresh", R::update_refresh, 0x100, u"[Warning] Missing update_refresh.\n"},
    {u"resolutionX", R::resolution_x, 0x100, u"[Warning] Missing resolutionX.\n"},
    {u"resolutionY", R::resolution_y, 0x100, u"[Warning] Missing resolutionY.\n"},
    {u"physicalX", R::physical_x, 0x101, u"[Warning] Missing physicalX.\n"},
    {u"physicalY", R::physical_y, 0x101, u"[Warning] Missing physicalY.\n"},
};

// A sensor setting's value goes into the entry's value byte.
constexpr text::IntegerField kSensorValue = text::decimal_field(8);

std::u16string sensor_key(size_t camera, const SensorSetting &setting) {
    return text::numbered(u"cam", static_cast<unsigned>(camera)).append(u"_").append(setting.name);
}

float slot(std::span<const uint8_t> block, size_t n) {
    return std::bit_cast<float>(static_cast<uint32_t>(AlgoBlock::value(n).get(block)));
}

// --- GET ------------------------------------------------------------------

// The head keys a record version holds.
HeadKeys head_keys(std::span<const uint8_t> host) {
    const uint16_t version = R::version(host);
    return {.bcd_device = version >= kBcdDeviceSince, .strings = version >= kStringsSince};
}

// Section "model configuration"; false at the first write that fails.
bool dump_model_configuration(IniFile &ini, std::span<const uint8_t> host) {
    const uint16_t version = R::version(host);
    if (!dump_model_cfg_head(ini, host, head_keys(host))) return false;
    for (const NumberKey &n : kNumbers)
        if (version >= n.since && !ini.set(kModelSection, n.key, decimal(n.field.get(host))))
            return false;
    return true;
}

// Section "sensor dsp": 33 keys "cam<c>_<setting>" = "enable,<value>" or "disable,<value>".
bool dump_sensor_dsp(IniFile &ini, std::span<const uint8_t> host) {
    const CameraSettings settings = unpack_sensor_dsp(host);
    for (size_t j = 0; j < std::size(kSensorSettings); ++j) {
        for (size_t camera = 0; camera < kSensorCameras; ++camera) {
            const CameraSetting &s = settings[camera][j];
            const std::u16string value =
                text::format_checked(u"%s,%u", s.enable ? u"enable" : u"disable", s.value);
            if (!ini.set(kSensorSection, sensor_key(camera, kSensorSettings[j]), value))
                return false;
        }
    }
    return true;
}

// Section "algorithm parameter": the block header, then every parameter the
// definition file names and the record holds.
bool dump_algorithm_parameter(IniFile &ini, std::span<const uint8_t> host,
                              const DefinitionTable &definitions) {
    const auto block = R::algo_block.bytes(host);
    if (!dump_algo_header(ini, block)) return false;
    for (size_t n = 0; n < AlgoBlock::host_slots && n < definitions.size(); ++n) {
        const frame::DefinitionEntry &e = definitions[n];
        if (e.present && e.valid) write_float(ini, kAlgoSection, e.name_view(), slot(block, n));
    }
    return true;
}

// GET steps 6 to 9.
bool dump_sections(IniFile &ini, std::span<const uint8_t> host,
                   const DefinitionTable &definitions) {
    if (!dump_model_configuration(ini, host)) return false;
    if (!dump_sensor_dsp(ini, host)) return false;
    if (AlgoBlock::version(R::algo_block.bytes(host)) < 0x101) return true;
    return dump_algorithm_parameter(ini, host, definitions);
}

// --- SET ------------------------------------------------------------------

// Section "model configuration" over the device's values. vid and pid are
// required; a missing string clears its field; a missing number keeps the
// device's value; a number that is no number or does not fit its field fails.
// All keys are read whatever the record version.
int parse_model_configuration(const IniFile &ini, std::span<uint8_t> host, const cali_info_arg &arg,
                              const std::u16string &path) {
    if (!parse_model_cfg_head(ini, host, arg, path, u"file %s can not miss VID.\n")) return 0;
    for (const NumberKey &k : kNumbers) {
        uint32_t value = 0;
        switch (read_number(ini, kModelSection, k.key,
                            text::prefixed_field(static_cast<unsigned>(8 * k.field.width)), arg,
                            value)) {
            case ValueRead::ok:
                k.field.put(host, value);
                break;
            case ValueRead::missing:
                frame::report(arg, k.missing);
                break;
            case ValueRead::bad:
                return 0;
        }
    }
    return 1;
}

// Section "sensor dsp": replaces all settings; a missing key, or one that is
// not "word,number", leaves its setting disabled with value 0. A number that
// does not fit the entry's value byte fails the parse.
int parse_sensor_dsp(const IniFile &ini, std::span<uint8_t> host, const cali_info_arg &arg) {
    CameraSettings settings{};
    for (size_t j = 0; j < std::size(kSensorSettings); ++j) {
        for (size_t camera = 0; camera < kSensorCameras; ++camera) {
            const std::u16string key = sensor_key(camera, kSensorSettings[j]);
            char16_t value[number_buffer_size];
            const size_t n = ini.get(kSensorSection, key, value, std::size(value));
            char16_t word[16] = {}, number[number_buffer_size] = {};
            if (n == 0 || text::scan(std::u16string_view(value, n), u"%[a-z],%[^,]", word,
                                     std::size(word), number, std::size(number)) != 2) {
                frame::report(arg, u"[Warning] Missing %s.\n", key.c_str());
                continue;
            }
            const auto parsed = text::integer_field(number, kSensorValue);
            if (!parsed) {
                frame::report_bad_value(arg, key, std::u16string_view(value, n));
                return 0;
            }
            settings[camera][j] = {std::u16string_view(word) == u"enable" ? 1u : 0u, *parsed};
        }
    }
    pack_sensor_dsp(settings, host);
    return 1;
}

// Section "algorithm parameter": the three header keys are required; a
// missing parameter keeps the device's value. A record without an algorithm
// block (version 0x100, or a block older than 0x101) has nothing for the
// section, and GET writes none: a file without it keeps the record's block.
int parse_algorithm_parameter(const IniFile &ini, std::span<uint8_t> host, const cali_info_arg &arg,
                              const DefinitionTable &definitions) {
    const auto block = R::algo_block.bytes(host);
    if (AlgoBlock::version(block) < 0x101 && !ini.has_section(kAlgoSection)) return 1;
    if (!parse_algo_header(ini, block, arg)) return 0;
    return parse_algo_slots(ini, definitions, AlgoBlock::host_slots, std::nullopt, arg,
                            [&](size_t n, uint32_t bits) { AlgoBlock::value(n).put(block, bits); });
}

// Steps 1 to 5 of both requests: the definition file and the device's record.
int load_and_read(cali_info_arg &arg, ModelCfgBuffer &host, DeviceCfgBuffer *as_read = nullptr) {
    frame::progress(arg, 1);
    if (!frame::load_definitions(DefinitionFile::algo_base, &arg)) {
        frame::report(arg, u"Fail to load the model configuration definition.\n");
        return 0;
    }
    frame::progress(arg, 2);
    if (!read_model_cfg(arg, host, frame::definition_table(DefinitionFile::algo_base),
                        as_read)) {
        frame::report(arg, u"Fail to get the model configuration.\n");
        return 0;
    }
    frame::progress(arg, 3);
    return 1;
}

}  // namespace

int get_model_cfg_base(cali_info_arg &arg, const std::u16string &path, Controller) {
    ModelCfgBuffer host{};
    if (!load_and_read(arg, host)) return 0;
    // A device string the file cannot hold fails the request before anything
    // is written. A failed write ends the dump, naming the file; the keys
    // written before it stay in the file.
    if (!head_strings_writable(host, head_keys(host), arg)) return 0;
    IniFile ini(path);
    const bool dumped =
        dump_sections(ini, host, frame::definition_table(DefinitionFile::algo_base));
    const bool committed = ini.commit();
    if (!dumped || !committed) {
        frame::report(arg, u"Fail to write the file [%s].\n", path.c_str());
        return 0;
    }
    return 1;
}

int set_model_cfg_base(cali_info_arg &arg, const std::u16string &path, Controller) {
    ModelCfgBuffer host{};
    DeviceCfgBuffer as_read{};
    if (!load_and_read(arg, host, &as_read)) return 0;
    const DefinitionTable &definitions = frame::definition_table(DefinitionFile::algo_base);
    const IniFile ini(path);
    // A file that exists but cannot be read is not taken for one without keys.
    if (ini.read_failed()) {
        frame::report(arg, u"Fail to open the file [%s]\n", path.c_str());
        return 0;
    }
    if (!parse_model_configuration(ini, host, arg, path)) return 0;
    if (!parse_sensor_dsp(ini, host, arg)) return 0;
    if (!parse_algorithm_parameter(ini, host, arg, definitions)) return 0;
    frame::progress(arg, 4);
    ryn_set_sensor_ctrl(arg.handle, 0);
    if (!write_model_cfg(arg, host, definitions, &as_read)) {
        frame::report(arg, u"Fail to set the model configuration.\n");
        return 0;
    }
    return 1;
}

}  // namespace ryn::devinfo
