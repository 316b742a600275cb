// Normal-code update sequences end to end on the simulated base controller of
// each firmware generation, and the mode switches.
#include "fw_test.h"
#include "fwupdate/base/update.h"

namespace ryn::fwupdate::test {
namespace {

class SequenceTest : public FwTest {
  protected:
    // The device holds the image's normal code and reports its normal version.
    void expect_installed(const Bytes &image) {
        Bytes copy = image;
        std::span<uint8_t> code = section(copy, H::normal_ofs, H::normal_len);
        EXPECT_EQ(sim_record("normal-code"), Bytes(code.begin(), code.end()));
        EXPECT_EQ(device_version(VR::normal), u"2.3.1400.1");
    }
};

// Each generation's sequence, from the platform query to the final header read.
TEST_F(SequenceTest, EachMethodDrivesTheDeviceThroughItsSequence) {
    using Ops = std::vector<std::string>;
    const Ops decide = {"ryn_check_platform", "ryn_get_fw_mode", "ryn_get_fw_ver_str",
                        "ryn_get_fw_mode"};
    auto with = [&](Ops head, const Ops &tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    struct Case {
        const char *updater;
        const char *fw_mode;
        Ops ops;
        std::vector<uint32_t> steps;
    };
    const std::vector<uint32_t> plain = {0, 1, 2, 8};
    const Case cases[] = {
        {"2.0.0000.1", "normal",
         with(decide, {"ryn_set_sensor_ctrl", "ryn_get_fw_ver_str", "ryn_get_model_cfg_g40",
                       "ryn_get_fw_hdr", "ryn_set_dev_mode_g40", "reset", "ryn_get_fw_hdr",
                       "ryn_set_normal_code_g40", "ryn_get_fw_hdr", "ryn_set_dev_mode_g40", "reset",
                       "ryn_get_fw_hdr"}),
         plain},
        {"2.2.0000.1", "normal",
         with(decide,
              {"ryn_set_sensor_ctrl", "ryn_get_version_str", "ryn_get_model_cfg", "ryn_get_fw_hdr",
               "ryn_set_dev_mode", "reset", "ryn_get_fw_hdr", "ryn_set_normal_code",
               "ryn_get_fw_hdr", "ryn_set_dev_mode", "reset", "ryn_get_fw_hdr"}),
         plain},
        {"2.3.1130.1", "normal",
         with(decide, {"ryn_set_sensor_ctrl", "ryn_get_fw_hdr", "ryn_set_dev_mode", "reset",
                       "ryn_get_fw_hdr", "ryn_get_version_str", "ryn_set_normal_code",
                       "ryn_get_fw_hdr", "ryn_set_dev_mode", "reset", "ryn_get_fw_hdr"}),
         plain},
        {"2.3.1311.2",
         "normal",
         with(decide, {"ryn_set_sensor_ctrl", "ryn_get_fw_hdr", "ryn_set_dev_mode", "reset",
                       "ryn_get_fw_hdr", "ryn_get_version_str", "ryn_set_normal_code",
                       "ryn_get_fw_hdr", "ryn_set_dev_mode", "reset", "ryn_get_fw_hdr"}),
         {0, 1, 2, 3, 4, 5, 8}},
        // The host's update-mode callback asks for update mode and reopens the device.
        {"2.3.1311.2",
         "flashbuilder",
         {"ryn_check_platform", "ryn_get_fw_mode", "ryn_get_fw_mode", "ryn_set_dev_mode", "reset",
          "ryn_get_fw_hdr", "ryn_get_version_str", "ryn_set_normal_code", "ryn_get_fw_hdr",
          "ryn_set_dev_mode", "reset", "ryn_get_fw_hdr"},
         plain},
    };
    const Bytes image = build_base_image({});
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.updater) + " " + c.fw_mode);
        create_generation(c.updater, c.fw_mode);
        capture_ = {};
        waits_.clear();
        ASSERT_EQ(update(image), 1) << text::to_utf8(capture_.text());
        EXPECT_EQ(device_ops(), c.ops);
        EXPECT_EQ(steps(), c.steps);
        // 500 ms after each reset the library makes (the update-mode callback's own is the host's).
        const auto resets = std::count(c.ops.begin(), c.ops.end(), "reset");
        const bool host_reset = std::string(c.fw_mode) == "flashbuilder";
        EXPECT_EQ(waits_,
                  std::vector<uint32_t>(static_cast<size_t>(resets - (host_reset ? 1 : 0)), 500));
        expect_installed(image);
        uint32_t mode = 0;
        ASSERT_EQ(ryn_get_fw_mode(arg_.handle, &mode), 1);  // the block holds the live handle
        EXPECT_EQ(mode, fw_mode_normal);
    }
}

