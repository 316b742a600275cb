// UTF-8 <-> UTF-16. Anything that is not a well-formed scalar value (an
// unpaired surrogate; a bad, overlong, surrogate or out-of-range UTF-8
// sequence) is either refused by the scalar decoder (its callers decide what
// the bytes become) or, in whole-string conversion, becomes U+FFFD.
#include "text/utf.h"

namespace ryn::text {
namespace {

// One UTF-8 sequence at the start of a non-empty byte run.
struct Utf8Sequence {
    size_t length;  // bytes of the scalar, or of the maximal ill-formed subpart (at least 1)
    bool valid;     // a complete, shortest-form scalar value
};

Utf8Sequence read_sequence(std::span<const uint8_t> bytes, char32_t &cp) {
    const uint8_t lead = bytes[0];
    if (lead < 0x80) {
        cp = lead;
        return {1, true};
    }
    // The lead byte gives the number of continuation bytes, the initial bits
    // and the allowed range of the first continuation byte, which excludes
    // overlong forms, surrogates and values above U+10FFFF.
    size_t more;
    uint8_t lo = 0x80, hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;
    } else {
        return {1, false};
    }
    for (size_t i = 1; i <= more; ++i) {
        // A missing or out-of-range byte ends the subpart and starts the next sequence.
        if (i >= bytes.size() || bytes[i] < lo || bytes[i] > hi) return {i, false};
        cp = (cp << 6) | (bytes[i] & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    return {more + 1, true};
}

}  // namespace

size_t decode_utf8(std::span<const uint8_t> bytes, char32_t &cp) {
    if (bytes.empty()) return 0;
    const Utf8Sequence seq = read_sequence(bytes, cp);
    return seq.valid ? seq.length : 0;
}

void append_utf8(std::string &out, char32_t c) {
    auto byte = [&](unsigned v) { out.push_back(static_cast<char>(v)); };
    if (c < 0x80) {
        byte(c);
    } else if (c < 0x800) {
        byte(0xC0 | (c >> 6));
        byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        byte(0xE0 | (c >> 12));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    } else {
        byte(0xF0 | (c >> 18));
        byte(0x80 | ((c >> 12) & 0x3F));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    }
}

void append_utf16(std::u16string &out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

bool append_utf8(std::string &out, std::u16string_view s) {
    bool exact = true;
    for (size_t i = 0; i < s.size(); ++i) {
        // A run of ASCII, the common case, goes in at once.
        char narrow[256];
        size_t run = 0;
        while (run < sizeof narrow && i + run < s.size() && s[i + run] < 0x80) {
            narrow[run] = static_cast<char>(s[i + run]);
            ++run;
        }
        if (run > 0) {
            out.append(narrow, run);
            i += run - 1;
            continue;
        }
        char32_t c = s[i];
        if (is_high_surrogate(c) && i + 1 < s.size() && is_low_surrogate(s[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        } else if (is_surrogate(c)) {
            c = replacement_character;
            exact = false;
        }
        append_utf8(out, c);
    }
    return exact;
}

std::string to_utf8(std::u16string_view s, bool *exact) {
    std::string out;
    out.reserve(s.size());
    const bool all = append_utf8(out, s);
    if (exact) *exact = all;
    return out;
}

namespace {

// Decodes UTF-8, handing each maximal ill-formed subpart to invalid(out, bytes).
template <class OnInvalid>
std::u16string decode_utf8_string(std::string_view s, OnInvalid invalid) {
    const std::span bytes(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const Utf8Sequence seq = read_sequence(bytes.subspan(i), cp);
        if (seq.valid) append_utf16(out, cp);
        else invalid(out, bytes.subspan(i, seq.length));
        i += seq.length;
    }
    return out;
}

constexpr char16_t escaped_byte_base = 0xDC00;  // U+DC80..U+DCFF stand for bytes 0x80..0xFF

}  // namespace

std::u16string from_utf8(std::string_view s) {
    return decode_utf8_string(s, [](std::u16string &out, std::span<const uint8_t>) {
        append_utf16(out, replacement_character);
    });
}

std::u16string from_os_bytes(std::string_view s) {
    return decode_utf8_string(s, [](std::u16string &out, std::span<const uint8_t> bad) {
        for (const uint8_t b : bad) out += static_cast<char16_t>(escaped_byte_base + b);
    });
}

bool to_os_bytes(std::u16string_view s, std::string &out) {
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (is_high_surrogate(c) && i + 1 < s.size() && is_low_surrogate(s[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        } else if (c >= escaped_byte_base + 0x80 && c <= escaped_byte_base + 0xFF) {
            out += static_cast<char>(c - escaped_byte_base);
            continue;
        } else if (is_surrogate(c)) {
            return false;
        }
        append_utf8(out, c);
    }
    return true;
}

}  // namespace ryn::text
