// Update mode, update method and default model configuration decisions.
#include "fw_test.h"
#include "fwupdate/base/update.h"

namespace ryn::fwupdate::test {
namespace {

class DecisionTest : public FwTest {
  protected:
    // A device with this updater version (and firmware mode), and a block on it.
    void device(const std::string &updater, const char *fw_mode = "normal") {
        create_generation(updater, fw_mode);
        arg_ = block(u"unused.bin");
    }
};

TEST_F(DecisionTest, MethodThresholdsAtJustBelowAndAbove) {
    struct Case {
        const char *updater;
        UpdateMethod method;
        const char16_t *verdict;  // the message after the mode line, or null
    };
    const Case cases[] = {
        {"2.1.0925.0", UpdateMethod::g40,
         u"----------------------------------\n Version < 2.1.0925.1\n"},
        {"2.1.0925.1", UpdateMethod::g52_old,
         u"----------------------------------\n Version >= 2.1.0925.1\n"},
        {"2.1.0925.2", UpdateMethod::g52_old,
         u"----------------------------------\n Version >= 2.1.0925.1\n"},
        {"2.3.1123.0", UpdateMethod::g52_old,
         u"----------------------------------\n Version >= 2.1.0925.1\n"},
        {"2.3.1123.1", UpdateMethod::g52,
         u"----------------------------------\n Version >= 2.3.1123.1\n"},
        {"2.3.1204.0", UpdateMethod::g52,
         u"----------------------------------\n Version >= 2.3.1123.1\n"},
        {"2.3.1204.1", UpdateMethod::g53,
         u"----------------------------------\n Version >= 2.3.1204.1\n"},
        {"3.0.0000.0", UpdateMethod::g53,
         u"----------------------------------\n Version >= 2.3.1204.1\n"},
        {"not a version", UpdateMethod::g40, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.updater);
        device(c.updater);
        capture_ = {};
        UpdateMethod method = UpdateMethod::none;
        ASSERT_EQ(get_update_method(arg_, method), 1);
        EXPECT_EQ(method, c.method);
        std::vector<std::u16string> expected = {
            u"----------------------------------\nCheck the FW mode ", u" -> Normal Mode.\n"};
        if (c.verdict) expected.push_back(c.verdict);
        EXPECT_EQ(capture_.messages, expected);
    }
}

TEST_F(DecisionTest, FlashBuilderModeDecidesWithoutVersions) {
    device("1.0.0000.1", "flashbuilder");
    ryn_sim_trace_clear();
    UpdateMethod method;
    ASSERT_EQ(get_update_method(arg_, method), 1);
    EXPECT_EQ(method, UpdateMethod::flash_builder);
    EXPECT_EQ(capture_.messages.back(), u" -> FlashBuilder Mode.\n");
    EXPECT_EQ(trace_ops(), std::vector<std::string>{"ryn_get_fw_mode"});
}

TEST_F(DecisionTest, UnreadableModeStillDecidesAndSwitchesSensorsOff) {
    device("2.3.1204.1");
    ryn_sim_fail("ryn_get_fw_mode", 1, 0);
    ryn_sim_fail("ryn_get_version_str", 1, 0);  // ends the sequence early
    ryn_sim_trace_clear();
    FwImage image;
    EXPECT_EQ(update_normal_code(arg_, image), 0);
    EXPECT_EQ(capture_.messages[1], u" -> Unknown\n");
    EXPECT_TRUE(has_message(u"----------------------------------\n Version >= 2.3.1204.1\n"));
    const std::vector<std::string> ops = trace_ops();
    EXPECT_NE(std::find(ops.begin(), ops.end(), "ryn_set_sensor_ctrl"), ops.end());
}

TEST_F(DecisionTest, SensorsStayOnInUpdateMode) {
    device("2.3.1204.1", "update");
    ryn_sim_fail("ryn_get_version_str", 1, 0);
    ryn_sim_trace_clear();
    FwImage image;
    EXPECT_EQ(update_normal_code(arg_, image), 0);
    const std::vector<std::string> ops = trace_ops();
    EXPECT_EQ(std::find(ops.begin(), ops.end(), "ryn_set_sensor_ctrl"), ops.end());
}

TEST_F(DecisionTest, AutomaticModeResolvesAndIsWrittenBack) {
    struct Case {
        const char *updater;
        const char *fw_mode;
        const char16_t *image_normal;
        uint32_t resolved;
    };
    const Case cases[] = {
        {"2.1.0925.1", "normal", u"2.3.1400.1", RYN_UPDATE_NORMAL},
        {"2.1.0925.0", "normal", u"2.3.1400.1", RYN_UPDATE_FLASH_LAYOUT},
        {"2.1.0925.0", "normal", u"release 7", RYN_UPDATE_NORMAL},
        {"garbage", "normal", u"2.3.1400.1", RYN_UPDATE_FLASH_LAYOUT},
        {"1.0.0000.1", "flashbuilder", u"2.3.1400.1", RYN_UPDATE_NORMAL},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.updater) + " " + c.fw_mode);
        device(c.updater, c.fw_mode);
        Bytes bytes = build_base_image({});
        set_image_normal_version(bytes, c.image_normal);
        FwImage image;
        std::copy_n(bytes.begin() + H::block_size + word(bytes, H::version_ofs), VR::size,
                    image.version_area.begin());
        arg_.update_mode = RYN_UPDATE_AUTO;
        ASSERT_EQ(check_update_mode(arg_, image), 1);
        EXPECT_EQ(arg_.update_mode, c.resolved);
    }
    // Explicit modes stay as they are, without device traffic.
    for (uint32_t mode : {RYN_UPDATE_NORMAL, RYN_UPDATE_FLASH_LAYOUT, 3u}) {
        arg_.update_mode = mode;
        ryn_sim_trace_clear();
        FwImage image;
        ASSERT_EQ(check_update_mode(arg_, image), 1);
        EXPECT_EQ(arg_.update_mode, mode);
        EXPECT_EQ(ryn_sim_trace_size(), 0u);
    }
}

