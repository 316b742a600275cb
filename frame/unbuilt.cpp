// Paths whose subsystems are not part of this build yet. Each fails with
// result 0 and says so; a path's stub goes away when its subsystem lands.
#include "frame/paths.h"
#include "frame/sink.h"

namespace ryn {
namespace {

int not_supported(fw_update_arg &arg) {
    frame::report(arg, u"Not supported by this build.\n");
    return 0;
}

}  // namespace

namespace fwupdate {
int fw_update_5920(fw_update_arg &arg) { return not_supported(arg); }
int fw_update_6cam_4320(fw_update_arg &arg) { return not_supported(arg); }
}  // namespace fwupdate

}  // namespace ryn
