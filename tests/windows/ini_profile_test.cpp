// The INI store beside the host's own profile functions. Over a table of
// files, every lookup through the store must give what
// GetPrivateProfileStringW gives, and every write through the store must
// leave the bytes that WritePrivateProfileStringW leaves in the same file.
// Where the store differs on purpose, the table names the reason; a listed
// difference that is no longer there fails too, so the list stays true.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/ini_file.h"
#include "support/tmpdir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using ryn::platform::IniFile;

// ---- Why the store reads or writes otherwise -------------------------------

// Reading.
constexpr const char *kComment =
    "a line whose first character is ';' is a comment, never a key; the profile functions read "
    "it as a key named by the text before '='";
constexpr const char *kQuotedCut =
    "a quoted value loses its quotes and is then cut to the buffer; the profile functions cut "
    "the quoted text and then drop its last character, which loses one character of the value "
    "when the buffer ends just before the closing quote";
constexpr const char *kUtf8 =
    "a file without a byte-order mark is read as UTF-8, so that non-ASCII text written by the "
    "store reads back; the profile functions read it in the ANSI code page";
constexpr const char *kLatin1 =
    "a byte that is not UTF-8 reads as Latin-1 (one character per byte, whatever the host's code "
    "page); the profile functions read it in the ANSI code page (1252 here)";
constexpr const char *kEmptyValue =
    "an empty value reads as the default, as an absent key does; the profile functions give the "
    "empty value (the library always reads with an empty default, where both agree)";
constexpr const char *kDefault =
    "the default comes back as the caller gave it; the profile functions drop its trailing blanks "
    "and outer quotes (the library passes no default)";
constexpr const char *kEmptyKey =
    "a line with nothing before '=' is no key (the store refuses to write an empty key too); the "
    "profile functions read it under the empty key name";
constexpr const char *kBeforeSections =
    "lines before the first section belong to no section; the profile functions read them under "
    "the empty section name, which also makes a later '[]' a repeat that is not read";
constexpr const char *kFirstBracket =
    "a section name ends at the first ']', so that text after the name may hold one; the "
    "profile functions end it at the last ']' (the store refuses ']' in a name it writes)";
constexpr const char *kOpenSection =
    "a section line without ']' ends the section before it, so its keys are never taken for that "
    "section's; the profile functions read them as the earlier section's keys";
constexpr const char *kNul =
    "a NUL is text of the value like any other character; the profile functions end the value "
    "there";

// Writing.
constexpr const char *kKeepsLayout =
    "the store rewrites only the value it changes and adds only the new line; the profile "
    "functions write the whole file anew: without blank lines, without blanks around '=' and "
    "with CRLF line ends";
constexpr const char *kKeepsLineEnds =
    "new lines take the file's own line end; the profile functions write every line with CRLF";
constexpr const char *kNewKeyAfterLastKey =
    "a new key goes right after the last key of its section, so comments and blank lines that "
    "end the section stay after it; the profile functions add it after the comment (a key to "
    "them) and drop the blank lines";
constexpr const char *kWritesUtf8 =
    "new text in a file without a byte-order mark is written as UTF-8, which reads back exactly; "
    "the profile functions write it in the ANSI code page";
constexpr const char *kValueAsGiven =
    "the value is written as given; the profile functions drop its leading blanks (both read "
    "back the same)";
constexpr const char *kTrimsNames =
    "names are trimmed before they are written, as before they are looked up; the profile "
    "functions keep the key's trailing blanks (both read back the same)";
constexpr const char *kRefusesBreakingText =
    "text that would change the file's structure is refused and nothing is written; the profile "
    "functions write it and the file then holds other keys or sections than were written";
constexpr const char *kOpenSectionWrite =
    "a section line without ']' ends the section before it, so a new key of that section goes "
    "before it; the profile functions take the later key for the earlier section's and replace it";

// The differences in how bytes beyond ASCII read hold for a single-byte ANSI
// code page; the table's files assume 1252, Wine's default for most locales.
bool holds_here(const char *reason) {
    const bool code_page = reason == kUtf8 || reason == kLatin1 || reason == kWritesUtf8;
    return !code_page || GetACP() == 1252;
}

