// Paths whose subsystems are not part of this build yet. Each fails with
// result 0 and says so; a path's stub goes away when its subsystem lands.
#include "frame/paths.h"
#include "frame/sink.h"

namespace ryn {
namespace {

int not_supported(cali_info_arg &arg) {
    frame::report(arg, u"Not supported by this build.\n");
    return 0;
}

int not_supported(fw_update_arg &arg) {
    frame::report(arg, u"Not supported by this build.\n");
    return 0;
}

}  // namespace

namespace devinfo {
int get_model_cfg_other(cali_info_arg &arg, const std::u16string &, Controller) { return not_supported(arg); }
int set_model_cfg_other(cali_info_arg &arg, const std::u16string &, Controller) { return not_supported(arg); }
}  // namespace devinfo

namespace fwupdate {
int fw_update_5810(fw_update_arg &arg) { return not_supported(arg); }
int fw_update_6cam_5810(fw_update_arg &arg) { return not_supported(arg); }
}  // namespace fwupdate

}  // namespace ryn
