#include "formats/layout.h"

#include <string>

namespace ryn::layout {

std::u16string utf16_field(std::span<const uint8_t> buf, const Field &f) {
    std::span<const uint8_t> bytes = f.bytes(buf);
    std::u16string s;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) break;
        s.push_back(c);
    }
    return s;
}

}  // namespace ryn::layout
