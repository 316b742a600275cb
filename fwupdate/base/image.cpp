// Image validation: the section reader, the checks of the base image and the
// reading of the flash builder file. Every offset and length
// of a header is checked against the file and the areas before it is used.
#include "fwupdate/base/image.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "frame/sink.h"
#include "fwupdate/common/header_dump.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

using H = ImageHeader;
using VR = devinfo::VersionRecord;

std::span<const uint8_t> FwImage::data(Section s) const {
    auto cut = [&](const std::vector<uint8_t> &area, const layout::Field &length) {
        return std::span<const uint8_t>(area).first(std::min<size_t>(field(length), area.size()));
    };
    switch (s) {
        case Section::normal_code:
            return normal_code;
        case Section::update_code:
            return update_code;
        case Section::boot_loader:
            return boot_loader;
        case Section::calibration:
            return calibration;
        case Section::fw_header:
            return cut(fw_header_area, H::fw_header_len);
        case Section::version_string:
            return cut(version_area, H::version_len);
        case Section::model_config:
            return cut(model_cfg_area, H::model_len);
    }
    return {};
}

int check_normal_version(const fw_update_arg &arg, const FwImage &image) {
    // A section shorter than the record leaves the rest of the copy zero: its
    // normal version would be cut or blank.
    const uint32_t length = image.field(H::version_len);
    if (length < VR::size) {
        frame::report(arg,
                      u"[Error] The version string section of 0x%08x bytes is shorter than one "
                      u"version record of 0x%08x bytes.\n",
                      length, static_cast<uint32_t>(VR::size));
        return 0;
    }
    const size_t normal = layout::utf16_field(image.version, VR::normal).size();
    if (normal == 0) {
        frame::report(arg, u"[Error] The version string section holds no normal code version.\n");
        return 0;
    }
    if (normal < VR::string_chars) return 1;
    frame::report(arg, u"Fail to patch the normal code version.");
    return 0;
}

namespace {

// True when length bytes at position lie inside the file.
bool inside(const ImageFile &file, uint64_t position, uint32_t length) {
    return position <= file.size() && length <= file.size() - position;
}

// Reads length bytes at position into a buffer of that length. A range that
// does not lie inside the file is not allocated: its read fails as a short
// read does.
int read_into_buffer(const fw_update_arg &arg, ImageFile &file, uint64_t position, uint32_t length,
                     std::vector<uint8_t> &buffer, text::format_string<> allocation_failure) {
    if (inside(file, position, length)) {
        try {
            buffer.assign(length, 0);
        } catch (const std::bad_alloc &) {
            frame::report(arg, allocation_failure);
            return 0;
        }
    }
    if (!read_image_part(arg, file, buffer, position)) {
        frame::report(arg, u"Failed to read buffer from file\n");
        return 0;
    }
    return 1;
}

// Reads a section of the base image into a buffer of its own length.
int read_buffer_section(const fw_update_arg &arg, ImageFile &file, const FwImage &image,
                        const SectionFields &where, std::vector<uint8_t> &buffer,
                        text::format_string<> allocation_failure) {
    return read_into_buffer(arg, file, uint64_t{image.field(where.offset)} + H::block_size,
                            image.field(where.length), buffer, allocation_failure);
}

// Reads a section into its fixed area. A length beyond the area (or beyond
// one version record, for the version string) is refused before the read.
int read_area_section(const fw_update_arg &arg, ImageFile &file, const FwImage &image,
                      const SectionFields &where, std::vector<uint8_t> &area, size_t limit) {
    const uint32_t length = image.field(where.length);
    if (length > limit) {
        frame::report(arg,
                      u"The %s section of 0x%08x bytes does not fit its area of 0x%08x bytes.\n",
                      where.name, length, static_cast<uint32_t>(limit));
        return 0;
    }
    const uint64_t position = uint64_t{image.field(where.offset)} + H::block_size;
    if (!read_image_part(arg, file, std::span<uint8_t>(area).first(length), position)) {
        frame::report(arg, u"Failed to read buffer from file\n");
        return 0;
    }
    return 1;
}

// Compares the CRC of data with the one the header stores.
int check_crc(const fw_update_arg &arg, std::span<const uint8_t> data, uint32_t stored,
              text::format_string<uint32_t, uint32_t> mismatch) {
    const uint32_t computed = ryn_calc_crc(data.data(), static_cast<uint32_t>(data.size()));
    if (computed == stored) return 1;
    frame::report(arg, mismatch, stored, computed);
    return 0;
}

const SectionFields &fields_of(Section s) {
    return section_fields[static_cast<size_t>(s)];
}

}  // namespace

