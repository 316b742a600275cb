// Reading: lookup rules, values, buffers, line ends, encodings, bad input.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <string>

#include "ini_test_util.h"
#include "platform/ini_file.h"

using namespace ini_test;
using namespace std::string_literals;
using ryn::platform::IniFile;

namespace {

// One file that holds every lookup rule the store has.
const std::string kFixture =
    "orphan=before any section\r\n"
    "[Main]\r\n"
    "; comment=not a key\r\n"
    "  Spaced Key  =   spaced value   \r\n"
    "\tTabbed\t=\tv\t\r\n"
    "Quoted=\"  in quotes  \"\r\n"
    "Single='single'\r\n"
    "Mixed=\"mixed'\r\n"
    "Lone=\"\r\n"
    "Empty=\r\n"
    "EmptyQuotes=\"\"\r\n"
    "Dup=first\r\n"
    "DUP=second\r\n"
    "no equals sign\r\n"
    "=no key\r\n"
    "eq=a=b\r\n"
    "[Other] text after the bracket\r\n"
    "k=other\r\n"
    "[broken\r\n"
    "broken_key=x\r\n"
    "[main]\r\n"
    "dup=third\r\n"
    "later=from the second [main]\r\n"
    "[tail]\r\n"
    "nul=a\0b\r\n"
    "last=no line end"s;

struct LookupCase {
    std::u16string section, key, expected;
};

TEST(IniRead, LookupRules) {
    const auto dir = scratch();
    write_bytes(dir / "f.ini", kFixture);
    const IniFile ini(u16(dir / "f.ini"));
    const std::u16string d = u"<def>";
    const LookupCase cases[] = {
        {u"Main", u"Spaced Key", u"spaced value"},
        {u"MAIN", u"spaced KEY", u"spaced value"},  // ASCII case-insensitive
        {u" main ", u" spaced key ", u"spaced value"},
        {u"main", u"tabbed", u"v"},
        {u"main", u"quoted", u"  in quotes  "},
        {u"main", u"single", u"single"},
        {u"main", u"mixed", u"\"mixed'"},  // quotes that do not match stay
        {u"main", u"lone", u"\""},
        {u"main", u"empty", d},  // empty value: the default
        {u"main", u"emptyquotes", d},
        {u"main", u"absent", d},
        {u"absent", u"dup", d},
        {u"main", u"dup", u"first"},  // first key wins, also over a repeated section
        {u"main", u"no equals sign", d},
        {u"main", u"; comment", d},
        {u"main", u"", d},
        {u"", u"orphan", d},  // keys before any section belong to none
        {u"main", u"eq", u"a=b"},
        {u"other", u"k", u"other"},
        {u"other", u"broken_key", d},  // a section line without ']' ends [Other]
        {u"broken", u"broken_key", d},
        {u"[broken", u"broken_key", d},
        {u"main", u"later", d},  // a repeated section is kept, not read
        {u"tail", u"nul", std::u16string(u"a\0b", 3)},
        {u"tail", u"last", u"no line end"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.section.begin(), c.section.end()) + "/" +
                     std::string(c.key.begin(), c.key.end()));
        EXPECT_EQ(ini.get(c.section, c.key, d), c.expected);
    }
    EXPECT_EQ(ini.get(u"main", u"absent"), u"");  // without a default: empty
}

TEST(IniRead, ValueIsCutToBufferSizeLessOne) {
    const auto dir = scratch();
    write_bytes(dir / "f.ini", "[s]\nk=abcdef\n");
    const IniFile ini(u16(dir / "f.ini"));
    struct Case {
        std::u16string key, def;
        size_t cap, expected_len;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"k", u"", 100, 6, u"abcdef"}, {u"k", u"", 7, 6, u"abcdef"}, {u"k", u"", 6, 5, u"abcde"},
        {u"k", u"", 4, 3, u"abc"},      {u"k", u"", 1, 0, u""},       {u"x", u"xyz", 3, 2, u"xy"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.cap);
        char16_t buf[128];
        std::fill(std::begin(buf), std::end(buf), u'#');
        EXPECT_EQ(ini.get(u"s", c.key, buf, c.cap, c.def), c.expected_len);
        EXPECT_EQ(std::u16string(buf), c.expected);
        EXPECT_EQ(buf[c.cap], u'#');  // nothing written past the buffer
    }
    char16_t untouched = u'#';
    EXPECT_EQ(ini.get(u"s", u"k", &untouched, 0), 0u);
    EXPECT_EQ(untouched, u'#');
}

TEST(IniRead, EveryLineEnd) {
    const auto dir = scratch();
    for (std::u16string eol : {u"\n", u"\r\n", u"\r"}) {
        SCOPED_TRACE(eol.size());
        write_bytes(dir / "f.ini", encode(with_eol(u"[a]\nx=1\n\n[b]\ny=2", eol), Form::Utf8));
        const IniFile ini(u16(dir / "f.ini"));
        EXPECT_EQ(ini.get(u"a", u"x"), u"1");
        EXPECT_EQ(ini.get(u"b", u"y"), u"2");
        EXPECT_EQ(ini.get(u"a", u"y"), u"");
    }
}

