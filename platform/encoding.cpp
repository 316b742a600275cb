#include "platform/encoding.h"

#include <algorithm>
#include <cstring>

#include "text/utf.h"

namespace ryn::platform {

namespace {

// The character of 8-bit text at the start of bytes (not empty) into cp;
// returns the bytes it takes. A byte that does not start a valid UTF-8
// sequence is one Latin-1 character: the byte is the code point.
size_t char_8bit(std::span<const uint8_t> bytes, char32_t &cp) {
    if (bytes[0] < 0x80) {
        cp = bytes[0];
        return 1;
    }
    if (const size_t len = text::decode_utf8(bytes, cp)) return len;
    cp = bytes[0];
    return 1;
}

bool is_big_endian(Encoding enc) {
    return enc == Encoding::Utf16BE;
}

}  // namespace

std::span<const uint8_t> byte_order_mark(Encoding enc) {
    static constexpr uint8_t utf8[] = {0xEF, 0xBB, 0xBF};
    static constexpr uint8_t utf16le[] = {0xFF, 0xFE};
    static constexpr uint8_t utf16be[] = {0xFE, 0xFF};
    switch (enc) {
        case Encoding::Utf8Bom:
            return utf8;
        case Encoding::Utf16LE:
            return utf16le;
        case Encoding::Utf16BE:
            return utf16be;
        case Encoding::Bytes8:
            break;
    }
    return {};
}

DetectedEncoding detect_encoding(std::span<const uint8_t> bytes) {
    for (const Encoding enc : {Encoding::Utf8Bom, Encoding::Utf16LE, Encoding::Utf16BE}) {
        const auto mark = byte_order_mark(enc);
        if (bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin()))
            return {enc, mark.size()};
    }
    return {Encoding::Bytes8, 0};
}

namespace {

// Appends the decoded bytes to out (no reservation: callers that append many
// pieces reserve once for all of them).
// Length of the run of ASCII bytes at the start of p[0, n): eight bytes per
// step while they are all ASCII.
size_t ascii_run(const uint8_t *p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t eight;
        std::memcpy(&eight, p + i, sizeof eight);
        if (eight & 0x8080808080808080ull) break;
    }
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

// Appends n ASCII bytes as as many units: widened into a buffer on the
// stack in blocks of a fixed size (which the compiler turns into vector code),
// then copied (a resize of out would first fill what the copy overwrites).
void append_ascii(const uint8_t *src, size_t n, std::u16string &out) {
    constexpr size_t block = 16;
    char16_t wide[32 * block];
    while (n > 0) {
        const size_t k = std::min(n, std::size(wide));
        size_t i = 0;
        for (; i + block <= k; i += block)
            for (size_t j = 0; j < block; ++j) wide[i + j] = src[i + j];
        for (; i < k; ++i) wide[i] = src[i];
        out.append(wide, k);
        src += k;
        n -= k;
    }
}

void append_8bit(std::span<const uint8_t> bytes, std::u16string &out) {
    for (size_t pos = 0; pos < bytes.size();) {
        // Runs of ASCII, the common case, are widened at once.
        const size_t run = ascii_run(bytes.data() + pos, bytes.size() - pos);
        if (run > 0) {
            append_ascii(bytes.data() + pos, run, out);
            pos += run;
            if (pos == bytes.size()) break;
        }
        char32_t cp = 0;
        pos += char_8bit(bytes.subspan(pos), cp);
        text::append_utf16(out, cp);
    }
}

void append_utf16_units(std::span<const uint8_t> bytes, bool big_endian, std::u16string &out) {
    const Encoding enc = big_endian ? Encoding::Utf16BE : Encoding::Utf16LE;
    const size_t units = bytes.size() / 2;
    const size_t base = out.size();
    out.resize(base + units);
    for (size_t i = 0; i < units; ++i) out[base + i] = code_unit(bytes, i, enc);
}

}  // namespace

bool is_ascii(std::span<const uint8_t> bytes) {
    return ascii_run(bytes.data(), bytes.size()) == bytes.size();
}

std::u16string decode_8bit(std::span<const uint8_t> bytes) {
    std::u16string out;
    out.reserve(bytes.size());  // never more units than bytes
    append_8bit(bytes, out);
    return out;
}

std::u16string decode_utf16(std::span<const uint8_t> bytes, bool big_endian) {
    std::u16string out;
    append_utf16_units(bytes, big_endian, out);
    return out;
}

std::u16string decode(std::span<const uint8_t> bytes, Encoding enc) {
    std::u16string out;
    out.reserve(bytes.size() / unit_size(enc));
    decode_append(bytes, enc, out);
    return out;
}

void decode_append(std::span<const uint8_t> bytes, Encoding enc, std::u16string &out) {
    if (unit_size(enc) == 2)
        append_utf16_units(bytes, is_big_endian(enc), out);
    else
        append_8bit(bytes, out);
}

size_t byte_offset(std::span<const uint8_t> bytes, Encoding enc, size_t units) {
    if (unit_size(enc) == 2) return std::min(bytes.size() / 2, units) * 2;
    size_t pos = 0, produced = 0;
    while (pos < bytes.size() && produced < units) {
        char32_t cp = 0;
        pos += char_8bit(bytes.subspan(pos), cp);
        produced += cp < 0x10000 ? 1 : 2;
    }
    return pos;
}

bool encode(std::u16string_view s, Encoding enc, std::string &out) {
    if (unit_size(enc) == 1) return text::append_utf8(out, s);
    const bool be = is_big_endian(enc);
    for (const char16_t u : s) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out.push_back(be ? hi : lo);
        out.push_back(be ? lo : hi);
    }
    return true;
}

}  // namespace ryn::platform
