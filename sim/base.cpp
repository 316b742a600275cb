// The base controller model.
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
//
// Firmware update: a device whose updater version is below 2.1.0925.1 (or
// not a version at all) answers only the g40 forms of set_dev_mode,
// set_normal_code and get_model_cfg; a newer one, and the flash builder (also
// in the update mode it hands over to), only the others. A model
// configuration given with an update-mode request or with the normal code
// replaces the device's record when it is a record the device holds (its
// version, its length). A normal code that begins with
// RYN_SIM_FLASH_BUILDER_MARK is a flash builder, which the device runs (mode
// 0x49) after leaving update mode. A layout whose CRC verdict is good gives
// the device the version record that the header copy at the start of the
// region points to (its new updater and boot loader versions).
#include "sim/base.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <string>

#include <zlib.h>

#include "formats/model_cfg_record.h"
#include "formats/cali_record.h"
#include "formats/version_record.h"
#include "formats/base_fw.h"
#include "formats/layout.h"
#include "sim/json_util.h"
#include "sim/ryn_sim.h"

namespace ryn::sim {

namespace {

using layout::Field;

// --- Record layouts -------------------------------------------------------

// The version record is the library's own declaration: device and host agree
// on one layout.
using VR = devinfo::VersionRecord;

// The calibration record is the library's own declaration as well.
namespace cali_record = calibration::cali_record;

// One sensor register entry (calibration table and model configuration sensor
// dsp): the library's declaration.
using SensorEntry = frame::SensorEntry;

// The model configuration record and its algorithm parameter block are the
// library's own declarations, as the version record is.
using MC = devinfo::ModelCfgRecord;
using devinfo::AlgoBlock;

// The firmware header record is the library's declaration; the signature
// word is the simulator's own (kFwHeaderMark).
namespace fw_header {
constexpr size_t kSize = fwupdate::FwHeaderRecord::size;
constexpr Field signature{"signature", 0, 4};
constexpr Field mode_flags = fwupdate::FwHeaderRecord::mode_flags;  // bit 0: update mode
constexpr Field kFields[] = {signature, mode_flags};
static_assert(layout::well_formed(kFields, kSize));
}  // namespace fw_header

// The flash region a flash-layout update writes, and the normal code below it.
constexpr uint32_t kLayoutStart = fwupdate::layout_start;
constexpr uint32_t kLayoutSize = fwupdate::layout_size;
constexpr uint32_t kNormalCodeMax = kLayoutStart;

constexpr std::string_view kRequired[] = {"version", "cali", "model-cfg", "fw-header"};

// The first updater version whose firmware takes the current update operations.
constexpr uint64_t kFirstG52Updater = uint64_t{2} << 48 | uint64_t{1} << 32 | 925u << 16 | 1u;

constexpr uint32_t kModeNormal = fwupdate::fw_mode_normal;
constexpr uint32_t kModeUpdate = fwupdate::fw_mode_update;
constexpr uint32_t kModeFlashBuilder = fwupdate::fw_mode_flash_builder;
struct ModeName {
    std::string_view name;
    uint32_t code;
};
constexpr ModeName kModes[] = {
    {"normal", kModeNormal}, {"update", kModeUpdate}, {"flashbuilder", kModeFlashBuilder}};

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

// --- Options and default records --------------------------------------------

struct BaseOptions {
    unsigned cali_version = 10;
    uint16_t model_version = 0x103;
    uint16_t algo_version = 0x104;
    std::string fw_mode = "normal";
    std::u16string bootldr = u"1.0.0312.1";
    std::u16string normal = u"2.3.1311.5";
    std::u16string updater = u"2.3.1311.2";
    uint16_t length = VR::size;
    uint8_t major = 1;
    uint8_t minor = 3;
    std::u16string serial_num = u"SN0000001";
};

std::u16string version_text(const nlohmann::json &value, std::string_view key) {
    std::string what = "options \"" + std::string(key) + "\"";
    std::u16string text = utf8_to_utf16(to_string(value, what), what);
    if (text.size() > VR::bootldr.width / 2 - 1)
        throw SimError(what + ": longer than 59 characters");
    return text;
}

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

std::span<const uint8_t> input(const void *p, size_t size) {
    return {static_cast<const uint8_t *>(p), size};
}

// --- The controller -----------------------------------------------------------

class BaseController final : public Device {
  public:
    explicit BaseController(const nlohmann::json &options) : Device(options) {
        BaseOptions o = parse_options(options);
        store("version", make_version_record(o));
        store("cali", make_cali_record(o.cali_version));
        store("model-cfg", make_model_cfg(o.model_version, o.algo_version, o.serial_num));
        store("fw-header", make_fw_header());
        flash_builder_ = o.fw_mode == "flashbuilder";
        enter_mode(o.fw_mode);
        after_change();
    }

