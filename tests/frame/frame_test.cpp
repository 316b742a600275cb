// The exported operations: argument checks in their order, dispatch by
// platform code, progress, the message buffer and the argument blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "frame/definitions.h"
#include "frame/paths.h"
#include "frame/sink.h"
#include "platform/console.h"
#include "platform/host_fs.h"
#include "platform/os_error.h"
#include "platform/path.h"
#include "sim/ryn_sim.h"
#include "ryn_usr.h"
#include "support/capture.h"
#include "text/utf.h"
#include "support/env.h"
#include "support/tmpdir.h"

namespace ryn {
namespace {

using test::Capture;
using test::w;

enum class Op { cali, dev };
enum class File { null, missing, existing, too_long };

struct CheckCase {
    const char *name;
    Op op;
    uint32_t flags;
    File file;
    bool valid_handle;
    uint32_t platform;  // value ryn_check_platform returns; 0: the simulated base controller's own
    int32_t result;
    std::u16string message;  // "%ABS%" stands for the absolute path of the file; "%ARG%" for file_name
    std::vector<uint32_t> steps;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::scratch_dir();
        handle_ = ryn_sim_create("base", nullptr);
        ASSERT_NE(handle_, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    }

    // Makes ryn_check_platform answer with the given value on every call.
    void force_platform(uint32_t value) {
        ASSERT_TRUE(ryn_sim_fail_value("ryn_check_platform", 1, 0, value)) << ryn_sim_last_error();
    }

