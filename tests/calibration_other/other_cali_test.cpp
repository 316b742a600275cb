// Calibration of the 5810, 5920 and six-camera controllers through
// ryn_cali_info on the simulated devices: round trips, the INI forms, the
// refused files and the messages of every variant.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "platform/host_fs.h"
#include "frame/definitions.h"
#include "ryn_hid.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "support/capture.h"
#include "support/sim_records.h"
#include "support/tmpdir.h"
#include "text/text.h"

namespace ryn {
namespace {

using test::Capture;
using test::record;
using test::set_record;
using test::trace;
using test::traced;
using Steps = std::vector<std::pair<uint32_t, uint32_t>>;

struct Variant {
    const char *name;
    const char *family;
    uint32_t flags;      // six-camera bits
    const char *prefix;  // of the simulator's record names
    uint32_t dev_id;     // selected first; 0: none
    const char *def_file;
    size_t capacity;
    const char *platform;  // ryn_check_platform's answer as traced
};

const Variant k5810{"5810", "5810", 0, "", 0, "ryn_cali_info_param_def_5810", 1792, "0x5a02"};
const Variant k5920{"5920", "5920", 0, "", 0, "ryn_cali_info_param_def_5920", 2048, "0x5a03"};
const Variant k6cam4320{"6cam_4320", "6cam",  0, "255/", 255, "ryn_cali_info_param_def_6cam_4320",
                        1792,        "0x5a06"};
const Variant k6camDev1{"6cam_5810 dev 1",
                        "6cam",
                        RYN_FLAG_6CAM_DEV1,
                        "1/",
                        1,
                        "ryn_cali_info_param_def_6cam_5810",
                        1792,
                        "0x5a06"};
const Variant k6camDev2{"6cam_5810 dev 2",
                        "6cam",
                        RYN_FLAG_6CAM_DEV2,
                        "2/",
                        2,
                        "ryn_cali_info_param_def_6cam_5810",
                        1792,
                        "0x5a06"};
const Variant k6camBoth{"6cam_5810 both bits",
                        "6cam",
                        RYN_FLAG_6CAM_DEV1 | RYN_FLAG_6CAM_DEV2,
                        "1/",
                        1,
                        "ryn_cali_info_param_def_6cam_5810",
                        1792,
                        "0x5a06"};
const Variant kAll[] = {k5810, k5920, k6cam4320, k6camDev1, k6camDev2, k6camBoth};

void put_u32(std::vector<uint8_t> &r, size_t at, uint32_t v) {
    std::memcpy(r.data() + at, &v, 4);
}

// The calibration records of every controller the variant's device holds.
std::vector<std::vector<uint8_t>> cali_records(const Variant &v) {
    std::vector<std::vector<uint8_t>> out;
    if (std::string(v.family) == "6cam")
        for (const char *name : {"255/cali", "1/cali", "2/cali"}) out.push_back(record(name));
    else
        out.push_back(record("cali"));
    return out;
}

class OtherCaliTest : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = test::scratch_dir(); }
    void TearDown() override { frame::set_definition_dir_for_testing(std::nullopt); }

