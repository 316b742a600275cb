// Model-configuration GET and SET of the base controller: the device's record
// to and from the INI sections "model configuration", "sensor dsp" and
// "algorithm parameter".
#include <bit>
#include <string>

#include "devinfo/ini_values.h"
#include "devinfo/base_model_cfg.h"
#include "devinfo/model_cfg_sections.h"
#include "frame/definitions.h"
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
};
constexpr NumberKey kNumbers[] = {
    {u"led_async", R::led_async, 0x100},           {u"led_delay_us", R::led_delay_us, 0x100},
    {u"update_refresh", R::update_refresh, 0x100}, {u"resolutionX", R::resolution_x, 0x100},
    {u"resolutionY", R::resolution_y, 0x100},      {u"physicalX", R::physical_x, 0x101},
    {u"physicalY", R::physical_y, 0x101},
};

std::u16string sensor_key(size_t camera, const SensorSetting &setting) {
    return u"cam" + text::format_checked(u"%u", static_cast<unsigned>(camera)) + u"_" +
           std::u16string(setting.name);
}

float slot(std::span<const uint8_t> block, size_t n) {
    return std::bit_cast<float>(static_cast<uint32_t>(AlgoBlock::value(n).get(block)));
}
void set_slot(std::span<uint8_t> block, size_t n, float value) {
    AlgoBlock::value(n).put(block, std::bit_cast<uint32_t>(value));
}

// --- GET ------------------------------------------------------------------

// Section "model configuration"; false at the first write that fails.
bool dump_model_configuration(IniFile &ini, std::span<const uint8_t> host) {
    const uint16_t version = R::version(host);
    if (!dump_model_cfg_head(
            ini, host,
            {.bcd_device = version >= kBcdDeviceSince, .strings = version >= kStringsSince}))
        return false;
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
// device's value. All keys are read whatever the record version.
int parse_model_configuration(const IniFile &ini, std::span<uint8_t> host, const cali_info_arg &arg,
                              const std::u16string &path) {
    if (!parse_model_cfg_head(ini, host, arg, path, u"file %s can not miss VID.\n")) return 0;
    for (const NumberKey &k : kNumbers) {
        if (const auto value = read_number(ini, kModelSection, k.key))
            k.field.put(host, *value);
        else
            frame::report(arg, u"[Warning] Missing %s.\n", k.key);
    }
    return 1;
}

// Section "sensor dsp": replaces all settings; a missing or unreadable key
// leaves its setting disabled with value 0.
void parse_sensor_dsp(const IniFile &ini, std::span<uint8_t> host, const cali_info_arg &arg) {
    CameraSettings settings{};
    for (size_t j = 0; j < std::size(kSensorSettings); ++j) {
        for (size_t camera = 0; camera < kSensorCameras; ++camera) {
            const std::u16string key = sensor_key(camera, kSensorSettings[j]);
            char16_t value[number_buffer_size];
            const size_t n = ini.get(kSensorSection, key, value, std::size(value));
            char16_t word[16] = {};
            unsigned number = 0;
            if (n == 0 || text::scan(std::u16string_view(value, n), u"%[a-z],%u", word,
                                     std::size(word), &number) != 2) {
                frame::report(arg, u"[Warning] Missing %s.\n", key.c_str());
                continue;
            }
            settings[camera][j] = {std::u16string_view(word) == u"enable" ? 1u : 0u, number};
        }
    }
    pack_sensor_dsp(settings, host);
}

// Section "algorithm parameter": the three header keys are required; a
// missing parameter keeps the device's value.
int parse_algorithm_parameter(const IniFile &ini, std::span<uint8_t> host, const cali_info_arg &arg,
                              const DefinitionTable &definitions) {
    const auto block = R::algo_block.bytes(host);
    if (!parse_algo_header(ini, block, arg)) return 0;
    for (size_t n = 0; n < AlgoBlock::host_slots && n < definitions.size(); ++n) {
        const frame::DefinitionEntry &e = definitions[n];
        if (!e.present) continue;
        if (const auto value = read_float(ini, kAlgoSection, e.name_view()))
            set_slot(block, n, *value);
        else
            frame::report(arg, u"[Warning] Missing %s.\n", e.name);
    }
    return 1;
}

// Steps 1 to 5 of both requests: the definition file and the device's record.
int load_and_read(cali_info_arg &arg, ModelCfgBuffer &host) {
    frame::progress(arg, 1);
    if (!frame::load_definitions(DefinitionFile::algo_base, nullptr)) {
        frame::report(arg, u"Fail to load the model configuration definition.\n");
        return 0;
    }
    frame::progress(arg, 2);
    if (!read_model_cfg(arg.handle, host, frame::definition_table(DefinitionFile::algo_base))) {
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
    // A failed write ends the dump without a message; the keys written before
    // it stay in the file.
    IniFile ini(path);
    const bool dumped =
        dump_sections(ini, host, frame::definition_table(DefinitionFile::algo_base));
    const bool committed = ini.commit();
    return dumped && committed ? 1 : 0;
}

int set_model_cfg_base(cali_info_arg &arg, const std::u16string &path, Controller) {
    ModelCfgBuffer host{};
    if (!load_and_read(arg, host)) return 0;
    const DefinitionTable &definitions = frame::definition_table(DefinitionFile::algo_base);
    const IniFile ini(path);
    if (!parse_model_configuration(ini, host, arg, path)) return 0;
    parse_sensor_dsp(ini, host, arg);
    if (!parse_algorithm_parameter(ini, host, arg, definitions)) return 0;
    frame::progress(arg, 4);
    ryn_set_sensor_ctrl(arg.handle, 0);
    if (!write_model_cfg(arg.handle, host, definitions)) {
        frame::report(arg, u"Fail to set the model configuration.\n");
        return 0;
    }
    return 1;
}

}  // namespace ryn::devinfo
