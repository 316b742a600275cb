// Model-configuration GET and SET of the base controller through ryn_dev_info,
// on the simulated device: the record in each device version, the three INI
// sections, the missing-key rules, the version queries and the failures.
#include <gtest/gtest.h>

#include <algorithm>

#include <bit>
#include <string>
#include <vector>

#include "formats/algo_block.h"
#include "formats/model_cfg_record.h"
#include "frame/definitions.h"
#include "platform/ini_file.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "support/capture.h"
#include "support/tmpdir.h"
#include "text/text.h"

namespace ryn::devinfo {
namespace {

using Bytes = std::vector<uint8_t>;
using Steps = std::vector<std::pair<uint32_t, uint32_t>>;
using test::Capture;
using R = ModelCfgRecord;

Bytes device_record() {
    size_t size = 0;
    EXPECT_EQ(ryn_sim_get_record("model-cfg", nullptr, 0, &size), 1);
    Bytes b(size);
    EXPECT_EQ(ryn_sim_get_record("model-cfg", b.data(), b.size(), &size), 1);
    return b;
}

void set_device_record(const Bytes &b) {
    ASSERT_EQ(ryn_sim_set_record("model-cfg", b.data(), b.size()), 1) << ryn_sim_last_error();
}

size_t trace_count(const std::string &op) {
    size_t n = 0;
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i) n += op == ryn_sim_trace_op(i);
    return n;
}

class ModelCfgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test::scratch_dir();
        frame::set_definition_dir_for_testing((dir_ / "").u16string());
        // Slots 0 to 184: the 0x104 fields in order; slots 185 to 766: extras.
        std::string defs = "; test definitions\n";
        for (size_t n = 0; n < AlgoBlock::host_slots; ++n)
            defs += "param_" + std::to_string(n) + "=" +
                    (n < std::size(kAlgoFields) ? text::to_utf8(std::u16string(kAlgoFields[n].name))
                                                : "extra_" + std::to_string(n)) +
                    "\n";
        test::write_file(dir_ / "algo_param_def.ini", defs);
        file_ = (dir_ / "m.ini").u16string();
    }
    void TearDown() override { frame::set_definition_dir_for_testing(std::nullopt); }

    void create(const char *options) {
        handle_ = ryn_sim_create("base", options);
        ASSERT_NE(handle_, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    }

    int32_t request(uint32_t flags) {
        dev_info_arg arg;
        ryn_dev_info_init_arg(&arg, handle_, test::w(file_), flags | RYN_DEV_MODEL_CFG);
        capture_ = {};
        capture_.attach(arg);
        return ryn_dev_info(&arg);
    }
    int32_t get() { return request(RYN_FLAG_GET); }
    int32_t set() { return request(RYN_FLAG_SET); }

    std::u16string value(std::u16string_view section, std::u16string_view key) const {
        return platform::IniFile(file_).get(section, key);
    }
    // An empty value counts as missing.
    void edit(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
        platform::IniFile ini(file_);
        ASSERT_TRUE(ini.set(section, key, value));
        ASSERT_TRUE(ini.commit());
    }
    void add_algo_header() {
        edit(u"algorithm parameter", u"length", u"3072");
        edit(u"algorithm parameter", u"major_version", u"0x01");
        edit(u"algorithm parameter", u"minor_version", u"0x04");
    }

    std::filesystem::path dir_;
    std::u16string file_;
    ryn_handle handle_ = RYN_INVALID_HANDLE;
    Capture capture_;
};

TEST_F(ModelCfgTest, GetThenSetLeavesTheDeviceRecordUnchanged) {
    const struct {
        const char *options;
        bool add_header;  // a 0x100 GET writes no algorithm section, its SET demands one
    } cases[] = {
        {R"({"model_version": "0x100"})", true},
        {R"({"model_version": "0x101"})", false},
        {R"({"model_version": "0x102", "algo_version": "0x102"})", false},
        {R"({"model_version": "0x102", "algo_version": "0x103"})", false},
        {R"({"model_version": "0x102", "algo_version": "0x104"})", false},
        {R"({"model_version": "0x103"})", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options);
        std::filesystem::remove(dir_ / "m.ini");
        create(c.options);
        const Bytes before = device_record();
        ASSERT_EQ(get(), 1) << text::to_utf8(capture_.text());
        EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {5, 5}}));
        if (c.add_header) add_algo_header();
        ASSERT_EQ(set(), 1) << text::to_utf8(capture_.text());
        EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
        EXPECT_EQ(device_record(), before);
        EXPECT_EQ(trace_count("ryn_set_sensor_ctrl"), 1u);
    }
}