    void create(const Variant &v) {
        handle_ = ryn_sim_create(v.family, nullptr);
        ASSERT_NE(handle_, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    }

    // Definition files are looked for in the scratch folder from now on.
    void use_definitions(const Variant &v, const std::string &text) {
        frame::set_definition_dir_for_testing((dir_ / "").u16string());
        test::write_file(dir_ / (std::string(v.def_file) + ".ini"), text);
    }

    int32_t run(const Variant &v, uint32_t flags, const std::string &file) {
        path_ = (dir_ / file).u16string();
        cali_info_arg arg;
        ryn_cali_info_init_arg(&arg, ryn_sim_handle(), test::w(path_), flags | v.flags);
        capture_ = {};
        capture_.attach(arg);
        ryn_sim_trace_clear();
        return ryn_cali_info(&arg);
    }
    int32_t get(const Variant &v, const std::string &file = "c.ini") {
        return run(v, RYN_FLAG_GET, file);
    }
    int32_t set(const Variant &v, const std::string &file = "c.ini") {
        return run(v, RYN_FLAG_SET, file);
    }

    std::string file(const std::string &name = "c.ini") { return test::read_file(dir_ / name); }

    // Replaces the line "key=..." of the file (removes it when line is empty).
    void replace_line(const std::string &key, const std::string &line) {
        test::replace_ini_line(dir_ / "c.ini", key, line);
    }
    void append(const std::string &lines) { test::write_file(dir_ / "c.ini", file() + lines); }

    std::filesystem::path dir_;
    std::u16string path_;
    ryn_handle handle_ = RYN_INVALID_HANDLE;
    Capture capture_;
};

// Every number of the table defined, so that every value makes the trip.
std::string full_definitions(size_t capacity) {
    std::string text;
    for (size_t n = 0; n < capacity; ++n)
        text += "param_" + std::to_string(n) + "=v" + std::to_string(n) + "\n";
    return text;
}

TEST_F(OtherCaliTest, GetThenSetLeavesEveryRecordAsItWas) {
    for (const bool full : {false, true}) {
        for (const Variant &v : kAll) {
            SCOPED_TRACE(std::string(v.name) + (full ? ", every number defined" : ", sample file"));
            create(v);
            std::filesystem::remove(dir_ / "c.ini");
            if (full) use_definitions(v, full_definitions(v.capacity));
            const std::vector<std::vector<uint8_t>> before = cali_records(v);
            ASSERT_EQ(get(v), 1);
            EXPECT_TRUE(capture_.messages.empty());
            EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {5, 5}}));
            ASSERT_EQ(set(v), 1);
            EXPECT_TRUE(capture_.messages.empty());
            EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
            EXPECT_TRUE(traced("cali_info_writer"));
            EXPECT_EQ(cali_records(v), before);
            frame::set_definition_dir_for_testing(std::nullopt);
        }
    }
}

// NaNs of every kind go through GET then SET with all their bits: an erased
// slot, a quiet NaN with a payload, a signalling NaN.
TEST_F(OtherCaliTest, EveryFloatKeepsItsBitsThroughGetAndSet) {
    for (const Variant *v : {&k5810, &k6camDev1}) {
        SCOPED_TRACE(v->name);
        create(*v);
        std::filesystem::remove(dir_ / "c.ini");
        use_definitions(*v, "param_0000=erased\nparam_0001=payload\nparam_0002=signalling\n");
        const std::string name = std::string(v->prefix) + "cali";
        std::vector<uint8_t> r = record(name);
        put_u32(r, 1024, 0xFFFFFFFF);
        put_u32(r, 1028, 0x7FC00001);
        put_u32(r, 1032, 0x7F800001);
        set_record(name, r);
        ASSERT_EQ(get(*v), 1);
        EXPECT_NE(file().find("\r\nerased=-nan(0xffffffff)\r\n"), std::string::npos);
        ASSERT_EQ(set(*v), 1);
        EXPECT_EQ(record(name), r);
        frame::set_definition_dir_for_testing(std::nullopt);
    }
}

TEST_F(OtherCaliTest, TheDeviceIdIsSetBeforeAnythingElse) {
    for (const Variant &v : kAll) {
        SCOPED_TRACE(v.name);
        create(v);
        use_definitions(v, "param_0000=first\n");
        ASSERT_EQ(get(v), 1);
        const std::vector<std::string> t = trace();
        ASSERT_GE(t.size(), 3u);
        const std::string h = "h" + std::to_string(handle_ & 0xFFFFFFFF);
        EXPECT_EQ(t[0], "ryn_check_platform(" + h + ") = " + v.platform);
        size_t next = 1;
        if (v.dev_id) {
            EXPECT_EQ(t[next++], "ryn_6cam_set_dev_id(" + std::to_string(v.dev_id) + ") = 1");
        }
        EXPECT_EQ(t[next], "ryn_get_cali_info_fn(" + h + ") = fn");
    }
}

