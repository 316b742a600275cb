// Test support: a fresh scratch folder per test, named after the test, below
// $RYN_TEST_TMP (which CTest sets per suite), and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "support/scratch_dir.h"

namespace ryn::test {

inline std::filesystem::path scratch_dir() {
    const char *root = std::getenv("RYN_TEST_TMP");
    const std::filesystem::path base =
        root && *root ? std::filesystem::path(root) : support::scratch_root() / "ryn_tests";
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    for (char &c : name)
        if (c == '/') c = '_';  // parameterised test names hold '/'
    const std::filesystem::path dir = base / name;
    support::make_fresh_dir(dir);
    return dir;
}

inline std::string read_file(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path &p, std::string_view bytes) {
    support::write_bytes(p, bytes);
}

// Replaces the CRLF-ended line "key=..." of an INI file written by the
// library (removes it when line is empty).
inline void replace_ini_line(const std::filesystem::path &p, const std::string &key,
                             const std::string &line) {
    std::string text = read_file(p);
    const size_t at = text.find("\r\n" + key + "=");
    ASSERT_NE(at, std::string::npos) << key;
    const size_t end = text.find("\r\n", at + 2);
    text.replace(at + 2, end + 2 - (at + 2), line.empty() ? "" : line + "\r\n");
    write_file(p, text);
}

inline std::u16string u16(const std::filesystem::path &p) { return p.u16string(); }

}  // namespace ryn::test
