// The 5920 banked image validator on arbitrary files. The image buffer ends,
// for AddressSanitizer, at the file's length; an accepted image has the magic,
// a header byte sum and model configuration and calibration CRCs that match
// as computed here from the header's layout; the builder's image is accepted.
#include <cstdint>
#include <memory>
#include <span>

#include "fuzz/image_check.h"
#include "fwupdate/c5920/image.h"
#include "sim/ryn_sim.h"

namespace {

namespace F = ryn::fwupdate;
using B = F::BankedHeader;
using ryn::fuzz::expect;
using ryn::fuzz::word;
constexpr const char *kTarget = "fuzz_c5920_image";

void check_accepted(std::span<const uint8_t> file) {
    expect(file.size() >= B::size, kTarget, "an image without a whole header was accepted");
    expect(word(file, B::magic) == B::magic_value, kTarget, "a wrong magic was accepted");
    const uint32_t header_len = word(file, B::header_len);
    expect(header_len >= B::checksum_from && header_len <= file.size(), kTarget,
           "a header len outside the file was accepted");
    uint32_t sum = 0;
    for (uint8_t b : file.subspan(B::checksum_from, header_len - B::checksum_from)) sum += b;
    expect(sum == word(file, B::checksum), kTarget, "a wrong header checksum was accepted");
    ryn::fuzz::expect_crc(kTarget, file, word(file, B::model_ofs), word(file, B::model_len),
                          word(file, B::model_crc), "model config");
    ryn::fuzz::expect_crc(kTarget, file, word(file, B::cali_ofs), word(file, B::cali_len),
                          word(file, B::cali_crc), "cali info");
}

// Validates one file; on acceptance checks it. True when accepted.
bool validate(const uint8_t *data, size_t size) {
    static auto buffer = std::make_unique<F::ImageBuffer>();
    return ryn::fuzz::validate_buffered(
        kTarget, data, size, *buffer,
        [](const fw_update_arg &arg, F::ImageFile &file, uint32_t &length) {
            return F::read_banked_image(arg, file, *buffer, &length);
        },
        check_accepted);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    ryn::fuzz::require_accepted(kTarget, "banked", F::build_banked_image({}), validate);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    validate(data, size);
    return 0;
}
