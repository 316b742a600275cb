// Flash-layout update: the flash builder's install, the layout under one CRC,
// and the image's normal code put back.
#include <zlib.h>

#include "fw_test.h"
#include "fwupdate/base/update.h"

namespace ryn::fwupdate::test {
namespace {

class FlashLayoutTest : public FwTest {
  protected:
    void SetUp() override {
        FwTest::SetUp();
        image_ = build_base_image({});
        ImageParts parts;
        parts.normal_version = u"1.0.0001.1";
        flash_builder_ = build_flash_builder_file(parts);
    }

    int32_t update_layout() { return update(image_, RYN_UPDATE_FLASH_LAYOUT, &flash_builder_); }

    // The six layout sections, in layout order, as (flash address, bytes).
    std::vector<std::pair<uint32_t, Bytes>> layout_sections() {
        const std::pair<layout::Field, layout::Field> fields[] = {
            {H::fw_header_ofs, H::fw_header_len}, {H::version_ofs, H::version_len},
            {H::model_ofs, H::model_len},         {H::cali_ofs, H::cali_len},
            {H::update_ofs, H::update_len},       {H::bootldr_ofs, H::bootldr_len},
        };
        std::vector<std::pair<uint32_t, Bytes>> out;
        for (const auto &[ofs, len] : fields) {
            std::span<uint8_t> s = section(image_, ofs, len);
            out.emplace_back(word(image_, ofs), Bytes(s.begin(), s.end()));
        }
        return out;
    }

    size_t count(const std::string &op) {
        const std::vector<std::string> ops = trace_ops();
        return static_cast<size_t>(std::count(ops.begin(), ops.end(), op));
    }

    Bytes image_, flash_builder_;
};

TEST_F(FlashLayoutTest, WritesTheSixSectionsUnderOneCrcAndRestoresTheNormalCode) {
    create_generation(
        "2.0.0000.1");  // g40 firmware: the flash builder goes in with a default table
    ASSERT_EQ(update_layout(), 1) << text::to_utf8(capture_.text());
    EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 1, 2, 6, 7, 8}));

    // The CRC announced covers exactly the six sections in layout order.
    uint32_t crc = 0;
    for (const auto &[address, bytes] : layout_sections())
        crc = static_cast<uint32_t>(crc32(crc, bytes.data(), static_cast<uInt>(bytes.size())));
    EXPECT_TRUE(has_message(text::format(u"\r-> CRC = %08x\n", crc)));
    std::string announce;
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i)
        if (std::string(ryn_sim_trace_op(i)) == "ryn_set_update_hdr")
            announce = ryn_sim_trace_text(i);
    char expected[64];
    std::snprintf(expected, sizeof expected, ", 0, 0x20000, 0x60000, 0x%x) = 1", crc);
    EXPECT_NE(announce.find(expected), std::string::npos) << announce;

    // The region holds the sections at their flash addresses.
    const Bytes region = sim_record("layout");
    ASSERT_EQ(region.size(), layout_size);
    for (const auto &[address, bytes] : layout_sections())
        EXPECT_TRUE(
            std::equal(bytes.begin(), bytes.end(), region.begin() + (address - layout_start)));

    // The flash builder was installed by g40 with the V1.0_2 table, then
    // replaced by the image's code through the flash builder's sequence.
    EXPECT_TRUE(has_message(u"V1.0_2\n"));
    EXPECT_EQ(count("ryn_get_model_cfg_g40"), 0u);
    EXPECT_EQ(count("ryn_set_normal_code_g40"), 1u);
    EXPECT_EQ(count("ryn_set_normal_code"), 1u);
    std::span<uint8_t> code = section(image_, H::normal_ofs, H::normal_len);
    EXPECT_EQ(sim_record("normal-code"), Bytes(code.begin(), code.end()));
    EXPECT_EQ(device_version(VR::normal), u"2.3.1400.1");
    EXPECT_EQ(device_version(VR::updater), u"2.3.1311.2");  // the layout's version record
    uint32_t mode = 0;
    ASSERT_EQ(ryn_get_fw_mode(arg_.handle, &mode), 1);
    EXPECT_EQ(mode, fw_mode_normal);
    const std::vector<std::u16string> report = {u"Updating the flash layout, please wait....\n",
                                                u" Header... ",
                                                u" Done\n",
                                                u" Version String... ",
                                                u" Done\n",
                                                u" Model Config... ",
                                                u" Done\n",
                                                u" Calibration Table... ",
                                                u" Done\n",
                                                u" Update Code... ",
                                                u" Done\n",
                                                u" Boot Loader... ",
                                                u" Done\n",
                                                u"Check the CRC ... ",
                                                u" OK\n",
                                                u" --> Update Flash Layout Successfully.\n"};
    auto at = std::search(capture_.messages.begin(), capture_.messages.end(), report.begin(),
                          report.end());
    EXPECT_NE(at, capture_.messages.end());
}

// A section moved changes the CRC that is sent.
TEST_F(FlashLayoutTest, CrcFollowsEveryByteOfTheSections) {
    create_generation("2.3.1204.1");
    ASSERT_EQ(update_layout(), 1);
    const std::u16string first =
        *std::find_if(capture_.messages.begin(), capture_.messages.end(),
                      [](const std::u16string &m) { return m.rfind(u"\r-> CRC", 0) == 0; });
    section(image_, H::model_ofs, H::model_len)[100] ^= 0x10;
    fix_crc(image_, H::model_ofs, H::model_len, H::model_crc);
    create_generation("2.3.1204.1");
    capture_ = {};
    ASSERT_EQ(update_layout(), 1);
    EXPECT_FALSE(has_message(first));
}

