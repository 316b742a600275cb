// Wide (UTF-16) printf, scanf and number conversion with the host runtime's
// rules. Independent of the process locale.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/utf.h"  // to_utf8, from_utf8 and the scalar primitives

namespace ryn::text {

// printf subset: flags "-+ 0#", width and precision (incl. '*'), length
// modifiers h l ll, conversions d i u x X o c s e E f g G p %. "%s" takes a
// wide (char16_t) string, "%c" a wide character; "%e" writes at least three
// exponent digits ("+1.2500000000e+000").
// Writes at most cap - 1 characters and a terminator (nothing when cap is 0)
// and returns the full length of the result, or -1 for a malformed format
// (checked whole before any argument is taken; the buffer is left empty).
// Infinity and NaN are written "inf", "-inf", "nan" ("INF", "NAN" for %E
// and %G) with the sign flags and width applied, so that to_double and scan
// read them back. Halfway cases round to even on the exact binary value.
// vformat and format return an empty string for a malformed format.
int vformat_to(char16_t *buf, size_t cap, const char16_t *fmt, va_list ap);
std::u16string vformat(const char16_t *fmt, va_list ap);
int format_to(char16_t *buf, size_t cap, const char16_t *fmt, ...);
std::u16string format(const char16_t *fmt, ...);

// prefix, then n in decimal with zeros in front up to min_digits digits: the
// text format(u"PREFIX%0*u", min_digits, n) gives, without parsing a format
// (the numbered keys and decimal values of an INI file, thousands a request).
std::u16string numbered(std::u16string_view prefix, unsigned n, size_t min_digits = 1);

// scanf subset: %u %d %x %X %e %f %s %[...] with widths (such as "%04u"),
// literals and whitespace. Integer conversions store 32 bits (unsigned* or
// int*), "%e"/"%f" store a float (with "l": a double). "%s" and "%[...]" take a
// char16_t* followed by its capacity as size_t (characters, terminator
// included); a token that does not fit fails the field. "%u" accepts a sign
// like strtoul. Integer conversions wrap modulo 2^32 on overflow, as the
// host's scanf does ("%d" of "4294967295" is -1), so a value written with "%u"
// keeps all 32 bits when read with "%d". "%e" takes what to_double would.
// "%*..." converts without assigning. An unknown conversion ends the scan.
// Returns the number of fields assigned, or scan_eof when the input ends
// before the first conversion.
inline constexpr int scan_eof = -1;
int vscan(std::u16string_view input, const char16_t *fmt, va_list ap);
int scan(std::u16string_view input, const char16_t *fmt, ...);

// wcstoul with base 0 on a 32-bit unsigned long: optional white space and sign,
// "0x" hexadecimal, leading "0" octal, else decimal; overflow gives 0xFFFFFFFF.
// *end (when given) receives the number of characters consumed (0: no number).
uint32_t to_ulong_auto(std::u16string_view s, size_t *end = nullptr);
// wcstod: decimal and hexadecimal floating forms, "inf", "nan".
double to_double(std::u16string_view s, size_t *end = nullptr);

}  // namespace ryn::text