TEST_F(ModelCfgTest, Version0x103WriteStoresBlockVersion0x200AndTheFileLength) {
    create(R"({"model_version": "0x103"})");
    Bytes before = device_record();
    before[R::algo_block.offset + 2] = 4;  // the device holds block version 0x104
    before[R::algo_block.offset + 3] = 1;
    set_device_record(before);
    ASSERT_EQ(get(), 1);
    EXPECT_EQ(value(u"algorithm parameter", u"minor_version"), u"0x04");
    edit(u"algorithm parameter", u"length", u"5000");
    edit(u"algorithm parameter", u"major_version", u"0x07");
    ASSERT_EQ(set(), 1) << text::to_utf8(capture_.text());
    Bytes expected = before;
    expected[R::algo_block.offset] = 5000 & 0xFF;
    expected[R::algo_block.offset + 1] = 5000 >> 8;
    expected[R::algo_block.offset + 2] = 0;
    expected[R::algo_block.offset + 3] = 2;
    EXPECT_EQ(device_record(), expected);
}

TEST_F(ModelCfgTest, Version0x100) {
    create(R"({"model_version": "0x100"})");
    const Bytes before = device_record();
    ASSERT_EQ(get(), 1);
    std::string expected =
        "[model configuration]\r\nlength=6144\r\nmajor_version=0x01\r\nminor_version=0x00\r\n"
        "vid=0x0408\r\npid=0x3101\r\nled_async=1\r\nled_delay_us=1500\r\nupdate_refresh=60\r\n"
        "resolutionX=4096\r\nresolutionY=4096\r\n[sensor dsp]\r\n";
    for (const char *setting : {"nf_dark", "l_touch_thrd", "d_touch_thrd", "d_touch_lvl",
                                "d_erosion_lvl", "d_dilation_lvl", "l_erosion_lvl",
                                "l_dilation_lvl", "filter_1_3_5", "m_erosion_lvl", "flip"})
        for (int cam = 0; cam < 3; ++cam)
            expected += "cam" + std::to_string(cam) + "_" + setting + "=disable," +
                        (std::string(setting) == "filter_1_3_5" ? "1" : "0") + "\r\n";
    EXPECT_EQ(test::read_file(dir_ / "m.ini"), expected);

    // The file GET wrote goes back as it is: the record has no algorithm
    // block, so SET asks for no such section, and every byte stays.
    ASSERT_EQ(set(), 1) << text::to_utf8(capture_.text());
    EXPECT_EQ(capture_.messages.front(), u"[Warning] Missing bcdDevice.\n");
    EXPECT_EQ(device_record(), before);
    EXPECT_EQ(trace_count("model_cfg_writer"), 1u);

    // A file that has the section is read as before.
    add_algo_header();
    edit(u"model configuration", u"resolutionX", u"0x2345");  // widened to the slot
    ASSERT_EQ(set(), 1);
    // A warning for every algorithm parameter, though the record holds none.
    EXPECT_EQ(capture_.messages.back(), u"[Warning] Missing extra_766.\n");
    EXPECT_EQ(capture_.messages.size(), 1u + 5u + 2u + AlgoBlock::host_slots);
    Bytes after = before;
    after[15] = 0x45, after[16] = 0x23, after[17] = 0, after[18] = 0;
    EXPECT_EQ(device_record(), after);
}

