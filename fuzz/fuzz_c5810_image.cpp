// The 5810 image validator on arbitrary files. The first input byte chooses
// the policy (even: the second controller's, odd: a six-camera device's); the
// rest is the file. The image buffer ends, for AddressSanitizer, at the
// file's length; an accepted image holds its header whole, has the magic
// (and header version 1.1 under the six-camera policy), a header CRC and
// section CRCs that match as computed here from the header's layout, and a
// firmware length inside the file. The builder's image is accepted by both.
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/image_check.h"
#include "fwupdate/c5810/image.h"
#include "sim/ryn_sim.h"

namespace {

namespace F = ryn::fwupdate;
using H = F::Image5810Header;
using ryn::fuzz::expect;
constexpr const char *kTarget = "fuzz_c5810_image";

void check_accepted(std::span<const uint8_t> file, F::Image5810Policy policy) {
    expect(file.size() >= H::end_in_file && file.size() <= F::image_5810_buffer_size, kTarget,
           "an image not holding its header, or longer than the buffer, was accepted");
    const std::span<const uint8_t> header = file.subspan(H::file_offset);
    auto word = [&](const ryn::layout::Field &f) { return ryn::fuzz::word(header, f); };
    expect(word(H::magic) == H::magic_value, kTarget, "a wrong magic was accepted");
    if (policy == F::Image5810Policy::sixcam5810)
        expect(word(H::major) == 1 && word(H::minor) == 1, kTarget,
               "a header version other than 1.1 was accepted for a six-camera device");
    const uint32_t length = word(H::length);
    expect(length >= H::crc_from, kTarget, "a header length below its CRC start was accepted");
    ryn::fuzz::expect_crc(kTarget, file, H::file_offset + H::crc_from, length - H::crc_from,
                          word(H::crc), "header");
    ryn::fuzz::expect_crc(kTarget, file, word(H::model_ofs), word(H::model_len), word(H::model_crc),
                          "model config");
    ryn::fuzz::expect_crc(kTarget, file, word(H::cali_ofs), word(H::cali_len), word(H::cali_crc),
                          "cali info");
    expect(word(H::firmware_len) <= file.size(), kTarget,
           "a firmware length beyond the file was accepted");
}

bool validate(F::Image5810Policy policy, const uint8_t *data, size_t size) {
    static std::vector<uint8_t> buffer(F::image_5810_buffer_size);
    return ryn::fuzz::validate_buffered(
        kTarget, data, size, buffer,
        [policy](const fw_update_arg &arg, F::ImageFile &file, uint32_t &length) {
            return F::read_5810_image(arg, file, policy, buffer, length);
        },
        [policy](std::span<const uint8_t> file) { check_accepted(file, policy); });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const F::Bytes image = F::build_5810_image({});
    for (F::Image5810Policy policy : {F::Image5810Policy::c5810, F::Image5810Policy::sixcam5810})
        ryn::fuzz::require_accepted(kTarget, "5810", image, [policy](const uint8_t *d, size_t n) {
            return validate(policy, d, n);
        });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    validate(data[0] % 2 == 0 ? F::Image5810Policy::c5810 : F::Image5810Policy::sixcam5810, data + 1,
             size - 1);
    return 0;
}
