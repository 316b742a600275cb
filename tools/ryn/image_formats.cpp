// The image format table and the reading of an image's header and sections.
#include "image_formats.h"

#include <array>
#include <memory>

#include "cli.h"
#include "host_os.h"
#include "formats/version_record.h"
#include "fwupdate/c5920/image.h"
#include "fwupdate/c5810/image.h"
#include "fwupdate/lpc4320/image.h"
#include "ryn_hid.h"
#include "text/text.h"

namespace ryn::cli {

namespace {

using fwupdate::Bytes;
using Span = std::span<const uint8_t>;

int validate_base(const fw_update_arg &arg, fwupdate::ImageFile &file) {
    auto image = std::make_unique<fwupdate::FwImage>();
    return fwupdate::read_base_image(arg, file, *image);
}

int validate_flash_builder(const fw_update_arg &arg, fwupdate::ImageFile &file) {
    auto image = std::make_unique<fwupdate::FwImage>();
    return fwupdate::read_flash_builder(arg, file, *image);
}

// The 5810 image as the second controller's update checks it.
int validate_5810(const fw_update_arg &arg, fwupdate::ImageFile &file) {
    std::vector<uint8_t> buffer(fwupdate::image_5810_buffer_size);
    uint32_t length = 0;
    return fwupdate::read_5810_image(arg, file, fwupdate::Image5810Policy::c5810, buffer, length);
}

// The banked and LPC4320 images are validated in an image buffer of their
// own; a banked image is checked as normal mode writes it (its code banks
// too), an LPC4320 image for the mode its header version allows (1.1:
// normal, 1.0: flash layout).
int validate_banked(const fw_update_arg &arg, fwupdate::ImageFile &file) {
    auto buffer = std::make_unique<fwupdate::ImageBuffer>();
    uint32_t length = 0;
    return fwupdate::read_banked_image(arg, file, *buffer, &length);
}

int validate_lpc4320(const fw_update_arg &arg, fwupdate::ImageFile &file) {
    using H10 = fwupdate::Lpc4320Header10;
    std::array<uint8_t, H10::size> header{};
    const bool v10 = file.read(header) == header.size() && H10::minor.get(header) == 0;
    auto buffer = std::make_unique<fwupdate::ImageBuffer>();
    uint32_t length = 0;
    return fwupdate::read_lpc4320_image(
        arg, file, v10 ? RYN_UPDATE_FLASH_LAYOUT : RYN_UPDATE_NORMAL, *buffer, &length);
}

// A field of the image at a file position (0 when it lies outside).
uint64_t field_at(Span image, size_t at, const layout::Field &f) {
    return at <= image.size() ? f.get(image.subspan(at)) : 0;
}

void add_fields(ImageReport &r, Span image, size_t at, std::span<const layout::Field> fields, size_t limit) {
    for (const layout::Field &f : fields) {
        if (f.end() > limit) continue;
        if (f.width > 8) continue;  // reserved runs
        r.header.emplace_back(std::string(f.name), field_at(image, at, f));
    }
}

// A section at a file offset; its CRC (when the format keeps one) computed
// only when it lies inside the file.
void add_section(ImageReport &r, Span image, const std::string &name, uint64_t offset, uint64_t length,
                 const uint32_t *stored_crc = nullptr) {
    SectionReport s;
    s.name = name;
    s.offset = offset;
    s.length = length;
    s.inside = offset <= image.size() && length <= image.size() - offset;
    if (stored_crc) {
        s.has_crc = true;
        s.crc_stored = *stored_crc;
        if (s.inside && length <= UINT32_MAX)
            s.crc_computed = ryn_calc_crc(image.data() + offset, static_cast<uint32_t>(length));
    }
    r.sections.push_back(s);
}

// A section whose offset, length and CRC are header fields.
void add_crc_section(ImageReport &r, Span image, size_t header_at, const std::string &name,
                     const layout::Field &ofs, const layout::Field &len, const layout::Field &crc,
                     int64_t base) {
    const auto stored = static_cast<uint32_t>(field_at(image, header_at, crc));
    const int64_t offset = static_cast<int64_t>(field_at(image, header_at, ofs)) + base;
    add_section(r, image, name, offset < 0 ? UINT64_MAX : static_cast<uint64_t>(offset),
                field_at(image, header_at, len), &stored);
}

// The three version texts of a version record lying at a file position.
void add_version_record(ImageReport &r, Span image, uint64_t at) {
    using VR = devinfo::VersionRecord;
    if (at > image.size() || image.size() - at < VR::size) return;
    const Span record = image.subspan(static_cast<size_t>(at), VR::size);
    for (const layout::Field &f : {VR::bootldr, VR::normal, VR::updater})
        r.versions.emplace_back(std::string(f.name), record_text(record, f));
}

void add_header_version(ImageReport &r, Span image, size_t at, const layout::Field &major,
                        const layout::Field &minor) {
    r.versions.emplace_back("header version", std::to_string(field_at(image, at, major)) + "." +
                                                  std::to_string(field_at(image, at, minor)));
}

// A header CRC kept in the header over [crc_from, header length).
void add_header_crc(ImageReport &r, Span image, size_t at, const layout::Field &len, const layout::Field &crc,
                    size_t crc_from) {
    const uint64_t length = field_at(image, at, len);
    const auto stored = static_cast<uint32_t>(field_at(image, at, crc));
    add_section(r, image, "header", at + crc_from, length >= crc_from ? length - crc_from : UINT64_MAX, &stored);
}

void describe_base(ImageReport &r, Span image) {
    using H = fwupdate::ImageHeader;
    const int64_t base = H::block_size;
    add_fields(r, image, 0, H::fields, H::block_size);
    add_crc_section(r, image, 0, "normal code", H::normal_ofs, H::normal_len, H::normal_crc, base);
    add_crc_section(r, image, 0, "update code", H::update_ofs, H::update_len, H::update_crc, base);
    add_crc_section(r, image, 0, "boot loader", H::bootldr_ofs, H::bootldr_len, H::bootldr_crc, base);
    add_section(r, image, "fw header", field_at(image, 0, H::fw_header_ofs) + base, field_at(image, 0, H::fw_header_len));
    add_crc_section(r, image, 0, "version string", H::version_ofs, H::version_len, H::version_crc, base);
    add_crc_section(r, image, 0, "model config", H::model_ofs, H::model_len, H::model_crc, base);
    add_crc_section(r, image, 0, "calibration", H::cali_ofs, H::cali_len, H::cali_crc, base);
    add_version_record(r, image, field_at(image, 0, H::version_ofs) + base);
}

void describe_flash_builder(ImageReport &r, Span image) {
    using H = fwupdate::ImageHeader;
    using FB = fwupdate::FlashBuilderFile;
    add_fields(r, image, 0, H::fields, H::header_size);
    add_crc_section(r, image, 0, "flash builder code", H::normal_ofs, H::normal_len, H::normal_crc,
                    FB::sections_from);
    // The version record lies behind the code, moved on by the gap word.
    const uint64_t at = field_at(image, 0, H::normal_ofs) + FB::sections_from + field_at(image, 0, H::normal_len) +
                        field_at(image, 0, FB::version_gap);
    const auto stored = static_cast<uint32_t>(field_at(image, 0, H::version_crc));
    add_section(r, image, "version string", at, field_at(image, 0, H::version_len), &stored);
    add_version_record(r, image, at);
}

void describe_5810(ImageReport &r, Span image) {
    using H = fwupdate::Image5810Header;
    const size_t at = H::file_offset;
    add_fields(r, image, at, H::fields, H::size);
    add_header_crc(r, image, at, H::length, H::crc, H::crc_from);
    add_section(r, image, "firmware", field_at(image, at, H::firmware_ofs), field_at(image, at, H::firmware_len));
    add_crc_section(r, image, at, "model config", H::model_ofs, H::model_len, H::model_crc, 0);
    add_crc_section(r, image, at, "cali info", H::cali_ofs, H::cali_len, H::cali_crc, 0);
    add_header_version(r, image, at, H::major, H::minor);
}

void describe_5920(ImageReport &r, Span image) {
    using H = fwupdate::BankedHeader;
    add_fields(r, image, 0, H::fields, H::size);
    for (size_t i = 0; i < H::bank_address.count; ++i)
        r.header.emplace_back("bank address " + std::to_string(i), field_at(image, 0, H::bank_address.at(i)));
    const uint64_t banks = field_at(image, 0, H::bank_num);
    for (size_t i = 0; i < H::max_banks && i < banks; ++i)
        add_section(r, image, "code bank " + std::to_string(i), field_at(image, 0, H::bank_address.at(i)), H::bank_size);
    add_crc_section(r, image, 0, "model config", H::model_ofs, H::model_len, H::model_crc, 0);
    add_crc_section(r, image, 0, "cali info", H::cali_ofs, H::cali_len, H::cali_crc, 0);
}

void describe_lpc4320(ImageReport &r, Span image) {
    using H10 = fwupdate::Lpc4320Header10;
    using H11 = fwupdate::Lpc4320Header11;
    const bool v11 = field_at(image, 0, H10::minor) != 0;
    add_fields(r, image, 0, H10::fields, H10::size);
    if (v11) add_fields(r, image, 0, H11::fields, H11::size);
    add_header_crc(r, image, 0, H10::header_len, H10::header_crc, H10::crc_from);
    add_section(r, image, "firmware code", H10::code_offset, field_at(image, 0, H10::fw_length));
    const int64_t base = -static_cast<int64_t>(H10::part_base);
    std::vector<fwupdate::Lpc4320Part> parts(std::begin(fwupdate::lpc4320_checked_parts_10),
                                             std::end(fwupdate::lpc4320_checked_parts_10));
    parts.push_back(fwupdate::lpc4320_flash_fw_part);
    if (v11) parts.insert(parts.end(), std::begin(fwupdate::lpc4320_sram_parts), std::end(fwupdate::lpc4320_sram_parts));
    for (const fwupdate::Lpc4320Part &p : parts)
        add_crc_section(r, image, 0, text::to_utf8(p.name), p.offset, p.length, p.crc, base);
    add_header_version(r, image, 0, H10::major, H10::minor);
}

const std::vector<ImageFormat> formats = {
    {"base", "a", "base controller", "base controller image (header, extra header, seven sections)",
     "--bootldr-version --normal-version --updater-version --normal-code --update-code --boot-loader --calibration --model-config",
     fwupdate::build_base_image, validate_base, describe_base},
    {"flash-builder", "a", "base controller's flash-layout update", "flash builder file of a flash-layout update",
     "--bootldr-version --normal-version --updater-version --normal-code",
     fwupdate::build_flash_builder_file, validate_flash_builder, describe_flash_builder},
    {"5810", "a", "5810 controller or six-camera 5810 device",
     "5810 image (firmware, header at 0x1000, model config, cali)",
     "--normal-code --model-config --calibration", fwupdate::build_5810_image,
     validate_5810, describe_5810},
    {"5920", "a", "5920 controller", "5920 banked image (header, code banks, model config, cali)",
     "--normal-code --model-config --calibration",
     fwupdate::build_banked_image, validate_banked, describe_5920},
    {"lpc4320", "an", "six-camera LPC4320 controller",
     "six-camera LPC4320 image (header 1.0 or 1.1, code, parts)",
     "--normal-code --update-code --model-config --calibration --header-version", fwupdate::build_lpc4320_image,
     validate_lpc4320, describe_lpc4320},
};

// Whether the library's validation of a format passes, without its messages.
bool validates(const ImageFormat &format, const std::string &path) {
    std::unique_ptr<fwupdate::ImageFile> file = fwupdate::ImageFile::open(os::library_path(path));
    if (!file) return false;
    fw_update_arg arg{};
    arg.handle = RYN_INVALID_HANDLE;
    arg.msg_fn = [](void *, const ryn_wchar *, va_list) {};
    return format.validate(arg, *file) == 1;
}

}  // namespace

std::string record_text(std::span<const uint8_t> record, const layout::Field &field) {
    const Span chars = field.bytes(record);
    std::u16string s;
    for (size_t i = 0; i + 1 < chars.size(); i += 2) {
        const auto c = static_cast<char16_t>(chars[i] | chars[i + 1] << 8);
        if (c == 0) break;
        s += c;
    }
    return text::to_utf8(s);
}

const std::vector<ImageFormat> &image_formats() { return formats; }

const ImageFormat &format_by_name(const std::string &name) {
    for (const ImageFormat &f : formats)
        if (name == f.name) return f;
    throw Failure("unknown image format '" + name + "'");
}

std::string format_names(const char *between) {
    std::string names;
    for (const ImageFormat &f : formats) names += (names.empty() ? "" : between) + std::string(f.name);
    return names;
}

std::vector<const ImageFormat *> recognise_image(const std::string &path, const std::vector<uint8_t> &image) {
    std::vector<const ImageFormat *> found;
    const Span bytes(image);
    if (field_at(bytes, fwupdate::Image5810Header::file_offset, fwupdate::Image5810Header::magic) ==
        fwupdate::Image5810Header::magic_value)
        found.push_back(&format_by_name("5810"));
    if (fwupdate::BankedHeader::magic.get(bytes) == fwupdate::BankedHeader::magic_value)
        found.push_back(&format_by_name("5920"));
    if (fwupdate::Lpc4320Header10::magic.get(bytes) == fwupdate::Lpc4320Header10::magic_value)
        found.push_back(&format_by_name("lpc4320"));
    if (!found.empty()) return found;
    // No magic: the base image and the flash builder file are told apart by
    // where their header's sections lie and what their CRCs cover.
    for (const char *name : {"base", "flash-builder"})
        if (validates(format_by_name(name), path)) found.push_back(&format_by_name(name));
    return found;
}

ImageReport describe_image(const ImageFormat &format, const std::vector<uint8_t> &image) {
    ImageReport r;
    format.describe(r, image);
    return r;
}

}  // namespace ryn::cli
