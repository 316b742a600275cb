// UTF-8 and UTF-16: the one codec of the library. The scalar primitives serve
// every decoder and encoder above this layer (file text, the INI store, OS
// paths, the console); to_utf8 / from_utf8 convert whole strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ryn::text {

// U+FFFD, written in place of what cannot be represented.
inline constexpr char32_t replacement_character = 0xFFFD;

constexpr bool is_high_surrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool is_low_surrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
constexpr bool is_surrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// The scalar value encoded at the start of bytes into cp; returns the number
// of bytes it takes, or 0 (cp unspecified) when the bytes there are not a
// complete, shortest-form UTF-8 sequence of a scalar value (no surrogates,
// nothing above U+10FFFF). Reads only within bytes.
size_t decode_utf8(std::span<const uint8_t> bytes, char32_t &cp);

// Appends the encoding of scalar value c (not a surrogate, at most U+10FFFF).
void append_utf8(std::string &out, char32_t c);
void append_utf16(std::u16string &out, char32_t c);

// Appends the UTF-8 of s to out. An unpaired surrogate is written as U+FFFD;
// returns false when there was one (the text is not represented exactly).
bool append_utf8(std::string &out, std::u16string_view s);

// UTF-8 <-> UTF-16 at OS boundaries. Invalid input becomes U+FFFD: each
// unpaired surrogate, and each maximal ill-formed subpart of UTF-8, so the
// valid text after a bad byte survives. exact (when given) receives whether
// s had no unpaired surrogate.
std::string to_utf8(std::u16string_view s, bool *exact = nullptr);
std::u16string from_utf8(std::string_view s);

// POSIX file names are bytes, not always UTF-8. These two map such a name to
// UTF-16 and back without loss: valid UTF-8 is decoded; each byte of an
// ill-formed sequence (0x80 to 0xFF) becomes the lone low surrogate
// U+DC80 to U+DCFF, and going back each such lone surrogate becomes its byte
// again. Any other unpaired surrogate has no byte form: to_os_bytes fails.
std::u16string from_os_bytes(std::string_view s);
bool to_os_bytes(std::u16string_view s, std::string &out);

}  // namespace ryn::text