int read_base_image(const fw_update_arg &arg, ImageFile &file, FwImage &image) {
    // The record starts zero-filled (FwImage's own initial state).
    // Header and extra header.
    std::span<uint8_t> block(image.header);
    if (file.read(block.first(H::header_size)) != H::header_size) {
        frame::report(arg, u"Fail to read the firmware header.\n");
        return 0;
    }
    if (file.read(block.subspan(H::header_size)) != H::block_size - H::header_size) {
        frame::report(arg, u"Fail to read the extra header.\n");
        return 0;
    }
    // The header dumps.
    report_header_dump(arg, u"==============HDR=============\n", image_header_dump, image.header);
    report_header_dump(arg, u"===========Extra HDR===========\n", image_extra_header_dump,
                       image.header, u"===============================\n");
    // The sections are read by their offsets from the file's start.
    if (!file.seek(0)) {
        frame::report(arg, u"Fail to seek to position 0.\n");
        return 0;
    }
    // Normal code.
    if (!read_buffer_section(arg, file, image, fields_of(Section::normal_code), image.normal_code,
                             u"Fail to allocate the code buffer.\n") ||
        !check_crc(arg, image.normal_code, image.field(H::normal_crc),
                   u"Fail to check the normal code CRC: 0x%08x (header) != 0x%08x (normal code)\n"))
        return 0;
    // Update code.
    if (!read_buffer_section(arg, file, image, fields_of(Section::update_code), image.update_code,
                             u"Fail to allocate the update code buffer.\n") ||
        !check_crc(arg, image.update_code, image.field(H::update_crc),
                   u"Fail to check the update code CRC: 0x%08x (header) != 0x%08x (update code)\n"))
        return 0;
    // Boot loader.
    if (!read_buffer_section(arg, file, image, fields_of(Section::boot_loader), image.boot_loader,
                             u"Fail to allocate the update code buffer.\n") ||
        !check_crc(
            arg, image.boot_loader, image.field(H::bootldr_crc),
            u"Fail to check the boot loader code CRC: 0x%08x (header) != 0x%08x ( boot loader)\n"))
        return 0;
    // The fw header: its first 68 bytes equal the header (a shorter section
    // is compared with the zero-filled rest of its area).
    if (!read_area_section(arg, file, image, fields_of(Section::fw_header), image.fw_header_area,
                           section_area_size))
        return 0;
    if (std::memcmp(image.fw_header_area.data(), image.header.data(), H::header_size) != 0) {
        frame::report(arg, u"Fial to check the FW header.\n");
        return 0;
    }
    // Version string: one version record at most.
    if (!read_area_section(arg, file, image, fields_of(Section::version_string), image.version_area,
                           VR::size) ||
        !check_crc(
            arg, image.data(Section::version_string), image.field(H::version_crc),
            u"Fail to check the version string CRC: 0x%08x (header) != 0x%08x (version string)\n"))
        return 0;
    // Model config.
    if (!read_area_section(arg, file, image, fields_of(Section::model_config), image.model_cfg_area,
                           section_area_size) ||
        !check_crc(
            arg, image.data(Section::model_config), image.field(H::model_crc),
            u"Fail to check the model config CRC: 0x%08x (header) != 0x%08x (model config)\n"))
        return 0;
    // Calibration.
    if (!read_buffer_section(arg, file, image, fields_of(Section::calibration), image.calibration,
                             u"Fail to allocate the update code buffer.\n") ||
        !check_crc(arg, image.calibration, image.field(H::cali_crc),
                   u"Fail to check the calibration CRC: 0x%08x (header) != 0x%08x (calibration)\n"))
        return 0;
    // The version string copy; its normal version must fit the patch
    // that every sequence makes.
    std::copy_n(image.version_area.begin(), VR::size, image.version.begin());
    return check_normal_version(arg, image);
}

int read_flash_builder(const fw_update_arg &arg, ImageFile &file, FwImage &image) {
    using FB = FlashBuilderFile;
    // Header and its dump.
    std::span<uint8_t> header = std::span<uint8_t>(image.header).first(H::header_size);
    if (file.read(header) != H::header_size) {
        frame::report(arg, u"Fail to read the firmware header.\n");
        return 0;
    }
    report_header_dump(arg, u"==============HDR=============\n", flash_builder_dump, image.header,
                       u"==============================\n");
    // The code and version string are read by their offsets from the file's start.
    if (!file.seek(0)) {
        frame::report(arg, u"Fail to seek to position 0.\n");
        return 0;
    }
    // The flash builder code.
    const uint32_t code_length = image.field(H::normal_len);
    const uint64_t code_position = uint64_t{image.field(H::normal_ofs)} + FB::sections_from;
    if (!read_into_buffer(arg, file, code_position, code_length, image.normal_code,
                          u"Fail to allocate the code buffer.\n"))
        return 0;
    if (!check_crc(
            arg, image.normal_code, image.field(H::normal_crc),
            u"Fail to check the flash builder code CRC: 0x%08x (header) != 0x%08x (normal code)\n"))
        return 0;
    // The version string lies behind the code, moved on by the word at offset 36.
    const uint32_t version_length = image.field(H::version_len);
    if (version_length > VR::size) {
        frame::report(arg,
                      u"The %s section of 0x%08x bytes does not fit its area of 0x%08x bytes.\n",
                      u"version string", version_length, static_cast<uint32_t>(VR::size));
        return 0;
    }
    const uint64_t version_position = code_position + code_length + image.field(FB::version_gap);
    if (!read_image_part(arg, file, std::span<uint8_t>(image.version_area).first(version_length),
                         version_position)) {
        frame::report(arg, u"Failed to read buffer from file\n");
        return 0;
    }
    if (!check_crc(
            arg, std::span<const uint8_t>(image.version_area).first(version_length),
            image.field(H::version_crc),
            u"Fail to check the version string CRC: 0x%08x (header) != 0x%08x (version string)\n"))
        return 0;
    // The flash builder's normal version is patched at its install.
    std::copy_n(image.version_area.begin(), VR::size, image.version.begin());
    image.default_model_cfg = nullptr;
    return check_normal_version(arg, image);
}

int check_layout_bounds(const fw_update_arg &arg, const FwImage &image) {
    for (const SectionFields &s : section_fields) {
        if (s.section == Section::normal_code) continue;  // not part of the layout
        const uint64_t start = image.field(s.offset), end = start + image.field(s.length);
        if (start < layout_start || end > uint64_t{layout_start} + layout_size) {
            frame::report(
                arg,
                u"The %s section (0x%08x, 0x%08x bytes) lies outside the flash layout region "
                u"0x%08x to 0x%08x.\n",
                s.name, image.field(s.offset), image.field(s.length), layout_start,
                layout_start + layout_size);
            return 0;
        }
    }
    return 1;
}

}  // namespace ryn::fwupdate
