// Checked access to JSON texts that come from outside the simulator: the
// options of ryn_sim_create and the state file. Every malformed value is a
// SimError whose text names the offending key.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/device.h"

namespace ryn::sim {

using json = nlohmann::json;

// Parses a JSON text; nesting deeper than a state file ever needs is refused
// so that a hostile file cannot exhaust the stack.
json parse_json(std::string_view text, std::string_view what);

// Fails unless obj is an object whose keys are all among allowed.
void check_object(const json &obj, std::initializer_list<std::string_view> allowed,
                  std::string_view what);

// An unsigned integer in [min, max]. lenient also takes a decimal or
// "0x"-prefixed hexadecimal string (the form users type record versions in).
uint64_t to_uint(const json &value, uint64_t min, uint64_t max, std::string_view what,
                 bool lenient = false);
int64_t to_int(const json &value, std::string_view what);
std::string to_string(const json &value, std::string_view what);
bool to_bool(const json &value, std::string_view what);

// Lowercase hexadecimal text of bytes, and back (even length, hex digits only).
std::string to_hex(std::span<const uint8_t> bytes);
Bytes from_hex(std::string_view text, std::string_view what);

// UTF-8 text into UTF-16 (refusing malformed UTF-8), and UTF-16 into
// printable ASCII with \uXXXX escapes (for the trace).
std::u16string utf8_to_utf16(std::string_view text, std::string_view what);
// Option "serial_num": a model configuration's serial number, 1 to 19
// characters (the record's field holds 20 with the terminator).
std::u16string serial_text(const json &value);
std::string printable(std::u16string_view text);

// A version text "a.b.c.d", each part decimal digits worth 0..65535, as
// a << 48 | b << 32 | c << 16 | d; empty for any other text.
std::optional<uint64_t> version_number(std::u16string_view text);

}  // namespace ryn::sim
