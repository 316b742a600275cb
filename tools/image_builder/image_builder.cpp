#include "tools/image_builder/image_builder.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "formats/base_fw.h"
#include "formats/c5810_fw.h"
#include "formats/version_record.h"
#include "tools/image_builder/generated.h"
#include "ryn_hid.h"
#include "sim/ryn_sim.h"
#include "text/text.h"

namespace ryn::fwupdate {

// Deterministic filler: bytes that differ with the seed text.
Bytes generated(size_t size, std::u16string_view seed) {
    uint32_t x = 2166136261u;
    for (char16_t c : seed) x = (x ^ c) * 16777619u;
    Bytes out(size);
    for (uint8_t &b : out) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return out;
}

// A record with its length and version header and generated contents.
Bytes generated_record(size_t size, uint8_t minor, uint8_t major, std::u16string_view seed) {
    Bytes r = generated(size, seed);
    layout::Field{"length", 0, 2}.put(r, size);
    layout::Field{"minor", 2, 1}.put(r, minor);
    layout::Field{"major", 3, 1}.put(r, major);
    return r;
}

size_t append_aligned(Bytes &image, const Bytes &data) {
    image.resize((image.size() + 0xFF) & ~size_t{0xFF}, 0xFF);
    const size_t at = image.size();
    image.insert(image.end(), data.begin(), data.end());
    return at;
}

namespace {

using H = ImageHeader;
using VR = devinfo::VersionRecord;

void put_text(Bytes &record, const layout::Field &field, const std::u16string &text,
              const char *what) {
    if (text.size() + 1 > VR::string_chars)
        throw BuildError(std::string(what) + " '" + text::to_utf8(text) +
                         "' is longer than 59 characters");
    for (size_t i = 0; i < text.size(); ++i)
        layout::Field{"", field.offset + 2 * i, 2}.put(record, text[i]);
}

// One version record: the version string section.
Bytes version_record(const ImageParts &p) {
    Bytes r(VR::size, 0);
    VR::length.put(r, VR::size);
    VR::minor.put(r, 3);
    VR::major.put(r, 1);
    put_text(r, VR::bootldr, p.bootldr_version, "the boot loader version");
    put_text(r, VR::normal, p.normal_version, "the normal-code version");
    put_text(r, VR::updater, p.updater_version, "the updater version");
    return r;
}

uint32_t crc_of(const Bytes &b) {
    return ryn_calc_crc(b.data(), static_cast<uint32_t>(b.size()));
}

}  // namespace

Bytes build_base_image(const ImageParts &p) {
    const Bytes normal = p.normal_code.value_or(generated(0x4000, u"normal " + p.normal_version));
    if (normal.empty() || normal.size() > layout_start)
        throw BuildError("the normal code of " + std::to_string(normal.size()) +
                         " bytes does not fit below the layout region (1 to 131072 bytes)");
    const Bytes version = version_record(p);
    const Bytes model_cfg = p.model_config.value_or(generated_record(6144, 3, 1, u"model"));
    if (model_cfg.size() > section_area_size)
        throw BuildError("the model configuration of " + std::to_string(model_cfg.size()) +
                         " bytes is longer than its 16384-byte area");
    const Bytes cali = p.calibration.value_or(generated_record(8192, 10, 0, u"calibration"));
    const Bytes update = p.update_code.value_or(generated(0x4000, u"update " + p.updater_version));
    const Bytes boot = p.boot_loader.value_or(generated(0x2000, u"boot " + p.bootldr_version));
    Bytes fw_header(H::header_size);  // the header copy, filled once the header is complete

    Bytes block(H::block_size, 0);
    H::word0.put(block, 0x52594E42);
    H::word1.put(block, 0x00010000);
    std::vector<std::pair<uint64_t, const Bytes *>> placed;
    uint64_t at = layout_start;
    auto place = [&](const layout::Field &ofs, const layout::Field &len, const Bytes &data) {
        ofs.put(block, at);
        len.put(block, data.size());
        placed.emplace_back(at, &data);
        at = (at + data.size() + 0xFF) & ~uint64_t{0xFF};
    };
    place(H::fw_header_ofs, H::fw_header_len, fw_header);
    place(H::version_ofs, H::version_len, version);
    place(H::model_ofs, H::model_len, model_cfg);
    place(H::cali_ofs, H::cali_len, cali);
    place(H::update_ofs, H::update_len, update);
    place(H::bootldr_ofs, H::bootldr_len, boot);
    const uint64_t end = placed.back().first + boot.size();
    if (end > uint64_t{layout_start} + layout_size)
        throw BuildError("the sections do not fit the 0x60000-byte layout region");
    H::normal_ofs.put(block, 0);
    H::normal_len.put(block, normal.size());
    H::normal_crc.put(block, crc_of(normal));
    H::version_crc.put(block, crc_of(version));
    H::model_crc.put(block, crc_of(model_cfg));
    H::cali_crc.put(block, crc_of(cali));
    H::update_crc.put(block, crc_of(update));
    H::bootldr_crc.put(block, crc_of(boot));
    std::copy_n(block.begin(), H::header_size, fw_header.begin());

    Bytes image(H::block_size + end, 0xFF);
    std::copy(block.begin(), block.end(), image.begin());
    std::copy(normal.begin(), normal.end(), image.begin() + H::block_size);
    for (const auto &[offset, data] : placed)
        std::copy(data->begin(), data->end(),
                  image.begin() + static_cast<ptrdiff_t>(H::block_size + offset));
    return image;
}

Bytes build_flash_builder_file(const ImageParts &p) {
    if (p.update_code || p.boot_loader || p.calibration || p.model_config)
        throw BuildError("a flash builder file holds only its code and its version record");
    const std::string_view mark = RYN_SIM_FLASH_BUILDER_MARK;
    Bytes code = p.normal_code.value_or(generated(0x3000, u"flash builder " + p.normal_version));
    if (code.size() < mark.size() || !std::equal(mark.begin(), mark.end(), code.begin()))
        code.insert(code.begin(), mark.begin(), mark.end());
    const Bytes version = version_record(p);

    Bytes header(H::header_size, 0);
    H::word0.put(header, 0x52594E46);
    H::normal_ofs.put(header, 0);
    H::normal_len.put(header, code.size());
    H::normal_crc.put(header, crc_of(code));
    FlashBuilderFile::version_gap.put(header, flash_builder_gap);
    H::version_ofs.put(header, code.size() + flash_builder_gap);
    H::version_len.put(header, version.size());
    H::version_crc.put(header, crc_of(version));

    Bytes file(header.size() + code.size() + flash_builder_gap + version.size(), 0xFF);
    auto at = std::copy(header.begin(), header.end(), file.begin());
    at = std::copy(code.begin(), code.end(), at);
    std::copy(version.begin(), version.end(), at + flash_builder_gap);
    return file;
}

}  // namespace ryn::fwupdate

