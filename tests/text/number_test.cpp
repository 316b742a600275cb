#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "tests/text/test_util.h"
#include "text/text.h"

namespace ryn::text {
namespace {

using test::u8;

TEST(ToUlongAuto, BaseBySignAndPrefix) {
    const struct {
        const char16_t *text;
        uint32_t value;
        size_t end;
    } cases[] = {
        {u"0x0123", 0x123, 6},
        {u"0443", 0x123, 4},
        {u"291", 0x123, 3},
        {u" \t291,", 0x123, 5},
        {u"+291", 291, 4},
        {u"0X1f", 31, 4},
        {u"-1", 0xFFFFFFFF, 2},
        {u"-4294967295", 1, 11},
        {u"4294967295", 0xFFFFFFFF, 10},
        {u"4294967296", 0xFFFFFFFF, 10},   // overflow saturates (ERANGE) ...
        {u"-4294967296", 0xFFFFFFFF, 11},  // ... whatever the sign
        {u"99999999999999999999999", 0xFFFFFFFF, 23},
        {u"0x100000000", 0xFFFFFFFF, 11},
        {u"12abc", 12, 2},
        {u"08", 0, 1},  // octal stops at 8
        {u"0x", 0, 1},  // no hex digit: the "0" is the number
        {u"0xg", 0, 1},
        {u"0", 0, 1},
        {u"", 0, 0},
        {u"abc", 0, 0},
        {u"-", 0, 0},
        {u"- 1", 0, 0},
        {u"\uff11", 0, 0},  // full-width digits are not digits
    };
    for (const auto &c : cases) {
        size_t end = 99;
        EXPECT_EQ(to_ulong_auto(c.text, &end), c.value) << u8(c.text);
        EXPECT_EQ(end, c.end) << u8(c.text);
    }
    EXPECT_EQ(to_ulong_auto(u"17"), 17u);
}

TEST(ToDouble, ReadsWhatWcstodReads) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char16_t *text;
        double value;
        size_t end;
    } cases[] = {
        {u"1.5", 1.5, 3},
        {u"  -2.5e3x", -2500, 8},
        {u"+1.2500000000e+000", 1.25, 18},
        {u".5", 0.5, 2},
        {u"5.", 5, 2},
        {u"1e", 1, 1},
        {u"1e+", 1, 1},
        {u"1,5", 1, 1},
        {u"0x1p4", 16, 5},
        {u"0X.8p1", 1, 6},
        {u"0x1.8", 1.5, 5},
        {u"0x", 0, 1},
        {u"0x-1", 0, 1},
        {u"inf", inf, 3},
        {u"-Infinity", -inf, 9},
        {u"infinit", inf, 3},
        {u"1e400", inf, 5},
        {u"-0x1p2000", -inf, 9},
        {u"1e-400", 0, 6},
        {u"0.0000000000000000000000000000000000001e-300", 0, 44},
        {u"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min(), 23},
        {u"", 0, 0},
        {u".", 0, 0},
        {u"+-1", 0, 0},
        {u"e5", 0, 0},
        {u"in", 0, 0},
    };
    for (const auto &c : cases) {
        size_t end = 99;
        EXPECT_EQ(to_double(c.text, &end), c.value) << u8(c.text);
        EXPECT_EQ(end, c.end) << u8(c.text);
    }
    for (const char16_t *text : {u"nan", u"-NaN", u"nan(123)", u"nan(", u"nan(a b)"}) {
        size_t end = 0;
        EXPECT_TRUE(std::isnan(to_double(text, &end))) << u8(text);
        EXPECT_EQ(end, std::u16string_view(text).find(u"(12") == 3 ? 8u
                       : text[0] == u'-'                           ? 4u
                                                                   : 3u)
            << u8(text);
    }
    EXPECT_TRUE(std::signbit(to_double(u"-0")));
}

// A process locale with a decimal comma changes neither formatting nor parsing.
TEST(Locale, CommaDecimalLocaleChangesNothing) {
    std::string saved = std::setlocale(LC_ALL, nullptr);
    const char *found = nullptr;
    for (const char *name :
         {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8", "ru_RU.UTF-8",
          "es_ES.UTF-8", "it_IT.UTF-8", "de_DE", "fr_FR"}) {
        if (std::setlocale(LC_ALL, name) != nullptr && std::localeconv()->decimal_point[0] == ',') {
            found = name;
            break;
        }
    }
    if (found == nullptr) {
        std::setlocale(LC_ALL, saved.c_str());
        GTEST_SKIP() << "no comma-decimal locale is installed";
    }
    std::setlocale(LC_NUMERIC, found);
    EXPECT_EQ(format(u"%+.10e|%.2f|%g", 1.25, 1.5, 0.25), u"+1.2500000000e+000|1.50|0.25");
    size_t end = 0;
    EXPECT_EQ(to_double(u"1.5", &end), 1.5);
    EXPECT_EQ(end, 3u);
    EXPECT_EQ(to_double(u"1,5", &end), 1.0);
    float f = 0;
    EXPECT_EQ(scan(u"2.25", u"%e", &f), 1);
    EXPECT_EQ(f, 2.25f);
    EXPECT_EQ(to_ulong_auto(u"1234"), 1234u);
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace ryn::text
