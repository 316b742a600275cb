// The six-camera system's 5810 devices (platform 6 with a device bit): the
// device is selected, the image validated, then the code and, as a separate
// step, the header are written, the download kit is ended and the device is
// reset. There is no mode switch before the write.
#include <algorithm>
#include <array>

#include "frame/paths.h"
#include "frame/sink.h"
#include "fwupdate/common/closing.h"
#include "fwupdate/c5810/image.h"
#include "platform/console.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

namespace {

using H = Image5810Header;

constexpr uint32_t kDownloadKitReads = 41;
constexpr uint32_t kPollMs = 100;

constexpr uint32_t kUpdateModeBits = 0x3;

// What tells the two writes apart: the bytes written and the messages.
struct CodeWrite {
    text::format_string<uint32_t> announce;
    text::format_string<> write_failure;
    text::format_string<> header_failure;
    text::format_string<> reset_failure;
};

constexpr CodeWrite kNormal{u"Update firmware (%u bytes)\n",
                            u"[Set FW Code]: Failed to update firmware\n",
                            u"[Set FW Code]: Failed to update firmware header\n",
                            u"[Set FW Code]: Failed to reset device.\n"};
constexpr CodeWrite kLayout{u"Update firmware (flash layout) (%u bytes)\n",
                            u"[Set FW Code Layout]: Failed to update firmware\n",
                            u"[Set FW Code Layout]: Failed to update firmware header\n",
                            u"[Set FW Code Layout]: Failed to reset device.\n"};

int set_download_kit_to_end(fw_update_arg &arg) {
    if (!ryn_set_dev_ctrl(arg.handle, download_kit_end, 0)) return 0;
    uint32_t word = 0;
    for (uint32_t reads = 1;; ++reads) {
        if (!ryn_get_dev_ctrl(arg.handle, &word)) return 0;
        if (word == download_kit_ended) return 1;
        if (reads == kDownloadKitReads) {
            frame::report(arg, u"[Warning]: Failed to set download kit to end (retries timeout)\n");
            return 1;
        }
        platform::sleep_ms(kPollMs);
    }
}

// Header copy and blanking, the code, the header, the download kit's end and
// the reset, for length bytes of the image from file offset 0.
int set_fw_code(fw_update_arg &arg, std::span<uint8_t> image, uint32_t length, const CodeWrite &w) {
    // The header is kept aside and sent last; the flash image holds 0xFF in
    // its place.
    std::array<uint8_t, H::size> header{};
    const std::span<uint8_t> in_image = image.subspan(H::file_offset, H::size);
    std::copy(in_image.begin(), in_image.end(), header.begin());
    std::fill(in_image.begin(), in_image.end(), uint8_t{0xFF});
    frame::report(arg, w.announce, length);
    if (!ryn_update_flash_code(arg.handle, image.data(), 0, length)) {
        frame::report(arg, w.write_failure);
        return 0;
    }
    // The header is written after the code.
    frame::report(arg, u"Update header\n");
    if (!ryn_set_fw_hdr(arg.handle, header.data(), 0)) {
        frame::report(arg, w.header_failure);
        return 0;
    }
    // The download kit is ended before the reset.
    frame::report(arg, u"Set Download Kit to end (spi_ahb->ehi)\n");
    if (!set_download_kit_to_end(arg)) return 0;
    if (!frame::reset_device(arg)) {
        frame::report(arg, w.reset_failure);
        return 0;
    }
    return 1;
}

}  // namespace

int fw_update_6cam_5810(fw_update_arg &arg) {
    // Device 1 wins when both bits are set.
    uint32_t dev_id = 0;
    if (arg.update_mode & RYN_FLAG_6CAM_DEV1)
        dev_id = 1;
    else if (arg.update_mode & RYN_FLAG_6CAM_DEV2)
        dev_id = 2;
    if (dev_id == 0) {
        frame::report(arg, u"Failed to set the qkv5810 device id.\n");
        return 0;
    }
    if (!frame::select_6cam_dev_id(arg, dev_id)) return 0;  // else another controller is written
    const std::optional<std::u16string> path = begin_buffered_update(arg);
    if (!path) return 0;
    // The whole image is read and checked before the device is touched.
    const std::span<uint8_t> buffer = image_buffer<BufferedPath::sixcam5810>();
    uint32_t file_length = 0;
    if (!load_5810_image(arg, Image5810Policy::sixcam5810, *path, buffer, file_length)) return 0;
    // This device needs no switch before the write: progress goes straight on.
    frame::progress(arg, 2);
    frame::progress(arg, 4);
    // The firmware alone in normal mode, the whole file in flash-layout mode.
    const std::span<uint8_t> image = buffer.first(file_length);
    int written = 0;
    switch (arg.update_mode & kUpdateModeBits) {
        case RYN_UPDATE_NORMAL:
            written = set_fw_code(arg, image, header_5810_field(image, H::firmware_len), kNormal);
            break;
        case RYN_UPDATE_FLASH_LAYOUT:
            written = set_fw_code(arg, image, file_length, kLayout);
            break;
        default:
            frame::report(arg, u"Unsupport Mode: %d.\n", static_cast<int>(arg.update_mode));
            break;
    }
    if (!check_written(arg, written)) return 0;
    return finish_update(arg, false);
}

}  // namespace ryn::fwupdate
