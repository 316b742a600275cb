// The 5920 update: banked image validation, the mask ROM switch, bank-by-bank
// writes with read-back, the flash-layout write, and the firmware header
// record's boot word. The simulated 5920 holds the flash that is checked.
#include "fw_test.h"
#include "fwupdate/c5920/image.h"

namespace ryn::fwupdate::test {
namespace {

using B = BankedHeader;
using R = BankedFwHeaderRecord;

class BankedTest : public FwTest {
  protected:
    void SetUp() override {
        FwTest::SetUp();
        ASSERT_NE(ryn_sim_create("5920", nullptr), RYN_INVALID_HANDLE) << ryn_sim_last_error();
        image_ = build_banked_image({});
    }

    // Recomputes the header checksum after a deliberate change of the header.
    static void seal(Bytes &image) {
        uint32_t sum = 0;
        for (size_t i = B::checksum_from; i < B::header_len.get(image); ++i) sum += image[i];
        B::checksum.put(image, sum);
    }

    // Upper-case hexadecimal of digits digits.
    static std::u16string hex(uint32_t v, int digits) {
        char t[16];
        std::snprintf(t, sizeof t, "%0*X", digits, v);
        return text::from_utf8(t);
    }

    // The messages after the header dump.
    std::vector<std::u16string> after_dump() const {
        auto it = std::find_if(capture_.messages.begin(), capture_.messages.end(),
                               [](const std::u16string &m) { return m.starts_with(u"=="); });
        return it == capture_.messages.end()
                   ? std::vector<std::u16string>{}
                   : std::vector<std::u16string>(it + 1, capture_.messages.end());
    }

    static uint32_t fw_header_word(const layout::Field &f) {
        return static_cast<uint32_t>(f.get(sim_record("fw-header")));
    }

    Bytes image_;
};

TEST_F(BankedTest, NormalModeWritesAndVerifiesEveryBankThenBootsFromFlash) {
    ASSERT_EQ(update(image_), 1) << text::to_utf8(capture_.text());
    EXPECT_EQ(after_dump(), (std::vector<std::u16string>{
                                u"Update Flash Header\n",
                                u"Update Bank 00 firmware (@00001000 24576 bytes)\n",
                                u"Update Bank 01 firmware (@00007000 24576 bytes)\n",
                                u"Update Bank 02 firmware (@0000D000 24576 bytes)\n",
                                u"Switch to flash\n",
                                u"Update firmware succesfully\n",
                            }));
    EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 0, 1, 2, 4, 8}));
    EXPECT_EQ(waits_, std::vector<uint32_t>{500});
    const Bytes flash = sim_record("flash");
    ASSERT_EQ(flash.size(), image_buffer_size);
    EXPECT_TRUE(
        std::equal(image_.begin() + 0x1000, image_.begin() + 0x13000, flash.begin() + 0x1000));
    EXPECT_EQ(flash[0], 0xFF) << "only the banks are written";
    EXPECT_EQ(fw_header_word(R::boot_word), R::boot_from_flash);
    EXPECT_EQ(fw_header_word(R::boot_sum), 0x1A7u);
    // Each bank is written, then read back from 0x80000000 + its address.
    std::vector<std::string> writes;
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i) {
        const std::string op = ryn_sim_trace_op(i);
        if (op == "ryn_update_flash_code" || op == "ryn_get_data") writes.push_back(op);
    }
    EXPECT_EQ(writes.size(), 6u);
    EXPECT_EQ(device_ops().front(), "ryn_check_platform");
    EXPECT_EQ(device_ops()[1], "ryn_set_dev_mode");
}

TEST_F(BankedTest, NoBanksStillPatchesAndSwitchesTheHeader) {
    B::bank_num.put(image_, 0);
    seal(image_);
    ASSERT_EQ(update(image_), 1) << text::to_utf8(capture_.text());
    EXPECT_EQ(device_ops(), (std::vector<std::string>{
                                "ryn_check_platform", "ryn_set_dev_mode", "ryn_get_fw_hdr",
                                "ryn_set_fw_hdr", "ryn_get_fw_hdr", "ryn_set_fw_hdr", "reset"}));
    EXPECT_EQ(fw_header_word(R::boot_word), R::boot_from_flash);
}

