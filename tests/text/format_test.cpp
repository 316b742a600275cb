#include <gtest/gtest.h>

#include <cfloat>
#include <cstdarg>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/text/test_util.h"
#include "text/text.h"

namespace ryn::text {
namespace {

using test::u8;

struct Row {
    std::u16string fmt, got, want;
};

template <class... A>
Row row(const char16_t *want, const char16_t *fmt, A... args) {
    return {fmt, format(fmt, args...), want};
}

void check_rows(const std::vector<Row> &rows) {
    for (const Row &r : rows) EXPECT_EQ(u8(r.got), u8(r.want)) << "format \"" << u8(r.fmt) << '"';
}

TEST(Format, Integers) {
    check_rows({
        row(u"0 -42 7", u"%d %i %u", 0, -42, 7u),
        row(u"   42|42   |", u"%5d|%-5d|", 42, 42),
        row(u"-0042 +5  5", u"%05d %+d % d", -42, 5, 5),
        row(u"007||", u"%.3d|%.0d|", 7, 0),
        row(u"     007", u"%08.3d", 7),  // '0' gives way to a precision
        row(u"-2147483648 4294967295", u"%d %u", INT_MIN, UINT_MAX),
        row(u"abc ABC 0x1f 0X1F 0", u"%x %X %#x %#X %#x", 0xabcu, 0xabcu, 0x1fu, 0x1fu, 0u),
        row(u"10 010 0 0", u"%o %#o %#o %#.0o", 8u, 8u, 0u, 0u),
        row(u"1 1", u"%+u % u", 1u, 1u),  // sign flags are for signed conversions
        row(u"0x0123", u"0x%0*x", 4, 0x123u),
        row(u"0x00000001 0x000abcde", u"0x%0*x 0x%0*x", 8, 1u, 8, 0xabcdeu),
        row(u"7   |5", u"%*d|%.*d", -4, 7, -1, 5),
        row(u"4464 5 -1", u"%hd %hu %hd", 70000, 65541u, 65535),
        row(u"-9223372036854775808 18446744073709551615 ffffffffffffffff", u"%lld %llu %llx",
            LLONG_MIN, ULLONG_MAX, ULLONG_MAX),
        // long is the host's: 64 bits on Linux, 32 bits on Windows.
        row(sizeof(long) == 8 ? u"-1 18446744073709551615" : u"-1 4294967295", u"%ld %lu", -1L, ULONG_MAX),
        row(u"100% %", u"100%% %%"),
    });
}

// numbered writes what the format of its prefix and "%0*u" writes.
TEST(Format, NumberedIsTheZeroPaddedConversion) {
    for (const unsigned n : {0u, 7u, 42u, 999u, 9999u, 10000u, 123456u, UINT_MAX})
        for (const int digits : {0, 1, 4, 12}) {
            EXPECT_EQ(u8(numbered(u"FW_PARAM_", n, static_cast<size_t>(digits))),
                      u8(format(u"FW_PARAM_%0*u", digits, n)))
                << n << " in " << digits << " digits";
            EXPECT_EQ(u8(numbered(u"", n, static_cast<size_t>(digits))), u8(format(u"%0*u", digits, n)));
        }
}

TEST(Format, CharactersStringsPointers) {
    const char16_t unterminated[3] = {u'x', u'y', u'z'};
    std::u16string ptr_digits(2 * sizeof(void *) - 4, u'0');
    check_rows({
        row(u"A|  A|A  |", u"%c|%3c|%-3c|", u'A', u'A', u'A'),
        row(u"\u00e9\U0001F600", u"%c%s", u'\u00e9', u"\U0001F600"),
        row(u"abc|  abc|abc  |ab", u"%s|%5s|%-5s|%.2s", u"abc", u"abc", u"abc", u"abc"),
        row(u"(null)|(nu", u"%s|%.3s", static_cast<const char16_t *>(nullptr),
            static_cast<const char16_t *>(nullptr)),
        row(u"xyz", u"%.3s", unterminated),  // a precision stops the read
        row((ptr_digits + u"ABCD").c_str(), u"%p", reinterpret_cast<void *>(0xabcd)),
    });
}

TEST(Format, Floating) {
    check_rows({
        row(u"+1.2500000000e+000 +0.0000000000e+000", u"%+.10e %+.10e", 1.25, 0.0),
        row(u"-1.2500000000e-001", u"%+.10e", -0.125),
        row(u"1.000000e-300 1.000000e+300", u"%e %e", 1e-300, 1e300),
        row(u"1.234568E+004 5e+000 5.e+000", u"%E %.0e %#.0e", 12345.678, 5.0, 5.0),
        row(u"-0.000000e+000", u"%e", -0.0),
        row(u" 1.500e+000|-01.500e+000|1.500e+000  |", u"%11.3e|%012.3e|%-12.3e|", 1.5, -1.5, 1.5),
        row(u"3.141590 2.67 0 3.", u"%f %.2f %.0f %#.0f", 3.14159, 2.675, 0.5, 3.0),
        row(u"100000000000000000000.000000", u"%f", 1e20),
        row(u"     -1.50|-1.50     |+0001.50", u"%10.2f|%-10.2f|%+08.2f", -1.5, -1.5, 1.5),
        row(u"100000 1e+006 1e-005 0.0001", u"%g %g %g %g", 100000.0, 1e6, 1e-5, 1e-4),
        row(u"123.456 1E-010 1.00000 1.23e+003", u"%g %G %#g %.3g", 123.456, 1e-10, 1.0, 1234.0),
        row(u"0 0.5 10 -2.5", u"%g %.0g %g %g", 0.0, 0.5, 9.9999999, -2.5),
    });
}

TEST(Format, InfinityAndNanReadBack) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    check_rows({
        row(u"inf +inf -INF", u"%e %+f %E", inf, inf, -inf),
        row(u"  nan|  inf|-nan  |NAN", u"%5.1f|%05g|%-6e|%G", nan, inf, -nan, nan),
    });
    for (double v : {inf, -inf, nan}) {
        std::u16string s = format(u"%+.10e", v);
        size_t end = 0;
        double back = to_double(s, &end);
        EXPECT_EQ(end, s.size()) << u8(s);
        EXPECT_EQ(std::fpclassify(back), std::fpclassify(v)) << u8(s);
        EXPECT_EQ(std::signbit(back), std::signbit(v)) << u8(s);
        float f = 0;
        EXPECT_EQ(scan(s, u"%e", &f), 1);
        EXPECT_EQ(std::fpclassify(f), std::fpclassify(v)) << u8(s);
    }
}

// Precisions beyond a double's exact expansion continue with zeros.
TEST(Format, LongPrecisionIsExact) {
    const double tiny = std::numeric_limits<double>::denorm_min();
    char exact[1200];
    auto end = std::to_chars(exact, exact + sizeof exact, tiny, std::chars_format::fixed, 1074).ptr;
    std::u16string want(exact, end);
    want.append(126, u'0');
    EXPECT_EQ(format(u"%.1200f", tiny), want);

    std::u16string e = format(u"%.2000e", 1.5);
    EXPECT_EQ(e.size(), 2007u);
    EXPECT_EQ(e.substr(0, 3), u"1.5");
    EXPECT_EQ(e.find_first_not_of(u'0', 3), 2002u);
    EXPECT_EQ(e.substr(2002), u"e+000");
}

TEST(Format, TruncatesToCapacityAndReturnsFullLength) {
    char16_t buf[8];
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_EQ(format_to(buf, 0, u"%s", u"abcdef"), 6);
    EXPECT_EQ(buf[0], u'#');  // nothing written, not even a terminator
    EXPECT_EQ(format_to(nullptr, 10, u"%s", u"abcdef"), 6);

    EXPECT_EQ(format_to(buf, 1, u"%s", u"abcdef"), 6);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], u'#');
    EXPECT_EQ(format_to(buf, 4, u"%s", u"abcdef"), 6);
    EXPECT_EQ(std::u16string(buf, 5), std::u16string(u"abc\0#", 5));

    EXPECT_EQ(format_to(buf, 8, u"%*d", 100000, 1), 100000);
    EXPECT_EQ(std::u16string(buf), u"       ");
    EXPECT_EQ(format(u"%*d", 100000, 1).size(), 100000u);
}

TEST(Format, MalformedFormatFailsBeforeTakingArguments) {
    // Every format here is rejected by a full pass before any argument is
    // read, so calling without arguments is well defined.
    for (const char16_t *fmt :
         {u"%", u"abc%", u"%d%", u"%q", u"%5%", u"%hs", u"%hc", u"%lle", u"%hp", u"%l", u"%-",
          u"%.", u"%*", u"%99999999999d", u"%.99999999999f", u"%#-+ 0"}) {
        char16_t buf[4] = {u'#', u'#', u'#', u'#'};
        EXPECT_EQ(format_to(buf, 4, fmt), -1) << u8(fmt);
        EXPECT_EQ(buf[0], 0) << u8(fmt);
        EXPECT_EQ(format(fmt), u"") << u8(fmt);
    }
    EXPECT_EQ(format_to(nullptr, 0, nullptr), -1);
}

}  // namespace
}  // namespace ryn::text