TEST_F(ModelCfgTest, FailedVersionQueries) {
    // The first query fails: the record goes back in the version it was read
    // in, not as a 51-byte version 0x100 record that would keep only a few
    // numbers of a 0x103 device's record.
    for (const char *version : {"0x101", "0x103"}) {
        SCOPED_TRACE(version);
        create((std::string(R"({"model_version": ")") + version + "\"}").c_str());
        const size_t size = device_record().size();
        ASSERT_EQ(get(), 1);
        edit(u"model configuration", u"vid", u"0x1234");
        ASSERT_TRUE(ryn_sim_fail("ryn_get_dev_ver", 1, 1));
        ASSERT_EQ(set(), 1) << text::to_utf8(capture_.text());
        const Bytes written = device_record();
        ASSERT_EQ(written.size(), size);
        const auto number = static_cast<uint32_t>(std::stoul(version, nullptr, 16));
        EXPECT_EQ(R::major.get(written) << 8 | R::minor.get(written), number);
        EXPECT_EQ(R::vid.get(written), 0x1234u);
        EXPECT_EQ(model_cfg_form(number)->led_delay_us.get(written),
                  1500u);  // the other fields kept
    }

    // The second query fails: a 0x102 write fails and nothing is sent.
    create(R"({"model_version": "0x102"})");
    const Bytes before = device_record();
    ASSERT_EQ(get(), 1);
    ASSERT_TRUE(ryn_sim_fail("ryn_get_dev_ver", 2, 1));
    EXPECT_EQ(set(), 0);
    EXPECT_EQ(capture_.messages.back(), u"Fail to set the model configuration.\n");
    EXPECT_EQ(capture_.steps.back(), (std::pair<uint32_t, uint32_t>{4, 5}));
    EXPECT_EQ(trace_count("ryn_get_dev_ver"), 2u);
    EXPECT_EQ(trace_count("model_cfg_writer"), 0u);
    EXPECT_EQ(device_record(), before);
}

TEST_F(ModelCfgTest, StringsAreCutTo19Characters) {
    for (const char *options : {R"({"model_version": "0x101"})", R"({"model_version": "0x102"})",
                                R"({"model_version": "0x103"})"}) {
        SCOPED_TRACE(options);
        std::filesystem::remove(dir_ / "m.ini");
        create(options);
        const ModelCfgForm &form = *model_cfg_form(R::version(device_record()));
        Bytes record = device_record();
        layout::Field field = form.strings[0];  // model_name: 20 characters, no terminator
        for (size_t i = 0; i < 20; ++i)
            layout::Field{"", field.offset + 2 * i, 2}.put(record, u'a' + i);
        set_device_record(record);
        ASSERT_EQ(get(), 1);
        EXPECT_EQ(value(u"model configuration", u"model_name"), u"abcdefghijklmnopqrs");

        edit(u"model configuration", u"model_name", u"ABCDEFGHIJKLMNOPQRSTUVWXY");  // 25 characters
        ASSERT_EQ(set(), 1);
        EXPECT_EQ(layout::utf16_field(device_record(), field), u"ABCDEFGHIJKLMNOPQRS");
        EXPECT_EQ(layout::Field({"", field.end() - 2, 2}).get(device_record()), 0u);
    }
}

