// Calibration GET and SET of the base controller through ryn_cali_info: round
// trips, the INI form's rules, the dump's keys and the failures that must
// leave the device unwritten.
#include <gtest/gtest.h>

#include "cali_test.h"
#include "platform/ini_file.h"

namespace ryn::test {
namespace {

using platform::IniFile;

// The installed sample definition file names every version-9 field, so a
// version-9 device survives the round trip too. No seam: the file is found
// beside the test executable, as beside any host.
class RoundTrip : public CaliTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(RoundTrip, GetThenSetKeepsTheRecordByteForByte) {
    create(GetParam());
    Bytes before = cali();
    if (GetParam() == 9) {
        put_f32_at(before, 867 + 8 * 3 + 4, 2.7f);  // jig_cam0_pt03_wp
        put_f32_at(before, 1379 + 4, -0.125f);      // jig_cam12_1_cali_pt00_wp
        before[8] = 0x5A;                           // bytes no field names
        before[200] = 0xA5;
    } else {
        before[8] = 0x5A;  // not interpreted in version 10
        before[900] = 0xA5;
        put_f32_at(before, 1024 + 4 * 1700, 3.25f);    // a parameter the file does not name
        put_f32_at(before, 1024 + 4 * 600, 1.0f / 3);  // and one whose float must read back exactly
    }
    put_cali(before);

    const fs::path file = dir_ / "c.ini";
    ASSERT_EQ(get(file), 1) << text_of(capture_.text());
    EXPECT_TRUE(capture_.messages.empty());
    EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {5, 5}}));
    const IniFile ini(file.u16string());
    EXPECT_EQ(ini.get(u"calibration", u"version"), u"10");
    EXPECT_EQ(ini.get(u"calibration", u"length"), u"8192");
    if (GetParam() == 9) {
        EXPECT_EQ(ini.get(u"calibration", u"jig_cam0_pt03_wp"), u"+2.7000000477e+000");
    }

    ASSERT_EQ(set(file), 1) << text_of(capture_.text());
    // The parameters a version-9 record has no field for are not in the file,
    // and the INI form reads every defined name: each one is reported.
    std::vector<std::string> missing;
    if (GetParam() == 9) {
        for (const char *cam : {"cam0", "cam1", "cam2"})
            for (const char *k : {"00", "01", "02", "03"})
                missing.push_back(std::string("[Warning] Missing ") + cam + "_edge_comp_" + k +
                                  ".\n");
        for (const char *k : {"00", "01", "02", "03", "04", "05", "06", "07"})
            missing.push_back(std::string("[Warning] Missing touch_filter_") + k + ".\n");
    }
    EXPECT_EQ(messages(), missing);
    EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    EXPECT_EQ(cali(), before);
    // The sensor is switched off right before the write.
    const size_t n = ryn_sim_trace_size();
    ASSERT_GE(n, 2u);
    EXPECT_STREQ(ryn_sim_trace_op(n - 2), "ryn_set_sensor_ctrl");
    EXPECT_NE(std::string(ryn_sim_trace_text(n - 2)).find(", 0)"), std::string::npos);
    EXPECT_STREQ(ryn_sim_trace_op(n - 1), "cali_info_writer");
}

INSTANTIATE_TEST_SUITE_P(Versions, RoundTrip, ::testing::Values(9u, 10u),
                         [](const auto &info) { return "v" + std::to_string(info.param); });

