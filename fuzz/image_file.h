// Support of the image validator fuzz targets: the input written to a scratch
// file (removed at exit) and opened as the update paths open an image.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "fwupdate/base/image.h"

namespace ryn::fuzz {

inline std::unique_ptr<fwupdate::ImageFile> image_file(const uint8_t *data, size_t size) {
    static char dir[] = "/tmp/fuzz_image.XXXXXX";
    static const std::string path = [] {
        if (!::mkdtemp(dir)) std::abort();
        std::atexit([] {
            ::unlink((std::string(dir) + "/image.bin").c_str());
            ::rmdir(dir);
        });
        return std::string(dir) + "/image.bin";
    }();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    }
    std::unique_ptr<fwupdate::ImageFile> file =
        fwupdate::ImageFile::open(std::u16string(path.begin(), path.end()));
    if (!file) std::abort();
    return file;
}

}  // namespace ryn::fuzz
