// printf subset with the host runtime's rules, independent of the locale.
//
// Floating conversions come from std::to_chars (exact, locale-independent);
// the exponent is then widened to at least three digits, as the runtime the
// library's files come from writes it ("+1.2500000000e+000").
//
// Infinity and NaN are written "inf" and "nan" ("INF", "NAN" for %E and %G),
// with a '-' when the sign bit is set, '+' or ' ' by the flags otherwise, and
// the width padded with spaces (the '0' flag does not apply). to_double and
// scan read all of these back to a value of the same class.
//
// "%p" writes the pointer as upper-case hexadecimal digits, zero-padded to the
// pointer's size and without a prefix, as the host runtime does.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>

#include "text/printf_conversion.h"
#include "text/text.h"
#include "text/var_args.h"

namespace ryn::text {
namespace {

using printf_conv::amount;
using printf_conv::conversion;
using printf_conv::length_mod;

// Beyond this many digits after the point, a double's exact decimal expansion
// is all zeros (at most 1074 fractional and 767 significant digits), so longer
// precisions are produced with this many and the rest appended as zeros.
constexpr int max_exact_digits = 1100;

// Keeps what fits into the caller's buffer (cap - 1 characters) and counts
// the full length of the result.
class output {
  public:
    output(char16_t *buf, size_t cap) : buf_(cap > 0 ? buf : nullptr), room_(buf_ != nullptr ? cap - 1 : 0) {}

    void put(char16_t c, size_t n = 1) {
        if (len_ < room_) std::fill_n(buf_ + len_, std::min(n, room_ - len_), c);
        len_ += n;
    }
    void put(std::u16string_view s) {
        if (len_ < room_) std::copy_n(s.data(), std::min(s.size(), room_ - len_), buf_ + len_);
        len_ += s.size();
    }
    void put(std::string_view s) {
        if (len_ < room_) std::copy_n(s.data(), std::min(s.size(), room_ - len_), buf_ + len_);
        len_ += s.size();
    }

    // Terminates the buffer; the full length, or -1 when it exceeds an int.
    int finish() {
        if (buf_ != nullptr) buf_[std::min(len_, room_)] = 0;
        return len_ > static_cast<size_t>(INT_MAX) ? -1 : static_cast<int>(len_);
    }

  private:
    char16_t *buf_;
    size_t room_;
    size_t len_ = 0;
};

// Width and precision after '*' arguments are applied: a negative '*' width
// means '-' and its magnitude; a negative '*' precision means none.
struct field {
    bool left = false;
    size_t width = 0;
    int precision = -1;  // -1: absent
};

field resolve_field(const conversion &c, detail::var_args &args) {
    field f;
    f.left = c.left;
    if (c.width_from == amount::star) {
        long long w = args.next<int>();
        if (w < 0) {
            f.left = true;
            w = -w;
        }
        f.width = static_cast<size_t>(w);
    } else if (c.width_from == amount::given) {
        f.width = static_cast<size_t>(c.width);
    }
    if (c.precision_from == amount::star) {
        int p = args.next<int>();
        f.precision = p < 0 ? -1 : p;
    } else if (c.precision_from == amount::given) {
        f.precision = c.precision;
    }
    return f;
}

// The pieces of one converted field, in output order: prefix (sign, "0x"),
// leading zeros, head, middle zeros, tail. With zero padding the width is
// filled with zeros after the prefix, otherwise with spaces on the left (or
// the right for '-').
template <class Head>
void emit_field(output &out, const field &f, bool zero_pad, std::string_view prefix,
                size_t lead_zeros, Head head, size_t mid_zeros = 0, std::string_view tail = {}) {
    size_t len = prefix.size() + lead_zeros + head.size() + mid_zeros + tail.size();
    size_t pad = f.width > len ? f.width - len : 0;
    if (zero_pad && !f.left) {
        lead_zeros += pad;
        pad = 0;
    }
    if (!f.left) out.put(u' ', pad);
    out.put(prefix);
    out.put(u'0', lead_zeros);
    out.put(head);
    out.put(u'0', mid_zeros);
    out.put(tail);
    if (f.left) out.put(u' ', pad);
}

std::string_view sign_prefix(const conversion &c, bool negative) {
    if (negative) return "-";
    if (c.plus) return "+";
    if (c.space) return " ";
    return {};
}

void format_integer(output &out, const conversion &c, const field &f, uint64_t magnitude,
                    bool negative) {
    int base = c.conv == u'o' ? 8 : (c.conv == u'x' || c.conv == u'X') ? 16 : 10;
    char digits[64];
    size_t n = 0;
    if (!(f.precision == 0 && magnitude == 0)) {
        n = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, magnitude, base).ptr -
                                digits);
        if (c.conv == u'X')
            std::transform(digits, digits + n, digits,
                           [](char ch) { return ch >= 'a' ? ch - 32 : ch; });
    }
    std::string_view prefix;
    if (printf_conv::is_signed_conv(c.conv))
        prefix = sign_prefix(c, negative);
    else if (c.alt && magnitude != 0 && c.conv == u'x')
        prefix = "0x";
    else if (c.alt && magnitude != 0 && c.conv == u'X')
        prefix = "0X";
    size_t zeros = f.precision > 0 && static_cast<size_t>(f.precision) > n ? f.precision - n : 0;
    if (c.alt && c.conv == u'o' && zeros == 0 && (n == 0 || digits[0] != '0')) zeros = 1;
    emit_field(out, f, c.zero && f.precision < 0, prefix, zeros, std::string_view(digits, n));
}

