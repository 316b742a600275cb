// The platform-3 path of ryn_fw_update: the banked image is validated in the
// image buffer, the 5920 controller is switched to its mask ROM, the code
// banks (or the whole flash layout) are written and read back, and the flash
// becomes the boot source again before the reset.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "frame/paths.h"
#include "frame/sink.h"
#include "fwupdate/common/closing.h"
#include "fwupdate/c5920/image.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

namespace {

using B = BankedHeader;
using R = BankedFwHeaderRecord;

ImageBuffer &banked_image_buffer = image_buffer<BufferedPath::c5920>();

// Reads flash back from address and compares it with expected. The buffer
// is left uninitialised (the device fills it) and compared as a block first:
// the verify of a whole layout costs little more than the copy.
int verify_flash(fw_update_arg &arg, std::span<const uint8_t> expected, uint32_t address) {
    // 1.
    std::unique_ptr<uint8_t[]> device(new (std::nothrow) uint8_t[expected.size()]);
    if (!device) {
        frame::report(arg, u"Fail to allocate memory\n");
        return 0;
    }
    // 2.
    if (!ryn_get_data(arg.handle, 0, device.get(), banked_flash_read_base + address,
                      static_cast<uint32_t>(expected.size()))) {
        frame::report(arg, u"Fail to dump memory from device\n");
        return 0;
    }
    // 3. The index within the block, not the flash address.
    if (std::memcmp(expected.data(), device.get(), expected.size()) == 0) return 1;
    const size_t k = static_cast<size_t>(
        std::mismatch(expected.begin(), expected.end(), device.get()).first - expected.begin());
    frame::report(arg, u"(0x%08X) %02X <-> %02X\n", static_cast<uint32_t>(k), uint32_t{expected[k]},
                  uint32_t{device[k]});
    return 0;
}

// Reads the firmware header record, sets words, writes it back.
int set_fw_header_words(fw_update_arg &arg,
                        std::initializer_list<std::pair<layout::Field, uint32_t>> words) {
    std::array<uint8_t, R::size> record{};
    if (!ryn_get_fw_hdr(arg.handle, record.data(), 0)) {
        frame::report(arg, u"Failed to get firmware header\n");
        return 0;
    }
    for (const auto &[field, value] : words) field.put(record, value);
    if (!ryn_set_fw_hdr(arg.handle, record.data(), 0)) {
        frame::report(arg, u"Failed to set firmware header\n");
        return 0;
    }
    return 1;
}

int patch_flash_header(fw_update_arg &arg) {
    return set_fw_header_words(arg, {{R::boot_word, R::no_boot}});
}

int switch_to_flash(fw_update_arg &arg) {
    return set_fw_header_words(
        arg, {{R::boot_word, R::boot_from_flash}, {R::boot_sum, R::boot_sum_value}});
}

// Ends an update that cannot go on in the mask ROM before anything was
// written. While the boot word still names the flash, a reset runs the
// controller from its untouched flash again; otherwise the last message says
// it is left in its mask ROM. Returns 0.
int stop_before_writing(fw_update_arg &arg) {
    std::array<uint8_t, R::size> record{};
    if (ryn_get_fw_hdr(arg.handle, record.data(), 0) &&
        R::boot_word.get(record) == R::boot_from_flash && frame::reset_device(arg)) {
        frame::report(arg, u"The controller runs from flash again; nothing was written.\n");
        return 0;
    }
    frame::report(arg, u"[Error] The controller is left in its mask ROM; a firmware update "
                       u"(ryn fw update IMAGE) brings it back.\n");
    return 0;
}

// Writes and reads back the banks one at a time. Their count and bounds were
// checked with the image, before the device was touched.
int write_code_banks(fw_update_arg &arg, std::span<const uint8_t> image) {
    // 1, 2.
    const uint32_t bank_num = static_cast<uint32_t>(B::bank_num.get(image));
    // 3.
    for (uint32_t i = 0; i < bank_num; ++i) {
        const uint32_t a = static_cast<uint32_t>(B::bank_address.at(i).get(image));
        frame::report(arg, u"Update Bank %02d firmware (@%08X %d bytes)\n", static_cast<int>(i), a,
                      static_cast<int>(B::bank_size));
        const std::span<const uint8_t> bank = image.subspan(a, B::bank_size);
        if (!ryn_update_flash_code(arg.handle, bank.data(), a, B::bank_size)) {
            frame::report(arg, u"Failed to Update Code Bank %d Firmware\n", static_cast<int>(i));
            return 0;
        }
        if (!verify_flash(arg, bank, a)) {
            frame::report(arg, u"Failed to verify flash data\n");
            return 0;
        }
    }
    // 4.
    return 1;
}

// Writes the whole file from flash address 0, then reads all of it back.
int write_flash_layout_5920(fw_update_arg &arg, std::span<const uint8_t> image) {
    frame::report(arg, u"Update firmware (flash layout) (%d bytes)\n",
                  static_cast<int>(image.size()));
    if (!ryn_update_flash_code(arg.handle, image.data(), 0, static_cast<uint32_t>(image.size()))) {
        frame::report(arg, u"Failed to set normal code\n");
        return 0;
    }
    if (!verify_flash(arg, image, 0)) {
        frame::report(arg, u"Failed to verify flash data\n");
        return 0;
    }
    return 1;
}

}  // namespace

int fw_update_5920(fw_update_arg &arg) {
    // 1 to 4.
    const std::optional<std::u16string> path = begin_buffered_update(arg);
    if (!path) return 0;
    // 5.
    std::unique_ptr<ImageFile> file = ImageFile::open(*path);
    if (!file) {
        frame::report(arg, u"\nFail to open the file [%s]\n", path->c_str());
        frame::report(arg, u"Failed to read input patch file.\n");
        return 0;
    }
    // 6. The file is closed once the image is in the buffer.
    uint32_t length = 0;
    const int valid = read_banked_image(arg, *file, banked_image_buffer, &length);
    file.reset();
    if (!valid) {
        frame::report(arg, u"Failed to read input patch file.\n");
        return 0;
    }
    const std::span<uint8_t> image = std::span<uint8_t>(banked_image_buffer).first(length);
    // An update mode this path does not write is refused before the switch
    // to the mask ROM.
    if (!update_mode_supported(arg, arg.update_mode)) return 0;
    // 7, 8.
    frame::progress(arg, 2);
    if (!ryn_set_dev_mode(arg.handle, banked_mode_mask_rom, nullptr)) {
        frame::report(arg, u"Failed to switch firmware mode to MASKROM.\n");
        frame::report(arg, u"Failed to switch to Maskrom.\n");
        return 0;
    }
    // 9, 10, 11. The whole update_mode chooses; it is normal or flash layout.
    frame::progress(arg, 4);
    int written = 0;
    if (arg.update_mode == RYN_UPDATE_NORMAL) {
        frame::report(arg, u"Update Flash Header\n");
        if (!patch_flash_header(arg)) {
            frame::report(arg, u"Failed to patch flash header\n");
            check_written(arg, 0);
            return stop_before_writing(arg);
        }
        written = write_code_banks(arg, image);
    } else {
        B::boot_word.put(image, R::no_boot);
        written = write_flash_layout_5920(arg, image);
    }
    if (!check_written(arg, written)) return 0;
    // 12.
    frame::report(arg, u"Switch to flash\n");
    if (!switch_to_flash(arg)) {
        frame::report(arg, u"Failed to switch to Flash.\n");
        return 0;
    }
    // 13, 14.
    return finish_update(arg, true);
}

}  // namespace ryn::fwupdate
