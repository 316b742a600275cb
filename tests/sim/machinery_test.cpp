// Handles, modes, faults and the trace: the machinery every family shares.
#include <cstring>
#include <functional>

#include "sim_test.h"

namespace ryn::sim::test {
namespace {

uint32_t fw_mode(ryn_handle h) {
    uint32_t mode = 0;
    EXPECT_EQ(ryn_get_fw_mode(h, &mode), 1) << last_trace();
    return mode;
}

uint32_t header_mode_bit(ryn_handle h) {
    uint8_t hdr[80] = {};
    EXPECT_EQ(ryn_get_fw_hdr(h, hdr, 0), 1);
    return hdr[4] & 1u;
}

TEST(SimHandles, OldHandlesStopWorkingAfterResetAndCreate) {
    ryn_handle h1 = create_base();
    EXPECT_EQ(ryn_sim_handle(), h1);
    ryn_handle h2 = ryn_sim_reset();
    ASSERT_NE(h2, RYN_INVALID_HANDLE);
    EXPECT_NE(h2, h1);
    EXPECT_EQ(ryn_check_platform(h1), 0u);
    EXPECT_EQ(last_trace(), "ryn_check_platform(" + H(h1) + ") = 0x0 [stale handle]");
    EXPECT_EQ(ryn_check_platform(h2) & 0xFF, 1u);

    ryn_handle h3 = create_base();
    EXPECT_NE(h3, h2);
    EXPECT_EQ(ryn_get_cali_info_fn(h2), nullptr);
    EXPECT_EQ(last_trace(), "ryn_get_cali_info_fn(" + H(h2) + ") = null [stale handle]");
    EXPECT_EQ(ryn_check_platform(RYN_INVALID_HANDLE), 0u);
    EXPECT_EQ(last_trace(), "ryn_check_platform(0xffffffffffffffff) = 0x0 [invalid handle]");
    EXPECT_EQ(ryn_check_platform(0), 0u);
}

// Every operation that takes a handle refuses a stale one before it looks at
// its other arguments (null buffers included) and says so in the trace.
TEST(SimHandles, EveryOperationRefusesAStaleHandle) {
    ryn_handle stale = create_base();
    ryn_sim_reset();
    uint8_t b[8192] = {};
    uint32_t w = 0;
    const std::vector<std::pair<const char *, std::function<int64_t()>>> calls = {
        {"ryn_check_platform", [&] { return ryn_check_platform(stale); }},
        {"ryn_get_cali_info_fn", [&] { return ryn_get_cali_info_fn(stale) != nullptr; }},
        {"ryn_set_cali_info_fn", [&] { return ryn_set_cali_info_fn(stale) != nullptr; }},
        {"ryn_get_model_cfg_fn", [&] { return ryn_get_model_cfg_fn(stale) != nullptr; }},
        {"ryn_set_model_cfg_fn", [&] { return ryn_set_model_cfg_fn(stale) != nullptr; }},
        {"ryn_set_sensor_ctrl", [&] { return ryn_set_sensor_ctrl(stale, 0); }},
        {"ryn_get_fw_ver_str", [&] { return ryn_get_fw_ver_str(stale, nullptr); }},
        {"ryn_get_version_str", [&] { return ryn_get_version_str(stale, b); }},
        {"ryn_get_dev_ver", [&] { return ryn_get_dev_ver(stale, b); }},
        {"ryn_get_fw_mode", [&] { return ryn_get_fw_mode(stale, &w); }},
        {"ryn_get_model_cfg", [&] { return ryn_get_model_cfg(stale, b); }},
        {"ryn_get_model_cfg_g40", [&] { return ryn_get_model_cfg_g40(stale, b); }},
        {"ryn_get_fw_hdr", [&] { return ryn_get_fw_hdr(stale, b, 0); }},
        {"ryn_set_fw_hdr", [&] { return ryn_set_fw_hdr(stale, b, 0); }},
        {"ryn_get_update_hdr", [&] { return ryn_get_update_hdr(stale, b); }},
        {"ryn_set_update_hdr", [&] { return ryn_set_update_hdr(stale, 0, 0x20000, 0x60000, 0); }},
        {"ryn_set_dev_mode", [&] { return ryn_set_dev_mode(stale, 1, nullptr); }},
        {"ryn_set_dev_mode_g40", [&] { return ryn_set_dev_mode_g40(stale, 1, b, b); }},
        {"ryn_set_normal_code",
         [&] { return ryn_set_normal_code(stale, nullptr, nullptr, b, 16); }},
        {"ryn_set_normal_code_g40", [&] { return ryn_set_normal_code_g40(stale, b, b, b, 16); }},
        {"ryn_update_flash_code", [&] { return ryn_update_flash_code(stale, b, 0, 16); }},
        {"ryn_set_extend_flash_driver",
         [&] { return ryn_set_extend_flash_driver(stale, 0, b, 16); }},
        {"ryn_get_reg", [&] { return ryn_get_reg(stale, 0, 0, 0x10, &w); }},
        {"ryn_set_reg", [&] { return ryn_set_reg(stale, 0, 0, 0x10, 1); }},
        {"ryn_get_data", [&] { return ryn_get_data(stale, 0, b, 0, 16); }},
        {"ryn_get_dev_ctrl", [&] { return ryn_get_dev_ctrl(stale, &w); }},
        {"ryn_set_dev_ctrl", [&] { return ryn_set_dev_ctrl(stale, 1, 0); }},
    };
    for (const auto &[op, call] : calls) {
        ryn_sim_trace_clear();
        EXPECT_EQ(call(), 0) << op;
        ASSERT_EQ(ryn_sim_trace_size(), 1u) << op;
        EXPECT_STREQ(ryn_sim_trace_op(0), op);
        EXPECT_NE(last_trace().find("[stale handle]"), std::string::npos) << last_trace();
    }
}

TEST(SimHandles, PlatformCodeNeedsMasking) {
    ryn_handle h = create_base();
    uint32_t platform = ryn_check_platform(h);
    EXPECT_EQ(platform & 0xFF, 1u);
    EXPECT_NE(platform & ~0xFFu, 0u);
}

TEST(SimModes, RequestedModeTakesEffectAtTheNextReset) {
    ryn_handle h = create_base();
    EXPECT_EQ(fw_mode(h), 0x50u);
    ASSERT_EQ(ryn_set_dev_mode(h, 1, nullptr), 1);
    EXPECT_EQ(fw_mode(h), 0x50u);
    EXPECT_EQ(header_mode_bit(h), 0u);

    h = ryn_sim_reset();
    EXPECT_EQ(fw_mode(h), 0x58u);
    EXPECT_EQ(header_mode_bit(h), 1u);
    h = ryn_sim_reset();  // nothing pending: the mode stays
    EXPECT_EQ(fw_mode(h), 0x58u);

    uint8_t cfg[6144] = {};
    ASSERT_EQ(ryn_set_dev_mode(h, 0, cfg), 1);
    EXPECT_EQ(fw_mode(h), 0x58u);
    h = ryn_sim_reset();
    EXPECT_EQ(fw_mode(h), 0x50u);
    EXPECT_EQ(header_mode_bit(h), 0u);

    EXPECT_EQ(ryn_set_dev_mode(h, 2, nullptr), 0);
    EXPECT_EQ(last_trace(), "ryn_set_dev_mode(" + H(h) + ", 2, null) = 0 [mode 2]");
}

// A device running the flash builder returns to it after update mode, until
// a new normal code replaces the flash builder.
TEST(SimModes, FlashBuilderRunsUntilNormalCodeReplacesIt) {
    ryn_handle h = create_base(R"({"fw_mode": "flashbuilder"})");
    EXPECT_EQ(fw_mode(h), 0x49u);
    ryn_set_dev_mode(h, 1, nullptr);
    h = ryn_sim_reset();
    EXPECT_EQ(fw_mode(h), 0x58u);
    ryn_set_dev_mode(h, 0, nullptr);
    h = ryn_sim_reset();
    EXPECT_EQ(fw_mode(h), 0x49u);

    ryn_set_dev_mode(h, 1, nullptr);
    h = ryn_sim_reset();
    const uint8_t code[4] = {1, 2, 3, 4};
    ASSERT_EQ(ryn_set_normal_code(h, nullptr, nullptr, code, sizeof code), 1);
    ryn_set_dev_mode(h, 0, nullptr);
    h = ryn_sim_reset();
    EXPECT_EQ(fw_mode(h), 0x50u);
}

struct FaultCase {
    uint32_t call, times;
    const char *results;  // per call of ryn_get_fw_mode: '1' success, '0' failure
};

TEST(SimFaults, FailTheChosenCallsOnly) {
    const FaultCase cases[] = {
        {1, 1, "01111"}, {2, 1, "10111"}, {2, 2, "10011"},
        {3, 0, "11000"}, {5, 3, "11110"}, {6, 1, "11111"},
    };
    for (const FaultCase &c : cases) {
        ryn_handle h = create_base();
        ASSERT_EQ(ryn_sim_fail("ryn_get_fw_mode", c.call, c.times), 1) << ryn_sim_last_error();
        std::string got;
        for (int i = 0; i < 5; ++i) {
            uint32_t mode = 0;
            got += ryn_get_fw_mode(h, &mode) ? '1' : '0';
        }
        EXPECT_EQ(got, c.results) << "call " << c.call << " times " << c.times;
    }
}

TEST(SimFaults, FaultsCountCallsPerOperationAndClear) {
    ryn_handle h = create_base();
    ryn_sim_fail("ryn_get_fw_mode", 2, 1);
    uint32_t mode = 0;
    ryn_check_platform(h);  // other operations do not advance the count
    EXPECT_EQ(ryn_get_fw_mode(h, &mode), 1);
    EXPECT_EQ(ryn_get_fw_mode(h, &mode), 0);
    EXPECT_EQ(last_trace(), "ryn_get_fw_mode(" + H(h) + ", buf) = 0 [fault]");

    ryn_sim_fail("ryn_get_fw_mode", 1, 0);
    ryn_sim_clear_faults();
    EXPECT_EQ(ryn_get_fw_mode(h, &mode), 1);
}

TEST(SimFaults, FailValueReturnsTheValueWithoutActing) {
    ryn_handle h = create_base();
    ASSERT_EQ(ryn_sim_fail_value("ryn_get_fw_mode", 2, 1, 7), 1);
    uint32_t mode = 0xDEAD;
    EXPECT_EQ(ryn_get_fw_mode(h, &mode), 1);
    EXPECT_EQ(mode, 0x50u);
    mode = 0xDEAD;
    EXPECT_EQ(ryn_get_fw_mode(h, &mode), 7);
    EXPECT_EQ(mode, 0xDEADu);
    EXPECT_EQ(last_trace(), "ryn_get_fw_mode(" + H(h) + ", buf) = 7 [fault]");

    ASSERT_EQ(ryn_sim_fail_value("ryn_check_platform", 1, 1, 0x5A03), 1);
    EXPECT_EQ(ryn_check_platform(h), 0x5A03u);
}

TEST(SimFaults, GettersFailAsNull) {
    ryn_handle h = create_base();
    ASSERT_EQ(ryn_sim_fail("ryn_get_model_cfg_fn", 1, 1), 1);
    EXPECT_EQ(ryn_get_model_cfg_fn(h), nullptr);
    EXPECT_NE(ryn_get_model_cfg_fn(h), nullptr);
    ASSERT_EQ(ryn_sim_fail("model_cfg_reader", 1, 1), 1);
    uint8_t buf[8192] = {0x00, 0x20};
    EXPECT_EQ(ryn_get_model_cfg_fn(h)(h, buf), 0);
}

TEST(SimFaults, ForcedResetFailureReturnsAllOnes) {
    ryn_handle h = create_base();
    ryn_set_dev_mode(h, 1, nullptr);
    ASSERT_EQ(ryn_sim_fail("reset", 1, 1), 1);
    EXPECT_EQ(ryn_sim_reset(), RYN_INVALID_HANDLE);
    EXPECT_EQ(last_trace(), "reset() = 0xffffffffffffffff [fault]");
    EXPECT_EQ(ryn_sim_handle(), RYN_INVALID_HANDLE);
    EXPECT_EQ(ryn_check_platform(h), 0u);

    // The device did not come back: the mode request is still pending.
    ryn_handle h2 = ryn_sim_reset();
    ASSERT_NE(h2, RYN_INVALID_HANDLE);
    EXPECT_EQ(fw_mode(h2), 0x58u);

    ASSERT_EQ(ryn_sim_fail_value("reset", 3, 1, 1234), 1);
    EXPECT_EQ(ryn_sim_reset(), 1234u);
}

TEST(SimFaults, CorruptionFlipsTheChosenBytesOfWhatIsReadBack) {
    ryn_handle h = create_base();
    std::vector<uint8_t> held = record("version");
    ASSERT_EQ(ryn_sim_corrupt("ryn_get_fw_ver_str", 2, 1, 4, 2), 1) << ryn_sim_last_error();
    ASSERT_EQ(ryn_sim_corrupt("ryn_get_fw_mode", 1, 0, 100, 4), 1);
    uint8_t buf[368];
    ASSERT_EQ(ryn_get_fw_ver_str(h, buf), 1);
    EXPECT_EQ(std::memcmp(buf, held.data(), held.size()), 0);
    ASSERT_EQ(ryn_get_fw_ver_str(h, buf), 1);
    EXPECT_EQ(last_trace(), "ryn_get_fw_ver_str(" + H(h) + ", buf) = 1 [corrupted]");
    std::vector<uint8_t> expected = held;
    expected[4] ^= 0xFF;
    expected[5] ^= 0xFF;
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 368), expected);
    EXPECT_EQ(record("version"), held);  // the device's own record is intact
    EXPECT_EQ(fw_mode(h), 0x50u);        // offset past the 4 bytes handed back
}

