// The base controller's update after its image has validated: the update-mode
// and method decisions, the normal-code sequences, the mode switches and the
// flash-layout update.
#pragma once

#include <cstdint>
#include <span>

#include "formats/version_record.h"
#include "fwupdate/base/image.h"
#include "formats/layout.h"
#include "ryn_usr.h"

namespace ryn::fwupdate {

// The firmware header record that ryn_get_fw_hdr fills (80 bytes): bit 0 of
// the word at offset 4 is the current mode, 1 update and 0 normal.
struct FwHeaderRecord {
    static constexpr size_t size = 80;
    static constexpr layout::Field mode_flags{"mode flags", 4, 4};
    static constexpr uint32_t update_mode_bit = 1;
    static constexpr layout::Field fields[] = {mode_flags};
};
static_assert(layout::well_formed(FwHeaderRecord::fields, FwHeaderRecord::size));

// The verdict record that ryn_get_update_hdr fills: its first byte is 1 when
// the layout's CRC matched.
struct UpdateResultRecord {
    static constexpr size_t size = 16;
    static constexpr layout::Field verdict{"CRC verdict", 0, 1};
    static constexpr uint8_t crc_matched = 1;
};

// Firmware modes of the base controller (ryn_get_fw_mode).
inline constexpr uint32_t fw_mode_flash_builder = 0x49;
inline constexpr uint32_t fw_mode_normal = 0x50;
inline constexpr uint32_t fw_mode_update = 0x58;

// Modes the switch operations and ryn_set_dev_mode take.
inline constexpr uint32_t dev_mode_normal = 0;
inline constexpr uint32_t dev_mode_update = 1;

// The device's model configuration buffer of the g40 and g52-old sequences.
inline constexpr size_t model_cfg_buffer_size = 6144;

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
