// Support of the firmware-update tests: images from the builder, a simulated
// base controller, an argument block with the callbacks a host passes, and
// the device trace.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "fwupdate/base/image.h"
#include "fwupdate/build/image_builder.h"
#include "platform/console.h"
#include "ryn_hid.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "support/capture.h"
#include "support/sim_host.h"
#include "support/tmpdir.h"
#include "text/text.h"

namespace ryn::fwupdate::test {

using ryn::test::Capture;
using H = ImageHeader;
using VR = devinfo::VersionRecord;

// The host's callbacks: a reset reopens the simulated device; the update-mode
// callback requests update mode and reopens it.
using ryn::test::reset_sim;
using ryn::test::switch_sim_to_update;

inline uint32_t word(const Bytes &b, const layout::Field &f) {
    return static_cast<uint32_t>(f.get(b));
}

// The bytes of a base image's section, by its header fields.
inline std::span<uint8_t> section(Bytes &image, const layout::Field &ofs,
                                  const layout::Field &len) {
    return std::span<uint8_t>(image).subspan(H::block_size + word(image, ofs), word(image, len));
}

// Changes a header field, and the fw header section (the header's copy) with it.
inline void set_header_field(Bytes &image, const layout::Field &f, uint32_t value) {
    const bool in_copy = f.end() <= H::header_size;
    f.put(image, value);
    if (in_copy) f.put(section(image, H::fw_header_ofs, H::fw_header_len), value);
}

// Rewrites a section's CRC field after a deliberate change of its bytes.
inline void fix_crc(Bytes &image, const layout::Field &ofs, const layout::Field &len,
                    const layout::Field &crc) {
    std::span<uint8_t> s = section(image, ofs, len);
    set_header_field(image, crc, ryn_calc_crc(s.data(), static_cast<uint32_t>(s.size())));
}

// Sets the normal version text inside a built image (no length check, so a
// test can place one the builder refuses) and fixes its CRC.
inline void set_image_normal_version(Bytes &image, const std::u16string &text) {
    std::span<uint8_t> record = section(image, H::version_ofs, H::version_len);
    std::span<uint8_t> field = VR::normal.bytes(record);
    std::fill(field.begin(), field.end(), uint8_t{0});
    for (size_t i = 0; i < text.size() && 2 * i + 1 < field.size(); ++i)
        layout::Field{"", 2 * i, 2}.put(field, text[i]);
    fix_crc(image, H::version_ofs, H::version_len, H::version_crc);
}

// Names of the traced operations, in order (resets as "reset").
inline std::vector<std::string> trace_ops() {
    std::vector<std::string> ops;
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i) ops.emplace_back(ryn_sim_trace_op(i));
    return ops;
}

// The traced operations that reach the device (all but the handle-free
// conversions and CRCs).
inline std::vector<std::string> device_ops() {
    std::vector<std::string> ops;
    for (const std::string &op : trace_ops())
        if (op != "ryn_calc_crc" && op != "ryn_calc_crc_flash_layout" &&
            op != "ryn_fw_ver_str_to_u64")
            ops.push_back(op);
    return ops;
}

inline std::vector<uint8_t> sim_record(const char *name) {
    size_t size = 0;
    if (!ryn_sim_get_record(name, nullptr, 0, &size)) return {};
    std::vector<uint8_t> bytes(size);
    ryn_sim_get_record(name, bytes.data(), bytes.size(), &size);
    return bytes;
}

inline std::u16string device_version(const layout::Field &f) {
    return layout::utf16_field(sim_record("version"), f);
}

// A msg_fn that keeps the raw format of every message, as a host receives it
// before any formatting.
struct RawFormats {
    std::vector<std::u16string> formats;
    static void on_message(void *user_data, const ryn_wchar *format, va_list) {
        static_cast<RawFormats *>(user_data)->formats.emplace_back(ryn::test::as_u16(format));
    }
    // Takes over the block's user_data: progress is not reported.
    void attach(fw_update_arg &arg) {
        arg.user_data = this;
        arg.msg_fn = on_message;
        arg.progress_fn = nullptr;
    }
};

class FwTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ryn::test::scratch_dir();
        platform::set_sleep_hook([this](uint32_t ms) { waits_.push_back(ms); });
    }
    void TearDown() override { platform::set_sleep_hook({}); }

    // A simulated base controller made with the given options (JSON).
    void create_device(const char *options = nullptr) {
        ASSERT_NE(ryn_sim_create("base", options), RYN_INVALID_HANDLE) << ryn_sim_last_error();
    }

    // A simulated base controller with this updater version, in this firmware mode.
    void create_generation(const std::string &updater, const char *fw_mode = "normal") {
        const std::string options =
            R"({"updater_version": ")" + updater + R"(", "fw_mode": ")" + fw_mode + R"("})";
        create_device(options.c_str());
    }

    // Writes a file in the test's folder; the returned path lives as long as the test.
    const std::u16string &write(const std::string &name, const Bytes &bytes) {
        ryn::test::write_file(dir_ / name, std::string(bytes.begin(), bytes.end()));
        paths_.push_back((dir_ / name).u16string());
        return paths_.back();
    }

    // The argument block of an update of image, with every callback set.
    fw_update_arg block(const std::u16string &image, uint32_t mode = RYN_UPDATE_NORMAL,
                        const std::u16string *flash_builder = nullptr) {
        fw_update_arg arg;
        ryn_fw_update_init_arg(&arg, ryn_sim_handle(), ryn::test::w(image),
                               flash_builder ? ryn::test::w(*flash_builder) : nullptr, mode);
        capture_.attach(arg);
        arg.dev_reset_fn = reset_sim;
        arg.set_update_hdr_fn = switch_sim_to_update;
        return arg;
    }

    // ryn_fw_update of the image bytes on the current device, trace cleared first.
    int32_t update(const Bytes &image, uint32_t mode = RYN_UPDATE_NORMAL,
                   const Bytes *flash_builder = nullptr) {
        const std::u16string &path = write("image.bin", image);
        const std::u16string *fb = flash_builder ? &write("fb.bin", *flash_builder) : nullptr;
        arg_ = block(path, mode, fb);
        ryn_sim_trace_clear();
        return ryn_fw_update(&arg_);
    }

    bool has_message(const std::u16string &m) const {
        return std::find(capture_.messages.begin(), capture_.messages.end(), m) !=
               capture_.messages.end();
    }

    std::vector<uint32_t> steps() const {
        std::vector<uint32_t> s;
        for (const auto &[step, total] : capture_.steps) s.push_back(step);
        return s;
    }

    std::filesystem::path dir_;
    std::list<std::u16string> paths_;
    std::vector<uint32_t> waits_;
    Capture capture_;
    fw_update_arg arg_{};
};

}  // namespace ryn::fwupdate::test