TEST_F(OtherCaliTest, AMissingDefinitionFileStopsAfterTheDeviceId) {
    for (const Variant &v : kAll) {
        SCOPED_TRACE(v.name);
        create(v);
        frame::set_definition_dir_for_testing((dir_ / "").u16string());
        for (const uint32_t flags : {RYN_FLAG_GET, RYN_FLAG_SET}) {
            test::write_file(dir_ / "c.ini", "");
            ASSERT_EQ(run(v, flags, "c.ini"), 0);
            const std::u16string def_path =
                (dir_ / "").u16string() + test::u16(std::string(v.def_file)) + u".ini";
            const std::u16string load_failure =
                std::string(v.family) == "5920"
                    ? u"Fail to load the calibrationinformation definition.\n"
                    : u"Fail to load the calibration information definition.\n";
            EXPECT_EQ(capture_.messages,
                      (std::vector<std::u16string>{u"\nFail to open the file [" + def_path + u"]\n",
                                                   u"No such file or directory\n",
                                                   load_failure}));
            EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}}));
            const std::vector<std::string> t = trace();
            ASSERT_EQ(t.size(), v.dev_id ? 2u : 1u);
            if (v.dev_id) {
                EXPECT_EQ(t[1], "ryn_6cam_set_dev_id(" + std::to_string(v.dev_id) + ") = 1");
            }
        }
    }
}

TEST_F(OtherCaliTest, DumpWritesTheFourSectionsInTheirForms) {
    create(k5810);
    use_definitions(k5810, "param_0000=first\nparam_0005=fifth\nparam_1791=top\n");
    std::vector<uint8_t> r = record("cali");
    put_u32(r, 1024, std::bit_cast<uint32_t>(1.5f));
    put_u32(r, 1024 + 4 * 1791, std::bit_cast<uint32_t>(-0.15625f));
    put_u32(r, 260 + 4 * 3, 0xFFFFFFFF);
    set_record("cali", r);
    ASSERT_EQ(get(k5810), 1);
    const std::string text = file();
    EXPECT_EQ(
        text.rfind("[calibration]\r\nlength=8192\r\nversion=1\r\nfirst=+1.5000000000e+000\r\n", 0),
        0u)
        << text.substr(0, 200);
    for (const char *line :
         {"\r\ntop=-1.5625000000e-001\r\n", "\r\n[firmware parameter]\r\nFW_PARAM_0000=1001\r\n",
          "\r\nFW_PARAM_0003=4294967295\r\n",
          "\r\nFW_PARAM_0190=4294967041\r\n[sensor parameter]\r\n",
          "\r\nSENSOR_PARAM_0003=disable,cam3,4,3,10,193\r\n",
          "\r\nSENSOR_PARAM_0004=enable,cam4,5,4,13,193\r\nSENSOR_PARAM_0005="})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("FW_PARAM_0191"), std::string::npos);
    EXPECT_EQ(text.find("SENSOR_PARAM_0064"), std::string::npos);
    EXPECT_EQ(text.find("system parameter"), std::string::npos);

    create(k5920);
    use_definitions(k5920, "param_0000=first\nparam_2047=top\n");
    ASSERT_EQ(get(k5920, "d.ini"), 1);
    const std::string d = file("d.ini");
    for (const char *line :
         {"[calibration]\r\nlength=8192\r\nversion=1\r\nfirst=5\r\ntop=26616\r\n",
          "\r\nFW_PARAM_1022=37815\r\nFW_PARAM_1023=65535\r\n[system parameter]\r\n"
          "SYSTEM_PARAM_0448=enable,64,192,1,49\r\nSYSTEM_PARAM_0449=disable,65,193,1,49\r\n",
          "\r\nSYSTEM_PARAM_0510=enable,126,254,1,49\r\n"})
        EXPECT_NE(d.find(line), std::string::npos) << line;
    EXPECT_EQ(d.find("SYSTEM_PARAM_0447"), std::string::npos);
    EXPECT_EQ(d.find("SYSTEM_PARAM_0511"), std::string::npos);
    EXPECT_EQ(d.find("sensor parameter"), std::string::npos);
}

