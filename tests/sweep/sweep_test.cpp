// A fault at every device call of every operation: each path runs once on a
// healthy simulated device, then again once for each call of its trace, with
// that call failing (and, where the call hands data back, with the data
// corrupted instead). A failing run must end with 0 and a message, stop its
// progress at the step it reached, and leave the device as the path
// promises: a GET untouched, a SET with its old record or the whole new one,
// an update with nothing written after the call that failed. A run that
// carries on past a fault (where the path says it may) must end where the
// healthy run ended. A failing case prints the path, the call, the variant
// and the whole trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frame/definitions.h"
#include "tools/image_builder/image_builder.h"
#include "platform/console.h"
#include "ryn_hid.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "support/cali_text.h"
#include "support/capture.h"
#include "support/sim_host.h"
#include "support/tmpdir.h"
#include "text/text.h"

namespace ryn::test {
namespace {

namespace fs = std::filesystem;
using fwupdate::Bytes;
using fwupdate::ImageParts;

enum class Operation { cali_get, cali_set, dev_get, dev_set, version, fw_update };

// How a SET finds its file: the GET output with one line replaced, or a
// file of one of the older calibration forms.
enum class Input { none, edited_get, compact_ini, text };

// One code path: the device, the operation with its flags (or update mode),
// the files it reads and the records that show what it did to the device.
struct Path {
    const char *name;
    const char *family;
    const char *options;  // JSON for ryn_sim_create
    Operation operation;
    uint32_t flags;                    // request flags, or the update mode with its six-camera bits
    std::vector<std::string> records;  // firmware paths: every record the update may write
    Input input = Input::none;
    const char *edit_key = nullptr;  // edited_get: the line replaced, and its new text
    const char *edit_line = nullptr;
    Bytes (*image)() = nullptr;
    Bytes (*flash_builder)() = nullptr;
    const char *driver_list = nullptr;  // flash driver list; "{drv}" is the driver file's path
};

std::ostream &operator<<(std::ostream &os, const Path &p) {
    return os << p.name;
}

// What a path states for a fault at a call, where that is more than "fail
// at once with a message, or carry on to the same end".
enum class Variant { fail, corrupt, both };
struct Leeway {
    const char *path;       // the paths whose names begin with this
    const char *operation;  // the call
    Variant variant = Variant::fail;
    bool silent = false;                      // the path fails, or carries on, without a message
    std::set<std::string> later_writes = {};  // writes it still makes after the failed call
    std::set<std::string> may_differ = {};    // records that may end otherwise when it carries on
};

// The device calls that write flash, firmware headers or records.
const std::set<std::string> kWrites = {
    "cali_info_writer",      "model_cfg_writer",
    "ryn_set_normal_code",   "ryn_set_normal_code_g40",
    "ryn_update_flash_code", "ryn_set_fw_hdr",
    "ryn_set_update_hdr",    "ryn_set_extend_flash_driver",
};

// The smallest images the builders make: a few hundred bytes of code per section.
Bytes small(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}
ImageParts small_parts() {
    ImageParts p;
    p.normal_code = small(0x100, 1);
    p.update_code = small(0x100, 2);
    p.boot_loader = small(0x100, 3);
    return p;
}
Bytes base_image() {
    return fwupdate::build_base_image(small_parts());
}
Bytes flash_builder() {
    ImageParts p;
    p.normal_version = u"1.0.0001.1";
    const std::string mark = RYN_SIM_FLASH_BUILDER_MARK;
    Bytes code(mark.begin(), mark.end());
    code.resize(0x100, 0x5A);
    p.normal_code = code;
    return fwupdate::build_flash_builder_file(p);
}
Bytes image_5810() {
    ImageParts p;
    p.normal_code = small(0x1100, 4);
    return fwupdate::build_5810_image(p);
}
Bytes banked_image() {
    ImageParts p;
    p.normal_code = small(0x100, 5);
    return fwupdate::build_banked_image(p);
}
ImageParts small_lpc4320_parts() {
    ImageParts p = small_parts();
    p.boot_loader.reset();  // an LPC4320 image holds none
    return p;
}
Bytes lpc4320_image_11() {
    return fwupdate::build_lpc4320_image(small_lpc4320_parts());
}
Bytes lpc4320_image_10() {
    ImageParts p = small_lpc4320_parts();
    p.header_minor = 0;
    return fwupdate::build_lpc4320_image(p);
}

const std::vector<std::string> kBaseCali = {"cali"};
const std::vector<std::string> kBaseModel = {"model-cfg"};
const std::vector<std::string> k6camCali = {"255/cali", "1/cali", "2/cali"};
const std::vector<std::string> k6camModel = {"255/model-cfg", "1/model-cfg", "2/model-cfg"};
const std::vector<std::string> kBaseFw = {"version",   "cali",        "model-cfg",
                                          "fw-header", "normal-code", "layout"};
const std::vector<std::string> kOtherFw = {"cali", "model-cfg", "fw-header", "flash"};
const std::vector<std::string> k6camFw = {
    "255/cali",    "255/model-cfg", "255/fw-header", "255/flash", "255/image-header",
    "1/cali",      "1/model-cfg",   "1/fw-header",   "1/flash",   "2/cali",
    "2/model-cfg", "2/fw-header",   "2/flash"};
constexpr uint32_t kDev1 = RYN_FLAG_6CAM_DEV1, kDev2 = RYN_FLAG_6CAM_DEV2;
constexpr uint32_t kGet = RYN_FLAG_GET, kSet = RYN_FLAG_SET;
constexpr uint32_t kModel = RYN_DEV_MODEL_CFG;
constexpr uint32_t kNormal = RYN_UPDATE_NORMAL, kLayout = RYN_UPDATE_FLASH_LAYOUT,
                   kAuto = RYN_UPDATE_AUTO;
constexpr auto kCaliGet = Operation::cali_get, kCaliSet = Operation::cali_set,
               kDevGet = Operation::dev_get, kDevSet = Operation::dev_set,
               kFw = Operation::fw_update;

const char *const kCali10 = R"({"cali_version": 10})";
const char *const kCali9 = R"({"cali_version": 9})";

// clang-format off
const Path kPaths[] = {
    // Base controller: calibration in its three file forms, record versions 10 and 9.
    {"base_cali_get_v10", "base", kCali10, kCaliGet, kGet, kBaseCali},
    {"base_cali_get_v9", "base", kCali9, kCaliGet, kGet, kBaseCali},
    {"base_cali_set_ini_v10", "base", kCali10, kCaliSet, kSet, kBaseCali, Input::edited_get,
     "nf_profile", "nf_profile=0x0405"},
    {"base_cali_set_ini_v9", "base", kCali9, kCaliSet, kSet, kBaseCali, Input::edited_get,
     "nf_profile", "nf_profile=0x0405"},
    {"base_cali_set_compact_v10", "base", kCali10, kCaliSet, kSet | RYN_CALI_COMPAT_INI, kBaseCali,
     Input::compact_ini},
    {"base_cali_set_text_v10", "base", kCali10, kCaliSet, kSet | RYN_CALI_COMPAT_TEXT, kBaseCali,
     Input::text},
    {"base_cali_set_text_v9", "base", kCali9, kCaliSet, kSet | RYN_CALI_COMPAT_TEXT, kBaseCali,
     Input::text},
    // Base controller: version strings and the model configuration of each record version.
    {"base_version_strings", "base", nullptr, Operation::version, kGet | RYN_DEV_VERSION_STR, {"version"}},
    {"base_dev_get_0x103", "base", nullptr, kDevGet, kGet | kModel, kBaseModel},
    {"base_dev_get_0x101", "base", R"({"model_version": "0x101"})", kDevGet, kGet | kModel, kBaseModel},
    {"base_dev_get_0x100", "base", R"({"model_version": "0x100"})", kDevGet, kGet | kModel, kBaseModel},
    {"base_dev_get_0x102", "base", R"({"model_version": "0x102"})", kDevGet, kGet | kModel, kBaseModel},
    {"base_dev_set_0x102", "base", R"({"model_version": "0x102"})", kDevSet, kSet | kModel, kBaseModel,
     Input::edited_get, "model_name", "model_name=SWEPT"},
    {"base_dev_set_0x103", "base", nullptr, kDevSet, kSet | kModel, kBaseModel, Input::edited_get,
     "model_name", "model_name=SWEPT"},
    {"base_dev_set_0x101", "base", R"({"model_version": "0x101"})", kDevSet, kSet | kModel, kBaseModel,
     Input::edited_get, "model_name", "model_name=SWEPT"},
    // The other controllers and the six-camera devices: calibration and model configuration.
    {"5810_cali_get", "5810", nullptr, kCaliGet, kGet, kBaseCali},
    {"5810_cali_set", "5810", nullptr, kCaliSet, kSet, kBaseCali, Input::edited_get, "cam0_poly_c0", "cam0_poly_c0=7"},
    {"5810_dev_get", "5810", nullptr, kDevGet, kGet | kModel, kBaseModel},
    {"5810_dev_set", "5810", nullptr, kDevSet, kSet | kModel, kBaseModel, Input::edited_get,
     "model_name", "model_name=SWEPT"},
    {"5920_cali_get", "5920", nullptr, kCaliGet, kGet, kBaseCali},
    {"5920_cali_set", "5920", nullptr, kCaliSet, kSet, kBaseCali, Input::edited_get, "cam0_poly_c0", "cam0_poly_c0=7"},
    {"5920_dev_get", "5920", nullptr, kDevGet, kGet | kModel, kBaseModel},
    {"5920_dev_set", "5920", nullptr, kDevSet, kSet | kModel, kBaseModel, Input::edited_get,
     "model_name", "model_name=SWEPT"},
    {"6cam_4320_cali_get", "6cam", nullptr, kCaliGet, kGet, k6camCali},
    {"6cam_4320_cali_set", "6cam", nullptr, kCaliSet, kSet, k6camCali, Input::edited_get, "cam0_poly_c0", "cam0_poly_c0=7"},
    {"6cam_4320_dev_get", "6cam", nullptr, kDevGet, kGet | kModel, k6camModel},
    {"6cam_4320_dev_set", "6cam", nullptr, kDevSet, kSet | kModel, k6camModel, Input::edited_get,
     "model_name", "model_name=SWEPT"},
    {"6cam_dev1_cali_get", "6cam", nullptr, kCaliGet, kGet | kDev1, k6camCali},
    {"6cam_dev1_cali_set", "6cam", nullptr, kCaliSet, kSet | kDev1, k6camCali, Input::edited_get, "cam0_poly_c0", "cam0_poly_c0=7"},
    {"6cam_dev1_dev_get", "6cam", nullptr, kDevGet, kGet | kModel | kDev1, k6camModel},
    {"6cam_dev1_dev_set", "6cam", nullptr, kDevSet, kSet | kModel | kDev1, k6camModel, Input::edited_get,
     "model_name", "model_name=SWEPT"},
    {"6cam_dev2_cali_get", "6cam", nullptr, kCaliGet, kGet | kDev2, k6camCali},
    {"6cam_dev2_cali_set", "6cam", nullptr, kCaliSet, kSet | kDev2, k6camCali, Input::edited_get, "cam0_poly_c0", "cam0_poly_c0=7"},
    {"6cam_dev2_dev_get", "6cam", nullptr, kDevGet, kGet | kModel | kDev2, k6camModel},
    {"6cam_dev2_dev_set", "6cam", nullptr, kDevSet, kSet | kModel | kDev2, k6camModel, Input::edited_get,
     "model_name", "model_name=SWEPT"},
    // Base controller firmware: each generation's normal-code sequence, the
    // flash-layout update and the automatic choice between them.
    {"base_fw_g40", "base", R"({"updater_version": "2.0.0000.1"})", kFw, kNormal, kBaseFw, Input::none, nullptr, nullptr, base_image},
    {"base_fw_g52_old", "base", R"({"updater_version": "2.2.0000.1"})", kFw, kNormal, kBaseFw, Input::none, nullptr, nullptr, base_image},
    {"base_fw_g52", "base", R"({"updater_version": "2.3.1130.1"})", kFw, kNormal, kBaseFw, Input::none, nullptr, nullptr, base_image},
    {"base_fw_g53", "base", R"({"updater_version": "2.3.1311.2"})", kFw, kNormal, kBaseFw, Input::none, nullptr, nullptr, base_image},
    {"base_fw_g53_from_flash_builder", "base", R"({"updater_version": "2.3.1311.2", "fw_mode": "flashbuilder"})",
     kFw, kNormal, kBaseFw, Input::none, nullptr, nullptr, base_image},
    {"base_fw_layout_g40", "base", R"({"updater_version": "2.0.0000.1"})", kFw, kLayout, kBaseFw, Input::none, nullptr, nullptr,
     base_image, flash_builder},
    {"base_fw_layout_g53", "base", R"({"updater_version": "2.3.1204.1"})", kFw, kLayout, kBaseFw, Input::none, nullptr, nullptr,
     base_image, flash_builder},
    {"base_fw_auto_normal", "base", R"({"updater_version": "2.1.0925.1"})", kFw, kAuto, kBaseFw, Input::none, nullptr, nullptr,
     base_image, flash_builder},
    {"base_fw_auto_layout", "base", R"({"updater_version": "2.1.0925.0"})", kFw, kAuto, kBaseFw, Input::none, nullptr, nullptr,
     base_image, flash_builder},
    // The 5810 controller: flash mode, Maskrom, and a chip with an extended flash driver.
    {"5810_fw_normal", "5810", nullptr, kFw, kNormal, kOtherFw, Input::none, nullptr, nullptr, image_5810},
    {"5810_fw_layout", "5810", nullptr, kFw, kLayout, kOtherFw, Input::none, nullptr, nullptr, image_5810},
    {"5810_fw_maskrom_normal", "5810", R"({"fw_mode": "maskrom"})", kFw, kNormal, kOtherFw, Input::none, nullptr, nullptr,
     image_5810},
    {"5810_fw_maskrom_layout", "5810", R"({"fw_mode": "maskrom"})", kFw, kLayout, kOtherFw, Input::none, nullptr, nullptr,
     image_5810},
    {"5810_fw_extended_driver", "5810", R"({"flash_id": "0xC22016", "flash_driver": true})", kFw, kNormal, kOtherFw,
     Input::none, nullptr, nullptr, image_5810, nullptr, "C22016,0,7,{drv}\n"},
    // The banked 5920 controller.
    {"5920_fw_normal", "5920", nullptr, kFw, kNormal, kOtherFw, Input::none, nullptr, nullptr, banked_image},
    {"5920_fw_layout", "5920", nullptr, kFw, kLayout, kOtherFw, Input::none, nullptr, nullptr, banked_image},
    // The six-camera system: its LPC4320 controller (image headers 1.1 and 1.0) and its 5810 devices.
    {"6cam_4320_fw_normal", "6cam", nullptr, kFw, kNormal, k6camFw, Input::none, nullptr, nullptr, lpc4320_image_11},
    {"6cam_4320_fw_layout_v11", "6cam", nullptr, kFw, kLayout, k6camFw, Input::none, nullptr, nullptr, lpc4320_image_11},
    {"6cam_4320_fw_layout_v10", "6cam", nullptr, kFw, kLayout, k6camFw, Input::none, nullptr, nullptr, lpc4320_image_10},
    {"6cam_dev1_fw_normal", "6cam", nullptr, kFw, kNormal | kDev1, k6camFw, Input::none, nullptr, nullptr, image_5810},
    {"6cam_dev1_fw_layout", "6cam", nullptr, kFw, kLayout | kDev1, k6camFw, Input::none, nullptr, nullptr, image_5810},
    {"6cam_dev2_fw_normal", "6cam", nullptr, kFw, kNormal | kDev2, k6camFw, Input::none, nullptr, nullptr, image_5810},
    {"6cam_dev2_fw_layout", "6cam", nullptr, kFw, kLayout | kDev2, k6camFw, Input::none, nullptr, nullptr, image_5810},
};
// clang-format on

// What the paths state for a failure at a call, where that is more than "fail at once".
const Leeway kLeeway[] = {
    // A device that gives no platform code is one of an unknown platform,
    // which every operation refuses without a message.
    {.path = "", .operation = "ryn_check_platform", .silent = true},
    // The sensor switch before a SET's write is made for its effect; its
    // result is not used.
    {.path = "base_cali_set", .operation = "ryn_set_sensor_ctrl", .silent = true},
    {.path = "base_dev_set", .operation = "ryn_set_sensor_ctrl", .silent = true},
    // A device that cannot say its model configuration version is written in
    // the version its record was just read in.
    {.path = "base_dev_set", .operation = "ryn_get_dev_ver", .silent = true},
    // The layout CRC has no failure result: a wrong one goes out with the
    // layout, and the device's CRC verdict fails the update.
    {.path = "base_fw_layout",
     .operation = "ryn_calc_crc_flash_layout",
     .later_writes = {"ryn_set_update_hdr", "ryn_update_flash_code"}},
    {.path = "base_fw_auto_layout",
     .operation = "ryn_calc_crc_flash_layout",
     .later_writes = {"ryn_set_update_hdr", "ryn_update_flash_code"}},
    // The automatic mode decides by version numbers: an updater version that
    // does not convert means the oldest method, and an image version that does
    // not convert means a normal update; a wrong number decides otherwise.
    {.path = "base_fw_auto",
     .operation = "ryn_fw_ver_str_to_u64",
     .variant = Variant::both,
     .may_differ = {"layout", "version"}},
    // The version record and the firmware header are read, patched and
    // written back; the device library's records carry no checksum that
    // would show a corrupted read.
    {.path = "base_fw",
     .operation = "ryn_get_version_str",
     .variant = Variant::corrupt,
     .may_differ = {"version"}},
    {.path = "base_fw",
     .operation = "ryn_get_fw_ver_str",
     .variant = Variant::corrupt,
     .may_differ = {"version"}},
    {.path = "5920_fw",
     .operation = "ryn_get_fw_hdr",
     .variant = Variant::corrupt,
     .may_differ = {"fw-header"}},
};

// The device's records by name; a record the device does not hold (yet) is empty.
std::map<std::string, Bytes> snapshot(const std::vector<std::string> &names) {
    std::map<std::string, Bytes> out;
    for (const std::string &name : names) {
        size_t size = 0;
        Bytes &bytes = out[name];
        if (!ryn_sim_get_record(name.c_str(), nullptr, 0, &size)) continue;
        bytes.resize(size);
        ryn_sim_get_record(name.c_str(), bytes.data(), bytes.size(), &size);
    }
    return out;
}

// The records that differ between two snapshots, with the first byte that differs.
std::string differing(const std::map<std::string, Bytes> &a,
                      const std::map<std::string, Bytes> &b) {
    std::string out;
    for (const auto &[name, bytes] : a) {
        const Bytes &other = b.at(name);
        if (bytes == other) continue;
        const auto at =
            std::mismatch(bytes.begin(), bytes.end(), other.begin(), other.end()).first -
            bytes.begin();
        out += name + " (" + std::to_string(bytes.size()) + " vs " + std::to_string(other.size()) +
               " bytes, from byte " + std::to_string(at) + ") ";
    }
    return out;
}

// One run of a path, and what it showed.
struct Outcome {
    int32_t result = -1;
    Capture capture;
    std::vector<std::pair<uint32_t, size_t>> steps;  // step, and the trace length when reported
    uint32_t total = 0;
    std::vector<std::string> ops, texts;
    std::map<std::string, Bytes> records;

