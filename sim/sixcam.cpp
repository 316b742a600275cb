// The six-camera system (family "6cam", platform code 6): the LPC4320
// controller as device 255 and two 5810 devices as 1 and 2, each with its own
// records, named "255/cali", "1/model-cfg" and so on (see controllers.h).
//
// ryn_6cam_set_dev_id selects the controller that every following call with a
// handle reaches; the selection belongs to the device library, so it outlasts
// calls and resets and is kept in the state file ("model": {"selected": id}).
// A new system starts with 255 selected. Selecting any other id than 1, 2 or
// 255 fails, and so does every later call with a handle (ryn_check_platform
// excepted: it answers for the whole system) until a valid id is selected.
//
// Firmware of the LPC4320 controller: mode 0x630 (firmware running) or 0x631
// (boot loader), kept in the state file ("model": {"lpc4320_mode": m,
// "lpc4320_to_boot_loader": b}). ryn_set_dev_mode(1) asks for the boot
// loader, which runs after the next reset; a reset without that request
// starts the firmware. In the boot loader, ryn_update_flash_code programs
// flash record "255/flash" (524288 bytes from address 0, erased as 0xFF,
// existing once written) and ryn_set_fw_hdr stores the image header given to
// it (header len bytes, 12 to 4096, from its first word) as record
// "255/image-header". Record "255/fw-header" (128 bytes) holds the USB vendor
// id 0x0408 at offset 16 and the product id 0x4320 at 20.
#include "sim/controllers.h"

#include "formats/lpc4320_fw.h"
#include "sim/json_util.h"

namespace ryn::sim {

namespace {

constexpr uint32_t kLpc4320 = 255;

// The LPC4320 controller's firmware records.
using FR = fwupdate::Lpc4320FwHeaderRecord;
constexpr size_t kLpcFlashSize = 0x80000;
constexpr size_t kLpcImageHeaderMax = fwupdate::Lpc4320Header10::code_offset;
const std::string kLpcFlash = "255/flash";
const std::string kLpcFwHeader = "255/fw-header";
const std::string kLpcImageHeader = "255/image-header";

Bytes lpc4320_fw_header() {
    Bytes r(FR::size, 0);
    FR::vid.put(r, 0x0408);
    FR::pid.put(r, 0x4320);
    return r;
}

class SixCamSystem final : public ControllerDevice {
  public:
    explicit SixCamSystem(const nlohmann::json &options)
        : ControllerDevice(options, {{ControllerKind::lpc4320, kLpc4320, "255/", 1},
                                     {ControllerKind::c5810, 1, "1/", 2},
                                     {ControllerKind::c5810, 2, "2/", 3}}) {
        hold_record(kLpcFwHeader, lpc4320_fw_header());
        allow_record(kLpcFlash, kLpcFlashSize, kLpcFlashSize);
        allow_record(kLpcImageHeader, fwupdate::Lpc4320Header10::crc_from, kLpcImageHeaderMax);
    }

    std::string_view family() const override { return "6cam"; }
    uint8_t platform_code() const override { return 6; }

    Result set_6cam_dev_id(Call &, uint32_t dev_id) override {
        selected_ = dev_id;
        std::string why;
        if (!current(&why)) return Result::fail(why);
        return Result::ok();
    }

    nlohmann::json save_state() const override {
        nlohmann::json state = ControllerDevice::save_state();
        state["selected"] = selected_;
        state["lpc4320_mode"] = lpc_mode_;
        state["lpc4320_to_boot_loader"] = lpc_to_boot_loader_;
        return state;
    }

