// The base controller's model configuration record: the 6144-byte host form
// (which is also the device layout of version 0x103), the device forms of
// versions 0x100 to 0x102, the sensor register entries of its sensor dsp
// block and the version query of ryn_get_dev_ver. Declared once for the
// library and the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>

#include "formats/algo_block.h"
#include "formats/sensor_entry.h"
#include "formats/layout.h"

namespace ryn::devinfo {

// Host form. All numbers little-endian; strings NUL-terminated UTF-16.
struct ModelCfgRecord {
    static constexpr size_t size = 6144;
    static constexpr size_t transfer_size = 8192;  // buffer of the record reader and writer
    static constexpr size_t string_chars = 20;  // the field's characters
    // A string fills its field: one of 20 characters has no terminator, as
    // devices hold them.
    static constexpr size_t string_max = string_chars;

    static constexpr layout::Field length{"length", 0, 2};
    static constexpr layout::Field header{"header word", 0, 4};  // length, minor, major as one word
    static constexpr layout::Field minor{"minor_version", 2, 1};
    static constexpr layout::Field major{"major_version", 3, 1};
    static constexpr layout::Field vid{"vid", 4, 2};
    static constexpr layout::Field pid{"pid", 6, 2};
    static constexpr layout::Field bcd_device{"bcdDevice", 8, 2};
    static constexpr layout::Field model_name{"model_name", 10, 2 * string_chars};
    static constexpr layout::Field bar_code{"bar_code", 50, 2 * string_chars};
    static constexpr layout::Field manufacturer{"manufacturer", 90, 2 * string_chars};
    static constexpr layout::Field product_type{"product_type", 130, 2 * string_chars};
    static constexpr layout::Field serial_num{"serial_num", 170, 2 * string_chars};
    static constexpr layout::Field led_async{"led_async", 210, 1};
    static constexpr layout::Field led_delay_us{"led_delay_us", 211, 2};
    static constexpr layout::Field update_refresh{"update_refresh", 213, 1};
    static constexpr layout::Field resolution_x{"resolutionX", 214, 2};
    static constexpr layout::Field resolution_y{"resolutionY", 216, 2};
    static constexpr layout::Field physical_x{"physicalX", 218, 2};
    static constexpr layout::Field physical_y{"physicalY", 220, 2};
    static constexpr layout::Field sensor_dsp{"sensor dsp", 222, 288};
    static constexpr layout::Field algo_block{"algorithm parameter block", 1024,
                                              AlgoBlock::host_size};

    static constexpr layout::Field fields[] = {
        length,       minor,          major,        vid,          pid,        bcd_device,
        model_name,   bar_code,       manufacturer, product_type, serial_num, led_async,
        led_delay_us, update_refresh, resolution_x, resolution_y, physical_x, physical_y,
        sensor_dsp,   algo_block};
    static constexpr layout::Field strings[] = {model_name, bar_code, manufacturer, product_type,
                                                serial_num};

