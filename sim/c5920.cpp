// The 5920 controller (family "5920", platform code 3): its calibration and
// model configuration records (controllers.h), and its firmware behaviour.
//
// Firmware: ryn_set_dev_mode(1) switches the controller to its mask ROM at
// once (mode "maskrom"); only the mask ROM programs flash. Flash is 262144
// bytes from address 0, record "flash" (erased as 0xFF; it exists once
// written); ryn_update_flash_code programs any address inside it, and
// ryn_get_data reads flash byte a at device address 0x80000000 + a. The
// firmware header record "fw-header" (96 bytes) starts with the boot word
// 0x4266AA55 at offset 12 and its byte sum 0x1A7 at offset 8; a reset boots
// the flash (mode "normal") when the boot word is 0x4266AA55, and otherwise
// stays in the mask ROM.
#include <array>

#include "formats/c5920_fw.h"
#include "sim/controllers.h"

namespace ryn::sim {

namespace {

using R = fwupdate::BankedFwHeaderRecord;

constexpr size_t kFlashSize = fwupdate::banked_flash_size;
const std::string kFlash = "flash";
const std::string kFwHeader = "fw-header";
constexpr std::string_view kMaskRom = "maskrom";

Bytes default_fw_header() {
    Bytes r(R::size, 0);
    R::boot_sum.put(r, R::boot_sum_value);
    R::boot_word.put(r, R::boot_from_flash);
    return r;
}

class Controller5920 final : public ControllerDevice {
  public:
    explicit Controller5920(const nlohmann::json &options)
        : ControllerDevice(options, {{ControllerKind::c5920, 0, "", 1}}) {
        hold_record(kFwHeader, default_fw_header());
        allow_record(kFlash, kFlashSize, kFlashSize);
    }

    std::string_view family() const override { return "5920"; }
    uint8_t platform_code() const override { return 3; }

    Result set_dev_mode(Call &, uint32_t mode) override {
        if (mode != fwupdate::banked_mode_mask_rom)
            return Result::fail("mode " + std::to_string(mode));
        enter_mode(std::string(kMaskRom));
        return Result::ok();
    }

    Result get_fw_hdr(Call &call, void *header) override {
        if (!header) return Result::fail("null header");
        hand_back(call, header, rec(kFwHeader));
        return Result::ok();
    }

    Result set_fw_hdr(Call &, const void *header) override {
        if (!header) return Result::fail("null header");
        std::span<const uint8_t> in = record_input(header, R::size);
        rec(kFwHeader).assign(in.begin(), in.end());
        return Result::ok();
    }

    Result update_flash_code(Call &, const void *data, uint32_t offset, uint32_t length) override {
        if (mode() != kMaskRom) return Result::fail("not in the mask ROM");
        return program_flash(kFlash, kFlashSize, data, offset, length);
    }

    Result get_data(Call &call, void *buffer, uint32_t address, uint32_t length) override {
        if (address < fwupdate::banked_flash_read_base)
            return Result::fail("address " + std::to_string(address) + " below the flash window");
        return read_flash(call, kFlash, kFlashSize, buffer,
                          address - fwupdate::banked_flash_read_base, length);
    }

  protected:
    bool valid_mode(std::string_view mode) const override {
        return mode == "normal" || mode == kMaskRom;
    }

    // The boot word decides whether the flash runs after a reset.
    void after_reset() override {
        const bool boot = R::boot_word.get(rec(kFwHeader)) == R::boot_from_flash;
        enter_mode(boot ? "normal" : std::string(kMaskRom));
    }
};

}  // namespace

std::unique_ptr<Device> make_5920_controller(const nlohmann::json &options) {
    return std::make_unique<Controller5920>(options);
}

}  // namespace ryn::sim
