#include "platform/encoding.h"

namespace ryn::platform {

namespace {

constexpr char16_t replacement = 0xFFFD;

bool is_continuation(uint8_t b) {
    return (b & 0xC0) == 0x80;
}

// Length and code point of the valid UTF-8 sequence at the start of bytes;
// 0 when the bytes there are not one.
size_t utf8_sequence(std::span<const uint8_t> bytes, char32_t &cp) {
    const uint8_t lead = bytes[0];
    size_t len;
    char32_t min;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        len = 2, min = 0x80, cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        len = 3, min = 0x800, cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        len = 4, min = 0x10000, cp = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < len) return 0;
    for (size_t i = 1; i < len; ++i) {
        if (!is_continuation(bytes[i])) return 0;
        cp = (cp << 6) | (bytes[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void append_utf16(std::u16string &out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void append_utf8(std::string &out, char32_t cp) {
    auto put = [&out](unsigned v) { out.push_back(static_cast<char>(v)); };
    if (cp < 0x80) {
        put(cp);
    } else if (cp < 0x800) {
        put(0xC0 | (cp >> 6));
        put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        put(0xE0 | (cp >> 12));
        put(0x80 | ((cp >> 6) & 0x3F));
        put(0x80 | (cp & 0x3F));
    } else {
        put(0xF0 | (cp >> 18));
        put(0x80 | ((cp >> 12) & 0x3F));
        put(0x80 | ((cp >> 6) & 0x3F));
        put(0x80 | (cp & 0x3F));
    }
}

bool is_high_surrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

std::span<const uint8_t> byte_order_mark(Encoding enc) {
    static constexpr uint8_t utf8[] = {0xEF, 0xBB, 0xBF};
    static constexpr uint8_t utf16le[] = {0xFF, 0xFE};
    static constexpr uint8_t utf16be[] = {0xFE, 0xFF};
    switch (enc) {
        case Encoding::Utf8Bom:
            return utf8;
        case Encoding::Utf16LE:
            return utf16le;
        case Encoding::Utf16BE:
            return utf16be;
        case Encoding::Bytes8:
            break;
    }
    return {};
}

std::u16string decode_8bit(std::span<const uint8_t> bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        const size_t len = utf8_sequence(bytes.subspan(i), cp);
        if (len == 0) {
            out.push_back(bytes[i]);  // Latin-1: the byte is the code point
            ++i;
        } else {
            append_utf16(out, cp);
            i += len;
        }
    }
    return out;
}

std::u16string decode_utf16(std::span<const uint8_t> bytes, bool big_endian) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned first = bytes[i], second = bytes[i + 1];
        out.push_back(
            static_cast<char16_t>(big_endian ? first << 8 | second : second << 8 | first));
    }
    return out;
}

bool encode_utf8(std::u16string_view s, std::string &out) {
    bool exact = true;
    out.reserve(out.size() + s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (is_high_surrogate(c) && i + 1 < s.size() && is_low_surrogate(s[i + 1])) {
            append_utf8(out,
                        0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{s[i + 1]} - 0xDC00));
            ++i;
        } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
            append_utf8(out, replacement);
            exact = false;
        } else {
            append_utf8(out, c);
        }
    }
    return exact;
}

}  // namespace ryn::platform
