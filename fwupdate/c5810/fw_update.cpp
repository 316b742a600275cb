// The platform-2 path of ryn_fw_update: the flash driver list, the image, the
// Maskrom switch and OSC-Cali, the flash driver, the write by update mode,
// then the switch back to running from flash and a reset.
#include <array>

#include "frame/paths.h"
#include "frame/sink.h"
#include "fwupdate/common/closing.h"
#include "fwupdate/c5810/image.h"
#include "fwupdate/c5810/update.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

int switch_to_maskrom(fw_update_arg &arg, bool &ran_from_flash) {
    ran_from_flash = false;
    // 1.
    uint32_t mode = 0;
    if (!ryn_get_fw_mode(arg.handle, &mode)) {
        frame::report(arg, u"Failed to get firmware mode.\n");
        return 0;
    }
    // 2.
    if (mode == fw_mode_5810_maskrom) {
        frame::report(arg, u"Firmware Mode: Maskrom\n");
        return 1;
    }
    // 4.
    if (mode != fw_mode_5810_flash) {
        frame::report(arg, u"Firmware mode(%d) is not corrent!!\n", static_cast<int>(mode));
        return 0;
    }
    // 3. Running from flash: Maskrom after a reset.
    std::array<uint8_t, FwHeaderRecord5810::size> header{};
    if (!ryn_get_fw_hdr(arg.handle, header.data(), 0)) {
        frame::report(arg, u"Failed to get firmware header\n");
        return 0;
    }
    if (!ryn_set_dev_mode(arg.handle, 1, nullptr)) {
        frame::report(arg, u"Failed to switch firmware mode to MASKROM.\n");
        return 0;
    }
    ran_from_flash = true;
    frame::report(arg, u"Switch to Maskrom (0x%04x, 0x%04x)\n",
                  static_cast<uint32_t>(FwHeaderRecord5810::value0.get(header)),
                  static_cast<uint32_t>(FwHeaderRecord5810::value1.get(header)));
    if (!frame::reset_device(arg)) {
        frame::report(arg, u"Failed to reset device.\n");
        return 0;
    }
    return 1;
}

int stop_before_writing(fw_update_arg &arg, bool ran_from_flash) {
    // The flash is as it was: a controller that ran from it can run from it
    // again after a reset.
    if (ran_from_flash) {
        frame::report(arg, u"Switch back to Flash.\n");
        if (ryn_set_dev_mode(arg.handle, 0, nullptr) && frame::reset_device(arg)) {
            frame::report(arg, u"The controller runs from flash again; nothing was written.\n");
            return 0;
        }
    }
    frame::report(arg, u"[Error] The controller is left in Maskrom mode; a firmware update "
                       u"(ryn fw update IMAGE) brings it back.\n");
    return 0;
}

int enable_osc_cali(fw_update_arg &arg) {
    for (size_t i = 0; i < std::size(osc_cali_registers); ++i) {
        const OscCaliRegister &r = osc_cali_registers[i];
        if (!ryn_set_reg(arg.handle, 0, 0, r.address, r.value)) {
            frame::report(arg, osc_cali_failures[i]);
            return 0;
        }
    }
    return 1;
}

int fw_update_5810(fw_update_arg &arg) {
    using H = Image5810Header;
    // 1, 2.
    frame::progress(arg, 0);
    if (!arg.dev_reset_fn) {
        frame::report(arg, u"dev_reset_fn cannot be NULL.\n");
        return 0;
    }
    // 3.
    const std::optional<std::u16string> path = image_5810_path(arg);
    if (!path) return 0;
    // 4, 5.
    if (!load_flash_driver_list(arg)) {
        frame::report(arg, u"Fail to load flash driver list\n");
        return 0;
    }
    frame::progress(arg, 1);
    // 6, 7. The whole image is validated before any device traffic.
    const std::span<uint8_t> buffer = image_buffer<BufferedPath::c5810>();
    uint32_t file_length = 0;
    if (!load_5810_image(arg, Image5810Policy::c5810, *path, buffer, file_length)) return 0;
    // An update mode this path does not write is refused before the device
    // is touched.
    if (!update_mode_supported(arg, arg.update_mode)) return 0;
    // 8 to 10.
    frame::progress(arg, 2);
    bool ran_from_flash = false;
    if (!switch_to_maskrom(arg, ran_from_flash)) {
        frame::report(arg, u"Failed to switch to Maskrom.\n");
        return 0;
    }
    // From here until the write, an update that cannot go on takes the
    // controller back to the mode it was in.
    if (!enable_osc_cali(arg)) {
        frame::report(arg, u"Failed to enable OSC-Cali Mechanism.\n");
        return stop_before_writing(arg, ran_from_flash);
    }
    // 11. The flash boot word is erased in what is written.
    const std::span<uint8_t> image = buffer.first(file_length);
    H::flash_boot.put(image.subspan(H::file_offset), 0xFFFFFFFF);
    // 12, 13.
    // A flash whose ID has no usable driver is found only here, in Maskrom.
    if (!set_flash_driver(arg)) return stop_before_writing(arg, ran_from_flash);
    frame::progress(arg, 4);
    // 14, 15.
    int written = 0;
    if (arg.update_mode == RYN_UPDATE_NORMAL) {
        const uint32_t firmware_length = header_5810_field(image, H::firmware_len);
        frame::report(arg, u"Update firmware (%d bytes)\n", static_cast<int>(firmware_length));
        written = ryn_set_normal_code(arg.handle, nullptr, nullptr, image.data(), firmware_length);
    } else {
        frame::report(arg, u"Update firmware (flash layout) (%d bytes)\n",
                      static_cast<int>(file_length));
        written = ryn_update_flash_code(arg.handle, image.data(), 0, file_length);
    }
    if (!written) frame::report(arg, u"Failed to set normal code\n");
    if (!check_written(arg, written)) return 0;
    // 16, 17.
    frame::report(arg, u"Switch to Flash.\n");
    if (!ryn_set_dev_mode(arg.handle, 0, nullptr)) {
        frame::report(arg, u"Failed to switch firmware mode to Normal.\n");
        return 0;
    }
    // 18.
    return finish_update(arg, true);
}

}  // namespace ryn::fwupdate
