// The LPC4320 image validator on arbitrary files. The first input byte
// chooses the update mode (even: normal, odd: flash layout); the rest is the
// file. The image buffer ends, for AddressSanitizer, at the file's length; an
// accepted image has a 1.0 or 1.1 header (1.1 in normal mode), the magic, and
// a header CRC and part CRCs that match as computed here from the header's
// layout, and the parts the mode writes lie inside the file. The builder's
// 1.0 and 1.1 images are accepted (1.0 in flash-layout mode only).
#include <cstdint>
#include <memory>
#include <span>

#include "fuzz/image_check.h"
#include "fwupdate/lpc4320/image.h"
#include "sim/ryn_sim.h"

namespace {

namespace F = ryn::fwupdate;
using H10 = F::Lpc4320Header10;
using H11 = F::Lpc4320Header11;
using ryn::fuzz::expect;
using ryn::fuzz::inside;
using ryn::fuzz::word;
constexpr const char *kTarget = "fuzz_lpc4320_image";

// A part located by flash address: file offset = address - 0x10000.
void expect_part(std::span<const uint8_t> file, const ryn::layout::Field &ofs,
                 const ryn::layout::Field &len, const ryn::layout::Field &crc, const char *name) {
    const uint32_t address = word(file, ofs);
    expect(address >= H10::part_base, kTarget, "a part below the image's flash base was accepted");
    ryn::fuzz::expect_crc(kTarget, file, address - H10::part_base, word(file, len), word(file, crc),
                          name);
}

void check_accepted(std::span<const uint8_t> file, uint32_t mode) {
    expect(file.size() >= H10::size, kTarget, "an image without a whole header was accepted");
    const uint32_t minor = word(file, H10::minor);
    expect(word(file, H10::major) == 1 && minor <= 1, kTarget,
           "a header version other than 1.0 and 1.1 was accepted");
    const bool v11 = minor == 1;
    expect(!v11 || file.size() >= H11::size, kTarget, "a cut 1.1 header was accepted");
    expect(v11 || mode == RYN_UPDATE_FLASH_LAYOUT, kTarget,
           "a 1.0 header was accepted in normal mode");
    expect(word(file, H10::magic) == H10::magic_value, kTarget, "a wrong magic was accepted");
    const uint32_t header_len = word(file, H10::header_len);
    expect(header_len >= H10::crc_from && header_len <= file.size(), kTarget,
           "a header len outside the file was accepted");
    ryn::fuzz::expect_crc(kTarget, file, H10::crc_from, header_len - H10::crc_from,
                          word(file, H10::header_crc), "header");
    expect_part(file, H10::model_ofs, H10::model_len, H10::model_crc, "model config");
    expect_part(file, H10::cali_ofs, H10::cali_len, H10::cali_crc, "cali info");
    if (v11) {
        expect_part(file, H11::sram1_ofs, H11::sram1_len, H11::sram1_crc, "ahb sram 1");
        expect_part(file, H11::sram2_ofs, H11::sram2_len, H11::sram2_crc, "ahb sram 2");
    }
    if (mode == RYN_UPDATE_FLASH_LAYOUT) {
        expect(file.size() >= H10::code_offset, kTarget,
               "a flash-layout image shorter than its header area was accepted");
    } else {
        expect(inside(file.size(), H10::code_offset, word(file, H10::fw_length)), kTarget,
               "firmware code reaching outside the file was accepted");
        const uint32_t address = word(file, H10::flash_fw_ofs);
        expect(address >= H10::part_base &&
                   inside(file.size(), address - H10::part_base, word(file, H10::flash_fw_len)),
               kTarget, "a flash fw part reaching outside the file was accepted");
    }
}

bool validate(uint32_t mode, const uint8_t *data, size_t size) {
    static auto buffer = std::make_unique<F::ImageBuffer>();
    return ryn::fuzz::validate_buffered(
        kTarget, data, size, *buffer,
        [mode](const fw_update_arg &arg, F::ImageFile &file, uint32_t &length) {
            return F::read_lpc4320_image(arg, file, mode, *buffer, &length);
        },
        [mode](std::span<const uint8_t> file) { check_accepted(file, mode); });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    F::ImageParts v10;
    v10.header_minor = 0;
    const F::Bytes image10 = F::build_lpc4320_image(v10), image11 = F::build_lpc4320_image({});
    for (uint32_t mode : {RYN_UPDATE_NORMAL, RYN_UPDATE_FLASH_LAYOUT})
        ryn::fuzz::require_accepted(
            kTarget, "LPC4320 1.1", image11,
            [mode](const uint8_t *d, size_t n) { return validate(mode, d, n); });
    ryn::fuzz::require_accepted(kTarget, "LPC4320 1.0", image10, [](const uint8_t *d, size_t n) {
        return validate(RYN_UPDATE_FLASH_LAYOUT, d, n);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    validate(data[0] % 2 == 0 ? RYN_UPDATE_NORMAL : RYN_UPDATE_FLASH_LAYOUT, data + 1, size - 1);
    return 0;
}
