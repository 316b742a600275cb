#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "tests/text/test_util.h"
#include "text/text.h"

namespace ryn::text {
namespace {

// Every finite float written as an INI value ("%+.10e") reads back to the
// same 32 bits, through to_double and through scan "%e".
TEST(RoundTrip, EveryFiniteFloatThroughPlusDot10e) {
    std::vector<uint32_t> bits = {
        0x00000000, 0x80000000,                          // zeros
        0x00000001, 0x80000001,                          // smallest subnormals
        0x007FFFFF, 0x00400000,                          // largest and a middle subnormal
        0x00800000, 0x80800000,                          // FLT_MIN
        0x7F7FFFFF, 0xFF7FFFFF,                          // FLT_MAX
        0x3F800000, 0x3F7FFFFF, 0x3F800001, 0x37800000,  // around 1, 2^-16 (a tie at 11 digits)
    };
    std::mt19937 rng(20240601);
    while (bits.size() < 200000) bits.push_back(static_cast<uint32_t>(rng()));

    size_t checked = 0;
    for (uint32_t b : bits) {
        const float f = std::bit_cast<float>(b);
        if (!std::isfinite(f)) continue;
        ++checked;
        const std::u16string s = format(u"%+.10e", static_cast<double>(f));
        size_t end = 0;
        const float via_double = static_cast<float>(to_double(s, &end));
        float via_scan = 0;
        const int fields = scan(s, u"%e", &via_scan);
        if (std::bit_cast<uint32_t>(via_double) != b || end != s.size() || fields != 1 ||
            std::bit_cast<uint32_t>(via_scan) != b) {
            ADD_FAILURE() << std::hex << "bits 0x" << b << " wrote " << test::u8(s)
                          << " read back 0x" << std::bit_cast<uint32_t>(via_double) << " / 0x"
                          << std::bit_cast<uint32_t>(via_scan);
            break;
        }
    }
    EXPECT_GT(checked, bits.size() / 2);  // the sample is mostly finite
}

}  // namespace
}  // namespace ryn::text
