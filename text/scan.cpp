// scanf subset with the host runtime's rules (its secure variant: string
// conversions take the buffer's capacity), independent of the locale.
//
// Integer conversions wrap modulo 2^32 (2^64 with "ll", as the host's scanf
// does) instead of saturating like strtoul: "%d" on "4294967295" gives -1 and
// "%u" on "4294967296" gives 0, so a 32-bit value written with "%u" reads back
// with all its bits through "%d". A sign is accepted by every integer
// conversion and negates modulo 2^32.
//
// "%e" (and f, g, E, G) takes the longest prefix that wcstod would take.
// An unknown or malformed conversion ends the scan like a matching failure.
#include <algorithm>
#include <climits>

#include "text/number_parse.h"
#include "text/text.h"
#include "text/var_args.h"

namespace ryn::text {
namespace {

using detail::is_space;
using detail::skip_space;

enum class length_mod : unsigned char { none, h, l, ll };

struct scan_directive {
    bool suppress = false;  // '*': convert, assign nothing
    size_t width = SIZE_MAX;
    length_mod length = length_mod::none;
    char16_t conv = 0;
    // "%[...]": the characters between the brackets (after a '^')
    std::u16string_view set;
    bool negated = false;
};

bool is_integer_conv(char16_t c) {
    return c == u'd' || c == u'i' || c == u'u' || c == u'x' || c == u'X' || c == u'o';
}
bool is_real_conv(char16_t c) {
    return c == u'e' || c == u'E' || c == u'f' || c == u'g' || c == u'G';
}

// Parses the directive after '%' and advances f past it; false for one
// this scanner does not define. Never reads past the format's terminator.
bool parse_directive(const char16_t *&f, scan_directive &dir) {
    if (*f == u'%') {
        dir.conv = *f++;
        return true;
    }
    if (*f == u'*') {
        dir.suppress = true;
        ++f;
    }
    if (*f >= u'0' && *f <= u'9') {
        size_t w = 0;
        for (; *f >= u'0' && *f <= u'9'; ++f) w = std::min<size_t>(w * 10 + (*f - u'0'), INT_MAX);
        if (w > 0) dir.width = w;  // "%0u": no width
    }
    if (*f == u'h') {
        dir.length = length_mod::h;
        ++f;
    } else if (*f == u'l') {
        dir.length = length_mod::l;
        if (*++f == u'l') {
            dir.length = length_mod::ll;
            ++f;
        }
    }
    dir.conv = *f;
    if (dir.conv == u'[') {
        const char16_t *begin = ++f;
        if (*f == u'^') {
            dir.negated = true;
            begin = ++f;
        }
        if (*f == u']') ++f;  // a ']' right after the bracket belongs to the set
        while (*f != 0 && *f != u']') ++f;
        if (*f == 0) return false;
        dir.set = std::u16string_view(begin, static_cast<size_t>(f - begin));
    } else if (!is_integer_conv(dir.conv) && !is_real_conv(dir.conv) && dir.conv != u's') {
        return false;
    }
    // "h" on a string means a narrow buffer on the host; "h" and "ll" on a
    // real name no type this scanner stores.
    if (!is_integer_conv(dir.conv) && dir.length != length_mod::none && dir.length != length_mod::l)
        return false;
    ++f;
    return true;
}

bool in_set(const scan_directive &dir, char16_t c) {
    bool found = false;
    std::u16string_view s = dir.set;
    for (size_t i = 0; i < s.size() && !found;) {
        if (i + 2 < s.size() && s[i + 1] == u'-') {
            found = c >= std::min(s[i], s[i + 2]) && c <= std::max(s[i], s[i + 2]);
            i += 3;
        } else {
            found = c == s[i++];
        }
    }
    return found != dir.negated;
}

class scanner {
  public:
    scanner(std::u16string_view input, va_list ap) : in_(input), args_(ap) {}

    int run(const char16_t *fmt) {
        const char16_t *f = fmt;
        outcome r = outcome::ok;
        while (r == outcome::ok && *f != 0) {
            if (is_space(*f)) {
                while (is_space(*f)) ++f;
                pos_ = skip_space(in_, pos_);
            } else if (*f != u'%') {
                r = match_char(*f++);
            } else {
                scan_directive dir;
                ++f;
                r = parse_directive(f, dir) ? convert(dir) : outcome::mismatch;
            }
        }
        // input ran out before the first conversion: EOF
        return r == outcome::input_end && !converted_ ? scan_eof : assigned_;
    }

