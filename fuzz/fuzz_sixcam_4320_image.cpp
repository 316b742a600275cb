// The LPC4320 image validator on arbitrary files: whatever the header says,
// validation ends with a result and reads only inside the image buffer. The
// first input byte chooses the update mode (even: normal, odd: flash layout);
// the rest is the file.
#include <cstdint>
#include <memory>

#include "fuzz/image_file.h"
#include "fwupdate/sixcam/sixcam_4320_image.h"
#include "sim/ryn_sim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    std::unique_ptr<ryn::fwupdate::ImageFile> file = ryn::fuzz::image_file(data + 1, size - 1);
    fw_update_arg arg{};  // no message sink
    static auto buffer = std::make_unique<ryn::fwupdate::ImageBuffer>();
    uint32_t length = 0;
    ryn::fwupdate::read_lpc4320_image(
        arg, *file, data[0] % 2 == 0 ? RYN_UPDATE_NORMAL : RYN_UPDATE_FLASH_LAYOUT, *buffer,
        &length);
    ryn_sim_trace_clear();  // the CRC calls would fill the trace
    return 0;
}
