// Validation of the LPC4320 image: the whole file is read into the image
// buffer and checked by its header version. Beyond the checks of each part's
// start, every part that is CRC-checked or written is checked to lie wholly
// inside the file before any byte of it is used.
#include "fwupdate/lpc4320/image.h"

#include <vector>

#include "frame/sink.h"
#include "fwupdate/common/header_dump.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

namespace {

using H10 = Lpc4320Header10;
using H11 = Lpc4320Header11;

uint32_t word(std::span<const uint8_t> image, const layout::Field &f) {
    return static_cast<uint32_t>(f.get(image));
}

// The header dump, one message: the 1.0 rows, and for 1.1 its continuation.
void dump_header(const fw_update_arg &arg, std::span<const uint8_t> image, bool v11) {
    std::vector<layout::DumpRow> rows(std::begin(lpc4320_header_10_dump),
                                      std::end(lpc4320_header_10_dump));
    if (v11)
        rows.insert(rows.end(), std::begin(lpc4320_header_11_dump), std::end(lpc4320_header_11_dump));
    report_header_dump(arg, u"==========LPC4320 HDR=========\n", rows, image);
}

// True when the part's bytes (at file offset flash address - 0x10000) lie
// wholly inside the file; a message when they do not.
bool part_inside(const fw_update_arg &arg, std::span<const uint8_t> image, const Lpc4320Part &p) {
    const uint32_t ofs = word(image, p.offset), len = word(image, p.length);
    if (ofs >= H10::part_base && uint64_t{ofs} - H10::part_base + len <= image.size()) return true;
    frame::report(arg,
                  u"[Patch File Error]: The %s part (0x%08x, %u bytes) does not lie inside the "
                  u"file (0x%08x).\n",
                  p.name, ofs, len, static_cast<uint32_t>(image.size()));
    return false;
}

// The offset test and CRC of one part: its start first, as the device
// expects, then (so that no byte outside the file is read) its end.
int check_part(const fw_update_arg &arg, std::span<const uint8_t> image,
               const Lpc4320CheckedPart &p) {
    const uint32_t ofs = word(image, p.offset);
    // An offset below 0x10000 wraps to a large value and so fails the test.
    if (ofs - H10::part_base > image.size()) {
        frame::report(arg, p.offset_failure, ofs, static_cast<uint32_t>(image.size()));
        return 0;
    }
    if (!part_inside(arg, image, p)) return 0;
    const uint32_t len = word(image, p.length);
    const uint32_t computed = ryn_calc_crc(image.data() + (ofs - H10::part_base), len);
    if (computed != word(image, p.crc)) {
        frame::report(arg, p.crc_failure, word(image, p.crc), computed);
        return 0;
    }
    return 1;
}

// The parts the chosen mode writes must lie inside the file: in normal mode
// the firmware code at 0x1000 and the flash firmware part, in flash-layout
// mode everything after the first 4096 bytes.
int check_written_parts(const fw_update_arg &arg, std::span<const uint8_t> image,
                        uint32_t update_mode) {
    if ((update_mode & 3) == RYN_UPDATE_FLASH_LAYOUT) {
        if (image.size() >= H10::code_offset) return 1;
        frame::report(arg,
                      u"[Patch File Error]: The file of 0x%08x bytes is shorter than its 0x%08x "
                      u"header bytes.\n",
                      static_cast<uint32_t>(image.size()), H10::code_offset);
        return 0;
    }
    if (uint64_t{H10::code_offset} + word(image, H10::fw_length) > image.size()) {
        frame::report(arg,
                      u"[Patch File Error]: The firmware code (0x%08x, %u bytes) does not lie "
                      u"inside the file (0x%08x).\n",
                      H10::code_offset, word(image, H10::fw_length),
                      static_cast<uint32_t>(image.size()));
        return 0;
    }
    return part_inside(arg, image, lpc4320_flash_fw_part) ? 1 : 0;
}

// The version 1.0 and 1.1 checks, in order.
int check_lpc4320_header(const fw_update_arg &arg, std::span<const uint8_t> image,
                         uint32_t update_mode, bool v11) {
    dump_header(arg, image, v11);
    // A 1.0 image can only be written in flash-layout mode.
    if ((update_mode & 3) == RYN_UPDATE_NORMAL && !v11) {
        frame::report(arg,
                      u"[Check Header Error]: Invalid Header version %d.%d (Expected: %d.%d)\n",
                      static_cast<int>(word(image, H10::major)),
                      static_cast<int>(word(image, H10::minor)), 1, 1);
        frame::report(arg, u"Please select \"Complete\" mode to update firmware\n");
        return 0;
    }
    // The header magic.
    if (word(image, H10::magic) != H10::magic_value) {
        frame::report(arg,
                      u"[Patch File Error]: Failed to check the Header magic 0x%08x (Expected: "
                      u"0x%08x)\n",
                      word(image, H10::magic), H10::magic_value);
        return 0;
    }
    // A header len below 12 or beyond the file is refused before the CRC.
    const uint32_t header_len = word(image, H10::header_len);
    if (header_len < H10::crc_from || header_len > image.size()) {
        frame::report(arg,
                      u"[Patch File Error]: The header len 0x%08x lies outside 0x%08x to the "
                      u"file length 0x%08x.\n",
                      header_len, static_cast<uint32_t>(H10::crc_from),
                      static_cast<uint32_t>(image.size()));
        return 0;
    }
    const uint32_t crc = ryn_calc_crc(image.data() + H10::crc_from, header_len - H10::crc_from);
    if (crc != word(image, H10::header_crc)) {
        frame::report(arg,
                      u"[Patch File Error]: Failed to check the Header CRC 0x%08x (Expected: "
                      u"0x%08x)\n",
                      word(image, H10::header_crc), crc);
        return 0;
    }
    // The model configuration and calibration parts: each inside the file,
    // each matching its CRC.
    for (const Lpc4320CheckedPart &p : lpc4320_checked_parts_10)
        if (!check_part(arg, image, p)) return 0;
    // A 1.1 image also has its two AHB SRAM parts.
    if (v11)
        for (const Lpc4320CheckedPart &p : lpc4320_sram_parts)
            if (!check_part(arg, image, p)) return 0;
    // The parts the update writes.
    if (!check_written_parts(arg, image, update_mode)) return 0;
    return 1;
}

}  // namespace

