// UTF-8 <-> UTF-16. Anything that is not a well-formed scalar value (an
// unpaired surrogate; a bad, overlong, surrogate or out-of-range UTF-8
// sequence) becomes U+FFFD, one per maximal ill-formed subpart, so the
// decoder never swallows the valid text that follows a bad byte.
#include "text/text.h"

namespace ryn::text {
namespace {

constexpr char32_t replacement = 0xFFFD;

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

bool is_high_surrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

std::string to_utf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (is_high_surrogate(c) && i + 1 < s.size() && is_low_surrogate(s[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
            c = replacement;
        }
        append_utf8(out, c);
    }
    return out;
}

std::u16string from_utf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i++]);
        if (b < 0x80) {
            out.push_back(b);
            continue;
        }
        // lead byte: number of continuation bytes, initial bits, and the
        // allowed range of the first continuation byte (which excludes
        // overlong forms, surrogates and values above U+10FFFF)
        size_t more;
        char32_t c;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2;
            c = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3;
            c = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            out.push_back(replacement);
            continue;
        }
        bool ok = true;
        for (size_t k = 0; k < more; ++k) {
            auto t = i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
            if (t < lo || t > hi) {
                ok = false;  // the bad byte starts the next sequence
                break;
            }
            c = (c << 6) | (t & 0x3F);
            ++i;
            lo = 0x80;
            hi = 0xBF;
        }
        append_utf16(out, ok ? c : replacement);
    }
    return out;
}

}  // namespace ryn::text
