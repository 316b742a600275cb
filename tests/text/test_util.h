// Helpers shared by the text/ tests.
#pragma once

#include <string>

#include "text/text.h"

namespace ryn::text::test {

// gtest prints UTF-8 readably; compare wide results through it.
inline std::string u8(const std::u16string &s) {
    return to_utf8(s);
}

}  // namespace ryn::text::test
