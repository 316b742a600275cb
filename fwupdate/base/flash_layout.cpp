// Flash-layout update: install the flash builder, write the six layout
// sections under one CRC, and put the image's own normal code back.
#include <memory>

#include "frame/sink.h"
#include "fwupdate/base/update.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

namespace {

// The layout sections in the order they are checksummed and written.
struct LayoutSection {
    text::format_string<> label;
    Section section;
    layout::Field address;
};
constexpr LayoutSection layout_sections[] = {
    {u" Header... ", Section::fw_header, ImageHeader::fw_header_ofs},
    {u" Version String... ", Section::version_string, ImageHeader::version_ofs},
    {u" Model Config... ", Section::model_config, ImageHeader::model_ofs},
    {u" Calibration Table... ", Section::calibration, ImageHeader::cali_ofs},
    {u" Update Code... ", Section::update_code, ImageHeader::update_ofs},
    {u" Boot Loader... ", Section::boot_loader, ImageHeader::bootldr_ofs},
};

}  // namespace

int update_flash_layout(fw_update_arg &arg, FwImage &image) {
    // Sections the layout region cannot hold are refused before the device is touched.
    if (!check_layout_bounds(arg, image)) return 0;
    // The file is closed again however the call ends.
    frame::report(arg, u"Open the flash builder binary file [%s].\n",
                  arg.flash_builder_file_name ? frame::as_u16(arg.flash_builder_file_name) : u"");
    std::unique_ptr<ImageFile> file = open_image_file(arg, arg.flash_builder_file_name);
    if (!file) return 0;
    // The flash builder's image, read and checked before the device is touched.
    auto flash_builder = std::make_unique<FwImage>();
    if (!read_flash_builder(arg, *file, *flash_builder)) return 0;
    // A device that already runs the flash builder keeps it.
    uint32_t mode = 0;
    if (ryn_get_fw_mode(arg.handle, &mode) && mode == fw_mode_flash_builder) {
        frame::report(arg, u"Check the FW mode -> FlashBuilder Mode.\n");
        frame::report(arg, u"Skip to update flashbuilder into device.\n");
    } else {
        // Install the flash builder, with a default model configuration
        // table when the device's updater needs one.
        devinfo::VersionBuffer record{};
        const bool record_read = ryn_get_fw_ver_str(arg.handle, record.data()) != 0;
        if (!record_read) frame::report(arg, u"Fail to get the version string.");
        if (!record_read || !select_default_model_cfg(arg, *flash_builder, record))
            frame::report(arg, u"[Warning] Fail to determine default model config table.\n");
        if (!update_normal_code(arg, *flash_builder)) {
            frame::report(arg, u"Fail to update normal code\n");
            return 0;
        }
    }
    // The product's flash layout, written and checked by its CRC.
    frame::progress(arg, 6);
    if (!write_flash_layout(arg, image)) {
        frame::report(arg, u"Failed to update the flash layout\n");
        return 0;
    }
    frame::progress(arg, 7);
    // The product's own normal code replaces the flash builder.
    image.default_model_cfg = nullptr;
    if (!update_normal_code(arg, image)) {
        frame::report(arg, u"Fail to update normal code\n");
        return 0;
    }
    return 1;
}

int write_flash_layout(fw_update_arg &arg, const FwImage &image) {
    // One CRC over every section of the layout, in the order they are written.
    uint32_t crc = 0;
    for (const LayoutSection &s : layout_sections) {
        std::span<const uint8_t> data = image.data(s.section);
        crc = ryn_calc_crc_flash_layout(crc, data.data(), static_cast<uint32_t>(data.size()));
    }
    frame::report(arg, u"\r-> CRC = %08x\n", crc);
    // The device checks the written layout against this CRC.
    if (!ryn_set_update_hdr(arg.handle, 0, layout_start, layout_size, crc)) {
        frame::report(arg, u"Failed to request FW to check CRC");
        return 0;
    }
    frame::report(arg, u"Updating the flash layout, please wait....\n");
    for (const LayoutSection &s : layout_sections) {
        frame::report(arg, s.label);
        std::span<const uint8_t> data = image.data(s.section);
        if (!ryn_update_flash_code(arg.handle, data.data(), image.field(s.address) - layout_start,
                                   static_cast<uint32_t>(data.size()))) {
            frame::report(arg, u"Failed\n");
            return 0;
        }
        frame::report(arg, u" Done\n");
    }
    // The device's verdict on the CRC.
    frame::report(arg, u"Check the CRC ... ");
    std::array<uint8_t, UpdateResultRecord::size> result{};
    UpdateResultRecord::verdict.put(result, 0);
    if (!ryn_get_update_hdr(arg.handle, result.data())) {
        frame::report(arg, u"Failed to get CRC result");
        return 0;
    }
    if (UpdateResultRecord::verdict.get(result) == UpdateResultRecord::crc_matched) {
        frame::report(arg, u" OK\n");
        frame::report(arg, u" --> Update Flash Layout Successfully.\n");
        return 1;
    }
    frame::report(arg, u" Failed\n");
    return 0;
}

}  // namespace ryn::fwupdate