// g52 and g52 old send their progress lines to the message sink like the
// later generations; nothing reaches the host's console.
TEST_F(SequenceTest, G52ProgressLinesGoToTheSink) {
    create_generation("2.3.1130.1");
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(update(build_base_image({})), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    for (const char16_t *line : {u"update g52\n", u"Switch to the update mode.\n",
                                 u"Updating the firmware, please wait.\n", u"Switch to the normal mode.\n"})
        EXPECT_TRUE(has_message(line)) << std::string(line, line + std::char_traits<char16_t>::length(line));
}

TEST_F(SequenceTest, G53ReportsItsLinesToTheSink) {
    create_generation("2.3.1204.1");
    ASSERT_EQ(update(build_base_image({})), 1);
    const std::vector<std::u16string> tail(capture_.messages.end() - 4, capture_.messages.end());
    EXPECT_EQ(tail, (std::vector<std::u16string>{u"update g53\n", u"Switch to the update mode.\n",
                                                 u"Updating the firmware, please wait.\n",
                                                 u"Switch to the normal mode.\n"}));
}

TEST_F(SequenceTest, SwitchToTheModeTheDeviceIsInDoesNothing) {
    create_generation("2.3.1204.1");
    fw_update_arg arg = block(u"unused.bin");
    const ryn_handle before = arg.handle;
    ryn_sim_trace_clear();
    EXPECT_EQ(switch_dev_mode(arg, dev_mode_normal, nullptr), 1);
    EXPECT_EQ(trace_ops(), std::vector<std::string>{"ryn_get_fw_hdr"});
    EXPECT_EQ(arg.handle, before);
}

// The header read after the reset flips the mode bit back: the device came
// back in its old mode.
TEST_F(SequenceTest, DeviceBackInTheOldModeFailsTheSwitch) {
    create_generation("2.3.1204.1");
    ryn_sim_corrupt("ryn_get_fw_hdr", 2, 1, 4, 1);
    ASSERT_EQ(update(build_base_image({})), 0);
    const std::vector<std::u16string> tail(capture_.messages.end() - 4, capture_.messages.end());
    EXPECT_EQ(tail, (std::vector<std::u16string>{
                        u"Switch to the update mode.\n", u"Fail to change the device mode.",
                        u"Fail to switch to the update mode.", u"Fail to update normal code\n"}));
    EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 1, 2, 3}));
}

TEST_F(SequenceTest, ResetFailureIsReported) {
    create_generation("2.3.1204.1");
    ryn_sim_fail("reset", 1, 1);
    ASSERT_EQ(update(build_base_image({})), 0);
    EXPECT_TRUE(has_message(u"Fail to reset the device."));
    EXPECT_EQ(arg_.handle, RYN_INVALID_HANDLE);
}

