// The 5810 image validator and the flash driver list on arbitrary files:
// whatever the header or the list says, reading ends with a result and stays
// inside its buffers. The first input byte chooses: 0 the second
// controller's validation, 1 the six-camera one, 2 the flash driver list; the
// rest is the file.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "frame/definitions.h"
#include "fwupdate/second/image_5810.h"
#include "fwupdate/second/update_5810.h"
#include "sim/ryn_sim.h"

namespace {

const std::string &scratch_dir() {
    static char dir[] = "/tmp/fuzz_5810.XXXXXX";
    static const std::string path = [] {
        if (!::mkdtemp(dir)) std::abort();
        std::atexit([] {
            ::unlink((std::string(dir) + "/image.bin").c_str());
            ::unlink((std::string(dir) + "/ryn_flash_driver_list.ini").c_str());
            ::rmdir(dir);
        });
        return std::string(dir) + "/";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const std::string &dir = scratch_dir();
    const int choice = data[0] % 3;
    const std::string path = dir + (choice == 2 ? "ryn_flash_driver_list.ini" : "image.bin");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    fw_update_arg arg{};  // no message sink
    if (choice == 2) {
        ryn::frame::set_definition_dir_for_testing(std::u16string(dir.begin(), dir.end()));
        if (ryn::fwupdate::load_flash_driver_list(arg) &&
            ryn::fwupdate::flash_driver_table().count > ryn::fwupdate::FlashDriverTable::capacity)
            std::abort();
        return 0;
    }
    std::unique_ptr<ryn::fwupdate::ImageFile> file =
        ryn::fwupdate::ImageFile::open(std::u16string(path.begin(), path.end()));
    if (!file) std::abort();
    static std::vector<uint8_t> buffer(ryn::fwupdate::image_5810_buffer_size);
    uint32_t length = 0;
    ryn::fwupdate::read_5810_image(arg, *file,
                                   choice == 0 ? ryn::fwupdate::Image5810Policy::second
                                               : ryn::fwupdate::Image5810Policy::sixcam,
                                   buffer, length);
    ryn_sim_trace_clear();  // the CRC calls would fill the trace
    return 0;
}
