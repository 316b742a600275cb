// The path of ryn_fw_update for the LPC4320 controller of a six-camera
// system: the image is validated in the image buffer, the controller is
// brought into its boot loader, the parts (or the whole layout) are written,
// then the image header, then the device is reset.
#include <array>
#include <memory>
#include <optional>

#include "frame/paths.h"
#include "frame/sink.h"
#include "fwupdate/common/closing.h"
#include "fwupdate/lpc4320/image.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

namespace {

using H10 = Lpc4320Header10;
using FR = Lpc4320FwHeaderRecord;

ImageBuffer &lpc4320_image_buffer = image_buffer<BufferedPath::lpc4320>();

int switch_to_boot_loader(fw_update_arg &arg) {
    uint32_t mode = 0;
    if (!ryn_get_fw_mode(arg.handle, &mode)) {
        frame::report(arg, u"[Switch Bootldr Error]: Failed to get firmware mode\n");
        return 0;
    }
    // A device already in its boot loader stays there.
    if (mode == lpc4320_mode_boot_loader) {
        frame::report(arg, u"Firmware Mode: Boot Loader (0x%04x)\n", mode);
        return 1;
    }
    // Any mode but firmware or boot loader is refused.
    if (mode != lpc4320_mode_firmware) {
        frame::report(arg, u"[Switch Bootldr Error]: Invalid firmware mode 0x%04x\n", mode);
        return 0;
    }
    // Running its firmware: the boot loader after a reset.
    std::array<uint8_t, FR::size> record{};
    if (!ryn_get_fw_hdr(arg.handle, record.data(), 0)) {
        frame::report(arg, u"[Switch Bootldr Error]: Failed to get firmware header\n");
        return 0;
    }
    const auto vid = static_cast<uint32_t>(FR::vid.get(record));
    const auto pid = static_cast<uint32_t>(FR::pid.get(record));
    if (!ryn_set_dev_mode(arg.handle, 1, nullptr)) {
        frame::report(arg,
                      u"[Switch Bootldr Error]: Failed to switch from firmware to boot loader\n");
        return 0;
    }
    frame::report(arg, u"Switch to Boot Loader (VID=0x%04x, PID=0x%04x)\n", vid, pid);
    if (!frame::reset_device(arg)) {
        frame::report(arg, u"[Switch Bootldr Error]: Failed to reset device.\n");
        return 0;
    }
    return 1;
}

// Writes one part located by flash address: from file offset address - 0x10000.
int write_part(fw_update_arg &arg, std::span<const uint8_t> image, const Lpc4320Part &p) {
    const auto ofs = static_cast<uint32_t>(p.offset.get(image));
    const auto len = static_cast<uint32_t>(p.length.get(image));
    return ryn_update_flash_code(arg.handle, image.data() + (ofs - H10::part_base), ofs, len);
}

int set_fw_code(fw_update_arg &arg, std::span<const uint8_t> image, bool v11) {
    // The firmware from the end of the header, at its source address.
    const auto o = static_cast<uint32_t>(H10::fw_src_addr.get(image)) & H10::src_addr_mask;
    const auto n = static_cast<uint32_t>(H10::fw_length.get(image));
    frame::report(arg, u"Update firmware (Offset=0x%08x, %u bytes)\n", o, n);
    if (!ryn_update_flash_code(arg.handle, image.data() + H10::code_offset, o, n)) {
        frame::report(arg, u"[Set FW Code]: Failed to update firmware\n");
        return 0;
    }
    // The flash firmware part.
    frame::report(arg, u"Update flash firmware (Offset=0x%08x, %u bytes)\n",
                  static_cast<uint32_t>(H10::flash_fw_ofs.get(image)),
                  static_cast<uint32_t>(H10::flash_fw_len.get(image)));
    if (!write_part(arg, image, lpc4320_flash_fw_part)) {
        frame::report(arg, u"[Set FW Code]: Failed to update flash firmware\n");
        return 0;
    }
    // A 1.1 image adds its two AHB SRAM parts.
    if (v11) {
        constexpr text::format_string<uint32_t, uint32_t> messages[] = {
            u"Update AHB_Sram 1 firmware (Offset=0x%08x, %u bytes)\n",
            u"Update AHB_Sram 2 firmware (Offset=0x%08x, %u bytes)\n"};
        for (size_t i = 0; i < 2; ++i) {
            const Lpc4320Part &p = lpc4320_sram_parts[i];
            frame::report(arg, messages[i], static_cast<uint32_t>(p.offset.get(image)),
                          static_cast<uint32_t>(p.length.get(image)));
            if (!write_part(arg, image, p)) {
                frame::report(arg, u"[Set FW Code]: Failed to update flash firmware\n");
                return 0;
            }
        }
    }
    // The header last, once every part is in flash.
    frame::report(arg, u"Update Header\n");
    if (!ryn_set_fw_hdr(arg.handle, image.data(), 0)) {
        frame::report(arg, u"[Set FW Code]: Failed to update firmware header\n");
        return 0;
    }
    if (!frame::reset_device(arg)) {
        frame::report(arg, u"[Set FW Code]: Failed to reset device.\n");
        return 0;
    }
    return 1;
}

// The whole file after its first 4096 bytes, then the header.
int set_fw_code_layout(fw_update_arg &arg, std::span<const uint8_t> image) {
    // The message shows the whole file length.
    const uint32_t length = static_cast<uint32_t>(image.size());
    const auto o = static_cast<uint32_t>(H10::fw_src_addr.get(image)) & H10::src_addr_mask;
    frame::report(arg, u"Update firmware (flash layout) (Offset=0x%x, %u bytes)\n", o, length);
    if (!ryn_update_flash_code(arg.handle, image.data() + H10::code_offset, o,
                               length - H10::code_offset)) {
        frame::report(arg, u"[Set FW Code Layout]: Failed to update firmware\n");
        return 0;
    }
    // The header last, once the code is in flash.
    frame::report(arg, u"Update Header\n");
    if (!ryn_set_fw_hdr(arg.handle, image.data(), 0)) {
        frame::report(arg, u"[Set FW Code Layout]: Failed to update firmware header\n");
        return 0;
    }
    if (!frame::reset_device(arg)) {
        frame::report(arg, u"[Set FW Code Layout]: Failed to reset device.\n");
        return 0;
    }
    return 1;
}

}  // namespace