TEST_F(ModelCfgTest, SetMissingKeysAndNumberRules) {
    create(R"({"model_version": "0x102", "algo_version": "0x104"})");
    ASSERT_EQ(get(), 1);
    const Bytes before = device_record();
    const ModelCfgForm &f = *model_cfg_form(0x102);
    edit(u"model configuration", u"model_name", u"");         // cleared
    edit(u"model configuration", u"led_async", u"");          // keeps the device's value
    edit(u"model configuration", u"led_delay_us", u" 0x1170 ");  // 4464
    edit(u"model configuration", u"pid", u"0443");            // octal
    edit(u"model configuration", u"bcdDevice", u"291");
    edit(u"model configuration", u"length", u"12");  // never taken from the file
    edit(u"sensor dsp", u"cam0_flip", u"Enable,1");  // not a lowercase word: missing
    edit(u"sensor dsp", u"cam1_flip", u"on,1");      // any other word: disabled
    edit(u"sensor dsp", u"cam2_flip", u"enable,1");
    edit(u"sensor dsp", u"cam0_nf_dark", u"");                // missing: disabled, 0
    edit(u"sensor dsp", u"cam1_filter_1_3_5", u"enable,4");   // not a size: code 0
    edit(u"sensor dsp", u"cam2_filter_1_3_5", u"disable,5");  // code 2
    edit(u"algorithm parameter", u"x_real_dim", u"");         // keeps the device's value
    edit(u"algorithm parameter", u"y_real_dim", u"-2.75");
    edit(u"algorithm parameter", u"waiting_count_thr", u"2.9");  // i32 field: 2
    ASSERT_EQ(set(), 1);
    // Then one warning per parameter the device does not hold (extra_185 on).
    const std::u16string warnings =
        u"[Warning] Missing model_name.\n[Warning] Missing led_async.\n"
        u"[Warning] Missing cam0_nf_dark.\n[Warning] Missing cam0_flip.\n"
        u"[Warning] Missing x_real_dim.\n[Warning] Missing extra_185.\n";
    EXPECT_EQ(capture_.text().substr(0, warnings.size()), warnings);
    EXPECT_EQ(capture_.messages.size(), 5u + AlgoBlock::host_slots - std::size(kAlgoFields));

    const Bytes after = device_record();
    EXPECT_EQ(after.size(), 5630u);
    EXPECT_EQ(R::length.get(after), 5630u);
    EXPECT_EQ(layout::utf16_field(after, f.strings[0]), u"");
    EXPECT_EQ(f.led_async.get(after), f.led_async.get(before));
    EXPECT_EQ(f.led_delay_us.get(after), 4464u);
    EXPECT_EQ(f.pid.get(after), 0x123u);
    EXPECT_EQ(f.bcd_device.get(after), 0x123u);

    auto entry = [&](size_t i) {
        return std::vector<uint8_t>(
            after.begin() + static_cast<ptrdiff_t>(f.sensor_dsp.offset + 4 * i),
            after.begin() + static_cast<ptrdiff_t>(f.sensor_dsp.offset + 4 * i + 4));
    };
    EXPECT_EQ(entry(0), (std::vector<uint8_t>{0x00, 2, 0, 0x0F}));     // cam0 nf_dark
    EXPECT_EQ(entry(10), (std::vector<uint8_t>{0x20, 8, 0, 0x03}));    // cam0 flip
    EXPECT_EQ(entry(21), (std::vector<uint8_t>{0x22, 8, 1, 0x03}));    // cam1 flip
    EXPECT_EQ(entry(32), (std::vector<uint8_t>{0x25, 8, 1, 0x03}));    // cam2 flip
    EXPECT_EQ(entry(19), (std::vector<uint8_t>{0x03, 151, 0, 0x07}));  // cam1 filter
    EXPECT_EQ(entry(30), (std::vector<uint8_t>{0x04, 151, 2, 0x07}));  // cam2 filter

    const auto block = f.algo_block.bytes(std::span<const uint8_t>(after));
    auto field = [&](size_t k) {
        return static_cast<uint32_t>(layout::Field{"", AlgoBlock::value_offset(k), 4}.get(block));
    };
    EXPECT_EQ(field(0), std::bit_cast<uint32_t>(0.5f));  // the device's x_real_dim
    EXPECT_EQ(field(1), std::bit_cast<uint32_t>(-2.75f));
    EXPECT_EQ(field(8), 2u);
}

TEST_F(ModelCfgTest, MissingVidOrPidFailsBeforeTheDevice) {
    const struct {
        const char16_t *key, *warning, *error;
    } cases[] = {{u"vid", u"[Warning] Missing vid.\n", u"file %s can not miss VID.\n"},
                 {u"pid", u"[Warning] Missing pid.\n", u"file %s can not miss PID.\n"}};
    for (const auto &c : cases) {
        create(R"({"model_version": "0x101"})");
        const Bytes before = device_record();
        std::filesystem::remove(dir_ / "m.ini");
        ASSERT_EQ(get(), 1);
        edit(u"model configuration", c.key, u"");
        EXPECT_EQ(set(), 0);
        ASSERT_EQ(capture_.messages.size(), 2u);
        EXPECT_EQ(capture_.messages[0], c.warning);
        EXPECT_EQ(capture_.messages[1], text::format(c.error, file_.c_str()));
        EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}}));
        EXPECT_EQ(trace_count("ryn_set_sensor_ctrl"), 0u);
        EXPECT_EQ(device_record(), before);
    }
}

