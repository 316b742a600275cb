#include "platform/encoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

namespace ryn::platform {
namespace {

using namespace std::string_literals;

std::span<const uint8_t> as_bytes(std::string_view s) {
    return {reinterpret_cast<const uint8_t *>(s.data()), s.size()};
}

TEST(DetectEncoding, NamesTheMarkAndItsLength) {
    const struct {
        std::string bytes;
        Encoding encoding;
        size_t mark_size;
    } cases[] = {
        {"", Encoding::Bytes8, 0},
        {"[s]", Encoding::Bytes8, 0},
        {"\xEF\xBB", Encoding::Bytes8, 0},  // a cut-off mark is text
        {"\xEF\xBB\xBF", Encoding::Utf8Bom, 3},
        {"\xEF\xBB\xBF[s]", Encoding::Utf8Bom, 3},
        {"\xFF", Encoding::Bytes8, 0},
        {"\xFF\xFE", Encoding::Utf16LE, 2},
        {"\xFE\xFF\0["s, Encoding::Utf16BE, 2},
        {"\xFE\xFE", Encoding::Bytes8, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        const auto detected = detect_encoding(as_bytes(c.bytes));
        EXPECT_EQ(detected.encoding, c.encoding);
        EXPECT_EQ(detected.mark_size, c.mark_size);
    }
}

// What encode writes, decode reads back: exactly, except an unpaired
// surrogate in 8-bit text, which is reported.
TEST(Encode, RoundTripsThroughDecodeInEachEncoding) {
    const std::u16string text = u"k=v\u00e9\u20ac\U0001F600\r\n";
    const std::u16string lone = std::u16string(u"a") + char16_t(0xDC00);
    for (const Encoding enc :
         {Encoding::Bytes8, Encoding::Utf8Bom, Encoding::Utf16LE, Encoding::Utf16BE}) {
        SCOPED_TRACE(static_cast<int>(enc));
        std::string bytes;
        EXPECT_TRUE(encode(text, enc, bytes));
        EXPECT_EQ(decode(as_bytes(bytes), enc), text);

        bytes.clear();
        const bool utf16 = unit_size(enc) == 2;
        EXPECT_EQ(encode(lone, enc, bytes), utf16);
        EXPECT_EQ(decode(as_bytes(bytes), enc), utf16 ? lone : u"a\uFFFD");
    }
    std::string be, le;
    encode(u"A", Encoding::Utf16BE, be);
    encode(u"A", Encoding::Utf16LE, le);
    EXPECT_EQ(be, "\0A"s);
    EXPECT_EQ(le, "A\0"s);
}

// The byte offset of a position in decoded text, as a changed line needs it
// to keep the bytes before its value.
TEST(ByteOffset, CountsTheBytesBehindEachDecodedUnit) {
    const struct {
        const char *what;
        std::string bytes;
        Encoding encoding;
        size_t units;
        size_t offset;
    } cases[] = {
        {"ascii", "k=v", Encoding::Bytes8, 2, 2},
        {"utf-8 before", "\xC3\xA9=v", Encoding::Utf8Bom, 2, 3},
        {"latin-1 bytes", "\xE9\xC3=v", Encoding::Bytes8, 3, 3},
        {"pair counts whole", "\xF0\x9F\x98\x80=v", Encoding::Bytes8, 1, 4},
        {"after pair", "\xF0\x9F\x98\x80=v", Encoding::Bytes8, 3, 5},
        {"past the end", "k=", Encoding::Bytes8, 9, 2},
        {"none", "k=", Encoding::Bytes8, 0, 0},
        {"utf-16", "k\0=\0v\0"s, Encoding::Utf16LE, 2, 4},
        {"utf-16 odd byte", "k\0=\0v"s, Encoding::Utf16BE, 9, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(byte_offset(as_bytes(c.bytes), c.encoding, c.units), c.offset);
    }
}

}  // namespace
}  // namespace ryn::platform
