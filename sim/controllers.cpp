#include "sim/controllers.h"

#include <bit>
#include <string>

#include "formats/other_cali_record.h"
#include "formats/other_model_cfg_record.h"
#include "sim/json_util.h"

namespace ryn::sim {

namespace {

using calibration::OtherCaliLayout;
using devinfo::OtherModelCfgLayout;

constexpr size_t kRecordSize = 8192;
static_assert(OtherCaliLayout::size == kRecordSize && OtherModelCfgLayout::size == kRecordSize);

constexpr std::string_view kCali = "cali";
constexpr std::string_view kModelCfg = "model-cfg";

struct KindInfo {
    ControllerKind kind;
    std::string_view name;  // in the default strings
    const OtherCaliLayout &cali;
    const OtherModelCfgLayout &model_cfg;
    uint16_t pid;
};

constexpr KindInfo kKinds[] = {
    {ControllerKind::c5810, "5810", calibration::cali_layout_5810, devinfo::model_cfg_layout_0x200,
     0x5810},
    {ControllerKind::c5920, "5920", calibration::cali_layout_5920, devinfo::model_cfg_layout_0x300,
     0x5920},
    {ControllerKind::lpc4320, "4320", calibration::cali_layout_5810,
     devinfo::model_cfg_layout_0x200, 0x4320},
};

const KindInfo &info(ControllerKind kind) {
    for (const KindInfo &k : kKinds)
        if (k.kind == kind) return k;
    throw SimError("unknown controller kind");
}

struct Options {
    uint8_t cali_version = 1;
    std::optional<uint16_t> model_version;
    std::optional<uint16_t> algo_version;
    std::optional<uint32_t> flash_id;
    bool flash_driver = false;
    bool maskrom = false;
    std::optional<std::u16string> serial_num;  // of every controller of the device
};

// A 5810 of its own also takes its firmware mode.
Options parse_options(const nlohmann::json &options, bool own_5810) {
    if (own_5810)
        check_object(options,
                     {"cali_version", "model_version", "algo_version", "flash_id", "flash_driver",
                      "fw_mode", "serial_num"},
                     "options");
    else
        check_object(options,
                     {"cali_version", "model_version", "algo_version", "flash_id", "flash_driver",
                      "serial_num"},
                     "options");
    Options o;
    auto number = [&](const char *key, uint64_t max) {
        return to_uint(options[key], 0, max, "options \"" + std::string(key) + "\"", true);
    };
    if (options.contains("cali_version"))
        o.cali_version = static_cast<uint8_t>(number("cali_version", 0xFF));
    if (options.contains("model_version"))
        o.model_version = static_cast<uint16_t>(number("model_version", 0xFFFF));
    if (options.contains("algo_version"))
        o.algo_version = static_cast<uint16_t>(number("algo_version", 0xFFFF));
    if (options.contains("flash_id"))
        o.flash_id = static_cast<uint32_t>(number("flash_id", 0xFFFFFFFF));
    if (options.contains("flash_driver"))
        o.flash_driver = to_bool(options["flash_driver"], "options \"flash_driver\"");
    if (options.contains("serial_num")) o.serial_num = serial_text(options["serial_num"]);
    if (options.contains("fw_mode")) {
        const nlohmann::json &mode = options["fw_mode"];
        if (!mode.is_string() || (mode != "flash" && mode != "maskrom"))
            throw SimError("options \"fw_mode\" of a 5810 controller is \"flash\" or \"maskrom\"");
        o.maskrom = mode == "maskrom";
    }
    return o;
}

void put_f32(std::span<uint8_t> r, const layout::Field &f, float v) {
    f.put(r, std::bit_cast<uint32_t>(v));
}

void put_utf16(std::span<uint8_t> r, const layout::Field &f, std::string_view ascii) {
    std::span<uint8_t> field = f.bytes(r);
    std::fill(field.begin(), field.end(), uint8_t{0});
    for (size_t i = 0; i < ascii.size() && 2 * i + 2 < field.size(); ++i)
        field[2 * i] = static_cast<uint8_t>(ascii[i]);
}

void put_entry(std::span<uint8_t> r, const layout::Field &entry, uint8_t b0, uint8_t b1, uint8_t b2,
               uint8_t b3) {
    entry.put(r, uint32_t{b0} | uint32_t{b1} << 8 | uint32_t{b2} << 16 | uint32_t{b3} << 24);
}

Bytes make_cali(const KindInfo &k, unsigned s, const Options &o) {
    const OtherCaliLayout &l = k.cali;
    Bytes r(kRecordSize, 0);
    l.length.put(r, kRecordSize);
    l.version.put(r, o.cali_version);
    l.reserved.put(r, 0x5A);
    for (size_t n = 0; n < l.params.count; ++n) {
        auto b = [](size_t v) { return static_cast<uint8_t>(v); };
        if (l.param_kind == calibration::ParamKind::sensor)
            put_entry(r, l.params.at(n),
                      b((n % 4 != 3 ? 1 : 0) | (n % 8) << 1 | ((n + s) % 16) << 4), b(n),
                      b(3 * n + s), b(0xC0 | s));
        else
            put_entry(r, l.params.at(n), b((n % 2) | (n % 128) << 1), b(n), b(n >> 8), b(0x30 + s));
    }
    for (size_t n = 0; n < l.fw_params.count; ++n) {
        if (l.fw_params.width == 4)
            l.fw_params.at(n).put(
                r, n + 1 == l.fw_params.count ? 0xFFFFFF00u + s : 1000 * s + 7 * n + 1);
        else
            l.fw_params.at(n).put(r, n + 1 == l.fw_params.count ? 0xFFFF : (37 * n + s) & 0xFFFF);
    }
    for (size_t n = 0; n < l.values.count; ++n) {
        if (l.float_values)
            put_f32(r, l.values.at(n),
                    (static_cast<float>(n) - 896.0f) / 3.0f + static_cast<float>(s) / 4.0f);
        else
            l.values.at(n).put(r, (13 * n + 5 * s) & 0xFFFF);
    }
    return r;
}

Bytes make_model_cfg(const KindInfo &k, unsigned s, const Options &o) {
    const OtherModelCfgLayout &l = k.model_cfg;
    Bytes r(kRecordSize, 0);
    const uint16_t version = o.model_version.value_or(l.version);
    l.length.put(r, kRecordSize);
    l.minor.put(r, version & 0xFF);
    l.major.put(r, version >> 8);
    l.vid.put(r, 0x0408);
    l.pid.put(r, k.pid);
    l.bcd_device.put(r, 0x0100 + s);
    const std::string name(k.name), seed = std::to_string(s);
    const std::string texts[OtherModelCfgLayout::string_count] = {
        "SIM-" + name, "BC-" + name + "-000" + seed, "Simulated", "OpticalTouchScreen",
        "SN" + name + "000" + seed};
    for (size_t i = 0; i < OtherModelCfgLayout::string_count; ++i)
        put_utf16(r, l.strings[i], texts[i]);
    if (o.serial_num) layout::put_utf16_field(r, l.strings[4], *o.serial_num);
    if (l.algo_header) {
        r[210] = 0xA5;  // two bytes between the strings and the firmware parameters
        r[211] = 0x5A;
    }
    auto b = [](size_t v) { return static_cast<uint8_t>(v); };
    for (size_t n = 0; n < l.sys_params.count; ++n)
        put_entry(r, l.sys_params.at(n), b((n % 3 == 0 ? 1 : 0) | (n % 128) << 1), b(n), b(n >> 8),
                  b(s));
    for (size_t n = 0; n < l.fw_params.count; ++n) {
        if (l.fw_params.width == 4)
            l.fw_params.at(n).put(r, n + 1 == l.fw_params.count ? 0x80000000u + s : 11 * n + s);
        else
            l.fw_params.at(n).put(r, (3 * n + s) & 0xFFFF);
    }
    if (l.algo_header) {
        const uint16_t block = o.algo_version.value_or(0x101);
        l.algo_length.put(r, l.algo_slots.end() - l.algo_length.offset);
        l.algo_minor.put(r, block & 0xFF);
        l.algo_major.put(r, block >> 8);
        for (size_t n = 0; n < l.algo_slots.count; ++n)
            put_f32(r, l.algo_slots.at(n),
                    static_cast<float>(n + 1) / 8.0f + static_cast<float>(s));
    } else {
        for (size_t n = 0; n < l.algo_slots.count; ++n) l.algo_slots.at(n).put(r, 5 * n + s);
    }
    return r;
}

// The controllers that are a device of their own.
struct SingleFamily {
    std::string_view family;
    uint8_t platform_code;
    ControllerKind kind;
};
constexpr SingleFamily k5810{"5810", 2, ControllerKind::c5810};

class SingleController final : public ControllerDevice {
  public:
    SingleController(const nlohmann::json &options, const SingleFamily &f)
        : ControllerDevice(options, {{f.kind, 0, "", 1}}), f_(f) {}

