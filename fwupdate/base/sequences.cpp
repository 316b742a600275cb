// Normal-code update sequences of the base controller, one per update method,
// and the two mode switches they use.
#include <algorithm>
#include <string>
#include <vector>

#include "frame/sink.h"
#include "fwupdate/base/update.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

using VR = devinfo::VersionRecord;

namespace {

// The device's current mode from its firmware header record: 1 update, 0 normal.
bool read_current_mode(ryn_handle handle, uint32_t &mode) {
    std::array<uint8_t, FwHeaderRecord::size> header{};
    if (!ryn_get_fw_hdr(handle, header.data(), 0)) return false;
    mode = static_cast<uint32_t>(FwHeaderRecord::mode_flags.get(header)) &
           FwHeaderRecord::update_mode_bit;
    return true;
}

// The five steps shared by both switches; request_mode is ryn_set_dev_mode
// or its g40 form with the switch's arguments.
template <class RequestMode>
int switch_mode(fw_update_arg &arg, uint32_t wanted, RequestMode request_mode) {
    // 1, 2.
    uint32_t current;
    if (!read_current_mode(arg.handle, current)) {
        frame::report(arg, u"Fail to get the firmware header.");
        return 0;
    }
    if (current == wanted) return 1;
    // 3.
    if (!request_mode(arg.handle)) {
        frame::report(arg, u"Fail to set the device mode.");
        return 0;
    }
    // 4.
    if (!frame::reset_device(arg)) {
        frame::report(arg, u"Fail to reset the device.");
        return 0;
    }
    // 5.
    if (!read_current_mode(arg.handle, current)) {
        frame::report(arg, u"Fail to get the firmware header.");
        return 0;
    }
    if (current == wanted) return 1;
    frame::report(arg, u"Fail to change the device mode.");
    return 0;
}

// Copies the image's normal version into the device's record; it must fit
// its 60 characters with the terminator.
int patch_normal_version(const fw_update_arg &arg, const FwImage &image,
                         devinfo::VersionBuffer &record) {
    if (!check_normal_version(arg, image)) return 0;
    const std::u16string normal = layout::utf16_field(image.version, VR::normal);
    std::span<uint8_t> field = VR::normal.bytes(std::span<uint8_t>(record));
    std::fill(field.begin(), field.end(), uint8_t{0});
    for (size_t i = 0; i < normal.size(); ++i) layout::Field{"", 2 * i, 2}.put(field, normal[i]);
    return 1;
}

// Reads the device's version record (with ryn_get_fw_ver_str or
// ryn_get_version_str) and patches the image's normal version into it.
int read_patched_version(const fw_update_arg &arg, const FwImage &image,
                         devinfo::VersionBuffer &record,
                         int32_t (*read_version)(ryn_handle, void *)) {
    if (!read_version(arg.handle, record.data())) {
        frame::report(arg, u"Fail to get the version string.");
        return 0;
    }
    return patch_normal_version(arg, image, record);
}

// The model configuration buffer of g40 and g52 old: the image's default
// table (the rest of the buffer zero), or the device's own record.
template <class ReadModelCfg>
int get_model_cfg_buffer(const fw_update_arg &arg, const FwImage &image,
                         std::vector<uint8_t> &buffer, ReadModelCfg read_model_cfg) {
    buffer.assign(model_cfg_buffer_size, 0);
    if (image.default_model_cfg) {
        std::span<const uint8_t> table = image.default_model_cfg->record;
        std::copy_n(table.begin(), std::min(table.size(), buffer.size()), buffer.begin());
        return 1;
    }
    if (!read_model_cfg(arg.handle, buffer.data())) {
        frame::report(arg, u"Fail to get the model configuration.");
        return 0;
    }
    return 1;
}

const void *default_table(const FwImage &image) {
    return image.default_model_cfg ? image.default_model_cfg->record.data() : nullptr;
}

uint32_t code_length(const FwImage &image) {
    return static_cast<uint32_t>(image.normal_code.size());
}

}  // namespace

int switch_dev_mode(fw_update_arg &arg, uint32_t mode, const void *model_cfg) {
    return switch_mode(arg, mode,
                       [&](ryn_handle h) { return ryn_set_dev_mode(h, mode, model_cfg); });
}

int switch_dev_mode_g40(fw_update_arg &arg, uint32_t mode, const void *model_cfg,
                        const void *version_record) {
    return switch_mode(arg, mode, [&](ryn_handle h) {
        return ryn_set_dev_mode_g40(h, mode, model_cfg, version_record);
    });
}

int update_normal_code_g40(fw_update_arg &arg, const FwImage &image) {
    frame::report(arg, u"update g40\n");
    devinfo::VersionBuffer record{};
    if (!read_patched_version(arg, image, record, ryn_get_fw_ver_str)) return 0;
    std::vector<uint8_t> model_cfg;
    if (!get_model_cfg_buffer(arg, image, model_cfg, ryn_get_model_cfg_g40)) return 0;
    frame::report(arg, u"Switch to the update mode.\n");
    if (!switch_dev_mode_g40(arg, dev_mode_update, model_cfg.data(), record.data())) {
        frame::report(arg, u"Fail to switch to the update mode.");
        return 0;
    }
    frame::report(arg, u"Updating the firmware, please wait.\n");
    const bool written = ryn_set_normal_code_g40(arg.handle, record.data(), model_cfg.data(),
                                                 image.normal_code.data(), code_length(image)) != 0;
    if (!written) frame::report(arg, u"Fail to set the normal code.");
    frame::report(arg, u"Switch to the normal mode.\n");
    if (!switch_dev_mode_g40(arg, dev_mode_normal, model_cfg.data(), record.data())) {
        frame::report(arg, u"Fail to switch to the normal mode.");
        return 0;
    }
    return written ? 1 : 0;
}

