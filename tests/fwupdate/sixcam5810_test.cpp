// The six-camera 5810 update: the device chosen by the bits, the header
// blanked in the code and written on its own, the download kit's end and
// the reset.
#include "c5810_test.h"

namespace ryn::fwupdate::test {
namespace {

class Sixcam5810Test : public Fw5810Test {
  protected:
    void SetUp() override {
        Fw5810Test::SetUp();
        create("6cam");
    }
    std::string record_of(uint32_t dev, const char *name) const {
        return std::to_string(dev) + "/" + name;
    }
};

TEST_F(Sixcam5810Test, NormalUpdateWritesCodeWithBlankHeaderThenTheHeader) {
    const Bytes image = image_5810();
    ASSERT_EQ(update(image, RYN_FLAG_6CAM_DEV2 | RYN_UPDATE_NORMAL), 1)
        << text::to_utf8(capture_.text());
    EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 0, 1, 2, 4, 8}));
    const std::vector<std::string> ops = device_ops();
    EXPECT_EQ(ops, (std::vector<std::string>{"ryn_check_platform", "ryn_6cam_set_dev_id",
                                             "ryn_update_flash_code", "ryn_set_fw_hdr",
                                             "ryn_set_dev_ctrl", "ryn_get_dev_ctrl", "reset"}));
    const uint32_t firmware_length = header_word(image, H5::firmware_len);
    ASSERT_GE(firmware_length, H5::end_in_file);
    EXPECT_EQ(sim_record(record_of(2, "flash").c_str()), flash_after(image, firmware_length, true));
    EXPECT_TRUE(sim_record(record_of(1, "flash").c_str()).empty());
    const Bytes header = sim_record(record_of(2, "fw-header").c_str());
    ASSERT_EQ(header.size(), FwHeaderRecord5810::size);
    EXPECT_TRUE(
        std::equal(header.begin(), header.begin() + H5::size, image.begin() + H5::file_offset));
    EXPECT_EQ(count_waits(100), 0u);  // the download kit ended at the first read
    EXPECT_EQ(capture_.messages.back(), u"Update firmware succesfully\n");
}

// An image that would write no code is refused before the device leaves its
// firmware: no switch, no write, no header stored.
TEST_F(Sixcam5810Test, AnImageWithoutFirmwareIsRefusedBeforeTheDevice) {
    Bytes image = image_5810();
    set_header(image, H5::firmware_len, 0);
    EXPECT_EQ(update(image, RYN_FLAG_6CAM_DEV1 | RYN_UPDATE_NORMAL), 0);
    EXPECT_EQ(device_ops(), (std::vector<std::string>{"ryn_check_platform", "ryn_6cam_set_dev_id"}));
    EXPECT_TRUE(sim_record(record_of(1, "flash").c_str()).empty());
}

TEST_F(Sixcam5810Test, BothBitsChooseDeviceOneAndLayoutWritesTheWholeFile) {
    const Bytes image = image_5810();
    ASSERT_EQ(update(image, RYN_FLAG_6CAM_DEV1 | RYN_FLAG_6CAM_DEV2 | RYN_UPDATE_FLASH_LAYOUT), 1)
        << text::to_utf8(capture_.text());
    EXPECT_EQ(sim_record(record_of(1, "flash").c_str()), flash_after(image, image.size(), true));
    EXPECT_TRUE(sim_record(record_of(2, "flash").c_str()).empty());
    EXPECT_TRUE(has_message(text::format(u"Update firmware (flash layout) (%u bytes)\n",
                                         static_cast<uint32_t>(image.size()))));
}

TEST_F(Sixcam5810Test, DownloadKitThatNeverEndsWarnsAfterFortyOneReadsAndSucceeds) {
    ASSERT_TRUE(ryn_sim_stall("ryn_get_dev_ctrl", 1));
    ASSERT_EQ(update(image_5810(), RYN_FLAG_6CAM_DEV1), 1);
    EXPECT_EQ(count_op("ryn_get_dev_ctrl"), 41u);
    EXPECT_EQ(count_waits(100), 40u);
    EXPECT_TRUE(has_message(u"[Warning]: Failed to set download kit to end (retries timeout)\n"));
    EXPECT_EQ(count_op("reset"), 1u);
}

TEST_F(Sixcam5810Test, UnsupportedModeReportsTheWholeValue) {
    EXPECT_EQ(update(image_5810(), 0x12), 0);
    const std::vector<std::u16string> tail(capture_.messages.end() - 2, capture_.messages.end());
    EXPECT_EQ(tail, (std::vector<std::u16string>{u"Unsupport Mode: 18.\n",
                                                 u"Failed to update firmware code.\n"}));
    EXPECT_EQ(count_op("ryn_update_flash_code"), 0u);
}

TEST_F(Sixcam5810Test, FailuresOfEachWriteStepHaveTheirMessages) {
    struct Case {
        const char *op;
        uint32_t mode;
        const char16_t *message;
    };
    const Case cases[] = {
        {"ryn_update_flash_code", RYN_UPDATE_NORMAL, u"[Set FW Code]: Failed to update firmware\n"},
        {"ryn_set_fw_hdr", RYN_UPDATE_NORMAL, u"[Set FW Code]: Failed to update firmware header\n"},
        {"reset", RYN_UPDATE_NORMAL, u"[Set FW Code]: Failed to reset device.\n"},
        {"ryn_update_flash_code", RYN_UPDATE_FLASH_LAYOUT,
         u"[Set FW Code Layout]: Failed to update firmware\n"},
        {"ryn_set_fw_hdr", RYN_UPDATE_FLASH_LAYOUT,
         u"[Set FW Code Layout]: Failed to update firmware header\n"},
        {"reset", RYN_UPDATE_FLASH_LAYOUT, u"[Set FW Code Layout]: Failed to reset device.\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.op) + " " + std::to_string(c.mode));
        create("6cam");
        capture_.messages.clear();
        ASSERT_TRUE(ryn_sim_fail(c.op, 1, 1));
        EXPECT_EQ(update(image_5810(), RYN_FLAG_6CAM_DEV2 | c.mode), 0);
        const std::vector<std::u16string> tail(capture_.messages.end() - 2,
                                               capture_.messages.end());
        EXPECT_EQ(tail,
                  (std::vector<std::u16string>{c.message, u"Failed to update firmware code.\n"}));
    }
}

TEST_F(Sixcam5810Test, OpenFailureUsesThePatchFileMessages) {
    const std::u16string missing = (dir_ / "missing.bin").u16string();
    fw_update_arg arg = block(missing, RYN_FLAG_6CAM_DEV1);
    EXPECT_EQ(ryn_fw_update(&arg), 0);
    ASSERT_GE(capture_.messages.size(), 3u);
    const std::vector<std::u16string> tail(capture_.messages.end() - 3, capture_.messages.end());
    EXPECT_EQ(tail,
              (std::vector<std::u16string>{
                  text::format(u"[Patch File Error]: Failed to open file %s\n", missing.c_str()),
                  u"No such file or directory\n", u"Failed to read input patch file.\n"}));
}

}  // namespace
}  // namespace ryn::fwupdate::test