    static void on_message(void *self, const ryn_wchar *format, va_list args) {
        Capture::on_message(&static_cast<Outcome *>(self)->capture, format, args);
    }
    static void on_progress(void *self, uint32_t step, uint32_t total) {
        auto *run = static_cast<Outcome *>(self);
        run->steps.emplace_back(step, ryn_sim_trace_size());
        run->total = total;
    }
    template <class Block>
    void attach(Block &arg) {
        arg.user_data = this;
        arg.msg_fn = on_message;
        arg.progress_fn = on_progress;
    }
};

struct Fault {
    size_t k;
    bool corrupt;
};

class Sweep : public ::testing::TestWithParam<Path> {
  protected:
    void SetUp() override {
        dir_ = scratch_dir();
        platform::set_sleep_hook([](uint32_t) {});
    }
    void TearDown() override {
        platform::set_sleep_hook({});
        frame::set_definition_dir_for_testing(std::nullopt);
        ryn_sim_clear_faults();
    }

    // The files the path reads, made once: images, the flash driver list, the SET's input.
    void prepare(const Path &p) {
        if (p.image) image_ = write("image.bin", p.image());
        if (p.flash_builder) flash_builder_ = write("fb.bin", p.flash_builder());
        if (p.driver_list) {
            const Bytes driver = {0x16, 0x20, 0xC2, 0x00, 1, 2, 3, 4};  // names chip 0xC22016
            const std::u16string drv = write("drv.bin", driver);
            std::string list = p.driver_list;
            list.replace(list.find("{drv}"), 5, text::to_utf8(drv));
            write_file(dir_ / "ryn_flash_driver_list.ini", list);
            frame::set_definition_dir_for_testing(dir_.u16string() + u"/");
        }
        file_ = (dir_ / "file.ini").u16string();
        switch (p.input) {
            case Input::none:
                break;
            case Input::edited_get: {
                Path get = p;
                get.operation =
                    p.operation == Operation::cali_set ? Operation::cali_get : Operation::dev_get;
                get.flags = (p.flags & ~kSet) | kGet;
                const Outcome r = run(get, std::nullopt);
                ASSERT_EQ(r.result, 1) << text::to_utf8(r.capture.text());
                replace_ini_line(dir_ / "file.ini", p.edit_key, p.edit_line);
                break;
            }
            case Input::compact_ini:
                write_file(dir_ / "file.ini",
                           "[calibration]\r\ncam0_poly0=1 2 3 4 5 6\r\ncam1_thr=0.75\r\n");
                break;
            case Input::text:
                file_ = (dir_ / "cali.txt").u16string();
                write_file(dir_ / "cali.txt", utf16le(text_file()));
                break;
        }
    }