    std::string_view family() const override { return "base"; }
    uint8_t platform_code() const override { return 1; }

    nlohmann::json save_state() const override {
        return {{"sensor", sensor_on_},
                {"flash_builder", flash_builder_},
                {"flash_builder_update", flash_builder_update_},
                {"requested_by_flash_builder", requested_by_flash_builder_}};
    }

    void load_state(const nlohmann::json &state) override {
        check_object(
            state,
            {"sensor", "flash_builder", "flash_builder_update", "requested_by_flash_builder"},
            "state \"model\"");
        if (state.contains("sensor"))
            sensor_on_ = to_bool(state["sensor"], "state \"model\" sensor");
        if (state.contains("flash_builder"))
            flash_builder_ = to_bool(state["flash_builder"], "state \"model\" flash_builder");
        if (state.contains("flash_builder_update"))
            flash_builder_update_ =
                to_bool(state["flash_builder_update"], "state \"model\" flash_builder_update");
        if (state.contains("requested_by_flash_builder"))
            requested_by_flash_builder_ = to_bool(state["requested_by_flash_builder"],
                                                  "state \"model\" requested_by_flash_builder");
    }

    bool offers(RecordIo) const override { return true; }

    Result read_cali(Call &call, void *record) override {
        if (!record) return Result::fail("null record");
        Bytes out(cali_record::kTransfer, 0);
        const Bytes &held = rec("cali");
        std::copy(held.begin(), held.end(), out.begin());
        hand_back(call, record, out);
        return Result::ok();
    }

    Result write_cali(Call &, const void *record) override {
        if (!record) return Result::fail("null record");
        std::span<const uint8_t> in = input(record, cali_record::kTransfer);
        auto version = static_cast<unsigned>(cali_record::version.get(in));
        auto held = static_cast<unsigned>(cali_record::version.get(rec("cali")));
        if (version != held)
            return Result::fail("record version " + std::to_string(version) +
                                ", device holds version " + std::to_string(held));
        size_t size = cali_record::size_of(version);
        if (cali_record::length.get(in) != size)
            return Result::fail("length " + std::to_string(cali_record::length.get(in)) +
                                ", version " + std::to_string(version) + " takes " +
                                std::to_string(size));
        store("cali", Bytes(in.begin(), in.begin() + static_cast<ptrdiff_t>(size)));
        return Result::ok();
    }

    // The caller sets the first 16-bit word to its buffer's size.
    Result read_model_cfg_record(Call &call, void *record) override {
        if (!record) return Result::fail("null record");
        size_t capacity = std::min<size_t>(MC::length.get(input(record, 2)), MC::transfer_size);
        const Bytes &held = rec("model-cfg");
        if (capacity < held.size())
            return Result::fail("buffer of " + std::to_string(capacity) + " bytes, record takes " +
                                std::to_string(held.size()));
        Bytes out(capacity, 0);
        std::copy(held.begin(), held.end(), out.begin());
        hand_back(call, record, out);
        return Result::ok();
    }

    // The device takes a record of any version it knows and keeps it in that
    // version, as written.
    Result write_model_cfg_record(Call &, const void *record) override {
        if (!record) return Result::fail("null record");
        std::span<const uint8_t> in = input(record, MC::transfer_size);
        uint32_t version = MC::version(in);
        const devinfo::ModelCfgForm *f = devinfo::model_cfg_form(version);
        if (!f) return Result::fail("record version " + hex(version) + ", not 0x100 to 0x103");
        // Version 0x103 sends the host record whole, whatever its length field says.
        if (version != 0x103 && MC::length.get(in) != f->size)
            return Result::fail("length " + std::to_string(MC::length.get(in)) + ", version " +
                                hex(version) + " takes " + std::to_string(f->size));
        store("model-cfg", Bytes(in.begin(), in.begin() + static_cast<ptrdiff_t>(f->size)));
        return Result::ok();
    }

