// The 5810, 5920 and six-camera families: their records, the readers and
// writers, the six-camera device selection and its state.
#include <cstring>
#include <string>

#include "sim_test.h"

namespace ryn::sim::test {
namespace {

uint32_t u16(const std::vector<uint8_t> &r, size_t at) {
    return static_cast<uint32_t>(r[at] | r[at + 1] << 8);
}
uint32_t u32(const std::vector<uint8_t> &r, size_t at) {
    return u16(r, at) | u16(r, at + 2) << 16;
}

std::vector<uint8_t> read_with(ryn_record_reader reader, ryn_handle h, bool model_cfg) {
    std::vector<uint8_t> buf(8192, 0);
    if (model_cfg) buf[1] = 0x20;  // the caller's buffer size, 8192
    EXPECT_NE(reader, nullptr);
    if (!reader || !reader(h, buf.data())) return {};
    return buf;
}

TEST(SimFamilies, RecordsOfEveryControllerAreFullAndVersioned) {
    struct Case {
        const char *family;
        uint32_t platform;
        std::vector<std::string> prefixes;
        uint32_t model_version;
        size_t fw_param_at;  // first firmware parameter of the calibration record
    };
    const Case cases[] = {
        {"5810", 0x5A02, {""}, 0x200, 260},
        {"5920", 0x5A03, {""}, 0x300, 2048},
        {"6cam", 0x5A06, {"255/", "1/", "2/"}, 0x200, 260},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.family);
        ryn_handle h = ryn_sim_create(c.family, nullptr);
        ASSERT_NE(h, RYN_INVALID_HANDLE) << ryn_sim_last_error();
        EXPECT_EQ(ryn_check_platform(h), c.platform);
        EXPECT_STREQ(ryn_sim_family(), c.family);
        std::vector<std::vector<uint8_t>> seen;
        for (const std::string &p : c.prefixes) {
            const auto cali = record((p + "cali").c_str());
            const auto cfg = record((p + "model-cfg").c_str());
            ASSERT_EQ(cali.size(), 8192u);
            ASSERT_EQ(cfg.size(), 8192u);
            EXPECT_EQ(u16(cali, 0), 8192u);
            EXPECT_EQ(cali[2], 1);
            EXPECT_NE(u32(cali, c.fw_param_at), 0u);
            EXPECT_NE(u32(cali, 8188), 0u);  // the last calibration value
            EXPECT_EQ(u16(cfg, 2), c.model_version);
            EXPECT_NE(u16(cfg, 4), 0u);  // vid
            EXPECT_EQ(cfg[10], 'S');     // model name "SIM-..."
            EXPECT_NE(u32(cfg, 8188), 0u);
            if (c.model_version == 0x200) {
                EXPECT_EQ(u16(cfg, 3074), 0x101u);  // block version
            }
            for (const auto &other : seen) EXPECT_NE(other, cali);  // controllers differ
            seen.push_back(cali);
        }
    }
}

TEST(SimFamilies, OptionsSetTheReportedVersions) {
    ASSERT_NE(ryn_sim_create("5810", R"({"model_version": "0x101", "algo_version": "0x100",
                                        "cali_version": 7})"),
              RYN_INVALID_HANDLE)
        << ryn_sim_last_error();
    EXPECT_EQ(u16(record("model-cfg"), 2), 0x101u);
    EXPECT_EQ(u16(record("model-cfg"), 3074), 0x100u);
    EXPECT_EQ(record("cali")[2], 7);

    struct Bad {
        const char *family, *options, *error;
    };
    const Bad bad[] = {
        {"5920", R"({"algo_version": 256})", "no block header"},
        {"5810", R"({"cali_version": 256})", "cali_version"},
        {"6cam", R"({"fw_mode": "normal"})", "unknown key \"fw_mode\""},
    };
    for (const Bad &b : bad) {
        EXPECT_EQ(ryn_sim_create(b.family, b.options), RYN_INVALID_HANDLE) << b.options;
        EXPECT_NE(std::string(ryn_sim_last_error()).find(b.error), std::string::npos)
            << ryn_sim_last_error();
    }
}

TEST(SimFamilies, ReadersAndWritersExchangeWholeRecords) {
    ryn_handle h = ryn_sim_create("5920", nullptr);
    std::vector<uint8_t> cali = read_with(ryn_get_cali_info_fn(h), h, false);
    ASSERT_EQ(cali, record("cali"));
    cali[5000] ^= 0xFF;
    EXPECT_EQ(ryn_set_cali_info_fn(h)(h, cali.data()), 1);
    EXPECT_EQ(record("cali"), cali);

    // A record of another version or length is refused and changes nothing.
    std::vector<uint8_t> wrong = cali;
    wrong[2] = 9;
    EXPECT_EQ(ryn_set_cali_info_fn(h)(h, wrong.data()), 0);
    EXPECT_EQ(last_trace(), "cali_info_writer(" + H(h) +
                                ", buf) = 0 [length 8192, version 0x9; the device holds length "
                                "8192, version 0x1]");
    EXPECT_EQ(record("cali"), cali);

    std::vector<uint8_t> cfg = read_with(ryn_get_model_cfg_fn(h), h, true);
    ASSERT_EQ(cfg, record("model-cfg"));
    cfg[100] = 'X';
    EXPECT_EQ(ryn_set_model_cfg_fn(h)(h, cfg.data()), 1);
    EXPECT_EQ(record("model-cfg"), cfg);
    cfg[3] = 2;
    EXPECT_EQ(ryn_set_model_cfg_fn(h)(h, cfg.data()), 0);

    // The model configuration reader wants a buffer of 8192 bytes.
    std::vector<uint8_t> small(8192, 0);
    small[0] = 0x00;
    small[1] = 0x10;
    EXPECT_EQ(ryn_get_model_cfg_fn(h)(h, small.data()), 0);
    EXPECT_EQ(last_trace(), "model_cfg_reader(" + H(h) +
                                ", buf) = 0 [buffer of 4096 bytes, the record takes 8192]");
}

