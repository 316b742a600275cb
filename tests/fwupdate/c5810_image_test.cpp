// The 5810 image validator under both policies: each check's message, in
// order, the bounds that keep it inside the file and the buffer, and no
// device traffic for a refused image.
#include "c5810_test.h"

namespace ryn::fwupdate::test {
namespace {

class Image5810Test : public Fw5810Test {
  protected:
    // Validates image bytes under a policy; the captured messages show why.
    int validate(const Bytes &image, Image5810Policy policy = Image5810Policy::c5810) {
        const std::u16string &path = write("image.bin", image);
        fw_update_arg arg{};
        capture_.attach(arg);
        capture_.messages.clear();
        std::unique_ptr<ImageFile> file = open_5810_image(arg, policy, path);
        if (!file) return -1;
        uint32_t length = 0;
        const int ok = read_5810_image(arg, *file, policy, buffer_, length);
        if (ok) {
            EXPECT_EQ(length, image.size());
        }
        return ok;
    }
    std::u16string last() const {
        return capture_.messages.empty() ? u"" : capture_.messages.back();
    }

    std::vector<uint8_t> storage_ = std::vector<uint8_t>(image_5810_buffer_size);
    std::span<uint8_t> buffer_{storage_};
};

TEST_F(Image5810Test, BuiltImagePassesWithTheHeaderDumpOfEachPolicy) {
    const Bytes image = image_5810();
    ASSERT_EQ(validate(image), 1);
    ASSERT_EQ(capture_.messages.size(), 1u);
    EXPECT_EQ(capture_.messages[0].substr(0, 31), u"==============HDR=============\n");
    EXPECT_NE(capture_.messages[0].find(u"header magic:          0x58104872\n"),
              std::u16string::npos);
    ASSERT_EQ(validate(image, Image5810Policy::sixcam5810), 1);
    EXPECT_EQ(capture_.messages[0].substr(0, 31), u"==========QKV5810 HDR=========\n");
    EXPECT_NE(capture_.messages[0].find(u"header minor version:  0x00000001\n"),
              std::u16string::npos);
}

// A damage to a built image and the message each policy then ends with.
struct CheckCase {
    const char *what;
    void (*damage)(Bytes &);
    std::u16string (*expect)(const Bytes &damaged, Image5810Policy policy);
};

bool six(Image5810Policy p) {
    return p == Image5810Policy::sixcam5810;
}
uint32_t header_crc(const Bytes &b) {
    return ryn_calc_crc(b.data() + H5::file_offset + H5::crc_from, H5::size - H5::crc_from);
}

const CheckCase kChecks[] = {
    {"magic", [](Bytes &b) { set_header(b, H5::magic, 0x12345678); },
     [](const Bytes &, Image5810Policy p) -> std::u16string {
         return six(p) ? u"[Patch File Error]: Failed to check the Header magic 0x12345678 "
                         u"(Expected: 0x58104872)\n"
                       : u"Fail to check the Header magic\n";
     }},
    {"header crc", [](Bytes &b) { H5::crc.put(std::span<uint8_t>(b).subspan(H5::file_offset), 7); },
     [](const Bytes &b, Image5810Policy p) {
         return six(p) ? text::format(
                             u"[Patch File Error]: Failed to check the Header CRC 0x%08x "
                             u"(Expected: 0x%08x)\n",
                             7u, header_crc(b))
                       : text::format(
                             u"Fail to check the Header CRC: 0x%08x (header) != 0x%08x "
                             u"(file)\n",
                             7u, header_crc(b));
     }},
    {"model config offset",
     [](Bytes &b) { set_header(b, H5::model_ofs, static_cast<uint32_t>(b.size() + 1)); },
     [](const Bytes &b, Image5810Policy) {
         return text::format(
             u"[Error] The model configuration offset (0x%08x) exceeds the file "
             u"length (0x%08x).\n",
             static_cast<uint32_t>(b.size() + 1), static_cast<uint32_t>(b.size()));
     }},
    {"model config crc", [](Bytes &b) { set_header(b, H5::model_crc, 1); },
     [](const Bytes &b, Image5810Policy) {
         const uint32_t ofs = header_word(b, H5::model_ofs), len = header_word(b, H5::model_len);
         return text::format(
             u"Fail to check the model config CRC: 0x%08x (header) != 0x%08x "
             u"(model config)\n",
             1u, ryn_calc_crc(b.data() + ofs, len));
     }},
    {"cali info offset",
     [](Bytes &b) { set_header(b, H5::cali_ofs, static_cast<uint32_t>(b.size() + 1)); },
     [](const Bytes &b, Image5810Policy) {
         return text::format(
             u"[Error] The calibration information offset (0x%08x) exceeds the "
             u"file length (0x%08x).\n",
             static_cast<uint32_t>(b.size() + 1), static_cast<uint32_t>(b.size()));
     }},
    {"cali info crc", [](Bytes &b) { set_header(b, H5::cali_crc, 2); },
     [](const Bytes &b, Image5810Policy) {
         const uint32_t ofs = header_word(b, H5::cali_ofs), len = header_word(b, H5::cali_len);
         return text::format(
             u"Fail to check the cali info CRC: 0x%08x (header) != 0x%08x "
             u"(cali info)\n",
             2u, ryn_calc_crc(b.data() + ofs, len));
     }},
};

TEST_F(Image5810Test, EachCheckRefusesWithItsMessage) {
    for (const CheckCase &c : kChecks) {
        SCOPED_TRACE(c.what);
        Bytes image = image_5810();
        c.damage(image);
        for (Image5810Policy policy : {Image5810Policy::c5810, Image5810Policy::sixcam5810}) {
            EXPECT_EQ(validate(image, policy), 0);
            ASSERT_EQ(capture_.messages.size(), 2u);  // the dump, then the check's message
            EXPECT_EQ(last(), c.expect(image, policy));
        }
    }
}

TEST_F(Image5810Test, SixCameraPathTakesHeaderVersionOneOneOnlyMajorFirst) {
    Bytes v10 = image_5810();
    set_header(v10, H5::minor, 0);
    EXPECT_EQ(validate(v10), 1);  // the second controller does not read the versions
    EXPECT_EQ(validate(v10, Image5810Policy::sixcam5810), 0);
    EXPECT_EQ(
        last(),
        u"[Patch File Error]: Failed to check the Header minor version 0x00 (Expected: 0x01)\n");
    Bytes v21 = image_5810();
    set_header(v21, H5::major, 2);
    EXPECT_EQ(validate(v21, Image5810Policy::sixcam5810), 0);
    EXPECT_EQ(
        last(),
        u"[Patch File Error]: Failed to check the Header major version 0x02 (Expected: 0x01)\n");
}

TEST_F(Image5810Test, SectionAtTheFileEndPasses) {
    Bytes image = image_5810();
    set_header(image, H5::model_ofs, static_cast<uint32_t>(image.size()));
    set_header(image, H5::model_len, 0);
    set_header(image, H5::model_crc, ryn_calc_crc(image.data(), 0));
    EXPECT_EQ(validate(image), 1);
}

TEST_F(Image5810Test, UnsafeImagesAreRefusedInsideTheirBytes) {
    struct Case {
        const char *what;
        Bytes image;
        const char16_t *start;
    };
    Bytes long_image = image_5810();
    long_image.resize(image_5810_buffer_size + 1, 0xFF);
    Bytes short_image = image_5810();
    short_image.resize(H5::end_in_file - 1);
    Bytes short_header = image_5810();
    set_header(short_header, H5::length, 11);
    Bytes long_header = image_5810();
    H5::length.put(std::span<uint8_t>(long_header).subspan(H5::file_offset),
                   static_cast<uint32_t>(long_header.size()));
    Bytes model_past_end = image_5810();
    set_header(model_past_end, H5::model_len,
               static_cast<uint32_t>(model_past_end.size() -
                                     header_word(model_past_end, H5::model_ofs) + 1));
    Bytes cali_past_end = image_5810();
    set_header(cali_past_end, H5::cali_len, 0xFFFFFFFF);
    Bytes firmware_past_end = image_5810();
    set_header(firmware_past_end, H5::firmware_len,
               static_cast<uint32_t>(firmware_past_end.size() + 1));
    Bytes no_firmware = image_5810();
    set_header(no_firmware, H5::firmware_len, 0);
    Bytes firmware_before_header_end = image_5810();
    set_header(firmware_before_header_end, H5::firmware_len,
               static_cast<uint32_t>(H5::end_in_file - 1));
    const Case cases[] = {
        {"firmware length 0", no_firmware,
         u"[Error] The firmware length (0x00000000) ends before the end of the image's header "
         u"(0x00001044).\n"},
        {"firmware ending inside the header", firmware_before_header_end,
         u"[Error] The firmware length (0x00001043) ends before"},
        {"longer than the buffer", long_image, u"[Error] The image of 262145 bytes does not fit"},
        {"shorter than the header", short_image, u"[Error] The image of 4163 bytes ends before"},
        {"header length 11", short_header, u"[Error] The header length (0x0000000b) is outside"},
        {"header beyond the file", long_header, u"[Error] The header length"},
        {"model config past the end", model_past_end, u"[Error] The model configuration ("},
        {"cali info past the end", cali_past_end,
         u"[Error] The calibration information (0xffffffff"},
        {"firmware past the end", firmware_past_end, u"[Error] The firmware length ("},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (Image5810Policy policy : {Image5810Policy::c5810, Image5810Policy::sixcam5810}) {
            EXPECT_EQ(validate(c.image, policy), 0);
            const std::u16string start = c.start;
            EXPECT_EQ(last().substr(0, start.size()), start);
        }
    }
}

TEST_F(Image5810Test, ShortImageIsNotCheckedAgainstAnEarlierImage) {
    const Bytes image = image_5810();
    ASSERT_EQ(validate(image), 1);
    // The same bytes up to the header's end: a check of the buffer would pass.
    Bytes cut(image.begin(), image.begin() + H5::end_in_file - 4);
    EXPECT_EQ(validate(cut), 0);
    EXPECT_EQ(capture_.messages.size(), 1u);  // no dump of a header the file does not hold
}

TEST_F(Image5810Test, RefusedImageReachesNoDevice) {
    create("5810");
    Bytes image = image_5810();
    set_header(image, H5::cali_len, 0xFFFFFFFF);
    EXPECT_EQ(update(image), 0);
    EXPECT_EQ(capture_.messages.back(), u"Failed to read input patch file.\n");
    for (const std::string &op : device_ops()) EXPECT_TRUE(op == "ryn_check_platform") << op;
}

}  // namespace
}  // namespace ryn::fwupdate::test