int update_normal_code_g52(fw_update_arg &arg, const FwImage &image) {
    frame::report(arg, u"update g52\n");
    frame::report(arg, u"Switch to the update mode.\n");
    if (!switch_dev_mode(arg, dev_mode_update, default_table(image))) {
        frame::report(arg, u"Fail to switch to the update mode.");
        return 0;
    }
    devinfo::VersionBuffer record{};
    if (!read_patched_version(arg, image, record, ryn_get_version_str)) return 0;
    frame::report(arg, u"Updating the firmware, please wait.\n");
    if (!ryn_set_normal_code(arg.handle, record.data(), nullptr, image.normal_code.data(),
                             code_length(image))) {
        frame::report(arg, u"Fail to set the normal code.");
        return 0;
    }
    frame::report(arg, u"Switch to the normal mode.\n");
    if (!switch_dev_mode(arg, dev_mode_normal, nullptr)) {
        frame::report(arg, u"Fail to switch to the normal mode.");
        return 0;
    }
    return 1;
}

int update_normal_code_g52_old(fw_update_arg &arg, const FwImage &image) {
    frame::report(arg, u"update g52 old\n");
    devinfo::VersionBuffer record{};
    if (!read_patched_version(arg, image, record, ryn_get_version_str)) return 0;
    std::vector<uint8_t> model_cfg;
    if (!get_model_cfg_buffer(arg, image, model_cfg, ryn_get_model_cfg)) return 0;
    frame::report(arg, u"Switch to the update mode.\n");
    if (!switch_dev_mode(arg, dev_mode_update, model_cfg.data())) {
        frame::report(arg, u"Fail to switch to the update mode.");
        return 0;
    }
    frame::report(arg, u"Updating the firmware, please wait.\n");
    const bool written = ryn_set_normal_code(arg.handle, record.data(), model_cfg.data(),
                                             image.normal_code.data(), code_length(image)) != 0;
    if (!written) frame::report(arg, u"Fail to set the normal code.");
    frame::report(arg, u"Switch to the normal mode.\n");
    if (!switch_dev_mode(arg, dev_mode_normal, model_cfg.data())) {
        frame::report(arg, u"Fail to switch to the normal mode.");
        return 0;
    }
    return written ? 1 : 0;
}

int update_normal_code_g53(fw_update_arg &arg, const FwImage &image) {
    frame::report(arg, u"update g53\n");
    frame::progress(arg, 3);
    frame::report(arg, u"Switch to the update mode.\n");
    if (!switch_dev_mode(arg, dev_mode_update, default_table(image))) {
        frame::report(arg, u"Fail to switch to the update mode.");
        return 0;
    }
    frame::progress(arg, 4);
    devinfo::VersionBuffer record{};
    if (!read_patched_version(arg, image, record, ryn_get_version_str)) return 0;
    frame::report(arg, u"Updating the firmware, please wait.\n");
    if (!ryn_set_normal_code(arg.handle, record.data(), nullptr, image.normal_code.data(),
                             code_length(image))) {
        frame::report(arg, u"Fail to set the normal code.");
        return 0;
    }
    frame::progress(arg, 5);
    frame::report(arg, u"Switch to the normal mode.\n");
    if (!switch_dev_mode(arg, dev_mode_normal, nullptr)) {
        frame::report(arg, u"Fail to switch to the normal mode.");
        return 0;
    }
    return 1;
}

int update_normal_code_fb(fw_update_arg &arg, const FwImage &image) {
    // 1, 2. The caller's callback brings the flash builder into update mode.
    frame::report(arg, u"Switch to the update mode.\n");
    if (!arg.set_update_hdr_fn) {
        frame::report(arg, u"Failed to switch to the update mode.");
        return 0;
    }
    arg.handle = arg.set_update_hdr_fn(arg.user_data, 1, image.field(ImageHeader::update_ofs),
                                       image.field(ImageHeader::update_len), 0);
    if (arg.handle == RYN_INVALID_HANDLE) {
        frame::report(arg, u"Failed to switch to the update mode.");
        return 0;
    }
    // 3, 4.
    uint32_t current;
    if (!read_current_mode(arg.handle, current)) {
        frame::report(arg, u"Switch to update mode failed, it can't get the firmware header.");
        return 0;
    }
    if (current != dev_mode_update && !ryn_set_dev_mode(arg.handle, dev_mode_update, nullptr)) {
        frame::report(arg, u"Fail to set the device mode.");
        return 0;
    }
    // 5, 6.
    devinfo::VersionBuffer record{};
    if (!read_patched_version(arg, image, record, ryn_get_version_str)) return 0;
    // 7.
    frame::report(arg, u"Updating the firmware, please wait.\n");
    if (!ryn_set_normal_code(arg.handle, record.data(), nullptr, image.normal_code.data(),
                             code_length(image))) {
        frame::report(arg, u"Fail to set the normal code.");
        return 0;
    }
    // 8.
    frame::report(arg, u"Switch to the normal mode.\n");
    if (!switch_dev_mode(arg, dev_mode_normal, nullptr)) {
        frame::report(arg, u"Fail to switch to the normal mode.\n");
        return 0;
    }
    return 1;
}

}  // namespace ryn::fwupdate
