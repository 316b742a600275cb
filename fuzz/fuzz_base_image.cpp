// The base image and flash builder validators on arbitrary files. The first
// input byte chooses the format (even: base image, odd: flash builder file);
// the rest is the file. An accepted file has sections inside the file whose
// CRCs match as computed here from the header's layout, and the record holds
// exactly the file's bytes of each section; an accepted base image's fw
// header repeats the header and its layout sections lie in the flash layout
// region. The builders' base image and flash builder file are accepted.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "fuzz/image_check.h"
#include "fwupdate/base/image.h"
#include "sim/ryn_sim.h"

namespace {

namespace F = ryn::fwupdate;
using H = F::ImageHeader;
using VR = ryn::devinfo::VersionRecord;
using ryn::fuzz::expect;
using ryn::fuzz::word;
using Field = ryn::layout::Field;
constexpr const char *kTarget = "fuzz_base_image";

bool equal(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// A CRC-checked section, by its header fields.
struct Crc {
    F::Section section;
    Field offset, length, crc;
    const char *name;
};
constexpr Crc kCrcSections[] = {
    {F::Section::normal_code, H::normal_ofs, H::normal_len, H::normal_crc, "normal code"},
    {F::Section::update_code, H::update_ofs, H::update_len, H::update_crc, "update code"},
    {F::Section::boot_loader, H::bootldr_ofs, H::bootldr_len, H::bootldr_crc, "boot loader"},
    {F::Section::version_string, H::version_ofs, H::version_len, H::version_crc, "version string"},
    {F::Section::model_config, H::model_ofs, H::model_len, H::model_crc, "model config"},
    {F::Section::calibration, H::cali_ofs, H::cali_len, H::cali_crc, "calibration"},
};

void check_base(std::span<const uint8_t> file, const F::FwImage &image) {
    expect(file.size() >= H::block_size, kTarget, "an image without a whole header was accepted");
    expect(equal(image.header, file.first(H::block_size)), kTarget,
           "the header held is not the file's");
    for (const Crc &s : kCrcSections) {
        const uint64_t offset = uint64_t{word(file, s.offset)} + H::block_size;
        const uint32_t length = word(file, s.length);
        ryn::fuzz::expect_crc(kTarget, file, offset, length, word(file, s.crc), s.name);
        expect(equal(image.data(s.section), file.subspan(offset, length)), kTarget,
               "a section held is not the file's bytes");
    }
    expect(word(file, H::version_len) <= VR::size, kTarget,
           "a version string longer than its record was accepted");
    // The fw header section, zero-filled to the header's length, repeats the header.
    const uint64_t fw_offset = uint64_t{word(file, H::fw_header_ofs)} + H::block_size;
    const uint32_t fw_length = word(file, H::fw_header_len);
    expect(
        ryn::fuzz::inside(file.size(), fw_offset, fw_length) && fw_length <= F::section_area_size,
        kTarget, "a fw header section outside the file or its area was accepted");
    std::vector<uint8_t> fw_header(std::max<size_t>(fw_length, H::header_size));
    std::copy_n(file.begin() + static_cast<ptrdiff_t>(fw_offset), fw_length, fw_header.begin());
    expect(equal(std::span(fw_header).first(H::header_size), file.first(H::header_size)), kTarget,
           "a fw header that differs from the header was accepted");
}

void check_layout(std::span<const uint8_t> file) {
    for (const F::SectionFields &s : F::section_fields) {
        if (s.section == F::Section::normal_code) continue;
        const uint64_t start = word(file, s.offset), end = start + word(file, s.length);
        expect(start >= F::layout_start && end <= uint64_t{F::layout_start} + F::layout_size,
               kTarget, "a layout section outside the flash layout region was accepted");
    }
}

void check_flash_builder(std::span<const uint8_t> file, const F::FwImage &image) {
    using FB = F::FlashBuilderFile;
    expect(file.size() >= H::header_size, kTarget, "a file without a whole header was accepted");
    const uint64_t code = uint64_t{word(file, H::normal_ofs)} + FB::sections_from;
    const uint32_t code_length = word(file, H::normal_len);
    ryn::fuzz::expect_crc(kTarget, file, code, code_length, word(file, H::normal_crc),
                          "flash builder code");
    expect(equal(image.normal_code, file.subspan(code, code_length)), kTarget,
           "the code held is not the file's bytes");
    const uint64_t version = code + code_length + word(file, FB::version_gap);
    const uint32_t version_length = word(file, H::version_len);
    expect(version_length <= VR::size, kTarget,
           "a version string longer than its record was accepted");
    ryn::fuzz::expect_crc(kTarget, file, version, version_length, word(file, H::version_crc),
                          "version string");
    expect(equal(std::span(image.version).first(version_length),
                 file.subspan(version, version_length)),
           kTarget, "the version copy is not the file's bytes");
}

bool validate(bool flash_builder, const uint8_t *data, size_t size) {
    std::unique_ptr<F::ImageFile> file = ryn::fuzz::image_file(data, size);
    fw_update_arg arg{};  // no message sink
    auto image = std::make_unique<F::FwImage>();
    int result;
    if (flash_builder) {
        result = F::read_flash_builder(arg, *file, *image);
    } else {
        result = F::read_base_image(arg, *file, *image);
        if (result == 1) {
            check_base({data, size}, *image);
            result = F::check_layout_bounds(arg, *image);
            if (result == 1) check_layout({data, size});
        }
    }
    ryn_sim_trace_clear();  // the CRC calls would fill the trace
    expect(result == 0 || result == 1, kTarget, "the result is neither 0 nor 1");
    if (result == 1 && flash_builder) check_flash_builder({data, size}, *image);
    return result == 1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    ryn::fuzz::require_accepted(kTarget, "base", F::build_base_image({}),
                                [](const uint8_t *d, size_t n) { return validate(false, d, n); });
    ryn::fuzz::require_accepted(kTarget, "flash builder", F::build_flash_builder_file({}),
                                [](const uint8_t *d, size_t n) { return validate(true, d, n); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    validate(data[0] % 2 == 1, data + 1, size - 1);
    return 0;
}
