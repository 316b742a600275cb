// Byte <-> UTF-16 conversions shared by the file readers, the INI store and
// the OS boundary, built on the scalar primitives of text/utf.h. Every decoder
// accepts any bytes: nothing read from a file is trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ryn::platform {

// How a text file's bytes were encoded, as recognised from its start.
enum class Encoding {
    Bytes8,   // no byte-order mark: UTF-8 where valid, one Latin-1 character per byte elsewhere
    Utf8Bom,  // EF BB BF, then UTF-8
    Utf16LE,  // FF FE (or, for Unicode-mode files, no mark at all)
    Utf16BE,  // FE FF
};

// The byte-order mark that starts a file in enc (none for Bytes8).
std::span<const uint8_t> byte_order_mark(Encoding enc);

// The encoding named by the byte-order mark at the start of bytes and the
// mark's length; Bytes8 and 0 when there is no mark.
struct DetectedEncoding {
    Encoding encoding;
    size_t mark_size;
};
DetectedEncoding detect_encoding(std::span<const uint8_t> bytes);

// Bytes per code unit of text in enc: 2 for UTF-16, 1 for 8-bit text.
constexpr size_t unit_size(Encoding enc) {
    return enc == Encoding::Utf16LE || enc == Encoding::Utf16BE ? 2 : 1;
}

// Code unit i of text in enc, for scanning (line ends, separators) without
// decoding: a UTF-16 unit in the encoding's byte order, or one byte of 8-bit
// text. The caller keeps i below bytes.size() / unit_size(enc).
inline char16_t code_unit(std::span<const uint8_t> bytes, size_t i, Encoding enc) {
    switch (enc) {
        case Encoding::Utf16LE:
            return static_cast<char16_t>(bytes[2 * i + 1] << 8 | bytes[2 * i]);
        case Encoding::Utf16BE:
            return static_cast<char16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
        case Encoding::Bytes8:
        case Encoding::Utf8Bom:
            break;
    }
    return bytes[i];
}

// True when every byte is below 0x80: 8-bit text that decodes byte for unit.
bool is_ascii(std::span<const uint8_t> bytes);

// UTF-8 where the bytes form valid UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF); each byte of an invalid or cut-off sequence is
// widened on its own, as Latin-1.
std::u16string decode_8bit(std::span<const uint8_t> bytes);

// UTF-16 code units in the given byte order; an odd trailing byte is dropped.
// Unpaired surrogates are kept as they are.
std::u16string decode_utf16(std::span<const uint8_t> bytes, bool big_endian);

// Text of bytes (without a byte-order mark) in enc: decode_8bit or decode_utf16.
std::u16string decode(std::span<const uint8_t> bytes, Encoding enc);
// The same, appended to out: a reader that decodes many pieces (the lines of
// a file) into one buffer reserves it once instead of allocating per piece.
void decode_append(std::span<const uint8_t> bytes, Encoding enc, std::u16string &out);

// How many bytes at the start of bytes (text in enc) decode to its first units
// UTF-16 units; all of bytes (less an odd trailing byte of UTF-16) when they
// decode to fewer. A position inside a surrogate pair counts the whole pair.
size_t byte_offset(std::span<const uint8_t> bytes, Encoding enc, size_t units);

// Appends s encoded in enc (no byte-order mark): UTF-8 for 8-bit text, with an
// unpaired surrogate written as U+FFFD; UTF-16 unit by unit in the encoding's
// byte order. Returns false when s was not represented exactly.
bool encode(std::u16string_view s, Encoding enc, std::string &out);

}  // namespace ryn::platform
