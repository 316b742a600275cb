// Algorithm parameter sets: the mappings between the device form of the
// algorithm parameter block (block versions 0x101 to 0x104) and its host form.
// A field's host slot is the number under which "algo_param_def" names it;
// fields the definition file does not name are not carried.
#pragma once

#include <cstdint>
#include <span>

#include "formats/algo_block.h"
#include "frame/definitions.h"

namespace ryn::devinfo {

// Reading mapping: the host block's header (length 3072, the device's version
// bytes) and the slot of every named field of the version's list, each
// entry's valid flag set. i32 fields become the nearest float. Other slots
// keep what they held. A version without a field list maps nothing.
void read_algo_block(uint32_t version, std::span<const uint8_t> device, std::span<uint8_t> host,
                     frame::DefinitionTable &definitions);

// Writing mapping: the device block's header (length 1024, the version) and
// every field of the version's list from its host slot; a field whose name
// is not defined keeps what the device form holds, and so does an i32 field
// whose host slot holds the float its device value reads as (a value beyond
// 2^24 reads as a float that does not hold it exactly). i32 fields take the value truncated toward zero, or
// 0x80000000 when it is NaN or outside the i32 range. The host header and the
// valid flags are not consulted; device bytes after the last field are not
// written.
void write_algo_block(uint32_t version, std::span<const uint8_t> host, std::span<uint8_t> device,
                      const frame::DefinitionTable &definitions);

// The first i32 field of the version's list whose host slot holds a value
// the field cannot take as it is (no whole number within the i32 range:
// 3.0e9, nan, 2.5), unless it is the float the device block's own value
// reads as, which the writing mapping keeps; null when every one fits.
const AlgoField *i32_misfit(uint32_t version, std::span<const uint8_t> host,
                           std::span<const uint8_t> device, const frame::DefinitionTable &definitions);

// The i32 writing rule on its own.
int32_t to_i32_field(float value);

}  // namespace ryn::devinfo