    Result set_sensor_ctrl(Call &, uint32_t on) override {
        sensor_on_ = on != 0;
        return Result::ok();
    }

    Result get_version_record(Call &call, void *version_record) override {
        if (!version_record) return Result::fail("null record");
        hand_back(call, version_record, rec("version"));
        return Result::ok();
    }

    // Selector 1: model configuration record version; 2: its algorithm block's.
    Result get_dev_ver(Call &call, void *query) override {
        using Q = devinfo::VersionQuery;
        if (!query) return Result::fail("null query");
        auto selector = static_cast<uint32_t>(Q::selector.get(input(query, Q::selector.width)));
        const Bytes &cfg = rec("model-cfg");
        uint32_t version = MC::version(cfg);
        if (selector == Q::algo_version) {
            const devinfo::ModelCfgForm &f = *devinfo::model_cfg_form(version);
            if (!devinfo::has(f.algo_block)) return Result::fail("no algorithm parameter block");
            version = AlgoBlock::version(f.algo_block.bytes(cfg));
        } else if (selector != Q::record_version) {
            return Result::fail("selector " + std::to_string(selector));
        }
        uint8_t answer[4] = {};
        Q::w0.put(answer, version & 0xFF);
        Q::w1.put(answer, version >> 8);
        hand_back(call, query, answer);
        return Result::ok();
    }

    Result get_fw_mode(Call &call, uint32_t *mode) override {
        if (!mode) return Result::fail("null mode");
        uint32_t code = 0;
        for (const ModeName &m : kModes)
            if (m.name == this->mode()) code = m.code;
        hand_back(call, mode,
                  std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(&code), sizeof code));
        return Result::ok();
    }

    // The record in its device version, zero-padded to the 6144-byte buffer.
    Result read_model_cfg_buffer(Call &call, void *model_cfg) {
        if (!model_cfg) return Result::fail("null buffer");
        Bytes out(MC::size, 0);
        const Bytes &held = rec("model-cfg");
        std::copy(held.begin(), held.end(), out.begin());
        hand_back(call, model_cfg, out);
        return Result::ok();
    }

    Result get_fw_hdr(Call &call, void *header) override {
        if (!header) return Result::fail("null header");
        hand_back(call, header, rec("fw-header"));
        return Result::ok();
    }

    Result set_fw_hdr(Call &, const void *header) override {
        if (!header) return Result::fail("null header");
        std::span<const uint8_t> in = input(header, fw_header::kSize);
        store("fw-header", Bytes(in.begin(), in.end()));
        after_change();
        return Result::ok();
    }

    Result set_dev_mode(Call &, uint32_t mode) override {
        if (mode > 1) return Result::fail("mode " + std::to_string(mode));
        request_mode(mode == 0 ? "normal" : "update");
        requested_by_flash_builder_ = this->mode() == "flashbuilder";
        return Result::ok();
    }

    Result set_dev_mode_with_cfg(Call &c, uint32_t mode, const void *model_cfg) override {
        if (Result refused = answers(false); refused.failed()) return refused;
        return request_mode_with_cfg(c, mode, model_cfg);
    }
    Result set_dev_mode_g40(Call &c, uint32_t mode, const void *model_cfg, const void *) override {
        if (Result refused = answers(true); refused.failed()) return refused;
        return request_mode_with_cfg(c, mode, model_cfg);
    }
    Result set_normal_code(Call &c, const void *version_record, const void *model_cfg,
                           const void *code, uint32_t length) override {
        if (Result refused = answers(false); refused.failed()) return refused;
        return write_normal_code(c, version_record, model_cfg, code, length);
    }
    Result set_normal_code_g40(Call &c, const void *version_record, const void *model_cfg,
                               const void *code, uint32_t length) override {
        if (Result refused = answers(true); refused.failed()) return refused;
        return write_normal_code(c, version_record, model_cfg, code, length);
    }
    Result get_model_cfg(Call &c, void *model_cfg) override {
        if (Result refused = answers(false); refused.failed()) return refused;
        return read_model_cfg_buffer(c, model_cfg);
    }
    Result get_model_cfg_g40(Call &c, void *model_cfg) override {
        if (Result refused = answers(true); refused.failed()) return refused;
        return read_model_cfg_buffer(c, model_cfg);
    }

