// Base image validation: header dumps, the order of the checks and their
// messages, and the bounds every header value is checked against. No failing
// image reaches the device.
#include "fw_test.h"

namespace ryn::fwupdate::test {
namespace {

class ImageTest : public FwTest {
  protected:
    void SetUp() override {
        FwTest::SetUp();
        create_device();
        image_ = build_base_image({});
    }

    // The update failed during validation: progress stopped at 1 and the
    // device saw nothing but the platform query.
    void expect_refused_before_device() {
        EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 1}));
        EXPECT_EQ(device_ops(), std::vector<std::string>{"ryn_check_platform"});
    }

    Bytes image_;
};

TEST_F(ImageTest, HeaderDumpsListTheFieldsInTheirLabelsOrder) {
    for (size_t i = 0; i < std::size(H::fields); ++i)
        H::fields[i].put(image_, 0x1000 + i);  // distinct values
    ASSERT_EQ(update(image_), 0);
    ASSERT_GE(capture_.messages.size(), 2u);
    EXPECT_EQ(capture_.messages[0],
              u"==============HDR=============\n"
              u"normal code ofs:       0x00001005\n"
              u"normal code length:    0x00001006\n"
              u"normal code crc:       0x00001007\n"
              u"update code ofs:       0x00001002\n"
              u"update code length:    0x00001003\n"
              u"update code crc:       0x00001004\n"
              u"version string ofs:    0x0000100b\n"
              u"version string length: 0x0000100c\n"
              u"version string crc:    0x0000100d\n"
              u"model config ofs:      0x0000100e\n"
              u"model config length:   0x0000100f\n"
              u"model config crc:      0x00001010\n"
              u"calibration ofs:       0x00001008\n"
              u"calibration length:    0x00001009\n"
              u"calibration crc:       0x0000100a\n");
    EXPECT_EQ(capture_.messages[1],
              u"===========Extra HDR===========\n"
              u"fw header ofs:         0x00001011\n"
              u"fw header length:      0x00001012\n"
              u"bootloader ofs:        0x00001013\n"
              u"bootloader length:     0x00001014\n"
              u"bootloader crc:        0x00001015\n"
              u"===============================\n");
    expect_refused_before_device();
}

