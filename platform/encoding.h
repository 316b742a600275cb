// Byte <-> UTF-16 conversions shared by the file readers, the INI store and
// the OS boundary. Every decoder accepts any bytes: nothing read from a file
// is trusted.
#pragma once

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

// UTF-8 where the bytes form valid UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF); each byte of an invalid or cut-off sequence is
// widened on its own, as Latin-1.
std::u16string decode_8bit(std::span<const uint8_t> bytes);

// UTF-16 code units in the given byte order; an odd trailing byte is dropped.
// Unpaired surrogates are kept as they are.
std::u16string decode_utf16(std::span<const uint8_t> bytes, bool big_endian);

// UTF-8 of s. An unpaired surrogate is written as U+FFFD and makes the result
// false (the text was not represented exactly).
bool encode_utf8(std::u16string_view s, std::string &out);

}  // namespace ryn::platform