TEST_F(OtherCaliTest, SetTakesTheFileOverTheDeviceRecord5810) {
    create(k5810);
    use_definitions(k5810, "param_0000=first\nparam_0001=second\nparam_1791=top\n");
    ASSERT_EQ(get(k5810), 1);
    const std::vector<uint8_t> device = record("cali");
    replace_line("first", "first=+2.5");
    replace_line("top", "");
    replace_line("SENSOR_PARAM_0005", "SENSOR_PARAM_0005=on,cam7,15,255,2,3");
    replace_line("SENSOR_PARAM_0006", "SENSOR_PARAM_0006=enable,cam2,3,4,5,6");
    // Firmware parameter lines count in any section and are read as INI keys:
    // blanks around the name, "=" and the value trimmed, any line end, the
    // first line of a repeated parameter wins.
    replace_line("FW_PARAM_0002", "FW_PARAM_0002=-1");
    replace_line("FW_PARAM_0004", "  FW_PARAM_0004 = 5 ");
    append("FW_PARAM_0002=7\rFW_PARAM_0191=5\rFW_PARAM_0005=4294967295\r");
    ASSERT_EQ(set(k5810), 1);
    EXPECT_EQ(capture_.messages, std::vector<std::u16string>{u"[Warning] Missing top.\n"});

    std::vector<uint8_t> expected = device;
    put_u32(expected, 1024, std::bit_cast<uint32_t>(2.5f));
    put_u32(expected, 260 + 4 * 2, 0xFFFFFFFF);
    put_u32(expected, 260 + 4 * 4, 5);
    put_u32(expected, 4 + 4 * 5, 0x0302FFFE);  // disabled, camera 7, value 15, 255
    put_u32(expected, 4 + 4 * 6, 0x06050435);
    EXPECT_EQ(record("cali"), expected);
}

TEST_F(OtherCaliTest, SetTakesTheFileOverTheDeviceRecord5920) {
    create(k5920);
    use_definitions(k5920, "param_0000=first\nparam_0001=second\nparam_2047=top\n");
    ASSERT_EQ(get(k5920), 1);
    const std::vector<uint8_t> device = record("cali");
    replace_line("first", "first=0x10");
    replace_line("top", "top= 65535");
    replace_line("SYSTEM_PARAM_0450", "SYSTEM_PARAM_0450=enable,127,1,2,3");
    replace_line("SYSTEM_PARAM_0451", "SYSTEM_PARAM_0451=off,3,4,5,6");
    replace_line("FW_PARAM_0003", "FW_PARAM_0003=-1");
    replace_line("FW_PARAM_0191", "FW_PARAM_0191 =5");
    append("FW_PARAM_1024=9\r\nFW_PARAM_0003=9\r\n");
    ASSERT_EQ(set(k5920), 1);
    EXPECT_TRUE(capture_.messages.empty());

    std::vector<uint8_t> expected = device;
    expected[4096] = 16;
    expected[4097] = 0;
    expected[4096 + 2 * 2047] = expected[4096 + 2 * 2047 + 1] = 0xFF;
    expected[2048 + 2 * 3] = expected[2048 + 2 * 3 + 1] = 0xFF;
    expected[2048 + 2 * 191] = 5;
    expected[2048 + 2 * 191 + 1] = 0;
    put_u32(expected, 4 + 4 * 450, 0x030201FE);
    put_u32(expected, 4 + 4 * 451, 0x06050407);
    EXPECT_EQ(record("cali"), expected);

    ASSERT_EQ(get(k5920, "again.ini"), 1);
    EXPECT_NE(file("again.ini").find("\r\nSYSTEM_PARAM_0450=enable,127,1,2,3\r\n"),
              std::string::npos);
    EXPECT_NE(file("again.ini").find("\r\nSYSTEM_PARAM_0451=disable,3,4,5,6\r\n"),
              std::string::npos);
}