TEST(SimFaults, ArmingRefusesWhatCannotApply) {
    create_base();
    struct Case {
        std::function<int32_t()> arm;
        const char *error;
    };
    const Case cases[] = {
        {[] { return ryn_sim_fail("ryn_no_such_call", 1, 1); },
         "unknown operation \"ryn_no_such_call\""},
        {[] { return ryn_sim_fail(nullptr, 1, 1); }, "operation is null"},
        {[] { return ryn_sim_fail("ryn_get_fw_mode", 0, 1); }, "calls are counted from 1"},
        {[] { return ryn_sim_fail_value("ryn_get_cali_info_fn", 1, 1, 5); }, "returns a function"},
        {[] { return ryn_sim_corrupt("ryn_set_dev_mode", 1, 1, 0, 1); }, "hands back no data"},
        {[] { return ryn_sim_corrupt("ryn_get_fw_mode", 1, 1, 0, 0); }, "at least one byte"},
        {[] { return ryn_sim_stall("ryn_get_fw_mode", 1); }, "is not a poll"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.arm(), 0) << c.error;
        EXPECT_NE(std::string(ryn_sim_last_error()).find(c.error), std::string::npos)
            << ryn_sim_last_error();
    }
    EXPECT_EQ(ryn_sim_stall("ryn_get_dev_ctrl", 2), 1);
    EXPECT_STREQ(ryn_sim_last_error(), "");
}

