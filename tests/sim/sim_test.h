// Helpers shared by the simulator's tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/ryn_sim.h"

namespace ryn::sim::test {

// A UTF-16 literal as the device library's text type (wchar_t on Windows).
inline const ryn_wchar *wtext(const char16_t *s) {
    return reinterpret_cast<const ryn_wchar *>(s);
}

// The trace name of a handle the simulator issued.
inline std::string H(ryn_handle h) {
    return "h" + std::to_string(h & 0xFFFFFFFFu);
}

inline std::vector<std::string> trace_texts() {
    std::vector<std::string> out;
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i) out.emplace_back(ryn_sim_trace_text(i));
    return out;
}

inline std::string last_trace() {
    size_t n = ryn_sim_trace_size();
    return n ? ryn_sim_trace_text(n - 1) : "";
}

inline ryn_handle create_base(const char *options = nullptr) {
    ryn_handle h = ryn_sim_create("base", options);
    EXPECT_NE(h, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    return h;
}

inline std::vector<uint8_t> record(const char *name) {
    size_t size = 0;
    EXPECT_EQ(ryn_sim_get_record(name, nullptr, 0, &size), 1) << ryn_sim_last_error();
    std::vector<uint8_t> bytes(size);
    EXPECT_EQ(ryn_sim_get_record(name, bytes.data(), bytes.size(), &size), 1);
    return bytes;
}

// A fresh folder below RYN_TEST_TMP for one test.
inline std::filesystem::path scratch_dir() {
    const char *root = std::getenv("RYN_TEST_TMP");
    std::filesystem::path dir =
        root ? root : std::filesystem::temp_directory_path() / "ryn_sim_tests";
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir /= std::string(info->test_suite_name()) + "." + info->name();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace ryn::sim::test
