// The second-controller update on a simulated 5810: the flash driver list,
// the Maskrom switch, OSC-Cali, the flash ID and its driver, both writes, the
// switch back and the reset.
#include "c5810_test.h"

namespace ryn::fwupdate::test {
namespace {

class Update5810Test : public Fw5810Test {};

constexpr const char *kOsc = "ryn_set_reg";

// The last message of an update that stopped in Maskrom before writing: the
// controller ran from flash and does so again, or it stays in Maskrom.
constexpr const char16_t *kBackToFlash =
    u"The controller runs from flash again; nothing was written.\n";
constexpr const char16_t *kLeftInMaskrom =
    u"[Error] The controller is left in Maskrom mode; a firmware update (ryn fw update IMAGE) "
    u"brings it back.\n";

TEST_F(Update5810Test, NormalUpdateFromFlashModeWritesTheFirmwareAndRunsFromFlashAgain) {
    create("5810");
    const Bytes image = image_5810();
    ASSERT_EQ(update(image), 1) << text::to_utf8(capture_.text());
    EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 0, 1, 2, 4, 8}));
    const std::vector<std::string> ops = device_ops();
    // Maskrom switch with a reset, five OSC-Cali writes, flash ID, code, switch back, reset.
    const std::vector<std::string> head(ops.begin() + 1, ops.begin() + 5);
    EXPECT_EQ(head, (std::vector<std::string>{"ryn_get_fw_mode", "ryn_get_fw_hdr",
                                              "ryn_set_dev_mode", "reset"}));
    EXPECT_EQ(count_op(kOsc), 7u);  // five OSC-Cali registers, command and start
    EXPECT_EQ(count_op("ryn_set_extend_flash_driver"), 0u);
    EXPECT_TRUE(has_message(u"Switch to Maskrom (0x5810, 0x0001)\n"));
    EXPECT_TRUE(has_message(u"Flash ID: 00EF4015\n"));
    const uint32_t firmware_length = header_word(image, H5::firmware_len);
    EXPECT_TRUE(has_message(text::format(u"Update firmware (%d bytes)\n", firmware_length)));
    EXPECT_EQ(capture_.messages.back(), u"Update firmware succesfully\n");
    Bytes expected = flash_after(image, firmware_length, false);
    H5::flash_boot.put(std::span<uint8_t>(expected).subspan(H5::file_offset), 0xFFFFFFFF);
    EXPECT_EQ(sim_record("flash"), expected);
    uint32_t mode = 0;
    ASSERT_TRUE(ryn_get_fw_mode(ryn_sim_handle(), &mode));
    EXPECT_EQ(mode, fw_mode_5810_flash);
}

TEST_F(Update5810Test, LayoutUpdateOfAMaskromDeviceWritesTheWholeFileWithoutAFirstReset) {
    create("5810", R"({"fw_mode": "maskrom"})");
    const Bytes image = image_5810();
    ASSERT_EQ(update(image, RYN_UPDATE_FLASH_LAYOUT), 1) << text::to_utf8(capture_.text());
    EXPECT_TRUE(has_message(u"Firmware Mode: Maskrom\n"));
    const std::vector<std::string> ops = device_ops();
    EXPECT_EQ(ops[2], kOsc);  // check_platform, get_fw_mode, then OSC-Cali at once
    EXPECT_EQ(count_op("reset"), 1u);
    EXPECT_TRUE(has_message(text::format(u"Update firmware (flash layout) (%d bytes)\n",
                                         static_cast<uint32_t>(image.size()))));
    Bytes expected = flash_after(image, image.size(), false);
    H5::flash_boot.put(std::span<uint8_t>(expected).subspan(H5::file_offset), 0xFFFFFFFF);
    EXPECT_EQ(sim_record("flash"), expected);
}

TEST_F(Update5810Test, EachOscCaliRegisterFailureStopsWithItsMessage) {
    for (uint32_t n = 1; n <= 5; ++n) {
        SCOPED_TRACE(n);
        create("5810", R"({"fw_mode": "maskrom"})");
        capture_.messages.clear();
        ASSERT_TRUE(ryn_sim_fail(kOsc, n, 1));
        EXPECT_EQ(update(image_5810()), 0);
        const std::u16string reg =
            text::format(u"Failed to set register[0x%08X]\n", osc_cali_registers[n - 1].address);
        ASSERT_GE(capture_.messages.size(), 3u);
        EXPECT_EQ(capture_.messages[capture_.messages.size() - 3], reg);
        EXPECT_EQ(capture_.messages[capture_.messages.size() - 2],
                  u"Failed to enable OSC-Cali Mechanism.\n");
        EXPECT_EQ(capture_.messages.back(), kLeftInMaskrom);
        EXPECT_EQ(count_op(kOsc), n);
        // A host's msg_fn receives the register's whole text as the format.
        create("5810", R"({"fw_mode": "maskrom"})");
        ASSERT_TRUE(ryn_sim_fail(kOsc, n, 1));
        fw_update_arg arg = block(write("image.bin", image_5810()));
        RawFormats raw;
        raw.attach(arg);
        EXPECT_EQ(ryn_fw_update(&arg), 0);
        ASSERT_GE(raw.formats.size(), 3u);
        EXPECT_EQ(raw.formats[raw.formats.size() - 3], reg);
    }
}