void format_signed(output &out, const conversion &c, const field &f, long long v) {
    uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    format_integer(out, c, f, magnitude, v < 0);
}

// Rewrites to_chars' exponent ("e+05", "e-300") with at least three digits.
std::string_view widen_exponent(std::string_view exp, char (&buf)[8]) {
    std::string_view digits = exp.substr(2);
    size_t zeros = digits.size() < 3 ? 3 - digits.size() : 0;
    size_t n = 0;
    buf[n++] = exp[0];
    buf[n++] = exp[1];
    for (size_t i = 0; i < zeros; ++i) buf[n++] = '0';
    for (char d : digits) buf[n++] = d;
    return {buf, n};
}

void format_real(output &out, const conversion &c, const field &f, double v) {
    bool upper = c.conv == u'E' || c.conv == u'G';
    std::string_view prefix = sign_prefix(c, std::signbit(v));
    if (!std::isfinite(v)) {
        std::string_view word = std::isnan(v) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
        emit_field(out, f, false, prefix, 0, word);
        return;
    }
    double a = std::fabs(v);
    int p = f.precision < 0 ? 6 : f.precision;
    char buf[1536];  // a fixed double with max_exact_digits decimals fits
    // Converts with `decimals` digits after the point; `extra` receives the
    // zeros that stand for the digits beyond max_exact_digits.
    size_t extra = 0;
    auto convert = [&](std::chars_format style, int decimals) {
        int exact = std::min(decimals, max_exact_digits);
        extra = static_cast<size_t>(decimals - exact);
        char *end = std::to_chars(buf, buf + sizeof buf, a, style, exact).ptr;
        return std::string_view(buf, static_cast<size_t>(end - buf));
    };

    std::string_view text;
    bool strip = false;
    if (c.conv == u'f') {
        text = convert(std::chars_format::fixed, p);
    } else if (c.conv == u'e' || c.conv == u'E') {
        text = convert(std::chars_format::scientific, p);
    } else {
        // %g: the style follows the exponent X that %e with precision P - 1
        // gives: fixed with P - 1 - X decimals when P > X >= -4.
        int sig = p == 0 ? 1 : p;
        text = convert(std::chars_format::scientific, sig - 1);
        size_t e = text.find('e');
        int x = 0;
        std::from_chars(text.data() + e + 2, text.data() + text.size(), x);
        if (text[e + 1] == '-') x = -x;
        if (sig > x && x >= -4) text = convert(std::chars_format::fixed, sig - 1 - x);
        strip = !c.alt;
    }

    size_t e = text.find('e');
    std::string mantissa(text.substr(0, e));
    char exp_buf[8];
    std::string_view exponent;
    if (e != std::string_view::npos) {
        exponent = widen_exponent(text.substr(e), exp_buf);
        if (upper) exp_buf[0] = 'E';
    }
    bool has_point = mantissa.find('.') != std::string::npos;
    if (strip) {
        // %g without '#' drops trailing zeros and a bare point
        extra = 0;
        if (has_point) {
            while (mantissa.back() == '0') mantissa.pop_back();
            if (mantissa.back() == '.') mantissa.pop_back();
        }
    } else if (c.alt && !has_point) {
        mantissa.push_back('.');  // '#' keeps the point even without decimals
    }
    emit_field(out, f, c.zero, prefix, 0, std::string_view(mantissa), extra, exponent);
}

void format_string(output &out, const field &f, const char16_t *s) {
    std::u16string_view text = s == nullptr ? u"(null)" : std::u16string_view{};
    if (s != nullptr) {
        // with a precision, read no further than that many characters
        size_t n = 0;
        size_t limit = f.precision < 0 ? SIZE_MAX : static_cast<size_t>(f.precision);
        while (n < limit && s[n] != 0) ++n;
        text = std::u16string_view(s, n);
    } else if (f.precision >= 0) {
        text = text.substr(0, static_cast<size_t>(f.precision));
    }
    emit_field(out, f, false, {}, 0, text);
}

