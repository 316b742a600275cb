// The controller families and the code paths the exported operations hand a
// request to. Each subsystem defines the paths it owns.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ryn_usr.h"

namespace ryn {

// The five code paths: one per controller family, two for the six-camera system.
enum class Controller { base, c5810, c5920, sixcam_4320, sixcam_5810 };

// The controller of a platform code; within platform 6 the six-camera bits
// (RYN_FLAG_6CAM_DEV1 / DEV2 of flags or update_mode) choose the 5810 variant.
// Empty for an unsupported platform code.
std::optional<Controller> controller_of(uint32_t platform_code, uint32_t six_cam_bits);

// A calibration or device-information path: the caller's block and the
// absolute path of its file_name; 1 on success, 0 on failure.
using InfoPath = int (*)(cali_info_arg &arg, const std::u16string &path, Controller controller);
// A firmware-update path.
using UpdatePath = int (*)(fw_update_arg &arg);

namespace calibration {
int get_cali_info_base(cali_info_arg &arg, const std::u16string &path, Controller controller);
int set_cali_info_base(cali_info_arg &arg, const std::u16string &path, Controller controller);
int get_cali_info_other(cali_info_arg &arg, const std::u16string &path, Controller controller);
int set_cali_info_other(cali_info_arg &arg, const std::u16string &path, Controller controller);
}  // namespace calibration

namespace devinfo {
// Version strings of a base controller into section "version string".
int get_version_string(cali_info_arg &arg, const std::u16string &path);
// Model configuration requests, dispatched by platform code.
int get_model_cfg(cali_info_arg &arg, const std::u16string &path);
int set_model_cfg(cali_info_arg &arg, const std::u16string &path);
int get_model_cfg_base(cali_info_arg &arg, const std::u16string &path, Controller controller);
int set_model_cfg_base(cali_info_arg &arg, const std::u16string &path, Controller controller);
int get_model_cfg_other(cali_info_arg &arg, const std::u16string &path, Controller controller);
int set_model_cfg_other(cali_info_arg &arg, const std::u16string &path, Controller controller);
}  // namespace devinfo

namespace fwupdate {
int fw_update_base(fw_update_arg &arg);
int fw_update_5810(fw_update_arg &arg);
int fw_update_5920(fw_update_arg &arg);
int fw_update_6cam_4320(fw_update_arg &arg);
int fw_update_6cam_5810(fw_update_arg &arg);
}  // namespace fwupdate

}  // namespace ryn
