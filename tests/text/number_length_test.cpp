// Numbers whose text is longer than the reader's inline buffer (64
// characters) read exactly like short ones: the whole run of number
// characters counts, whatever its length.
#include <gtest/gtest.h>

#include <string>

#include "text/text.h"

namespace ryn::text {
namespace {

TEST(NumberLength, LongTextsReadWhole) {
    const struct {
        std::u16string text;
        double value;
        size_t end;
    } cases[] = {
        {u"1" + std::u16string(80, u'0'), 1e80, 81},
        {u"0." + std::u16string(62, u'0') + u"1", 1e-63, 65},    // 65 characters
        {u"1" + std::u16string(63, u'0') + u"x", 1e63, 64},      // exactly 64, then a stop
        {u"-1" + std::u16string(64, u'0') + u";", -1e64, 66},    // sign, then 65
        {u"2" + std::u16string(100, u'0') + u"e-100 ", 2, 106},  // exponent past the buffer
        {std::u16string(70, u'0') + u"z5", 0, 70},               // a letter ends nothing early: from_chars stops
    };
    for (const auto &c : cases) {
        size_t end = 0;
        EXPECT_DOUBLE_EQ(to_double(c.text, &end), c.value) << c.text.size();
        EXPECT_EQ(end, c.end) << c.text.size();
    }
}

}  // namespace
}  // namespace ryn::text
