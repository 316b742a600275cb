// Files opened by the host runtime's modes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ryn::platform {

// Whole file as bytes ("rb"); empty optional when it cannot be opened or read.
std::optional<std::vector<uint8_t>> read_binary(std::u16string_view path);

enum class TextMode {
    Ansi,     // "r": 8-bit text, CRLF read as LF, each byte widened
    Unicode,  // "r, ccs=UNICODE": UTF-16LE unless a byte-order mark names UTF-8 or UTF-16
};

// A text file read line by line with the host's rule: one read returns at most
// 255 characters, up to and including the next LF; a longer line comes in pieces.
class TextReader {
public:
    static constexpr size_t max_read = 255;
    static std::optional<TextReader> open(std::u16string_view path, TextMode mode);
    // Next piece into line (LF kept when reached); false at end of file.
    bool read_line(std::u16string &line);

private:
    std::u16string text_;
    size_t pos_ = 0;
};

}  // namespace ryn::platform
