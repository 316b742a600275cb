// Firmware behaviour of the 5810 controllers, of their own (family "5810") or
// as devices 1 and 2 of a six-camera system.
//
// Modes (ryn_get_fw_mode): 0x46 running from flash, 0x52 Maskrom. A device of
// its own starts in the mode of option "fw_mode"; ryn_set_dev_mode 1 requests
// Maskrom and 0 running from flash, effective at the next reset. A reset
// clears everything below but the mode.
//
// OSC-Cali: the five registers 0x906000C4..0x906000D4 must be written in
// that order with their values (the host's table); a write out of order or
// with another value leaves the chip wrongly clocked: it refuses flash writes
// until the next reset, or until the sequence starts again with its first
// register (as a retried update does on a chip left in Maskrom).
//
// Serial flash: writing 0x39F to 0x90200000 and 8 to 0x90200008 starts the
// read-identification command; 0x90200008 then reads nonzero twice and 0
// after, and 0x9020002C holds the chip's flash ID (option "flash_id"). A
// stalled ryn_get_reg keeps the command from ending. A chip that needs an
// extended flash driver (option "flash_driver") refuses flash writes until a
// driver for its ID has been loaded: driver bytes whose first 4 bytes
// (little-endian) are the flash ID.
//
// Writes: a device of its own writes its flash in Maskrom only, with OSC-Cali
// enabled and the chip's driver in place; a six-camera 5810 device writes
// through its download kit at any time. ryn_set_normal_code writes the code
// at flash address 0, ryn_update_flash_code the bytes at their offset. The
// flash ("flash", 262144 bytes, erased as 0xFF) exists once written.
//
// Firmware header record ("fw-header", 80 bytes): word 0 0x46574844, the
// 16-bit values at 16 and 18 are 0x5810 and the device's seed until
// ryn_set_fw_hdr stores a 68-byte image header over its first 68 bytes.
//
// Download kit (six-camera 5810 devices): ryn_set_dev_ctrl 0x58100001 asks
// it to end; ryn_get_dev_ctrl then reads 1 (0 before, and while stalled).
#include <algorithm>

#include "formats/c5810_fw.h"
#include "sim/controllers.h"
#include "sim/json_util.h"

