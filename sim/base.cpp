// The base controller model: its firmware behaviour. Its options and the
// records a new one holds are in sim/base_records.cpp.
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
#include <cstring>
#include <optional>
#include <string>

#include <zlib.h>

#include "formats/model_cfg_record.h"
#include "formats/cali_record.h"
#include "formats/version_record.h"
#include "formats/base_fw.h"
#include "formats/layout.h"
#include "sim/base_records.h"
#include "sim/json_util.h"
#include "sim/ryn_sim.h"

namespace ryn::sim {

namespace {

using base_model::BaseOptions;
using base_model::kModes;
using base_model::make_cali_record;
using base_model::make_fw_header;
using base_model::make_model_cfg;
using base_model::make_version_record;
using base_model::ModeName;
using base_model::parse_options;
using base_model::VR;
namespace fw_header = base_model::fw_header;

// The calibration record is the library's own declaration.
namespace cali_record = calibration::cali_record;

// The model configuration record and its algorithm parameter block are the
// library's own declarations, as the version record is.
using MC = devinfo::ModelCfgRecord;
using devinfo::AlgoBlock;

// The flash region a flash-layout update writes, and the normal code below it.
constexpr uint32_t kLayoutStart = fwupdate::layout_start;
constexpr uint32_t kLayoutSize = fwupdate::layout_size;
constexpr uint32_t kNormalCodeMax = kLayoutStart;

constexpr std::string_view kRequired[] = {"version", "cali", "model-cfg", "fw-header"};

// The first updater version whose firmware takes the current update operations.
constexpr uint64_t kFirstG52Updater = uint64_t{2} << 48 | uint64_t{1} << 32 | 925u << 16 | 1u;

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
