// Builder of the 5920 banked image.
#include <algorithm>
#include <string>

#include "formats/c5920_fw.h"
#include "fwupdate/common/image_file.h"
#include "tools/image_builder/generated.h"
#include "tools/image_builder/image_builder.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

namespace {

using B = BankedHeader;

constexpr size_t first_bank = 0x1000;

uint32_t crc_of(const Bytes &b) {
    return ryn_calc_crc(b.data(), static_cast<uint32_t>(b.size()));
}

}  // namespace

Bytes build_banked_image(const ImageParts &p) {
    if (p.update_code || p.boot_loader)
        throw BuildError("a banked image holds code banks, model config and calibration only");
    if (p.header_minor != 1) throw BuildError("a banked image has no header version to choose");
    Bytes code = p.normal_code.value_or(generated(3 * B::bank_size, u"banks " + p.normal_version));
    const size_t banks = (code.size() + B::bank_size - 1) / B::bank_size;
    if (banks == 0 || banks > B::max_banks)
        throw BuildError("the code of " + std::to_string(code.size()) +
                         " bytes does not fill 1 to 8 banks of 24576 bytes");
    code.resize(banks * B::bank_size, 0xFF);
    const Bytes model_cfg = p.model_config.value_or(generated_record(8192, 0, 3, u"model 5920"));
    const Bytes cali = p.calibration.value_or(generated_record(8192, 1, 0, u"calibration 5920"));

    Bytes image(first_bank, 0xFF);
    std::fill_n(image.begin(), B::size, uint8_t{0});
    append_aligned(image, code);  // at first_bank, a 256-byte boundary
    const size_t model_at = append_aligned(image, model_cfg);
    const size_t cali_at = append_aligned(image, cali);
    if (image.size() > image_buffer_size)
        throw BuildError("the image of " + std::to_string(image.size()) +
                         " bytes does not fit the 262144-byte image buffer");

    B::header_len.put(image, B::size);
    B::magic.put(image, B::magic_value);
    B::boot_word.put(image, BankedFwHeaderRecord::boot_from_flash);
    B::bank_num.put(image, banks);
    for (size_t i = 0; i < banks; ++i)
        B::bank_address.at(i).put(image, first_bank + i * B::bank_size);
    B::model_ofs.put(image, model_at);
    B::model_len.put(image, model_cfg.size());
    B::model_crc.put(image, crc_of(model_cfg));
    B::cali_ofs.put(image, cali_at);
    B::cali_len.put(image, cali.size());
    B::cali_crc.put(image, crc_of(cali));
    uint32_t sum = 0;
    for (size_t i = B::checksum_from; i < B::size; ++i) sum += image[i];
    B::checksum.put(image, sum);
    return image;
}

}  // namespace ryn::fwupdate