namespace ryn::sim {

namespace {

constexpr std::string_view kFlash = "flash";
constexpr std::string_view kFwHeader = "fw-header";
constexpr size_t kFlashSize = fwupdate::flash_5810_size;
constexpr uint32_t kStatusBusyReads = 2;
constexpr uint32_t kReadIdOpcode = fwupdate::sf_read_id_command & 0xFF;

constexpr layout::Field kMark{"mark", 0, 4};
constexpr layout::Field kDriverFor{"driver flash ID", 0, 4};

std::span<const uint8_t> bytes_of(const void *p, size_t n) {
    return {static_cast<const uint8_t *>(p), n};
}

}  // namespace

ControllerDevice::Fw5810 *ControllerDevice::fw_5810() {
    const ControllerUnit &u = unit();
    if (u.kind != ControllerKind::c5810) return nullptr;
    return &fw_[u.dev_id];
}

const ControllerDevice::Fw5810 *ControllerDevice::fw_5810() const {
    const ControllerUnit &u = unit();
    auto it = fw_.find(u.dev_id);
    return u.kind == ControllerKind::c5810 && it != fw_.end() ? &it->second : nullptr;
}

std::optional<size_t> ControllerDevice::firmware_record_size(std::string_view name) const {
    for (const ControllerUnit &u : units_) {
        if (u.kind != ControllerKind::c5810) continue;
        if (name == u.prefix + std::string(kFlash)) return kFlashSize;
        if (name == u.prefix + std::string(kFwHeader)) return fwupdate::FwHeaderRecord5810::size;
    }
    return std::nullopt;
}

Bytes ControllerDevice::fw_header() const {
    if (const Bytes *held = record(unit().prefix + std::string(kFwHeader))) return *held;
    Bytes header(fwupdate::FwHeaderRecord5810::size, 0);
    kMark.put(header, kFwHeaderMark);
    fwupdate::FwHeaderRecord5810::value0.put(header, 0x5810);
    fwupdate::FwHeaderRecord5810::value1.put(header, unit().seed);
    return header;
}

Result ControllerDevice::get_fw_mode(Call &call, uint32_t *mode) {
    const Fw5810 *fw = fw_5810();
    if (!fw) return unsupported();
    if (!mode) return Result::fail("null mode");
    const uint32_t m = fw->maskrom ? fwupdate::fw_mode_5810_maskrom : fwupdate::fw_mode_5810_flash;
    uint8_t out[4];
    layout::Field{"mode", 0, 4}.put(out, m);
    hand_back(call, mode, out);
    return Result::ok();
}

Result ControllerDevice::get_fw_hdr(Call &call, void *header) {
    if (!fw_5810()) return unsupported();
    if (!header) return Result::fail("null header");
    hand_back(call, header, fw_header());
    return Result::ok();
}

Result ControllerDevice::set_fw_hdr(Call &, const void *header) {
    if (!fw_5810()) return unsupported();
    if (!header) return Result::fail("null header");
    Bytes held = fw_header();
    const auto in = bytes_of(header, fwupdate::Image5810Header::size);
    std::copy(in.begin(), in.end(), held.begin());
    set_record(unit().prefix + std::string(kFwHeader), std::move(held));
    return Result::ok();
}

Result ControllerDevice::set_dev_mode(Call &, uint32_t mode) {
    Fw5810 *fw = fw_5810();
    if (!fw || unit().dev_id != 0) return unsupported();
    if (mode > 1) return Result::fail("mode " + std::to_string(mode) + ": 1 Maskrom, 0 flash");
    fw->maskrom_requested = mode == 1;
    return Result::ok();
}

Result ControllerDevice::flash_writable(const Fw5810 &fw) const {
    if (unit().dev_id != 0) return Result::ok();  // the download kit writes at any time
    if (!fw.maskrom) return Result::fail("the flash is written in Maskrom only");
    if (fw.osc_wrong) return Result::fail("OSC-Cali registers written out of order: flash refused");
    if (fw.osc_written != std::size(fwupdate::osc_cali_registers))
        return Result::fail("OSC-Cali not enabled: flash refused");
    if (chip_.needs_driver && !fw.driver_loaded)
        return Result::fail("the flash chip needs its extended driver");
    return Result::ok();
}

Result ControllerDevice::write_flash(uint32_t offset, std::span<const uint8_t> bytes) {
    if (offset > kFlashSize || bytes.size() > kFlashSize - offset)
        return Result::fail(std::to_string(bytes.size()) + " bytes at " + std::to_string(offset) +
                            " reach beyond the flash of " + std::to_string(kFlashSize));
    const std::string name = unit().prefix + std::string(kFlash);
    Bytes flash = record(name) ? *record(name) : Bytes(kFlashSize, 0xFF);
    std::copy(bytes.begin(), bytes.end(), flash.begin() + offset);
    set_record(name, std::move(flash));
    return Result::ok();
}

Result ControllerDevice::set_normal_code(Call &, const void *, const void *, const void *code,
                                         uint32_t length) {
    const Fw5810 *fw = fw_5810();
    if (!fw || unit().dev_id != 0) return unsupported();
    if (!code) return Result::fail("null code");
    if (Result r = flash_writable(*fw); r.failed()) return r;
    return write_flash(0, bytes_of(code, length));
}

Result ControllerDevice::update_flash_code(Call &, const void *data, uint32_t offset,
                                           uint32_t length) {
    const Fw5810 *fw = fw_5810();
    if (!fw) return unsupported();
    if (!data) return Result::fail("null data");
    if (Result r = flash_writable(*fw); r.failed()) return r;
    return write_flash(offset, bytes_of(data, length));
}

Result ControllerDevice::set_extend_flash_driver(Call &, uint32_t, const void *driver,
                                                 uint32_t length) {
    Fw5810 *fw = fw_5810();
    if (!fw || unit().dev_id != 0) return unsupported();
    if (!driver) return Result::fail("null driver");
    if (!fw->maskrom) return Result::fail("a flash driver is loaded in Maskrom only");
    const auto bytes = bytes_of(driver, length);
    if (!kDriverFor.fits(bytes.size()) || kDriverFor.get(bytes) != chip_.id)
        return Result::fail("the driver is not for the flash chip");
    fw->driver_loaded = true;
    return Result::ok();
}

Result ControllerDevice::set_reg(Call &, uint32_t address, uint32_t value) {
    Fw5810 *fw = fw_5810();
    if (!fw || unit().dev_id != 0) return unsupported();
    const auto &osc = fwupdate::osc_cali_registers;
    for (size_t i = 0; i < std::size(osc); ++i) {
        if (osc[i].address != address) continue;
        if (i == 0 && value == osc[0].value) {
            // The first register starts the sequence afresh: a host that
            // retries an update on a chip left in Maskrom clocks it again.
            fw->osc_written = 1;
            fw->osc_wrong = false;
        } else if (i != fw->osc_written || value != osc[i].value) {
            fw->osc_wrong = true;
        } else {
            ++fw->osc_written;
        }
        return Result::ok();
    }
    if (address == fwupdate::sf_command_reg) {
        fw->sf_command = value;
        return Result::ok();
    }
    if (address == fwupdate::sf_status_reg) {
        if (value == fwupdate::sf_start) {
            fw->sf_busy_reads = kStatusBusyReads;
            fw->sf_id_ready = (fw->sf_command & 0xFF) == kReadIdOpcode;
        }
        return Result::ok();
    }
    return Result::fail("register " + std::to_string(address) + " is not simulated");
}

Result ControllerDevice::get_reg(Call &call, uint32_t address, uint32_t *value) {
    Fw5810 *fw = fw_5810();
    if (!fw || unit().dev_id != 0) return unsupported();
    if (!value) return Result::fail("null value");
    uint32_t v = 0;
    if (address == fwupdate::sf_status_reg) {
        if (call.stalled || fw->sf_busy_reads > 0) v = fwupdate::sf_start;
        if (!call.stalled && fw->sf_busy_reads > 0) --fw->sf_busy_reads;
    } else if (address == fwupdate::sf_data_reg) {
        v = fw->sf_id_ready && fw->sf_busy_reads == 0 ? chip_.id : 0;
    } else {
        return Result::fail("register " + std::to_string(address) + " is not simulated");
    }
    uint8_t out[4];
    layout::Field{"value", 0, 4}.put(out, v);
    hand_back(call, value, out);
    return Result::ok();
}

Result ControllerDevice::set_dev_ctrl(Call &, uint32_t code) {
    Fw5810 *fw = fw_5810();
    if (!fw || unit().dev_id == 0) return unsupported();
    if (code != fwupdate::download_kit_end) return Result::fail("unknown device-control code");
    fw->kit_ending = true;
    return Result::ok();
}

Result ControllerDevice::get_dev_ctrl(Call &call, uint32_t *word) {
    const Fw5810 *fw = fw_5810();
    if (!fw || unit().dev_id == 0) return unsupported();
    if (!word) return Result::fail("null word");
    uint8_t out[4];
    layout::Field{"word", 0, 4}.put(out, fw->kit_ending && !call.stalled ? 1 : 0);
    hand_back(call, word, out);
    return Result::ok();
}

void ControllerDevice::after_reset() {
    for (auto &[id, fw] : fw_) {
        const bool maskrom = fw.maskrom_requested.value_or(fw.maskrom);
        fw = Fw5810{};
        fw.maskrom = maskrom;
    }
}

nlohmann::json ControllerDevice::save_state() const {
    if (fw_.empty()) return nlohmann::json::object();
    nlohmann::json devices = nlohmann::json::object();
    for (const auto &[id, fw] : fw_) {
        nlohmann::json d = {{"maskrom", fw.maskrom},
                            {"osc_written", fw.osc_written},
                            {"osc_wrong", fw.osc_wrong},
                            {"driver_loaded", fw.driver_loaded},
                            {"kit_ending", fw.kit_ending}};
        if (fw.maskrom_requested) d["maskrom_requested"] = *fw.maskrom_requested;
        devices[std::to_string(id)] = std::move(d);
    }
    return {{"fw_5810", std::move(devices)}};
}

void ControllerDevice::load_state(const nlohmann::json &state) {
    check_object(state, {"fw_5810", "selected"}, "state \"model\"");
    if (!state.contains("fw_5810")) return;
    const nlohmann::json &devices = state["fw_5810"];
    check_object(devices, {"0", "1", "2"}, "state \"model\" fw_5810");
    for (const auto &item : devices.items()) {
        const uint32_t id = static_cast<uint32_t>(std::stoul(item.key()));
        auto it = fw_.find(id);
        if (it == fw_.end())
            throw SimError("state \"model\" fw_5810: the device has no 5810 controller " +
                           item.key());
        const std::string what = "state \"model\" fw_5810 " + item.key();
        const nlohmann::json &d = item.value();
        check_object(d,
                     {"maskrom", "maskrom_requested", "osc_written", "osc_wrong", "driver_loaded",
                      "kit_ending"},
                     what);
        Fw5810 fw;
        auto flag = [&](const char *key, bool &out) {
            if (d.contains(key)) out = to_bool(d[key], what + " " + key);
        };
        flag("maskrom", fw.maskrom);
        flag("osc_wrong", fw.osc_wrong);
        flag("driver_loaded", fw.driver_loaded);
        flag("kit_ending", fw.kit_ending);
        if (d.contains("maskrom_requested"))
            fw.maskrom_requested = to_bool(d["maskrom_requested"], what + " maskrom_requested");
        if (d.contains("osc_written"))
            fw.osc_written = static_cast<uint32_t>(to_uint(d["osc_written"], 0,
                                                           std::size(fwupdate::osc_cali_registers),
                                                           what + " osc_written"));
        it->second = fw;
    }
}

}  // namespace ryn::sim