    std::filesystem::path dir_;
    ryn_handle handle_ = RYN_INVALID_HANDLE;
};

std::u16string expand(std::u16string text, const std::u16string &abs, const std::u16string &arg) {
    for (auto [key, value] : {std::pair{std::u16string(u"%ABS%"), abs}, std::pair{std::u16string(u"%ARG%"), arg}}) {
        for (size_t at; (at = text.find(key)) != std::u16string::npos;) text.replace(at, key.size(), value);
    }
    return text;
}

TEST_F(FrameTest, ArgumentChecksRunInOrderWithTheirMessages) {
    const uint32_t GET = RYN_FLAG_GET, SET = RYN_FLAG_SET;
    const CheckCase cases[] = {
        {"null file before bad flags", Op::cali, GET | SET | 0x0C, File::null, false, 0, 0,
         u"[ARG] The file_name cannot be NULL.\n", {0}},
        {"null file, device information", Op::dev, GET | SET, File::null, true, 0, 0,
         u"[ARG] The file_name cannot be NULL.\n", {0}},
        {"GET|SET before file and handle", Op::cali, GET | SET, File::missing, false, 0, 0,
         u"[ARG] Only one of GET/SET can be set.\n", {0}},
        {"GET|SET, device information", Op::dev, GET | SET, File::missing, false, 0, 0,
         u"[ARG] Only one of GET/SET can be set.\n", {0}},
        {"both compatible forms", Op::cali, SET | 0x04 | 0x08, File::missing, false, 0, 0,
         u"[ARG] Only one compatible version can be set\n", {0}},
        {"path too long", Op::cali, GET, File::too_long, true, 0, 0, u"The file name [%ARG%] error.\n", {0}},
        {"path too long, device information", Op::dev, GET | 0x04, File::too_long, true, 0, 0,
         u"The file name [%ARG%] error.\n", {0}},
        {"SET of a missing file before the handle", Op::cali, SET, File::missing, false, 0, 0,
         u"The file name [%ABS%] doesn't exist.\n", {0}},
        {"SET of a missing file, device information", Op::dev, SET | 0x08, File::missing, false, 0, 0,
         u"The file name [%ABS%] doesn't exist.\n", {0}},
        {"GET of a missing file reaches the handle check", Op::cali, GET, File::missing, false, 0, 0,
         u"Invalid handle\n", {0}},
        {"flags 0 with a bad handle", Op::cali, 0, File::missing, false, 0, 0, u"Invalid handle\n", {0}},
        {"flags 0, calibration", Op::cali, 0, File::missing, true, 0, 0,
         u"You must specify one of GET/SET.\n", {0}},
        {"flags 0, device information", Op::dev, 0, File::missing, true, 0, 0,
         u"GET/SET or session is not raised in flags.\n", {0}},
        {"only a request kind, device information", Op::dev, 0x08, File::missing, true, 0, 0,
         u"GET/SET or session is not raised in flags.\n", {0}},
        {"GET without a request kind", Op::dev, GET, File::missing, true, 0, 0,
         u"GET/SET or session is not raised in flags.\n", {0}},
        {"version strings are read only", Op::dev, SET | 0x04, File::existing, true, 0, 0,
         u"The version strings are read only.\n", {0}},
        {"version strings of a 5810 controller", Op::dev, GET | 0x04, File::missing, true, 0x5A02, 0,
         u"Not support get version string.\n", {0}},
        {"version strings of a 5920 controller", Op::dev, GET | 0x04, File::missing, true, 0x7703, 0,
         u"Not support get version string.\n", {0}},
        {"version strings of a six-camera system", Op::dev, GET | 0x04, File::missing, true, 0x106, 0,
         u"Not support get version string.\n", {0}},
        {"version strings, unknown platform", Op::dev, GET | 0x04, File::missing, true, 0x104, 0,
         u"The device reports platform code 4 (ryn_check_platform gave 0x00000104), which this library does "
         u"not serve.\n", {0}},
        {"model configuration, unknown platform", Op::dev, GET | 0x08, File::missing, true, 4, 0,
         u"The device reports platform code 4 (ryn_check_platform gave 0x00000004), which this library does "
         u"not serve.\n", {0}},
        {"calibration GET, unknown platform", Op::cali, GET, File::missing, true, 0x1F5, 0,
         u"The device reports platform code 245 (ryn_check_platform gave 0x000001F5), which this library "
         u"does not serve.\n", {0}},
        {"calibration SET, platform code 0", Op::cali, SET, File::existing, true, 0x100, 0,
         u"The device reports platform code 0 (ryn_check_platform gave 0x00000100), which this library does "
         u"not serve.\n", {0}},
        {"version strings, base controller", Op::dev, GET | 0x04, File::missing, true, 0, 1, u"", {0, 5}},
        {"version strings win over model configuration", Op::dev, GET | 0x04 | 0x08, File::missing, true, 0, 1,
         u"", {0, 5}},
    };
    for (const CheckCase &c : cases) {
        SCOPED_TRACE(c.name);
        handle_ = ryn_sim_create("base", nullptr);
        if (c.platform) force_platform(c.platform);

        std::filesystem::path file = dir_ / "request.ini";
        std::filesystem::remove(file);
        if (c.file == File::existing) test::write_file(file, "[other]\r\nkey=1\r\n");
        std::u16string name = file.u16string();
        if (c.file == File::too_long) name = u"/" + std::u16string(300, u'a') + u".ini";

        cali_info_arg arg;
        ryn_cali_info_init_arg(&arg, c.valid_handle ? handle_ : RYN_INVALID_HANDLE,
                               c.file == File::null ? nullptr : w(name), c.flags);
        Capture capture;
        capture.attach(arg);
        int32_t result = c.op == Op::cali ? ryn_cali_info(&arg) : ryn_dev_info(&arg);

        EXPECT_EQ(result, c.result);
        EXPECT_EQ(capture.text(), expand(c.message, file.u16string(), name));
        std::vector<uint32_t> steps;
        for (auto [step, total] : capture.steps) {
            EXPECT_EQ(total, 5u);
            steps.push_back(step);
        }
        EXPECT_EQ(steps, c.steps);
    }
}

TEST_F(FrameTest, PlatformCodeIsTheLowEightBits) {
    const std::pair<uint32_t, std::optional<Controller>> cases[] = {
        {1, Controller::base},           {2, Controller::c5810},        {3, Controller::c5920},
        {6, Controller::sixcam_4320},    {0, std::nullopt},             {4, std::nullopt},
        {5, std::nullopt},               {7, std::nullopt},             {0xFF, std::nullopt},
    };
    for (auto [code, expected] : cases) EXPECT_EQ(controller_of(code, 0), expected) << code;
    EXPECT_EQ(controller_of(6, RYN_FLAG_6CAM_DEV1), Controller::sixcam_5810);
    EXPECT_EQ(controller_of(6, RYN_FLAG_6CAM_DEV2), Controller::sixcam_5810);
    EXPECT_EQ(controller_of(6, RYN_FLAG_6CAM_DEV1 | RYN_FLAG_6CAM_DEV2), Controller::sixcam_5810);

    // The simulated controller sets bits above the platform code; the library masks them.
    EXPECT_NE(ryn_check_platform(handle_) & ~0xFFu, 0u);
    EXPECT_EQ(frame::platform_code(handle_), 1u);
    force_platform(0xAB01);
    EXPECT_EQ(frame::platform_code(handle_), 1u);
}

TEST_F(FrameTest, MessageBufferKeepsTheLastMessageOfACallWithoutMsgFn) {
    cali_info_arg arg;
    ryn_cali_info_init_arg(&arg, handle_, nullptr, RYN_FLAG_GET);
    EXPECT_EQ(ryn_cali_info(&arg), 0);
    EXPECT_EQ(std::u16string(test::as_u16(ryn_get_err_msg())), u"[ARG] The file_name cannot be NULL.\n");

    // A call with msg_fn leaves the buffer as it was.
    Capture capture;
    capture.attach(arg);
    arg.flags = RYN_FLAG_GET | RYN_FLAG_SET;
    arg.file_name = w(u"x.ini");
    EXPECT_EQ(ryn_dev_info(&arg), 0);
    EXPECT_EQ(capture.text(), u"[ARG] Only one of GET/SET can be set.\n");
    EXPECT_EQ(std::u16string(test::as_u16(ryn_get_err_msg())), u"[ARG] The file_name cannot be NULL.\n");

    // A successful call does not clear it either.
    std::u16string file = (dir_ / "v.ini").u16string();
    dev_info_arg ok;
    ryn_dev_info_init_arg(&ok, handle_, w(file), RYN_FLAG_GET | RYN_DEV_VERSION_STR);
    EXPECT_EQ(ryn_dev_info(&ok), 1);
    EXPECT_EQ(std::u16string(test::as_u16(ryn_get_err_msg())), u"[ARG] The file_name cannot be NULL.\n");
}

TEST_F(FrameTest, LongMessageIsCutAtTheBufferSize) {
    // The path is echoed in the message; 2000 characters do not fit 1024.
    std::u16string name = u"/" + std::u16string(1999, u'n');
    cali_info_arg arg;
    ryn_cali_info_init_arg(&arg, handle_, w(name), RYN_FLAG_GET);
    EXPECT_EQ(ryn_cali_info(&arg), 0);
    std::u16string expected = (u"The file name [" + name).substr(0, 1023);
    EXPECT_EQ(std::u16string(test::as_u16(ryn_get_err_msg())), expected);

    // A surrogate pair that the cut would split is dropped whole.
    std::u16string pairs = u"/";
    while (pairs.size() < 1100) pairs += u"\U0001F600";
    ryn_cali_info_init_arg(&arg, handle_, w(pairs), RYN_FLAG_GET);
    EXPECT_EQ(ryn_cali_info(&arg), 0);
    std::u16string held = test::as_u16(ryn_get_err_msg());
    EXPECT_LE(held.size(), 1023u);
    EXPECT_GE(held.size(), 1022u);
    EXPECT_FALSE(held.back() >= 0xD800 && held.back() <= 0xDBFF);
}

TEST_F(FrameTest, InitFunctionsZeroTheRestOfTheBlock) {
    cali_info_arg arg;
    std::memset(&arg, 0xAB, sizeof arg);
    ryn_cali_info_init_arg(&arg, 7, w(u"f.ini"), 0x21);
    // Fields of the packed blocks are copied out before gtest binds references to them.
    const cali_info_arg a = arg;
    const ryn_handle handle = a.handle;
    const uint32_t flags = a.flags;
    EXPECT_EQ(handle, 7u);
    EXPECT_EQ(std::u16string(test::as_u16(a.file_name)), u"f.ini");
    EXPECT_EQ(flags, 0x21u);
    EXPECT_TRUE(a.user_data == nullptr && a.msg_fn == nullptr && a.progress_fn == nullptr);
    // The device-information name fills its block the same way.
    dev_info_arg dev;
    std::memset(&dev, 0xAB, sizeof dev);
    ryn_dev_info_init_arg(&dev, 7, a.file_name, 0x21);
    EXPECT_EQ(std::memcmp(&dev, &a, sizeof dev), 0);

    fw_update_arg fw;
    std::memset(&fw, 0xAB, sizeof fw);
    ryn_fw_update_init_arg(&fw, 9, w(u"img.bin"), w(u"fb.bin"), RYN_UPDATE_AUTO | RYN_FLAG_6CAM_DEV2);
    const ryn_handle fw_handle = fw.handle;
    const uint32_t mode = fw.update_mode;
    EXPECT_EQ(fw_handle, 9u);
    EXPECT_EQ(std::u16string(test::as_u16(fw.file_name)), u"img.bin");
    EXPECT_EQ(std::u16string(test::as_u16(fw.flash_builder_file_name)), u"fb.bin");
    EXPECT_EQ(mode, RYN_UPDATE_AUTO | RYN_FLAG_6CAM_DEV2);
    EXPECT_TRUE(fw.user_data == nullptr && fw.msg_fn == nullptr && fw.progress_fn == nullptr &&
                fw.dev_reset_fn == nullptr && fw.set_update_hdr_fn == nullptr);

    // A null block is ignored, and an operation on it fails without a crash.
    ryn_cali_info_init_arg(nullptr, 1, nullptr, 0);
    ryn_fw_update_init_arg(nullptr, 1, nullptr, nullptr, 0);
    EXPECT_EQ(ryn_cali_info(nullptr), 0);
    EXPECT_EQ(ryn_dev_info(nullptr), 0);
    EXPECT_EQ(ryn_fw_update(nullptr), 0);
}

TEST_F(FrameTest, FirmwareUpdateReportsStepZeroAndNeverTouchesTheMessageBuffer) {
    cali_info_arg seed;
    ryn_cali_info_init_arg(&seed, handle_, nullptr, 0);
    ryn_cali_info(&seed);
    const std::u16string before = test::as_u16(ryn_get_err_msg());

    fw_update_arg arg;
    ryn_fw_update_init_arg(&arg, handle_, w(u"image.bin"), nullptr, RYN_UPDATE_NORMAL);
    Capture capture;
    capture.attach(arg);
    force_platform(0x0104);  // unknown: one message, no step 8
    EXPECT_EQ(ryn_fw_update(&arg), 0);
    EXPECT_EQ(capture.messages, (std::vector<std::u16string>{
                                    u"The device reports platform code 4 (ryn_check_platform gave 0x00000104), "
                                    u"which this library does not serve.\n"}));
    ASSERT_EQ(capture.steps.size(), 1u);
    EXPECT_EQ(capture.steps[0], std::make_pair(0u, 8u));

    // Without msg_fn the firmware-update sink drops its messages.
    ryn_sim_clear_faults();
    ryn_fw_update_init_arg(&arg, handle_, w(u"image.bin"), nullptr, RYN_UPDATE_NORMAL);
    EXPECT_EQ(ryn_fw_update(&arg), 0);
    EXPECT_EQ(std::u16string(test::as_u16(ryn_get_err_msg())), before);
}

TEST(DeviceReset, StoresTheNewHandleAndWaits) {
    std::vector<uint32_t> waits;
    platform::set_sleep_hook([&](uint32_t ms) { waits.push_back(ms); });
    struct Host {
        ryn_handle next;
        static ryn_handle reset(void *self) { return static_cast<Host *>(self)->next; }
    } host{42};

    fw_update_arg arg;
    ryn_fw_update_init_arg(&arg, 1, nullptr, nullptr, 0);
    EXPECT_EQ(frame::reset_device(arg), 0);  // no dev_reset_fn
    EXPECT_TRUE(waits.empty());

    arg.user_data = &host;
    arg.dev_reset_fn = Host::reset;
    EXPECT_EQ(frame::reset_device(arg), 1);
    EXPECT_EQ(ryn_handle{arg.handle}, 42u);
    host.next = RYN_INVALID_HANDLE;
    EXPECT_EQ(frame::reset_device(arg), 0);
    EXPECT_EQ(ryn_handle{arg.handle}, RYN_INVALID_HANDLE);
    EXPECT_EQ(waits, (std::vector<uint32_t>{500, 500}));
    platform::set_sleep_hook(nullptr);
}

TEST(FormatMsg, BehavesLikeVsnprintf) {
    auto format = [](ryn_wchar *buf, size_t cap, const char16_t *fmt, ...) {
        va_list args;
        va_start(args, fmt);
        int n = ryn_format_msg(buf, cap, w(fmt), args);
        va_end(args);
        return n;
    };
    char16_t buf[8];
    EXPECT_EQ(format(reinterpret_cast<ryn_wchar *>(buf), 8, u"[%s] %u\n", u"path", 12u), 10);
    EXPECT_EQ(std::u16string(buf), u"[path] ");
    EXPECT_EQ(format(nullptr, 0, u"%+.10e", 1.25), 18);
    EXPECT_EQ(format(reinterpret_cast<ryn_wchar *>(buf), 8, u"0x%0*x", 2, 0x1au), 4);
    EXPECT_EQ(std::u16string(buf), u"0x1a");
}

// RYN_USR_DEFINITIONS_DIR moves where the definition files are looked for;
// unset or empty, they are found beside the executable as before.
TEST_F(FrameTest, DefinitionsFolderFromTheEnvironment) {
    const std::filesystem::path folder = dir_ / "definitions";
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = dir_ / "cali.ini";
    auto get = [&](Capture &capture) {
        std::filesystem::remove(file);
        const std::u16string name = file.u16string();
        cali_info_arg arg;
        ryn_cali_info_init_arg(&arg, handle_, w(name), RYN_FLAG_GET);
        capture.attach(arg);
        return ryn_cali_info(&arg);
    };
    const std::filesystem::path exe_dir = std::filesystem::path(*platform::executable_path()).parent_path();
    struct Unset {
        ~Unset() { test::unset_env("RYN_USR_DEFINITIONS_DIR"); }
    } unset_at_end;

    // The folder holds no definition file: the GET names the file it looked for there.
    test::set_env("RYN_USR_DEFINITIONS_DIR", folder.string().c_str());
    const std::u16string expected = (folder / "ryn_cali_info_param_def.ini").u16string();
    EXPECT_EQ(frame::host_file_path(u"ryn_cali_info_param_def").path, expected);
    EXPECT_EQ(frame::host_file_path(u"ryn_flash_driver_list").path,
              (folder / "ryn_flash_driver_list.ini").u16string());
    Capture missing;
    EXPECT_EQ(get(missing), 0);
    ASSERT_FALSE(missing.messages.empty());
    EXPECT_EQ(missing.messages[0], u"Fail to open the file [" + expected + u"]\n");

    // A file of its own there names the one parameter it defines.
    test::write_file(folder / "ryn_cali_info_param_def.ini", "param_0000=only_from_the_folder\n");
    Capture found;
    EXPECT_EQ(get(found), 1) << std::string(found.text().begin(), found.text().end());
    const std::string ini = test::read_file(file);
    EXPECT_NE(ini.find("only_from_the_folder="), std::string::npos) << ini;
    EXPECT_EQ(ini.find("cam0_poly0_coe00="), std::string::npos) << ini;

    // A relative folder is taken against the current directory.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    test::set_env("RYN_USR_DEFINITIONS_DIR", "definitions");
    EXPECT_EQ(frame::host_file_path(u"ryn_cali_info_param_def").path, expected);
    std::filesystem::current_path(cwd);

    // Unset or empty: beside the executable, with its full set of names.
    for (const char *value : {static_cast<const char *>(nullptr), ""}) {
        SCOPED_TRACE(value ? "empty" : "unset");
        if (value)
            test::set_env("RYN_USR_DEFINITIONS_DIR", value);
        else
            test::unset_env("RYN_USR_DEFINITIONS_DIR");
        EXPECT_EQ(frame::host_file_path(u"algo_param_def").path, (exe_dir / "algo_param_def.ini").u16string());
        Capture beside;
        EXPECT_EQ(get(beside), 1);
        EXPECT_NE(test::read_file(file).find("cam0_poly0_coe00="), std::string::npos);
    }
}

// A handle the device library no longer knows fails every operation with a
// message of its own call, through msg_fn or the message buffer, instead of
// leaving an older call's text there.
TEST_F(FrameTest, RefusedHandleIsReported) {
    const std::u16string refused =
        u"The device library refused the handle (ryn_check_platform gave 0): the handle is stale or the "
        u"device is gone.\n";
    const ryn_handle stale = handle_;
    handle_ = ryn_sim_reset();
    ASSERT_NE(handle_, stale);
    ASSERT_EQ(ryn_check_platform(stale), 0u) << "the simulator still knows the old handle";

    const std::u16string file = (dir_ / "out.ini").u16string();
    for (const uint32_t flags : {RYN_FLAG_GET, RYN_FLAG_GET | RYN_DEV_VERSION_STR, RYN_FLAG_GET | RYN_DEV_MODEL_CFG}) {
        SCOPED_TRACE(flags);
        cali_info_arg arg;
        ryn_cali_info_init_arg(&arg, stale, w(file), flags);
        Capture capture;
        capture.attach(arg);
        EXPECT_EQ(flags == RYN_FLAG_GET ? ryn_cali_info(&arg) : ryn_dev_info(&arg), 0);
        EXPECT_EQ(capture.messages, std::vector<std::u16string>{refused});
    }

    fw_update_arg update;
    ryn_fw_update_init_arg(&update, stale, w(u"image.bin"), nullptr, RYN_UPDATE_NORMAL);
    Capture capture;
    capture.attach(update);
    EXPECT_EQ(ryn_fw_update(&update), 0);
    EXPECT_EQ(capture.messages, std::vector<std::u16string>{refused});

    // Without msg_fn: a successful-looking older text is replaced.
    cali_info_arg older;
    ryn_cali_info_init_arg(&older, RYN_INVALID_HANDLE, w(file), RYN_FLAG_GET);
    ryn_cali_info(&older);
    ASSERT_EQ(std::u16string(test::as_u16(ryn_get_err_msg())), u"Invalid handle\n");
    cali_info_arg arg;
    ryn_cali_info_init_arg(&arg, stale, w(file), RYN_FLAG_GET);
    EXPECT_EQ(ryn_cali_info(&arg), 0);
    EXPECT_EQ(std::u16string(test::as_u16(ryn_get_err_msg())), refused);
}

// A file the system refuses to open, read or write: the literal message, then
// the system's own reason as one more message, for either sink.
TEST_F(FrameTest, FileFailuresCarryTheSystemsReason) {
    const std::u16string missing_dir = (dir_ / "no_such_folder" / "cali.ini").u16string();
    cali_info_arg arg;
    ryn_cali_info_init_arg(&arg, handle_, w(missing_dir), RYN_FLAG_GET);
    Capture capture;
    capture.attach(arg);
    EXPECT_EQ(ryn_cali_info(&arg), 0);
    EXPECT_EQ(capture.messages, (std::vector<std::u16string>{u"Fail to dump calibration to [" + missing_dir + u"].\n",
                                                             u"No such file or directory\n"}));

    // The disk is full: the version strings cannot be written.
    const std::u16string full = (dir_ / "versions.ini").u16string();
    ryn_dev_info_init_arg(&arg, handle_, w(full), RYN_FLAG_GET | RYN_DEV_VERSION_STR);
    Capture on_full;
    on_full.attach(arg);
    platform::host_fs::WriteFaults faults;
    faults.disk_space = 0;
    platform::host_fs::set_write_faults(faults);
    EXPECT_EQ(ryn_dev_info(&arg), 0);
    platform::host_fs::set_write_faults({});
    EXPECT_EQ(on_full.messages, (std::vector<std::u16string>{u"Fail to write the file [" + full + u"].\n",
                                                             u"No space left on device\n"}));

    // A firmware image that is not there.
    const std::u16string image = (dir_ / "missing.bin").u16string();
    fw_update_arg update;
    ryn_fw_update_init_arg(&update, handle_, w(image), nullptr, RYN_UPDATE_NORMAL);
    Capture on_update;
    on_update.attach(update);
    update.dev_reset_fn = [](void *) { return ryn_sim_reset(); };
    update.set_update_hdr_fn = [](void *, uint32_t, uint32_t, uint32_t, uint32_t) { return ryn_sim_reset(); };
    EXPECT_EQ(ryn_fw_update(&update), 0);
    const auto at = std::find(on_update.messages.begin(), on_update.messages.end(),
                              u"Fail to open the file [" + image + u"]\n");
    ASSERT_NE(at, on_update.messages.end()) << text::to_utf8(on_update.text());
    ASSERT_NE(at + 1, on_update.messages.end());
    EXPECT_EQ(at[1], u"No such file or directory\n");

    // Without msg_fn the reason is the buffer's last message.
    ryn_cali_info_init_arg(&arg, handle_, w(missing_dir), RYN_FLAG_GET);
    EXPECT_EQ(ryn_cali_info(&arg), 0);
    EXPECT_EQ(test::posix_reason(std::u16string(test::as_u16(ryn_get_err_msg()))), u"No such file or directory\n");

    // A reason left from before a call belongs to none of its messages.
    platform::note_errno(ENOENT);
    ryn_cali_info_init_arg(&arg, handle_, w(missing_dir), RYN_FLAG_GET | RYN_FLAG_SET);
    Capture unrelated;
    unrelated.attach(arg);
    EXPECT_EQ(ryn_cali_info(&arg), 0);
    EXPECT_EQ(unrelated.messages, std::vector<std::u16string>{u"[ARG] Only one of GET/SET can be set.\n"});
}

// The loaded library's version text names the header's numbers.
TEST(Version, LibraryTextMatchesTheHeader) {
    const std::string expected = std::to_string(RYN_USR_VERSION_MAJOR) + "." +
                                 std::to_string(RYN_USR_VERSION_MINOR) + "." +
                                 std::to_string(RYN_USR_VERSION_PATCH);
    ASSERT_NE(ryn_usr_version(), nullptr);
    EXPECT_EQ(std::string(ryn_usr_version()), expected);
    EXPECT_EQ(ryn_usr_version(), ryn_usr_version());  // one static text
}

}  // namespace
}  // namespace ryn
