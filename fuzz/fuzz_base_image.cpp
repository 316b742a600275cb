// The base image and flash builder validators on arbitrary files: whatever
// the header says, validation ends with a result and reads and writes only
// inside its buffers. The first input byte chooses the format (even: base
// image, odd: flash builder file); the rest is the file.
#include <cstdint>
#include <memory>

#include "fuzz/image_file.h"
#include "fwupdate/base/image.h"
#include "sim/ryn_sim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    std::unique_ptr<ryn::fwupdate::ImageFile> file = ryn::fuzz::image_file(data + 1, size - 1);
    fw_update_arg arg{};  // no message sink
    auto image = std::make_unique<ryn::fwupdate::FwImage>();
    if (data[0] % 2 == 0) {
        if (ryn::fwupdate::read_base_image(arg, *file, *image))
            ryn::fwupdate::check_layout_bounds(arg, *image);
    } else {
        ryn::fwupdate::read_flash_builder(arg, *file, *image);
    }
    ryn_sim_trace_clear();  // the CRC calls would fill the trace
    return 0;
}
