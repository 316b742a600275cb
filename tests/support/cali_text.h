// Test support: files of the line-oriented calibration text form.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ryn::test {

// A complete text file: 162 data lines with comment lines among them.
inline std::string text_file(const std::vector<std::pair<size_t, std::string>> &replace = {},
                             size_t lines = 162) {
    std::vector<std::string> data(lines, "x");
    auto set = [&](size_t n, const std::string &s) {
        if (n < data.size()) data[n] = s;
    };
    for (size_t j = 0; j < 6; ++j) set(3 + j, std::to_string(j + 1) + " 2.5 -3 4e1 0.125");
    for (size_t c = 0; c < 4; ++c)
        set(9 + c, "(" + std::to_string(10 + c) + ",-" + std::to_string(20 + c) + ")");
    for (size_t c = 0; c < 3; ++c)
        set(13 + c, std::to_string(c) + ".75 # a hash later has no meaning");
    for (size_t c = 0; c < 3; ++c) set(16 + c, std::to_string(c));
    for (size_t i = 0; i < 15; ++i) set(19 + i, std::to_string(1000 + i));
    for (size_t c = 0; c < 3; ++c) {
        set(123 + c, "1 " + std::to_string(0x155 + c));
        set(126 + c, "0 " + std::to_string(7 + c));
        set(159 + c, "1 " + std::to_string(17 + c));
    }
    for (const auto &[n, s] : replace) set(n, s);
    std::string out = "# calibration text\n";
    for (size_t n = 0; n < data.size(); ++n) {
        out += data[n] + "\n";
        if (n % 40 == 5) out += "#comment between data lines\n";
    }
    return out;
}

// The text form is UTF-16LE unless a byte-order mark says otherwise.
inline std::string utf16le(const std::string &ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace ryn::test
