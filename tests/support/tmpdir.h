// Test support: a fresh scratch folder per test, below $RYN_TEST_TMP.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace ryn::test {

inline std::filesystem::path scratch_dir() {
    const char *root = std::getenv("RYN_TEST_TMP");
    std::filesystem::path base = root && *root ? root : std::filesystem::temp_directory_path() / "ryn_tests";
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    for (char &c : name)
        if (c == '/') c = '_';
    std::filesystem::path dir = base / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string read_file(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path &p, const std::string &bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

inline std::u16string u16(const std::filesystem::path &p) { return p.u16string(); }

}  // namespace ryn::test
