// The device library's helpers without device traffic: CRC and version numbers.
#include <string>

#include "sim_test.h"

namespace ryn::sim::test {
namespace {

TEST(SimCrc, IsCrc32AndTheLayoutFormContinuesIt) {
    const std::string check = "123456789";
    EXPECT_EQ(ryn_calc_crc(check.data(), 9), 0xCBF43926u);
    EXPECT_EQ(ryn_calc_crc(check.data(), 0), 0u);
    EXPECT_EQ(ryn_calc_crc_flash_layout(0, check.data(), 9), 0xCBF43926u);

    const std::string parts[] = {"header", "", "version string", "model config and more"};
    std::string whole;
    uint32_t running = 0;
    for (const std::string &p : parts) {
        running = ryn_calc_crc_flash_layout(running, p.data(), static_cast<uint32_t>(p.size()));
        whole += p;
    }
    EXPECT_EQ(running, ryn_calc_crc(whole.data(), static_cast<uint32_t>(whole.size())));
    EXPECT_EQ(ryn_calc_crc(nullptr, 4), 0u);
    EXPECT_EQ(last_trace(), "ryn_calc_crc(null, 4) = 0x0 [null data]");
}

TEST(SimVersionNumber, ConvertsFourDecimalPartsAndRefusesAnythingElse) {
    struct Case {
        const char16_t *text;
        bool ok;
        uint64_t value;
    };
    const Case cases[] = {
        {u"0.0.0.0", true, 0},
        {u"1.2.3.4", true, 0x0001000200030004},
        {u"2.1.0925.1", true, 0x00020001039D0001},
        {u"65535.65535.65535.65535", true, ~uint64_t{0}},
        {u"00000000000007.0.0.0", true, uint64_t{7} << 48},
        {u"", false, 0},
        {u"1.2.3", false, 0},
        {u"1.2.3.4.5", false, 0},
        {u"1..3.4", false, 0},
        {u"1.2.3.", false, 0},
        {u".1.2.3", false, 0},
        {u"1.2.3.65536", false, 0},
        {u"99999999999999999999.0.0.0", false, 0},
        {u"+1.2.3.4", false, 0},
        {u"1.2.3.-4", false, 0},
        {u" 1.2.3.4", false, 0},
        {u"1.2.3.4 ", false, 0},
        {u"1.2.3.a", false, 0},
        {u"1,2,3,4", false, 0},
        {u"\x0661.2.3.4", false, 0},  // a non-ASCII digit
    };
    for (const Case &c : cases) {
        uint64_t v = 0xFEEDu;
        EXPECT_EQ(ryn_fw_ver_str_to_u64(&v, wtext(c.text)), c.ok ? 1 : 0) << last_trace();
        EXPECT_EQ(v, c.ok ? c.value : 0xFEEDu) << last_trace();
    }
    uint64_t v = 0;
    EXPECT_EQ(ryn_fw_ver_str_to_u64(&v, nullptr), 0);
    EXPECT_EQ(ryn_fw_ver_str_to_u64(nullptr, wtext(u"1.2.3.4")), 0);
    std::u16string long_text(300, u'1');
    EXPECT_EQ(ryn_fw_ver_str_to_u64(&v, wtext(long_text.c_str())), 0);
}

TEST(SimVersionNumber, OrdersAsTheVersionsDo) {
    uint64_t a = 0, b = 0, c = 0;
    ASSERT_EQ(ryn_fw_ver_str_to_u64(&a, wtext(u"2.3.1204.1")), 1);
    ASSERT_EQ(ryn_fw_ver_str_to_u64(&b, wtext(u"2.3.1123.1")), 1);
    ASSERT_EQ(ryn_fw_ver_str_to_u64(&c, wtext(u"2.10.0.0")), 1);
    EXPECT_GT(a, b);
    EXPECT_GT(c, a);
}

}  // namespace
}  // namespace ryn::sim::test
