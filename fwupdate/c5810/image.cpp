// Reading and validating a 5810 image. The checks and the header dump follow
// the policy of the path; every offset and length the header gives is
// checked against the file before the bytes behind it are used, and only the
// bytes of this file are ever looked at.
#include "fwupdate/c5810/image.h"

#include "frame/sink.h"
#include "fwupdate/common/header_dump.h"
#include "platform/path.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

namespace {

using H = Image5810Header;

// The messages that differ between the two paths.
struct PolicyMessages {
    text::format_string<const char16_t *> open_failure;
    bool check_versions;
    text::format_string<uint32_t, uint32_t> header_crc;  // stored, computed
};

constexpr PolicyMessages kSecond{
    u"\nFail to open the file [%s]\n", false,
    u"Fail to check the Header CRC: 0x%08x (header) != 0x%08x (file)\n"};
constexpr PolicyMessages kSixcam{
    u"[Patch File Error]: Failed to open file %s\n", true,
    u"[Patch File Error]: Failed to check the Header CRC 0x%08x (Expected: 0x%08x)\n"};

const PolicyMessages &messages_of(Image5810Policy policy) {
    return policy == Image5810Policy::sixcam5810 ? kSixcam : kSecond;
}

constexpr uint32_t kHeaderVersion = 1;

void report_short_read(const fw_update_arg &arg, Image5810Policy policy, size_t read,
                       uint32_t length) {
    if (policy == Image5810Policy::sixcam5810)
        frame::report(arg, u"[Patch File Error]: fread() error (%d != %d)\n",
                      static_cast<int>(read), static_cast<int>(length));
    else
        frame::report(arg, u"fread err %d\n", static_cast<int>(read));
}

void report_dump(const fw_update_arg &arg, Image5810Policy policy, std::span<const uint8_t> image) {
    const std::span<const uint8_t> header = image.subspan(H::file_offset);
    if (policy == Image5810Policy::sixcam5810)
        report_header_dump(arg, u"==========QKV5810 HDR=========\n", image_5810_dump, header);
    else
        report_header_dump(arg, u"==============HDR=============\n",
                           image_5810_dump_without_versions, header);
}

uint32_t crc_of(std::span<const uint8_t> bytes) {
    return ryn_calc_crc(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// One section of the image (model configuration or calibration information):
// its offset test, the bound of its end, then its CRC.
struct SectionCheck {
    const char16_t *name;  // for the bound message
    layout::Field offset, length, crc;
    text::format_string<uint32_t, uint32_t> offset_failure;
    text::format_string<uint32_t, uint32_t> crc_failure;
};

constexpr SectionCheck kSections[] = {
    {u"model configuration", H::model_ofs, H::model_len, H::model_crc,
     u"[Error] The model configuration offset (0x%08x) exceeds the file length (0x%08x).\n",
     u"Fail to check the model config CRC: 0x%08x (header) != 0x%08x (model config)\n"},
    {u"calibration information", H::cali_ofs, H::cali_len, H::cali_crc,
     u"[Error] The calibration information offset (0x%08x) exceeds the file length (0x%08x).\n",
     u"Fail to check the cali info CRC: 0x%08x (header) != 0x%08x (cali info)\n"},
};

int check_section(const fw_update_arg &arg, std::span<const uint8_t> image, const SectionCheck &s) {
    const uint32_t file_length = static_cast<uint32_t>(image.size());
    const uint32_t offset = header_5810_field(image, s.offset);
    const uint32_t length = header_5810_field(image, s.length);
    if (offset > file_length) {
        frame::report(arg, s.offset_failure, offset, file_length);
        return 0;
    }
    if (length > file_length - offset) {
        frame::report(arg,
                      u"[Error] The %s (0x%08x bytes at 0x%08x) ends beyond the file length "
                      u"(0x%08x).\n",
                      s.name, length, offset, file_length);
        return 0;
    }
    const uint32_t stored = header_5810_field(image, s.crc);
    const uint32_t computed = crc_of(image.subspan(offset, length));
    if (stored != computed) {
        frame::report(arg, s.crc_failure, stored, computed);
        return 0;
    }
    return 1;
}

}  // namespace

std::unique_ptr<ImageFile> open_5810_image(const fw_update_arg &arg, Image5810Policy policy,
                                           const std::u16string &path) {
    std::unique_ptr<ImageFile> file = ImageFile::open(path);
    if (!file) {
        frame::report(arg, messages_of(policy).open_failure, path.c_str());
        frame::report(arg, u"Failed to read input patch file.\n");
    }
    return file;
}

std::optional<std::u16string> image_5810_path(const fw_update_arg &arg) {
    const char16_t *name = arg.file_name ? frame::as_u16(arg.file_name) : u"";
    std::optional<std::u16string> path = platform::full_path(name);
    if (!path) frame::report(arg, u"Fail to get the full path of [%s].\n", name);
    return path;
}

int load_5810_image(const fw_update_arg &arg, Image5810Policy policy, const std::u16string &path,
                    std::span<uint8_t> buffer, uint32_t &length) {
    std::unique_ptr<ImageFile> file = open_5810_image(arg, policy, path);
    if (!file) return 0;
    if (!read_5810_image(arg, *file, policy, buffer, length)) {
        frame::report(arg, u"Failed to read input patch file.\n");
        return 0;
    }
    return 1;
}

int read_5810_image(const fw_update_arg &arg, ImageFile &file, Image5810Policy policy,
                    std::span<uint8_t> buffer, uint32_t &length) {
    const PolicyMessages &m = messages_of(policy);
    // The file length (the file is open at its start).
    const uint64_t file_length = file.size();
    if (file_length > buffer.size() || file_length > image_5810_buffer_size) {
        frame::report(arg,
                      u"[Error] The image of %llu bytes does not fit the image buffer of %u "
                      u"bytes.\n",
                      static_cast<unsigned long long>(file_length),
                      static_cast<uint32_t>(image_5810_buffer_size));
        return 0;
    }
    // The whole file into the buffer.
    const std::span<uint8_t> image = buffer.first(static_cast<size_t>(file_length));
    const size_t read = file.read(image);
    if (read != image.size()) {
        report_short_read(arg, policy, read, static_cast<uint32_t>(file_length));
        return 0;
    }
    // Everything below looks at this file's bytes only: a file that does not
    // hold the header whole is refused before its header is read.
    if (image.size() < H::end_in_file) {
        frame::report(arg,
                      u"[Error] The image of %u bytes ends before the end of its header (%u "
                      u"bytes).\n",
                      static_cast<uint32_t>(image.size()), static_cast<uint32_t>(H::end_in_file));
        return 0;
    }
    // The header dump.
    report_dump(arg, policy, image);
    // Magic.
    const uint32_t magic = header_5810_field(image, H::magic);
    if (magic != H::magic_value) {
        if (policy == Image5810Policy::sixcam5810)
            frame::report(
                arg,
                u"[Patch File Error]: Failed to check the Header magic 0x%08x (Expected: 0x%08x)\n",
                magic, H::magic_value);
        else
            frame::report(arg, u"Fail to check the Header magic\n");
        return 0;
    }
    // The six-camera devices take header version 1.1 only; the major version first.
    if (m.check_versions) {
        const uint32_t major = header_5810_field(image, H::major);
        const uint32_t minor = header_5810_field(image, H::minor);
        if (major != kHeaderVersion) {
            frame::report(arg,
                          u"[Patch File Error]: Failed to check the Header major version 0x%02x "
                          u"(Expected: 0x%02x)\n",
                          major, kHeaderVersion);
            return 0;
        }
        if (minor != kHeaderVersion) {
            frame::report(arg,
                          u"[Patch File Error]: Failed to check the Header minor version 0x%02x "
                          u"(Expected: 0x%02x)\n",
                          minor, kHeaderVersion);
            return 0;
        }
    }
    // Header CRC over header length - 12 bytes from header offset 12; the
    // length must cover its first 12 bytes and end inside the file.
    const uint32_t header_length = header_5810_field(image, H::length);
    if (header_length < H::crc_from || header_length > image.size() - H::file_offset) {
        frame::report(arg,
                      u"[Error] The header length (0x%08x) is outside 0x%08x to the 0x%08x bytes "
                      u"from the header to the end of the file.\n",
                      header_length, static_cast<uint32_t>(H::crc_from),
                      static_cast<uint32_t>(image.size() - H::file_offset));
        return 0;
    }
    const uint32_t stored_crc = header_5810_field(image, H::crc);
    const uint32_t header_crc =
        crc_of(image.subspan(H::file_offset + H::crc_from, header_length - H::crc_from));
    if (stored_crc != header_crc) {
        frame::report(arg, m.header_crc, stored_crc, header_crc);
        return 0;
    }
    // Model configuration, then calibration information.
    for (const SectionCheck &s : kSections)
        if (!check_section(arg, image, s)) return 0;
    // The firmware sent in normal mode is counted from file offset 0 and
    // holds the image's own header: a shorter one would write no code.
    const uint32_t firmware_length = header_5810_field(image, H::firmware_len);
    if (firmware_length < H::end_in_file) {
        frame::report(arg,
                      u"[Error] The firmware length (0x%08x) ends before the end of the image's "
                      u"header (0x%08x).\n",
                      firmware_length, static_cast<uint32_t>(H::end_in_file));
        return 0;
    }
    if (firmware_length > image.size()) {
        frame::report(arg,
                      u"[Error] The firmware length (0x%08x) exceeds the file length (0x%08x).\n",
                      firmware_length, static_cast<uint32_t>(image.size()));
        return 0;
    }
    length = static_cast<uint32_t>(image.size());
    return 1;
}

}  // namespace ryn::fwupdate