TEST_F(Update5810Test, FailedWriteReportsBothMessagesInEitherMode) {
    for (uint32_t mode : {RYN_UPDATE_NORMAL, RYN_UPDATE_FLASH_LAYOUT}) {
        SCOPED_TRACE(mode);
        create("5810");
        capture_.messages.clear();
        capture_.steps.clear();
        ryn_sim_fail(mode == RYN_UPDATE_NORMAL ? "ryn_set_normal_code" : "ryn_update_flash_code", 1,
                     1);
        EXPECT_EQ(update(image_5810(), mode), 0);
        const std::vector<std::u16string> tail(capture_.messages.end() - 2,
                                               capture_.messages.end());
        EXPECT_EQ(tail, (std::vector<std::u16string>{u"Failed to set normal code\n",
                                                     u"Failed to update firmware code.\n"}));
        EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 0, 1, 2, 4}));
    }
}

TEST_F(Update5810Test, AnImageWithoutFirmwareIsRefusedBeforeTheDevice) {
    create("5810");
    Bytes image = image_5810();
    set_header(image, H5::firmware_len, 0);
    EXPECT_EQ(update(image), 0);
    EXPECT_EQ(device_ops(), std::vector<std::string>{"ryn_check_platform"});
    EXPECT_TRUE(sim_record("flash").empty());
}

TEST_F(Update5810Test, ModeOtherThanNormalOrLayoutIsRefusedBeforeTheDevice) {
    create("5810");
    fw_update_arg arg = block(write("image.bin", image_5810()), 3);
    ryn_sim_trace_clear();
    EXPECT_EQ(ryn_fw_update(&arg), 0);
    EXPECT_EQ(capture_.messages.back(), u"Unsupport Mode: 3.\n");
    EXPECT_EQ(count_op("ryn_get_fw_mode"), 0u);
}

// A register written out of order leaves the chip wrongly clocked: the flash
// is refused until the sequence starts again with its first register, as a
// retried update writes it.
TEST_F(Update5810Test, WrongOscCaliLeavesTheFlashRefusedUntilTheSequenceRestarts) {
    create("5810", R"({"fw_mode": "maskrom"})");
    for (const size_t i : {size_t{0}, size_t{2}, size_t{1}, size_t{3}, size_t{4}})  // the second and third swapped
        ASSERT_TRUE(ryn_set_reg(ryn_sim_handle(), 0, 0, osc_cali_registers[i].address, osc_cali_registers[i].value));
    const Bytes code(16, 0x11);
    EXPECT_EQ(ryn_update_flash_code(ryn_sim_handle(), code.data(), 0, 16), 0);
    EXPECT_TRUE(sim_record("flash").empty());

    for (const OscCaliRegister &r : osc_cali_registers)
        ASSERT_TRUE(ryn_set_reg(ryn_sim_handle(), 0, 0, r.address, r.value));
    EXPECT_EQ(ryn_update_flash_code(ryn_sim_handle(), code.data(), 0, 16), 1);
    const auto flash = sim_record("flash");
    ASSERT_GE(flash.size(), code.size());
    EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 16), code);
}

TEST_F(Update5810Test, StalledFlashIdPollFailsAfterItsBound) {
    create("5810", R"({"fw_mode": "maskrom"})");
    ASSERT_TRUE(ryn_sim_stall("ryn_get_reg", 1));
    EXPECT_EQ(update(image_5810()), 0);
    EXPECT_TRUE(
        has_message(text::format(u"The serial flash did not finish reading its ID "
                                 u"(register[0x%08X] still 0x%08X after %u reads).\n",
                                 sf_status_reg, sf_start, sf_status_reads)));
    EXPECT_TRUE(has_message(u"Failed to read flash ID\n"));
    EXPECT_EQ(capture_.messages.back(), kLeftInMaskrom);
    EXPECT_EQ(count_waits(100), sf_status_reads);
    EXPECT_EQ(count_op("ryn_get_reg"), sf_status_reads);
}

