// The base controller's firmware image: its header block, its seven sections
// and the in-memory record of one validated image (fw_image). The flash
// builder file shares the 68-byte header and the section reader.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "devinfo/version_record.h"
#include "platform/layout.h"
#include "ryn_usr.h"

namespace ryn::fwupdate {

// Header (68 bytes) and extra header (20 bytes) at file offset 0. Every
// field is an unsigned 32-bit little-endian number; section offsets count
// from the end of the 88-byte block.
struct ImageHeader {
    static constexpr size_t header_size = 68;
    static constexpr size_t block_size = 88;

    static constexpr layout::Field word0{"first header word", 0, 4};
    static constexpr layout::Field word1{"second header word", 4, 4};
    static constexpr layout::Field update_ofs{"update code offset", 8, 4};
    static constexpr layout::Field update_len{"update code length", 12, 4};
    static constexpr layout::Field update_crc{"update code CRC", 16, 4};
    static constexpr layout::Field normal_ofs{"normal code offset", 20, 4};
    static constexpr layout::Field normal_len{"normal code length", 24, 4};
    static constexpr layout::Field normal_crc{"normal code CRC", 28, 4};
    static constexpr layout::Field cali_ofs{"calibration offset", 32, 4};
    static constexpr layout::Field cali_len{"calibration length", 36, 4};
    static constexpr layout::Field cali_crc{"calibration CRC", 40, 4};
    static constexpr layout::Field version_ofs{"version string offset", 44, 4};
    static constexpr layout::Field version_len{"version string length", 48, 4};
    static constexpr layout::Field version_crc{"version string CRC", 52, 4};
    static constexpr layout::Field model_ofs{"model config offset", 56, 4};
    static constexpr layout::Field model_len{"model config length", 60, 4};
    static constexpr layout::Field model_crc{"model config CRC", 64, 4};
    // Extra header.
    static constexpr layout::Field fw_header_ofs{"fw header offset", 68, 4};
    static constexpr layout::Field fw_header_len{"fw header length", 72, 4};
    static constexpr layout::Field bootldr_ofs{"boot loader offset", 76, 4};
    static constexpr layout::Field bootldr_len{"boot loader length", 80, 4};
    static constexpr layout::Field bootldr_crc{"boot loader CRC", 84, 4};

    static constexpr layout::Field fields[] = {
        word0,         word1,       update_ofs,  update_len, update_crc, normal_ofs,
        normal_len,    normal_crc,  cali_ofs,    cali_len,   cali_crc,   version_ofs,
        version_len,   version_crc, model_ofs,   model_len,  model_crc,  fw_header_ofs,
        fw_header_len, bootldr_ofs, bootldr_len, bootldr_crc};
};
static_assert(layout::well_formed(ImageHeader::fields, ImageHeader::block_size));
static_assert(ImageHeader::model_crc.end() == ImageHeader::header_size);
static_assert(ImageHeader::bootldr_crc.end() == ImageHeader::block_size);

// The flash builder file: the 68-byte header alone, sections counted from its
// end. Its version string lies after the code, at
// header_size + normal code offset + normal code length + the word at offset 36.
struct FlashBuilderFile {
    static constexpr size_t sections_from = ImageHeader::header_size;
    static constexpr layout::Field version_gap = ImageHeader::cali_len;
};

// Capacity of the fw header, version string and model config areas.
inline constexpr size_t section_area_size = 16384;

// The flash range a flash-layout update writes.
inline constexpr uint32_t layout_start = 0x20000;
inline constexpr uint32_t layout_size = 0x60000;

// Which sections an image holds, in the order validation checks them.
enum class Section {
    normal_code,
    update_code,
    boot_loader,
    fw_header,
    version_string,
    model_config,
    calibration
};

// Where one section is found, by its header fields.
struct SectionFields {
    Section section;
    const char16_t *name;  // for the bound messages
    layout::Field offset;
    layout::Field length;
};
inline constexpr SectionFields section_fields[] = {
    {Section::normal_code, u"normal code", ImageHeader::normal_ofs, ImageHeader::normal_len},
    {Section::update_code, u"update code", ImageHeader::update_ofs, ImageHeader::update_len},
    {Section::boot_loader, u"boot loader", ImageHeader::bootldr_ofs, ImageHeader::bootldr_len},
    {Section::fw_header, u"fw header", ImageHeader::fw_header_ofs, ImageHeader::fw_header_len},
    {Section::version_string, u"version string", ImageHeader::version_ofs,
     ImageHeader::version_len},
    {Section::model_config, u"model config", ImageHeader::model_ofs, ImageHeader::model_len},
    {Section::calibration, u"calibration", ImageHeader::cali_ofs, ImageHeader::cali_len},
};

// A built-in default model configuration record, handed to the device instead
// of its own during the flash builder's install.
struct DefaultModelCfg {
    const char16_t *name;  // "V1.0_2", "V1.1", "V1.2"
    std::span<const uint8_t> record;
};

// The in-memory record of one base image (or of a flash builder file, which
// fills the header, the normal code, the version string area and copy, and
// the default table only).
struct FwImage {
    std::array<uint8_t, ImageHeader::block_size> header{};  // header and extra header as read
    std::vector<uint8_t> normal_code;
    std::vector<uint8_t> fw_header_area = std::vector<uint8_t>(section_area_size);
    std::vector<uint8_t> version_area = std::vector<uint8_t>(section_area_size);
    std::vector<uint8_t> model_cfg_area = std::vector<uint8_t>(section_area_size);
    std::vector<uint8_t> calibration;
    std::vector<uint8_t> update_code;
    std::vector<uint8_t> boot_loader;
    devinfo::VersionBuffer version{};  // the version string copy
    const DefaultModelCfg *default_model_cfg = nullptr;

