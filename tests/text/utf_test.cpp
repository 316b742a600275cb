#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

#include "text/text.h"

namespace ryn::text {
namespace {

TEST(Utf, RoundTripsEveryPlane) {
    const std::u16string text = u"A\u00e9\u20ac\U0001F600z\uFFFF\U0010FFFF";
    const std::string utf8 = to_utf8(text);
    EXPECT_EQ(utf8, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z\xEF\xBF\xBF\xF4\x8F\xBF\xBF");
    EXPECT_EQ(from_utf8(utf8), text);
}

TEST(Utf, UnpairedSurrogatesBecomeReplacement) {
    const std::u16string lone_high = {u'a', char16_t(0xD800), u'b'};
    const std::u16string lone_low = {char16_t(0xDC00)};
    const std::u16string reversed = {char16_t(0xDE00), char16_t(0xD83D)};
    EXPECT_EQ(to_utf8(lone_high),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(to_utf8(lone_low), "\xEF\xBF\xBD");
    EXPECT_EQ(to_utf8(reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

// One U+FFFD per maximal ill-formed subpart; the text after it survives.
TEST(Utf, InvalidUtf8BecomesReplacement) {
    const struct {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong lead
        {"\xE2\x82"
         "A",
         u"\uFFFDA"},                                       // truncated, then ASCII
        {"\xE2\x82", u"\uFFFD"},                            // truncated at the end
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
        {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},            // overlong 3-byte
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xF5\x80", u"\uFFFD\uFFFD"},
        {"\x80"
         "a\xFF",
         u"\uFFFDa\uFFFD"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto &c : cases) EXPECT_EQ(from_utf8(c.in), c.out) << c.in;
}

// The scalar decoder takes exactly the well-formed sequences; anything else is
// refused where it starts, so each caller decides what the bytes become.
TEST(Utf, DecodeUtf8TakesOnlyCompleteShortestFormScalars) {
    const struct {
        std::string in;
        size_t length;  // 0: refused
        char32_t cp;
    } cases[] = {
        {"A", 1, U'A'},
        {std::string("\0", 1), 1, 0},
        {"\xC2\x80", 2, 0x80},
        {"\xDF\xBF", 2, 0x7FF},
        {"\xE0\xA0\x80", 3, 0x800},
        {"\xED\x9F\xBF", 3, 0xD7FF},
        {"\xEE\x80\x80", 3, 0xE000},
        {"\xF0\x90\x80\x80", 4, 0x10000},
        {"\xF4\x8F\xBF\xBFz", 4, 0x10FFFF},  // what follows is not taken
        {"", 0, 0},
        {"\x80", 0, 0},      // continuation byte alone
        {"\xC0\xAF", 0, 0},  // overlong 2-byte
        {"\xC1\xBF", 0, 0},
        {"\xE0\x9F\xBF", 0, 0},      // overlong 3-byte
        {"\xF0\x8F\xBF\xBF", 0, 0},  // overlong 4-byte
        {"\xED\xA0\x80", 0, 0},      // encoded surrogate
        {"\xF4\x90\x80\x80", 0, 0},  // above U+10FFFF
        {"\xF5\x80\x80\x80", 0, 0},
        {"\xFF", 0, 0},
        {"\xE2\x82", 0, 0},  // cut off
        {"\xE2\x82"
         "A",
         0, 0},  // interrupted
        {"\xF0\x9F\x98", 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.in));
        char32_t cp = 0;
        const std::span bytes(reinterpret_cast<const uint8_t *>(c.in.data()), c.in.size());
        EXPECT_EQ(decode_utf8(bytes, cp), c.length);
        if (c.length) {
            EXPECT_EQ(cp, c.cp);
        }
    }
    // The span's end is the end, whatever lies beyond it in memory.
    const std::string euro = "\xE2\x82\xAC";
    char32_t cp = 0;
    EXPECT_EQ(decode_utf8(std::span(reinterpret_cast<const uint8_t *>(euro.data()), 2), cp), 0u);
}

TEST(Utf, ToUtf8ReportsWhetherTheTextWasExact) {
    const struct {
        std::u16string in;
        bool exact;
    } cases[] = {
        {u"", true},
        {u"a\u00e9\U0001F600", true},
        {std::u16string{u'a', char16_t(0xD800)}, false},
        {std::u16string{char16_t(0xDC00), u'b'}, false},
    };
    for (const auto &c : cases) {
        bool exact = !c.exact;
        const std::string utf8 = to_utf8(c.in, &exact);
        EXPECT_EQ(exact, c.exact);
        std::string appended = "x";
        EXPECT_EQ(append_utf8(appended, c.in), c.exact);
        EXPECT_EQ(appended, "x" + utf8);
    }
}

}  // namespace
}  // namespace ryn::text
