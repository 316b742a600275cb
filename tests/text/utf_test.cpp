#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ryn::text
