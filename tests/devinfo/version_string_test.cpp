// Version-string GET of the base controller: the device's version record into
// section "version string".
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "sim/ryn_sim.h"
#include "ryn_usr.h"
#include "support/capture.h"
#include "support/tmpdir.h"

namespace ryn {
namespace {

using test::Capture;
using test::w;

struct Versions {
    uint16_t length = 364;
    uint8_t minor = 3, major = 1;
    std::u16string bootldr = u"1.0.0.7", normal = u"2.4.1.30", updater = u"1.2.0.5";
};

// A version record as the device fills it: 368 bytes, strings of 60 characters.
std::array<uint8_t, 368> version_record(const Versions &v) {
    std::array<uint8_t, 368> r{};
    r[0] = v.length & 0xFF;
    r[1] = v.length >> 8;
    r[2] = v.minor;
    r[3] = v.major;
    auto put = [&](size_t at, const std::u16string &s) {
        for (size_t i = 0; i < s.size() && i < 60; ++i) {
            r[at + 2 * i] = s[i] & 0xFF;
            r[at + 2 * i + 1] = s[i] >> 8;
        }
    };
    put(4, v.bootldr);
    put(124, v.normal);
    put(244, v.updater);
    return r;
}

class VersionStringTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::scratch_dir();
        handle_ = ryn_sim_create("base", nullptr);
        ASSERT_NE(handle_, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    }

    void load(const Versions &v) {
        auto record = version_record(v);
        ASSERT_TRUE(ryn_sim_set_record("version", record.data(), record.size())) << ryn_sim_last_error();
    }

    int32_t get(const std::filesystem::path &file) {
        path_ = file.u16string();
        dev_info_arg arg;
        ryn_dev_info_init_arg(&arg, handle_, w(path_), RYN_FLAG_GET | RYN_DEV_VERSION_STR);
        capture_ = {};
        capture_.attach(arg);
        return ryn_dev_info(&arg);
    }

    std::filesystem::path dir_;
    std::u16string path_;
    ryn_handle handle_ = RYN_INVALID_HANDLE;
    Capture capture_;
};

TEST_F(VersionStringTest, WritesTheSixKeysInOrderIntoANewFile) {
    load({});
    ASSERT_EQ(get(dir_ / "v.ini"), 1);
    EXPECT_TRUE(capture_.messages.empty());
    EXPECT_EQ(capture_.steps, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 5}, {5, 5}}));
    EXPECT_EQ(test::read_file(dir_ / "v.ini"),
              "[version string]\r\n"
              "length=364\r\n"
              "major_version=0x01\r\n"
              "minor_version=0x03\r\n"
              "bootldr=1.0.0.7\r\n"
              "normal=2.4.1.30\r\n"
              "updater=1.2.0.5\r\n");
    ASSERT_GE(ryn_sim_trace_size(), 1u);
    bool asked = false;
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i)
        asked |= std::string(ryn_sim_trace_op(i)) == "ryn_get_fw_ver_str";
    EXPECT_TRUE(asked);
}

TEST_F(VersionStringTest, HexVersionsAndFieldsWithoutTerminator) {
    Versions v;
    v.major = 0x1a;
    v.minor = 0xff;
    v.length = 65535;
    v.bootldr = std::u16string(60, u'b');  // fills the field: no terminator
    v.normal = u"";
    v.updater = std::u16string(59, u'u');
    load(v);
    ASSERT_EQ(get(dir_ / "v.ini"), 1);
    EXPECT_EQ(test::read_file(dir_ / "v.ini"),
              "[version string]\r\n"
              "length=65535\r\n"
              "major_version=0x1a\r\n"
              "minor_version=0xff\r\n"
              "bootldr=" + std::string(60, 'b') + "\r\n"
              "normal=\r\n"
              "updater=" + std::string(59, 'u') + "\r\n");
}

TEST_F(VersionStringTest, ExistingFileKeepsEverythingElse) {
    const std::string before =
        "; device report\n"
        "[Version String]\n"
        "Length = 1\n"
        "comment=kept\n"
        "\n"
        "[model configuration]\n"
        "vid=0x1234\n";
    test::write_file(dir_ / "v.ini", before);
    load({});
    ASSERT_EQ(get(dir_ / "v.ini"), 1);
    EXPECT_EQ(test::read_file(dir_ / "v.ini"),
              "; device report\n"
              "[Version String]\n"
              "Length = 364\n"
              "comment=kept\n"
              "major_version=0x01\n"
              "minor_version=0x03\n"
              "bootldr=1.0.0.7\n"
              "normal=2.4.1.30\n"
              "updater=1.2.0.5\n"
              "\n"
              "[model configuration]\n"
              "vid=0x1234\n");
}

TEST_F(VersionStringTest, DeviceFailureWritesNothing) {
    ASSERT_TRUE(ryn_sim_fail("ryn_get_fw_ver_str", 1, 1));
    EXPECT_EQ(get(dir_ / "v.ini"), 0);
    EXPECT_EQ(capture_.text(), u"Fail to get the version string.\n");
    EXPECT_EQ(capture_.steps, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 5}}));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "v.ini"));
}

TEST_F(VersionStringTest, UnwritableFileFailsNamingTheFile) {
    // The literal message, then the system's reason.
    const std::pair<std::filesystem::path, const char16_t *> cases[] = {
        {dir_ / "missing-folder" / "v.ini", u"No such file or directory\n"},
#if defined(_WIN32)
        // Windows has one reason for both: the path is not found.
        {dir_ / "plain" / "v.ini", u"No such file or directory\n"},
#else
        {dir_ / "plain" / "v.ini", u"Not a directory\n"},
#endif
    };
    for (const auto &[file, reason] : cases) {
        test::write_file(dir_ / "plain", "x");
        EXPECT_EQ(get(file), 0);
        EXPECT_EQ(capture_.messages,
                  (std::vector<std::u16string>{u"Fail to write the file [" + file.u16string() + u"].\n", reason}));
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "missing-folder"));
}

// A device string the INI file cannot hold fails the request naming its key,
// and nothing is written.
TEST_F(VersionStringTest, AStringWithALineBreakFailsNamingTheKey) {
    Versions v;
    v.normal = u"2.4\n[injected]";
    load(v);
    EXPECT_EQ(get(dir_ / "v.ini"), 0);
    EXPECT_EQ(capture_.messages,
              std::vector<std::u16string>{
                  u"[Error] Cannot write normal: its value holds a line break or NUL.\n"});
    EXPECT_FALSE(std::filesystem::exists(dir_ / "v.ini"));
}

}  // namespace
}  // namespace ryn
