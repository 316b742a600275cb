#include "sim/operations.h"

namespace ryn::sim {

namespace {

// clang-format off
constexpr Operation kOperations[] = {
    // name                         data   poll   fn     hex
    {"ryn_check_platform",          false, false, false, true},
    {"ryn_6cam_set_dev_id",         false, false, false, false},
    {"ryn_get_cali_info_fn",        false, false, true,  false},
    {"ryn_set_cali_info_fn",        false, false, true,  false},
    {"ryn_get_model_cfg_fn",        false, false, true,  false},
    {"ryn_set_model_cfg_fn",        false, false, true,  false},
    {"cali_info_reader",            true,  false, false, false},
    {"cali_info_writer",            false, false, false, false},
    {"model_cfg_reader",            true,  false, false, false},
    {"model_cfg_writer",            false, false, false, false},
    {"ryn_set_sensor_ctrl",         false, false, false, false},
    {"ryn_get_fw_ver_str",          true,  false, false, false},
    {"ryn_get_version_str",         true,  false, false, false},
    {"ryn_get_dev_ver",             true,  false, false, false},
    {"ryn_get_fw_mode",             true,  false, false, false},
    {"ryn_fw_ver_str_to_u64",       true,  false, false, false},
    {"ryn_get_model_cfg",           true,  false, false, false},
    {"ryn_get_model_cfg_g40",       true,  false, false, false},
    {"ryn_get_fw_hdr",              true,  false, false, false},
    {"ryn_set_fw_hdr",              false, false, false, false},
    {"ryn_get_update_hdr",          true,  false, false, false},
    {"ryn_set_update_hdr",          false, false, false, false},
    {"ryn_set_dev_mode",            false, false, false, false},
    {"ryn_set_dev_mode_g40",        false, false, false, false},
    {"ryn_set_normal_code",         false, false, false, false},
    {"ryn_set_normal_code_g40",     false, false, false, false},
    {"ryn_update_flash_code",       false, false, false, false},
    {"ryn_set_extend_flash_driver", false, false, false, false},
    {"ryn_get_reg",                 true,  true,  false, false},
    {"ryn_set_reg",                 false, false, false, false},
    {"ryn_get_data",                true,  false, false, false},
    {"ryn_get_dev_ctrl",            true,  true,  false, false},
    {"ryn_set_dev_ctrl",            false, false, false, false},
    {"ryn_calc_crc",                false, false, false, true},
    {"ryn_calc_crc_flash_layout",   false, false, false, true},
    {kResetOperation,               false, false, false, false},
};
// clang-format on

}  // namespace

const Operation *find_operation(std::string_view name) {
    for (const Operation &op : kOperations)
        if (op.name == name) return &op;
    return nullptr;
}

}  // namespace ryn::sim
