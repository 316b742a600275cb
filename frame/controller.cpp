#include "frame/paths.h"

namespace ryn {

std::optional<Controller> controller_of(uint32_t platform_code, uint32_t six_cam_bits) {
    switch (platform_code) {
    case 1: return Controller::base;
    case 2: return Controller::c5810;
    case 3: return Controller::c5920;
    case 6:
        return (six_cam_bits & (RYN_FLAG_6CAM_DEV1 | RYN_FLAG_6CAM_DEV2)) ? Controller::sixcam_5810
                                                                          : Controller::sixcam_4320;
    default: return std::nullopt;
    }
}

}  // namespace ryn
