// Files opened by the host runtime's modes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/encoding.h"

namespace ryn::platform {

// The file opened by the host runtime's fopen in mode ("rb", "wb", ...); null
// when it cannot be opened or its path cannot be passed exactly.
std::FILE *open_file(std::u16string_view path, const char *mode);
// Moves f to byte position from its start with the host's 64-bit seek (a long
// holds 32 bits on Windows); false when the host cannot go there.
bool seek_file(std::FILE *f, uint64_t position);
// Size of f in bytes, told by the host's 64-bit seek; f is left at its start.
// Empty when it cannot be told.
std::optional<uint64_t> file_size(std::FILE *f);

// Whole file as bytes ("rb"); empty optional when it cannot be opened or read.
std::optional<std::vector<uint8_t>> read_binary(std::u16string_view path);

enum class TextMode {
    // "r": 8-bit text, UTF-8 where valid and one Latin-1 character per byte
    // elsewhere; a UTF-8 byte-order mark is skipped, and a UTF-16 one makes
    // the file UTF-16 in that byte order (the INI store keeps such files).
    Ansi,
    // "r, ccs=UNICODE": UTF-16LE unless a byte-order mark names UTF-8 or UTF-16BE.
    Unicode,
};

// Text of a file's bytes as read in mode, without its byte-order mark and with
// its line ends as they are, plus the encoding that was recognised.
struct DecodedText {
    Encoding encoding;
    std::u16string text;
};
DecodedText decode_text(std::span<const uint8_t> bytes, TextMode mode);

// A text file read line by line with the host's rule: one read returns at most
// 255 characters, up to and including the next LF; a longer line comes in
// pieces. Both modes are text modes: CRLF is read as LF, a lone CR is kept.
// NUL characters are ordinary characters of the line.
class TextReader {
  public:
    static constexpr size_t max_read = 255;
    // Empty when the file cannot be opened or read.
    static std::optional<TextReader> open(std::u16string_view path, TextMode mode);
    // The same reader over a file's bytes already read.
    static TextReader over(std::span<const uint8_t> bytes, TextMode mode);
    // Next piece into line (LF kept when reached); false (and line empty) at
    // end of file.
    bool read_line(std::u16string &line);
    // The same piece as a view into the reader's text, valid as long as the
    // reader: no copy for callers that only parse the piece.
    bool read_line(std::u16string_view &line);

  private:
    std::u16string text_;
    size_t pos_ = 0;
};

}  // namespace ryn::platform
