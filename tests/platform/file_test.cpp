#include "platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/tmpdir.h"

namespace ryn::platform {
namespace {

using namespace std::string_literals;
using Pieces = std::vector<std::u16string>;

// Every piece the reader returns for a file holding bytes.
Pieces read_pieces(std::string_view bytes, TextMode mode) {
    const auto path = test::scratch_dir() / "text.txt";
    test::write_file(path, bytes);
    auto reader = TextReader::open(path.u16string(), mode);
    EXPECT_TRUE(reader);
    Pieces pieces;
    std::u16string line;
    while (reader && reader->read_line(line)) pieces.push_back(line);
    EXPECT_TRUE(line.empty());
    EXPECT_FALSE(reader && reader->read_line(line));  // end of file stays the end
    return pieces;
}

struct TextCase {
    const char *what;
    std::string bytes;
    Pieces pieces;
};

void check(TextMode mode, const std::vector<TextCase> &cases) {
    for (const auto &c : cases) EXPECT_EQ(read_pieces(c.bytes, mode), c.pieces) << c.what;
}

TEST(ReadBinary, ReadsEveryByteAsStored) {
    const auto dir = test::scratch_dir();
    std::string bytes = "\xEF\xBB\xBF\r\n\r";
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    test::write_file(dir / "all.bin", bytes);
    test::write_file(dir / "empty.bin", "");

    const auto read = read_binary((dir / "all.bin").u16string());
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(read->begin(), read->end()), bytes);
    EXPECT_EQ(read_binary((dir / "empty.bin").u16string()), std::vector<uint8_t>{});
    EXPECT_EQ(read_binary((dir / "missing.bin").u16string()), std::nullopt);
    EXPECT_EQ(read_binary(dir.u16string()), std::nullopt);  // a folder opens but cannot be read
}

TEST(ReadBinary, OpensNonAsciiNames) {
    const auto dir = test::scratch_dir();
    const std::u16string name = u"caf\u00e9\U0001F600.bin";
    test::write_file(dir / std::filesystem::path(name), "x");
    EXPECT_EQ(read_binary((dir / std::filesystem::path(name)).u16string()),
              std::vector<uint8_t>{'x'});
}

TEST(TextReader, AnsiMode) {
    check(TextMode::Ansi,
          {
              {"CRLF read as LF", "a\r\nb\n", {u"a\n", u"b\n"}},
              {"lone CR kept", "a\rb\r\r\n", {u"a\rb\r\n"}},
              {"CR at the end", "a\r", {u"a\r"}},
              {"no final newline", "one\nlast", {u"one\n", u"last"}},
              {"blank lines", "\n\n", {u"\n", u"\n"}},
              {"empty file", "", {}},
              {"NUL bytes", "x\0y\n\0"s, {u"x\0y\n"s, u"\0"s}},
              {"UTF-8", "caf\xC3\xA9 \xF0\x9F\x98\x80\n", {u"caf\u00e9 \U0001F600\n"}},
              {"UTF-8 mark skipped", "\xEF\xBB\xBFhi\n", {u"hi\n"}},
              {"invalid UTF-8 is Latin-1", "\xE9t\xE9\n", {u"\u00e9t\u00e9\n"}},
              {"overlong form is Latin-1", "\xC0\xAF", {u"\u00c0\u00af"}},
              {"encoded surrogate is Latin-1", "\xED\xA0\x80", {u"\u00ed\u00a0\u0080"}},
              {"cut-off sequence at the end", "ok\xE2\x82", {u"ok\u00e2\u0082"}},
              {"valid after invalid", "\xFF\xC3\xA9", {u"\u00ff\u00e9"}},
              {"UTF-16LE mark",
               "\xFF\xFE"
               "a\0\r\0\n\0b\0"s,
               {u"a\n", u"b"}},
              {"UTF-16BE mark",
               "\xFE\xFF"
               "\0a\0\n"s,
               {u"a\n"}},
          });
}

TEST(TextReader, UnicodeMode) {
    check(TextMode::Unicode,
          {
              {"UTF-16LE without a mark", "a\0\xE9\0\r\0\n\0b\0"s, {u"a\u00e9\n", u"b"}},
              {"UTF-16LE mark",
               "\xFF\xFE"
               "a\0\n\0"s,
               {u"a\n"}},
              {"UTF-16BE mark",
               "\xFE\xFF"
               "\0a\0\r\0\n\0\r"s,
               {u"a\n", u"\r"}},
              {"UTF-8 mark",
               "\xEF\xBB\xBF"
               "caf\xC3\xA9\r\n",
               {u"caf\u00e9\n"}},
              {"odd trailing byte dropped", "a\0b"s, {u"a"}},
              {"a single byte is no text", "a", {}},
              {"mark alone", "\xFF\xFE", {}},
              {"NUL characters", "\0\0a\0\n\0\0\0"s, {u"\0a\n"s, u"\0"s}},
              {"surrogate pair", "\x3D\xD8\x00\xDE"s, {u"\U0001F600"}},
          });
}

TEST(TextReader, LongLinesComeIn255CharacterPieces) {
    const std::u16string a255(255, u'a');
    check(TextMode::Ansi,
          {
              {"254 and LF", std::string(254, 'a') + "\n", {std::u16string(254, u'a') + u"\n"}},
              {"exactly 255 and LF", std::string(255, 'a') + "\n", {a255, u"\n"}},
              {"exactly 255 and CRLF", std::string(255, 'a') + "\r\n", {a255, u"\n"}},
              {"256 and LF", std::string(256, 'a') + "b\n", {a255, u"ab\n"}},
              {"600 without LF", std::string(600, 'a'), {a255, a255, std::u16string(90, u'a')}},
              {"multi-byte characters count once",
               std::string(256, '\xE9') + "\n",
               {std::u16string(255, u'\u00e9'), u"\u00e9\n"}},
          });
    // Pieces count characters, not bytes, in UTF-16 files too.
    std::string utf16 = "\xFF\xFE";
    for (int i = 0; i < 256; ++i) utf16 += "z\0"s;
    check(TextMode::Unicode,
          {{"UTF-16, 256 characters", utf16, {std::u16string(255, u'z'), u"z"}}});
}

TEST(TextReader, ArbitraryBytesAreReadSafely) {
    // A megabyte of every byte value in a scrambled order, read in both modes:
    // every piece keeps the rule, and reading ends.
    std::string bytes(1 << 20, '\0');
    uint32_t state = 12345;
    for (auto &b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 24);
    }
    for (const TextMode mode : {TextMode::Ansi, TextMode::Unicode}) {
        size_t total = 0;
        for (const auto &piece : read_pieces(bytes, mode)) {
            ASSERT_FALSE(piece.empty());
            ASSERT_LE(piece.size(), TextReader::max_read);
            const size_t lf = piece.find(u'\n');
            ASSERT_TRUE(lf == std::u16string::npos || lf == piece.size() - 1);
            total += piece.size();
        }
        EXPECT_GT(total, 0u);
        EXPECT_LE(total, bytes.size());
    }
}

