// wcstoul / wcstod with the C locale's rules whatever the process locale is:
// the sign, prefixes, "inf" and "nan" are handled here, the digits by
// std::from_chars, which never looks at the locale.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "text/number_parse.h"
#include "text/text.h"

namespace ryn::text {
namespace detail {
namespace {

int digit_value(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'z') return c - u'a' + 10;
    if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
    return 99;
}

// "0x" or "0X" followed by a hexadecimal digit at s[i].
bool hex_prefix_at(std::u16string_view s, size_t i) {
    return i + 2 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X') &&
           digit_value(s[i + 2]) < 16;
}

// Case-insensitive match of an ASCII lower-case word at s[i].
bool word_at(std::u16string_view s, size_t i, std::string_view word) {
    if (s.size() - i < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
        char16_t c = s[i + k];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        if (c != static_cast<char16_t>(word[k])) return false;
    }
    return true;
}

bool is_ascii_alnum(char16_t c) {
    return c < 128 && digit_value(c) < 36;
}

// The characters that can belong to a number: ASCII digits and letters, '.', '+' and '-'.
constexpr std::array<bool, 128> kNumberChars = [] {
    std::array<bool, 128> chars{};
    for (char c = '0'; c <= '9'; ++c) chars[static_cast<size_t>(c)] = true;
    for (char c = 'a'; c <= 'z'; ++c)
        chars[static_cast<size_t>(c)] = chars[static_cast<size_t>(c - 'a' + 'A')] = true;
    chars['.'] = chars['+'] = chars['-'] = true;
    return chars;
}();

bool is_number_char(char16_t c) {
    return c < kNumberChars.size() && kNumberChars[c];
}

// The characters of a number narrowed for from_chars, which reads the number
// from their start and stops at its end; nothing non-ASCII is ever narrowed.
// Text that fits the inline buffer, every ordinary number, needs no allocation.
class NumberChars {
  public:
    explicit NumberChars(std::u16string_view s) {
        // The ASCII units at the start, up to the inline buffer's size: the
        // number ends within them, whatever they hold after it.
        size_t n = 0;
        const size_t fits = std::min(s.size(), sizeof inline_);
        for (; n < fits && s[n] < 0x80; ++n) inline_[n] = static_cast<char>(s[n]);
        if (n < sizeof inline_ || n == s.size()) {
            text_ = std::string_view(inline_, n);
            return;
        }
        // A longer run of ASCII: the characters that can belong to a number,
        // as far as they go.
        n = 0;
        while (n < sizeof inline_ && is_number_char(s[n])) ++n;
        if (n == sizeof inline_ && n < s.size() && is_number_char(s[n])) {
            long_.assign(inline_, n);
            for (; n < s.size() && is_number_char(s[n]); ++n) long_.push_back(static_cast<char>(s[n]));
            text_ = long_;
            return;
        }
        text_ = std::string_view(inline_, n);
    }
    NumberChars(const NumberChars &) = delete;
    NumberChars &operator=(const NumberChars &) = delete;
    std::string_view view() const { return text_; }

  private:
    char inline_[64];
    std::string long_;
    std::string_view text_;
};

// Whether an out-of-range number was too large (rather than too small):
// the sign of its approximate power of the base, from the position of the
// first nonzero digit and the exponent.
bool too_large(std::string_view t, bool hex) {
    long long power = 0;
    bool seen_point = false, seen_digit = false;
    size_t i = 0;
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c == '.') {
            seen_point = true;
        } else if (hex ? (c == 'p' || c == 'P') : (c == 'e' || c == 'E')) {
            break;
        } else if (!seen_digit && c == '0') {
            if (seen_point) --power;
        } else if (!seen_point) {
            seen_digit = true;
            ++power;
        } else if (!seen_digit) {
            seen_digit = true;
        }
    }
    long long exp = 0;
    bool neg = false;
    if (++i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i)
        exp = std::min(exp * 10 + (t[i] - '0'), 1LL << 40);
    if (hex) power *= 4;
    return power + (neg ? -exp : exp) > 0;
}

}  // namespace

integer_text read_integer(std::u16string_view s, int base) {
    integer_text r;
    size_t i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) r.negative = s[i++] == u'-';
    if ((base == 0 || base == 16) && hex_prefix_at(s, i)) {
        base = 16;
        i += 2;
    } else if (base == 0) {
        base = i < s.size() && s[i] == u'0' ? 8 : 10;
    }
    size_t first = i;
    for (; i < s.size(); ++i) {
        int d = digit_value(s[i]);
        if (d >= base) break;
        r.magnitude = r.magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        // a magnitude past 32 bits sets the flag before it could wrap 64 bits
        if (r.magnitude > 0xFFFFFFFFu) r.over32 = true;
    }
    r.consumed = i == first ? 0 : i;
    return r;
}

template <class T>
T read_real(std::u16string_view s, size_t &consumed) {
    consumed = 0;
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    auto sign = [&](T v) { return negative ? -v : v; };

    if (word_at(s, i, "inf")) {
        consumed = word_at(s, i, "infinity") ? i + 8 : i + 3;
        return sign(std::numeric_limits<T>::infinity());
    }
    if (word_at(s, i, "nan")) {
        consumed = i + 3;
        if (consumed < s.size() && s[consumed] == u'(') {
            size_t k = consumed + 1;
            while (k < s.size() && (is_ascii_alnum(s[k]) || s[k] == u'_')) ++k;
            if (k < s.size() && s[k] == u')') consumed = k + 1;
        }
        return sign(std::numeric_limits<T>::quiet_NaN());
    }

    bool hex = hex_prefix_at(s, i) ||
               (i + 2 < s.size() && s[i] == u'0' && (s[i + 1] | 32) == u'x' && s[i + 2] == u'.');
    size_t start = hex ? i + 2 : i;
    const NumberChars chars(s.substr(start));
    const std::string_view t = chars.view();
    // from_chars would take a '-' of its own: the sign was read above
    if (t.empty() || t[0] == '-' || t[0] == '+') {
        if (hex) consumed = i + 1;  // "0x" without digits: the "0" is the number
        return sign(T(0));
    }
    T value = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), value,
                                     hex ? std::chars_format::hex : std::chars_format::general);
    if (ec == std::errc::invalid_argument) {
        if (hex) consumed = i + 1;
        return sign(T(0));
    }
    if (ec == std::errc::result_out_of_range) {
        value = too_large(std::string_view(t.data(), static_cast<size_t>(ptr - t.data())), hex)
                    ? std::numeric_limits<T>::infinity()
                    : T(0);
    }
    consumed = start + static_cast<size_t>(ptr - t.data());
    return sign(value);
}

template float read_real<float>(std::u16string_view, size_t &);
template double read_real<double>(std::u16string_view, size_t &);

}  // namespace detail

uint32_t to_ulong_auto(std::u16string_view s, size_t *end) {
    size_t start = detail::skip_space(s, 0);
    detail::integer_text n = detail::read_integer(s.substr(start), 0);
    if (end != nullptr) *end = n.consumed == 0 ? 0 : start + n.consumed;
    if (n.consumed == 0) return 0;
    if (n.over32) return 0xFFFFFFFFu;  // ERANGE: saturates whatever the sign
    auto v = static_cast<uint32_t>(n.magnitude);
    return n.negative ? 0u - v : v;
}

double to_double(std::u16string_view s, size_t *end) {
    size_t start = detail::skip_space(s, 0);
    size_t consumed = 0;
    double v = detail::read_real<double>(s.substr(start), consumed);
    if (end != nullptr) *end = consumed == 0 ? 0 : start + consumed;
    return v;
}

}  // namespace ryn::text
