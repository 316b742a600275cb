// The definition-line parser against the scanf rule it stands for: every line
// must be accepted or rejected exactly as text::scan with "param_%04u=%s" and
// a 128-character name buffer does, with the same number and name.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "frame/definitions.h"
#include "text/text.h"

namespace ryn::frame {
namespace {

// What scan makes of the line: the number and, when both convert, the whole
// 128-unit name field as an entry holds it (a NUL inside the name counts).
struct Parsed {
    bool ok = false;
    uint32_t number = 0;
    std::u16string name;
    bool operator==(const Parsed &) const = default;
};

Parsed by_scan(std::u16string_view line) {
    Parsed p;
    unsigned number = 0;
    char16_t name[DefinitionEntry::name_capacity] = {};
    if (text::scan(line, u"param_%04u=%s", &number, name, DefinitionEntry::name_capacity) == 2) {
        p = {true, number, std::u16string(name, DefinitionEntry::name_capacity)};
    }
    return p;
}

Parsed by_parser(std::u16string_view line) {
    Parsed p;
    std::u16string_view name;
    if (parse_definition_line(line, p.number, name)) {
        // As the loader stores it: the name, then zeros to the end of the field.
        p.ok = true;
        p.name = name;
        p.name.resize(DefinitionEntry::name_capacity, u'\0');
    } else {
        p.number = 0;
    }
    return p;
}

std::string shown(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\u" + std::to_string(static_cast<unsigned>(c));
        }
    }
    return out;
}

TEST(DefinitionLine, TrickyLinesMatchScan) {
    const std::u16string n127(127, u'n'), n128(128, u'n');
    const std::u16string cases[] = {
        u"param_0001=a",        u"param_1=a",           u"param_0001=a\n",    u"param_00001=a",
        u"param_12345=a",       u"param_=a",            u"param_0001",        u"param_0001=",
        u"param_0001=\n",       u"param_0001= \t a b",  u"param_ 12=a",       u"param_\t\n12=a",
        u"param_  =a",          u"param_-1=a",          u"param_+12=a",       u"param_-0=a",
        u"param_+123=a",        u"param_-999=a",        u"param_+=a",         u"param_-=a",
        u"param_0x1=a",         u"param_1 =a",          u"param_1= a",        u"Param_1=a",
        u" param_1=a",          u"param1=a",            u"param_",            u"param",
        u"",                    u"param_9999=a",        u"param_1792=a",      u"param_1=a\rb",
        u"param_1=a\vb",        u"param_1=\u00e9t\u00e9", u"param_1==a",      u"param_1=a=b",
        std::u16string(u"param_1=a\0b", 11),             u"param_\uff11=a",     u"param_1=\u3000a",
        u"param_1=" + n127,     u"param_1=" + n128,     u"param_1=" + n127 + u" x",
        u"param_0001=" + n127 + u"\n",
    };
    for (const std::u16string &line : cases) {
        SCOPED_TRACE(shown(line));
        EXPECT_EQ(by_parser(line), by_scan(line));
    }
    // A few outcomes spelled out, so that both cannot be wrong the same way.
    const auto field = [](std::u16string name) {
        name.resize(DefinitionEntry::name_capacity, u'\0');
        return name;
    };
    EXPECT_EQ(by_parser(u"param_5=x y"), (Parsed{true, 5, field(u"x")}));
    EXPECT_EQ(by_parser(u"param_-1=x"), (Parsed{true, 0xFFFFFFFFu, field(u"x")}));
    EXPECT_FALSE(by_parser(u"param_00001=x").ok);
    EXPECT_FALSE(by_parser(u"param_1=" + n128).ok);
    EXPECT_EQ(by_parser(u"param_1=" + n127).name, field(n127));
}

// Random lines built from the pieces that matter to the rule: the prefix (or
// a near miss), blanks, signs, digits, '=', name characters, non-ASCII and
// NUL, names near the 128-character limit.
TEST(DefinitionLine, RandomLinesMatchScan) {
    std::mt19937 rng(20261210);
    const std::u16string pieces[] = {
        u"param_", u"param_", u"param_", u"param",  u"Param_", u"p",      u"_",  u"=",
        u"=",      u" ",      u"\t",     u"\n",     u"\r",     u"\v",     u"+",  u"-",
        u"0",      u"1",      u"7",      u"9",      u"12",     u"1791",   u"x",  u"name",
        u"a_b",    u"\u00e9", u"\u3000", u"\uff11", std::u16string(1, u'\0'),
        std::u16string(60, u'n'),         std::u16string(63, u'n'),        std::u16string(64, u'n'),
    };
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1), count(0, 8);
    for (int round = 0; round < 200000; ++round) {
        std::u16string line = round % 2 ? u"param_" : u"";
        for (size_t n = count(rng); n > 0; --n) line += pieces[piece(rng)];
        line = line.substr(0, 255);
        const Parsed expected = by_scan(line);
        const Parsed got = by_parser(line);
        if (got != expected) {
            ADD_FAILURE() << "line \"" << shown(line) << "\"";
            break;
        }
    }
}

}  // namespace
}  // namespace ryn::frame