    // The 5810 devices' firmware state is the controllers' (sim/c5810.cpp).
    void load_state(const nlohmann::json &state) override {
        // The LPC4320 controller's keys are this model's; the rest is the
        // controllers' to check.
        nlohmann::json controllers = state;
        if (controllers.is_object())
            for (const char *key : {"lpc4320_mode", "lpc4320_to_boot_loader"}) controllers.erase(key);
        ControllerDevice::load_state(controllers);
        if (state.contains("selected"))
            selected_ = static_cast<uint32_t>(
                to_uint(state["selected"], 0, UINT32_MAX, "state \"model\" selected"));
        if (state.contains("lpc4320_mode"))
            lpc_mode_ = static_cast<uint32_t>(
                to_uint(state["lpc4320_mode"], fwupdate::lpc4320_mode_firmware,
                        fwupdate::lpc4320_mode_boot_loader, "state \"model\" lpc4320_mode"));
        if (state.contains("lpc4320_to_boot_loader"))
            lpc_to_boot_loader_ =
                to_bool(state["lpc4320_to_boot_loader"], "state \"model\" lpc4320_to_boot_loader");
    }

    // The LPC4320 controller's firmware operations; the 5810 devices answer
    // with the controllers' defaults.
    Result get_fw_mode(Call &call, uint32_t *mode) override {
        if (!lpc4320()) return ControllerDevice::get_fw_mode(call, mode);
        if (!mode) return Result::fail("null mode");
        hand_back(call, mode, {reinterpret_cast<const uint8_t *>(&lpc_mode_), sizeof lpc_mode_});
        return Result::ok();
    }

    Result get_fw_hdr(Call &call, void *header) override {
        if (!lpc4320()) return ControllerDevice::get_fw_hdr(call, header);
        if (!header) return Result::fail("null header");
        hand_back(call, header, rec(kLpcFwHeader));
        return Result::ok();
    }

    Result set_dev_mode(Call &call, uint32_t mode) override {
        if (!lpc4320()) return ControllerDevice::set_dev_mode(call, mode);
        if (mode > 1) return Result::fail("mode " + std::to_string(mode));
        lpc_to_boot_loader_ = mode == 1;
        return Result::ok();
    }

    Result update_flash_code(Call &call, const void *data, uint32_t offset,
                             uint32_t length) override {
        if (!lpc4320()) return ControllerDevice::update_flash_code(call, data, offset, length);
        if (lpc_mode_ != fwupdate::lpc4320_mode_boot_loader)
            return Result::fail("not in the boot loader");
        return program_flash(kLpcFlash, kLpcFlashSize, data, offset, length);
    }

    Result set_fw_hdr(Call &call, const void *header) override {
        if (!lpc4320()) return ControllerDevice::set_fw_hdr(call, header);
        if (lpc_mode_ != fwupdate::lpc4320_mode_boot_loader)
            return Result::fail("not in the boot loader");
        if (!header) return Result::fail("null header");
        const uint64_t length = fwupdate::Lpc4320Header10::header_len.get(record_input(header, 4));
        if (length < fwupdate::Lpc4320Header10::crc_from || length > kLpcImageHeaderMax)
            return Result::fail("header len " + std::to_string(length));
        std::span<const uint8_t> in = record_input(header, length);
        store(kLpcImageHeader, Bytes(in.begin(), in.end()));
        return Result::ok();
    }

  protected:
    const ControllerUnit *current(std::string *why) const override {
        for (const ControllerUnit &u : units())
            if (u.dev_id == selected_) return &u;
        if (why)
            *why = "device id " + std::to_string(selected_) +
                   " selected: the six-camera system has devices 1, 2 and 255 only";
        return nullptr;
    }

    // A reset enters the boot loader when it was asked for, the firmware otherwise.
    void after_reset() override {
        lpc_mode_ = lpc_to_boot_loader_ ? fwupdate::lpc4320_mode_boot_loader
                                        : fwupdate::lpc4320_mode_firmware;
        lpc_to_boot_loader_ = false;
    }

  private:
    bool lpc4320() const { return unit().kind == ControllerKind::lpc4320; }

    uint32_t selected_ = kLpc4320;
    uint32_t lpc_mode_ = fwupdate::lpc4320_mode_firmware;
    bool lpc_to_boot_loader_ = false;
};

}  // namespace

std::unique_ptr<Device> make_6cam_system(const nlohmann::json &options) {
    return std::make_unique<SixCamSystem>(options);
}

}  // namespace ryn::sim
