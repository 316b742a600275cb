// Model-configuration GET and SET of the 5810, 5920 and six-camera
// controllers through ryn_dev_info on the simulated devices: round trips, the
// INI sections, the refused files and the messages of every variant.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "frame/definitions.h"
#include "ryn_hid.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "support/capture.h"
#include "support/sim_records.h"
#include "support/tmpdir.h"

namespace ryn {
namespace {

using test::Capture;
using test::record;
using test::set_record;
using test::trace;
using test::traced;
using Bytes = std::vector<uint8_t>;
using Messages = std::vector<std::u16string>;
using Steps = std::vector<std::pair<uint32_t, uint32_t>>;

struct Variant {
    const char *name;
    const char *family;
    uint32_t flags;      // six-camera bits
    const char *prefix;  // of the simulator's record names
    uint32_t dev_id;     // selected first; 0: none
    const char *def_file;
    size_t capacity;
};

const Variant k5810{"5810", "5810", 0, "", 0, "algo_param_def_5810", 1279};
const Variant k5920{"5920", "5920", 0, "", 0, "algo_param_def_5920", 919};
const Variant k6cam4320{"6cam_4320", "6cam", 0, "255/", 255, "algo_param_def_6cam_4320", 1279};
const Variant k6camDev1{"6cam_5810 dev 1",          "6cam", RYN_FLAG_6CAM_DEV1, "1/", 1,
                        "algo_param_def_6cam_5810", 1279};
const Variant k6camDev2{"6cam_5810 dev 2",          "6cam", RYN_FLAG_6CAM_DEV2, "2/", 2,
                        "algo_param_def_6cam_5810", 1279};
const Variant k6camBoth{
    "6cam_5810 both bits",      "6cam", RYN_FLAG_6CAM_DEV1 | RYN_FLAG_6CAM_DEV2, "1/", 1,
    "algo_param_def_6cam_5810", 1279};
const Variant kAll[] = {k5810, k5920, k6cam4320, k6camDev1, k6camDev2, k6camBoth};

// Offsets of the two record versions used below.
constexpr size_t kFw200 = 212, kAlgo200 = 3072, kSlots200 = 3076;
constexpr size_t kSys300 = 210, kFw300 = 4306, kSlots300 = 6354;

bool is_6cam_5810(const Variant &v) {
    return v.dev_id == 1 || v.dev_id == 2;
}

void put_u32(Bytes &r, size_t at, uint32_t v) {
    std::memcpy(r.data() + at, &v, 4);
}
void put_u16(Bytes &r, size_t at, uint16_t v) {
    std::memcpy(r.data() + at, &v, 2);
}

// Both records of every controller the variant's device holds.
std::vector<Bytes> all_records(const Variant &v) {
    std::vector<Bytes> out;
    const bool six = std::string(v.family) == "6cam";
    for (const char *prefix :
         six ? std::vector<const char *>{"255/", "1/", "2/"} : std::vector<const char *>{""})
        for (const char *name : {"model-cfg", "cali"})
            out.push_back(record(std::string(prefix) + name));
    return out;
}

class OtherModelCfgTest : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = test::scratch_dir(); }
    void TearDown() override { frame::set_definition_dir_for_testing(std::nullopt); }