TEST_F(CaliTest, DumpOfAVersion9DeviceWritesTheNamesTheConversionFound) {
    create(9);
    // cam0_thr twice: written twice under one key, the second write wins.
    definitions(
        "param_0004=cam0_thr\nparam_0009=cam0_thr\nparam_0007=cam1_pos_y\nparam_0100=not_in_v9\n");
    const fs::path file = dir_ / "c.ini";
    test::write_file(file, "[other]\r\nkeep=1\r\n[calibration]\r\nmine=2\r\n");
    ASSERT_EQ(get(file), 1) << text_of(capture_.text());
    const std::string text = read_file(file);
    // Other sections and keys the dump does not write stay; fixed keys in order.
    EXPECT_EQ(text.rfind("[other]\r\nkeep=1\r\n[calibration]\r\nmine=2\r\nlength=8192\r\nversion="
                         "10\r\nnf_cam=2\r\n"
                         "cam0_middle_b_l=100\r\ncam1_middle_b_l=101\r\ncam2_middle_b_l="
                         "102\r\ncam0_middle_b_r=200\r\n",
                         0),
              0u)
        << text;
    for (const char *line :
         {"\r\npost_cali0_11=+1.0000000000e+000\r\npost_cali0_12=+0.0000000000e+000\r\n",
          "\r\npost_cali1_33=+2.0000000000e+000\r\ncam0_bound_l=enable,288\r\n",
          "\r\ncam2_cgh=enable,2\r\nnf_profile=515\r\ncam0_thr=+5.0000000000e-001\r\n"
          "cam1_pos_y=+2.0100000000e+002\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("not_in_v9"), std::string::npos);
    EXPECT_EQ(text.find("cam0_thr=", text.find("cam0_thr=") + 1), std::string::npos);
}

TEST_F(CaliTest, DefinitionFileWithoutEntriesStillDumpsTheFixedKeys) {
    create(10);
    definitions("nothing here\n");
    const fs::path file = dir_ / "c.ini";
    ASSERT_EQ(get(file), 1);
    const std::string text = read_file(file);
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    // section, header, words, matrices, registers, nf_profile, controller
    EXPECT_EQ(lines, 1u + 3 + 18 + 18 + 21 + 1 + 1);
}

TEST_F(CaliTest, IniFormWarnsAboutMissingKeysAndReadsTheEnableWord) {
    create(10);
    definitions("param_0002=p_two\nparam_0005=p_five\n");
    const fs::path file = dir_ / "c.ini";
    ASSERT_EQ(get(file), 1);
    // A file in which nf_cam, cam0_middle_b_l, p_two and most fixed keys are missing.
    const std::string text =
        "[calibration]\r\n"
        "cam0_bound_l=enable,3\r\n"
        "cam1_bound_l=Enable,3\r\n"
        "cam2_bound_l=other,5\r\n"
        "cam0_bound_r=enable\r\n"
        "cam1_middle_b_l=0x20\r\n"
        "cam2_middle_b_l=070\r\n"
        "cam0_exposure_us= 65535 \r\n"
        "p_five=-2.5\r\n";
    test::write_file(file, text);
    const Bytes before = cali();
    ASSERT_EQ(set(file), 1);
    const std::vector<std::string> m = messages();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.front(), "[Warning] Missing nf_cam.\n");
    auto warned = [&](const std::string &key) {
        return std::find(m.begin(), m.end(), "[Warning] Missing " + key + ".\n") != m.end();
    };
    for (const char *key : {"cam0_middle_b_l", "post_cali0_11", "cam1_bound_l", "cam0_bound_r",
                            "cam2_ggh", "nf_profile", "p_two"})
        EXPECT_TRUE(warned(key)) << key;
    for (const char *key : {"cam0_bound_l", "cam2_bound_l", "cam1_middle_b_l", "p_five"})
        EXPECT_FALSE(warned(key)) << key;

    const Bytes after = cali();
    EXPECT_EQ(after[3], before[3]);                      // nf_cam kept
    EXPECT_EQ(u16_at(after, 347), u16_at(before, 347));  // cam0_middle_b_l kept
    EXPECT_EQ(u16_at(after, 349), 0x20u);
    EXPECT_EQ(u16_at(after, 351), 070u);
    EXPECT_EQ(u16_at(after, 347 + 30), 65535u);  // cam0_exposure_us
    EXPECT_EQ(f32_at(after, 1024 + 4 * 5), -2.5f);
    EXPECT_EQ(f32_at(after, 1024 + 4 * 2), f32_at(before, 1024 + 4 * 2));
    // Register entries: camera 0 bound_l enabled with 3; camera 1 (capital E,
    // reported missing) and camera 0 bound_r keep the device's settings;
    // camera 2 bound_l disabled with 5.
    const size_t table = 455;
    auto entry_of = [&](const Bytes &record, size_t i) {
        return Bytes(record.begin() + table + 4 * i, record.begin() + table + 4 * i + 4);
    };
    auto entry = [&](size_t i) { return entry_of(after, i); };
    EXPECT_EQ(entry(0), (Bytes{0x01, 7, 3, 0xFF}));
    EXPECT_EQ(entry(2), entry_of(before, 2));
    EXPECT_EQ(entry(8), entry_of(before, 8));
    EXPECT_EQ(entry(16), (Bytes{0x04, 7, 5, 0xFF}));
    EXPECT_EQ(entry(17), (Bytes{0x04, 8, 0, 0x03}));
}

// Messages given whole reach msg_fn as their own format, not as a shared
// format with the key as its argument.
TEST_F(CaliTest, TheNfCamWarningIsItsOwnFormat) {
    create(10);
    definitions("");
    const fs::path file = dir_ / "c.ini";
    test::write_file(file, "[calibration]\r\nnf_profile=1\r\n");
    static std::vector<std::u16string> formats;
    formats.clear();
    const std::u16string path = file.u16string();
    cali_info_arg arg;
    ryn_cali_info_init_arg(&arg, ryn_sim_handle(), w(path), RYN_FLAG_SET);
    arg.msg_fn = [](void *, const ryn_wchar *format, va_list) { formats.emplace_back(as_u16(format)); };
    ASSERT_EQ(ryn_cali_info(&arg), 1);
    ASSERT_FALSE(formats.empty());
    EXPECT_EQ(formats.front(), u"[Warning] Missing nf_cam.\n");
    EXPECT_EQ(formats.back(), u"[Warning] Missing %s.\n");
}

// Every failure ends the request before the device is written.
struct FailureCase {
    const char *name;
    uint32_t flags;
    const char *operation;  // armed fault, or null
    bool corrupt_version;   // the reader hands back a record of version 0xF6
    bool no_definitions;
    const char *message;
    uint32_t last_step;
};

TEST_F(CaliTest, FailuresLeaveTheDeviceUnwritten) {
    const FailureCase cases[] = {
        {"get, no reader", RYN_FLAG_GET, "ryn_get_cali_info_fn", false, false,
         "Fail to find the appropriate function.\n", 2},
        {"set, no reader", RYN_FLAG_SET, "ryn_get_cali_info_fn", false, false,
         "Fail to find the appropriate function.\n", 2},
        {"set, no writer", RYN_FLAG_SET, "ryn_set_cali_info_fn", false, false,
         "Fail to find the appropriate function.\n", 2},
        {"get, read fails", RYN_FLAG_GET, "cali_info_reader", false, false,
         "Fail to get the calibration information.\n", 2},
        {"set, read fails", RYN_FLAG_SET, "cali_info_reader", false, false,
         "Fail to get the calibration information.\n", 2},
        {"get, bad version", RYN_FLAG_GET, nullptr, true, false,
         "Fail to convert the calibration information.\n", 2},
        {"set, bad version", RYN_FLAG_SET, nullptr, true, false,
         "Fail to convert the calibration information.\n", 2},
        {"set, no definition file", RYN_FLAG_SET, nullptr, false, true,
         "Fail to open the file [%DEF%]\n", 1},
        {"set, write fails", RYN_FLAG_SET, "cali_info_writer", false, false,
         "Fail to set the calibration information.\n", 4},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        create(9);
        const fs::path defdir = dir_ / c.name;
        fs::create_directories(defdir);
        if (!c.no_definitions)
            write_file(defdir / "ryn_cali_info_param_def.ini", "param_0001=cam0_thr\n");
        frame::set_definition_dir_for_testing((defdir / "").u16string());
        const fs::path file = dir_ / "c.ini";
        write_file(file, "[calibration]\r\ncam0_thr=9\r\n");
        if (c.operation) {
            ASSERT_EQ(ryn_sim_fail(c.operation, 1, 0), 1) << ryn_sim_last_error();
        }
        if (c.corrupt_version) {
            ASSERT_EQ(ryn_sim_corrupt("cali_info_reader", 1, 0, 2, 1), 1) << ryn_sim_last_error();
        }
        const Bytes before = cali();
        EXPECT_EQ(request(file, c.flags), 0);
        std::string expected = c.message;
        if (const size_t at = expected.find("%DEF%"); at != std::string::npos)
            expected.replace(at, 5, (defdir / "ryn_cali_info_param_def.ini").string());
        // Only the write's own failure follows the reader's warnings; a
        // definition file that is not there adds the system's reason.
        std::vector<std::string> tail{expected};
        if (c.no_definitions) tail.push_back("No such file or directory\n");
        const std::vector<std::string> sent = messages();
        ASSERT_GE(sent.size(), tail.size());
        EXPECT_EQ(std::vector<std::string>(sent.end() - static_cast<std::ptrdiff_t>(tail.size()), sent.end()),
                  tail);
        if (c.last_step < 4) {
            EXPECT_EQ(sent.size(), tail.size());
        }
        EXPECT_EQ(cali(), before);
        if (c.last_step < 4) {
            EXPECT_FALSE(called("cali_info_writer"));
        }
        EXPECT_EQ(capture_.steps.back(), (std::pair<uint32_t, uint32_t>{c.last_step, 5}));
    }
}

// A file the SET cannot take whole is refused before the device is written:
// a value that is no number or does not fit its field, in either INI form,
// and a file without the section the form reads.
TEST_F(CaliTest, RefusedFilesLeaveTheDeviceUnwritten) {
    const struct {
        uint32_t flags;
        std::string body;
        std::string message;  // the last message
    } cases[] = {
        {0, "[calibration]\r\ncam0_middle_b_l=abc\r\n",
         "[Error] Bad value of cam0_middle_b_l: abc.\n"},
        {0, "[calibration]\r\ncam0_exposure_us=70000\r\n",
         "[Error] Bad value of cam0_exposure_us: 70000.\n"},
        {0, "[calibration]\r\nnf_cam=4\r\n", "[Error] Bad value of nf_cam: 4.\n"},
        {0, "[calibration]\r\nnf_profile=-1\r\n", "[Error] Bad value of nf_profile: -1.\n"},
        {0, "[calibration]\r\npost_cali1_33=1e39\r\n", "[Error] Bad value of post_cali1_33: 1e39.\n"},
        {0, "[calibration]\r\ncam2_bound_r=enable,65536\r\n",
         "[Error] Bad value of cam2_bound_r: enable,65536.\n"},
        {0, "[calibration]\r\ncam0_front_gain=disable,256\r\n",
         "[Error] Bad value of cam0_front_gain: disable,256.\n"},
        {0, "[calibration]\r\ncam0_ggh=enable,4\r\n", "[Error] Bad value of cam0_ggh: enable,4.\n"},
        {0, "[calibration]\r\ncam1_cgh=enable,x\r\n", "[Error] Bad value of cam1_cgh: enable,x.\n"},
        {0, "[calibration]\r\ncam0_thr=zzz\r\n", "[Error] Bad value of cam0_thr: zzz.\n"},
        {RYN_CALI_COMPAT_INI, "[calibration]\r\ncam1_poly1=1 2 3 4 5 x\r\n",
         "[Error] Bad value of cam1_poly1: 1 2 3 4 5 x.\n"},
        {RYN_CALI_COMPAT_INI, "[calibration]\r\njig_cam0_pt01=70000,1,2\r\n",
         "[Error] Bad value of jig_cam0_pt01: 70000,1,2.\n"},
        {RYN_CALI_COMPAT_INI, "[calibration]\r\ncam0_thr=abc\r\n",
         "[Error] Bad value of cam0_thr: abc.\n"},
        {0, "", "[Error] The file [%FILE%] has no section [calibration].\n"},
        {RYN_CALI_COMPAT_INI, "", "[Error] The file [%FILE%] has no section [calibration].\n"},
        {0, "[model configuration]\r\nvid=0x1234\r\npid=0x0001\r\n",
         "[Error] The file [%FILE%] has no section [calibration].\n"},
        // A file of another controller or record, by the keys a GET writes.
        {0, "[calibration]\r\nlength=8192\r\nversion=1\r\ncontroller=5810\r\n",
         "[Error] The file [%FILE%] holds a calibration of a 5810 controller (length 8192, "
         "version 1), but the device holds a calibration of a base controller (length 8192, "
         "version 10).\n"},
        {RYN_CALI_COMPAT_INI, "[calibration]\r\nlength=6144\r\n",
         "[Error] The file [%FILE%] holds a calibration (length 6144), but the device holds a "
         "calibration of a base controller (length 8192, version 10).\n"},
    };
    for (const int version : {9, 10}) {
        create(version);
        definitions("param_0001=cam0_thr\n");
        const Bytes before = cali();
        for (const auto &c : cases) {
            SCOPED_TRACE(c.body);
            const fs::path file = dir_ / "c.ini";
            write_file(file, c.body);
            EXPECT_EQ(request(file, RYN_FLAG_SET | c.flags), 0);
            std::string expected = c.message;
            if (const size_t at = expected.find("%FILE%"); at != std::string::npos)
                expected.replace(at, 6, path8());
            ASSERT_FALSE(messages().empty());
            EXPECT_EQ(messages().back(), expected);
            EXPECT_FALSE(called("cali_info_writer"));
            EXPECT_EQ(cali(), before);
        }
    }
}

// A file without the keys that say what it holds is taken, and so is one
// that says either form of the base record (version 10 of 8192 bytes, version
// 9 of 1555).
TEST_F(CaliTest, IdentityKeysOfTheBaseRecordAreTaken) {
    for (const int version : {9, 10}) {
        create(version);
        definitions("param_0001=cam0_thr\n");
        for (const char *keys : {"", "length=8192\r\nversion=9\r\ncontroller=base\r\n",
                                 "version=10\r\n", "length=1555\r\nversion=9\r\n"}) {
            SCOPED_TRACE(std::to_string(version) + " " + keys);
            const fs::path file = dir_ / "c.ini";
            write_file(file, std::string("[calibration]\r\n") + keys + "nf_cam=1\r\n");
            EXPECT_EQ(set(file), 1) << text_of(capture_.text());
        }
    }
}

TEST_F(CaliTest, DumpThatCannotWriteTheFileFails) {
    create(10);
    definitions("param_0001=a\n");
    const fs::path file = dir_ / "folder.ini";
    fs::create_directories(file);
    EXPECT_EQ(get(file), 0);
    EXPECT_EQ(messages(), (std::vector<std::string>{"Fail to dump calibration to [" + path8() + "].\n",
                                                    "Is a directory\n"}));
}

}  // namespace
}  // namespace ryn::test
