// The base controller's options and the records a new one holds; its
// firmware behaviour is in sim/base.cpp.
//
// Options (JSON keys of ryn_sim_create; versions also as "0x..." strings):
//   "cali_version"    9 | 10                          default 10
//   "model_version"   0x100..0x103                    default 0x103
//   "algo_version"    0x102..0x104 (model 0x102 only) default 0x104
//   "fw_mode"         "normal" | "update" | "flashbuilder"   default "normal"
//   "bootldr_version", "normal_version", "updater_version": at most 59
//                     characters; defaults "1.0.0312.1", "2.3.1311.5", "2.3.1311.2"
//   "length", "major", "minor": version record header; defaults 364, 1, 3
//   "serial_num"      serial number of the model configuration, at most 19
//                     characters (model_version 0x101 up); default "SN0000001"
//
// Default records (all numbers little-endian):
//   "version" (368 bytes): the header above, the three strings NUL-terminated
//     UTF-16 padded with zeros; bytes 364..367 hold 0xEE (device bytes behind
//     the record).
//   "cali" (1555 bytes for version 9, 8192 for version 10): length and version;
//     byte 3 = 0xA2 (nf_cam 2, device bits 0b101000); camera words at 347: word
//     group g (middle_b_l, middle_b_r, reflect_b_l, reflect_b_r, light_avg,
//     exposure_us), camera c = 100 * (g + 1) + c; post_cali matrix m is the
//     identity times (m + 1); sensor register table: 8 entries per camera as
//     the host encodes them, bound_l 0x120 + c, bound_r 0x2A0 + c, front_gain
//     3 + c, global_gain 10 + c, color_gain 20 + c, ggh 1, cgh 2, all enabled;
//     nf_profile 0x0203; device data byte 745 + i = i.
//     Version 9: polynomial j (0..5) stored coefficient p (0..5) = j + 1 + p / 8;
//     camera c position x 100 + c, y 200 + c; threshold c = c + 0.5; polynomial
//     selection c & 1; jig point of camera c, point i: l 100c + i, r 100c + i + 50,
//     wp i; pair jig points of set k, point i: l base + 11k + i, r l + 20,
//     wp 11k + i, base 1000 for cam01 and 2000 for cam12.
//     Version 10: parameter N (0..1791) at 1024 + 4N = N / 4.
//   "model-cfg" in its device version (51, 1532, 5630 or 6144 bytes): header
//     word (length, minor, major); vid 0x0408, pid 0x3101, bcdDevice 0x0102
//     where the version has it; model_name "SIM-BASE", bar_code "BC-0001",
//     manufacturer "Simulated", product_type "OpticalTouchScreen", serial_num
//     "SN0000001" (versions 0x101 up); led_async 1, led_delay_us 1500,
//     update_refresh 60, resolution 4096 x 4096, physical size 1210 x 680;
//     sensor dsp: 11 enabled entries per camera in the host's packing order,
//     values nf_dark 2 + c, l_touch_thrd 20 + c, d_touch_thrd 30 + c,
//     d_touch_lvl 40 + c, d_erosion_lvl 50 + c, d_dilation_lvl 60 + c,
//     l_erosion_lvl 70 + c, l_dilation_lvl 80 + c, filter code c (sizes 1, 3, 5),
//     m_erosion_lvl 90 + c, flip c.
//     Algorithm block: versions 0x101 and 0x102 hold the device form (length
//     1024, block version 0x101, resp. "algo_version"), field k holding k + 0.5
//     (f32 fields) or k (i32 fields); version 0x103 holds the host form (length
//     3072, block version 0x200), slot n holding n + 0.5, and bytes 510..1023
//     and 4096..6143 hold the pattern byte i = (i * 7) & 0xFF.
//     The writer takes a record of any version 0x100 to 0x103 (its header
//     length must match, except for 0x103) and keeps it in that version.
//   "fw-header" (80 bytes): word 0 = 0x46574844, word 1 bit 0 = 1 in update
//     mode (kept in step with the mode), everything else zero.
//   "normal-code" (1..131072 bytes) and "layout" (the 0x60000-byte flash region
//     from 0x20000, erased as 0xFF) exist once written.
#include "sim/base_records.h"

