// The parts of the device-information INI sections that every controller's
// model configuration shares: the head of "model configuration" (length,
// versions, USB identity, the five strings) and the three header keys of
// "algorithm parameter". The base controller's host form and the other
// controllers' records keep the head at the same offsets (ModelCfgRecord),
// and every algorithm block with a header starts like AlgoBlock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "frame/definitions.h"
#include "platform/ini_file.h"
#include "text/field_number.h"
#include "ryn_usr.h"
#include "text/checked_format.h"

namespace ryn::devinfo {

inline constexpr std::u16string_view kModelSection = u"model configuration";
inline constexpr std::u16string_view kAlgoSection = u"algorithm parameter";

// The header keys of "algorithm parameter", which a parameter's name must not
// take.
const std::vector<std::u16string> &algo_header_keys();

// "0x%0*x" with width 2, and "%u".
std::u16string hex2(uint64_t value);
std::u16string decimal(uint64_t value);

// Which of the head's keys a record version holds beside length, versions,
// vid and pid.
struct HeadKeys {
    bool bcd_device;
    bool strings;
};

// Writes the head: "length", "major_version", "minor_version", "vid", "pid",
// then "bcdDevice" and the five strings when the record has them (a string
// that fills its field without a terminator is written with all its 20
// characters). False at the first write that fails.
bool dump_model_cfg_head(platform::IniFile &ini, std::span<const uint8_t> record, HeadKeys keys);

// Whether every string the head writes can be written to an INI file; reports
// the first that cannot (writable_text) and returns false. A GET checks this
// before it writes anything.
bool head_strings_writable(std::span<const uint8_t> record, HeadKeys keys, const cali_info_arg &arg);

// Reads the head over the record: "vid" and "pid" are required (the warning,
// then vid_refusal or "file %s can not miss PID.\n" with the INI path, and 0);
// a missing "bcdDevice" keeps the record's value; a missing string clears its
// field; every miss is warned about. A string longer than its field's 20
// characters is refused ("[Error] Bad value of <key>: <value>.\n" and 0). Length and versions are never taken from
// the file.
int parse_model_cfg_head(const platform::IniFile &ini, std::span<uint8_t> record,
                         const cali_info_arg &arg, const std::u16string &path,
                         text::format_string<const char16_t *> vid_refusal);

// Writes "length", "major_version" and "minor_version" of the algorithm block;
// false at the first write that fails.
bool dump_algo_header(platform::IniFile &ini, std::span<const uint8_t> block);
// Reads the three header keys into the block, each required ("[Error] Missing
// ... in ALGO_PARAM.\n" and 0).
int parse_algo_header(const platform::IniFile &ini, std::span<uint8_t> block,
                      const cali_info_arg &arg);

// Reads the parameters of "algorithm parameter": for each of the first
// `slots` entries of the definition table whose present flag is set, the key
// the entry names, as a float (integer empty) or as an integer of that field
// (its bits); store takes the slot number and the bits. A missing key is
// warned about and its slot keeps what it holds; a value that is refused
// fails the parse (0).
int parse_algo_slots(const platform::IniFile &ini, const frame::DefinitionTable &table,
                     size_t slots, std::optional<text::IntegerField> integer,
                     const cali_info_arg &arg, const std::function<void(size_t, uint32_t)> &store);

}  // namespace ryn::devinfo
