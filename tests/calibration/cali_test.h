// Helpers of the calibration tests: a simulated base controller, definition
// files of the test's own, and requests through the exported operation.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "frame/definitions.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "support/capture.h"
#include "support/tmpdir.h"

namespace ryn::test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Steps = std::vector<std::pair<uint32_t, uint32_t>>;

inline float f32_at(const Bytes &b, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return std::bit_cast<float>(v);
}
inline void put_f32_at(Bytes &b, size_t at, float f) {
    const uint32_t v = std::bit_cast<uint32_t>(f);
    std::memcpy(b.data() + at, &v, 4);
}
inline unsigned u16_at(const Bytes &b, size_t at) {
    return b[at] | b[at + 1] << 8;
}

class CaliTest : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = scratch_dir(); }
    void TearDown() override { frame::set_definition_dir_for_testing(std::nullopt); }

    void create(unsigned version) {
        const std::string options = "{\"cali_version\": " + std::to_string(version) + "}";
        handle_ = ryn_sim_create("base", options.c_str());
        ASSERT_NE(handle_, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    }

    // A definition file of the test's own, found through the directory seam.
    void definitions(const std::string &text) {
        write_file(dir_ / "ryn_cali_info_param_def.ini", text);
        frame::set_definition_dir_for_testing((dir_ / "").u16string());
    }

    // ryn_cali_info on file with the flags; messages and steps in capture_.
    int32_t request(const fs::path &file, uint32_t flags) {
        path_ = file.u16string();
        cali_info_arg arg;
        ryn_cali_info_init_arg(&arg, ryn_sim_handle(), w(path_), flags);
        capture_ = {};
        capture_.attach(arg);
        ryn_sim_trace_clear();
        return ryn_cali_info(&arg);
    }
    int32_t get(const fs::path &file) { return request(file, RYN_FLAG_GET); }
    int32_t set(const fs::path &file, uint32_t form = 0) {
        return request(file, RYN_FLAG_SET | form);
    }

    static Bytes cali() {
        size_t size = 0;
        EXPECT_EQ(ryn_sim_get_record("cali", nullptr, 0, &size), 1) << ryn_sim_last_error();
        Bytes bytes(size);
        EXPECT_EQ(ryn_sim_get_record("cali", bytes.data(), bytes.size(), &size), 1);
        return bytes;
    }
    static void put_cali(const Bytes &b) {
        ASSERT_EQ(ryn_sim_set_record("cali", b.data(), b.size()), 1) << ryn_sim_last_error();
    }

    // Whether the last request called an operation (by its trace name).
    static bool called(const std::string &op) {
        for (size_t i = 0; i < ryn_sim_trace_size(); ++i)
            if (op == ryn_sim_trace_op(i)) return true;
        return false;
    }

    // Messages of the last request, one string each, as UTF-8.
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto &m : capture_.messages) out.push_back(text_of(m));
        return out;
    }
    static std::string text_of(const std::u16string &s) { return std::string(s.begin(), s.end()); }
    std::string path8() const { return text_of(path_); }

    fs::path dir_;
    std::u16string path_;
    ryn_handle handle_ = RYN_INVALID_HANDLE;
    Capture capture_;
};

}  // namespace ryn::test
