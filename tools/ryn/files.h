// File arguments come from the user and are not trusted: each is checked
// before use, and every problem becomes a Failure that says what to do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ryn::cli {

// An existing, readable regular file.
void check_input_file(const std::string &path, const std::string &what);
// A path a file can be written to: not a folder, in an existing folder, and
// writable when it already exists.
void check_output_file(const std::string &path, const std::string &what);

// Whole content of a file of at most max_size bytes.
std::vector<uint8_t> read_file(const std::string &path, const std::string &what, size_t max_size);
// Replaces the file with the bytes.
void write_file(const std::string &path, const std::string &what, const std::vector<uint8_t> &bytes);

}  // namespace ryn::cli
