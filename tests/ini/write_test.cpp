// Writing: where new keys and sections go, what a replaced value keeps, and
// that every other byte of the file stays as it was.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ini_test_util.h"
#include "platform/ini_file.h"

using namespace ini_test;
using ryn::platform::IniFile;

namespace {

// The same edits on the same file in every encoding and line end: the result
// must be the original bytes with exactly the edited lines changed.
TEST(IniWrite, KeepsEveryOtherByteInEachEncodingAndLineEnd) {
    const auto dir = scratch();
    const std::u16string before =
        u"; caf\u00e9 \u20ac header comment\n"
        u"[version string]\n"
        u"Length = 10\n"
        u"bootldr=old\n"
        u"\n"
        u"; trailing comment of the section\n"
        u"[Other]\n"
        u"key=keep\n"
        u"  odd line without equals  \n";
    const std::u16string after =
        u"; caf\u00e9 \u20ac header comment\n"
        u"[version string]\n"
        u"Length = 364\n"
        u"bootldr=old\n"
        u"normal=1.2\u00e9\n"
        u"\n"
        u"; trailing comment of the section\n"
        u"[Other]\n"
        u"key=keep\n"
        u"  odd line without equals  \n"
        u"[new section]\n"
        u"k=v\n";
    for (Form form : {Form::Utf8, Form::Utf8Bom, Form::Utf16Le, Form::Utf16Be}) {
        for (std::u16string eol : {u"\n", u"\r\n"}) {
            SCOPED_TRACE(std::string(form_name(form)) + (eol.size() == 1 ? " LF" : " CRLF"));
            const auto path = dir / "f.ini";
            write_bytes(path, encode(with_eol(before, eol), form));
            IniFile ini(u16(path));
            ASSERT_TRUE(ini.set(u"VERSION STRING", u"LENGTH", u"364"));
            ASSERT_TRUE(ini.set(u"version string", u"normal", u"1.2\u00e9"));
            ASSERT_TRUE(ini.set(u"new section", u"k", u"v"));
            ASSERT_TRUE(ini.set(u"other", u"key", u"keep"));           // same value: no change
            EXPECT_EQ(ini.get(u"version string", u"length"), u"364");  // before commit too
            ASSERT_TRUE(ini.commit());
            EXPECT_EQ(read_bytes(path), encode(with_eol(after, eol), form));
            const IniFile again(u16(path));
            EXPECT_EQ(again.get(u"version string", u"normal"), u"1.2\u00e9");
        }
    }
}

// Byte-exact edits of small files: placement, line ends added or kept, the
// key's spelling and the spacing around '=' kept.
TEST(IniWrite, Placement) {
    const auto dir = scratch();
    struct Edit {
        std::u16string section, key, value;
    };
    struct Case {
        const char *name;
        std::optional<std::string> before;  // none: no file yet
        std::vector<Edit> edits;
        std::string after;
    };
    const Case cases[] = {
        {"new file",
         std::nullopt,
         {{u"s", u"k", u"v"}, {u"s", u"k2", u"v2"}, {u"t", u"x", u"y"}},
         "[s]\r\nk=v\r\nk2=v2\r\n[t]\r\nx=y\r\n"},
        {"replace keeps spelling and spacing",
         "[S]\n  MyKey \t=  old value  \nz=1\n",
         {{u"s", u"mykey", u"new"}},
         "[S]\n  MyKey \t=  new\nz=1\n"},
        {"replace quoted value", "[s]\nk=\"a b\"\n", {{u"s", u"k", u"c"}}, "[s]\nk=c\n"},
        {"replace empty value", "[s]\nk=\n", {{u"s", u"k", u"v"}}, "[s]\nk=v\n"},
        {"replace twice", "[s]\nk=1\n", {{u"s", u"k", u"2"}, {u"s", u"k", u"3"}}, "[s]\nk=3\n"},
        {"new key after the last key, before blank lines and comments",
         "[s]\na=1\n\n;c\n[t]\nb=2\n",
         {{u"s", u"n", u"v"}},
         "[s]\na=1\nn=v\n\n;c\n[t]\nb=2\n"},
        {"new keys keep their order",
         "[s]\na=1\n[t]\n",
         {{u"s", u"x", u"1"}, {u"s", u"y", u"2"}},
         "[s]\na=1\nx=1\ny=2\n[t]\n"},
        {"section without keys",
         "[s]\n; only a comment\n[t]\n",
         {{u"s", u"k", u"v"}},
         "[s]\nk=v\n; only a comment\n[t]\n"},
        {"no final line end: new key", "[s]\nk=v", {{u"s", u"k2", u"w"}}, "[s]\nk=v\nk2=w\n"},
        {"no final line end: new section",
         "[s]\nk=v",
         {{u"t", u"x", u"1"}},
         "[s]\nk=v\n[t]\nx=1\n"},
        {"no final line end: replace", "[s]\nk=v", {{u"s", u"k", u"w"}}, "[s]\nk=w"},
        {"dominant line end",
         "[s]\r\na=1\nb=2\nc=3\r\nd=4\n",
         {{u"t", u"x", u"1"}},
         "[s]\r\na=1\nb=2\nc=3\r\nd=4\n[t]\nx=1\n"},
        {"lone CR file", "[s]\ra=1\r", {{u"s", u"b", u"2"}}, "[s]\ra=1\rb=2\r"},
        // The first occurrence is the section: a key only the repeat holds
        // is new to it, and the repeat stays byte for byte.
        {"repeated section: write the first occurrence only",
         "[a]\nk=1\n[b]\nj=2\n[A]\nk=3\nm=4\n",
         {{u"a", u"m", u"5"}, {u"a", u"n", u"6"}, {u"a", u"k", u"7"}},
         "[a]\nk=7\nm=5\nn=6\n[b]\nj=2\n[A]\nk=3\nm=4\n"},
        {"keys before any section are not the section's",
         "k=1\n[s]\n",
         {{u"s", u"k", u"2"}},
         "k=1\n[s]\nk=2\n"},
        {"line without '=' is not the key", "[s]\nk\n", {{u"s", u"k", u"v"}}, "[s]\nk=v\nk\n"},
        {"unclosed section is not the section",
         "[s\nk=1\n",
         {{u"s", u"k", u"2"}},
         "[s\nk=1\n[s]\nk=2\n"},
        {"names are trimmed", "[s]\n", {{u"  s ", u" k\t", u"v"}}, "[s]\nk=v\n"},
        // Latin-1 bytes stay where they are; new text is UTF-8.
        {"latin-1 file",
         "[s]\r\n; caf\xE9\r\nn\xE4me=1\r\n",
         {{u"s", u"n\u00e4me", u"\u00e9"}, {u"s", u"new", u"\u00e4"}},
         "[s]\r\n; caf\xE9\r\nn\xE4me=\xC3\xA9\r\nnew=\xC3\xA4\r\n"},
        // The odd last byte of a UTF-16 file stays last, so new text stays aligned.
        {"utf-16 with an odd byte",
         encode(u"[s]\r\nk=v\r\n", Form::Utf16Le) + "A",
         {{u"t", u"x", u"1"}},
         encode(u"[s]\r\nk=v\r\n[t]\r\nx=1\r\n", Form::Utf16Le) + "A"},
        {"mark only", "\xFE\xFF", {{u"s", u"k", u"v"}}, encode(u"[s]\r\nk=v\r\n", Form::Utf16Be)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir / "f.ini";
        fs::remove(path);
        if (c.before) write_bytes(path, *c.before);
        IniFile ini(u16(path));
        for (const auto &e : c.edits) ASSERT_TRUE(ini.set(e.section, e.key, e.value));
        ASSERT_TRUE(ini.commit());
        EXPECT_EQ(read_bytes(path), c.after);
        const IniFile again(u16(path));
        const Edit &last = c.edits.back();
        EXPECT_EQ(again.get(last.section, last.key), last.value);
    }
}

// Names and values that would add lines or change what the file means are
// refused, and the file stays as it was.
TEST(IniWrite, RefusesStructureChangingText) {
    const auto dir = scratch();
    const auto path = dir / "f.ini";
    const std::string bytes = "[s]\r\nk=v\r\n";
    write_bytes(path, bytes);
    struct Case {
        std::u16string section, key, value;
    };
    const Case cases[] = {
        {u"s", u"k", u"v\r\n[evil]\r\nx=1"},
        {u"s", u"k", u"v\rw"},
        {u"s", u"k", std::u16string(u"v\0w", 3)},
        {u"s]x", u"k", u"v"},
        {u"s\n", u"k", u"v"},
        {u"s", u"a=b", u"v"},
        {u"s", u"", u"v"},
        {u"s", u"   ", u"v"},
        {u"s", u";k", u"v"},
        {u"s", u"[k", u"v"},
        {u"s", u"k\nj", u"v"},
    };
    IniFile ini(u16(path));
    for (const auto &c : cases) EXPECT_FALSE(ini.set(c.section, c.key, c.value));
    EXPECT_EQ(ini.get(u"s", u"k"), u"v");
    EXPECT_TRUE(ini.commit());
    EXPECT_EQ(read_bytes(path), bytes);
}

// A device's string goes into a file in the form that reads back as the
// same string: quoted when a read would trim its blanks or strip its quotes,
// as written otherwise.
TEST(IniWrite, StoredFormReadsBackExactly) {
    const auto dir = scratch();
    const auto path = dir / "f.ini";
    struct Case {
        std::u16string value, stored;
    };
    const Case cases[] = {
        {u"Simulated", u"Simulated"},
        {u"", u""},
        {u"two words", u"two words"},
        {u"trailing ", u"\"trailing \""},
        {u" leading", u"\" leading\""},
        {u"Simulated\v", u"\"Simulated\v\""},
        {u"\x1A", u"\"\x1A\""},
        {u"'quoted'", u"\"'quoted'\""},
        {u"\"dq\"", u"\"\"dq\"\""},
        {u"\"half", u"\"half"},
        {u"'a\"", u"'a\""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(IniFile::stored_form(c.value), c.stored);
        {
            IniFile ini(u16(path));
            ASSERT_TRUE(ini.set(u"s", u"k", IniFile::stored_form(c.value)));
            ASSERT_TRUE(ini.commit());
        }
        EXPECT_EQ(IniFile(u16(path)).get(u"s", u"k"), c.value);
    }
}

TEST(IniWrite, OneObjectCommitsMoreThanOnce) {
    const auto dir = scratch();
    const auto path = dir / "f.ini";
    IniFile ini(u16(path));
    ASSERT_TRUE(ini.set(u"s", u"a", u"1"));
    ASSERT_TRUE(ini.commit());
    // Reads after a commit see what it wrote.
    EXPECT_TRUE(ini.has_section(u"S"));
    EXPECT_EQ(ini.get(u"s", u"a"), u"1");
    ASSERT_TRUE(ini.set(u"s", u"b", u"2"));
    ASSERT_TRUE(ini.set(u"s", u"a", u"3"));
    ASSERT_TRUE(ini.commit());
    EXPECT_EQ(read_bytes(path), "[s]\r\na=3\r\nb=2\r\n");
    char16_t buf[8];
    EXPECT_EQ(ini.get(u"s", u"b", buf, std::size(buf)), 1u);
    EXPECT_EQ(std::u16string_view(buf), u"2");
    EXPECT_EQ(ini.get(u"s", u"a"), u"3");
}

}  // namespace