// A normal version the patch cannot take (60 characters, no room for the
// terminator) is refused with the image, before the device is touched, on
// every generation; 59 characters fit.
TEST_F(SequenceTest, SixtyCharacterNormalVersionIsRefusedBeforeTheDevice) {
    Bytes image = build_base_image({});
    set_image_normal_version(image, std::u16string(60, u'7'));
    for (const char *updater : {"2.0.0000.1", "2.2.0000.1", "2.3.1130.1", "2.3.1204.1"}) {
        SCOPED_TRACE(updater);
        create_generation(updater);
        capture_ = {};
        ASSERT_EQ(update(image), 0);
        EXPECT_EQ(capture_.messages.back(), u"Fail to patch the normal code version.");
        EXPECT_EQ(device_ops(), std::vector<std::string>{"ryn_check_platform"});
        EXPECT_EQ(steps(), (std::vector<uint32_t>{0, 1}));
    }
    set_image_normal_version(image, std::u16string(59, u'7'));
    create_generation("2.3.1204.1");
    ASSERT_EQ(update(image), 1);
    EXPECT_EQ(device_version(VR::normal), std::u16string(59, u'7'));
}

// g40 and g52 old return to normal mode after a failed write; g52 and g53
// leave the device in update mode.
TEST_F(SequenceTest, FailedWriteLeavesTheModeEachMethodSays) {
    struct Case {
        const char *updater;
        const char *write;
        const char *left_in;
    };
    const Case cases[] = {
        {"2.0.0000.1", "ryn_set_normal_code_g40", "normal"},
        {"2.2.0000.1", "ryn_set_normal_code", "normal"},
        {"2.3.1130.1", "ryn_set_normal_code", "update"},
        {"2.3.1204.1", "ryn_set_normal_code", "update"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.updater);
        create_generation(c.updater);
        ryn_sim_fail(c.write, 1, 1);
        capture_ = {};
        ASSERT_EQ(update(build_base_image({})), 0);
        EXPECT_TRUE(has_message(u"Fail to set the normal code."));
        EXPECT_EQ(capture_.messages.back(), u"Fail to update normal code\n");
        uint32_t mode = 0;
        ASSERT_EQ(ryn_get_fw_mode(arg_.handle, &mode), 1);
        EXPECT_EQ(mode, std::string(c.left_in) == "normal" ? fw_mode_normal : fw_mode_update);
        EXPECT_TRUE(sim_record("normal-code").empty());
    }
}

TEST_F(SequenceTest, FlashBuilderSequenceNeedsItsCallback) {
    create_generation("2.3.1204.1", "flashbuilder");
    FwImage image;
    fw_update_arg arg = block(u"unused.bin");
    arg.set_update_hdr_fn = nullptr;
    EXPECT_EQ(update_normal_code_fb(arg, image), 0);
    EXPECT_EQ(capture_.messages.back(), u"Failed to switch to the update mode.");

    capture_ = {};
    arg = block(u"unused.bin");
    arg.set_update_hdr_fn = [](void *, uint32_t, uint32_t, uint32_t, uint32_t) {
        return RYN_INVALID_HANDLE;
    };
    EXPECT_EQ(update_normal_code_fb(arg, image), 0);
    EXPECT_EQ(capture_.messages.back(), u"Failed to switch to the update mode.");
}

// The callback receives the image header's update code offset and length.
TEST_F(SequenceTest, FlashBuilderCallbackGetsTheUpdateCodeFields) {
    create_generation("2.3.1204.1", "flashbuilder");
    static std::vector<uint32_t> seen;
    seen.clear();
    const Bytes image = build_base_image({});
    const std::u16string &path = write("image.bin", image);
    fw_update_arg arg = block(path);
    arg.set_update_hdr_fn = [](void *, uint32_t one, uint32_t ofs, uint32_t len, uint32_t zero) {
        seen = {one, ofs, len, zero};
        return switch_sim_to_update(nullptr, one, ofs, len, zero);
    };
    ASSERT_EQ(ryn_fw_update(&arg), 1);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, word(image, H::update_ofs),
                                           word(image, H::update_len), 0}));
}

}  // namespace
}  // namespace ryn::fwupdate::test