    uint32_t field(const layout::Field &f) const { return static_cast<uint32_t>(f.get(header)); }
    // The bytes of a section as loaded (an area is cut to its length field).
    std::span<const uint8_t> data(Section s) const;
};

// The image's normal-code version (from its version string copy), which every
// normal-code sequence patches into the device's version record: the patch
// takes at most 59 characters, the record's 60 with the terminator. A text
// that does not fit is reported as "Fail to patch the normal code version."
// and gives 0. Run during validation too, so that an image the patch would
// refuse is refused before the device is touched.
int check_normal_version(const fw_update_arg &arg, const FwImage &image);

// An image file opened for binary reading; closed when it goes out of scope.
class ImageFile {
  public:
    // Empty when the path cannot be passed to the OS or the file not opened.
    static std::unique_ptr<ImageFile> open(const std::u16string &path);
    ~ImageFile();
    ImageFile(const ImageFile &) = delete;
    ImageFile &operator=(const ImageFile &) = delete;

    // Reads up to dest.size() bytes at the current position; the count read.
    size_t read(std::span<uint8_t> dest);
    bool seek(uint64_t position);
    uint64_t size() const { return size_; }

  private:
    ImageFile(std::FILE *f, uint64_t size) : file_(f), size_(size) {}
    std::FILE *file_;
    uint64_t size_;
};

// Opens the file a caller named for binary reading: its full path, then the
// file; each failure is reported with its message. Null on failure.
std::unique_ptr<ImageFile> open_image_file(const fw_update_arg &arg, const ryn_wchar *file_name);

// Reads exactly dest.size() bytes at a file position (from the start of the
// file); a block that cannot be read whole, an empty one included, fails.
int read_image_part(const fw_update_arg &arg, ImageFile &file, std::span<uint8_t> dest,
                    uint64_t position);

// Reads the base image's header block and its seven sections into image and
// checks each against the header, in order, with the header dumps; nothing
// reaches the device. 1 when every check passed.
int read_base_image(const fw_update_arg &arg, ImageFile &file, FwImage &image);

// Reads the flash builder file (already open) into image: header dump, code,
// version string and their CRCs. 1 when both checked.
int read_flash_builder(const fw_update_arg &arg, ImageFile &file, FwImage &image);

// Refuses (with a message) a base image whose layout sections do not all lie
// inside the layout region.
int check_layout_bounds(const fw_update_arg &arg, const FwImage &image);

// The module-wide image buffers of the update paths of platforms 2, 3 and 6
// hold a whole image file each.
inline constexpr size_t image_buffer_size = 0x40000;
using ImageBuffer = std::array<uint8_t, image_buffer_size>;

// The common start of the paths that read an image into an image buffer:
// progress 0, dev_reset_fn required, the full path of file_name, progress 1.
// The full path, or empty after the failing step's message.
std::optional<std::u16string> begin_buffered_update(fw_update_arg &arg);

// The paths of platforms 2, 3 and 6 write in normal mode (RYN_UPDATE_NORMAL)
// or flash-layout mode (RYN_UPDATE_FLASH_LAYOUT) only. mode is the part of
// update_mode that chooses; any other value is reported with the whole
// update_mode as "Unsupport Mode: %d.\n", before the device is touched, and
// gives 0.
int update_mode_supported(const fw_update_arg &arg, uint32_t mode);

// The platform-1 path of ryn_fw_update.
int fw_update_base(fw_update_arg &arg);
// Validates the open image, then runs the update by mode.
int load_base_image(fw_update_arg &arg, ImageFile &file);

}  // namespace ryn::fwupdate
