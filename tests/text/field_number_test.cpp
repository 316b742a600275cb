#include <bit>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "tests/text/test_util.h"
#include "text/field_number.h"

namespace ryn::text {
namespace {

using test::u8;

TEST(IntegerField, TakesOneNumberThatFitsTheField) {
    constexpr IntegerField u16 = prefixed_field(16), u8f = prefixed_field(8);
    constexpr IntegerField d7 = decimal_field(7), d32 = decimal_field(32);
    constexpr IntegerField fw16{.bits = 16, .base = 10, .negatives = true};
    constexpr IntegerField fw32{.bits = 32, .base = 10, .negatives = true};
    const std::optional<uint32_t> none;
    const struct {
        const char16_t *text;
        IntegerField field;
        std::optional<uint32_t> value;
    } cases[] = {
        // The automatic base and the blanks around the number stay accepted.
        {u"0x0123", u16, 0x123},
        {u"0443", u16, 0x123},
        {u"291", u16, 0x123},
        {u" \t291 ", u16, 0x123},
        {u"+291", u16, 291},
        {u"0XFFFF", u16, 0xFFFF},
        {u"0", u16, 0},
        {u"-0", u16, 0},
        // No number, or more than one number's text.
        {u"zzz", u16, none},
        {u"", u16, none},
        {u"-", u16, none},
        {u"12abc", u16, none},
        {u"1e5", u16, none},
        {u"08", u16, none},
        {u"0x", u16, none},
        {u"1 2", u16, none},
        // Too large for the field, or negative where the field takes no sign.
        {u"70000", u16, none},
        {u"0x10000", u16, none},
        {u"256", u8f, none},
        {u"255", u8f, 255},
        {u"-1", u16, none},
        {u"99999999999999999999", d32, none},
        {u"4294967295", d32, 0xFFFFFFFF},
        {u"4294967296", d32, none},
        // Decimal fields read no prefix.
        {u"0x10", d7, none},
        {u"010", d7, 10},
        {u"127", d7, 127},
        {u"128", d7, none},
        // Fields that take a negative number store its two's complement.
        {u"-1", fw16, 0xFFFF},
        {u"-32768", fw16, 0x8000},
        {u"-32769", fw16, none},
        {u"65535", fw16, 0xFFFF},
        {u"-1", fw32, 0xFFFFFFFF},
        {u"-2147483648", fw32, 0x80000000},
        {u"-2147483649", fw32, none},
        {u"4294967295", fw32, 0xFFFFFFFF},
    };
    for (const auto &c : cases) EXPECT_EQ(integer_field(c.text, c.field), c.value) << u8(c.text);
}

TEST(FloatField, TakesFloatsTheLibraryWritesAndRefusesTheRest) {
    const float max = std::numeric_limits<float>::max();
    const float inf = std::numeric_limits<float>::infinity();
    const std::optional<float> none;
    const struct {
        const char16_t *text;
        std::optional<float> value;
    } cases[] = {
        {u"+1.2500000000e+000", 1.25f},
        {u"-1.0000000149e-001", -0.1f},
        {u" 2.5 ", 2.5f},
        {u"3", 3.0f},
        {u"0x1p3", 8.0f},
        {u"+3.4028234664e+038", max},
        {u"1e-50", 0.0f},  // rounds to zero: the float's precision, not its range
        {u"+inf", inf},
        {u"-inf", -inf},
        {u"1e39", none},
        {u"-1e300", none},
        {u"1e400", none},
        {u"abc", none},
        {u"", none},
        {u"1.5x", none},
        {u"1.5 2", none},
    };
    for (const auto &c : cases) EXPECT_EQ(float_field(c.text), c.value) << u8(c.text);
    const auto nan = float_field(u"+nan");
    ASSERT_TRUE(nan);
    EXPECT_TRUE(std::isnan(*nan));
}

// Every NaN goes through float_text and float_field with all its bits; plain
// "nan" stays the form of the NaN it reads back as, and every other value
// keeps the "%+.10e" form.
TEST(FloatText, EveryNanKeepsItsBitsAndOtherValuesTheirForm) {
    const struct {
        uint32_t bits;
        const char16_t *text;
    } cases[] = {
        {0x7FC00000, u"+nan"},
        {0xFFC00000, u"-nan"},
        {0xFFFFFFFF, u"-nan(0xffffffff)"},
        {0x7FC00001, u"+nan(0x7fc00001)"},
        {0x7F800001, u"+nan(0x7f800001)"},  // signalling: widening to double would quiet it
        {0x7F800000, u"+inf"},
        {0x3FA00000, u"+1.2500000000e+000"},
        {0x80000000, u"-0.0000000000e+000"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bits);
        const float value = std::bit_cast<float>(c.bits);
        EXPECT_EQ(u8(float_text(value)), u8(c.text));
        const auto back = float_field(float_text(value));
        ASSERT_TRUE(back);
        EXPECT_EQ(std::bit_cast<uint32_t>(*back), c.bits);
    }
    // The bits must be a NaN's, with the sign the text gives.
    for (const char16_t *text : {u"nan(0x3f800000)", u"-nan(0x7fc00001)", u"+nan(0xffffffff)"}) {
        const auto v = float_field(text);
        EXPECT_TRUE(!v || (std::isnan(*v) && (std::bit_cast<uint32_t>(*v) & 0x7FFFFFFF) == 0x7FC00000))
            << u8(text);
    }
}

}  // namespace
}  // namespace ryn::text
