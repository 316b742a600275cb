// The image file and the start of the buffered update paths.
#include "fwupdate/common/image_file.h"

#include "frame/sink.h"
#include "platform/file.h"
#include "platform/path.h"

namespace ryn::fwupdate {

std::unique_ptr<ImageFile> ImageFile::open(const std::u16string &path) {
    std::FILE *f = platform::open_file(path, "rb");
    if (!f) return nullptr;
    const std::optional<uint64_t> size = platform::file_size(f);
    if (!size) {
        std::fclose(f);
        return nullptr;
    }
    return std::unique_ptr<ImageFile>(new ImageFile(f, *size));
}

ImageFile::~ImageFile() {
    std::fclose(file_);
}

size_t ImageFile::read(std::span<uint8_t> dest) {
    return dest.empty() ? 0 : std::fread(dest.data(), 1, dest.size(), file_);
}

bool ImageFile::seek(uint64_t position) {
    return platform::seek_file(file_, position);
}

std::unique_ptr<ImageFile> open_image_file(const fw_update_arg &arg, const ryn_wchar *file_name) {
    const char16_t *name = file_name ? frame::as_u16(file_name) : u"";
    std::optional<std::u16string> path = platform::full_path(name);
    if (!path) {
        frame::report(arg, u"Fail to get the full path of [%s].\n", name);
        return nullptr;
    }
    std::unique_ptr<ImageFile> file = ImageFile::open(*path);
    if (!file) frame::report(arg, u"Fail to open the file [%s]\n", path->c_str());
    return file;
}

std::optional<std::u16string> begin_buffered_update(fw_update_arg &arg) {
    frame::progress(arg, 0);
    if (!arg.dev_reset_fn) {
        frame::report(arg, u"dev_reset_fn cannot be NULL.\n");
        return std::nullopt;
    }
    const char16_t *name = arg.file_name ? frame::as_u16(arg.file_name) : u"";
    std::optional<std::u16string> path = platform::full_path(name);
    if (!path) {
        frame::report(arg, u"Fail to get the full path of [%s].\n", name);
        return std::nullopt;
    }
    frame::progress(arg, 1);
    return path;
}

int update_mode_supported(const fw_update_arg &arg, uint32_t mode) {
    if (mode == RYN_UPDATE_NORMAL || mode == RYN_UPDATE_FLASH_LAYOUT) return 1;
    frame::report(arg, u"Unsupport Mode: %d.\n", static_cast<int>(arg.update_mode));
    return 0;
}

int read_image_part(const fw_update_arg &arg, ImageFile &file, std::span<uint8_t> dest,
                    uint64_t position) {
    if (!file.seek(position)) {
        frame::report(arg, u"Fail to seek the normal code position.\n");
        return 0;
    }
    if (dest.empty() || file.read(dest) != dest.size()) {
        frame::report(arg, u"Fail to read the code.\n");
        return 0;
    }
    return 1;
}

}  // namespace ryn::fwupdate