    // Takes the code in update mode only. A version record given with it
    // replaces the device's (its 364 bytes; the device keeps the bytes behind).
    Result write_normal_code(Call &, const void *version_record, const void *model_cfg,
                             const void *code, uint32_t length) {
        if (mode() != "update") return Result::fail("not in update mode");
        if (!code || length == 0) return Result::fail("no code");
        if (length > kNormalCodeMax)
            return Result::fail("code of " + std::to_string(length) +
                                " bytes, the normal code area holds " +
                                std::to_string(kNormalCodeMax));
        std::span<const uint8_t> in = input(code, length);
        store("normal-code", Bytes(in.begin(), in.end()));
        if (version_record) {
            std::span<const uint8_t> v = input(version_record, VR::size);
            std::copy(v.begin(), v.end(), rec("version").begin());
        }
        take_model_cfg(model_cfg);
        const std::string_view mark = RYN_SIM_FLASH_BUILDER_MARK;
        flash_builder_ = length >= mark.size() && std::equal(mark.begin(), mark.end(), in.begin());
        return Result::ok();
    }

    // The flash builder announces a region of the layout and the CRC of the
    // data that will follow; the verdict compares it with the CRC of what came.
    Result set_update_hdr(Call &, uint32_t start, uint32_t length, uint32_t crc) override {
        if (start < kLayoutStart || length == 0 ||
            uint64_t{start} + length > uint64_t{kLayoutStart} + kLayoutSize)
            return Result::fail("region " + hex(start) + "+" + hex(length) + " outside the layout");
        announced_ = Announcement{start, length, crc, 0};
        return Result::ok();
    }

    // offset counts from the start of the layout region (flash address 0x20000).
    Result update_flash_code(Call &, const void *data, uint32_t offset, uint32_t length) override {
        if (!announced_) return Result::fail("no layout announced");
        if (length == 0) return Result::ok();
        if (!data) return Result::fail("null data");
        uint64_t first = announced_->start - kLayoutStart;
        if (offset < first || uint64_t{offset} + length > first + announced_->length)
            return Result::fail("write " + hex(offset) + "+" + hex(length) +
                                " outside the announced region");
        if (!record("layout")) store("layout", Bytes(kLayoutSize, 0xFF));
        std::span<const uint8_t> in = input(data, length);
        std::copy(in.begin(), in.end(), rec("layout").begin() + offset);
        announced_->received_crc =
            static_cast<uint32_t>(crc32(announced_->received_crc, in.data(), length));
        return Result::ok();
    }

    Result get_update_hdr(Call &call, void *result) override {
        if (!announced_) return Result::fail("no layout announced");
        if (!result) return Result::fail("null result");
        const bool matched = announced_->received_crc == announced_->crc;
        const uint8_t verdict[1] = {matched ? uint8_t{1} : uint8_t{0}};
        if (matched) take_layout_version();
        hand_back(call, result, verdict);
        return Result::ok();
    }

  protected:
    std::string record_error(std::string_view name, std::span<const uint8_t> b) const override {
        std::string quoted = "record \"" + std::string(name) + "\"";
        auto takes = [&](size_t size, std::string what) {
            return b.size() == size ? std::string()
                                    : quoted + what + " takes " + std::to_string(size) +
                                          " bytes, not " + std::to_string(b.size());
        };
        if (name == "version") return takes(VR::buffer_size, "");
        if (name == "fw-header") return takes(fw_header::kSize, "");
        if (name == "layout") return takes(kLayoutSize, "");
        if (name == "cali") {
            if (b.size() < 3) return quoted + " is too short to hold its version";
            auto v = static_cast<unsigned>(cali_record::version.get(b));
            if (v != 9 && v != 10)
                return quoted + " holds version " + std::to_string(v) + ", not 9 or 10";
            return takes(cali_record::size_of(v), " of version " + std::to_string(v));
        }
        if (name == "model-cfg") {
            if (b.size() < 4) return quoted + " is too short to hold its version";
            uint32_t v = MC::version(b);
            const devinfo::ModelCfgForm *f = devinfo::model_cfg_form(v);
            if (!f) return quoted + " holds version " + hex(v) + ", not 0x100 to 0x103";
            return takes(f->size, " of version " + hex(v));
        }
        if (name == "normal-code") {
            if (b.empty() || b.size() > kNormalCodeMax)
                return quoted + " takes 1 to " + std::to_string(kNormalCodeMax) + " bytes, not " +
                       std::to_string(b.size());
            return {};
        }
        return "the base controller has no record \"" + std::string(name) + "\"";
    }