// The list's lines and the device's chip, and what the update then does.
TEST_F(Update5810Test, FlashDriverListChoosesTheDriver) {
    // A driver for chip 0xC22016: its first four bytes name the chip.
    const Bytes driver = {0x16, 0x20, 0xC2, 0x00, 1, 2, 3, 4};
    write("drv.bin", driver);
    const std::string drv = (dir_ / "drv.bin").string();
    const std::string long_path(128, 'p');
    struct Case {
        const char *what;
        std::string list;
        const char *options;
        int result;
        size_t drivers_loaded;
        const char16_t *last;
    };
    const Case cases[] = {
        {"built-in line naming a driver", "EF4015,1,5," + drv + "\n", nullptr, 1, 0,
         u"Update firmware succesfully\n"},
        {"extended driver loaded", "C22016,0,7," + drv + "\n",
         R"({"flash_id": "0xC22016", "flash_driver": true})", 1, 1,
         u"Update firmware succesfully\n"},
        {"missing field skipped", "C22016,0,7\nEF4015,1,0,x\n",
         R"({"flash_id": "0xC22016", "flash_driver": true})", 0, 0, u"Flash ID not support.\n"},
        {"128-character path skipped", "C22016,0,7," + long_path + "\n",
         R"({"flash_id": "0xC22016", "flash_driver": true})", 0, 0, u"Flash ID not support.\n"},
        {"first duplicate wins", "C22016,1,0,x\nC22016,0,7," + drv + "\n",
         R"({"flash_id": "0xC22016", "flash_driver": true})", 0, 0,
         u"Failed to update firmware code.\n"},
        // Run from another folder: a relative path names the file beside the list.
        {"relative path beside the list", "C22016,0,7,drv.bin\n",
         R"({"flash_id": "0xC22016", "flash_driver": true})", 1, 1,
         u"Update firmware succesfully\n"},
        {"empty list", "", nullptr, 0, 0, u"Flash ID not support.\n"},
        {"missing driver file", "EF4015,0,7,nothing.bin\n", nullptr, 0, 0,
         u"Fail to set extend flash driver\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        write_list(c.list);
        create("5810", c.options);
        capture_.messages.clear();
        EXPECT_EQ(update(image_5810()), c.result) << text::to_utf8(capture_.text());
        EXPECT_EQ(count_op("ryn_set_extend_flash_driver"), c.drivers_loaded);
        EXPECT_TRUE(has_message(c.last));
        // A refusal before the write takes the controller back to its flash.
        if (c.result == 0 && c.drivers_loaded == 0 &&
            std::u16string_view(c.last) != u"Failed to update firmware code.\n") {
            EXPECT_EQ(capture_.messages.back(), kBackToFlash);
        }
    }
}

TEST_F(Update5810Test, ListLinesPastThirtyTwoAreIgnoredAndSaidSo) {
    std::string list;
    for (int i = 0; i < 32; ++i) list += text::to_utf8(text::format(u"%X,1,0,x\n", 0x100u + i));
    list += "EF4015,1,0,x\n";
    write_list(list);
    create("5810");
    EXPECT_EQ(update(image_5810()), 0);
    EXPECT_TRUE(
        has_message(u"The flash driver list holds more than 32 usable lines; the lines "
                    u"after the 32th are ignored.\n"));
    EXPECT_TRUE(has_message(u"Flash ID not support.\n"));
    EXPECT_EQ(flash_driver_table().count, FlashDriverTable::capacity);
}

TEST_F(Update5810Test, DriverLongerThanItsBufferIsRefused) {
    Bytes driver(flash_driver_buffer_size + 1, 0);
    write("big.bin", driver);
    write_list("EF4015,0,7," + (dir_ / "big.bin").string() + "\n");
    create("5810");
    EXPECT_EQ(update(image_5810()), 0);
    EXPECT_EQ(count_op("ryn_set_extend_flash_driver"), 0u);
    EXPECT_TRUE(has_message(u"Fail to set extend flash driver\n"));
}

// A flash the list has no driver for is found only after the switch to
// Maskrom. A controller that ran from flash is switched back and runs from
// its untouched flash again; one that was in Maskrom already, or whose reset
// back fails, stays in Maskrom and the last message says how to bring it back.
TEST_F(Update5810Test, AFlashWithoutADriverLeavesTheControllerInAStatedMode) {
    write_list("");
    struct Case {
        const char *what;
        const char *options;
        uint32_t failing_reset;  // 0: none
        const char16_t *last;
        uint32_t mode;  // after the update (not looked at when a reset failed)
    };
    const Case cases[] = {
        {"from flash", nullptr, 0, kBackToFlash, fw_mode_5810_flash},
        {"from Maskrom", R"({"fw_mode": "maskrom"})", 0, kLeftInMaskrom, fw_mode_5810_maskrom},
        {"reset back fails", nullptr, 2, kLeftInMaskrom, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        create("5810", c.options);
        if (c.failing_reset) {
            ASSERT_TRUE(ryn_sim_fail("reset", c.failing_reset, 1));
        }
        capture_.messages.clear();
        EXPECT_EQ(update(image_5810()), 0);
        EXPECT_TRUE(has_message(u"Flash ID not support.\n"));
        EXPECT_EQ(capture_.messages.back(), c.last);
        EXPECT_TRUE(sim_record("flash").empty());
        if (c.failing_reset) continue;
        uint32_t mode = 0;
        ASSERT_TRUE(ryn_get_fw_mode(ryn_sim_handle(), &mode));
        EXPECT_EQ(mode, c.mode);
    }
}

TEST_F(Update5810Test, MissingListFailsBeforeTheImage) {
    std::filesystem::remove(dir_ / "ryn_flash_driver_list.ini");
    create("5810");
    EXPECT_EQ(update(image_5810()), 0);
    EXPECT_EQ(capture_.messages.back(), u"Fail to load flash driver list\n");
    EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 0}));
}

}  // namespace
}  // namespace ryn::fwupdate::test