    void create(const Variant &v, const char *options = nullptr) {
        handle_ = ryn_sim_create(v.family, options);
        ASSERT_NE(handle_, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    }

    // Definition files are looked for in the scratch folder from now on.
    void use_definitions(const Variant &v, const std::string &text) {
        frame::set_definition_dir_for_testing((dir_ / "").u16string());
        test::write_file(dir_ / (std::string(v.def_file) + ".ini"), text);
    }

    int32_t run(const Variant &v, uint32_t flags, const std::string &file = "m.ini") {
        path_ = (dir_ / file).u16string();
        dev_info_arg arg;
        ryn_dev_info_init_arg(&arg, ryn_sim_handle(), test::w(path_),
                              flags | v.flags | RYN_DEV_MODEL_CFG);
        capture_ = {};
        capture_.attach(arg);
        ryn_sim_trace_clear();
        return ryn_dev_info(&arg);
    }
    int32_t get(const Variant &v, const std::string &file = "m.ini") {
        return run(v, RYN_FLAG_GET, file);
    }
    int32_t set(const Variant &v, const std::string &file = "m.ini") {
        return run(v, RYN_FLAG_SET, file);
    }

    std::string file(const std::string &name = "m.ini") { return test::read_file(dir_ / name); }
    bool has_line(const std::string &line, const std::string &name = "m.ini") {
        return file(name).find("\r\n" + line + "\r\n") != std::string::npos;
    }

    // Replaces the line "key=..." of the file (removes it when line is empty).
    void replace_line(const std::string &key, const std::string &line) {
        test::replace_ini_line(dir_ / "m.ini", key, line);
    }
    void append(const std::string &lines) { test::write_file(dir_ / "m.ini", file() + lines); }

    std::filesystem::path dir_;
    std::u16string path_;
    ryn_handle handle_ = RYN_INVALID_HANDLE;
    Capture capture_;
};

TEST_F(OtherModelCfgTest, GetThenSetLeavesEveryRecordAsItWas) {
    for (const Variant &v : kAll) {
        SCOPED_TRACE(v.name);
        create(v);  // the sample definition files beside the tests name every slot
        std::filesystem::remove(dir_ / "m.ini");
        const std::vector<Bytes> before = all_records(v);
        ASSERT_EQ(get(v), 1);
        EXPECT_TRUE(capture_.messages.empty());
        EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {5, 5}}));
        ASSERT_EQ(set(v), 1);
        EXPECT_TRUE(capture_.messages.empty());
        EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
        EXPECT_TRUE(traced("model_cfg_writer"));
        EXPECT_EQ(all_records(v), before);
    }
}

TEST_F(OtherModelCfgTest, TheDeviceIsSelectedBeforeTheDefinitionsAreLoaded) {
    for (const Variant &v : kAll) {
        SCOPED_TRACE(v.name);
        create(v);
        frame::set_definition_dir_for_testing((dir_ / "").u16string());
        std::filesystem::remove(dir_ / (std::string(v.def_file) + ".ini"));
        const std::u16string def_path =
            (dir_ / "").u16string() + test::u16(std::string(v.def_file)) + u".ini";
        for (const uint32_t flags : {RYN_FLAG_GET, RYN_FLAG_SET}) {
            test::write_file(dir_ / "m.ini", "");  // a SET needs the file to exist
            ASSERT_EQ(run(v, flags), 0);
            std::u16string load_failure = u"Fail to load the model configuration definition.\n";
            if (std::string(v.family) == "5920")
                load_failure = u"Fail to load the modelconfiguration definition.\n";
            else if (is_6cam_5810(v))
                load_failure =
                    flags == RYN_FLAG_GET
                        ? u"Failed to load the model configuration definition of qkv5810.\n"
                        : u"Failed to load the model configuration definition.\n";
            EXPECT_EQ(capture_.messages,
                      (Messages{u"Fail to open the file [" + def_path + u"]\n", u"No such file or directory\n",
                                load_failure}));
            EXPECT_EQ(capture_.steps,
                      flags == RYN_FLAG_GET ? (Steps{{0, 5}, {1, 5}}) : (Steps{{0, 5}}));
            const std::vector<std::string> t = trace();
            ASSERT_EQ(t.size(), v.dev_id ? 2u : 1u);  // the platform code, the selection
            if (v.dev_id) {
                EXPECT_EQ(t[1], "ryn_6cam_set_dev_id(" + std::to_string(v.dev_id) + ") = 1");
            }
        }
    }
}

