// Validation of the 5920 banked image: the whole file is read into the image
// buffer, then the header, its checksum and the CRCs of the model
// configuration and calibration regions are checked. Lengths and offsets are
// checked against the file before any byte is read through them.
#include "fwupdate/c5920/image.h"

#include "frame/sink.h"
#include "fwupdate/common/header_dump.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

namespace {

using B = BankedHeader;

uint32_t word(std::span<const uint8_t> image, const layout::Field &f) {
    return static_cast<uint32_t>(f.get(image));
}

// Checks that a region lies inside the file (the sum taken without
// wrap-around), then its CRC.
int check_region(const fw_update_arg &arg, std::span<const uint8_t> image, const layout::Field &ofs,
                 const layout::Field &len, const layout::Field &crc,
                 text::format_string<uint32_t, int> out_of_file,
                 text::format_string<uint32_t, uint32_t> mismatch) {
    const uint32_t offset = word(image, ofs), length = word(image, len);
    if (uint64_t{offset} + length > image.size()) {
        frame::report(arg, out_of_file, offset, static_cast<int>(length));
        return 0;
    }
    const uint32_t computed = ryn_calc_crc(image.data() + offset, length);
    if (computed != word(image, crc)) {
        frame::report(arg, mismatch, word(image, crc), computed);
        return 0;
    }
    return 1;
}

// Every bank of the header's count lies wholly inside the file; the count
// is at most 8 (0 is no bank at all).
int check_code_banks(const fw_update_arg &arg, std::span<const uint8_t> image) {
    const uint32_t bank_num = word(image, B::bank_num);
    if (bank_num > B::max_banks) {
        frame::report(arg, u"Header Bank Number is not valid(%d)\n", static_cast<int>(bank_num));
        return 0;
    }
    for (uint32_t i = 0; i < bank_num; ++i) {
        const uint32_t a = word(image, B::bank_address.at(i));
        if (uint64_t{a} + B::bank_size > image.size()) {
            frame::report(arg, u"File Length is not enough for Code Bank %d!!(0x%08X, %d)\n",
                          static_cast<int>(i), a, static_cast<int>(B::bank_size));
            return 0;
        }
    }
    return 1;
}

}  // namespace

int read_banked_image(const fw_update_arg &arg, ImageFile &file, ImageBuffer &buffer,
                      uint32_t *length) {
    // The file length, then the whole file. A file the buffer cannot
    // hold, or one without a whole header, is refused before it is read.
    const uint64_t file_length = file.size();
    if (file_length > buffer.size()) {
        frame::report(arg, u"The image of %llu bytes does not fit the image buffer of %u bytes.\n",
                      static_cast<unsigned long long>(file_length),
                      static_cast<uint32_t>(buffer.size()));
        return 0;
    }
    if (file_length < B::size) {
        frame::report(arg, u"The image of %u bytes is shorter than its %u-byte header.\n",
                      static_cast<uint32_t>(file_length), static_cast<uint32_t>(B::size));
        return 0;
    }
    const std::span<uint8_t> dest = std::span<uint8_t>(buffer).first(file_length);
    if (!file.seek(0)) {
        frame::report(arg, u"fseek err\n");
        return 0;
    }
    const size_t count = file.read(dest);
    if (count != dest.size()) {
        frame::report(arg, u"fread err %d\n", static_cast<int>(count));
        return 0;
    }
    const std::span<const uint8_t> image = dest;
    *length = static_cast<uint32_t>(file_length);
    // The header dump.
    report_header_dump(arg, u"==============HDR=============\n", banked_header_dump, image);
    // The header magic.
    if (word(image, B::magic) != B::magic_value) {
        frame::report(arg, u"Fail to check the Header magic\n");
        return 0;
    }
    // The byte sum over [12, header len); a header len below 12 or beyond
    // the file is refused before it is summed.
    const uint32_t header_len = word(image, B::header_len);
    if (header_len < B::checksum_from || header_len > file_length) {
        frame::report(arg,
                      u"The header len 0x%08x lies outside 0x%08x to the file length 0x%08x.\n",
                      header_len, static_cast<uint32_t>(B::checksum_from),
                      static_cast<uint32_t>(file_length));
        return 0;
    }
    uint32_t sum = 0;
    for (uint8_t b : image.subspan(B::checksum_from, header_len - B::checksum_from)) sum += b;
    if (sum != word(image, B::checksum)) {
        frame::report(arg, u"Fail to check the Header checksum: 0x%08x (header) != 0x%08x (file)\n",
                      word(image, B::checksum), sum);
        return 0;
    }
    // The model configuration and calibration regions: each inside the file,
    // each matching its CRC.
    if (!check_region(
            arg, image, B::model_ofs, B::model_len, B::model_crc,
            u"Model Config address and sizeis invalid (0x%08X %d)\n",
            u"Fail to check the model config CRC: 0x%08x (header) != 0x%08x (model config)\n") ||
        !check_region(arg, image, B::cali_ofs, B::cali_len, B::cali_crc,
                      u"Calibration Table address and sizeis invalid (0x%08X %d)\n",
                      u"Fail to check the cali info CRC: 0x%08x (header) != 0x%08x (cali info)\n"))
        return 0;
    // The code banks that normal mode writes: their count and bounds are
    // checked here, so that an image the write would refuse is refused before
    // the device is switched to its mask ROM and its boot word cleared.
    if (arg.update_mode == RYN_UPDATE_NORMAL && !check_code_banks(arg, image)) return 0;
    // The file closes with its owner.
    return 1;
}

}  // namespace ryn::fwupdate
