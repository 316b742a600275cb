// fwupdate/common: what every family's update path shares: the image file,
// its reading, the module-wide image buffer of a path and the steps that open
// and close the buffered paths. It includes formats/, frame/, platform/,
// text/ and include/, never a family folder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "ryn_usr.h"

namespace ryn::fwupdate {

// An image file opened for binary reading; closed when it goes out of scope.
class ImageFile {
  public:
    // Empty when the path cannot be passed to the OS or the file not opened.
    static std::unique_ptr<ImageFile> open(const std::u16string &path);
    ~ImageFile();
    ImageFile(const ImageFile &) = delete;
    ImageFile &operator=(const ImageFile &) = delete;

    // Reads up to dest.size() bytes at the current position; the count read.
    size_t read(std::span<uint8_t> dest);
    bool seek(uint64_t position);
    uint64_t size() const { return size_; }

  private:
    ImageFile(std::FILE *f, uint64_t size) : file_(f), size_(size) {}
    std::FILE *file_;
    uint64_t size_;
};

// Opens the file a caller named for binary reading: its full path, then the
// file; each failure is reported with its message. Null on failure.
std::unique_ptr<ImageFile> open_image_file(const fw_update_arg &arg, const ryn_wchar *file_name);

// Reads exactly dest.size() bytes at a file position (from the start of the
// file); a block that cannot be read whole, an empty one included, fails.
int read_image_part(const fw_update_arg &arg, ImageFile &file, std::span<uint8_t> dest,
                    uint64_t position);

// The image buffer of an update path that reads its image whole (the 5810
// paths, the 5920 and the LPC4320): module-wide, one per path, holding a
// whole image file and kept until that path's next update.
inline constexpr size_t image_buffer_size = 0x40000;
using ImageBuffer = std::array<uint8_t, image_buffer_size>;
enum class BufferedPath { c5810, c5920, lpc4320, sixcam5810 };
template <BufferedPath path>
ImageBuffer &image_buffer() {
    static ImageBuffer buffer;
    return buffer;
}

// The common start of the paths that read an image into an image buffer:
// progress 0, dev_reset_fn required, the full path of file_name, progress 1.
// The full path, or empty after the failing step's message.
std::optional<std::u16string> begin_buffered_update(fw_update_arg &arg);

// The paths of platforms 2, 3 and 6 write in normal mode (RYN_UPDATE_NORMAL)
// or flash-layout mode (RYN_UPDATE_FLASH_LAYOUT) only. mode is the part of
// update_mode that chooses; any other value is reported with the whole
// update_mode as "Unsupport Mode: %d.\n", before the device is touched, and
// gives 0.
int update_mode_supported(const fw_update_arg &arg, uint32_t mode);

}  // namespace ryn::fwupdate