// A value that is no number, or that its field would cut, fails the SET
// naming the key, and nothing reaches the device.
TEST_F(ModelCfgTest, BadValuesAreRefused) {
    const struct {
        const char16_t *section, *key, *value;
    } cases[] = {
        {u"model configuration", u"vid", u"zzz"},
        {u"model configuration", u"pid", u"70000"},
        {u"model configuration", u"bcdDevice", u"0x"},
        {u"model configuration", u"led_async", u"256"},
        {u"model configuration", u"led_delay_us", u"70000"},
        {u"model configuration", u"resolutionX", u"0x12345"},
        {u"model configuration", u"physicalY", u"-1"},
        {u"sensor dsp", u"cam1_d_touch_lvl", u"enable,256"},
        {u"sensor dsp", u"cam2_flip", u"disable,x"},
        {u"algorithm parameter", u"length", u"abc"},
        {u"algorithm parameter", u"major_version", u"0x100"},
        {u"algorithm parameter", u"x_real_dim", u"1e39"},
        {u"algorithm parameter", u"extra_700", u"one"},
    };
    create(R"({"model_version": "0x102", "algo_version": "0x104"})");
    const Bytes before = device_record();
    for (const auto &c : cases) {
        SCOPED_TRACE(text::to_utf8(c.key));
        std::filesystem::remove(dir_ / "m.ini");
        ASSERT_EQ(get(), 1);
        edit(c.section, c.key, c.value);
        EXPECT_EQ(set(), 0);
        ASSERT_FALSE(capture_.messages.empty());
        EXPECT_EQ(capture_.messages.back(),
                  u"[Error] Bad value of " + std::u16string(c.key) + u": " + c.value + u".\n");
        EXPECT_EQ(trace_count("model_cfg_writer"), 0u);
        EXPECT_EQ(device_record(), before);
    }
}

// A field the definition file does not name has no key in the file: SET
// leaves it as the device has it, as every other byte of a file GET wrote.
TEST_F(ModelCfgTest, ANameTheDefinitionFileLacksKeepsTheDeviceValue) {
    for (const char *options : {R"({"model_version": "0x101"})",
                                R"({"model_version": "0x102", "algo_version": "0x104"})"}) {
        SCOPED_TRACE(options);
        test::write_file(dir_ / "algo_param_def.ini",
                         "param_0001=y_real_dim\nparam_0008=waiting_count_thr\n");
        create(options);
        const Bytes before = device_record();
        std::filesystem::remove(dir_ / "m.ini");
        ASSERT_EQ(get(), 1);
        ASSERT_EQ(set(), 1) << text::to_utf8(capture_.text());
        EXPECT_EQ(device_record(), before);
    }
}

// The warnings given whole reach msg_fn as their own formats.
TEST_F(ModelCfgTest, WholeWarningsAreTheirOwnFormats) {
    create(R"({"model_version": "0x102", "algo_version": "0x104"})");
    ASSERT_EQ(get(), 1);
    edit(u"model configuration", u"led_async", u"");
    edit(u"model configuration", u"model_name", u"");
    static std::vector<std::u16string> formats;
    formats.clear();
    dev_info_arg arg;
    ryn_dev_info_init_arg(&arg, handle_, test::w(file_), RYN_FLAG_SET | RYN_DEV_MODEL_CFG);
    arg.msg_fn = [](void *, const ryn_wchar *format, va_list) {
        formats.emplace_back(test::as_u16(format));
    };
    ASSERT_EQ(ryn_dev_info(&arg), 1);
    for (const char16_t *literal : {u"[Warning] Missing led_async.\n", u"[Warning] Missing model_name.\n"})
        EXPECT_NE(std::find(formats.begin(), formats.end(), literal), formats.end())
            << text::to_utf8(literal);
}

// A GET that cannot write its file fails naming it; a device string the file
// cannot hold fails naming its key, before anything is written.
TEST_F(ModelCfgTest, GetFailuresNameTheFileOrTheKey) {
    create(R"({"model_version": "0x102", "algo_version": "0x104"})");
    std::filesystem::create_directory(dir_ / "m.ini");
    EXPECT_EQ(get(), 0);
    EXPECT_EQ(capture_.messages,
              std::vector<std::u16string>{u"Fail to write the file [" + file_ + u"].\n"});
    std::filesystem::remove(dir_ / "m.ini");

    const ModelCfgForm &form = *model_cfg_form(0x102);
    Bytes record = device_record();
    layout::put_utf16_field(record, form.strings[4], u"SN\r\n[x]");  // serial_num
    set_device_record(record);
    EXPECT_EQ(get(), 0);
    EXPECT_EQ(capture_.messages,
              std::vector<std::u16string>{
                  u"[Error] Cannot write serial_num: its value holds a line break or NUL.\n"});
    EXPECT_FALSE(std::filesystem::exists(dir_ / "m.ini"));
}

