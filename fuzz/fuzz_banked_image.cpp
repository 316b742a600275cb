// The 5920 banked image validator on arbitrary files: whatever the header
// says, validation ends with a result and reads only inside the image buffer.
#include <cstdint>
#include <memory>

#include "fuzz/image_file.h"
#include "fwupdate/banked/banked_image.h"
#include "sim/ryn_sim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::unique_ptr<ryn::fwupdate::ImageFile> file = ryn::fuzz::image_file(data, size);
    fw_update_arg arg{};  // no message sink
    static auto buffer = std::make_unique<ryn::fwupdate::ImageBuffer>();
    uint32_t length = 0;
    ryn::fwupdate::read_banked_image(arg, *file, *buffer, &length);
    ryn_sim_trace_clear();  // the CRC calls would fill the trace
    return 0;
}
