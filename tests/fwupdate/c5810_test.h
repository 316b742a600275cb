// Support of the 5810 tests: images from the builder, simulated 5810 devices,
// the flash driver list in the test's folder, and header edits.
#pragma once

#include "fw_test.h"
#include "frame/definitions.h"
#include "fwupdate/c5810/image.h"
#include "fwupdate/c5810/update.h"

namespace ryn::fwupdate::test {

using H5 = Image5810Header;

inline Bytes image_5810() {
    return build_5810_image(ImageParts{});
}

inline uint32_t header_word(const Bytes &image, const layout::Field &f) {
    return static_cast<uint32_t>(f.get(std::span<const uint8_t>(image).subspan(H5::file_offset)));
}

// Sets a header field and keeps the header CRC right.
inline void set_header(Bytes &image, const layout::Field &f, uint32_t value) {
    f.put(std::span<uint8_t>(image).subspan(H5::file_offset), value);
    fix_5810_header_crc(image);
}

class Fw5810Test : public FwTest {
  protected:
    void SetUp() override {
        FwTest::SetUp();
        frame::set_definition_dir_for_testing((dir_ / "").u16string());
        write_list("EF4015,1,0,builtin.bin\n");
    }
    void TearDown() override {
        frame::set_definition_dir_for_testing(std::nullopt);
        FwTest::TearDown();
    }

    void write_list(const std::string &text) {
        ryn::test::write_file(dir_ / "ryn_flash_driver_list.ini", text);
    }

    void create(const char *family, const char *options = nullptr) {
        ASSERT_NE(ryn_sim_create(family, options), RYN_INVALID_HANDLE) << ryn_sim_last_error();
    }

    size_t count_op(const std::string &op) const {
        const std::vector<std::string> ops = trace_ops();
        return static_cast<size_t>(std::count(ops.begin(), ops.end(), op));
    }

    size_t count_waits(uint32_t ms) const {
        return static_cast<size_t>(std::count(waits_.begin(), waits_.end(), ms));
    }

    // The image as the device's flash should hold it after a write of length
    // bytes from flash address 0, with the header area replaced by fill.
    static Bytes flash_after(const Bytes &image, size_t length, bool blank_header) {
        Bytes flash(image_5810_buffer_size, 0xFF);
        std::copy_n(image.begin(), length, flash.begin());
        if (blank_header)
            std::fill_n(
                flash.begin() + H5::file_offset,
                std::min<size_t>(H5::size, length > H5::file_offset ? length - H5::file_offset : 0),
                0xFF);
        return flash;
    }
};

}  // namespace ryn::fwupdate::test
