// SHA-256 of a byte string, as lower-case hexadecimal: the sums a backup's
// manifest keeps of its files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ryn::cli {

std::string sha256_hex(const std::vector<uint8_t> &bytes);

}  // namespace ryn::cli
