// Model-configuration requests, dispatched by the platform code read afresh
// from the device: the base controller has its own path, the other
// controllers share one path driven by their descriptor.
#include "frame/paths.h"
#include "frame/sink.h"
#include "ryn_hid.h"

namespace ryn::devinfo {
namespace {

int dispatch_model_cfg(cali_info_arg &arg, const std::u16string &path, InfoPath base,
                       InfoPath other) {
    const std::optional<uint32_t> code = frame::served_platform_code(arg);
    if (!code) return 0;
    std::optional<Controller> controller =
        controller_of(*code, arg.flags & (RYN_FLAG_6CAM_DEV1 | RYN_FLAG_6CAM_DEV2));
    if (!controller) return 0;
    return (*controller == Controller::base ? base : other)(arg, path, *controller);
}

}  // namespace

int get_model_cfg(cali_info_arg &arg, const std::u16string &path) {
    return dispatch_model_cfg(arg, path, get_model_cfg_base, get_model_cfg_other);
}

int set_model_cfg(cali_info_arg &arg, const std::u16string &path) {
    return dispatch_model_cfg(arg, path, set_model_cfg_base, set_model_cfg_other);
}

}  // namespace ryn::devinfo