// Old editors end a file with the end-of-file character Ctrl-Z: it is blank
// around names and values, as the host's profile functions take it.
TEST(IniRead, EndOfFileCharacterIsBlank) {
    const auto dir = scratch();
    write_bytes(dir / "f.ini",
                "[s]\r\na=1\x1A\r\n\x1A"
                "b\x1A=\x1A"
                "2\r\nlast=3\x1A");
    const IniFile ini(u16(dir / "f.ini"));
    EXPECT_EQ(ini.get(u"s", u"a"), u"1");
    EXPECT_EQ(ini.get(u"s", u"b"), u"2");
    EXPECT_EQ(ini.get(u"s", u"last"), u"3");
}

TEST(IniRead, Encodings) {
    const auto dir = scratch();
    const std::u16string value = u"v\u00e9\u20ac\U0001F600";
    const std::u16string text = u"[s]\r\nk=" + value + u"\r\n";
    struct Case {
        const char *name;
        std::string bytes;
        std::u16string expected;
    };
    const std::string smile = "\xF0\x9F\x98\x80";
    const Case cases[] = {
        {"utf8", "[s]\r\nk=v\xC3\xA9\xE2\x82\xAC" + smile + "\r\n", value},
        {"utf8bom", "\xEF\xBB\xBF[s]\r\nk=v\xC3\xA9\xE2\x82\xAC" + smile + "\r\n", value},
        {"utf16le", encode(text, Form::Utf16Le), value},
        {"utf16be", encode(text, Form::Utf16Be), value},
        {"utf16le odd byte", encode(text, Form::Utf16Le) + "x", value},
        {"latin1", "[s]\r\nk=caf\xE9\r\n", u"caf\u00e9"},
        // Valid UTF-8 and stray bytes on one line: each read on its own terms.
        {"mixed", "[s]\r\nk=\xC3\xA9 \xE9 \xC3\r\n", u"\u00e9 \u00e9 \u00c3"},
        {"overlong", "[s]\r\nk=\xC0\xAF\r\n", u"\u00c0\u00af"},
        {"encoded surrogate", "[s]\r\nk=\xED\xA0\x80\r\n", u"\u00ed\u00a0\u0080"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(dir / "f.ini", c.bytes);
        const IniFile ini(u16(dir / "f.ini"));
        EXPECT_EQ(ini.get(u"S", u"K"), c.expected);
    }
}

// Garbage of every kind parses without harm, and reading never touches the file.
TEST(IniRead, BadInputIsReadSafelyAndLeftAlone) {
    const auto dir = scratch();
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) & 0xFF);
    const std::string cases[] = {
        "",
        "\xEF\xBB\xBF",
        "\xFF\xFE",
        "\xFF\xFE[",
        "\xFE\xFF\x00",
        binary,
        std::string(3'000'000, 'k') + "=" + "\n[s]\nk=v\n",
        "[s]\n" + std::string(2'000'000, ' ') + "k" + std::string(1000, '\t') + "=v\n",
        "[[[[[]]]]\n=\n==\n;\n[\n]\n",
        "\0\0\0[s]\0\nk\0=\0\r"s,
        "\r\r\r\n\n\r",
    };
    for (const auto &bytes : cases) {
        SCOPED_TRACE(bytes.size());
        write_bytes(dir / "f.ini", bytes);
        {
            const IniFile ini(u16(dir / "f.ini"));
            char16_t buf[2];
            ini.get(u"s", u"k", buf, sizeof buf / sizeof buf[0]);
            ini.get(u"", u"");
            ini.get(u"[", u"=");
        }
        EXPECT_EQ(read_bytes(dir / "f.ini"), bytes);
    }
    write_bytes(dir / "long.ini", std::string(3'000'000, 'k') + "=" + "\n[s]\nk=v\n");
    EXPECT_EQ(IniFile(u16(dir / "long.ini")).get(u"s", u"k"), u"v");
}

TEST(IniRead, MissingOrUnreadableFileReadsDefaults) {
    const auto dir = scratch();
    fs::create_directory(dir / "folder.ini");
    const struct {
        fs::path path;
        bool read_failed;  // only what is there and cannot be read
    } cases[] = {{dir / "missing.ini", false}, {dir / "folder.ini", true}, {dir / "no" / "such.ini", false}};
    for (const auto &c : cases) {
        const IniFile ini(u16(c.path));
        EXPECT_EQ(ini.get(u"s", u"k", u"d"), u"d");
        EXPECT_EQ(ini.read_failed(), c.read_failed) << c.path;
    }
    EXPECT_EQ(listing(dir), std::set<std::string>{"folder.ini"});
}

#if defined(_WIN32)
TEST(IniRead, FileHeldWithoutSharingIsAFailedReadNotAnEmptyFile) {
    const auto dir = scratch();
    const fs::path file = dir / "held.ini";
    write_bytes(file, "[s]\r\nk=v\r\n");
    const HANDLE held = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    {
        IniFile ini(u16(file));
        EXPECT_TRUE(ini.read_failed());
        EXPECT_EQ(ini.get(u"s", u"k", u"d"), u"d");
        EXPECT_FALSE(ini.set(u"s", u"k", u"w")) << "a file it could not read is never replaced";
    }
    CloseHandle(held);
    const IniFile ini(u16(file));
    EXPECT_FALSE(ini.read_failed());
    EXPECT_EQ(ini.get(u"s", u"k"), u"v");
    EXPECT_EQ(read_bytes(file), "[s]\r\nk=v\r\n");
}
#endif

}  // namespace