TEST(TextReader, MissingFileDoesNotOpen) {
    const auto dir = test::scratch_dir();
    EXPECT_FALSE(TextReader::open((dir / "missing.txt").u16string(), TextMode::Ansi));
    EXPECT_FALSE(TextReader::open((dir / "missing.txt").u16string(), TextMode::Unicode));
}

TEST(DecodeText, ReportsTheEncodingAndKeepsLineEnds) {
    const auto decode = [](std::string_view s, TextMode mode) {
        return decode_text(std::span(reinterpret_cast<const uint8_t *>(s.data()), s.size()), mode);
    };
    const struct {
        std::string bytes;
        TextMode mode;
        Encoding encoding;
        std::u16string text;
    } cases[] = {
        {"a\r\n", TextMode::Ansi, Encoding::Bytes8, u"a\r\n"},
        {"\xEF\xBB\xBF"
         "a\r\n",
         TextMode::Ansi, Encoding::Utf8Bom, u"a\r\n"},
        {"\xFF\xFE"
         "a\0"s,
         TextMode::Ansi, Encoding::Utf16LE, u"a"},
        {"\xFE\xFF"
         "\0a"s,
         TextMode::Unicode, Encoding::Utf16BE, u"a"},
        {"a\0"s, TextMode::Unicode, Encoding::Utf16LE, u"a"},
    };
    for (const auto &c : cases) {
        const auto decoded = decode(c.bytes, c.mode);
        EXPECT_EQ(decoded.encoding, c.encoding);
        EXPECT_EQ(decoded.text, c.text);
    }
}

}  // namespace
}  // namespace ryn::platform
