// The base controller's image as the update reads it: the in-memory record of
// one validated image (fw_image), the base image and flash builder file
// readers, and the path's entry. The layouts are in formats/base_fw.h.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/base_fw.h"
#include "formats/version_record.h"
#include "fwupdate/common/image_file.h"
#include "ryn_usr.h"

namespace ryn::fwupdate {

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
// and gives 0; so does a version string section shorter than one version
// record ("[Error] The version string section of 0x%08x bytes is shorter than
// one version record of 0x%08x bytes.\n") or an empty normal version ("[Error]
// The version string section holds no normal code version.\n"), either of
// which would blank the device's normal version. Run during validation too,
// so that an image the patch would refuse is refused before the device is
// touched.
int check_normal_version(const fw_update_arg &arg, const FwImage &image);

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

// The platform-1 path of ryn_fw_update.
int fw_update_base(fw_update_arg &arg);
// Validates the open image, then runs the update by mode.
int load_base_image(fw_update_arg &arg, ImageFile &file);

}  // namespace ryn::fwupdate