TEST_F(OtherCaliTest, RefusedFilesLeaveTheDeviceUnwritten) {
    struct Case {
        const Variant &variant;
        const char *key;
        const char *line;  // empty: the key is removed
        const char16_t *message;
        const char16_t *refusal = nullptr;  // the value reported before the message
    };
    const Case cases[] = {
        {k5810, "SENSOR_PARAM_0063", "", u"Failed to parse sensor param\n"},
        // Values that are no numbers or that their fields would cut.
        {k5810, "SENSOR_PARAM_0005", "SENSOR_PARAM_0005=enable,cam9,1,2,3,4",
         u"Failed to parse sensor param\n",
         u"[Error] Bad value of SENSOR_PARAM_0005: enable,cam9,1,2,3,4.\n"},
        {k6camDev1, "SENSOR_PARAM_0001", "SENSOR_PARAM_0001=disable,cam1,16,2,3,4",
         u"Failed to parse sensor param\n",
         u"[Error] Bad value of SENSOR_PARAM_0001: disable,cam1,16,2,3,4.\n"},
        {k6cam4320, "SENSOR_PARAM_0002", "SENSOR_PARAM_0002=enable,cam1,1,2,3,x",
         u"Failed to parse sensor param\n",
         u"[Error] Bad value of SENSOR_PARAM_0002: enable,cam1,1,2,3,x.\n"},
        {k5920, "SYSTEM_PARAM_0449", "SYSTEM_PARAM_0449=enable,200,1,2,3",
         u"Failed to parse system param\n",
         u"[Error] Bad value of SYSTEM_PARAM_0449: enable,200,1,2,3.\n"},
        {k5920, "SYSTEM_PARAM_0450", "SYSTEM_PARAM_0450=enable,1,1,2,3,9",
         u"Failed to parse system param\n",
         u"[Error] Bad value of SYSTEM_PARAM_0450: enable,1,1,2,3,9.\n"},
        {k6camDev2, "SENSOR_PARAM_0004", "SENSOR_PARAM_0004=enable,cam1,1,2,3,4,5",
         u"Failed to parse sensor param\n",
         u"[Error] Bad value of SENSOR_PARAM_0004: enable,cam1,1,2,3,4,5.\n"},
        {k5810, "FW_PARAM_0002", "FW_PARAM_0002 = 723 x", u"Failed to parse FW param\n",
         u"[Error] Bad value of FW_PARAM_0002: 723 x.\n"},
        {k5810, "FW_PARAM_0003", "FW_PARAM_0003=x", u"Failed to parse FW param\n",
         u"[Error] Bad value of FW_PARAM_0003: x.\n"},
        {k5920, "FW_PARAM_0003", "FW_PARAM_0003=65536", u"Failed to parse FW param\n",
         u"[Error] Bad value of FW_PARAM_0003: 65536.\n"},
        {k5810, "first", "first=abc", u"[Error] Bad value of first: abc.\n"},
        {k5920, "first", "first=70000", u"[Error] Bad value of first: 70000.\n"},
        {k6cam4320, "SENSOR_PARAM_0000", "SENSOR_PARAM_0000=", u"Failed to parse sensor param\n"},
        {k6camDev2, "SENSOR_PARAM_0010", "SENSOR_PARAM_0010=enable,cam1,2,3,4",
         u"Failed to parse sensor param\n"},
        {k6camDev1, "SENSOR_PARAM_0011", "SENSOR_PARAM_0011=enablexxxxxxxxxxx,cam1,2,3,4,5",
         u"Failed to parse sensor param\n"},
        {k5920, "SYSTEM_PARAM_0510", "", u"Failed to parse system param\n"},
        {k5920, "SYSTEM_PARAM_0448", "SYSTEM_PARAM_0448=Disable,1,2,3,4",
         u"Failed to parse system param\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.variant.name) + " " + c.key + " " + c.line);
        create(c.variant);
        use_definitions(c.variant, "param_0000=first\n");
        ASSERT_EQ(get(c.variant), 1);
        const std::vector<uint8_t> device = record(std::string(c.variant.prefix) + "cali");
        replace_line("first", "first=7");
        replace_line(c.key, c.line);
        ASSERT_EQ(set(c.variant), 0);
        std::vector<std::u16string> expected{c.message, u"Failed to parse the input file\n"};
        if (c.refusal) expected.insert(expected.begin(), c.refusal);
        EXPECT_EQ(capture_.messages, expected);
        EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}}));
        EXPECT_FALSE(traced("ryn_set_cali_info_fn"));
        EXPECT_FALSE(traced("cali_info_writer"));
        EXPECT_EQ(record(std::string(c.variant.prefix) + "cali"), device);
    }
}

