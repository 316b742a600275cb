#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>

#include "tests/text/test_util.h"
#include "text/text.h"

namespace ryn::text {
namespace {

using test::u8;

// Formats whose conversions all store an unsigned 32-bit value (at most three).
TEST(Scan, UnsignedConversions) {
    struct Case {
        const char16_t *fmt, *input;
        int fields;
        uint32_t a, b;
    };
    const Case cases[] = {
        {u"%u", u"42", 1, 42, 0},
        {u"%u", u" \t+7", 1, 7, 0},
        {u"%u", u"-1", 1, 4294967295u, 0},  // a sign, as strtoul takes it
        {u"%u", u"4294967296", 1, 0, 0},    // wraps modulo 2^32
        {u"%u", u"99999999999", 1, 1215752191u, 0},
        {u"%u", u"-4294967297", 1, 4294967295u, 0},
        {u"%u", u"", scan_eof, 0, 0},
        {u"%u", u"   ", scan_eof, 0, 0},
        {u"%u", u"x", 0, 0, 0},
        {u"%u", u"-", 0, 0, 0},
        {u"%x %X", u"0x1F ff", 2, 31, 255},
        {u"%x", u"0xg", 1, 0, 0},  // "0x" without digits reads the 0
        {u"%o %u", u"017 017", 2, 15, 17},
        {u"%2u%u", u"123", 2, 12, 3},
        {u"%04u", u"12345", 1, 1234, 0},
        {u"%0u", u"12345", 1, 12345, 0},  // width 0 is no width
        {u"%u,%u", u"1, 2", 2, 1, 2},     // %u skips blanks, a literal does not
        {u"%u,%u", u"1 ,2", 1, 1, 0},
        {u"%u ,%u", u"1,2", 2, 1, 2},  // format blank: any run, even none
        {u"%u , %u", u"1 \t , \n 2", 2, 1, 2},
        {u"%u,%u", u"1;2", 1, 1, 0},
        {u"%u,%u", u"1,", 1, 1, 0},         // input ends after a conversion
        {u"abc%u", u"ab", scan_eof, 0, 0},  // ...or before the first one
        {u"abc%u", u"abd", 0, 0, 0},
        {u"%*u%u", u"1 2", 1, 2, 0},
        {u"%*u%u", u"1", 0, 0, 0},  // a suppressed conversion counts as done
        {u"%%%u %%", u" %5 %", 1, 5, 0},
        {u"%u%q", u"5 6", 1, 5, 0},  // unknown conversion ends the scan
        {u"%u%", u"5 6", 1, 5, 0},
    };
    for (const Case &c : cases) {
        uint32_t a = 0, b = 0, unused = 0;
        EXPECT_EQ(scan(c.input, c.fmt, &a, &b, &unused), c.fields)
            << u8(c.fmt) << " on \"" << u8(c.input) << '"';
        EXPECT_EQ(a, c.a) << u8(c.fmt) << " on \"" << u8(c.input) << '"';
        EXPECT_EQ(b, c.b) << u8(c.fmt) << " on \"" << u8(c.input) << '"';
    }
}

TEST(Scan, SignedConversions) {
    struct Case {
        const char16_t *fmt, *input;
        int value;
    };
    const Case cases[] = {
        {u"%d", u"-17", -17},
        {u"%d", u"+12", 12},
        {u"%d", u"4294967295", -1},  // all 32 bits of a "%u" value come back
        {u"%d", u"2147483648", INT_MIN},
        {u"%d", u"-2147483648", INT_MIN},
        {u"%i", u"0x10", 16},
        {u"%i", u"010", 8},
        {u"%i", u"-0x10", -16},
        {u"%3d", u"-1234", -12},
    };
    for (const Case &c : cases) {
        int v = 0;
        EXPECT_EQ(scan(c.input, c.fmt, &v), 1) << u8(c.fmt) << " on " << u8(c.input);
        EXPECT_EQ(v, c.value) << u8(c.fmt) << " on " << u8(c.input);
    }
}

TEST(Scan, LengthModifiersStoreTheTypeTheyName) {
    unsigned short us = 0;
    short s = 0;
    long long ll = 0;
    unsigned long long ull = 1;
    long l = 0;
    EXPECT_EQ(scan(u"70000 -1 -9223372036854775808 18446744073709551616 -5",
                   u"%hu %hd %lld %llu %ld", &us, &s, &ll, &ull, &l),
              5);
    EXPECT_EQ(us, 4464);
    EXPECT_EQ(s, -1);
    EXPECT_EQ(ll, LLONG_MIN);
    EXPECT_EQ(ull, 0u);
    EXPECT_EQ(l, -5);
}

TEST(Scan, DefinitionAndParameterLines) {
    unsigned n = 0;
    char16_t name[128] = u"untouched";
    EXPECT_EQ(scan(u"param_12345=x", u"param_%04u=%s", &n, name, size_t{128}), 1);
    EXPECT_EQ(n, 1234u);
    EXPECT_EQ(std::u16string(name), u"untouched");

    EXPECT_EQ(scan(u"param_5=name rest", u"param_%04u=%s", &n, name, size_t{128}), 2);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(std::u16string(name), u"name");

    int v = 0;
    EXPECT_EQ(scan(u"FW_PARAM_0003=-1", u"FW_PARAM_%04u=%d", &n, &v), 2);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(scan(u"FW_PARAM_0003 = 5", u"FW_PARAM_%04u=%d", &n, &v), 1);

    unsigned id = 0, param = 0;
    int builtin = 7;
    char16_t file[128];
    EXPECT_EQ(scan(u"EF4017,0,1234abcd,drv/flash.bin trailing", u"%X,%d,%X,%s", &id, &builtin,
                   &param, file, size_t{128}),
              4);
    EXPECT_EQ(id, 0xEF4017u);
    EXPECT_EQ(builtin, 0);
    EXPECT_EQ(param, 0x1234abcdu);
    EXPECT_EQ(std::u16string(file), u"drv/flash.bin");
}

TEST(Scan, WordAndNumbers) {
    struct Case {
        const char16_t *input;
        int fields;
        const char16_t *word;
        unsigned value;
    };
    const Case cases[] = {
        {u"enable,1", 2, u"enable", 1},
        {u"disable,300", 2, u"disable", 300},
        {u"Enable,1", 0, u"", 0},   // upper case is not in [a-z]
        {u" enable,1", 0, u"", 0},  // %[ does not skip blanks
        {u"enable, 7", 2, u"enable", 7},
        {u"enable;1", 1, u"enable", 0},
        {u"abcdefghijklmno,4", 2, u"abcdefghijklmno", 4},  // 15 letters fit 16
        {u"abcdefghijklmnop,4", 0, u"", 0},                // 16 do not: the field fails
        {u"", scan_eof, u"", 0},
    };
    for (const Case &c : cases) {
        char16_t word[16] = u"";
        unsigned value = 0;
        EXPECT_EQ(scan(c.input, u"%[a-z],%u", word, size_t{16}, &value), c.fields) << u8(c.input);
        EXPECT_EQ(std::u16string(word), c.word) << u8(c.input);
        EXPECT_EQ(value, c.value) << u8(c.input);
    }

    unsigned cam = 0, a = 0, b = 0, c = 0, d = 0;
    char16_t word[16];
    EXPECT_EQ(scan(u"enable,cam9,1,2,3,4", u"%[a-z],cam%u,%u,%u,%u,%u", word, size_t{16}, &cam, &a,
                   &b, &c, &d),
              6);
    EXPECT_EQ(cam, 9u);
    EXPECT_EQ(d, 4u);
    EXPECT_EQ(scan(u"on,1,2,3,4", u"%[a-z],%u,%u,%u,%u", word, size_t{16}, &a, &b, &c, &d), 5);
    EXPECT_EQ(std::u16string(word), u"on");
}

TEST(Scan, StringConversions) {
    char16_t buf[5];
    unsigned n = 99;
    // A token that does not fit fails its field, empties the buffer and ends the scan.
    EXPECT_EQ(scan(u"abcde 5", u"%s%u", buf, size_t{5}, &n), 0);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(n, 99u);
    EXPECT_EQ(scan(u"abcd 5", u"%s%u", buf, size_t{5}, &n), 2);
    EXPECT_EQ(std::u16string(buf), u"abcd");
    EXPECT_EQ(scan(u"abc", u"%s", buf, size_t{0}), 0);
    EXPECT_EQ(scan(u"abc", u"%s", static_cast<char16_t *>(nullptr), size_t{5}), 0);

    EXPECT_EQ(scan(u"abcdef", u"%3s%s", buf, size_t{5}, buf + 4, size_t{1}),
              1);  // "def" does not fit 1
    EXPECT_EQ(scan(u"  skip 5", u"%*s %u", &n), 1);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(scan(u"   ", u"%s", buf, size_t{5}), scan_eof);

    char16_t set[16];
    const struct {
        const char16_t *fmt, *input, *token;
    } sets[] = {
        {u"%[^,]", u"a b,3", u"a b"},
        {u"%[]a]", u"]a]b", u"]a]"},
        {u"%[^]]", u"ab]c", u"ab"},
        {u"%[a-]", u"a-b", u"a-"},
        {u"%[z-a]", u"mz", u"mz"},
        {u"%3[0-9]", u"12345", u"123"},
        {u"%[\u00e9\u00e8]", u"\u00e9\u00e8x", u"\u00e9\u00e8"},
    };
    for (const auto &c : sets) {
        EXPECT_EQ(scan(c.input, c.fmt, set, size_t{16}), 1) << u8(c.fmt);
        EXPECT_EQ(std::u16string(set), c.token) << u8(c.fmt);
    }
    EXPECT_EQ(scan(u"abc", u"%[a-z", set, size_t{16}), 0);  // unclosed set
    EXPECT_EQ(scan(u"ABC", u"%[a-z]", set, size_t{16}), 0);
}

TEST(Scan, RealConversions) {
    float f[5] = {};
    EXPECT_EQ(scan(u"1 -2.5 3e2 4E-1 .5", u"%e %e %e %e %e", &f[0], &f[1], &f[2], &f[3], &f[4]), 5);
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_EQ(f[1], -2.5f);
    EXPECT_EQ(f[2], 300.0f);
    EXPECT_EQ(f[3], 0.4f);
    EXPECT_EQ(f[4], 0.5f);

    float x = 0, y = 0;
    EXPECT_EQ(scan(u"(1.5,-2e3)", u"(%e,%e)", &x, &y), 2);
    EXPECT_EQ(x, 1.5f);
    EXPECT_EQ(y, -2000.0f);
    EXPECT_EQ(scan(u"+1.2500000000e+000", u"%f", &x), 1);
    EXPECT_EQ(x, 1.25f);
    EXPECT_EQ(scan(u"1.2345", u"%3g", &x), 1);
    EXPECT_EQ(x, 1.2f);
    EXPECT_EQ(scan(u"1e,", u"%e,", &x), 1);  // takes what wcstod takes: "1"
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(scan(u"1e39", u"%e", &x), 1);
    EXPECT_TRUE(std::isinf(x));
    EXPECT_EQ(scan(u"abc", u"%e", &x), 0);
    EXPECT_EQ(scan(u"", u"%e", &x), scan_eof);

    double d = 0;
    EXPECT_EQ(scan(u"0.1", u"%le", &d), 1);
    EXPECT_EQ(d, 0.1);
    EXPECT_EQ(scan(u"-inf nan", u"%e %le", &x, &d), 2);
    EXPECT_TRUE(std::isinf(x) && x < 0);
    EXPECT_TRUE(std::isnan(d));
    EXPECT_EQ(scan(u"1", u"%hf", &x), 0);  // no such type
}

}  // namespace
}  // namespace ryn::text