    std::string_view family() const override { return f_.family; }
    uint8_t platform_code() const override { return f_.platform_code; }

  private:
    const SingleFamily &f_;
};

std::span<const uint8_t> input(const void *p) {
    return {static_cast<const uint8_t *>(p), kRecordSize};
}

std::string hex(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
    return text;
}

}  // namespace

ControllerDevice::ControllerDevice(const nlohmann::json &options, std::vector<ControllerUnit> units)
    : Device(options), units_(std::move(units)) {
    const bool own_5810 = units_.size() == 1 && units_.front().kind == ControllerKind::c5810;
    const Options o = parse_options(options, own_5810);
    for (const ControllerUnit &u : units_) {
        const KindInfo &k = info(u.kind);
        if (o.algo_version && !k.model_cfg.algo_header)
            throw SimError("options \"algo_version\": the " + std::string(k.name) +
                           " record's algorithm parameters have no block header");
        store(u.prefix + std::string(kCali), make_cali(k, u.seed, o));
        store(u.prefix + std::string(kModelCfg), make_model_cfg(k, u.seed, o));
        required_names_.push_back(u.prefix + std::string(kCali));
        required_names_.push_back(u.prefix + std::string(kModelCfg));
        if (u.kind == ControllerKind::c5810) fw_[u.dev_id].maskrom = o.maskrom;
    }
    if (o.flash_id) chip_.id = *o.flash_id;
    chip_.needs_driver = o.flash_driver;
    if ((o.flash_id || o.flash_driver) && fw_.empty())
        throw SimError("options \"flash_id\" and \"flash_driver\" are the 5810 controllers'");
    for (const std::string &n : required_names_) required_.push_back(n);
    for (const std::string &n : required_names_) rules_.push_back({n, kRecordSize, kRecordSize});
    enter_mode("normal");
}

void ControllerDevice::hold_record(const std::string &name, Bytes initial) {
    rules_.push_back({name, initial.size(), initial.size()});
    required_names_.push_back(name);
    required_.assign(required_names_.begin(), required_names_.end());
    store(name, std::move(initial));
}

void ControllerDevice::allow_record(const std::string &name, size_t min_size, size_t max_size) {
    rules_.push_back({name, min_size, max_size});
}

std::span<const uint8_t> record_input(const void *p, size_t size) {
    return {static_cast<const uint8_t *>(p), size};
}

Result ControllerDevice::program_flash(const std::string &name, size_t size, const void *data,
                                       uint32_t offset, uint32_t length) {
    if (!data && length) return Result::fail("null data");
    if (uint64_t{offset} + length > size)
        return Result::fail("write " + hex(offset) + "+" + hex(length) + " beyond the " +
                            std::to_string(size) + "-byte flash");
    if (!record(name)) store(name, Bytes(size, 0xFF));
    std::span<const uint8_t> in = record_input(data, length);
    std::copy(in.begin(), in.end(), rec(name).begin() + offset);
    return Result::ok();
}

Result ControllerDevice::read_flash(Call &call, const std::string &name, size_t size, void *dest,
                                    uint32_t offset, uint32_t length) const {
    if (!dest && length) return Result::fail("null buffer");
    if (uint64_t{offset} + length > size)
        return Result::fail("read " + hex(offset) + "+" + hex(length) + " beyond the " +
                            std::to_string(size) + "-byte flash");
    const Bytes *flash = record(name);
    const Bytes erased(flash ? 0 : length, 0xFF);
    hand_back(call, dest,
              flash ? std::span<const uint8_t>(*flash).subspan(offset, length)
                    : std::span<const uint8_t>(erased));
    return Result::ok();
}

const ControllerUnit *ControllerDevice::current(std::string *) const {
    return &units_.front();
}

std::string ControllerDevice::unreachable() const {
    std::string why;
    current(&why);
    return why;
}

const ControllerUnit &ControllerDevice::unit() const {
    std::string why;
    const ControllerUnit *u = current(&why);
    if (!u) throw SimError(why);
    return *u;
}

Result ControllerDevice::read_cali(Call &call, void *record) {
    if (!record) return Result::fail("null record");
    hand_back(call, record, rec(unit().prefix + std::string(kCali)));
    return Result::ok();
}

// The controller takes a record of its own length and version only.
Result ControllerDevice::write_record(std::string_view name, const void *record,
                                      const layout::Field &length,
                                      uint64_t (*version)(std::span<const uint8_t>)) {
    if (!record) return Result::fail("null record");
    Bytes &held = rec(unit().prefix + std::string(name));
    std::span<const uint8_t> in = input(record);
    if (length.get(in) != length.get(held) || version(in) != version(held))
        return Result::fail("length " + std::to_string(length.get(in)) + ", version " +
                            hex(version(in)) + "; the device holds length " +
                            std::to_string(length.get(held)) + ", version " + hex(version(held)));
    held.assign(in.begin(), in.end());
    return Result::ok();
}

Result ControllerDevice::write_cali(Call &, const void *record) {
    const OtherCaliLayout &l = info(unit().kind).cali;
    return write_record(kCali, record, l.length, [](std::span<const uint8_t> b) {
        // Both calibration forms keep their version in byte 2.
        return calibration::cali_layout_5810.version.get(b);
    });
}

// The caller sets the first 16-bit word to its buffer's size.
Result ControllerDevice::read_model_cfg_record(Call &call, void *record) {
    if (!record) return Result::fail("null record");
    const auto *p = static_cast<const uint8_t *>(record);
    const size_t capacity = size_t{p[0]} | size_t{p[1]} << 8;
    if (capacity < kRecordSize)
        return Result::fail("buffer of " + std::to_string(capacity) + " bytes, the record takes " +
                            std::to_string(kRecordSize));
    hand_back(call, record, rec(unit().prefix + std::string(kModelCfg)));
    return Result::ok();
}

Result ControllerDevice::write_model_cfg_record(Call &, const void *record) {
    return write_record(
        kModelCfg, record, OtherModelCfgLayout::length, [](std::span<const uint8_t> b) {
            return OtherModelCfgLayout::major.get(b) << 8 | OtherModelCfgLayout::minor.get(b);
        });
}

Result ControllerDevice::set_sensor_ctrl(Call &, uint32_t) {
    return Result::ok();
}

std::string ControllerDevice::record_error(std::string_view name,
                                           std::span<const uint8_t> bytes) const {
    const std::string quoted = "record \"" + std::string(name) + "\"";
    if (const std::optional<size_t> size = firmware_record_size(name))
        return bytes.size() == *size ? std::string()
                                     : quoted + " takes " + std::to_string(*size) + " bytes, not " +
                                           std::to_string(bytes.size());
    const RecordRule *rule = nullptr;
    for (const RecordRule &r : rules_)
        if (r.name == name) rule = &r;
    if (!rule) {
        std::string names;
        for (const RecordRule &r : rules_) names += (names.empty() ? "" : ", ") + r.name;
        return "the " + std::string(family()) + " device has no " + quoted + " (it holds " + names +
               ")";
    }
    if (bytes.size() < rule->min_size || bytes.size() > rule->max_size)
        return quoted + " takes " + std::to_string(rule->min_size) +
               (rule->max_size == rule->min_size ? "" : " to " + std::to_string(rule->max_size)) +
               " bytes, not " + std::to_string(bytes.size());
    return {};
}

std::span<const std::string_view> ControllerDevice::required_records() const {
    return required_;
}

std::unique_ptr<Device> make_5810_controller(const nlohmann::json &options) {
    return std::make_unique<SingleController>(options, k5810);
}

}  // namespace ryn::sim
