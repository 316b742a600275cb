// The INI comparison: values compared as the library reads them, and the
// differences of two files by section and key.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli.h"
#include "ini_compare.h"
#include "support/scratch_dir.h"
#include "text/utf.h"

namespace {

using ryn::cli::IniKeyDifference;
using Kind = IniKeyDifference::Kind;

TEST(SameValue, ComparesNumbersAsNumbersAndTextExactly) {
    const struct {
        const char16_t *a, *b;
        bool same;
    } cases[] = {
        {u"0x10", u"16", true},
        {u"0X00000010", u"16", true},
        {u"010", u"8", true},  // a leading 0 is octal, as the library reads it
        {u"010", u"10", false},
        {u"-1", u"4294967295", true},
        {u"1", u"+1.0000000000e+000", true},
        {u"0.1", u"+1.0000000149e-001", true},  // one float
        {u"0.1", u"0.2", false},
        {u"+0.0", u"-0.0", false},
        {u"enable,2", u"enable, 0x2", true},
        {u"enable,2", u"disable,2", false},
        {u"enable,2", u"Enable,2", false},
        {u"enable,2", u"enable", false},
        {u"name", u"name ", true},
        {u"Name", u"name", false},
        {u"", u"0", false},
        {u"12abc", u"12", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ryn::cli::same_value(c.a, c.b), c.same)
            << ryn::text::to_utf8(c.a) << " / " << ryn::text::to_utf8(c.b);
}

class CompareFiles : public ::testing::Test {
protected:
    std::string file(const std::string &name, const std::string &text) {
        const std::filesystem::path p = dir_.path() / name;
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }
    ryn::support::ScratchDir dir_{"ini_compare", ryn::support::scratch_root("RYN_TEST_TMP")};
};

// Names ignore case, the first of a repeated key counts, numbers compare by
// value; a section one side lacks brings all its keys.
TEST_F(CompareFiles, ListsChangedAndOneSidedKeysBySection) {
    const std::string device = file("device.ini",
                                    "[calibration]\r\nlength=0x10\r\nversion=3\r\ngain=+1.0000000000e+000\r\n"
                                    "sensor_0=enable,2\r\nonly_device=1\r\n[extra]\r\na=1\r\n");
    const std::string given = file("given.ini",
                                   "[CALIBRATION]\nLength = 16\nversion=\"4\"\nversion=3\ngain=1\n"
                                   "sensor_0=enable,3\nonly_file=x\n[mine]\nb=2\n");
    const ryn::cli::IniComparison c = ryn::cli::compare_ini_files(device, given);
    ASSERT_EQ(c.keys.size(), 6u);
    const struct {
        Kind kind;
        const char *section, *key, *left, *right;
    } expected[] = {
        {Kind::changed, "calibration", "version", "3", "4"},
        {Kind::changed, "calibration", "sensor_0", "enable,2", "enable,3"},
        {Kind::only_left, "calibration", "only_device", "1", ""},
        {Kind::only_right, "calibration", "only_file", "", "x"},
        {Kind::only_left, "extra", "a", "1", ""},
        {Kind::only_right, "mine", "b", "", "2"},
    };
    for (size_t i = 0; i < c.keys.size(); ++i) {
        const IniKeyDifference &d = c.keys[i];
        EXPECT_EQ(d.kind, expected[i].kind) << i;
        EXPECT_EQ(d.section, expected[i].section) << i;
        EXPECT_EQ(d.key, expected[i].key) << i;
        EXPECT_EQ(d.left, expected[i].left) << i;
        EXPECT_EQ(d.right, expected[i].right) << i;
    }
    EXPECT_EQ(c.sections_only_left, std::vector<std::string>{"extra"});
    EXPECT_EQ(c.sections_only_right, std::vector<std::string>{"mine"});

    // Restricted to named sections, and a file against itself is the same.
    const ryn::cli::IniComparison only = ryn::cli::compare_ini_files(device, given, {"Extra"});
    ASSERT_EQ(only.keys.size(), 1u);
    EXPECT_EQ(only.keys[0].key, "a");
    EXPECT_TRUE(ryn::cli::compare_ini_files(device, device).same());
}

TEST_F(CompareFiles, UnreadableFileIsAFailureAndMissingOneIsEmpty) {
    const std::string one = file("one.ini", "[s]\nk=1\n");
    const ryn::cli::IniComparison c = ryn::cli::compare_ini_files(one, (dir_.path() / "none.ini").string());
    EXPECT_EQ(c.of_kind(Kind::only_left).size(), 1u);
    EXPECT_THROW(ryn::cli::compare_ini_files(one, dir_.path().string()), ryn::cli::Failure);
}

}  // namespace