TEST_F(OtherModelCfgTest, GetWritesTheSectionsOfEachVersion) {
    create(k5810);
    use_definitions(k5810, "param_0000=first\nparam_0005=fifth\nparam_1278=top\nparam_1279=over\n");
    Bytes r = record("model-cfg");
    put_u32(r, kSlots200, std::bit_cast<uint32_t>(1.5f));
    put_u32(r, kSlots200 + 4 * 1278, std::bit_cast<uint32_t>(-0.15625f));
    put_u32(r, kFw200 + 4 * 3, 0xFFFFFFFF);
    set_record("model-cfg", r);
    ASSERT_EQ(get(k5810), 1);
    const std::string text = file();
    EXPECT_EQ(
        text.rfind("[model configuration]\r\nlength=8192\r\nmajor_version=0x02\r\n"
                   "minor_version=0x00\r\nvid=0x0408\r\npid=0x5810\r\nbcdDevice=0x0101\r\n"
                   "model_name=SIM-5810\r\nbar_code=BC-5810-0001\r\nmanufacturer=Simulated\r\n"
                   "product_type=OpticalTouchScreen\r\nserial_num=SN58100001\r\n"
                   "controller=5810\r\n[firmware parameter]\r\nFW_PARAM_0000=1\r\n",
                   0),
        0u)
        << text.substr(0, 400);
    for (const char *line :
         {"\r\nFW_PARAM_0003=4294967295\r\n",
          "\r\nFW_PARAM_0714=2147483649\r\n[algorithm parameter]\r\nlength=5120\r\n"
          "major_version=0x01\r\nminor_version=0x01\r\nfirst=+1.5000000000e+000\r\n"
          "fifth=+1.7500000000e+000\r\ntop=-1.5625000000e-001\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    for (const char *absent : {"FW_PARAM_0715", "over=", "system parameter"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;

    create(k5920);
    use_definitions(k5920, "param_0000=first\nparam_0918=top\n");
    r = record("model-cfg");
    put_u32(r, kSys300 + 4 * 5, 0x03020190);  // enabled, 200 cut to 7 bits: 72
    set_record("model-cfg", r);
    ASSERT_EQ(get(k5920, "d.ini"), 1);
    const std::string d = file("d.ini");
    for (const char *line :
         {"[model configuration]\r\nlength=8192\r\nmajor_version=0x03\r\nminor_version=0x00\r\n",
          "\r\nFW_PARAM_1022=3067\r\nFW_PARAM_1023=3070\r\n[algorithm parameter]\r\nfirst=1\r\n"
          "top=4591\r\n[system parameter]\r\nSYS_PARAM_0000=disable,0,0,0,1\r\n"
          "SYS_PARAM_0001=enable,1,1,0,1\r\n",
          "\r\nSYS_PARAM_0005=enable,72,1,2,3\r\n", "\r\nSYS_PARAM_1023=disable,127,255,3,1\r\n"})
        EXPECT_NE(d.find(line), std::string::npos) << line;
    EXPECT_EQ(d.find("length=5120"), std::string::npos);
}

TEST_F(OtherModelCfgTest, AnOldAlgorithmBlockIsReportedAndNotDumped) {
    create(k6cam4320, R"({"algo_version": "0x100"})");
    ryn_6cam_set_dev_id(255);
    Bytes r = record("255/model-cfg");
    put_u16(r, kAlgo200, 3072);
    set_record("255/model-cfg", r);
    ASSERT_EQ(get(k6cam4320), 1);
    EXPECT_EQ(capture_.messages, Messages{u"3072, 00000001, 00000000\n"});
    EXPECT_EQ(file().find("[algorithm parameter]"), std::string::npos);
    EXPECT_NE(file().find("[firmware parameter]"), std::string::npos);

    // The file GET wrote goes back: the block the file has no section for
    // stays as the device has it.
    const Bytes before = record("255/model-cfg");
    ASSERT_EQ(set(k6cam4320), 1) << text::to_utf8(capture_.text());
    EXPECT_EQ(record("255/model-cfg"), before);
}

TEST_F(OtherModelCfgTest, SetOverlaysTheFileOnTheRecord5810) {
    for (const Variant *v : {&k5810, &k6camDev2}) {
        SCOPED_TRACE(v->name);
        create(*v);
        use_definitions(*v, "param_0000=first\nparam_0001=second\nparam_1278=top\n");
        std::filesystem::remove(dir_ / "m.ini");
        ASSERT_EQ(get(*v), 1);
        const std::string name = std::string(v->prefix) + "model-cfg";
        const Bytes device = record(name);
        replace_line("first", "first=+2.5");
        replace_line("top", "");
        replace_line("bcdDevice", "");
        replace_line("vid", "vid=0443");  // octal
        replace_line("model_name", "model_name=ABCDEFGHIJKLMNOPQRST");  // fills the field
        replace_line("bar_code", "bar_code=");
        replace_line("length", "length=");  // a file without it is taken
        // Firmware parameter lines count in any section and are read as INI
        // keys: blanks trimmed, any line end, the first of a repeated one wins.
        replace_line("FW_PARAM_0003", "");
        test::write_file(dir_ / "m.ini", "FW_PARAM_0003=-1\r\n" + file());
        replace_line("FW_PARAM_0004", "\tFW_PARAM_0004 = 5 ");
        append("FW_PARAM_0003=7\rFW_PARAM_0715=5\rFW_PARAM_0005=4294967295\r");
        ASSERT_EQ(set(*v), 1);
        EXPECT_EQ(capture_.messages,
                  (Messages{u"[Warning] Missing bcdDevice.\n", u"[Warning] Missing bar_code.\n",
                            u"[Warning] Missing top.\n"}));

        Bytes expected = device;
        put_u16(expected, 4, 0x0123);
        const std::u16string cut = u"ABCDEFGHIJKLMNOPQRST";
        std::memset(expected.data() + 10, 0, 40);
        std::memcpy(expected.data() + 10, cut.data(), 2 * cut.size());
        std::memset(expected.data() + 50, 0, 40);
        put_u32(expected, kFw200 + 4 * 3, 0xFFFFFFFF);
        put_u32(expected, kFw200 + 4 * 4, 5);
        // The file's parameters over the device's block: undefined slots and
        // the missing one keep the device's values.
        put_u32(expected, kSlots200, std::bit_cast<uint32_t>(2.5f));
        EXPECT_EQ(record(name), expected);
    }
}

TEST_F(OtherModelCfgTest, SetOverlaysTheFileOnTheRecord5920) {
    create(k5920);
    use_definitions(k5920, "param_0000=first\nparam_0001=second\nparam_0918=top\n");
    ASSERT_EQ(get(k5920), 1);
    const Bytes device = record("model-cfg");
    replace_line("first", "first=0x10");
    replace_line("second", "");
    replace_line("top", "top=65535");
    replace_line("SYS_PARAM_0002", "SYS_PARAM_0002=enable,127,1,2,3");
    replace_line("SYS_PARAM_0003", "SYS_PARAM_0003=off,3,4,5,255");
    replace_line("FW_PARAM_0003", "FW_PARAM_0003=-1");
    replace_line("FW_PARAM_0715", "FW_PARAM_0715 = 5");
    append("FW_PARAM_1024=9\r\n");
    ASSERT_EQ(set(k5920), 1);
    EXPECT_EQ(capture_.messages, Messages{u"[Warning] Missing second.\n"});

    Bytes expected = device;
    put_u16(expected, kSlots300, 16);
    put_u16(expected, kSlots300 + 2 * 918, 65535);
    put_u16(expected, kFw300 + 2 * 3, 0xFFFF);
    put_u16(expected, kFw300 + 2 * 715, 5);
    put_u32(expected, kSys300 + 4 * 2, 0x030201FE);
    put_u32(expected, kSys300 + 4 * 3, 0xFF050407);
    EXPECT_EQ(record("model-cfg"), expected);

    ASSERT_EQ(get(k5920, "again.ini"), 1);
    EXPECT_TRUE(has_line("SYS_PARAM_0002=enable,127,1,2,3", "again.ini"));
    EXPECT_TRUE(has_line("SYS_PARAM_0003=disable,3,4,5,255", "again.ini"));
}

TEST_F(OtherModelCfgTest, RefusedFilesLeaveTheDeviceUnwritten) {
    struct Case {
        const Variant &variant;
        const char *key;
        const char *line;         // empty: the key is removed
        std::u16string messages;  // all of them, joined
    };
    const std::u16string path = (dir_ / "m.ini").u16string();
    const Case cases[] = {
        {k5810, "vid", "",
         u"[Warning] Missing vid.\nfile " + path +
             u" can not miss VID.Fail to parse the model conf file.\n"},
        {k6camDev1, "vid", "vid=",
         u"[Warning] Missing vid.\nfile " + path +
             u" can not miss VID.Failed to parse the model conf file.\n"},
        {k5920, "pid", "",
         u"[Warning] Missing pid.\nfile " + path +
             u" can not miss PID.\nFail to parse the model conf file.\n"},
        {k5810, "length", "",
         u"[Error] Missing length in ALGO_PARAM.\nFail to parse the algorithm parameter.\n"},
        {k6camDev2, "minor_version", "",
         u"[Error] Missing minor_version in ALGO_PARAM.\nFailed to parse the algorithm "
         u"parameter.\n"},
        {k5920, "SYS_PARAM_1023", "", u"Fail to parse the system parameter.\n"},
        {k5920, "SYS_PARAM_0000", "SYS_PARAM_0000=Disable,1,2,3,4",
         u"Fail to parse the system parameter.\n"},
        {k5920, "SYS_PARAM_0001", "SYS_PARAM_0001=enable,1,2,3",
         u"Fail to parse the system parameter.\n"},
        // Values that are no numbers or that their fields would cut.
        {k5810, "vid", "vid=zzz", u"[Error] Bad value of vid: zzz.\nFail to parse the model conf file.\n"},
        {k5920, "pid", "pid=0x10000",
         u"[Error] Bad value of pid: 0x10000.\nFail to parse the model conf file.\n"},
        {k6camDev1, "bcdDevice", "bcdDevice=-1",
         u"[Error] Bad value of bcdDevice: -1.\nFailed to parse the model conf file.\n"},
        {k5810, "first", "first=1e39",
         u"[Error] Bad value of first: 1e39.\nFail to parse the algorithm parameter.\n"},
        {k6cam4320, "first", "first=abc",
         u"[Error] Bad value of first: abc.\nFail to parse the algorithm parameter.\n"},
        {k5920, "first", "first=70000",
         u"[Error] Bad value of first: 70000.\nFail to parse the algorithm parameter.\n"},
        {k5810, "FW_PARAM_0007", "FW_PARAM_0007=seven",
         u"[Error] Bad value of FW_PARAM_0007: seven.\nFail to parse the firmware parameter.\n"},
        {k5920, "FW_PARAM_0007", "FW_PARAM_0007=70000",
         u"[Error] Bad value of FW_PARAM_0007: 70000.\nFail to parse the firmware parameter.\n"},
        {k6camDev2, "FW_PARAM_0007", "FW_PARAM_0007=4294967296",
         u"[Error] Bad value of FW_PARAM_0007: 4294967296.\nFailed to parse the firmware "
         u"parameter.\n"},
        {k5920, "SYS_PARAM_0005", "SYS_PARAM_0005=enable,200,1,2,3",
         u"[Error] Bad value of SYS_PARAM_0005: enable,200,1,2,3.\nFail to parse the system "
         u"parameter.\n"},
        {k5920, "SYS_PARAM_0006", "SYS_PARAM_0006=disable,1,2,3,x",
         u"[Error] Bad value of SYS_PARAM_0006: disable,1,2,3,x.\nFail to parse the system "
         u"parameter.\n"},
        {k5920, "SYS_PARAM_0001", "SYS_PARAM_0001=enable,1,1,2,3,9",
         u"[Error] Bad value of SYS_PARAM_0001: enable,1,1,2,3,9.\nFail to parse the system "
         u"parameter.\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.variant.name) + " " + c.key + " " + c.line);
        create(c.variant);
        std::filesystem::remove(dir_ / "m.ini");
        use_definitions(c.variant, "param_0000=first\n");
        ASSERT_EQ(get(c.variant), 1);
        // The algorithm header keys stand after the model configuration's.
        std::string text = file();
        if (std::string(c.key) == "length" || std::string(c.key) == "minor_version") {
            const size_t algo = text.find("[algorithm parameter]");
            const size_t at = text.find(std::string(c.key) + "=", algo);
            text.erase(at, text.find("\r\n", at) + 2 - at);
            test::write_file(dir_ / "m.ini", text);
        } else {
            replace_line(c.key, c.line);
        }
        const std::vector<Bytes> before = all_records(c.variant);
        ASSERT_EQ(set(c.variant), 0);
        EXPECT_EQ(capture_.text(), c.messages);
        EXPECT_FALSE(traced("ryn_set_model_cfg_fn"));
        EXPECT_EQ(all_records(c.variant), before);
    }
}

TEST_F(OtherModelCfgTest, DeviceFailuresSendTheirMessages) {
    struct Case {
        const Variant &variant;
        uint32_t flags;
        const char *operation;  // made to fail; empty: a 0x101 record
        Messages messages;
        Steps steps;
    };
    const std::u16string find = u"Fail to find the appropriate function.\n";
    const std::u16string get_failed = u"Fail to get the model configuration.\n";
    const std::u16string set_failed = u"Fail to set the model configuration.\n";
    const Steps get2{{0, 5}, {1, 5}, {2, 5}}, set1{{0, 5}, {1, 5}},
        set4{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}};
    const Case cases[] = {
        {k5810, RYN_FLAG_GET, "ryn_get_model_cfg_fn", {u"Pell.\n", find, get_failed}, get2},
        {k5920, RYN_FLAG_SET, "ryn_get_model_cfg_fn", {find, get_failed}, set1},
        {k6cam4320, RYN_FLAG_GET, "ryn_get_model_cfg_fn", {find, get_failed}, get2},
        {k6camDev1,
         RYN_FLAG_GET,
         "ryn_get_model_cfg_fn",
         {find, u"Failed to get the model configuration of qkv5810.\n"},
         get2},
        {k6camDev2,
         RYN_FLAG_SET,
         "model_cfg_reader",
         {u"Failed to get the model configuration.\n"},
         set1},
        {k5920, RYN_FLAG_GET, "model_cfg_reader", {get_failed}, get2},
        {k5810, RYN_FLAG_GET, "", {get_failed}, get2},
        {k5810, RYN_FLAG_SET, "ryn_set_model_cfg_fn", {u"Pell2.\n", find, set_failed}, set4},
        {k6cam4320, RYN_FLAG_SET, "ryn_set_model_cfg_fn", {find, set_failed}, set4},
        {k6camDev1,
         RYN_FLAG_SET,
         "ryn_set_model_cfg_fn",
         {find, u"Failed to set the model configuration.\n"},
         set4},
        {k5920, RYN_FLAG_SET, "model_cfg_writer", {set_failed}, set4},
        {k6camDev2,
         RYN_FLAG_SET,
         "model_cfg_writer",
         {u"Failed to set the model configuration.\n"},
         set4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.variant.name) + " " + c.operation);
        create(c.variant);
        use_definitions(c.variant, "param_0000=first\n");
        ASSERT_EQ(get(c.variant), 1);
        if (*c.operation) {
            ASSERT_EQ(ryn_sim_fail(c.operation, 1, 0), 1) << ryn_sim_last_error();
        } else {  // a record that reports a base-controller version
            create(c.variant, R"({"model_version": "0x101"})");
        }
        EXPECT_EQ(run(c.variant, c.flags), 0);
        EXPECT_EQ(capture_.messages, c.messages);
        EXPECT_EQ(capture_.steps, c.steps);
    }
}

TEST_F(OtherModelCfgTest, AFileThatCannotBeWrittenFailsTheDump) {
    std::filesystem::create_directory(dir_ / "folder.ini");
    for (const Variant *v : {&k5920, &k6camDev1}) {
        create(*v);
        use_definitions(*v, "param_0000=first\n");
        EXPECT_EQ(get(*v, "folder.ini"), 0);
        EXPECT_EQ(capture_.messages,
                  (Messages{u"Fail to write the section [model configuration] of the file [" +
                                (dir_ / "folder.ini").u16string() + u"].\n",
                            u"Is a directory\n",
                            is_6cam_5810(*v) ? u"Failed to dump model configuration of qkv5810\n"
                                             : u"Fail to dump model config\n"}));
        EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}}));
    }
}

}  // namespace
}  // namespace ryn