// One flipped byte in a section gives that section's own message, the
// header's CRC first, and nothing reaches the device.
TEST_F(ImageTest, EachDamagedSectionGivesItsOwnMessage) {
    struct Case {
        layout::Field ofs, len;
        const char16_t *prefix;
    };
    const Case cases[] = {
        {H::normal_ofs, H::normal_len, u"Fail to check the normal code CRC: 0x"},
        {H::update_ofs, H::update_len, u"Fail to check the update code CRC: 0x"},
        {H::bootldr_ofs, H::bootldr_len, u"Fail to check the boot loader code CRC: 0x"},
        {H::fw_header_ofs, H::fw_header_len, u"Fial to check the FW header.\n"},
        {H::version_ofs, H::version_len, u"Fail to check the version string CRC: 0x"},
        {H::model_ofs, H::model_len, u"Fail to check the model config CRC: 0x"},
        {H::cali_ofs, H::cali_len, u"Fail to check the calibration CRC: 0x"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(text::to_utf8(c.prefix));
        capture_ = {};
        Bytes damaged = image_;
        section(damaged, c.ofs, c.len)[5] ^= 0x01;
        ASSERT_EQ(update(damaged), 0);
        const std::u16string last = capture_.messages.back();
        EXPECT_EQ(last.rfind(c.prefix, 0), 0u) << text::to_utf8(last);
        expect_refused_before_device();
    }
    // The CRC message's values: the header's first, then the computed one.
    Bytes damaged = image_;
    set_header_field(damaged, H::cali_crc, 0x0000ABCD);
    capture_ = {};
    ASSERT_EQ(update(damaged), 0);
    std::span<uint8_t> cali = section(damaged, H::cali_ofs, H::cali_len);
    EXPECT_EQ(
        capture_.messages.back(),
        text::format(
            u"Fail to check the calibration CRC: 0x0000abcd (header) != 0x%08x (calibration)\n",
            ryn_calc_crc(cali.data(), static_cast<uint32_t>(cali.size()))));
}

TEST_F(ImageTest, FirstDamagedSectionInCheckOrderDecides) {
    section(image_, H::cali_ofs, H::cali_len)[0] ^= 0xFF;
    section(image_, H::bootldr_ofs, H::bootldr_len)[0] ^= 0xFF;
    section(image_, H::model_ofs, H::model_len)[9] ^= 0xFF;
    ASSERT_EQ(update(image_), 0);
    EXPECT_EQ(capture_.messages.back().rfind(u"Fail to check the boot loader code CRC", 0), 0u);
    EXPECT_EQ(capture_.messages.size(), 3u);  // two dumps and the one failure
}

TEST_F(ImageTest, UnreadableSectionsFailAsShortReads) {
    struct Case {
        const char *what;
        layout::Field field;
        uint32_t value;
    };
    const Case cases[] = {
        {"zero-length update code", H::update_len, 0},
        {"calibration past the end of the file", H::cali_len, 0x00100000},
        {"normal code offset that would wrap in 32 bits", H::normal_ofs, 0xFFFFFFF0},
        {"boot loader length of 4 GiB", H::bootldr_len, 0xFFFFFFFF},
        {"fw header of no bytes", H::fw_header_len, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        capture_ = {};
        Bytes damaged = image_;
        set_header_field(damaged, c.field, c.value);
        ASSERT_EQ(update(damaged), 0);
        ASSERT_GE(capture_.messages.size(), 2u);
        EXPECT_EQ(capture_.messages[capture_.messages.size() - 2], u"Fail to read the code.\n");
        EXPECT_EQ(capture_.messages.back(), u"Failed to read buffer from file\n");
        expect_refused_before_device();
    }
}

TEST_F(ImageTest, AreaSectionsLongerThanTheirAreasAreRefused) {
    Bytes damaged = image_;
    set_header_field(damaged, H::model_len, 0x4001);
    ASSERT_EQ(update(damaged), 0);
    EXPECT_EQ(capture_.messages.back(),
              u"The model config section of 0x00004001 bytes does not fit its area of 0x00004000 "
              u"bytes.\n");

    capture_ = {};
    damaged = image_;
    set_header_field(damaged, H::version_len, VR::size + 1);
    ASSERT_EQ(update(damaged), 0);
    EXPECT_EQ(capture_.messages.back(),
              u"The version string section of 0x0000016d bytes does not fit its area of 0x0000016c "
              u"bytes.\n");
    expect_refused_before_device();
}

// An image that would blank the device's normal version is refused before
// the device: a version string section shorter than one version record (its
// CRC right), or an empty normal version.
TEST_F(ImageTest, AnImageWithoutANormalVersionIsRefused) {
    Bytes short_section = image_;
    const uint32_t at = static_cast<uint32_t>(H::version_ofs.get(short_section)) + H::block_size;
    set_header_field(short_section, H::version_len, 0x100);
    set_header_field(short_section, H::version_crc, ryn_calc_crc(short_section.data() + at, 0x100));
    ASSERT_EQ(update(short_section), 0);
    EXPECT_EQ(capture_.messages.back(),
              u"[Error] The version string section of 0x00000100 bytes is shorter than one version "
              u"record of 0x0000016c bytes.\n");
    expect_refused_before_device();

    capture_ = {};
    ImageParts blank;
    blank.normal_version.clear();
    ASSERT_EQ(update(build_base_image(blank)), 0);
    EXPECT_EQ(capture_.messages.back(),
              u"[Error] The version string section holds no normal code version.\n");
    expect_refused_before_device();
}

// A fw header section shorter than the header is compared with the
// zero-filled rest of its area, which a real header never matches.
TEST_F(ImageTest, ShortFwHeaderSectionComparesWithZeros) {
    H::fw_header_len.put(image_, 8);
    ASSERT_EQ(update(image_), 0);
    EXPECT_EQ(capture_.messages.back(), u"Fial to check the FW header.\n");
}

TEST_F(ImageTest, TruncatedHeaders) {
    ASSERT_EQ(update(Bytes(image_.begin(), image_.begin() + 67)), 0);
    EXPECT_EQ(capture_.messages,
              std::vector<std::u16string>{u"Fail to read the firmware header.\n"});
    capture_ = {};
    ASSERT_EQ(update(Bytes(image_.begin(), image_.begin() + 87)), 0);
    EXPECT_EQ(capture_.messages, std::vector<std::u16string>{u"Fail to read the extra header.\n"});
}

// The invalid handle is noticed only once the image has validated.
TEST_F(ImageTest, InvalidHandleIsDetectedAfterProgressTwo) {
    const std::u16string &path = write("image.bin", image_);
    fw_update_arg arg = block(path);
    arg.handle = RYN_INVALID_HANDLE;
    EXPECT_EQ(fw_update_base(arg), 0);
    EXPECT_EQ(steps(), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(capture_.messages.back(), u"Invalid handle\n");
}

TEST_F(ImageTest, CallbacksAndFileAreCheckedInOrder) {
    const std::u16string missing = (dir_ / "missing.bin").u16string();
    fw_update_arg arg = block(missing);
    arg.dev_reset_fn = nullptr;
    arg.set_update_hdr_fn = nullptr;
    EXPECT_EQ(ryn_fw_update(&arg), 0);
    EXPECT_EQ(capture_.messages, std::vector<std::u16string>{u"dev_reset_fn cannot be NULL.\n"});

    capture_ = {};
    arg = block(missing);
    arg.set_update_hdr_fn = nullptr;
    EXPECT_EQ(ryn_fw_update(&arg), 0);
    EXPECT_EQ(capture_.messages,
              std::vector<std::u16string>{u"set_update_hdr_fn cannot be NULL.\n"});

    capture_ = {};
    arg = block(missing);
    EXPECT_EQ(ryn_fw_update(&arg), 0);
    EXPECT_EQ(capture_.messages, (std::vector<std::u16string>{u"Fail to open the file [" + missing + u"]\n",
                                                              u"No such file or directory\n"}));
    EXPECT_EQ(steps(), std::vector<uint32_t>{0});
}

TEST_F(ImageTest, FlashBuilderFileFindsItsVersionBehindTheCode) {
    Bytes fb = build_flash_builder_file({});
    const std::u16string &path = write("fb.bin", fb);
    auto read = [&](const Bytes &bytes, FwImage &image) {
        ryn::test::write_file(dir_ / "fb.bin", std::string(bytes.begin(), bytes.end()));
        std::unique_ptr<ImageFile> file = ImageFile::open(path);
        fw_update_arg arg = block(path);
        return read_flash_builder(arg, *file, image);
    };
    FwImage image;
    ASSERT_EQ(read(fb, image), 1);
    EXPECT_EQ(layout::utf16_field(image.version, VR::normal), u"2.3.1400.1");
    EXPECT_EQ(capture_.messages[0], text::format(u"==============HDR=============\n"
                                                 u"normal code ofs:       0x00000000\n"
                                                 u"normal code length:    0x%08x\n"
                                                 u"normal code crc:       0x%08x\n"
                                                 u"==============================\n",
                                                 word(fb, H::normal_len), word(fb, H::normal_crc)));

    H::version_ofs.put(fb, 0xDEADBEEF);  // not used for this file
    FwImage again;
    EXPECT_EQ(read(fb, again), 1);

    capture_ = {};
    FlashBuilderFile::version_gap.put(fb, flash_builder_gap - 2);  // moves the version string
    FwImage moved;
    EXPECT_EQ(read(fb, moved), 0);
    EXPECT_EQ(capture_.messages.back().rfind(u"Fail to check the version string CRC: 0x", 0), 0u);
}

}  // namespace
}  // namespace ryn::fwupdate::test