std::unique_ptr<ImageFile> open_lpc4320_image(const fw_update_arg &arg,
                                              const std::u16string &path) {
    std::unique_ptr<ImageFile> file = ImageFile::open(path);
    if (!file) frame::report(arg, u"[Patch File Error]: Failed to open file %s\n", path.c_str());
    return file;
}

int read_lpc4320_image(const fw_update_arg &arg, ImageFile &file, uint32_t update_mode,
                       ImageBuffer &buffer, uint32_t *length) {
    // A file the buffer cannot hold, or one without a whole 1.0 header, is
    // refused before it is read.
    const uint64_t file_length = file.size();
    if (file_length > buffer.size()) {
        frame::report(arg,
                      u"[Patch File Error]: The file of %llu bytes does not fit the image buffer "
                      u"of %u bytes.\n",
                      static_cast<unsigned long long>(file_length),
                      static_cast<uint32_t>(buffer.size()));
        return 0;
    }
    if (file_length < H10::size) {
        frame::report(arg,
                      u"[Patch File Error]: The file of %u bytes is shorter than a %u-byte "
                      u"header.\n",
                      static_cast<uint32_t>(file_length), static_cast<uint32_t>(H10::size));
        return 0;
    }
    const std::span<uint8_t> dest = std::span<uint8_t>(buffer).first(file_length);
    if (!file.seek(0)) {
        frame::report(arg, u"[Patch File Error]: fseek() error\n");
        return 0;
    }
    const size_t count = file.read(dest);
    if (count != dest.size()) {
        frame::report(arg, u"[Patch File Error]: fread() error (%d != %d)\n",
                      static_cast<int>(count), static_cast<int>(file_length));
        return 0;
    }
    // The caller closes the file.
    *length = static_cast<uint32_t>(file_length);
    // Only header versions 1.0 and 1.1 are known.
    const std::span<const uint8_t> image = dest;
    const uint32_t major = word(image, H10::major), minor = word(image, H10::minor);
    if (major != 1 || minor > 1) {
        frame::report(arg, u"[Check Header Version Error]: Invalid header version (%d.%d)\n",
                      static_cast<int>(major), static_cast<int>(minor));
        return 0;
    }
    const bool v11 = minor == 1;
    if (v11 && file_length < H11::size) {
        frame::report(arg,
                      u"[Patch File Error]: The file of %u bytes is shorter than a %u-byte "
                      u"header.\n",
                      static_cast<uint32_t>(file_length), static_cast<uint32_t>(H11::size));
        return 0;
    }
    return check_lpc4320_header(arg, image, update_mode, v11);
}

}  // namespace ryn::fwupdate