    std::u16string write(const std::string &name, const Bytes &bytes) {
        write_file(dir_ / name, std::string(bytes.begin(), bytes.end()));
        return (dir_ / name).u16string();
    }

    static bool is_get(const Path &p) {
        return p.operation == Operation::cali_get || p.operation == Operation::dev_get ||
               p.operation == Operation::version;
    }

    // A fresh device of the path's family, the fault armed, and the operation run.
    // Returns nothing in r.result (-1) when the fault cannot be armed.
    Outcome run(const Path &p, std::optional<Fault> fault, const Outcome *healthy = nullptr) {
        Outcome r;
        if (ryn_sim_create(p.family, p.options) == RYN_INVALID_HANDLE) {
            ADD_FAILURE() << p.name << ": " << ryn_sim_last_error();
            return r;
        }
        if (fault) {
            const std::string &op = healthy->ops[fault->k];
            const auto n = static_cast<uint32_t>(
                std::count(healthy->ops.begin(),
                           healthy->ops.begin() + static_cast<ptrdiff_t>(fault->k) + 1, op));
            const int32_t armed = fault->corrupt ? ryn_sim_corrupt(op.c_str(), n, 1, 0, 4)
                                                 : ryn_sim_fail(op.c_str(), n, 1);
            if (!armed) return r;
        }
        if (is_get(p)) fs::remove(dir_ / "file.ini");
        ryn_sim_trace_clear();
        if (p.operation == Operation::fw_update) {
            fw_update_arg arg;
            ryn_fw_update_init_arg(&arg, ryn_sim_handle(), w(image_),
                                   flash_builder_.empty() ? nullptr : w(flash_builder_), p.flags);
            r.attach(arg);
            arg.dev_reset_fn = reset_sim;
            arg.set_update_hdr_fn = switch_sim_to_update;
            r.result = ryn_fw_update(&arg);
        } else {
            cali_info_arg arg;
            ryn_cali_info_init_arg(&arg, ryn_sim_handle(), w(file_), p.flags);
            r.attach(arg);
            r.result = p.operation == Operation::cali_get || p.operation == Operation::cali_set
                           ? ryn_cali_info(&arg)
                           : ryn_dev_info(&arg);
        }
        for (size_t i = 0; i < ryn_sim_trace_size(); ++i) {
            r.ops.emplace_back(ryn_sim_trace_op(i));
            r.texts.emplace_back(ryn_sim_trace_text(i));
        }
        r.records = snapshot(p.records);
        return r;
    }

