// The base image and flash builder validators on arbitrary files: whatever
// the header says, validation ends with a result and reads and writes only
// inside its buffers. The first input byte chooses the format (even: base
// image, odd: flash builder file); the rest is the file.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "fwupdate/base/image.h"
#include "sim/ryn_sim.h"

namespace {

const std::string &scratch_file() {
    static char dir[] = "/tmp/fuzz_base_image.XXXXXX";
    static const std::string file = [] {
        if (!::mkdtemp(dir)) std::abort();
        std::atexit([] {
            ::unlink((std::string(dir) + "/image.bin").c_str());
            ::rmdir(dir);
        });
        return std::string(dir) + "/image.bin";
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const std::string &path = scratch_file();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    std::unique_ptr<ryn::fwupdate::ImageFile> file =
        ryn::fwupdate::ImageFile::open(std::u16string(path.begin(), path.end()));
    if (!file) std::abort();
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