// The keys by which a GET file says what it holds: each the file has must
// agree with the device's record; a file without them is taken as before.
TEST_F(OtherCaliTest, TheFileMustHoldARecordOfTheDevicesKind) {
    struct Case {
        const Variant &variant;
        std::vector<std::pair<const char *, const char *>> lines;  // key, line ("": removed)
        const char16_t *holds;  // what the refusal says the file holds; null: accepted
    };
    const std::u16string dev_5810 = u"a calibration of a 5810 controller (length 8192, version 1)";
    const Case cases[] = {
        {k5810, {{"controller", ""}, {"length", ""}, {"version", ""}}, nullptr},
        {k5810, {{"length", "length=0x2000"}}, nullptr},
        {k6camDev1, {}, nullptr},
        {k5810, {{"length", "length=100"}},
         u"a calibration of a 5810 controller (length 100, version 1)"},
        {k5810, {{"version", "version=2"}},
         u"a calibration of a 5810 controller (length 8192, version 2)"},
        {k5810, {{"controller", "controller=6cam_5810"}, {"length", ""}, {"version", ""}},
         u"a calibration of a 5810 device of a six-camera system"},
        {k5810, {{"controller", "controller=other"}},
         u"a calibration of controller \"other\" (length 8192, version 1)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.variant.name) + " " +
                     (c.lines.empty() ? "" : c.lines[0].second));
        create(c.variant);
        use_definitions(c.variant, "param_0000=first\n");
        ASSERT_EQ(get(c.variant), 1);
        const std::string name = std::string(c.variant.prefix) + "cali";
        const std::vector<uint8_t> device = record(name);
        for (const auto &[key, line] : c.lines) replace_line(key, line);
        if (!c.holds) {
            EXPECT_EQ(set(c.variant), 1) << text::to_utf8(capture_.text());
            EXPECT_EQ(record(name), device);
            continue;
        }
        ASSERT_EQ(set(c.variant), 0);
        EXPECT_EQ(capture_.messages,
                  (std::vector<std::u16string>{u"[Error] The file [" + path_ + u"] holds " +
                                               c.holds + u", but the device holds " + dev_5810 +
                                               u".\n"}));
        EXPECT_FALSE(traced("cali_info_writer"));
        EXPECT_EQ(record(name), device);
    }

    // The LPC4320 controller and a 5810 device of one six-camera system keep
    // records of one length and version: the controller key tells them apart.
    create(k6cam4320);
    use_definitions(k6cam4320, "param_0000=first\n");
    ASSERT_EQ(get(k6cam4320), 1);
    const std::vector<uint8_t> device = record("1/cali");
    ASSERT_EQ(set(k6camDev1), 0);
    EXPECT_EQ(capture_.messages,
              (std::vector<std::u16string>{
                  u"[Error] The file [" + path_ +
                  u"] holds a calibration of the LPC4320 controller of a six-camera system "
                  u"(length 8192, version 1), but the device holds a calibration of a 5810 "
                  u"device of a six-camera system (length 8192, version 1).\n"}));
    EXPECT_EQ(record("1/cali"), device);
}

// A file that holds both requests' data (written by the GETs of a version that
// let them share one file) has one [firmware parameter] section for both:
// the SET refuses it.
TEST_F(OtherCaliTest, AFileHoldingAModelConfigurationTooIsRefused) {
    create(k5810);
    ASSERT_EQ(get(k5810), 1);
    const std::vector<uint8_t> device = record("cali");
    append("[model configuration]\r\nvid=0x0408\r\n");
    ASSERT_EQ(set(k5810), 0);
    EXPECT_EQ(capture_.messages,
              (std::vector<std::u16string>{
                  u"[Error] The file [" + path_ +
                  u"] holds both a calibration and a model configuration, whose [firmware "
                  u"parameter] sections cannot be told apart.\n"}));
    EXPECT_EQ(record("cali"), device);
}

