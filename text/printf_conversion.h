// One printf conversion ("%-+ 0#" flags, width, precision,
// length modifier, conversion character) and its parser. The parser is
// constexpr so that the runtime formatter and the compile-time argument check
// (checked_format.h) read a format string by exactly the same rules.
#pragma once

#include <climits>

namespace ryn::text::printf_conv {

enum class length_mod : unsigned char { none, h, l, ll };

// Where a width or precision comes from.
enum class amount : unsigned char { absent, given, star };

struct conversion {
    bool left = false;   // '-'
    bool plus = false;   // '+'
    bool space = false;  // ' '
    bool zero = false;   // '0'
    bool alt = false;    // '#'
    amount width_from = amount::absent;
    amount precision_from = amount::absent;
    int width = 0;      // when width_from == given
    int precision = 0;  // when precision_from == given
    length_mod length = length_mod::none;
    char16_t conv = 0;  // one of d i u x X o c s e E f g G p %
};

constexpr bool is_integer_conv(char16_t c) {
    return c == u'd' || c == u'i' || c == u'u' || c == u'x' || c == u'X' || c == u'o';
}
constexpr bool is_signed_conv(char16_t c) {
    return c == u'd' || c == u'i';
}
constexpr bool is_real_conv(char16_t c) {
    return c == u'e' || c == u'E' || c == u'f' || c == u'g' || c == u'G';
}

// Reads a run of decimal digits; false when the number exceeds INT_MAX.
constexpr bool parse_amount(const char16_t *&p, int &out) {
    long long v = 0;
    while (*p >= u'0' && *p <= u'9') {
        v = v * 10 + (*p - u'0');
        if (v > INT_MAX) return false;
        ++p;
    }
    out = static_cast<int>(v);
    return true;
}

// Parses the conversion whose '%' is just before p. On success p points past
// the conversion character. Returns false for anything this formatter does not
// define: an unknown conversion, a length modifier the conversion does not
// take, a number above INT_MAX, or the end of the format. "%%" must be exactly
// that (no flags, width or precision). Never reads past the terminator.
constexpr bool parse_conversion(const char16_t *&p, conversion &c) {
    c = conversion{};
    if (*p == u'%') {
        c.conv = *p++;
        return true;
    }
    for (;; ++p) {
        if (*p == u'-')
            c.left = true;
        else if (*p == u'+')
            c.plus = true;
        else if (*p == u' ')
            c.space = true;
        else if (*p == u'0')
            c.zero = true;
        else if (*p == u'#')
            c.alt = true;
        else
            break;
    }
    if (*p == u'*') {
        c.width_from = amount::star;
        ++p;
    } else if (*p >= u'1' && *p <= u'9') {
        c.width_from = amount::given;
        if (!parse_amount(p, c.width)) return false;
    }
    if (*p == u'.') {
        ++p;
        if (*p == u'*') {
            c.precision_from = amount::star;
            ++p;
        } else {
            // "%.f" means precision 0, as in C.
            c.precision_from = amount::given;
            if (!parse_amount(p, c.precision)) return false;
        }
    }
    if (*p == u'h') {
        c.length = length_mod::h;
        ++p;
    } else if (*p == u'l') {
        ++p;
        c.length = length_mod::l;
        if (*p == u'l') {
            c.length = length_mod::ll;
            ++p;
        }
    }
    c.conv = *p;
    if (is_integer_conv(c.conv)) {
        // every length modifier names a C integer type
    } else if (is_real_conv(c.conv) || c.conv == u'c' || c.conv == u's') {
        // "l" is a no-op here; "h" on %s/%c would mean a narrow string or
        // character on the host, which this formatter does not take.
        if (c.length != length_mod::none && c.length != length_mod::l) return false;
    } else if (c.conv == u'p') {
        if (c.length != length_mod::none) return false;
    } else {
        return false;  // unknown conversion, "%5%", or the format's end
    }
    ++p;
    return true;
}

}  // namespace ryn::text::printf_conv