void format_pointer(output &out, const field &f, const void *ptr) {
    char digits[2 * sizeof(void *)];
    std::fill(std::begin(digits), std::end(digits), '0');
    char tmp[2 * sizeof(void *)];
    auto v = reinterpret_cast<uintptr_t>(ptr);
    size_t n = static_cast<size_t>(std::to_chars(tmp, tmp + sizeof tmp, v, 16).ptr - tmp);
    for (size_t i = 0; i < n; ++i)
        digits[sizeof digits - n + i] = tmp[i] >= 'a' ? static_cast<char>(tmp[i] - 32) : tmp[i];
    emit_field(out, f, false, {}, 0, std::string_view(digits, sizeof digits));
}

// Takes the conversion's arguments (in order: '*' width, '*' precision, value)
// and writes the field.
void format_conversion(output &out, const conversion &c, detail::var_args &args) {
    if (c.conv == u'%') {
        out.put(u'%');
        return;
    }
    field f = resolve_field(c, args);
    switch (c.conv) {
        case u'd':
        case u'i':
            switch (c.length) {
                case length_mod::h:
                    format_signed(out, c, f, static_cast<short>(args.next<int>()));
                    break;
                case length_mod::l:
                    format_signed(out, c, f, args.next<long>());
                    break;
                case length_mod::ll:
                    format_signed(out, c, f, args.next<long long>());
                    break;
                case length_mod::none:
                    format_signed(out, c, f, args.next<int>());
                    break;
            }
            break;
        case u'u':
        case u'x':
        case u'X':
        case u'o':
            switch (c.length) {
                case length_mod::h:
                    format_integer(out, c, f, static_cast<unsigned short>(args.next<unsigned>()),
                                   false);
                    break;
                case length_mod::l:
                    format_integer(out, c, f, args.next<unsigned long>(), false);
                    break;
                case length_mod::ll:
                    format_integer(out, c, f, args.next<unsigned long long>(), false);
                    break;
                case length_mod::none:
                    format_integer(out, c, f, args.next<unsigned>(), false);
                    break;
            }
            break;
        case u'c': {
            char16_t ch = static_cast<char16_t>(args.next<int>());
            emit_field(out, f, false, {}, 0, std::u16string_view(&ch, 1));
            break;
        }
        case u's':
            format_string(out, f, args.next<const char16_t *>());
            break;
        case u'p':
            format_pointer(out, f, args.next<const void *>());
            break;
        default:
            format_real(out, c, f, args.next<double>());
            break;
    }
}

// The whole format is checked before any argument is taken, so a malformed
// format never consumes (or misreads) an argument.
bool well_formed(const char16_t *fmt) {
    conversion c;
    for (const char16_t *p = fmt; *p != 0;) {
        if (*p++ == u'%' && !printf_conv::parse_conversion(p, c)) return false;
    }
    return true;
}

}  // namespace

int vformat_to(char16_t *buf, size_t cap, const char16_t *fmt, va_list ap) {
    if (buf == nullptr) cap = 0;
    if (cap > 0) buf[0] = 0;
    if (fmt == nullptr || !well_formed(fmt)) return -1;
    output out(buf, cap);
    detail::var_args args(ap);
    for (const char16_t *p = fmt; *p != 0;) {
        const char16_t *run = p;
        while (*p != 0 && *p != u'%') ++p;
        out.put(std::u16string_view(run, static_cast<size_t>(p - run)));
        if (*p == 0) break;
        ++p;
        conversion c;
        printf_conv::parse_conversion(p, c);
        format_conversion(out, c, args);
    }
    return out.finish();
}

std::u16string numbered(std::u16string_view prefix, unsigned n, size_t min_digits) {
    char16_t digits[std::numeric_limits<unsigned>::digits10 + 1];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + n % 10);
        n /= 10;
    } while (n != 0);
    const size_t zeros = min_digits > count ? min_digits - count : 0;
    std::u16string s;
    s.reserve(prefix.size() + zeros + count);
    s.append(prefix).append(zeros, u'0');
    while (count > 0) s.push_back(digits[--count]);
    return s;
}

std::u16string vformat(const char16_t *fmt, va_list ap) {
    // One pass into a buffer on the stack, which holds every INI key and
    // value; a longer text is formatted again into a string of its length.
    char16_t local[256];
    va_list again;
    va_copy(again, ap);
    const int n = vformat_to(local, std::size(local), fmt, ap);
    std::u16string s;
    if (n > 0 && static_cast<size_t>(n) < std::size(local)) {
        s.assign(local, static_cast<size_t>(n));
    } else if (n > 0) {
        s.assign(static_cast<size_t>(n), u'\0');
        vformat_to(s.data(), s.size() + 1, fmt, again);
    }
    va_end(again);
    return s;
}

int format_to(char16_t *buf, size_t cap, const char16_t *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = vformat_to(buf, cap, fmt, ap);
    va_end(ap);
    return n;
}

std::u16string format(const char16_t *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::u16string s = vformat(fmt, ap);
    va_end(ap);
    return s;
}

}  // namespace ryn::text
