// The simulated base controller on the firmware-update paths: operations by
// firmware generation, the flash builder's mark, the model configuration
// handed over with an update, and the version record a layout brings.
#include <cstring>
#include <string>

#include <zlib.h>

#include "sim_test.h"

namespace ryn::sim::test {
namespace {

std::string base_options(const std::string &updater, const std::string &mode = "normal") {
    return R"({"updater_version": ")" + updater + R"(", "fw_mode": ")" + mode + R"("})";
}

uint32_t fw_mode(ryn_handle h) {
    uint32_t mode = 0;
    EXPECT_EQ(ryn_get_fw_mode(h, &mode), 1);
    return mode;
}

// Below 2.1.0925.1 (or with no readable updater version) only the g40
// operations answer; from there on, and in the flash builder, only the others.
TEST(SimFirmware, OperationsAnswerByFirmwareGeneration) {
    struct Case {
        const char *updater;
        const char *mode;
        bool g40;
    };
    const Case cases[] = {
        {"2.1.0925.0", "normal", true},        {"not a version", "normal", true},
        {"2.1.0925.1", "normal", false},       {"2.3.1311.2", "update", false},
        {"1.0.0000.1", "flashbuilder", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.updater);
        ryn_handle h = create_base(base_options(c.updater, c.mode).c_str());
        std::vector<uint8_t> cfg(6144);
        EXPECT_EQ(ryn_get_model_cfg_g40(h, cfg.data()), c.g40 ? 1 : 0);
        EXPECT_EQ(ryn_get_model_cfg(h, cfg.data()), c.g40 ? 0 : 1);
        EXPECT_EQ(last_trace(),
                  "ryn_get_model_cfg(" + H(h) + ", buf) = " +
                      (c.g40 ? "0 [g40 firmware takes only the g40 operations]" : "1"));
        EXPECT_EQ(ryn_set_dev_mode_g40(h, 1, nullptr, nullptr), c.g40 ? 1 : 0);
        EXPECT_EQ(ryn_set_dev_mode(h, 1, nullptr), c.g40 ? 0 : 1);
        h = ryn_sim_reset();
        const uint8_t code[4] = {1, 2, 3, 4};
        EXPECT_EQ(ryn_set_normal_code_g40(h, nullptr, nullptr, code, 4), c.g40 ? 1 : 0);
        EXPECT_EQ(ryn_set_normal_code(h, nullptr, nullptr, code, 4), c.g40 ? 0 : 1);
    }
}

TEST(SimFirmware, MarkedCodeRunsAsTheFlashBuilder) {
    ryn_handle h = create_base();
    ryn_set_dev_mode(h, 1, nullptr);
    h = ryn_sim_reset();
    std::string code = std::string(RYN_SIM_FLASH_BUILDER_MARK) + "builder code";
    ASSERT_EQ(
        ryn_set_normal_code(h, nullptr, nullptr, code.data(), static_cast<uint32_t>(code.size())),
        1);
    ryn_set_dev_mode(h, 0, nullptr);
    h = ryn_sim_reset();
    EXPECT_EQ(fw_mode(h), 0x49u);

    ryn_set_dev_mode(h, 1, nullptr);
    h = ryn_sim_reset();
    code = "product code " +
           std::string(RYN_SIM_FLASH_BUILDER_MARK);  // the mark counts only at the start
    ASSERT_EQ(
        ryn_set_normal_code(h, nullptr, nullptr, code.data(), static_cast<uint32_t>(code.size())),
        1);
    ryn_set_dev_mode(h, 0, nullptr);
    h = ryn_sim_reset();
    EXPECT_EQ(fw_mode(h), 0x50u);
}

// A model configuration given with an update-mode request or the code
// replaces the device's record when it is one of the device's version and
// length; another is left alone, and only its own length is read.
TEST(SimFirmware, ModelConfigurationOfTheDevicesFormIsTaken) {
    ryn_handle h = create_base(R"({"model_version": "0x101"})");
    std::vector<uint8_t> cfg = record("model-cfg");
    ASSERT_EQ(cfg.size(), 1532u);
    cfg[10] ^= 0x5A;
    ASSERT_EQ(ryn_set_dev_mode(h, 1, cfg.data()), 1);
    EXPECT_EQ(record("model-cfg"), cfg);

    std::vector<uint8_t> other(220, 0);  // version 0x100 with another length
    other[0] = 220, other[3] = 1;
    h = ryn_sim_reset();
    const uint8_t code[4] = {1, 2, 3, 4};
    ASSERT_EQ(ryn_set_normal_code(h, nullptr, other.data(), code, 4), 1);
    EXPECT_EQ(record("model-cfg"), cfg);

    cfg[11] ^= 0x5A;
    ASSERT_EQ(ryn_set_normal_code(h, nullptr, cfg.data(), code, 4), 1);
    EXPECT_EQ(record("model-cfg"), cfg);
}

// After a good verdict the device holds the version record that the header
// copy at the start of the region points to.
TEST(SimFirmware, GoodLayoutBringsItsVersionRecord) {
    ryn_handle h = create_base(base_options("2.0.0000.1").c_str());
    std::vector<uint8_t> header(68, 0), version(364, 0);
    const uint32_t version_ofs = 0x20100, version_len = 364;
    std::memcpy(header.data() + 44, &version_ofs, 4);
    std::memcpy(header.data() + 48, &version_len, 4);
    const char16_t updater[] = u"2.3.1311.2";
    std::memcpy(version.data() + 244, updater, sizeof updater);
    uint32_t crc = static_cast<uint32_t>(crc32(0, header.data(), 68));
    crc = static_cast<uint32_t>(crc32(crc, version.data(), 364));
    ASSERT_EQ(ryn_set_update_hdr(h, 0, 0x20000, 0x60000, crc), 1);
    ASSERT_EQ(ryn_update_flash_code(h, header.data(), 0, 68), 1);
    ASSERT_EQ(ryn_update_flash_code(h, version.data(), 0x100, 364), 1);
    uint8_t verdict[16] = {};
    ASSERT_EQ(ryn_get_update_hdr(h, verdict), 1);
    ASSERT_EQ(verdict[0], 1);
    std::vector<uint8_t> held = record("version");
    EXPECT_EQ(std::memcmp(held.data() + 244, updater, sizeof updater), 0);
    EXPECT_EQ(held[364], 0xEE);  // the bytes behind the record stay the device's
}

}  // namespace
}  // namespace ryn::sim::test
