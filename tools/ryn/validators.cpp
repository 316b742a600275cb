// Validators of the command line and the user's error line.
#include <cstdio>

#include "cli.h"
#include "report.h"

namespace ryn::cli {

void print_error(const std::string &text) { Report::of_run().error(text); }

namespace {

std::string show(uint64_t value, bool hex) {
    char buf[32];
    std::snprintf(buf, sizeof buf, hex ? "0x%llx" : "%llu", static_cast<unsigned long long>(value));
    return buf;
}

bool parse_whole(const std::string &text, uint64_t &value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 16 || (!hex && digits.size() > 1 && digits[0] == '0')) return false;
    value = 0;
    for (char c : digits) {
        unsigned d;
        if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
        else return false;
        const unsigned base = hex ? 16 : 10;
        if (value > (UINT64_MAX - d) / base) return false;
        value = value * base + d;
    }
    return true;
}

}  // namespace

CLI::Validator number_in(uint64_t min, uint64_t max) {
    // Ranges of record versions read better in hexadecimal, counts in decimal.
    const bool hex = min >= 0x100;
    const std::string range = "from " + show(min, hex) + " to " + show(max, hex);
    return CLI::Validator(
        [min, max, range](std::string &text) -> std::string {
            uint64_t value;
            if (!parse_whole(text, value) || value < min || value > max)
                return "'" + text + "' is not a number " + range;
            return {};
        },
        "");
}

CLI::Validator name_in(const std::string &what, const std::vector<std::string> &names) {
    std::string list;
    for (const auto &name : names) list += (list.empty() ? "" : ", ") + name;
    return CLI::Validator(
        [what, names, list](std::string &text) -> std::string {
            for (const auto &name : names)
                if (text == name) return {};
            return "unknown " + what + " '" + text + "' (choose one of: " + list + ")";
        },
        "");
}

CLI::Validator six_cam_device() {
    return CLI::Validator(
        [](std::string &text) -> std::string {
            std::string lower;
            for (const char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            if (lower == "lpc") text = "255";
            if (text == "255" || text == "1" || text == "2") return {};
            return "unknown six-camera device '" + text +
                   "' (choose one of: 255 or lpc for the LPC4320 controller, 1 or 2 for a 5810 device)";
        },
        "");
}

}  // namespace ryn::cli