TEST(SimTrace, ShowsOperationsArgumentsAndResults) {
    ryn_handle h = create_base();
    EXPECT_EQ(ryn_sim_trace_size(), 0u);
    uint8_t query[16] = {2};
    uint64_t version = 0;
    const char data[] = "123456789";
    ryn_check_platform(h);
    ryn_set_dev_mode(h, 1, nullptr);
    ryn_get_dev_ver(h, query);
    ryn_fw_ver_str_to_u64(&version, wtext(u"1.2.3.4"));
    ryn_calc_crc(data, 9);
    ryn_calc_crc_flash_layout(0x10, nullptr, 0);
    ryn_set_update_hdr(h, 0, 0x20000, 0x60000, 0xabcd);
    ryn_6cam_set_dev_id(1);
    ryn_handle h2 = ryn_sim_reset();
    ryn_set_sensor_ctrl(h2, 0);
    const std::vector<std::string> expected = {
        "ryn_check_platform(" + H(h) + ") = 0x5a01",
        "ryn_set_dev_mode(" + H(h) + ", 1, null) = 1",
        "ryn_get_dev_ver(" + H(h) + ", 2) = 1",
        "ryn_fw_ver_str_to_u64(buf, \"1.2.3.4\") = 1",
        "ryn_calc_crc(buf, 9) = 0xcbf43926",
        "ryn_calc_crc_flash_layout(0x10, null, 0) = 0x10",
        "ryn_set_update_hdr(" + H(h) + ", 0, 0x20000, 0x60000, 0xabcd) = 1",
        "ryn_6cam_set_dev_id(1) = 0 [unsupported]",
        "reset() = " + H(h2),
        "ryn_set_sensor_ctrl(" + H(h2) + ", 0) = 1",
    };
    EXPECT_EQ(trace_texts(), expected);
    EXPECT_STREQ(ryn_sim_trace_op(8), "reset");
    EXPECT_STREQ(ryn_sim_trace_op(0), "ryn_check_platform");
    EXPECT_EQ(ryn_sim_trace_op(expected.size()), nullptr);
    ryn_sim_trace_clear();
    EXPECT_EQ(ryn_sim_trace_size(), 0u);
}

TEST(SimTrace, OperationsTheModelLacksFailCleanly) {
    ryn_handle h = create_base();
    uint32_t w = 0;
    uint8_t b[16] = {};
    EXPECT_EQ(ryn_get_reg(h, 0, 0, 0x40, &w), 0);
    EXPECT_EQ(last_trace(), "ryn_get_reg(" + H(h) + ", 0, 0, 0x40, buf) = 0 [unsupported]");
    EXPECT_EQ(ryn_get_data(h, 0, b, 0x1000, 16), 0);
    EXPECT_EQ(ryn_set_extend_flash_driver(h, 1, b, 16), 0);
    EXPECT_EQ(ryn_get_dev_ctrl(h, &w), 0);
    EXPECT_EQ(ryn_set_dev_ctrl(h, 1, 0), 0);
    EXPECT_EQ(ryn_set_reg(h, 0, 0, 0x40, 1), 0);
}

}  // namespace
}  // namespace ryn::sim::test