    fs::path dir_;
    std::u16string file_, image_, flash_builder_;
};

// The whole trace of a run, one call a line, the failed call marked.
std::string dump(const Outcome &r, size_t k) {
    std::ostringstream out;
    out << "result " << r.result << ", trace:\n";
    for (size_t i = 0; i < r.texts.size(); ++i)
        out << (i == k ? " >> " : "    ") << i << ": " << r.texts[i] << "\n";
    out << "messages:\n";
    for (const auto &m : r.capture.messages) out << "    " << text::to_utf8(m);
    out << "steps:";
    for (const auto &[step, at] : r.steps) out << " " << step << "@" << at;
    return out.str();
}

const Leeway *leeway(const Path &p, const std::string &op, bool corrupt) {
    for (const Leeway &l : kLeeway)
        if (std::string_view(p.name).starts_with(l.path) && op == l.operation &&
            (l.variant == Variant::both || (l.variant == Variant::corrupt) == corrupt))
            return &l;
    return nullptr;
}

// The records that differ between two snapshots, leaving out those allowed to.
std::map<std::string, Bytes> without(std::map<std::string, Bytes> records, const Leeway *l) {
    if (l)
        for (const std::string &name : l->may_differ) records.erase(name);
    return records;
}

TEST_P(Sweep, EveryCallFails) {
    const Path &p = GetParam();
    prepare(p);
    if (HasFatalFailure()) return;
    const Outcome healthy = run(p, std::nullopt);
    ASSERT_EQ(healthy.result, 1) << text::to_utf8(healthy.capture.text())
                                 << dump(healthy, SIZE_MAX);
    ASSERT_FALSE(healthy.ops.empty());
    // The device as created, for the runs that must leave it so.
    ryn_sim_create(p.family, p.options);
    const std::map<std::string, Bytes> untouched = snapshot(p.records);
    if (p.operation == Operation::cali_set || p.operation == Operation::dev_set) {
        EXPECT_NE(healthy.records, untouched)
            << "the healthy SET changes nothing, so it proves nothing";
    }

    size_t cases = 0;
    for (size_t k = 0; k < healthy.ops.size(); ++k) {
        const std::string &op = healthy.ops[k];
        for (bool corrupt : {false, true}) {
            const Outcome r = run(p, Fault{k, corrupt}, &healthy);
            if (r.result == -1) continue;  // no data to corrupt
            ++cases;
            const char *variant = corrupt ? "corrupt" : "fail";
            auto where = [&] {
                return std::string(p.name) + ", call " + std::to_string(k) + " (" + op + "), " +
                       variant + ":\n" + dump(r, k);
            };
            // The runs agree up to the call that failed.
            ASSERT_GT(r.ops.size(), k) << where();
            ASSERT_TRUE(std::equal(r.ops.begin(), r.ops.begin() + static_cast<ptrdiff_t>(k + 1),
                                   healthy.ops.begin()))
                << where();
            const Leeway *l = leeway(p, op, corrupt);
            // A failure ends with 0 and a message. A path may carry on past a failure it
            // states it can do without (or past a corrupted answer), but then it must end
            // where the healthy run ended, with the device in the same state.
            EXPECT_TRUE(r.result == 0 || r.result == 1) << where();
            if (r.result == 0 ? !(l && l->silent) : !corrupt && !(l && l->silent)) {
                EXPECT_FALSE(r.capture.messages.empty()) << where();
            }
            if (r.result == 1) {
                EXPECT_EQ(differing(without(r.records, l), without(healthy.records, l)), "")
                    << "a fault survived changes the outcome\n"
                    << where();
                EXPECT_TRUE(!r.steps.empty() && r.steps.back().first == healthy.total) << where();
                continue;
            }
            // Progress stops at the step it reached: the healthy run's steps, cut short
            // (a corrupted answer may lead elsewhere first), never the last one.
            EXPECT_TRUE(r.steps.empty() || r.steps.back().first < healthy.total) << where();
            if (!corrupt) {
                EXPECT_LE(r.steps.size(), healthy.steps.size()) << where();
                for (size_t i = 0; i < r.steps.size() && i < healthy.steps.size(); ++i)
                    EXPECT_EQ(r.steps[i].first, healthy.steps[i].first)
                        << "progress report " << i << "\n"
                        << where();
            }
            // The device: a GET leaves it as it was, a SET holds the old or the whole new
            // record, an update writes nothing after the failed call.
            switch (p.operation) {
                case Operation::cali_get:
                case Operation::dev_get:
                case Operation::version:
                    EXPECT_EQ(differing(r.records, untouched), "") << where();
                    break;
                case Operation::cali_set:
                case Operation::dev_set:
                    EXPECT_TRUE(r.records == untouched || r.records == healthy.records)
                        << "against the old: " << differing(r.records, untouched)
                        << "\nagainst the new: " << differing(r.records, healthy.records) << "\n"
                        << where();
                    break;
                case Operation::fw_update:
                    for (size_t i = k + 1; i < r.ops.size(); ++i) {
                        if (kWrites.count(r.ops[i])) {
                            EXPECT_TRUE(l && l->later_writes.count(r.ops[i]))
                                << "write after the failed call: " << r.texts[i] << "\n"
                                << where();
                        }
                    }
                    break;
            }
            // A SET writes its record once.
            if (p.operation == Operation::cali_set || p.operation == Operation::dev_set) {
                EXPECT_LE(std::count_if(r.ops.begin(), r.ops.end(),
                                        [](const std::string &o) { return kWrites.count(o) != 0; }),
                          1)
                    << where();
            }
        }
    }
    RecordProperty("calls", static_cast<int>(healthy.ops.size()));
    RecordProperty("cases", static_cast<int>(cases));
    std::printf("%s: %zu calls swept, %zu cases\n", p.name, healthy.ops.size(), cases);
}

INSTANTIATE_TEST_SUITE_P(Paths, Sweep, ::testing::ValuesIn(kPaths),
                         [](const ::testing::TestParamInfo<Path> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace ryn::test
