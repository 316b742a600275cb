// The two older file forms of a calibration SET: the compact INI form and
// the line-oriented text form.
#include <gtest/gtest.h>

#include "cali_test.h"
#include "support/cali_text.h"

namespace ryn::test {
namespace {

// Parameter numbers of the definition file the form tests use.
const char *const kDefinitions =
    "param_0000=cam0_poly0_coe00\nparam_0001=cam0_poly0_coe01\nparam_0002=cam0_poly0_coe02\n"
    "param_0003=cam0_poly0_coe03\nparam_0004=cam0_poly0_coe04\nparam_0005=cam0_poly0_coe05\n"
    "param_0006=cam2_poly1_coe04\nparam_0007=cam2_poly1_coe05\n"
    "param_0010=cam3_pos_x\nparam_0011=cam3_pos_y\nparam_0012=cam1_thr\nparam_0013=cam2_poly_sel\n"
    "param_0020=jig_cam2_pt13_l\nparam_0021=jig_cam2_pt13_r\nparam_0022=jig_cam2_pt13_wp\n"
    "param_0023=jig_cam01_1_cali_pt10_l\nparam_0024=jig_cam01_1_cali_pt10_r\nparam_0025=jig_cam01_"
    "1_cali_pt10_wp\n"
    "param_0026=jig_cam12_2_cali_pt00_l\nparam_0027=jig_cam12_2_cali_pt00_r\n"
    "param_0028=jig_cam12_2_cali_pt00_wp\n"
    "param_0030=cam1_poly0_coe00\nparam_0031=cam0_pos_x\n";

float param(const Bytes &record, size_t n) {
    return f32_at(record, 1024 + 4 * n);
}

struct CompactCase {
    const char *line;     // key=value in section "calibration"
    const char *warning;  // the key reported missing, or null
    std::vector<std::pair<size_t, float>>
        params;  // parameters set (others keep the device's value)
};

TEST_F(CaliTest, CompactIniForm) {
    const CompactCase cases[] = {
        {"cam0_poly0=1 2 3 4 5 6", nullptr, {{4, 1}, {3, 2}, {2, 3}, {1, 4}, {0, 5}, {5, 6}}},
        {"cam0_poly0=1.5e+000 -2.25e-001 0 0 0 7",
         nullptr,
         {{4, 1.5f}, {3, -0.225f}, {2, 0}, {1, 0}, {0, 0}, {5, 7}}},
        {"cam2_poly1=8 0 0 0 0 9", nullptr, {{6, 8}, {7, 9}}},
        {"cam0_poly0=1 2 3", "cam0_poly0", {}},
        {"cam3_pos_x=-12.5", nullptr, {{10, -12.5f}}},
        {"cam3_pos_y=0x10", nullptr, {{11, 16}}},
        {"cam1_thr=0.75", nullptr, {{12, 0.75f}}},
        {"cam2_poly_sel=3", nullptr, {{13, 3}}},
        {"jig_cam2_pt13=65535, 5,2.7", nullptr, {{20, 65535}, {21, 5}, {22, 2.7f}}},
        {"jig_cam2_pt13=1;2;3", "jig_cam2_pt13", {}},
        {"jig_cam01_1_cali_pt10=7,8,-1.5", nullptr, {{23, 7}, {24, 8}, {25, -1.5f}}},
        {"jig_cam12_2_cali_pt00=9,10,11", nullptr, {{26, 9}, {27, 10}, {28, 11}}},
        {"cam1_poly0_coe00=5", nullptr, {}},  // full names are not keys of this form: not read
    };
    create(10);
    definitions(kDefinitions);
    const Bytes device = cali();
    for (const CompactCase &c : cases) {
        SCOPED_TRACE(c.line);
        put_cali(device);
        const fs::path file = dir_ / "compact.ini";
        write_file(file, std::string("[calibration]\r\n") + c.line + "\r\n");
        ASSERT_EQ(set(file, RYN_CALI_COMPAT_INI), 1);
        const std::vector<std::string> m = messages();
        // Every compact key but the one given is missing (and reported).
        const std::string key = std::string(c.line).substr(0, std::string(c.line).find('='));
        const bool given_reported =
            std::find(m.begin(), m.end(), "[Warning] Missing " + key + ".\n") != m.end();
        EXPECT_EQ(given_reported, c.warning != nullptr);
        EXPECT_NE(std::find(m.begin(), m.end(), "[Warning] Missing jig_cam1_pt05.\n"), m.end());
        const Bytes after = cali();
        for (size_t n = 0; n < 40; ++n) {
            float expected = param(device, n);
            for (const auto &[number, value] : c.params)
                if (number == n) expected = value;
            EXPECT_EQ(param(after, n), expected) << "parameter " << n;
        }
    }
}

TEST_F(CaliTest, TextFormStoresItsGroupsInBothPlaces) {
    create(10);
    definitions(kDefinitions);
    const Bytes before = cali();
    const fs::path file = dir_ / "cali.txt";
    write_file(file, utf16le(text_file()));
    ASSERT_EQ(set(file, RYN_CALI_COMPAT_TEXT), 1) << text_of(capture_.text());
    EXPECT_TRUE(capture_.messages.empty());
    const Bytes after = cali();
    // Camera 0 polynomial 0: coefficients 04 to 00 by name; 05 untouched.
    EXPECT_EQ(param(after, 4), 1.0f);
    EXPECT_EQ(param(after, 3), 2.5f);
    EXPECT_EQ(param(after, 2), -3.0f);
    EXPECT_EQ(param(after, 1), 40.0f);
    EXPECT_EQ(param(after, 0), 0.125f);
    EXPECT_EQ(param(after, 5), param(before, 5));
    EXPECT_EQ(param(after, 6), 6.0f);  // camera 2 polynomial 1, coefficient 04
    EXPECT_EQ(param(after, 10), 13.0f);
    EXPECT_EQ(param(after, 11), -23.0f);
    EXPECT_EQ(param(after, 12), 1.75f);
    EXPECT_EQ(param(after, 13), 2.0f);
    // The version-9 places travel in the record as well; coefficient 05's place is 0.
    EXPECT_EQ(f32_at(after, 12 + 24 * 5), 6.0f);
    EXPECT_EQ(f32_at(after, 12 + 24 * 5 + 20), 0.0f);
    EXPECT_EQ(f32_at(after, 300 + 8 * 3 + 4), -23.0f);
    EXPECT_EQ(after[344 + 2], 2);
    // Camera words middle_b_l to light_avg; exposure_us kept.
    EXPECT_EQ(u16_at(after, 347), 1000u);
    EXPECT_EQ(u16_at(after, 347 + 28), 1014u);
    EXPECT_EQ(u16_at(after, 347 + 30), u16_at(before, 347 + 30));
    // Registers: bound_l enabled; bound_r disabled; global gain.
    EXPECT_EQ((Bytes{after[455], after[456], after[457], after[458]}),
              (Bytes{0x01, 7, 0x55, 0xFF}));
    EXPECT_EQ((Bytes{after[459], after[460], after[461], after[462]}),
              (Bytes{0x01, 8, 0x01, 0x03}));
    EXPECT_EQ((Bytes{after[463], after[464], after[465], after[466]}), (Bytes{0x00, 9, 7, 0xFF}));
    EXPECT_EQ((Bytes{after[455 + 32 + 20], after[455 + 32 + 22]}),
              (Bytes{0x23, 18}));            // camera 1 global gain
    // Front gain not given: the device's setting.
    EXPECT_EQ((Bytes{after[455 + 32 + 16], after[455 + 32 + 18]}),
              (Bytes{before[455 + 32 + 16], before[455 + 32 + 18]}));
}

TEST_F(CaliTest, TextFormOnAVersion9DeviceGoesThroughTheParameters) {
    create(9);
    definitions(kDefinitions);
    const Bytes before = cali();
    const fs::path file = dir_ / "cali.txt";
    write_file(file, utf16le(text_file()));
    ASSERT_EQ(set(file, RYN_CALI_COMPAT_TEXT), 1) << text_of(capture_.text());
    const Bytes after = cali();
    ASSERT_EQ(after.size(), 1555u);
    // The version-9 fields come back from the parameters: coefficient 04 from
    // the file, 05 as the device had it (the text form leaves it), and a
    // field the definition file does not name as the device had it.
    EXPECT_EQ(f32_at(after, 12), 1.0f);
    EXPECT_EQ(f32_at(after, 12 + 20), f32_at(before, 12 + 20));
    EXPECT_EQ(f32_at(after, 300 + 8 * 3), 13.0f);               // cam3_pos_x
    EXPECT_EQ(f32_at(after, 332), f32_at(before, 332));         // cam0_thr is not named
    EXPECT_EQ(f32_at(after, 12 + 24), f32_at(before, 12 + 24));  // nor is camera 0 polynomial 1
}

TEST_F(CaliTest, TextFormFailuresAndShortFiles) {
    create(10);
    definitions(kDefinitions);
    const Bytes before = cali();
    const fs::path file = dir_ / "cali.txt";
    struct Case {
        const char *name;
        std::string bytes;
        int32_t result;
        std::vector<std::string> messages;
    };
    auto refused = [](const char *value, unsigned line) {
        return std::vector<std::string>{
            "[Error] Bad value of line " + std::to_string(line) + ": " + value + ".\n",
            "Fail to parse the file at line " + std::to_string(line) + ".\n"};
    };
    const Case cases[] = {
        {"position without parentheses", utf16le(text_file({{10, "11,-21"}})), 0,
         {"Fail to parse the file at line 10.\n"}},
        {"bad coefficient line", utf16le(text_file({{3, "1 2 3 4"}})), 0,
         {"Fail to parse the file at line 3.\n"}},
        {"bad register line", utf16le(text_file({{161, "1"}})), 0,
         {"Fail to parse the file at line 161.\n"}},
        // Numbers that are no numbers, or that their fields would cut.
        {"letters for a coefficient", utf16le(text_file({{4, "1 2 x 4 5"}})), 0,
         refused("1 2 x 4 5", 4)},
        {"position too large for a float", utf16le(text_file({{11, "(1e39,2)"}})), 0,
         refused("(1e39,2)", 11)},
        {"selection above 8 bits", utf16le(text_file({{17, "256"}})), 0, refused("256", 17)},
        {"camera word above 16 bits", utf16le(text_file({{20, "65536"}})), 0,
         refused("65536", 20)},
        {"enable other than 0 or 1", utf16le(text_file({{124, "3 5"}})), 0, refused("3 5", 124)},
        {"bound above 16 bits", utf16le(text_file({{127, "1 65536"}})), 0,
         refused("1 65536", 127)},
        {"gain above 8 bits", utf16le(text_file({{160, "1 256"}})), 0, refused("1 256", 160)},
        // A file with no line of any group is no calibration text.
        {"no data line", utf16le("# only a comment\nx\ny\nz\n"), 0,
         {"[Error] The file [" + file.string() + "] holds no calibration data.\n"}},
        {"ignored lines may hold anything",
         utf16le(text_file({{0, ""}, {34, "junk"}, {162, "junk"}}, 170)), 1, {}},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + text_file(), 1, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        put_cali(before);
        write_file(file, c.bytes);
        EXPECT_EQ(set(file, RYN_CALI_COMPAT_TEXT), c.result);
        if (!c.messages.empty()) {
            EXPECT_EQ(messages(), c.messages);
            EXPECT_FALSE(called("cali_info_writer"));
            EXPECT_EQ(cali(), before);
        } else {
            EXPECT_TRUE(capture_.messages.empty()) << text_of(capture_.text());
        }
    }

    // A file of 100 data lines reaches no register line: the register table
    // stays as the device holds it; the groups it reached are stored.
    put_cali(before);
    write_file(file, utf16le(text_file({}, 100)));
    ASSERT_EQ(set(file, RYN_CALI_COMPAT_TEXT), 1);
    const Bytes after = cali();
    EXPECT_EQ(param(after, 10), 13.0f);
    EXPECT_EQ(Bytes(after.begin() + 455, after.begin() + 455 + 288),
              Bytes(before.begin() + 455, before.begin() + 455 + 288));
}

// Settings the file leaves out keep the device's values, register pairs
// included: a file with one key changes exactly that field, on both record
// versions (version 9 goes through the back-conversion).
TEST_F(CaliTest, AFileWithOneKeyChangesExactlyThatField) {
    for (const unsigned version : {10u, 9u}) {
        SCOPED_TRACE(version);
        create(version);
        definitions(kDefinitions);
        const fs::path file = dir_ / "c.ini";
        write_file(file, "[calibration]\r\ncam0_exposure_us=650\r\n");
        Bytes expected = cali();
        ASSERT_EQ(set(file, 0), 1);
        expected[377] = 650 & 0xFF;
        expected[378] = 650 >> 8;
        EXPECT_EQ(cali(), expected);
    }
}

// A value the device would not hold as the file wrote it is refused, naming
// the key and the value, and nothing is written: register values beyond
// their register's bits, a ggh and cgh of one camera whose enables differ
// (they share one entry), and version-9 integer fields given a number they
// cannot hold.
TEST_F(CaliTest, AValueThatCannotArriveAsWrittenIsRefused) {
    struct Case {
        unsigned version;
        const char *lines;
        const char *refusal;
    };
    const Case cases[] = {
        {10, "cam0_bound_l=enable,2000", "cam0_bound_l: enable,2000"},
        {10, "cam1_bound_r=disable,1024", "cam1_bound_r: disable,1024"},
        {10, "cam0_front_gain=enable,16", "cam0_front_gain: enable,16"},
        {10, "cam0_global_gain=enable,200", "cam0_global_gain: enable,200"},
        {10, "cam2_color_gain=enable,32", "cam2_color_gain: enable,32"},
        {10, "cam0_ggh=enable,1\r\ncam0_cgh=disable,1", "cam0_cgh: disable,1"},
        {10, "cam0_bound_l=enable,3,9", "cam0_bound_l: enable,3,9"},
        {9, "jig_cam2_pt13_l=70000", "jig_cam2_pt13_l: 70000"},
        {9, "jig_cam2_pt13_r=2.5", "jig_cam2_pt13_r: 2.5"},
        {9, "cam2_poly_sel=300", "cam2_poly_sel: 300"},
        {9, "cam2_poly_sel=-1", "cam2_poly_sel: -1"},
        {9, "cam2_poly_sel=nan", "cam2_poly_sel: nan"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lines);
        create(c.version);
        definitions(kDefinitions);
        const fs::path file = dir_ / "c.ini";
        write_file(file, std::string("[calibration]\r\n") + c.lines + "\r\n");
        const Bytes before = cali();
        EXPECT_EQ(set(file, 0), 0);
        const std::vector<std::string> m = messages();
        EXPECT_NE(std::find(m.begin(), m.end(), std::string("[Error] Bad value of ") + c.refusal + ".\n"),
                  m.end());
        EXPECT_FALSE(called("cali_info_writer"));
        EXPECT_EQ(cali(), before);
    }
    // The widest values the registers hold still arrive.
    create(10);
    definitions(kDefinitions);
    const fs::path file = dir_ / "c.ini";
    write_file(file,
               "[calibration]\r\ncam0_bound_l=enable,1023\r\ncam0_front_gain=enable,15\r\n"
               "cam0_global_gain=enable,31\r\ncam0_ggh=enable,3\r\ncam0_cgh=enable,3\r\n");
    ASSERT_EQ(set(file, 0), 1);
    write_file(dir_ / "g.ini", "");
    ASSERT_EQ(request(dir_ / "g.ini", RYN_FLAG_GET), 1);
    const std::string g = read_file(dir_ / "g.ini");
    for (const char *line : {"cam0_bound_l=enable,1023", "cam0_front_gain=enable,15",
                             "cam0_global_gain=enable,31", "cam0_ggh=enable,3", "cam0_cgh=enable,3"})
        EXPECT_NE(g.find(line), std::string::npos) << line;
}

}  // namespace
}  // namespace ryn::test