TEST_F(FlashLayoutTest, DeviceRunningTheFlashBuilderSkipsItsInstall) {
    create_generation("2.3.1204.1", "flashbuilder");
    ASSERT_EQ(update_layout(), 1) << text::to_utf8(capture_.text());
    EXPECT_TRUE(has_message(u"Check the FW mode -> FlashBuilder Mode.\n"));
    EXPECT_TRUE(has_message(u"Skip to update flashbuilder into device.\n"));
    EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 1, 2, 6, 7, 8}));
    EXPECT_EQ(count("ryn_set_normal_code"), 1u);  // only the image's own code
    const std::vector<std::string> ops = trace_ops();
    EXPECT_LT(std::find(ops.begin(), ops.end(), "ryn_set_update_hdr"),
              std::find(ops.begin(), ops.end(), "ryn_set_normal_code"));
}

TEST_F(FlashLayoutTest, WriteFailingInTheMiddleStopsThere) {
    create_generation("2.3.1204.1", "flashbuilder");
    ryn_sim_fail("ryn_update_flash_code", 3, 1);
    ASSERT_EQ(update_layout(), 0);
    EXPECT_EQ(capture_.messages[capture_.messages.size() - 3], u" Model Config... ");
    EXPECT_EQ(capture_.messages[capture_.messages.size() - 2], u"Failed\n");
    EXPECT_EQ(capture_.messages.back(), u"Failed to update the flash layout\n");
    EXPECT_EQ(count("ryn_update_flash_code"), 3u);
    EXPECT_EQ(count("ryn_get_update_hdr"), 0u);
    EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 1, 2, 6}));
}

TEST_F(FlashLayoutTest, CrcVerdictOtherThanOneFails) {
    create_generation("2.3.1204.1", "flashbuilder");
    ryn_sim_corrupt("ryn_get_update_hdr", 1, 1, 0, 1);  // the verdict byte reads 0xFE
    ASSERT_EQ(update_layout(), 0);
    const std::vector<std::u16string> tail(capture_.messages.end() - 3, capture_.messages.end());
    EXPECT_EQ(tail, (std::vector<std::u16string>{u"Check the CRC ... ", u" Failed\n",
                                                 u"Failed to update the flash layout\n"}));
    EXPECT_EQ(count("ryn_set_normal_code"), 0u);
}

TEST_F(FlashLayoutTest, RefusedRequestsAndVerdicts) {
    struct Case {
        const char *operation;
        const char16_t *message;
    };
    const Case cases[] = {
        {"ryn_set_update_hdr", u"Failed to request FW to check CRC"},
        {"ryn_get_update_hdr", u"Failed to get CRC result"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.operation);
        create_generation("2.3.1204.1", "flashbuilder");
        ryn_sim_fail(c.operation, 1, 1);
        capture_ = {};
        ASSERT_EQ(update_layout(), 0);
        EXPECT_EQ(capture_.messages[capture_.messages.size() - 2], c.message);
        EXPECT_EQ(capture_.messages.back(), u"Failed to update the flash layout\n");
    }
}

// Sections the layout region cannot hold are refused before the device is touched.
TEST_F(FlashLayoutTest, SectionOutsideTheRegionIsRefusedBeforeTheDevice) {
    create_generation("2.3.1204.1");
    set_header_field(image_, H::cali_ofs, 0x1000);  // below the region, still inside the file
    fix_crc(image_, H::cali_ofs, H::cali_len, H::cali_crc);
    ASSERT_EQ(update_layout(), 0);
    EXPECT_EQ(capture_.messages.back(),
              u"The calibration section (0x00001000, 0x00002000 bytes) lies outside the flash "
              u"layout region "
              u"0x00020000 to 0x00080000.\n");
    EXPECT_EQ(device_ops(), std::vector<std::string>{"ryn_check_platform"});
}

// The image's normal version is patched only after the flash builder is
// installed and the layout written; one the patch cannot take (60
// characters) is refused with the image instead, before the device is
// touched, rather than leaving the flash builder running.
TEST_F(FlashLayoutTest, NormalVersionThePatchCannotTakeIsRefusedBeforeTheDevice) {
    create_generation("2.0.0000.1");
    set_image_normal_version(image_, std::u16string(60, u'7'));
    ASSERT_EQ(update_layout(), 0);
    EXPECT_EQ(capture_.messages.back(), u"Fail to patch the normal code version.");
    EXPECT_EQ(device_ops(), std::vector<std::string>{"ryn_check_platform"});
}

TEST_F(FlashLayoutTest, DamagedFlashBuilderFileIsRefusedBeforeItsInstall) {
    create_generation("2.0.0000.1");
    flash_builder_[H::header_size + 40] ^= 0x01;  // inside the flash builder code
    ASSERT_EQ(update_layout(), 0);
    EXPECT_EQ(capture_.messages.back().rfind(u"Fail to check the flash builder code CRC: 0x", 0),
              0u);
    EXPECT_EQ(device_ops(), std::vector<std::string>{"ryn_check_platform"});

    capture_ = {};
    const std::u16string &path = write("image.bin", image_);
    const std::u16string missing = (dir_ / "none.bin").u16string();
    arg_ = block(path, RYN_UPDATE_FLASH_LAYOUT, &missing);
    ASSERT_EQ(ryn_fw_update(&arg_), 0);
    ASSERT_GE(capture_.messages.size(), 2u);
    EXPECT_EQ(capture_.messages.end()[-2], u"Fail to open the file [" + missing + u"]\n");
    EXPECT_EQ(capture_.messages.back(), u"No such file or directory\n");
}

}  // namespace
}  // namespace ryn::fwupdate::test
