#include "fwupdate/common/closing.h"

#include "frame/sink.h"

namespace ryn::fwupdate {

int check_written(const fw_update_arg &arg, int written) {
    if (written) return 1;
    frame::report(arg, u"Failed to update firmware code.\n");
    return 0;
}

int finish_update(fw_update_arg &arg, bool reset) {
    if (reset && !frame::reset_device(arg)) {
        frame::report(arg, u"Failed to reset device.\n");
        return 0;
    }
    frame::report(arg, u"Update firmware succesfully\n");
    frame::progress(arg, 8);
    return 1;
}

}  // namespace ryn::fwupdate