    // Record version: major × 256 + minor (also of a device record).
    static uint16_t version(std::span<const uint8_t> record) {
        return static_cast<uint16_t>(major.get(record) << 8 | minor.get(record));
    }
};
static_assert(layout::well_formed(ModelCfgRecord::fields, ModelCfgRecord::size));
static_assert(ModelCfgRecord::algo_block.end() == 4096);

// One of the 72 entries of the sensor dsp block (the calibration record's
// register table uses the same entries).
using SensorEntry = frame::SensorEntry;
static_assert(SensorEntry::size * SensorEntry::count == ModelCfgRecord::sensor_dsp.width);

// The per-camera settings carried by sensor dsp entries, in their fixed
// order (the order of packing and of the INI keys "cam%u_<name>").
struct SensorSetting {
    std::u16string_view name;
    uint8_t kind;  // 0 register setting, 2 flip setting
    uint8_t reg;
    uint8_t mask;
};
inline constexpr SensorSetting kSensorSettings[] = {
    {u"nf_dark", 0, 2, 0x0F},        {u"l_touch_thrd", 0, 16, 0x7F},
    {u"d_touch_thrd", 0, 17, 0x7F},  {u"d_touch_lvl", 0, 18, 0x7F},
    {u"d_erosion_lvl", 0, 19, 0xFF}, {u"d_dilation_lvl", 0, 20, 0xFF},
    {u"l_erosion_lvl", 0, 21, 0xFF}, {u"l_dilation_lvl", 0, 22, 0xFF},
    {u"filter_1_3_5", 0, 151, 0x07}, {u"m_erosion_lvl", 0, 152, 0xFF},
    {u"flip", 2, 8, 0x03},
};
inline constexpr size_t kSensorCameras = 3;
// "filter_1_3_5": filter sizes 1, 3, 5 stored as codes 0, 1, 2.
inline constexpr size_t kFilterSetting = 8;
static_assert(kSensorSettings[kFilterSetting].reg == 151);
static_assert(kSensorCameras * std::size(kSensorSettings) <= SensorEntry::count);

// Where a device record version keeps each field. A field left out (width 0)
// is one the version does not have. Version 0x103 is the host form itself.
struct ModelCfgForm {
    uint16_t version;
    size_t size;  // bytes of the device record; the write's length for 0x100 to 0x102
    layout::Field vid{}, pid{}, bcd_device{};
    layout::Field strings[5]{};  // model_name, bar_code, manufacturer, product_type, serial_num
    layout::Field led_async{}, led_delay_us{}, update_refresh{};
    layout::Field resolution_x{}, resolution_y{};  // version 0x100: 32-bit slots
    layout::Field physical_x{}, physical_y{};
    layout::Field algo_block{};  // 0x101 and 0x102: the compact device form (algo_block.h)
    layout::Field sensor_dsp{};
};

constexpr bool has(const layout::Field &f) { return f.width != 0; }

namespace model_cfg_detail {
constexpr layout::Field str(size_t offset) {
    return {"string", offset, 2 * ModelCfgRecord::string_chars};
}
}  // namespace model_cfg_detail

// clang-format off
inline constexpr ModelCfgForm kModelCfgForms[] = {
    {.version = 0x100, .size = 51,
     .vid = {"vid", 4, 2}, .pid = {"pid", 6, 2},
     .led_async = {"led_async", 11, 1}, .led_delay_us = {"led_delay_us", 12, 2},
     .update_refresh = {"update_refresh", 14, 1},
     .resolution_x = {"resolutionX", 15, 4}, .resolution_y = {"resolutionY", 19, 4}},
    {.version = 0x101, .size = 1532,
     .vid = {"vid", 4, 2}, .pid = {"pid", 6, 2},
     .strings = {model_cfg_detail::str(8), model_cfg_detail::str(48), model_cfg_detail::str(88),
                 model_cfg_detail::str(128), model_cfg_detail::str(168)},
     .led_async = {"led_async", 208, 1}, .led_delay_us = {"led_delay_us", 209, 2},
     .update_refresh = {"update_refresh", 211, 1},
     .resolution_x = {"resolutionX", 212, 2}, .resolution_y = {"resolutionY", 214, 2},
     .physical_x = {"physicalX", 216, 2}, .physical_y = {"physicalY", 218, 2},
     .algo_block = {"algorithm parameter block", 220, 1024},
     .sensor_dsp = {"sensor dsp", 1244, 288}},
    {.version = 0x102, .size = 5630,
     .vid = {"vid", 4, 2}, .pid = {"pid", 6, 2}, .bcd_device = {"bcdDevice", 8, 2},
     .strings = {model_cfg_detail::str(10), model_cfg_detail::str(50), model_cfg_detail::str(90),
                 model_cfg_detail::str(130), model_cfg_detail::str(170)},
     .led_async = {"led_async", 210, 1}, .led_delay_us = {"led_delay_us", 211, 2},
     .update_refresh = {"update_refresh", 213, 1},
     .resolution_x = {"resolutionX", 214, 2}, .resolution_y = {"resolutionY", 216, 2},
     .physical_x = {"physicalX", 218, 2}, .physical_y = {"physicalY", 220, 2},
     .algo_block = {"algorithm parameter block", 222, 5120},
     .sensor_dsp = {"sensor dsp", 5342, 288}},
    {.version = 0x103, .size = ModelCfgRecord::size,
     .vid = ModelCfgRecord::vid, .pid = ModelCfgRecord::pid, .bcd_device = ModelCfgRecord::bcd_device,
     .strings = {ModelCfgRecord::model_name, ModelCfgRecord::bar_code, ModelCfgRecord::manufacturer,
                 ModelCfgRecord::product_type, ModelCfgRecord::serial_num},
     .led_async = ModelCfgRecord::led_async, .led_delay_us = ModelCfgRecord::led_delay_us,
     .update_refresh = ModelCfgRecord::update_refresh,
     .resolution_x = ModelCfgRecord::resolution_x, .resolution_y = ModelCfgRecord::resolution_y,
     .physical_x = ModelCfgRecord::physical_x, .physical_y = ModelCfgRecord::physical_y,
     .algo_block = ModelCfgRecord::algo_block, .sensor_dsp = ModelCfgRecord::sensor_dsp},
};
// clang-format on

// The form of a record version; nullptr for a version outside 0x100 to 0x103.
constexpr const ModelCfgForm *model_cfg_form(uint32_t version) {
    for (const ModelCfgForm &f : kModelCfgForms)
        if (f.version == version) return &f;
    return nullptr;
}

// Every field of every form lies inside the form's record, and every form
// fits the reader's and writer's buffer.
constexpr bool model_cfg_forms_fit() {
    for (const ModelCfgForm &f : kModelCfgForms) {
        if (f.size > ModelCfgRecord::transfer_size) return false;
        const layout::Field all[] = {
            f.vid,          f.pid,          f.bcd_device,     f.strings[0],
            f.strings[1],   f.strings[2],   f.strings[3],     f.strings[4],
            f.led_async,    f.led_delay_us, f.update_refresh, f.resolution_x,
            f.resolution_y, f.physical_x,   f.physical_y,     f.algo_block,
            f.sensor_dsp};
        for (const layout::Field &field : all)
            if (has(field) && !field.fits(f.size)) return false;
        if (has(f.algo_block) && f.version != 0x103 &&
            f.algo_block.width < AlgoBlock::value_offset(kAlgoVersions[3].fields))
            return false;
    }
    return true;
}
static_assert(model_cfg_forms_fit());

// The header word (length, minor, major) each device version's write stores;
// version 0x103 stores the host record's own length.
constexpr uint32_t model_cfg_header(const ModelCfgForm &f) {
    return static_cast<uint32_t>(f.size) | static_cast<uint32_t>(f.version & 0xFF) << 16 |
           static_cast<uint32_t>(f.version >> 8) << 24;
}
static_assert(model_cfg_header(kModelCfgForms[0]) == 0x01000033);
static_assert(model_cfg_header(kModelCfgForms[1]) == 0x010105FC);
static_assert(model_cfg_header(kModelCfgForms[2]) == 0x010215FE);

// The algorithm block version a version 0x103 write stores, whatever the host
// block holds.
inline constexpr uint16_t kHostAlgoVersion = 0x200;

// Version query record of ryn_get_dev_ver: the selector in the first 32-bit
// word before the call; the answer in the first two 16-bit words after it.
struct VersionQuery {
    static constexpr size_t size = 16;
    static constexpr uint32_t record_version = 1;
    static constexpr uint32_t algo_version = 2;
    static constexpr layout::Field selector{"selector", 0, 4};
    static constexpr layout::Field w0{"w0", 0, 2};
    static constexpr layout::Field w1{"w1", 2, 2};

    // The version answered: (w1 × 256) OR w0, kept to 16 bits.
    static uint16_t version(std::span<const uint8_t> q) {
        return static_cast<uint16_t>((w1.get(q) << 8) | w0.get(q));
    }
};

}  // namespace ryn::devinfo