TEST(SimFamilies, SixCamSelectionChoosesTheControllerAndOutlastsCalls) {
    ryn_handle h = ryn_sim_create("6cam", nullptr);
    ryn_record_reader reader = ryn_get_cali_info_fn(h);
    EXPECT_EQ(read_with(reader, h, false), record("255/cali"));  // 255 from the start
    for (uint32_t id : {1u, 2u, 255u}) {
        EXPECT_EQ(ryn_6cam_set_dev_id(id), 1);
        EXPECT_EQ(read_with(reader, h, false), record((std::to_string(id) + "/cali").c_str()));
        EXPECT_EQ(read_with(ryn_get_model_cfg_fn(h), h, true),
                  record((std::to_string(id) + "/model-cfg").c_str()));
    }

    // A write reaches the selected controller only.
    ASSERT_EQ(ryn_6cam_set_dev_id(2), 1);
    std::vector<uint8_t> two = record("2/cali");
    const std::vector<uint8_t> one = record("1/cali"), lpc = record("255/cali");
    two[4000] ^= 0x55;
    EXPECT_EQ(ryn_set_cali_info_fn(h)(h, two.data()), 1);
    EXPECT_EQ(record("2/cali"), two);
    EXPECT_EQ(record("1/cali"), one);
    EXPECT_EQ(record("255/cali"), lpc);

    // The selection is kept in the state file and survives a reset.
    const auto dir = scratch_dir();
    const std::string state = (dir / "six.json").string();
    ASSERT_EQ(ryn_sim_save(state.c_str()), 1);
    ASSERT_EQ(ryn_6cam_set_dev_id(1), 1);
    h = ryn_sim_load(state.c_str());
    ASSERT_NE(h, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    h = ryn_sim_reset();
    EXPECT_EQ(read_with(ryn_get_cali_info_fn(h), h, false), two);
}

TEST(SimFamilies, UnknownDeviceIdFailsEveryLaterCallUntilAValidOne) {
    ryn_handle h = ryn_sim_create("6cam", nullptr);
    ryn_record_reader reader = ryn_get_cali_info_fn(h);
    EXPECT_EQ(ryn_6cam_set_dev_id(7), 0);
    const std::string why =
        "device id 7 selected: the six-camera system has devices 1, 2 and 255 only";
    EXPECT_EQ(last_trace(), "ryn_6cam_set_dev_id(7) = 0 [" + why + "]");
    std::vector<uint8_t> buf(8192, 0);
    EXPECT_EQ(reader(h, buf.data()), 0);
    EXPECT_EQ(last_trace(), "cali_info_reader(" + H(h) + ", buf) = 0 [" + why + "]");
    EXPECT_EQ(ryn_get_model_cfg_fn(h), nullptr);
    EXPECT_EQ(last_trace(), "ryn_get_model_cfg_fn(" + H(h) + ") = null [" + why + "]");
    EXPECT_EQ(ryn_check_platform(h), 0x5A06u);  // the system still answers for itself
    EXPECT_EQ(ryn_6cam_set_dev_id(1), 1);
    EXPECT_EQ(reader(h, buf.data()), 1);

    // A device of one controller has nothing to select.
    h = ryn_sim_create("5810", nullptr);
    EXPECT_EQ(ryn_6cam_set_dev_id(1), 0);
    EXPECT_EQ(last_trace(), "ryn_6cam_set_dev_id(1) = 0 [unsupported]");
}

TEST(SimFamilies, SetRecordChecksNameAndSize) {
    ryn_sim_create("6cam", nullptr);
    std::vector<uint8_t> cfg = record("1/model-cfg");
    cfg[2] = 0x01;  // a record reporting version 0x201 is taken as the device would hold it
    EXPECT_EQ(ryn_sim_set_record("1/model-cfg", cfg.data(), cfg.size()), 1);
    EXPECT_EQ(ryn_sim_set_record("1/model-cfg", cfg.data(), 100), 0);
    EXPECT_STREQ(ryn_sim_last_error(), "record \"1/model-cfg\" takes 8192 bytes, not 100");
    EXPECT_EQ(ryn_sim_set_record("cali", cfg.data(), cfg.size()), 0);
    EXPECT_NE(std::string(ryn_sim_last_error()).find("has no record \"cali\""), std::string::npos);
    EXPECT_EQ(ryn_sim_set_record("version", cfg.data(), 368), 0);
}

}  // namespace
}  // namespace ryn::sim::test