TEST_F(ModelCfgTest, GetKeepsOtherKeysAndDumpsOnlyWhatTheRecordHolds) {
    create(R"({"model_version": "0x101"})");
    test::write_file(dir_ / "m.ini",
                     "[algorithm parameter]\nmatch_id_thr=7\nextra_300=1\n[notes]\nkept=yes\n");
    ASSERT_EQ(get(), 1);
    EXPECT_EQ(value(u"model configuration", u"bcdDevice"), u"");
    EXPECT_EQ(value(u"algorithm parameter", u"minor_version"), u"0x01");
    EXPECT_EQ(value(u"algorithm parameter", u"const_211_similarity_region_x"),
              u"+8.8000000000e+001");
    EXPECT_EQ(value(u"algorithm parameter", u"x_real_dim"), u"+5.0000000000e-001");
    EXPECT_EQ(value(u"algorithm parameter", u"objdemerge_th"), u"");  // field of 0x102 only
    EXPECT_EQ(value(u"algorithm parameter", u"match_id_thr"), u"7");
    EXPECT_EQ(value(u"algorithm parameter", u"extra_300"), u"1");
    EXPECT_EQ(value(u"notes", u"kept"), u"yes");
}

TEST_F(ModelCfgTest, DeviceAndDefinitionFailures) {
    create(nullptr);
    struct Case {
        const char *operation;
        uint32_t flags;
        const char16_t *lines;  // the device library's lines before the message (once on the console)
        const char16_t *message;
    };
    const Case cases[] = {
        {"ryn_get_model_cfg_fn", RYN_FLAG_GET, u"Pell3.\nFail to find the appropriate function.\n",
         u"Fail to get the model configuration.\n"},
        {"model_cfg_reader", RYN_FLAG_SET, u"", u"Fail to get the model configuration.\n"},
        {"ryn_set_model_cfg_fn", RYN_FLAG_SET, u"Pell4.\nFail to find the appropriate function.\n",
         u"Fail to set the model configuration.\n"},
        {"model_cfg_writer", RYN_FLAG_SET, u"", u"Fail to set the model configuration.\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.operation);
        create(nullptr);
        ASSERT_EQ(get(), 1);
        const Bytes before = device_record();
        ASSERT_TRUE(
            ryn_sim_fail(c.operation, static_cast<uint32_t>(trace_count(c.operation) + 1), 1));
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(request(c.flags), 0);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(capture_.text(), std::u16string(c.lines) + c.message);
        EXPECT_EQ(device_record(), before);
    }

    // A record version outside 0x100 to 0x103 (major byte inverted on its way).
    create(R"({"model_version": "0x101"})");
    ASSERT_TRUE(ryn_sim_corrupt("model_cfg_reader", 1, 1, 3, 1));
    EXPECT_EQ(get(), 0);
    EXPECT_EQ(capture_.text(), u"Fail to get the model configuration.\n");

    // A queried record version outside 0x100 to 0x103: nothing is written.
    ASSERT_EQ(get(), 1);
    const Bytes held = device_record();
    ASSERT_TRUE(ryn_sim_corrupt("ryn_get_dev_ver", 1, 1, 2, 1));
    EXPECT_EQ(set(), 0);
    EXPECT_EQ(capture_.messages.back(), u"Fail to set the model configuration.\n");
    EXPECT_EQ(trace_count("model_cfg_writer"), 0u);
    EXPECT_EQ(device_record(), held);

    // A 0x102 record whose block version has no field list of its own.
    create(R"({"model_version": "0x102"})");
    Bytes record = device_record();
    record[model_cfg_form(0x102)->algo_block.offset + 2] = 1;  // block version 0x101
    set_device_record(record);
    EXPECT_EQ(get(), 0);
    EXPECT_EQ(capture_.text(), u"Fail to get the model configuration.\n");
    EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}, {2, 5}}));

    std::filesystem::remove(dir_ / "algo_param_def.ini");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(get(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(capture_.text(), u"\nFail to open the file [" + (dir_ / "algo_param_def.ini").u16string() +
                                   u"]\nNo such file or directory\nFail to load the model configuration definition.\n");
    EXPECT_EQ(capture_.steps, (Steps{{0, 5}, {1, 5}}));
}

}  // namespace
}  // namespace ryn::devinfo