  private:
    enum class outcome { ok, mismatch, input_end };

    bool at_end() const { return pos_ >= in_.size(); }

    outcome match_char(char16_t c) {
        if (at_end()) return outcome::input_end;
        if (in_[pos_] != c) return outcome::mismatch;
        ++pos_;
        return outcome::ok;
    }

    // The remaining input, at most the field's width.
    std::u16string_view field_input(const scan_directive &dir) const {
        return in_.substr(pos_, std::min(dir.width, in_.size() - pos_));
    }

    outcome convert(const scan_directive &dir) {
        if (dir.conv != u'[') pos_ = skip_space(in_, pos_);
        if (at_end()) return outcome::input_end;
        if (dir.conv == u'%') return match_char(u'%');
        outcome r = is_integer_conv(dir.conv) ? convert_integer(dir)
                    : is_real_conv(dir.conv)  ? convert_real(dir)
                                              : convert_string(dir);
        if (r == outcome::ok) {
            converted_ = true;
            if (!dir.suppress) ++assigned_;
        }
        return r;
    }

    outcome convert_integer(const scan_directive &dir) {
        int base = dir.conv == u'i'                         ? 0
                   : dir.conv == u'o'                       ? 8
                   : (dir.conv == u'x' || dir.conv == u'X') ? 16
                                                            : 10;
        detail::integer_text n = detail::read_integer(field_input(dir), base);
        if (n.consumed == 0) return outcome::mismatch;
        pos_ += n.consumed;
        if (dir.suppress) return outcome::ok;
        uint64_t v = n.negative ? 0 - n.magnitude : n.magnitude;
        bool is_signed = dir.conv == u'd' || dir.conv == u'i';
        switch (dir.length) {
            case length_mod::h:
                store<short, unsigned short>(is_signed, v);
                break;
            case length_mod::l:
                store<long, unsigned long>(is_signed, v);
                break;
            case length_mod::ll:
                store<long long, unsigned long long>(is_signed, v);
                break;
            case length_mod::none:
                store<int, unsigned>(is_signed, v);
                break;
        }
        return outcome::ok;
    }

    // Stores the low bits of v through the next argument (two's complement).
    template <class S, class U>
    void store(bool is_signed, uint64_t v) {
        if (is_signed)
            *args_.next<S *>() = static_cast<S>(static_cast<U>(v));
        else
            *args_.next<U *>() = static_cast<U>(v);
    }

    outcome convert_real(const scan_directive &dir) {
        size_t consumed = 0;
        if (dir.length == length_mod::l) {
            double v = detail::read_real<double>(field_input(dir), consumed);
            if (consumed != 0 && !dir.suppress) *args_.next<double *>() = v;
        } else {
            float v = detail::read_real<float>(field_input(dir), consumed);
            if (consumed != 0 && !dir.suppress) *args_.next<float *>() = v;
        }
        pos_ += consumed;
        return consumed == 0 ? outcome::mismatch : outcome::ok;
    }

    // "%s": a run of non-blank characters; "%[...]": a run of the set's.
    // The token, with its terminator, must fit the caller's capacity, else
    // the field fails (the buffer is left empty) and the scan ends.
    outcome convert_string(const scan_directive &dir) {
        std::u16string_view in = field_input(dir);
        size_t n = 0;
        if (dir.conv == u's') {
            while (n < in.size() && !is_space(in[n])) ++n;
        } else {
            while (n < in.size() && in_set(dir, in[n])) ++n;
        }
        if (n == 0) return outcome::mismatch;
        pos_ += n;
        if (dir.suppress) return outcome::ok;
        auto *buf = args_.next<char16_t *>();
        auto cap = args_.next<size_t>();
        if (buf == nullptr || cap <= n) {
            if (buf != nullptr && cap > 0) buf[0] = 0;
            return outcome::mismatch;
        }
        std::copy_n(in.data(), n, buf);
        buf[n] = 0;
        return outcome::ok;
    }

    std::u16string_view in_;
    size_t pos_ = 0;
    detail::var_args args_;
    int assigned_ = 0;
    bool converted_ = false;  // a conversion completed (assigned or not)
};

}  // namespace

int vscan(std::u16string_view input, const char16_t *fmt, va_list ap) {
    if (fmt == nullptr) return 0;
    return scanner(input, ap).run(fmt);
}

int scan(std::u16string_view input, const char16_t *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = vscan(input, fmt, ap);
    va_end(ap);
    return n;
}

}  // namespace ryn::text
