// The six-camera LPC4320 update: validation by header version, the boot
// loader switch, the normal-mode parts and the flash-layout write, and the
// images refused before any device traffic. The simulated six-camera system
// holds the LPC4320 flash and stored image header that are checked.
#include "fw_test.h"
#include "fwupdate/lpc4320/image.h"

namespace ryn::fwupdate::test {
namespace {

using H10 = Lpc4320Header10;
using H11 = Lpc4320Header11;

class Lpc4320Test : public FwTest {
  protected:
    void SetUp() override {
        FwTest::SetUp();
        ASSERT_NE(ryn_sim_create("6cam", nullptr), RYN_INVALID_HANDLE) << ryn_sim_last_error();
        v11_ = build_lpc4320_image({});
        ImageParts parts;
        parts.header_minor = 0;
        v10_ = build_lpc4320_image(parts);
    }

    // Recomputes the header CRC after a deliberate change of the header.
    static void seal(Bytes &image) {
        const auto len = static_cast<uint32_t>(H10::header_len.get(image));
        H10::header_crc.put(image, ryn_calc_crc(image.data() + H10::crc_from, len - H10::crc_from));
    }

    // The device operations besides the platform query and the device selection.
    static std::vector<std::string> device_work() {
        std::vector<std::string> ops;
        for (const std::string &op : device_ops())
            if (op != "ryn_check_platform" && op != "ryn_6cam_set_dev_id") ops.push_back(op);
        return ops;
    }

    static std::vector<std::u16string> after(const std::vector<std::u16string> &messages,
                                             const std::u16string &first) {
        auto it = std::find(messages.begin(), messages.end(), first);
        return it == messages.end() ? std::vector<std::u16string>{}
                                    : std::vector<std::u16string>(it, messages.end());
    }

    Bytes v11_, v10_;
};

TEST_F(Lpc4320Test, A11ImageInNormalModeWritesEveryPartThenTheHeader) {
    ASSERT_EQ(update(v11_), 1) << text::to_utf8(capture_.text());
    // The 1.1 header dump is one message: the 1.0 rows and their continuation.
    ASSERT_FALSE(capture_.messages.empty());
    EXPECT_TRUE(capture_.messages[0].starts_with(u"==========LPC4320 HDR=========\n"));
    EXPECT_NE(capture_.messages[0].find(u"flash fw crc:          0x"), std::u16string::npos);
    EXPECT_NE(capture_.messages[0].find(u"\nahb sram 2 crc:        0x"), std::u16string::npos);
    EXPECT_EQ(after(capture_.messages, u"Switch to Boot Loader (VID=0x0408, PID=0x4320)\n"),
              (std::vector<std::u16string>{
                  u"Switch to Boot Loader (VID=0x0408, PID=0x4320)\n",
                  u"Update firmware (Offset=0x00011000, 32768 bytes)\n",
                  u"Update flash firmware (Offset=0x00019000, 8192 bytes)\n",
                  u"Update AHB_Sram 1 firmware (Offset=0x0001f000, 4096 bytes)\n",
                  u"Update AHB_Sram 2 firmware (Offset=0x00020000, 2048 bytes)\n",
                  u"Update Header\n",
                  u"Update firmware succesfully\n",
              }));
    EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 0, 1, 2, 4, 8}));
    EXPECT_EQ(waits_, (std::vector<uint32_t>{500, 500}));
    EXPECT_EQ(device_work(),
              (std::vector<std::string>{"ryn_get_fw_mode", "ryn_get_fw_hdr", "ryn_set_dev_mode",
                                        "reset", "ryn_update_flash_code", "ryn_update_flash_code",
                                        "ryn_update_flash_code", "ryn_update_flash_code",
                                        "ryn_set_fw_hdr", "reset"}));
    EXPECT_EQ(std::string(ryn_sim_trace_text(1)), "ryn_6cam_set_dev_id(255) = 1");
    // The written parts: flash address a holds file byte a - 0x10000. The
    // model configuration and calibration are checked, not written.
    const Bytes flash = sim_record("255/flash");
    ASSERT_EQ(flash.size(), 0x80000u);
    EXPECT_TRUE(std::equal(v11_.begin() + 0x1000, v11_.begin() + 0x9000, flash.begin() + 0x11000));
    for (const Lpc4320Part &p :
         std::initializer_list<Lpc4320Part>{lpc4320_flash_fw_part, lpc4320_sram_parts[0],
                                            lpc4320_sram_parts[1]}) {
        const size_t at = p.offset.get(v11_), length = p.length.get(v11_);
        EXPECT_TRUE(std::equal(v11_.begin() + (at - 0x10000),
                               v11_.begin() + (at - 0x10000 + length), flash.begin() + at))
            << text::to_utf8(p.name);
    }
    EXPECT_EQ(flash[H10::model_ofs.get(v11_)], 0xFF);
    const Bytes header = sim_record("255/image-header");
    EXPECT_EQ(header, Bytes(v11_.begin(), v11_.begin() + H11::size));
    uint32_t mode = 0;
    ASSERT_TRUE(ryn_get_fw_mode(ryn_sim_handle(), &mode));
    EXPECT_EQ(mode, lpc4320_mode_firmware);
}