TEST_F(OtherCaliTest, DeviceFailuresSendTheirMessages) {
    struct Case {
        const Variant &variant;
        uint32_t flags;
        const char *operation;
        std::vector<std::u16string> messages;
        Steps steps;
    };
    const Steps to2{{0, 5}, {1, 5}, {2, 5}}, to4{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}};
    const std::u16string find = u"Fail to find the appropriate function.\n";
    const std::u16string get_failed = u"Failed to get cali info.\n";
    const std::u16string set_failed = u"Fail to set the calibration information.\n";
    const Case cases[] = {
        {k5810, RYN_FLAG_GET, "ryn_get_cali_info_fn", {find, get_failed}, to2},
        {k5920, RYN_FLAG_SET, "ryn_get_cali_info_fn", {find, get_failed}, to2},
        {k6cam4320, RYN_FLAG_GET, "ryn_get_cali_info_fn", {find, get_failed}, to2},
        {k6camDev1,
         RYN_FLAG_GET,
         "ryn_get_cali_info_fn",
         {u"Failed to find the appropriate function.\n", get_failed},
         to2},
        {k6camDev2,
         RYN_FLAG_SET,
         "ryn_get_cali_info_fn",
         {u"Failed to find the appropriate function.\n", get_failed},
         to2},
        {k5920,
         RYN_FLAG_GET,
         "cali_info_reader",
         {u"Fail to get the calibration information.\n", get_failed},
         to2},
        {k6camDev1,
         RYN_FLAG_SET,
         "cali_info_reader",
         {u"Fail to get the calibration information.\n", get_failed},
         to2},
        {k5810, RYN_FLAG_SET, "ryn_set_cali_info_fn", {find, set_failed}, to4},
        {k6camDev1, RYN_FLAG_SET, "ryn_set_cali_info_fn", {find, set_failed}, to4},
        {k5920, RYN_FLAG_SET, "cali_info_writer", {set_failed}, to4},
        {k6cam4320, RYN_FLAG_SET, "cali_info_writer", {set_failed}, to4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.variant.name) + " " + c.operation);
        create(c.variant);
        use_definitions(c.variant, "param_0000=first\n");
        ASSERT_EQ(get(c.variant), 1);
        ASSERT_EQ(ryn_sim_fail(c.operation, 1, 0), 1) << ryn_sim_last_error();
        EXPECT_EQ(run(c.variant, c.flags, "c.ini"), 0);
        EXPECT_EQ(capture_.messages, c.messages);
        EXPECT_EQ(capture_.steps, c.steps);
    }
}

TEST_F(OtherCaliTest, AFileThatCannotBeWrittenFailsTheDump) {
    create(k5810);
    use_definitions(k5810, "param_0000=first\n");
    std::filesystem::create_directory(dir_ / "folder.ini");
    EXPECT_EQ(get(k5810, "folder.ini"), 0);
    EXPECT_EQ(capture_.messages,
              (std::vector<std::u16string>{u"Fail to write the section [calibration] of the file [" +
                                               (dir_ / "folder.ini").u16string() + u"].\n",
                                           u"Is a directory\n", u"Failed to dump cali info.\n"}));
    EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}}));

    // Space that runs out when the file is written at the end names the file.
    platform::host_fs::WriteFaults full;
    full.disk_space = 100;
    platform::host_fs::set_write_faults(full);
    EXPECT_EQ(get(k5810, "full.ini"), 0);
    platform::host_fs::set_write_faults({});
    EXPECT_EQ(capture_.messages,
              (std::vector<std::u16string>{
                  u"Fail to write the file [" + (dir_ / "full.ini").u16string() + u"].\n",
                  u"No space left on device\n", u"Failed to dump cali info.\n"}));
}

}  // namespace
}  // namespace ryn
