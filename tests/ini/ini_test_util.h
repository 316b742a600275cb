// Helpers of the INI store tests: scratch folders, raw file bytes and the
// byte forms a text takes in each file encoding.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace ini_test {

namespace fs = std::filesystem;

// A fresh folder for the running test below $RYN_TEST_TMP.
inline fs::path scratch() {
    const char *root = std::getenv("RYN_TEST_TMP");
    const fs::path base = root && *root ? fs::path(root) : fs::temp_directory_path() / "ryn_ini";
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char &c : name)
        if (c == '/') c = '_';
    const fs::path dir = base / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

inline std::string read_bytes(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const fs::path &p, const std::string &bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

inline std::u16string u16(const fs::path &p) {
    return p.u16string();
}

// Every entry below dir (names relative to dir), to show what a write left
// behind. Symbolic links are listed, not followed.
inline std::set<std::string> listing(const fs::path &dir, const fs::path &prefix = {}) {
    std::set<std::string> names;
    for (const auto &e : fs::directory_iterator(dir)) {
        const fs::path name = prefix / e.path().filename();
        names.insert(name.string());
        if (!e.is_symlink() && e.is_directory()) names.merge(listing(e.path(), name));
    }
    return names;
}

enum class Form { Utf8, Utf8Bom, Utf16Le, Utf16Be };

inline const char *form_name(Form f) {
    switch (f) {
        case Form::Utf8:
            return "utf8";
        case Form::Utf8Bom:
            return "utf8bom";
        case Form::Utf16Le:
            return "utf16le";
        case Form::Utf16Be:
            return "utf16be";
    }
    return "?";
}

// The bytes of a text (BMP characters only) in form f, with its byte-order mark.
inline std::string encode(std::u16string_view text, Form f) {
    std::string out;
    if (f == Form::Utf8Bom) out = "\xEF\xBB\xBF";
    if (f == Form::Utf16Le) out = "\xFF\xFE";
    if (f == Form::Utf16Be) out = "\xFE\xFF";
    for (char16_t c : text) {
        if (f == Form::Utf16Le || f == Form::Utf16Be) {
            const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
            out += f == Form::Utf16Be ? std::string{hi, lo} : std::string{lo, hi};
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// text with every "\n" replaced by eol.
inline std::u16string with_eol(std::u16string_view text, std::u16string_view eol) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'\n')
            out += eol;
        else
            out += c;
    }
    return out;
}

}  // namespace ini_test
