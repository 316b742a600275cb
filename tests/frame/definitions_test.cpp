// Definition files: line rules, capacities, valid flags, lookup and the
// open-failure messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "frame/definitions.h"
#include "support/capture.h"
#include "support/tmpdir.h"

namespace ryn::frame {
namespace {

using test::Capture;

class DefinitionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test::scratch_dir();
        set_definition_dir_for_testing((dir_ / "").u16string());
        capture_.attach(arg_);
    }
    void TearDown() override { set_definition_dir_for_testing(std::nullopt); }

    void write(const std::string &base_name, const std::string &text) {
        test::write_file(dir_ / (base_name + ".ini"), text);
    }

    std::filesystem::path dir_;
    cali_info_arg arg_{};
    Capture capture_;
};

struct LineCase {
    const char *line;
    int number;  // entry that holds the name, -1 when the line defines nothing
    const char16_t *name;
};

TEST_F(DefinitionsTest, LineRules) {
    const std::string name127(127, 'n');
    const std::string name128(128, 'm');
    const LineCase cases[] = {
        {"param_0005=five", 5, u"five"},
        {"param_5=short_number", 5, u"short_number"},            // fewer digits, same entry
        {"param_12345=five_digits", -1, nullptr},                // fifth digit stands where '=' goes
        {"param_1791=last", 1791, u"last"},
        {"param_1792=beyond", -1, nullptr},                      // capacity of the base file
        {"param_0007=cut here", 7, u"cut"},                      // name ends at the blank
        {"param_0008=", -1, nullptr},                            // no name
        {"; param_0009=comment", -1, nullptr},
        {"PARAM_0010=upper", -1, nullptr},
    };
    for (const LineCase &c : cases) {
        SCOPED_TRACE(c.line);
        write("ryn_cali_info_param_def", std::string(c.line) + "\n");
        ASSERT_EQ(load_definitions(DefinitionFile::cali_base, &arg_), 1);
        const DefinitionTable &t = definition_table(DefinitionFile::cali_base);
        int found = -1;
        for (size_t i = 0; i < t.size(); ++i)
            if (t[i].present) found = static_cast<int>(i);
        EXPECT_EQ(found, c.number);
        if (c.number >= 0) {
            EXPECT_EQ(t[c.number].name_view(), c.name);
        }
    }

    write("ryn_cali_info_param_def", "param_0001=" + name127 + "\nparam_0002=" + name128 + "\n");
    ASSERT_EQ(load_definitions(DefinitionFile::cali_base, &arg_), 1);
    const DefinitionTable &t = definition_table(DefinitionFile::cali_base);
    EXPECT_EQ(t[1].name_view().size(), 127u);
    EXPECT_FALSE(t[2].present);
}

TEST_F(DefinitionsTest, LaterLineWinsAndLookupTakesTheFirstIndex) {
    write("algo_param_def_5810", "param_0003=old\nparam_0003=new\nparam_0009=twice\nparam_0004=twice\n");
    ASSERT_EQ(load_definitions(DefinitionFile::algo_5810, &arg_), 1);
    const DefinitionTable &t = definition_table(DefinitionFile::algo_5810);
    EXPECT_EQ(t[3].name_view(), u"new");
    EXPECT_EQ(t.find(u"twice"), 4);
    EXPECT_EQ(t.find(u"old"), -1);
    EXPECT_EQ(t.find(u"missing"), -1);
    // Loading files that mark entries valid at load does so.
    EXPECT_EQ(t[3].valid, 1u);
    EXPECT_EQ(t.size(), 1279u);
}

TEST_F(DefinitionsTest, BaseFilesLeaveValidToTheRecord) {
    write("ryn_cali_info_param_def", "param_0001=a\n");
    write("algo_param_def", "param_0766=b\nparam_0767=c\n");
    ASSERT_EQ(load_definitions(DefinitionFile::cali_base, &arg_), 1);
    ASSERT_EQ(load_definitions(DefinitionFile::algo_base, nullptr), 1);
    EXPECT_EQ(definition_table(DefinitionFile::cali_base)[1].valid, 0u);
    const DefinitionTable &algo = definition_table(DefinitionFile::algo_base);
    EXPECT_TRUE(algo[766].present);
    EXPECT_EQ(algo[766].valid, 0u);
    EXPECT_EQ(algo.find(u"c"), -1);
}

TEST_F(DefinitionsTest, ReloadClearsTheTable) {
    write("ryn_cali_info_param_def_5920", "param_2047=top\n");
    ASSERT_EQ(load_definitions(DefinitionFile::cali_5920, &arg_), 1);
    EXPECT_EQ(definition_table(DefinitionFile::cali_5920).find(u"top"), 2047);
    write("ryn_cali_info_param_def_5920", "");
    ASSERT_EQ(load_definitions(DefinitionFile::cali_5920, &arg_), 1);
    EXPECT_EQ(definition_table(DefinitionFile::cali_5920).find(u"top"), -1);
    EXPECT_TRUE(capture_.messages.empty());
}

