#include "sim/json_util.h"

#include <cstdio>

namespace ryn::sim {

namespace {

constexpr int kMaxDepth = 16;

struct TooDeep {};

std::string quoted(std::string_view what) {
    return std::string(what);
}

}  // namespace

json parse_json(std::string_view text, std::string_view what) {
    try {
        return json::parse(text.begin(), text.end(), [](int depth, json::parse_event_t, json &) {
            if (depth > kMaxDepth) throw TooDeep{};
            return true;
        });
    } catch (const TooDeep &) {
        throw SimError(quoted(what) + ": nesting deeper than " + std::to_string(kMaxDepth) +
                       " levels");
    } catch (const json::exception &e) {
        throw SimError(quoted(what) + ": not valid JSON (" + e.what() + ")");
    }
}

void check_object(const json &obj, std::initializer_list<std::string_view> allowed,
                  std::string_view what) {
    if (!obj.is_object()) throw SimError(quoted(what) + ": must be a JSON object");
    for (const auto &item : obj.items()) {
        bool known = false;
        for (std::string_view a : allowed) known = known || item.key() == a;
        if (!known) throw SimError(quoted(what) + ": unknown key \"" + item.key() + "\"");
    }
}

uint64_t to_uint(const json &value, uint64_t min, uint64_t max, std::string_view what,
                 bool lenient) {
    uint64_t v = 0;
    if (value.is_number_unsigned()) {
        v = value.get<uint64_t>();
    } else if (value.is_number_integer()) {
        throw SimError(quoted(what) + ": must not be negative");
    } else if (lenient && value.is_string()) {
        const std::string &s = value.get_ref<const std::string &>();
        std::string_view digits = s;
        int base = 10;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            digits.remove_prefix(2);
        }
        if (digits.empty() || digits.size() > 16)
            throw SimError(quoted(what) + ": \"" + s + "\" is not a number");
        for (char c : digits) {
            int d = c >= '0' && c <= '9'                 ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
            if (d < 0) throw SimError(quoted(what) + ": \"" + s + "\" is not a number");
            if (v > (UINT64_MAX - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base))
                throw SimError(quoted(what) + ": \"" + s + "\" is out of range");
            v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        }
    } else {
        throw SimError(quoted(what) + ": must be an unsigned integer");
    }
    if (v < min || v > max) {
        char range[64];
        std::snprintf(range, sizeof range, "%#llx..%#llx", static_cast<unsigned long long>(min),
                      static_cast<unsigned long long>(max));
        throw SimError(quoted(what) + ": " + std::to_string(v) + " is outside " + range);
    }
    return v;
}

int64_t to_int(const json &value, std::string_view what) {
    if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<int64_t>();
    if (value.is_number_unsigned() && value.get<uint64_t>() <= uint64_t{INT64_MAX})
        return static_cast<int64_t>(value.get<uint64_t>());
    throw SimError(quoted(what) + ": must be a 64-bit signed integer");
}

std::string to_string(const json &value, std::string_view what) {
    if (!value.is_string()) throw SimError(quoted(what) + ": must be a string");
    return value.get<std::string>();
}

bool to_bool(const json &value, std::string_view what) {
    if (!value.is_boolean()) throw SimError(quoted(what) + ": must be true or false");
    return value.get<bool>();
}

std::string to_hex(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        s.push_back(digits[b >> 4]);
        s.push_back(digits[b & 15]);
    }
    return s;
}

Bytes from_hex(std::string_view text, std::string_view what) {
    if (text.size() % 2 != 0) throw SimError(quoted(what) + ": hex text of odd length");
    auto nibble = [&](char c) -> uint8_t {
        if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
        if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
        throw SimError(quoted(what) + ": '" + std::string(1, c) + "' is not a hex digit");
    };
    Bytes out(text.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<uint8_t>(nibble(text[2 * i]) << 4 | nibble(text[2 * i + 1]));
    return out;
}

std::u16string utf8_to_utf16(std::string_view text, std::string_view what) {
    std::u16string out;
    size_t i = 0;
    auto bad = [&]() { return SimError(quoted(what) + ": not valid UTF-8"); };
    while (i < text.size()) {
        auto b = static_cast<uint8_t>(text[i]);
        uint32_t cp = 0;
        size_t extra = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F, extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F, extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07, extra = 3;
        } else {
            throw bad();
        }
        if (extra > text.size() - i - 1) throw bad();
        for (size_t k = 1; k <= extra; ++k) {
            auto c = static_cast<uint8_t>(text[i + k]);
            if ((c & 0xC0) != 0x80) throw bad();
            cp = cp << 6 | (c & 0x3F);
        }
        static constexpr uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) throw bad();
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 | cp >> 10));
            out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

std::string printable(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F && c != u'"' && c != u'\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            out += esc;
        }
    }
    return out;
}

std::optional<uint64_t> version_number(std::u16string_view t) {
    uint64_t out = 0;
    size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= t.size() || t[i] != u'.') return std::nullopt;
            ++i;
        }
        size_t start = i;
        uint32_t v = 0;
        for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i) {
            v = v * 10 + static_cast<uint32_t>(t[i] - u'0');
            if (v > 0xFFFF) return std::nullopt;
        }
        if (i == start) return std::nullopt;
        out = out << 16 | v;
    }
    if (i != t.size()) return std::nullopt;
    return out;
}

std::u16string serial_text(const json &value) {
    const std::string what = "options \"serial_num\"";
    std::u16string text = utf8_to_utf16(to_string(value, what), what);
    if (text.empty() || text.size() > 19) throw SimError(what + ": 1 to 19 characters");
    return text;
}

}  // namespace ryn::sim