TEST_F(Lpc4320Test, A10ImageNeedsTheCompleteMode) {
    ASSERT_EQ(update(v10_), 0);
    ASSERT_GE(capture_.messages.size(), 4u);
    EXPECT_TRUE(capture_.messages[0].starts_with(u"==========LPC4320 HDR=========\n"));
    EXPECT_EQ(std::vector<std::u16string>(capture_.messages.begin() + 1, capture_.messages.end()),
              (std::vector<std::u16string>{
                  u"[Check Header Error]: Invalid Header version 1.0 (Expected: 1.1)\n",
                  u"Please select \"Complete\" mode to update firmware\n",
                  u"Failed to read input patch file.\n"}));
    EXPECT_TRUE(device_work().empty());

    capture_.messages.clear();
    ASSERT_EQ(update(v10_, RYN_UPDATE_FLASH_LAYOUT), 1) << text::to_utf8(capture_.text());
    // The message shows the file length; 4096 bytes fewer are written.
    EXPECT_TRUE(has_message(u"Update firmware (flash layout) (Offset=0x11000, " +
                            text::from_utf8(std::to_string(v10_.size())) + u" bytes)\n"));
    bool found = false;
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i)
        if (std::string(ryn_sim_trace_op(i)) == "ryn_update_flash_code") {
            EXPECT_NE(std::string(ryn_sim_trace_text(i))
                          .find("0x11000, " + std::to_string(v10_.size() - 4096) + ")"),
                      std::string::npos)
                << ryn_sim_trace_text(i);
            found = true;
        }
    EXPECT_TRUE(found);
    const Bytes flash = sim_record("255/flash");
    EXPECT_TRUE(std::equal(v10_.begin() + 0x1000, v10_.end(), flash.begin() + 0x11000));
    EXPECT_EQ(flash[0x10000 + v10_.size()], 0xFF);
    EXPECT_EQ(sim_record("255/image-header"), Bytes(v10_.begin(), v10_.begin() + H10::size));
}

TEST_F(Lpc4320Test, UnknownHeaderVersionsAreRefusedBeforeTheDump) {
    for (auto [major, minor] : {std::pair{1u, 2u}, std::pair{2u, 0u}}) {
        Bytes image = v11_;
        H10::major.put(image, major);
        H10::minor.put(image, minor);
        capture_.messages.clear();
        ASSERT_EQ(update(image), 0);
        EXPECT_EQ(
            capture_.messages,
            (std::vector<std::u16string>{
                u"[Check Header Version Error]: Invalid header version (" +
                    text::from_utf8(std::to_string(major) + "." + std::to_string(minor)) + u")\n",
                u"Failed to read input patch file.\n"}));
    }
}

TEST_F(Lpc4320Test, APartMayStartRightAtTheEndOfTheFile) {
    // Offset 0x10000 + file length passes the offset test (an empty part).
    Bytes image = v11_;
    H10::model_ofs.put(image, 0x10000 + image.size());
    H10::model_len.put(image, 0);
    H10::model_crc.put(image, ryn_calc_crc(image.data(), 0));
    seal(image);
    EXPECT_EQ(update(image), 1) << text::to_utf8(capture_.text());
    // An offset below 0x10000 fails it.
    H10::model_ofs.put(image, 0xFFFF);
    seal(image);
    capture_.messages.clear();
    ASSERT_EQ(update(image), 0);
    EXPECT_TRUE(
        has_message(u"[Patch File Error]: The offset of model config (0x0000ffff) exceeds "
                    u"the file length (0x00010800).\n"))
        << text::to_utf8(capture_.text());
}

