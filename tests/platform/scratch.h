// A fresh scratch folder per test, below RYN_TEST_TMP.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace ryn::platform::testing {

inline std::filesystem::path scratch_dir() {
    const char *root = std::getenv("RYN_TEST_TMP");
    const std::filesystem::path base =
        root != nullptr && *root != '\0'
            ? std::filesystem::path(root)
            : std::filesystem::temp_directory_path() / "ryn_platform_tests";
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (auto &c : name)
        if (c == '/') c = '_';  // parameterised test names hold '/'
    const auto dir = base / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline void write_file(const std::filesystem::path &path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace ryn::platform::testing