// The flash header cannot be patched in the mask ROM: nothing was written,
// so a reset runs the controller from its flash again; when the header
// cannot be read either, the last message says it stays in its mask ROM.
TEST_F(BankedTest, AHeaderThatCannotBePatchedLeavesAStatedMode) {
    struct Case {
        const char *what;
        const char *failing;
        const char16_t *last;
        bool reset;  // the controller was reset to boot its flash
    };
    const Case cases[] = {
        {"header write fails", "ryn_set_fw_hdr",
         u"The controller runs from flash again; nothing was written.\n", true},
        {"header read fails", "ryn_get_fw_hdr",
         u"[Error] The controller is left in its mask ROM; a firmware update (ryn fw update "
         u"IMAGE) brings it back.\n",
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(ryn_sim_create("5920", nullptr), RYN_INVALID_HANDLE);
        ASSERT_TRUE(ryn_sim_fail(c.failing, 1, 2));
        EXPECT_EQ(update(image_), 0);
        EXPECT_TRUE(has_message(u"Failed to patch flash header\n"));
        EXPECT_TRUE(has_message(u"Failed to update firmware code.\n"));
        EXPECT_EQ(capture_.messages.back(), c.last);
        EXPECT_TRUE(sim_record("flash").empty());
        EXPECT_EQ(fw_header_word(R::boot_word), R::boot_from_flash);
        EXPECT_EQ(device_ops().back() == "reset", c.reset);
    }
}

// The code banks are checked with the image: a count above 8 or a bank that
// ends past the file is refused before the mask ROM switch, so the device
// keeps its mode and its firmware header record (boot word included).
TEST_F(BankedTest, BadCodeBanksAreRefusedBeforeTheDeviceIsTouched) {
    struct Case {
        const char *what;
        void (*damage)(Bytes &);
        std::u16string message;
    };
    const Case cases[] = {
        {"nine banks", [](Bytes &i) { B::bank_num.put(i, 9); },
         u"Header Bank Number is not valid(9)\n"},
        {"bank 1 one byte past the end",
         [](Bytes &i) { B::bank_address.at(1).put(i, static_cast<uint32_t>(i.size()) - 0x5FFF); },
         u"File Length is not enough for Code Bank 1!!(0x00011001, 24576)\n"},
        {"bank 2 wrapping past 4 GiB", [](Bytes &i) { B::bank_address.at(2).put(i, 0xFFFFA000); },
         u"File Length is not enough for Code Bank 2!!(0xFFFFA000, 24576)\n"},
    };
    const Bytes header_before = sim_record("fw-header");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes image = image_;
        c.damage(image);
        seal(image);
        capture_ = {};
        ASSERT_EQ(update(image), 0);
        EXPECT_EQ(after_dump(), (std::vector<std::u16string>{
                                    c.message, u"Failed to read input patch file.\n"}));
        EXPECT_EQ(device_ops(), std::vector<std::string>{"ryn_check_platform"});
        EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 0, 1}));
        EXPECT_EQ(sim_record("fw-header"), header_before);
        EXPECT_EQ(fw_header_word(R::boot_word), R::boot_from_flash);
        // The banks matter to normal mode only: the same image is written
        // whole in flash-layout mode.
        ASSERT_EQ(ryn_sim_create("5920", nullptr) != RYN_INVALID_HANDLE, true);
        EXPECT_EQ(update(image, RYN_UPDATE_FLASH_LAYOUT), 1) << text::to_utf8(capture_.text());
        ASSERT_EQ(ryn_sim_create("5920", nullptr) != RYN_INVALID_HANDLE, true);
    }
}

TEST_F(BankedTest, ABankEndingAtTheEndOfTheFileIsWritten) {
    B::bank_address.at(1).put(image_, image_.size() - B::bank_size);
    seal(image_);
    ASSERT_EQ(update(image_), 1) << text::to_utf8(capture_.text());
    const Bytes flash = sim_record("flash");
    ASSERT_GE(flash.size(), image_.size());
    EXPECT_TRUE(std::equal(image_.end() - B::bank_size, image_.end(),
                           flash.begin() + (image_.size() - B::bank_size)));
}

TEST_F(BankedTest, AReadBackThatDiffersReportsTheIndexWithinTheBlock) {
    ASSERT_TRUE(ryn_sim_corrupt("ryn_get_data", 1, 1, 0, 1));
    ASSERT_EQ(update(image_), 0);
    const uint8_t expected = image_[0x1000];
    const std::u16string want =
        u"(0x00000000) " + hex(expected, 2) + u" <-> " + hex(expected ^ 0xFF, 2) + u"\n";
    EXPECT_EQ(after_dump(),
              (std::vector<std::u16string>{
                  u"Update Flash Header\n", u"Update Bank 00 firmware (@00001000 24576 bytes)\n",
                  want, u"Failed to verify flash data\n", u"Failed to update firmware code.\n"}));
}