TEST_F(DefinitionsTest, ReloadLeavesNothingOfTheLastLoad) {
    // Every entry named at length and marked valid, then a file of two lines.
    std::string full;
    for (int n = 0; n < 1792; ++n)
        full += "param_" + std::to_string(n) + "=" + std::string(127, 'a') + "\n";
    // Entry 100's last name holds a NUL inside its run (the scan keeps it):
    // the units past that NUL must go too.
    full += "param_0100=x" + std::string(1, '\0') + std::string(120, 'c') + "\n";
    write("ryn_cali_info_param_def", full + "param_0003=dup\nparam_0009=dup\n");
    ASSERT_EQ(load_definitions(DefinitionFile::cali_base, &arg_), 1);
    DefinitionTable &t = definition_table(DefinitionFile::cali_base);
    EXPECT_EQ(t.find(u"dup"), 3);
    for (size_t n = 0; n < t.size(); ++n) t.set_valid(n, true);

    write("ryn_cali_info_param_def", "param_0009=dup\nparam_0100=b\n");
    ASSERT_EQ(load_definitions(DefinitionFile::cali_base, &arg_), 1);
    EXPECT_EQ(t.find(u"dup"), 9);
    EXPECT_EQ(t.find(std::u16string(127, u'a')), -1);
    const DefinitionEntry zero{};
    for (size_t n = 0; n < t.size(); ++n) {
        if (n == 9 || n == 100) {
            EXPECT_EQ(t[n].present, 1u);
            EXPECT_EQ(t[n].valid, 0u);  // the base file leaves valid to the record
            EXPECT_EQ(t[n].name_view(), n == 9 ? u"dup" : u"b");
            // The rest of the name field is zero, not what the longer name left.
            EXPECT_EQ(std::count(std::begin(t[n].name), std::end(t[n].name), u'\0'),
                      static_cast<long>(DefinitionEntry::name_capacity - t[n].name_view().size()));
        } else {
            EXPECT_EQ(std::memcmp(&t[n], &zero, sizeof zero), 0) << "entry " << n;
        }
    }
}

// A load of the bytes the table was filled from skips the parse: it must
// still leave what a first load leaves (valid marks as at load, entries marked
// valid without a name cleared), and a file changed in place is read again.
TEST_F(DefinitionsTest, ReloadOfTheSameFileLeavesWhatAFirstLoadLeaves) {
    for (const auto &[file, base_name] :
         {std::pair{DefinitionFile::cali_base, "ryn_cali_info_param_def"},
          std::pair{DefinitionFile::algo_5920, "algo_param_def_5920"}}) {
        SCOPED_TRACE(base_name);
        const std::string text = "param_0002=a\nparam_0007=b\nparam_0009=a\n";
        write(base_name, "param_0005=other\n");  // the table not empty before
        ASSERT_EQ(load_definitions(file, &arg_), 1);
        write(base_name, text);
        ASSERT_EQ(load_definitions(file, &arg_), 1);
        DefinitionTable &t = definition_table(file);
        const std::vector<DefinitionEntry> first(t.entries().begin(), t.entries().end());

        for (size_t n = 0; n < t.size(); n += 3) t.set_valid(n, true);
        t.set_valid(2, false);
        ASSERT_EQ(load_definitions(file, &arg_), 1);
        EXPECT_EQ(std::memcmp(t.entries().data(), first.data(), first.size() * sizeof first[0]), 0);
        EXPECT_EQ(t.find(u"a"), 2);
        EXPECT_EQ(t.find(u"b"), 7);

        write(base_name, "param_0002=c\nparam_0007=b\nparam_0009=a\n");  // same size
        ASSERT_EQ(load_definitions(file, &arg_), 1);
        EXPECT_EQ(t.find(u"a"), 9);
        EXPECT_EQ(t.find(u"c"), 2);
    }
    EXPECT_TRUE(capture_.messages.empty());
}

TEST_F(DefinitionsTest, LongLinesArePiecesOfTheirOwn) {
    // A line of 255 + 20 characters: the second piece is parsed as a line.
    std::string line = "x" + std::string(254, ' ') + "param_0011=piece\n";
    write("ryn_cali_info_param_def", line);
    ASSERT_EQ(load_definitions(DefinitionFile::cali_base, &arg_), 1);
    EXPECT_EQ(definition_table(DefinitionFile::cali_base).find(u"piece"), 11);
}

TEST_F(DefinitionsTest, OpenFailureMessages) {
    const std::u16string dir = (dir_ / "").u16string();
    ASSERT_EQ(load_definitions(DefinitionFile::cali_base, &arg_), 0);
    ASSERT_EQ(load_definitions(DefinitionFile::cali_5810, &arg_), 0);
    ASSERT_EQ(load_definitions(DefinitionFile::algo_5920, &arg_), 0);
    // The algorithm file of the base controller reports through the sink like
    // the others, and nothing reaches the host's console.
    testing::internal::CaptureStdout();
    EXPECT_EQ(load_definitions(DefinitionFile::algo_base, &arg_), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // Each message names the file and is followed by the system's reason.
    const std::u16string reason = u"No such file or directory\n";
    EXPECT_EQ(capture_.messages,
              (std::vector<std::u16string>{
                  u"Fail to open the file [" + dir + u"ryn_cali_info_param_def.ini]\n", reason,
                  u"\nFail to open the file [" + dir + u"ryn_cali_info_param_def_5810.ini]\n", reason,
                  u"Fail to open the file [" + dir + u"algo_param_def_5920.ini]\n", reason,
                  u"\nFail to open the file [" + dir + u"algo_param_def.ini]\n", reason}));
}

}  // namespace
}  // namespace ryn::frame
