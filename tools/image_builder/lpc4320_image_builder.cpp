// Builder of the six-camera LPC4320 image.
#include <algorithm>
#include <string>

#include "tools/image_builder/generated.h"
#include "tools/image_builder/image_builder.h"
#include "formats/lpc4320_fw.h"
#include "fwupdate/common/image_file.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

namespace {

using H10 = Lpc4320Header10;
using H11 = Lpc4320Header11;

// The LPC4320's flash bank; the low 24 bits are the flash offset of the code.
constexpr uint32_t flash_bank = 0x1A000000;
constexpr uint32_t sram_base = 0x10000000;

}  // namespace

Bytes build_lpc4320_image(const ImageParts &p) {
    if (p.boot_loader) throw BuildError("an LPC4320 image holds no boot loader");
    if (p.header_minor > 1) throw BuildError("the LPC4320 header version is 1.0 or 1.1");
    const bool v11 = p.header_minor == 1;
    const Bytes code = p.normal_code.value_or(generated(0x8000, u"lpc4320 " + p.normal_version));
    const Bytes flash_fw =
        p.update_code.value_or(generated(0x2000, u"flash fw " + p.updater_version));
    const Bytes model_cfg = p.model_config.value_or(generated_record(8192, 0, 2, u"model 4320"));
    const Bytes cali = p.calibration.value_or(generated_record(8192, 1, 0, u"calibration 4320"));
    const Bytes sram1 = generated(0x1000, u"ahb sram 1");
    const Bytes sram2 = generated(0x800, u"ahb sram 2");
    if (code.empty()) throw BuildError("the firmware code is empty");

    Bytes image(H10::code_offset, 0xFF);
    std::fill_n(image.begin(), H11::size, uint8_t{0});
    append_aligned(image, code);  // at 0x1000, a 256-byte boundary
    // A part's flash address is its file offset + 0x10000.
    auto place = [&](const Lpc4320Part &part, const Bytes &data) {
        const size_t at = append_aligned(image, data);
        part.offset.put(image, at + H10::part_base);
        part.length.put(image, data.size());
        part.crc.put(image, ryn_calc_crc(data.data(), static_cast<uint32_t>(data.size())));
    };
    place(lpc4320_flash_fw_part, flash_fw);
    place(lpc4320_model_cfg_part, model_cfg);
    place(lpc4320_cali_part, cali);
    if (v11) {
        place(lpc4320_sram1_part, sram1);
        place(lpc4320_sram2_part, sram2);
    }
    if (image.size() > image_buffer_size)
        throw BuildError("the image of " + std::to_string(image.size()) +
                         " bytes does not fit the 262144-byte image buffer");

    const size_t header_len = v11 ? H11::size : H10::size;
    H10::header_len.put(image, header_len);
    H10::magic.put(image, H10::magic_value);
    H10::fw_src_addr.put(image, flash_bank + H10::part_base + H10::code_offset);
    H10::fw_dst_addr.put(image, sram_base);
    H10::fw_length.put(image, code.size());
    H10::major.put(image, 1);
    H10::minor.put(image, p.header_minor);
    H10::header_crc.put(image, ryn_calc_crc(image.data() + H10::crc_from,
                                            static_cast<uint32_t>(header_len - H10::crc_from)));
    return image;
}

}  // namespace ryn::fwupdate