TEST_F(DecisionTest, UnsupportedModeIsRefused) {
    device("2.3.1204.1");
    capture_ = {};
    arg_.update_mode = 3;
    FwImage image;
    EXPECT_EQ(update_base_by_mode(arg_, image), 0);
    EXPECT_EQ(capture_.messages,
              (std::vector<std::u16string>{u"-----------------------\nCheck the update mode ",
                                           u"-> Unsupport update mode[3].\n"}));
}

TEST_F(DecisionTest, DefaultModelConfigTableByUpdaterVersion) {
    struct Case {
        const char16_t *updater;
        const DefaultModelCfg *table;
        const char16_t *verdict;
    };
    const Case cases[] = {
        {u"2.2.1103.0", &default_model_cfg_v1_0_2, u"V1.0_2\n"},
        {u"2.2.1103.1", &default_model_cfg_v1_1, u"V1.1\n"},
        {u"2.3.1229.0", &default_model_cfg_v1_1, u"V1.1\n"},
        {u"2.3.1229.1", &default_model_cfg_v1_2, u"V1.2\n"},
        {u"2.3.1311.1", &default_model_cfg_v1_2, u"V1.2\n"},
        {u"2.3.1311.2", nullptr, u"No need\n"},
    };
    device("2.3.1204.1");
    for (const Case &c : cases) {
        SCOPED_TRACE(text::to_utf8(c.updater));
        capture_ = {};
        devinfo::VersionBuffer record{};
        for (size_t i = 0; c.updater[i]; ++i)
            layout::Field{"", VR::updater.offset + 2 * i, 2}.put(record, c.updater[i]);
        FwImage fb;
        fb.default_model_cfg = &default_model_cfg_v1_1;
        ASSERT_EQ(select_default_model_cfg(arg_, fb, record), 1);
        EXPECT_EQ(fb.default_model_cfg, c.table);
        uint64_t number = 0;
        ASSERT_EQ(ryn_fw_ver_str_to_u64(&number, ryn::test::w(c.updater)), 1);
        EXPECT_EQ(
            capture_.messages,
            (std::vector<std::u16string>{
                u"Check the Need of Default Model Config Table -> ",
                text::format(u"%llu -> ", static_cast<unsigned long long>(number)), c.verdict}));
    }
    // An updater version that does not convert needs no table, and says no more.
    capture_ = {};
    devinfo::VersionBuffer unreadable{};
    FwImage fb;
    fb.default_model_cfg = &default_model_cfg_v1_2;
    ASSERT_EQ(select_default_model_cfg(arg_, fb, unreadable), 1);
    EXPECT_EQ(fb.default_model_cfg, nullptr);
    EXPECT_EQ(capture_.messages.size(), 1u);
}

// The tables byte for byte: their header words, lengths and the fields they fill.
TEST(DefaultModelCfg, TablesHoldTheirRecords) {
    struct Case {
        const DefaultModelCfg *table;
        size_t size;
        uint32_t header;
        size_t text0;  // model_name
        uint8_t led_async;
        uint16_t led_delay;
    };
    const Case cases[] = {
        {&default_model_cfg_v1_0_2, 220, 0x010000DC, 8, 0, 0},
        {&default_model_cfg_v1_1, 1532, 0x010105FC, 8, 1, 1000},
        {&default_model_cfg_v1_2, 5630, 0x010215FE, 10, 1, 1000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        std::span<const uint8_t> r = c.table->record;
        ASSERT_EQ(r.size(), c.size);
        Bytes expected(c.size, 0);
        layout::Field{"", 0, 4}.put(expected, c.header);
        layout::Field{"", 4, 2}.put(expected, 0x0408);
        layout::Field{"", 6, 2}.put(expected, 0x3001);
        const std::u16string texts[] = {u"K390", u"321", u"Corvalistrand", u"OpticalTouchScreen",
                                        u"0000"};
        for (size_t t = 0; t < 5; ++t)
            for (size_t i = 0; i < texts[t].size(); ++i)
                layout::Field{"", c.text0 + 40 * t + 2 * i, 2}.put(expected, texts[t][i]);
        expected[c.text0 + 200] = c.led_async;
        layout::Field{"", c.text0 + 201, 2}.put(expected, c.led_delay);
        EXPECT_TRUE(std::equal(r.begin(), r.end(), expected.begin()));
    }
}

}  // namespace
}  // namespace ryn::fwupdate::test
