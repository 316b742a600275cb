// Binary record layouts: each record is declared once as a table of named
// fields (offset, width, byte order) and read or written through bounds-checked
// accessors on byte spans. File and device buffers are never cast to structs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ryn::layout {

enum class Endian { little, big };

struct Field {
    std::string_view name;
    size_t offset;
    size_t width;  // bytes; integers are 1, 2, 4 or 8 wide
    Endian endian = Endian::little;

    constexpr size_t end() const { return offset + width; }
    // True when the field lies inside a buffer of the given size.
    constexpr bool fits(size_t size) const { return offset <= size && width <= size - offset; }

    // Unsigned integer value of the field; 0 when the field does not fit the
    // buffer (callers that read untrusted buffers check fits() first).
    constexpr uint64_t get(std::span<const uint8_t> buf) const {
        if (!fits(buf.size()) || width > 8) return 0;
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i) {
            size_t at = endian == Endian::little ? offset + width - 1 - i : offset + i;
            v = (v << 8) | buf[at];
        }
        return v;
    }

    // Stores an unsigned integer value; false (and nothing written) when the
    // field does not fit the buffer.
    constexpr bool put(std::span<uint8_t> buf, uint64_t v) const {
        if (!fits(buf.size()) || width > 8) return false;
        for (size_t i = 0; i < width; ++i) {
            size_t at = endian == Endian::little ? offset + i : offset + width - 1 - i;
            buf[at] = static_cast<uint8_t>(v >> (8 * i));
        }
        return true;
    }

    // The field's bytes; empty when the field does not fit the buffer.
    constexpr std::span<const uint8_t> bytes(std::span<const uint8_t> buf) const {
        return fits(buf.size()) ? buf.subspan(offset, width) : std::span<const uint8_t>{};
    }
    constexpr std::span<uint8_t> bytes(std::span<uint8_t> buf) const {
        return fits(buf.size()) ? buf.subspan(offset, width) : std::span<uint8_t>{};
    }
};

// A run of equal fields: count fields of width bytes from offset, element n at
// offset + n * width.
struct Array {
    std::string_view name;
    size_t offset;
    size_t width;
    size_t count;
    Endian endian = Endian::little;

    constexpr Field at(size_t n) const { return {name, offset + n * width, width, endian}; }
    // The whole run as one field, for well_formed() and bounds checks.
    constexpr Field whole() const { return {name, offset, width * count, endian}; }
    constexpr size_t end() const { return offset + width * count; }
};

// One row of a header dump: a field and the label printed before its value.
// A dump prints each row as the label padded with spaces to dump_label_width
// columns, "0x", then the value in at least digits hex digits.
struct DumpRow {
    Field field;
    std::u16string_view label;
    int digits = 8;
};
inline constexpr size_t dump_label_width = 23;

// True when the fields lie in ascending order without overlap inside a record
// of the given size; used in static_asserts beside each layout declaration.
template <size_t N>
constexpr bool well_formed(const Field (&fields)[N], size_t record_size) {
    size_t at = 0;
    for (const Field &f : fields) {
        if (f.offset < at || !f.fits(record_size)) return false;
        at = f.end();
    }
    return true;
}

// A UTF-16LE string field of at most width / 2 characters: the text up to its
// terminator, or the whole field when the device left none.
std::u16string utf16_field(std::span<const uint8_t> buf, const Field &f);

// Stores text as a UTF-16LE string field: at most width / 2 - 1 characters
// (width / 2 when terminated is false: a string that fills the field has no
// terminator), then zeros to the end of the field. False when the field does
// not fit.
// Inline: the simulator, which has no platform library, builds records with it.
inline bool put_utf16_field(std::span<uint8_t> buf, const Field &f, std::u16string_view text,
                            bool terminated = true) {
    std::span<uint8_t> bytes = f.bytes(buf);
    if (bytes.size() != f.width) return false;
    for (uint8_t &b : bytes) b = 0;
    const size_t room = !terminated ? f.width / 2 : f.width / 2 == 0 ? 0 : f.width / 2 - 1;
    for (size_t i = 0; i < text.size() && i < room; ++i) Field{"", 2 * i, 2}.put(bytes, text[i]);
    return true;
}

}  // namespace ryn::layout