// ---- Helpers ---------------------------------------------------------------

const wchar_t *wide(const std::u16string &s) {
    return reinterpret_cast<const wchar_t *>(s.c_str());
}

// The bytes of a file, with control and non-ASCII bytes escaped for a message.
std::string shown(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c >= 0x7F)
            out += std::string("\\x") + digits[c >> 4] + digits[c & 15];
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string shown(const std::u16string &text) {
    std::string out;
    for (const char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[16];
            std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out;
}

// The text of a file in UTF-16 little-endian with its byte-order mark.
std::string utf16le(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (const char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::string utf16be(std::u16string_view text) {
    std::string out = "\xFE\xFF";
    for (const char16_t c : text) {
        out += static_cast<char>(c >> 8);
        out += static_cast<char>(c & 0xFF);
    }
    return out;
}

// A case's name as a test name: its letters and digits, '_' for the rest.
std::string test_name(std::string name) {
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

// A lookup, with the buffer size and default the caller passes.
struct Read {
    std::u16string section, key;
    const char *differs = nullptr;  // why the store reads otherwise, when it does
    size_t cap = 256;
    std::u16string def = u"";
};

// What a lookup gives: the length returned and the text stored.
struct Got {
    size_t length;
    std::u16string text;
    bool operator==(const Got &) const = default;
};

Got store_read(const IniFile &ini, const Read &r) {
    std::u16string buf(r.cap + 1, u'#');
    const size_t n = ini.get(r.section, r.key, buf.data(), r.cap, r.def);
    return {n, buf.substr(0, n)};
}

Got profile_read(const fs::path &file, const Read &r) {
    std::u16string buf(r.cap + 1, u'#');
    const DWORD n = GetPrivateProfileStringW(wide(r.section), wide(r.key), wide(r.def),
                                             reinterpret_cast<wchar_t *>(buf.data()),
                                             static_cast<DWORD>(r.cap), fs::absolute(file).c_str());
    return {n, buf.substr(0, n)};
}

// Forgets what the profile functions hold of file, so that the next call reads it.
void flush_profile(const fs::path &file) {
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, fs::absolute(file).c_str());
}

std::string read_reason(const Read &r) {
    return "[" + shown(r.section) + "] " + shown(r.key) + " cap " + std::to_string(r.cap) +
           " default '" + shown(r.def) + "'";
}

// ---- Reading ---------------------------------------------------------------

struct ReadCase {
    const char *name;
    std::string bytes;
    std::vector<Read> reads;
};

const std::u16string kLong(5000, u'x');
const std::u16string kVeryLong = std::u16string(70000, u'y') + u"end";

const std::vector<ReadCase> &read_cases() {
    static const std::vector<ReadCase> cases = {
        {"comments",
         "; first line\r\n[s]\r\n; note=not a key\r\nk=v ; not a comment\r\n;k=commented\r\n"
         "  ; indented=comment\r\n",
         {{u"s", u"k"},
          {u"s", u"; note", kComment},
          {u"s", u";k", kComment},
          {u"s", u"; indented", kComment},
          {u"s", u"absent"}}},
        {"repeated sections",
         "[s]\r\na=1\r\n[t]\r\nx=1\r\n[S]\r\na=2\r\nb=3\r\n[t]\r\ny=2\r\n",
         {{u"s", u"a"}, {u"s", u"b"}, {u"t", u"x"}, {u"T", u"y"}, {u"S", u"A"}}},
        {"keys that differ only in case",
         "[Sec]\r\nKey=1\r\nKEY=2\r\nkey=3\r\nOther=4\r\n",
         {{u"sec", u"key"}, {u"SEC", u"kEy"}, {u"sEC", u"OTHER"}}},
        {"non-ASCII names",
         utf16le(u"[\u00c9t\u00e9]\r\n\u00c9=1\r\n\u00e9=2\r\n"),
         {{u"\u00c9t\u00e9", u"\u00c9"},
          {u"\u00c9t\u00e9", u"\u00e9"},
          {u"\u00e9t\u00e9", u"\u00c9"}}},
        {"blanks around the equals sign",
         "[s]\r\n  k1  =  v1  \r\n\tk2\t=\tv2\t\r\nk3 =\r\nk4= \" q \" \r\nk5 = a = b \r\n"
         "[ spaced ]\r\nk=1\r\n  [indented]  \r\nk=2\r\n",
         {{u"s", u"k1"},
          {u"s", u"  k1 "},
          {u"s", u"k2"},
          {u"s", u"k3"},
          {u"s", u"k4"},
          {u"s", u"k5"},
          {u" s\t", u"k1"},
          {u"spaced", u"k"},
          {u"indented", u"k"}}},
        {"quoted values",
         "[s]\r\nd=\"dq\"\r\nsq='sq'\r\nm=\"mixed'\r\nl=\"\r\ne=\"\"\r\ni=a \"b\" c\r\n"
         "n=\"\"x\"\"\r\nb=  \" spaced \"  \r\n\"k\"=quoted key\r\n",
         {{u"s", u"d"},
          {u"s", u"sq"},
          {u"s", u"m"},
          {u"s", u"l"},
          {u"s", u"e"},
          {u"s", u"i"},
          {u"s", u"n"},
          {u"s", u"b"},
          {u"s", u"k"},
          {u"s", u"\"k\""},
          {u"s", u"d", kQuotedCut, 3},
          {u"s", u"d", nullptr, 4},
          {u"s", u"e", kEmptyValue, 256, u"D"}}},
        {"absent keys, empty values and defaults",
         "[s]\r\nempty=\r\nblank=   \r\nflag\r\n=no key\r\n",
         {{u"s", u"absent"},
          {u"s", u"absent", nullptr, 256, u"D"},
          {u"absent", u"k", nullptr, 256, u"D"},
          {u"s", u"empty"},
          {u"s", u"empty", kEmptyValue, 256, u"D"},
          {u"s", u"blank", kEmptyValue, 256, u"D"},
          {u"s", u"flag", nullptr, 256, u"D"},
          {u"s", u"", kEmptyKey, 256, u"D"},
          {u"s", u"absent", kDefault, 256, u"D  "},
          {u"s", u"absent", kDefault, 256, u"\"D\""},
          {u"s", u"absent", nullptr, 256, u"  D"},
          {u"s", u"absent", nullptr, 3, u"Default"}}},
        {"small buffers",
         "[s]\r\nk=abcdef\r\nq=\"quoted\"\r\n",
         {{u"s", u"k", nullptr, 1},
          {u"s", u"k", nullptr, 2},
          {u"s", u"k", nullptr, 6},
          {u"s", u"k", nullptr, 7},
          {u"s", u"k", nullptr, 8},
          {u"s", u"q", nullptr, 4},
          {u"s", u"q", kQuotedCut, 7},
          {u"s", u"q", nullptr, 8}}},
        {"no final line end", "[s]\r\na=1\r\nlast=end", {{u"s", u"a"}, {u"s", u"last"}}},
        {"no final line end after blanks", "[s]\r\nlast=end  \t", {{u"s", u"last"}}},
        {"a section as the last line", "[s]\r\na=1\r\n[t]", {{u"s", u"a"}, {u"t", u"a"}}},
        {"LF", "[s]\na=1\n\n[t]\nb=2\n", {{u"s", u"a"}, {u"t", u"b"}, {u"s", u"b"}}},
        {"CRLF", "[s]\r\na=1\r\n\r\n[t]\r\nb=2\r\n", {{u"s", u"a"}, {u"t", u"b"}}},
        {"lone CR", "[s]\ra=1\r\r[t]\rb=2\r", {{u"s", u"a"}, {u"t", u"b"}}},
        {"mixed line ends",
         "[s]\na=1\r\nb=2\rc=3\n\r[t]\nd=4",
         {{u"s", u"a"}, {u"s", u"b"}, {u"s", u"c"}, {u"t", u"d"}}},
        {"UTF-16 LE with BOM",
         utf16le(u"[s]\r\nk=v\u00e9\u20ac\U0001F600\r\nq=\"\u4e2d\"\r\n[\u00e9]\r\nk=2\r\n"),
         {{u"s", u"k"}, {u"s", u"q"}, {u"\u00e9", u"k"}, {u"s", u"k", nullptr, 4}}},
        {"UTF-16 BE with BOM", utf16be(u"[s]\r\nk=v\u00e9\u20ac\r\n"), {{u"s", u"k"}}},
        {"UTF-16 LE with BOM, LF, no final line end",
         utf16le(u"[s]\na=1\nb=end"),
         {{u"s", u"a"}, {u"s", u"b"}}},
        {"UTF-8 with BOM", "\xEF\xBB\xBF[s]\r\nk=caf\xC3\xA9 \xE2\x82\xAC\r\n", {{u"s", u"k"}}},
        {"UTF-8 without BOM",
         "[s]\r\nascii=plain\r\nk=caf\xC3\xA9\r\n",
         {{u"s", u"ascii"}, {u"s", u"k", kUtf8}}},
        {"Latin-1 without BOM",
         "[s]\r\nk=caf\xE9\r\neuro=\x80\r\n",
         {{u"s", u"k"}, {u"s", u"euro", kLatin1}}},
        {"very long values",
         "[s]\r\nlong=" + std::string(kLong.begin(), kLong.end()) +
             "\r\nvery=" + std::string(kVeryLong.begin(), kVeryLong.end()) + "\r\nafter=1\r\n",
         {{u"s", u"long", nullptr, 256},
          {u"s", u"long", nullptr, 4999},
          {u"s", u"long", nullptr, 5000},
          {u"s", u"long", nullptr, 5001},
          {u"s", u"very", nullptr, 70004},
          {u"s", u"after"}}},
        {"section lines",
         "[Other] text after the name\r\nk=1\r\n[a]b]\r\nk=2\r\n[y]\r\nk=3\r\n",
         {{u"other", u"k"},
          {u"a", u"k", kFirstBracket},
          {u"a]b", u"k", kFirstBracket},
          {u"y", u"k"}}},
        {"a section line without closing bracket",
         "[a]\r\nk=1\r\n[x\r\nj=2\r\n[y]\r\nk=3\r\n",
         {{u"a", u"k"}, {u"a", u"j", kOpenSection}, {u"x", u"j"}, {u"[x", u"j"}, {u"y", u"k"}}},
        {"lines before the first section",
         "o=1\r\n[s]\r\nk=2\r\n[]\r\ne=3\r\n",
         {{u"", u"o", kBeforeSections}, {u"s", u"o"}, {u"", u"e", kBeforeSections}}},
        {"end-of-file character",
         "[s]\r\na=1\x1A\r\nb=\x1A"
         "2\r\nlast=3\x1A",
         {{u"s", u"a"}, {u"s", u"b"}, {u"s", u"last"}}},
        {"blanks beyond ASCII",
         utf16le(u"[s]\r\na=\u00a0v\u00a0\r\n\u3000b\u3000=\u3000w\r\n"),
         {{u"s", u"a"}, {u"s", u"b"}, {u"s", u"\u3000b\u3000"}}},
        {"long names",
         "[" + std::string(300, 's') + "]\r\n" + std::string(1000, 'k') + "=v\r\n",
         {{std::u16string(300, u's'), std::u16string(1000, u'k')},
          {std::u16string(300, u'S'), std::u16string(1000, u'K')}}},
        {"NUL in a value", "[s]\r\nk=a\0b\r\nj=1\r\n"s, {{u"s", u"k", kNul}, {u"s", u"j"}}},
    };
    return cases;
}

class ReadAlike : public ::testing::TestWithParam<size_t> {};

TEST_P(ReadAlike, StoreReadsWhatTheProfileFunctionsRead) {
    const ReadCase &c = read_cases()[GetParam()];
    const fs::path file = ryn::test::scratch_dir() / "f.ini";
    ryn::test::write_file(file, c.bytes);
    flush_profile(file);
    const IniFile ini(file.u16string());
    for (const Read &r : c.reads) {
        SCOPED_TRACE(read_reason(r));
        const Got ours = store_read(ini, r);
        const Got theirs = profile_read(file, r);
        if (r.differs && !holds_here(r.differs)) continue;
        if (r.differs) {
            EXPECT_NE(ours, theirs) << "listed as different (" << r.differs << ") but both read '"
                                    << shown(ours.text) << "'";
        } else {
            EXPECT_EQ(ours, theirs)
                << "store: " << ours.length << " '" << shown(ours.text)
                << "'\nprofile: " << theirs.length << " '" << shown(theirs.text) << "'";
        }
    }
    // Reading leaves the file as it was.
    EXPECT_EQ(ryn::test::read_file(file), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Files, ReadAlike, ::testing::Range<size_t>(0, read_cases().size()),
                         [](const auto &info) { return test_name(read_cases()[info.param].name); });

// ---- Writing ---------------------------------------------------------------

struct Set {
    std::u16string section, key, value;
};

struct WriteCase {
    const char *name;
    std::optional<std::string> before;  // none: the file does not exist
    std::vector<Set> sets;
    const char *differs = nullptr;  // why the store leaves other bytes, when it does
};

const std::vector<WriteCase> &write_cases() {
    static const std::vector<WriteCase> cases = {
        {"a new file", std::nullopt, {{u"s", u"k", u"v"}, {u"t", u"k", u"w"}, {u"s", u"j", u"x"}}},
        {"an empty file", "", {{u"s", u"k", u"v"}}},
        {"a value replaced in place",
         "[s]\r\nKey=old\r\nnext=1\r\n[t]\r\nKey=t\r\n",
         {{u"S", u"kEY", u"new"}}},
        {"a value replaced, blanks around '='",
         "[s]\r\n  k  =  old  \r\n",
         {{u"s", u"k", u"new"}},
         kKeepsLayout},
        {"the same value again", "[s]\r\nk = 1\r\n", {{u"s", u"k", u"1"}}},
        {"a quoted value replaced", "[s]\r\na=\"x\"\r\n", {{u"s", u"a", u"y"}}},
        {"a quoted value written", "[s]\r\na=1\r\n", {{u"s", u"a", u"\"q\""}}},
        {"a key added to a section", "[s]\r\na=1\r\n[t]\r\nx=1\r\n", {{u"s", u"b", u"2"}}},
        {"a key added before a section's closing comment",
         "[s]\r\na=1\r\n; end of s\r\n[t]\r\n",
         {{u"s", u"b", u"2"}},
         kNewKeyAfterLastKey},
        {"a key added to a section with blank lines",
         "[s]\r\na=1\r\n\r\n[t]\r\nx=1\r\n",
         {{u"s", u"b", u"2"}},
         kNewKeyAfterLastKey},
        {"comments kept",
         "; head\r\n[s]\r\nk=1\r\n; inside\r\nj=2\r\n[t]\r\nx=1\r\n",
         {{u"s", u"j", u"3"}, {u"t", u"x", u"4"}}},
        {"a section added to a file without a final line end", "[s]\r\na=1", {{u"u", u"b", u"2"}}},
        {"a key added to a last section without a final line end",
         "[s]\r\na=1",
         {{u"s", u"b", u"2"}}},
        {"a key added to an empty section", "[s]\r\n[t]\r\n", {{u"s", u"b", u"2"}}},
        {"repeated sections",
         "[s]\r\na=1\r\n[S]\r\nb=2\r\n",
         {{u"s", u"b", u"3"}, {u"s", u"c", u"4"}}},
        {"a key that differs only in case", "[s]\r\nkey=1\r\nKEY=2\r\n", {{u"s", u"Key", u"3"}}},
        {"lines before the first section", "o=1\r\n[s]\r\n", {{u"s", u"b", u"x"}}},
        {"a section added after a blank line",
         "[s]\r\na=1\r\n\r\n",
         {{u"t", u"b", u"2"}},
         kKeepsLayout},
        {"LF", "[s]\na=1\nb=2\n", {{u"s", u"a", u"9"}, {u"s", u"c", u"3"}}, kKeepsLineEnds},
        {"lone CR", "[s]\ra=1\r", {{u"s", u"b", u"x"}}, kKeepsLineEnds},
        {"UTF-16 LE with BOM",
         utf16le(u"[s]\r\na=1\r\n"),
         {{u"s", u"a", u"\u00e9\u20ac"}, {u"t", u"b", u"\u4e2d"}}},
        {"UTF-16 BE with BOM", utf16be(u"[s]\r\na=1\r\n"), {{u"s", u"a", u"\u00e9\u20ac"}}},
        {"UTF-8 with BOM", "\xEF\xBB\xBF[s]\r\na=1\r\n", {{u"s", u"a", u"\u00e9\u20ac"}}},
        {"ASCII text into a file with Latin-1 bytes", "[s]\r\na=caf\xE9\r\n", {{u"s", u"b", u"x"}}},
        {"non-ASCII text into a file without BOM",
         "[s]\r\na=1\r\n",
         {{u"s", u"a", u"caf\u00e9"}},
         kWritesUtf8},
        {"a very long value", "[s]\r\na=1\r\n", {{u"s", u"a", kLong}, {u"s", u"b", kVeryLong}}},
        {"a value with blanks around it",
         "[s]\r\na=1\r\n",
         {{u"s", u"a", u"  y  "}},
         kValueAsGiven},
        {"names with blanks around them", "[s]\r\n", {{u" s ", u" b ", u"x"}}, kTrimsNames},
        {"a section line without closing bracket",
         "[a]\r\n[b\r\nk=1\r\n",
         {{u"a", u"k", u"2"}},
         kOpenSectionWrite},
        {"a line break in a value",
         "[s]\r\na=1\r\n",
         {{u"s", u"a", u"x\r\nb=2"}},
         kRefusesBreakingText},
        {"an equals sign in a key", "[s]\r\na=1\r\n", {{u"s", u"k=a", u"x"}}, kRefusesBreakingText},
        {"a closing bracket in a section name",
         "[s]\r\na=1\r\n",
         {{u"s]x", u"a", u"x"}},
         kRefusesBreakingText},
    };
    return cases;
}

class WriteAlike : public ::testing::TestWithParam<size_t> {};

TEST_P(WriteAlike, StoreLeavesWhatTheProfileFunctionsLeave) {
    const WriteCase &c = write_cases()[GetParam()];
    const fs::path dir = ryn::test::scratch_dir();
    const fs::path ours = dir / "store.ini", theirs = dir / "profile.ini";
    if (c.before) {
        ryn::test::write_file(ours, *c.before);
        ryn::test::write_file(theirs, *c.before);
    }
    flush_profile(theirs);

    bool ours_ok = true, theirs_ok = true;
    {
        IniFile ini(ours.u16string());
        for (const Set &s : c.sets) ours_ok = ini.set(s.section, s.key, s.value) && ours_ok;
        ours_ok = ini.commit() && ours_ok;
    }
    for (const Set &s : c.sets)
        theirs_ok = WritePrivateProfileStringW(wide(s.section), wide(s.key), wide(s.value),
                                               fs::absolute(theirs).c_str()) &&
                    theirs_ok;
    flush_profile(theirs);

    const std::string our_bytes = ryn::test::read_file(ours);
    const std::string their_bytes = ryn::test::read_file(theirs);
    const bool same = ours_ok == theirs_ok && our_bytes == their_bytes;
    if (c.differs && !holds_here(c.differs)) return;
    if (c.differs) {
        EXPECT_FALSE(same) << "listed as different (" << c.differs << ") but both wrote '"
                           << shown(our_bytes) << "'";
    } else {
        EXPECT_EQ(ours_ok, theirs_ok);
        EXPECT_EQ(our_bytes, their_bytes)
            << "store:   '" << shown(our_bytes) << "'\nprofile: '" << shown(their_bytes) << "'";
    }
    if (!ours_ok) {
        // A refused write leaves the file as it was.
        EXPECT_EQ(our_bytes, c.before.value_or(""));
        return;
    }
    // Whatever the bytes, the store reads back from its file what the profile
    // functions read back from theirs.
    const IniFile reread(ours.u16string());
    for (const Set &s : c.sets) {
        const Read r{s.section, s.key, nullptr, kVeryLong.size() + 1};
        SCOPED_TRACE(read_reason(r));
        EXPECT_EQ(store_read(reread, r), profile_read(theirs, r));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, WriteAlike, ::testing::Range<size_t>(0, write_cases().size()),
                         [](const auto &info) {
                             return test_name(write_cases()[info.param].name);
                         });

}  // namespace