#include <algorithm>
#include <bit>
#include <string>

#include "formats/cali_record.h"
#include "formats/model_cfg_record.h"
#include "sim/json_util.h"

namespace ryn::sim::base_model {

namespace {

using layout::Field;

// The calibration record is the library's own declaration as well.
namespace cali_record = calibration::cali_record;

// One sensor register entry (calibration table and model configuration sensor
// dsp): the library's declaration.
using SensorEntry = frame::SensorEntry;

// The model configuration record and its algorithm parameter block are the
// library's own declarations, as the version record is.
using MC = devinfo::ModelCfgRecord;
using devinfo::AlgoBlock;

// --- Byte helpers ---------------------------------------------------------

void put(std::span<uint8_t> buf, size_t offset, size_t width, uint64_t v) {
    Field{"", offset, width}.put(buf, v);
}
void put_f32(std::span<uint8_t> buf, size_t offset, float f) {
    put(buf, offset, 4, std::bit_cast<uint32_t>(f));
}

// A NUL-terminated UTF-16 string in a field, cut to leave room for the terminator.
void put_utf16(std::span<uint8_t> buf, size_t offset, size_t width, std::u16string_view s) {
    layout::put_utf16_field(buf, Field{"", offset, width}, s);
}

void put_sensor_entry(std::span<uint8_t> table, size_t index, uint8_t control, uint8_t reg,
                      uint8_t value, uint8_t mask) {
    std::span<uint8_t> entry = SensorEntry::at(index).bytes(table);
    SensorEntry::control.put(entry, control);
    SensorEntry::reg.put(entry, reg);
    SensorEntry::value.put(entry, value);
    SensorEntry::mask.put(entry, mask);
}

std::u16string version_text(const nlohmann::json &value, std::string_view key) {
    std::string what = "options \"" + std::string(key) + "\"";
    std::u16string text = utf8_to_utf16(to_string(value, what), what);
    if (text.size() > VR::bootldr.width / 2 - 1)
        throw SimError(what + ": longer than 59 characters");
    return text;
}

}  // namespace

BaseOptions parse_options(const nlohmann::json &options) {
    check_object(options,
                 {"cali_version", "model_version", "algo_version", "fw_mode", "bootldr_version",
                  "normal_version", "updater_version", "length", "major", "minor", "serial_num"},
                 "options");
    BaseOptions o;
    auto number = [&](const char *key, uint64_t min, uint64_t max, auto &out) {
        if (options.contains(key))
            out = static_cast<std::remove_reference_t<decltype(out)>>(
                to_uint(options[key], min, max, "options \"" + std::string(key) + "\"", true));
    };
    number("cali_version", 9, 10, o.cali_version);
    number("model_version", 0x100, 0x103, o.model_version);
    number("algo_version", 0x102, 0x104, o.algo_version);
    number("length", 0, 0xFFFF, o.length);
    number("major", 0, 0xFF, o.major);
    number("minor", 0, 0xFF, o.minor);
    if (options.contains("algo_version") && o.model_version != 0x102)
        throw SimError(
            "options \"algo_version\": only a model_version 0x102 record holds its own block "
            "version");
    if (options.contains("fw_mode")) {
        o.fw_mode = to_string(options["fw_mode"], "options \"fw_mode\"");
        if (std::none_of(std::begin(kModes), std::end(kModes),
                         [&](const ModeName &m) { return m.name == o.fw_mode; }))
            throw SimError("options \"fw_mode\": \"" + o.fw_mode +
                           "\" is not normal, update or flashbuilder");
    }
    if (options.contains("bootldr_version"))
        o.bootldr = version_text(options["bootldr_version"], "bootldr_version");
    if (options.contains("normal_version"))
        o.normal = version_text(options["normal_version"], "normal_version");
    if (options.contains("updater_version"))
        o.updater = version_text(options["updater_version"], "updater_version");
    if (options.contains("serial_num")) {
        o.serial_num = serial_text(options["serial_num"]);
        if (o.model_version == 0x100)
            throw SimError("options \"serial_num\": a model_version 0x100 record holds no serial number");
    }
    return o;
}

Bytes make_version_record(const BaseOptions &o) {
    Bytes r(VR::buffer_size, 0);
    VR::length.put(r, o.length);
    VR::minor.put(r, o.minor);
    VR::major.put(r, o.major);
    put_utf16(r, VR::bootldr.offset, VR::bootldr.width, o.bootldr);
    put_utf16(r, VR::normal.offset, VR::normal.width, o.normal);
    put_utf16(r, VR::updater.offset, VR::updater.width, o.updater);
    std::fill(r.begin() + VR::size, r.end(), uint8_t{0xEE});
    return r;
}

Bytes make_cali_record(unsigned version) {
    using namespace cali_record;
    Bytes r(size_of(version), 0);
    length.put(r, r.size());
    cali_record::version.put(r, version);
    nf_cam.put(r, 0xA2);
    for (size_t g = 0; g < 6; ++g)
        for (size_t c = 0; c < 3; ++c)
            camera_word(g, c).put(r, 100 * (g + 1) + c);
    for (size_t m = 0; m < 2; ++m)
        for (size_t d = 0; d < 3; ++d)
            put_f32(r, post_cali_at(m, d + 1, d + 1).offset, static_cast<float>(m + 1));
    std::span<uint8_t> table = sensor_table.bytes(std::span<uint8_t>(r));
    for (uint8_t c = 0; c < 3; ++c) {
        auto cam = static_cast<uint8_t>(2 * c);
        unsigned bound_l = 0x120u + c, bound_r = 0x2A0u + c;
        size_t e = 8u * c;
        put_sensor_entry(table, e + 0, 1 | cam, 7, bound_l & 0xFF, 0xFF);
        put_sensor_entry(table, e + 1, 1 | cam, 8, (bound_l >> 8) & 0xFF, 0x03);
        put_sensor_entry(table, e + 2, 1 | cam, 9, bound_r & 0xFF, 0xFF);
        put_sensor_entry(table, e + 3, 1 | cam, 10, (bound_r >> 8) & 0xFF, 0x03);
        put_sensor_entry(table, e + 4, 1 | cam | 0x20, 0x44, static_cast<uint8_t>(3 + c), 0x0F);
        put_sensor_entry(table, e + 5, 1 | cam | 0x20, 0x45, static_cast<uint8_t>(10 + c), 0x1F);
        put_sensor_entry(table, e + 6, 1 | cam | 0x20, 0x46, static_cast<uint8_t>(20 + c), 0x1F);
        put_sensor_entry(table, e + 7, 1 | cam | 0x20, 0x48, (1 << 2) | 2, 0x0F);
    }
    nf_profile.put(r, 0x0203);
    for (size_t i = 0; i < device_data.width; ++i)
        r[device_data.offset + i] = static_cast<uint8_t>(i);
    if (version == 10) {
        for (size_t n = 0; n < params.width / 4; ++n)
            put_f32(r, param(n).offset, static_cast<float>(n) / 4);
        return r;
    }
    for (size_t j = 0; j < 6; ++j)
        for (size_t p = 0; p < 6; ++p)
            put_f32(r, poly_float(j, p).offset, static_cast<float>(j + 1) + static_cast<float>(p) / 8);
    for (size_t c = 0; c < 4; ++c) {
        put_f32(r, position_x(c).offset, static_cast<float>(100 + c));
        put_f32(r, position_y(c).offset, static_cast<float>(200 + c));
    }
    for (size_t c = 0; c < 3; ++c) {
        put_f32(r, threshold(c).offset, static_cast<float>(c) + 0.5f);
        poly_select(c).put(r, c & 1);
    }
    auto jig = [&](size_t at, uint64_t l, uint64_t rr, size_t wp) {
        jig_l(at).put(r, l);
        jig_r(at).put(r, rr);
        put_f32(r, jig_wp(at).offset, static_cast<float>(wp));
    };
    for (size_t c = 0; c < 3; ++c)
        for (size_t i = 0; i < 14; ++i)
            jig(jig_point_cam(c, i), 100 * c + i, 100 * c + i + 50, i);
    for (size_t k = 0; k < 2; ++k)
        for (size_t i = 0; i < 11; ++i) {
            jig(jig_point_cam01(k, i), 1000 + 11 * k + i, 1020 + 11 * k + i, 11 * k + i);
            jig(jig_point_cam12(k + 1, i), 2000 + 11 * k + i, 2020 + 11 * k + i, 11 * k + i);
        }
    return r;
}

namespace {

// A device-form algorithm block: field k holds k + 0.5 (f32) or k (i32).
void fill_algo_block(std::span<uint8_t> block, uint16_t version) {
    AlgoBlock::length.put(block, AlgoBlock::device_length);
    AlgoBlock::minor.put(block, version & 0xFF);
    AlgoBlock::major.put(block, version >> 8);
    for (size_t k = 0; k < devinfo::algo_field_count(version); ++k) {
        if (devinfo::kAlgoFields[k].type == devinfo::AlgoFieldType::i32)
            put(block, AlgoBlock::value_offset(k), 4, k);
        else
            put_f32(block, AlgoBlock::value_offset(k), static_cast<float>(k) + 0.5f);
    }
}

}  // namespace

Bytes make_model_cfg(uint16_t version, uint16_t algo_version, std::u16string_view serial_num) {
    const devinfo::ModelCfgForm &f = *devinfo::model_cfg_form(version);
    Bytes r(f.size, 0);
    MC::header.put(r, devinfo::model_cfg_header(f));
    f.vid.put(r, 0x0408);
    f.pid.put(r, 0x3101);
    if (devinfo::has(f.bcd_device)) f.bcd_device.put(r, 0x0102);
    const std::u16string_view texts[] = {u"SIM-BASE", u"BC-0001", u"Simulated", u"OpticalTouchScreen",
                                         serial_num};
    for (size_t i = 0; i < std::size(texts); ++i)
        if (devinfo::has(f.strings[i])) layout::put_utf16_field(r, f.strings[i], texts[i]);
    f.led_async.put(r, 1);
    f.led_delay_us.put(r, 1500);
    f.update_refresh.put(r, 60);
    f.resolution_x.put(r, 4096);
    f.resolution_y.put(r, 4096);
    if (devinfo::has(f.physical_x)) f.physical_x.put(r, 1210);
    if (devinfo::has(f.physical_y)) f.physical_y.put(r, 680);
    if (devinfo::has(f.sensor_dsp)) {
        // Setting s of camera c: enabled, value base + c in the host's packing
        // order (the filter's code c gives sizes 1, 3, 5).
        constexpr uint8_t kBase[] = {2, 20, 30, 40, 50, 60, 70, 80, 0, 90, 0};
        static_assert(std::size(kBase) == std::size(devinfo::kSensorSettings));
        std::span<uint8_t> dsp = f.sensor_dsp.bytes(std::span<uint8_t>(r));
        for (uint8_t c = 0; c < devinfo::kSensorCameras; ++c)
            for (size_t s = 0; s < std::size(devinfo::kSensorSettings); ++s) {
                const devinfo::SensorSetting &st = devinfo::kSensorSettings[s];
                auto control = static_cast<uint8_t>(1 | (c << 1) | (st.kind << 4));
                put_sensor_entry(dsp, std::size(kBase) * c + s, control, st.reg,
                                 static_cast<uint8_t>(kBase[s] + c), st.mask);
            }
    }
    std::span<uint8_t> block = f.algo_block.bytes(std::span<uint8_t>(r));
    if (version == 0x101 || version == 0x102) {
        fill_algo_block(block, version == 0x101 ? 0x101 : algo_version);
    } else if (version == 0x103) {
        AlgoBlock::length.put(block, AlgoBlock::host_size);
        AlgoBlock::minor.put(block, devinfo::kHostAlgoVersion & 0xFF);
        AlgoBlock::major.put(block, devinfo::kHostAlgoVersion >> 8);
        for (size_t n = 0; n < AlgoBlock::host_slots; ++n)
            put_f32(block, AlgoBlock::value_offset(n), static_cast<float>(n) + 0.5f);
        for (size_t i = 510; i < 1024; ++i) r[i] = static_cast<uint8_t>(i * 7);
        for (size_t i = 4096; i < MC::size; ++i) r[i] = static_cast<uint8_t>(i * 7);
    }
    return r;
}

Bytes make_fw_header() {
    Bytes r(fw_header::kSize, 0);
    fw_header::signature.put(r, kFwHeaderMark);
    return r;
}

}  // namespace ryn::sim::base_model