int fw_update_6cam_4320(fw_update_arg &arg) {
    // A refused selection ends the update before the image is read: the
    // calls that follow would reach another controller.
    if (!frame::select_6cam_dev_id(arg, lpc4320_dev_id)) return 0;
    const std::optional<std::u16string> path = begin_buffered_update(arg);
    if (!path) return 0;
    // The whole image is read and checked, and its file closed, before the
    // device is touched.
    uint32_t length = 0;
    std::unique_ptr<ImageFile> file = open_lpc4320_image(arg, *path);
    const int valid =
        file && read_lpc4320_image(arg, *file, arg.update_mode, lpc4320_image_buffer, &length);
    file.reset();
    if (!valid) {
        frame::report(arg, u"Failed to read input patch file.\n");
        return 0;
    }
    const std::span<const uint8_t> image =
        std::span<const uint8_t>(lpc4320_image_buffer).first(length);
    const bool v11 = H10::minor.get(image) == 1;
    // An update mode this path does not write (bits 0-1 are 2 or 3) is
    // refused before the switch to the boot loader.
    if (!update_mode_supported(arg, arg.update_mode & 3)) return 0;
    frame::progress(arg, 2);
    if (!switch_to_boot_loader(arg)) {
        frame::report(arg, u"Failed to switch to boot loader.\n");
        return 0;
    }
    // Bits 0-1 of update_mode choose: normal or flash layout.
    frame::progress(arg, 4);
    int written = 0;
    if ((arg.update_mode & 3) == RYN_UPDATE_NORMAL)
        written = set_fw_code(arg, image, v11);
    else
        written = set_fw_code_layout(arg, image);
    if (!check_written(arg, written)) return 0;
    return finish_update(arg, false);
}

}  // namespace ryn::fwupdate
