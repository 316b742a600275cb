// Compile-time check that a message's arguments match its printf format.
//
//   template <class... A>
//   void report(Sink &, text::format_string<std::type_identity_t<A>...> fmt, A... args);
//
// format_string<Args...> is built from a wide literal by a consteval
// constructor that walks the format with the formatter's own parser and
// stops the compilation (by calling a function that is not constexpr, whose
// name then appears in the error) when an argument is missing, left over, or
// of a kind the conversion does not read:
//   d i u x X o   an integer (not bool or a character type) of at most 32
//                 bits; with "h" at most 16 bits; with "l" the size of long;
//                 with "ll" the size of long long
//   e E f g G     float or double
//   s             const char16_t* (or char16_t*)
//   c             char16_t
//   p             a pointer
//   '*'           int
#pragma once

#include <cstddef>
#include <type_traits>
#include <string>

#include "text/printf_conversion.h"
#include "text/text.h"

namespace ryn::text {

namespace checked_format_detail {

enum class kind : unsigned char { integer, real, wide_string, wide_char, pointer, other };

struct arg_info {
    kind k = kind::other;
    std::size_t size = 0;
    bool is_int = false;  // exactly int, for '*'
};

template <class T>
consteval arg_info describe() {
    using U = std::remove_cv_t<T>;
    arg_info a;
    a.size = sizeof(U);
    a.is_int = std::is_same_v<U, int>;
    if constexpr (std::is_same_v<U, bool> || std::is_same_v<U, char> ||
                  std::is_same_v<U, wchar_t> || std::is_same_v<U, char8_t> ||
                  std::is_same_v<U, char32_t>) {
        a.k = kind::other;
    } else if constexpr (std::is_same_v<U, char16_t>) {
        a.k = kind::wide_char;
    } else if constexpr (std::is_integral_v<U>) {
        a.k = kind::integer;
    } else if constexpr (std::is_same_v<U, float> || std::is_same_v<U, double>) {
        a.k = kind::real;
    } else if constexpr (std::is_same_v<U, const char16_t *> || std::is_same_v<U, char16_t *>) {
        a.k = kind::wide_string;
    } else if constexpr (std::is_pointer_v<U>) {
        a.k = kind::pointer;
    }
    return a;
}

// Not constexpr: reaching one of these in the consteval walk is the error.
inline void malformed_format() {}
inline void too_few_arguments() {}
inline void too_many_arguments() {}
inline void star_argument_is_not_int() {}
inline void argument_does_not_match_conversion() {}

consteval bool integer_fits(const arg_info &a, printf_conv::length_mod len) {
    if (a.k != kind::integer) return false;
    switch (len) {
        case printf_conv::length_mod::h:
            return a.size <= sizeof(short);
        case printf_conv::length_mod::l:
            return a.size == sizeof(long);
        case printf_conv::length_mod::ll:
            return a.size == sizeof(long long);
        case printf_conv::length_mod::none:
            break;
    }
    return a.size <= sizeof(int);
}

consteval bool matches(const printf_conv::conversion &c, const arg_info &a) {
    if (printf_conv::is_integer_conv(c.conv)) return integer_fits(a, c.length);
    if (printf_conv::is_real_conv(c.conv)) return a.k == kind::real;
    switch (c.conv) {
        case u's':
            return a.k == kind::wide_string;
        case u'c':
            return a.k == kind::wide_char;
        case u'p':
            return a.k == kind::pointer || a.k == kind::wide_string;
        default:
            return false;
    }
}

template <class... Args>
consteval void check(const char16_t *fmt) {
    constexpr std::size_t count = sizeof...(Args);
    constexpr arg_info args[count + 1] = {describe<Args>()..., arg_info{}};
    std::size_t next = 0;
    auto take = [&]() -> const arg_info & {
        if (next == count) too_few_arguments();
        return args[next++];
    };
    for (const char16_t *p = fmt; *p != 0;) {
        if (*p++ != u'%') continue;
        printf_conv::conversion c;
        if (!printf_conv::parse_conversion(p, c)) malformed_format();
        if (c.conv == u'%') continue;
        if (c.width_from == printf_conv::amount::star && !take().is_int) star_argument_is_not_int();
        if (c.precision_from == printf_conv::amount::star && !take().is_int)
            star_argument_is_not_int();
        if (!matches(c, take())) argument_does_not_match_conversion();
    }
    if (next != count) too_many_arguments();
}

}  // namespace checked_format_detail

template <class... Args>
class format_string {
  public:
    // Implicit, so that a literal converts at the call: report(sink, u"%u\n", n).
    consteval format_string(const char16_t *fmt) : fmt_(fmt) {
        checked_format_detail::check<Args...>(fmt);
    }

    constexpr const char16_t *get() const { return fmt_; }

  private:
    const char16_t *fmt_;
};

// format() with its arguments checked against the format at compile time: the
// form every INI value and message text of the library is written with.
template <class... Args>
std::u16string format_checked(format_string<std::type_identity_t<Args>...> fmt, Args... args) {
    return format(fmt.get(), args...);
}

}  // namespace ryn::text