TEST_F(Lpc4320Test, ARunningBootLoaderIsKept) {
    ASSERT_TRUE(ryn_set_dev_mode(ryn_sim_handle(), 1, nullptr));
    ASSERT_NE(ryn_sim_reset(), RYN_INVALID_HANDLE);
    ASSERT_EQ(update(v11_), 1) << text::to_utf8(capture_.text());
    EXPECT_TRUE(has_message(u"Firmware Mode: Boot Loader (0x0631)\n"));
    const std::vector<std::string> work = device_work();
    EXPECT_EQ(std::count(work.begin(), work.end(), "reset"), 1);
    EXPECT_EQ(std::count(work.begin(), work.end(), "ryn_get_fw_hdr"), 0);
    EXPECT_EQ(std::count(work.begin(), work.end(), "ryn_set_dev_mode"), 0);
}

TEST_F(Lpc4320Test, AnUnknownFirmwareModeStopsTheSwitch) {
    // The mode's low byte inverted: 0x6cf.
    ASSERT_TRUE(ryn_sim_corrupt("ryn_get_fw_mode", 1, 1, 0, 1));
    ASSERT_EQ(update(v11_), 0);
    EXPECT_EQ(
        std::vector<std::u16string>(capture_.messages.end() - 2, capture_.messages.end()),
        (std::vector<std::u16string>{u"[Switch Bootldr Error]: Invalid firmware mode 0x06cf\n",
                                     u"Failed to switch to boot loader.\n"}));
    EXPECT_EQ(device_work(), std::vector<std::string>{"ryn_get_fw_mode"});
}

// Update modes 2 and 3 (bits 0-1) are refused before the boot loader switch:
// the controller keeps running its firmware, with no device traffic.
TEST_F(Lpc4320Test, ModesTwoAndThreeAreRefusedBeforeTheSwitch) {
    for (uint32_t mode : {2u, 3u}) {
        capture_ = {};
        ASSERT_EQ(update(v11_, mode), 0);
        EXPECT_EQ(capture_.messages.back(),
                  u"Unsupport Mode: " + text::from_utf8(std::to_string(mode)) + u".\n");
        EXPECT_FALSE(has_message(u"Failed to update firmware code.\n"));
        EXPECT_TRUE(device_work().empty());
        EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 0, 1}));
        uint32_t fw_mode = 0;
        ASSERT_TRUE(ryn_get_fw_mode(ryn_sim_handle(), &fw_mode));
        EXPECT_EQ(fw_mode, lpc4320_mode_firmware);
    }
}

// A host's msg_fn receives the offset and CRC failures of each checked part
// as their whole texts, not a shared format with the part's name.
TEST_F(Lpc4320Test, PartFailuresReachMsgFnAsTheirOwnFormats) {
    const std::pair<const Lpc4320CheckedPart &, const char16_t *> parts[] = {
        {lpc4320_checked_parts_10[0], u"model config"},
        {lpc4320_checked_parts_10[1], u"cali info"},
        {lpc4320_sram_parts[0], u"ahb sram 1"},
        {lpc4320_sram_parts[1], u"ahb sram 2"},
    };
    for (const auto &[p, name] : parts) {
        SCOPED_TRACE(text::to_utf8(name));
        for (bool offset : {true, false}) {
            Bytes image = v11_;
            if (offset)
                p.offset.put(image, 0xFFFF);  // below 0x10000
            else
                image[p.offset.get(image) - 0x10000] ^= 1;
            seal(image);
            const std::u16string &path = write("raw.bin", image);
            fw_update_arg arg = block(path);
            RawFormats raw;
            raw.attach(arg);
            ASSERT_EQ(ryn_fw_update(&arg), 0);
            ASSERT_GE(raw.formats.size(), 2u);
            const std::u16string expected =
                offset ? u"[Patch File Error]: The offset of " + std::u16string(name) +
                             u" (0x%08x) exceeds the file length (0x%08x).\n"
                       : u"[Patch File Error]: Failed to check the " + std::u16string(name) +
                             u" CRC 0x%08x (Expected: 0x%08x)\n";
            EXPECT_EQ(raw.formats[raw.formats.size() - 2], expected);
        }
    }
}

