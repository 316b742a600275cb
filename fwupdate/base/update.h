// The base controller's update after its image has validated: the update-mode
// and method decisions, the normal-code sequences, the mode switches and the
// flash-layout update.
#pragma once

#include <cstdint>
#include <span>

#include "formats/base_fw.h"
#include "formats/version_record.h"
#include "fwupdate/base/image.h"
#include "ryn_usr.h"

namespace ryn::fwupdate {

// Update methods: which normal-code sequence suits the device's firmware.
enum class UpdateMethod : uint32_t {
    g40 = 0,
    g52 = 1,
    g52_old = 2,
    g53 = 3,
    flash_builder = 4,
    none = 10
};

// Update thresholds of the device's updater version.
inline constexpr const char16_t *version_g53 = u"2.3.1204.1";
inline constexpr const char16_t *version_g52 = u"2.3.1123.1";
inline constexpr const char16_t *version_g52_old = u"2.1.0925.1";

// The three built-in default model configuration tables.
extern const DefaultModelCfg default_model_cfg_v1_0_2;
extern const DefaultModelCfg default_model_cfg_v1_1;
extern const DefaultModelCfg default_model_cfg_v1_2;

// Decisions.
int update_base_by_mode(fw_update_arg &arg, FwImage &image);
int check_update_mode(fw_update_arg &arg, const FwImage &image);
int get_update_method(fw_update_arg &arg, UpdateMethod &method);
int update_normal_code(fw_update_arg &arg, const FwImage &image);
int select_default_model_cfg(fw_update_arg &arg, FwImage &flash_builder,
                             std::span<const uint8_t> version_record);

// Mode switches and sequences.
int switch_dev_mode(fw_update_arg &arg, uint32_t mode, const void *model_cfg);
int switch_dev_mode_g40(fw_update_arg &arg, uint32_t mode, const void *model_cfg,
                        const void *version_record);
int update_normal_code_g40(fw_update_arg &arg, const FwImage &image);
int update_normal_code_g52(fw_update_arg &arg, const FwImage &image);
int update_normal_code_g52_old(fw_update_arg &arg, const FwImage &image);
int update_normal_code_g53(fw_update_arg &arg, const FwImage &image);
int update_normal_code_fb(fw_update_arg &arg, const FwImage &image);

// Flash layout.
int update_flash_layout(fw_update_arg &arg, FwImage &image);
int write_flash_layout(fw_update_arg &arg, const FwImage &image);

}  // namespace ryn::fwupdate