namespace ryn::fwupdate {

Bytes build_5810_image(const ImageParts &p) {
    using H5 = Image5810Header;
    if (p.update_code || p.boot_loader)
        throw BuildError("a 5810 image holds its firmware, model configuration and calibration only");
    const Bytes code = p.normal_code.value_or(generated(0x3000, u"5810 firmware " + p.normal_version));
    const Bytes model_cfg = p.model_config.value_or(generated_record(8192, 0, 2, u"5810 model"));
    const Bytes cali = p.calibration.value_or(generated_record(8192, 1, 0, u"5810 calibration"));
    if (code.empty()) throw BuildError("the firmware is empty");
    // The firmware runs from file offset 0 around the header: its first 4096
    // bytes, the header, then the rest; the sections follow at 256-byte
    // boundaries.
    const size_t head = std::min<size_t>(code.size(), H5::file_offset);
    const uint64_t firmware_end = H5::end_in_file + (code.size() - head);
    const uint64_t model_at = (firmware_end + 0xFF) & ~uint64_t{0xFF};
    const uint64_t cali_at = (model_at + model_cfg.size() + 0xFF) & ~uint64_t{0xFF};
    const uint64_t end = cali_at + cali.size();
    if (end > flash_5810_size)
        throw BuildError("the image of " + std::to_string(end) +
                         " bytes does not fit the 262144-byte image buffer");

    Bytes image(static_cast<size_t>(end), 0xFF);
    std::copy_n(code.begin(), head, image.begin());
    std::copy(code.begin() + static_cast<ptrdiff_t>(head), code.end(),
              image.begin() + H5::end_in_file);
    std::copy(model_cfg.begin(), model_cfg.end(), image.begin() + static_cast<ptrdiff_t>(model_at));
    std::copy(cali.begin(), cali.end(), image.begin() + static_cast<ptrdiff_t>(cali_at));

    std::span<uint8_t> header = std::span<uint8_t>(image).subspan(H5::file_offset, H5::size);
    std::fill(header.begin(), header.end(), uint8_t{0});
    H5::length.put(header, H5::size);
    H5::magic.put(header, H5::magic_value);
    H5::flash_boot.put(header, 0x00001000);
    H5::firmware_ofs.put(header, 0);
    H5::firmware_len.put(header, firmware_end);
    H5::major.put(header, 1);
    H5::minor.put(header, 1);
    H5::model_ofs.put(header, model_at);
    H5::model_len.put(header, model_cfg.size());
    H5::model_crc.put(header, crc_of(model_cfg));
    H5::cali_ofs.put(header, cali_at);
    H5::cali_len.put(header, cali.size());
    H5::cali_crc.put(header, crc_of(cali));
    fix_5810_header_crc(image);
    return image;
}

void fix_5810_header_crc(Bytes &image) {
    using H5 = Image5810Header;
    std::span<uint8_t> header = std::span<uint8_t>(image).subspan(H5::file_offset);
    const uint64_t length = H5::length.get(header);
    if (length < H5::crc_from || length > header.size()) return;  // no CRC covers such a header
    H5::crc.put(header, ryn_calc_crc(header.data() + H5::crc_from,
                                         static_cast<uint32_t>(length - H5::crc_from)));
}

}  // namespace ryn::fwupdate
