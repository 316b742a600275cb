// Generated contents of the image builders: deterministic bytes that differ
// with a seed text, and records with a length and version header.
#pragma once

#include <cstdint>
#include <string_view>

#include "tools/image_builder/image_builder.h"

namespace ryn::fwupdate {

Bytes generated(size_t size, std::u16string_view seed);
Bytes generated_record(size_t size, uint8_t minor, uint8_t major, std::u16string_view seed);

// Appends data to image at the next 256-byte boundary (filling with 0xFF);
// returns the file offset it starts at.
size_t append_aligned(Bytes &image, const Bytes &data);

}  // namespace ryn::fwupdate