// Every image whose parts would be read or written outside the file is
// refused before the device sees anything but the platform query.
TEST_F(Lpc4320Test, UnsafeImagesAreRefusedWithoutDeviceTraffic) {
    struct Case {
        const char *what;
        uint32_t mode;
        void (*damage)(Bytes &);
        std::u16string message;
    };
    const Case cases[] = {
        {"longer than the image buffer", RYN_UPDATE_NORMAL,
         [](Bytes &i) { i.resize(image_buffer_size + 1, 0xFF); },
         u"[Patch File Error]: The file of 262145 bytes does not fit the image buffer of 262144 "
         u"bytes.\n"},
        {"shorter than a 1.0 header", RYN_UPDATE_FLASH_LAYOUT, [](Bytes &i) { i.resize(91); },
         u"[Patch File Error]: The file of 91 bytes is shorter than a 92-byte header.\n"},
        {"1.1 file shorter than its header", RYN_UPDATE_NORMAL, [](Bytes &i) { i.resize(100); },
         u"[Patch File Error]: The file of 100 bytes is shorter than a 116-byte header.\n"},
        {"header len below 12", RYN_UPDATE_NORMAL, [](Bytes &i) { H10::header_len.put(i, 4); },
         u"[Patch File Error]: The header len 0x00000004 lies outside 0x0000000c to the file "
         u"length 0x00010800.\n"},
        {"header len beyond the file", RYN_UPDATE_NORMAL,
         [](Bytes &i) { H10::header_len.put(i, 0x10801); },
         u"[Patch File Error]: The header len 0x00010801 lies outside 0x0000000c to the file "
         u"length 0x00010800.\n"},
        {"cali info running past the end", RYN_UPDATE_NORMAL,
         [](Bytes &i) {
             H10::cali_len.put(i, 0x10000);
             seal(i);
         },
         u"[Patch File Error]: The cali info part (0x0001d000, 65536 bytes) does not lie inside "
         u"the file (0x00010800).\n"},
        {"ahb sram 2 running past the end", RYN_UPDATE_NORMAL,
         [](Bytes &i) {
             H11::sram2_len.put(i, 0x801);
             seal(i);
         },
         u"[Patch File Error]: The ahb sram 2 part (0x00020000, 2049 bytes) does not lie inside "
         u"the file (0x00010800).\n"},
        {"flash firmware outside the file", RYN_UPDATE_NORMAL,
         [](Bytes &i) {
             H10::flash_fw_ofs.put(i, 0x1000);
             seal(i);
         },
         u"[Patch File Error]: The flash fw part (0x00001000, 8192 bytes) does not lie inside the "
         u"file (0x00010800).\n"},
        {"firmware code past the end", RYN_UPDATE_NORMAL,
         [](Bytes &i) {
             H10::fw_length.put(i, 0x10000);
             seal(i);
         },
         u"[Patch File Error]: The firmware code (0x00001000, 65536 bytes) does not lie inside "
         u"the file (0x00010800).\n"},
        {"flash layout shorter than 4096 bytes", RYN_UPDATE_FLASH_LAYOUT,
         [](Bytes &i) {
             i.resize(0x800);
             // Parts that fit the short file, so that only its length is wrong.
             for (const Lpc4320Part &p : lpc4320_checked_parts_10) {
                 p.offset.put(i, 0x10000 + 0x200);
                 p.length.put(i, 0x10);
                 p.crc.put(i, ryn_calc_crc(i.data() + 0x200, 0x10));
             }
             for (const Lpc4320Part &p : lpc4320_sram_parts) {
                 p.offset.put(i, 0x10000 + 0x200);
                 p.length.put(i, 0x10);
                 p.crc.put(i, ryn_calc_crc(i.data() + 0x200, 0x10));
             }
             seal(i);
         },
         u"[Patch File Error]: The file of 0x00000800 bytes is shorter than its 0x00001000 header "
         u"bytes.\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes image = v11_;
        c.damage(image);
        capture_.messages.clear();
        ASSERT_EQ(update(image, c.mode), 0);
        EXPECT_TRUE(device_work().empty());
        ASSERT_GE(capture_.messages.size(), 2u);
        EXPECT_EQ(capture_.messages.back(), u"Failed to read input patch file.\n");
        EXPECT_EQ(capture_.messages[capture_.messages.size() - 2], c.message);
    }
}

}  // namespace
}  // namespace ryn::fwupdate::test