    std::span<const std::string_view> required_records() const override { return kRequired; }

    bool valid_mode(std::string_view mode) const override {
        return std::any_of(std::begin(kModes), std::end(kModes),
                           [&](const ModeName &m) { return m.name == mode; });
    }

    // Leaving update mode starts the normal code, which may be the flash builder.
    std::string mode_after_reset(const std::string &requested) const override {
        return requested == "normal" && flash_builder_ ? "flashbuilder" : requested;
    }

    // The firmware header's mode bit follows the running mode.
    void after_change() override {
        if (!record("fw-header")) return;  // a state file is still being loaded
        Bytes &hdr = rec("fw-header");
        uint64_t flags = fw_header::mode_flags.get(hdr) & ~uint64_t{1};
        fw_header::mode_flags.put(hdr, flags | (mode() == "update" ? 1 : 0));
    }

    void after_reset() override {
        announced_.reset();
        if (mode() != "update")
            flash_builder_update_ = false;
        else if (requested_by_flash_builder_)
            flash_builder_update_ = true;
        requested_by_flash_builder_ = false;
    }

  private:
    // g40 firmware (an updater below 2.1.0925.1, or none readable) serves only
    // the g40 operations; newer firmware and the flash builder (also in the
    // update mode it hands over to) only the others.
    Result answers(bool g40_operation) const {
        std::optional<uint64_t> updater =
            version_number(layout::utf16_field(rec("version"), VR::updater));
        const bool flash_builder =
            mode() == "flashbuilder" || (mode() == "update" && flash_builder_update_);
        const bool g40 = !flash_builder && (!updater || *updater < kFirstG52Updater);
        if (g40 == g40_operation) return Result::ok();
        return Result::fail(g40 ? "g40 firmware takes only the g40 operations"
                                : "this firmware has no g40 operations");
    }

    Result request_mode_with_cfg(Call &c, uint32_t mode, const void *model_cfg) {
        Result r = set_dev_mode(c, mode);
        if (!r.failed() && mode == 1) take_model_cfg(model_cfg);
        return r;
    }

    // A model configuration handed over with the code or an update-mode
    // request replaces the device's record when it is one the device holds:
    // the same version, and the length that version takes. Only its header
    // and its own length are read.
    void take_model_cfg(const void *model_cfg) {
        if (!model_cfg) return;
        std::span<const uint8_t> header = input(model_cfg, 4);
        const uint32_t version = MC::version(header);
        if (version != MC::version(rec("model-cfg"))) return;
        const devinfo::ModelCfgForm *f = devinfo::model_cfg_form(version);
        if (!f || (version != 0x103 && MC::length.get(header) != f->size)) return;
        std::span<const uint8_t> in = input(model_cfg, f->size);
        store("model-cfg", Bytes(in.begin(), in.end()));
    }

    // The header copy at the start of the layout region points to the new
    // version record.
    void take_layout_version() {
        const Bytes *flash = record("layout");
        if (!flash) return;
        const uint64_t ofs = fwupdate::ImageHeader::version_ofs.get(*flash);
        const uint64_t len = fwupdate::ImageHeader::version_len.get(*flash);
        if (ofs < kLayoutStart || len == 0 || ofs - kLayoutStart + len > kLayoutSize) return;
        const size_t taken = static_cast<size_t>(std::min<uint64_t>(len, VR::size));
        auto from = flash->begin() + static_cast<ptrdiff_t>(ofs - kLayoutStart);
        std::copy(from, from + static_cast<ptrdiff_t>(taken), rec("version").begin());
    }

    struct Announcement {
        uint32_t start, length, crc, received_crc;
    };

    static std::string hex(uint64_t v) {
        char text[24];
        std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
        return text;
    }

    bool sensor_on_ = true;
    bool flash_builder_ = false;  // the normal code in flash is the flash builder
    // The pending mode request came from the flash builder, and update mode
    // was entered from it.
    bool requested_by_flash_builder_ = false;
    bool flash_builder_update_ = false;
    std::optional<Announcement> announced_;
};

}  // namespace

std::unique_ptr<Device> make_base_controller(const nlohmann::json &options) {
    return std::make_unique<BaseController>(options);
}

}  // namespace ryn::sim
