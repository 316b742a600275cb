#include "platform/file.h"

#include "platform/host_fs.h"
#include "platform/path.h"

namespace ryn::platform {

namespace {

// Text-mode reading: each CR LF pair becomes LF; any other CR stays.
void crlf_to_lf(std::u16string &text) {
    size_t out = 0;
    for (size_t in = 0; in < text.size(); ++in) {
        if (text[in] == u'\r' && in + 1 < text.size() && text[in + 1] == u'\n') continue;
        text[out++] = text[in];
    }
    text.resize(out);
}

}  // namespace

std::optional<std::vector<uint8_t>> read_binary(std::u16string_view path) {
    const auto os = to_os_path(path);
    if (!os) return std::nullopt;
    // Only a regular file, opened without blocking: a FIFO or device named by
    // the path neither hangs the caller nor passes for a file.
    std::vector<uint8_t> bytes;
    if (host_fs::read_regular_file(*os, bytes) != host_fs::ReadResult::Ok) return std::nullopt;
    return bytes;
}

DecodedText decode_text(std::span<const uint8_t> bytes, TextMode mode) {
    auto [encoding, mark_size] = detect_encoding(bytes);
    // Without a mark, the mode says what the file holds.
    if (mark_size == 0 && mode == TextMode::Unicode) encoding = Encoding::Utf16LE;
    return {encoding, decode(bytes.subspan(mark_size), encoding)};
}

std::optional<TextReader> TextReader::open(std::u16string_view path, TextMode mode) {
    const auto bytes = read_binary(path);
    if (!bytes) return std::nullopt;
    return over(*bytes, mode);
}

TextReader TextReader::over(std::span<const uint8_t> bytes, TextMode mode) {
    TextReader reader;
    reader.text_ = decode_text(bytes, mode).text;
    crlf_to_lf(reader.text_);
    return reader;
}

bool TextReader::read_line(std::u16string_view &line) {
    line = {};
    if (pos_ >= text_.size()) return false;
    // Look for the LF only within the piece, so a file without line ends
    // is not searched again on every read.
    const std::u16string_view piece = std::u16string_view(text_).substr(pos_, max_read);
    const size_t lf = piece.find(u'\n');
    line = piece.substr(0, lf == std::u16string_view::npos ? piece.size() : lf + 1);
    pos_ += line.size();
    return true;
}

bool TextReader::read_line(std::u16string &line) {
    std::u16string_view piece;
    const bool read = read_line(piece);
    line.assign(piece);
    return read;
}

}  // namespace ryn::platform
