// The 5810 controllers' firmware behaviour: mode change at reset, the state
// file keeping it, the serial flash and its driver, and the options only the
// 5810 families take.
#include "sim_test.h"

#include "fwupdate/c5810/update.h"

namespace ryn::sim::test {
namespace {

using namespace ryn::fwupdate;

uint32_t fw_mode() {
    uint32_t mode = 0;
    EXPECT_TRUE(ryn_get_fw_mode(ryn_sim_handle(), &mode));
    return mode;
}

TEST(Sim5810, MaskromRequestTakesEffectAtResetAndOutlivesTheStateFile) {
    ASSERT_NE(ryn_sim_create("5810", nullptr), RYN_INVALID_HANDLE) << ryn_sim_last_error();
    EXPECT_EQ(fw_mode(), fw_mode_5810_flash);
    ASSERT_TRUE(ryn_set_dev_mode(ryn_sim_handle(), 1, nullptr));
    EXPECT_EQ(fw_mode(), fw_mode_5810_flash);
    const std::string state =
        (std::filesystem::temp_directory_path() / "ryn_sim_5810_mode.json").string();
    ASSERT_TRUE(ryn_sim_save(state.c_str()));
    ASSERT_NE(ryn_sim_load(state.c_str()), RYN_INVALID_HANDLE) << ryn_sim_last_error();
    ASSERT_NE(ryn_sim_reset(), RYN_INVALID_HANDLE);
    EXPECT_EQ(fw_mode(), fw_mode_5810_maskrom);
}

TEST(Sim5810, ExtendedDriverChipWritesOnlyWithItsDriver) {
    ASSERT_NE(
        ryn_sim_create("5810",
                       R"({"fw_mode": "maskrom", "flash_id": "0xC22016", "flash_driver": true})"),
        RYN_INVALID_HANDLE)
        << ryn_sim_last_error();
    const ryn_handle h = ryn_sim_handle();
    for (const OscCaliRegister &r : osc_cali_registers)
        ASSERT_TRUE(ryn_set_reg(h, 0, 0, r.address, r.value));
    ASSERT_TRUE(ryn_set_reg(h, 0, 0, sf_command_reg, sf_read_id_command));
    ASSERT_TRUE(ryn_set_reg(h, 0, 0, sf_status_reg, sf_start));
    uint32_t status = 1, reads = 0, id = 0;
    while (status != 0 && reads < 10) {
        ASSERT_TRUE(ryn_get_reg(h, 0, 0, sf_status_reg, &status));
        ++reads;
    }
    EXPECT_EQ(reads, 3u);
    ASSERT_TRUE(ryn_get_reg(h, 0, 0, sf_data_reg, &id));
    EXPECT_EQ(id, 0xC22016u);
    const uint8_t code[4] = {1, 2, 3, 4};
    EXPECT_EQ(ryn_update_flash_code(h, code, 0, 4), 0);
    const uint8_t wrong[4] = {0x15, 0x40, 0xEF, 0};
    EXPECT_EQ(ryn_set_extend_flash_driver(h, 0, wrong, 4), 0);
    const uint8_t driver[6] = {0x16, 0x20, 0xC2, 0, 9, 9};
    ASSERT_TRUE(ryn_set_extend_flash_driver(h, 0, driver, 6));
    ASSERT_TRUE(ryn_update_flash_code(h, code, 0x10, 4));
    const std::vector<uint8_t> flash = record("flash");
    ASSERT_EQ(flash.size(), 262144u);
    EXPECT_EQ(flash[0x0F], 0xFF);
    EXPECT_EQ(flash[0x10], 1);
}

TEST(Sim5810, FirmwareOptionsBelongToTheirFamilies) {
    EXPECT_EQ(ryn_sim_create("5920", R"({"flash_id": 1})"), RYN_INVALID_HANDLE);
    EXPECT_EQ(ryn_sim_create("6cam", R"({"fw_mode": "maskrom"})"), RYN_INVALID_HANDLE);
    EXPECT_EQ(ryn_sim_create("5810", R"({"fw_mode": "update"})"), RYN_INVALID_HANDLE);
    EXPECT_NE(ryn_sim_create("6cam", R"({"flash_id": 5})"), RYN_INVALID_HANDLE)
        << ryn_sim_last_error();
}

}  // namespace
}  // namespace ryn::sim::test
