// The platform-1 path of ryn_fw_update: the callbacks, the image file, its
// validation, then the update by mode.
#include <memory>
#include <optional>
#include <string>

#include "frame/paths.h"
#include "frame/sink.h"
#include "fwupdate/base/image.h"
#include "fwupdate/base/update.h"

namespace ryn::fwupdate {

int load_base_image(fw_update_arg &arg, ImageFile &file) {
    // The record lives on the heap: three 16 KiB areas, and the flash builder's
    // record beside it in flash-layout mode.
    auto image = std::make_unique<FwImage>();
    if (!read_base_image(arg, file, *image)) return 0;
    // The image is whole and checked: the device may be touched now.
    frame::progress(arg, 2);
    image->default_model_cfg = nullptr;
    if (arg.handle == RYN_INVALID_HANDLE) {
        frame::report(arg, u"Invalid handle\n");
        return 0;
    }
    return update_base_by_mode(arg, *image);
}

int fw_update_base(fw_update_arg &arg) {
    // Both callbacks are required, whichever path the update takes.
    if (!arg.dev_reset_fn) {
        frame::report(arg, u"dev_reset_fn cannot be NULL.\n");
        return 0;
    }
    if (!arg.set_update_hdr_fn) {
        frame::report(arg, u"set_update_hdr_fn cannot be NULL.\n");
        return 0;
    }
    std::unique_ptr<ImageFile> file = open_image_file(arg, arg.file_name);
    if (!file) return 0;
    frame::progress(arg, 1);
    if (!load_base_image(arg, *file)) return 0;
    frame::progress(arg, 8);
    return 1;
}

}  // namespace ryn::fwupdate