TEST_F(BankedTest, FlashLayoutWritesTheWholeFileWithTheBootWordCleared) {
    ASSERT_EQ(update(image_, RYN_UPDATE_FLASH_LAYOUT), 1) << text::to_utf8(capture_.text());
    EXPECT_TRUE(has_message(u"Update firmware (flash layout) (" +
                            text::from_utf8(std::to_string(image_.size())) + u" bytes)\n"));
    Bytes expected = image_;
    B::boot_word.put(expected, R::no_boot);
    const Bytes flash = sim_record("flash");
    ASSERT_GE(flash.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), flash.begin()));
    // The verify compared against what was written: it passed, and a corrupted
    // read-back of the boot word shows the written 0xFF.
    ASSERT_TRUE(ryn_sim_create("5920", nullptr) != RYN_INVALID_HANDLE);
    ASSERT_TRUE(ryn_sim_corrupt("ryn_get_data", 1, 1, 0x0C, 1));
    capture_.messages.clear();
    ASSERT_EQ(update(image_, RYN_UPDATE_FLASH_LAYOUT), 0);
    EXPECT_TRUE(has_message(u"(0x0000000C) FF <-> 00\n")) << text::to_utf8(capture_.text());
}

TEST_F(BankedTest, TheChecksumCoversTheHeaderLenOnly) {
    image_[B::size + 8] ^= 0x5A;  // behind header len 0x58
    EXPECT_EQ(update(image_), 1) << text::to_utf8(capture_.text());
    image_[B::size - 1] ^= 0x5A;  // inside it
    ASSERT_EQ(update(image_), 0);
    EXPECT_TRUE(capture_.messages.back() == u"Failed to read input patch file.\n");
}

// Only normal and flash-layout mode are written; any other update_mode is
// refused before the mask ROM switch, with no device traffic.
TEST_F(BankedTest, OtherUpdateModesAreRefusedBeforeTheSwitch) {
    const Bytes header_before = sim_record("fw-header");
    for (uint32_t mode : {RYN_UPDATE_AUTO, RYN_FLAG_6CAM_DEV1}) {
        capture_ = {};
        ASSERT_EQ(update(image_, mode), 0);
        EXPECT_EQ(after_dump(),
                  (std::vector<std::u16string>{
                      u"Unsupport Mode: " + text::from_utf8(std::to_string(mode)) + u".\n"}));
        EXPECT_EQ(device_ops(), std::vector<std::string>{"ryn_check_platform"});
        EXPECT_EQ(sim_record("fw-header"), header_before);
    }
}

// Every image that cannot be used safely is refused before the device sees
// anything but the platform query.
TEST_F(BankedTest, UnsafeImagesAreRefusedWithoutDeviceTraffic) {
    struct Case {
        const char *what;
        void (*damage)(Bytes &);
        std::u16string message;
    };
    const Case cases[] = {
        {"longer than the image buffer", [](Bytes &i) { i.resize(image_buffer_size + 1, 0xFF); },
         u"The image of 262145 bytes does not fit the image buffer of 262144 bytes.\n"},
        {"shorter than the header", [](Bytes &i) { i.resize(B::size - 1); },
         u"The image of 87 bytes is shorter than its 88-byte header.\n"},
        {"header len below 12",
         [](Bytes &i) {
             B::header_len.put(i, 11);
             seal(i);
         },
         u"The header len 0x0000000b lies outside 0x0000000c to the file length 0x00017000.\n"},
        {"header len beyond the file",
         [](Bytes &i) { B::header_len.put(i, static_cast<uint32_t>(i.size() + 1)); },
         u"The header len 0x00017001 lies outside 0x0000000c to the file length 0x00017000.\n"},
        {"wrong magic", [](Bytes &i) { B::magic.put(i, 0x5920A6A6); },
         u"Fail to check the Header magic\n"},
        {"model config past the end",
         [](Bytes &i) {
             B::model_len.put(i, static_cast<uint32_t>(i.size() - B::model_ofs.get(i) + 1));
             seal(i);
         },
         u"Model Config address and sizeis invalid (0x00013000 16385)\n"},
        {"calibration offset and length that wrap",
         [](Bytes &i) {
             B::cali_ofs.put(i, 0xFFFFFF00);
             B::cali_len.put(i, 0x200);
             seal(i);
         },
         u"Calibration Table address and sizeis invalid (0xFFFFFF00 512)\n"},
        {"calibration CRC", [](Bytes &i) { i[B::cali_ofs.get(i)] ^= 1; }, u""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes image = image_;
        c.damage(image);
        capture_.messages.clear();
        ASSERT_EQ(update(image), 0);
        EXPECT_EQ(device_ops(), std::vector<std::string>{"ryn_check_platform"});
        ASSERT_GE(capture_.messages.size(), 2u);
        EXPECT_EQ(capture_.messages.back(), u"Failed to read input patch file.\n");
        if (!c.message.empty())
            EXPECT_EQ(capture_.messages[capture_.messages.size() - 2], c.message);
        else
            EXPECT_TRUE(capture_.messages[capture_.messages.size() - 2].starts_with(
                u"Fail to check the cali info CRC: "));
    }
}

}  // namespace
}  // namespace ryn::fwupdate::test
