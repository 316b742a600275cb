#include "devinfo/algo_params.h"

#include <bit>
#include <cmath>

#include "formats/algo_block.h"

namespace ryn::devinfo {
namespace {
using B = AlgoBlock;

// The bits of the float that i32 field k of a device block reads as.
uint32_t reads_as(std::span<const uint8_t> device, size_t k) {
    return std::bit_cast<uint32_t>(
        static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(B::value(k).get(device)))));
}

}  // namespace

int32_t to_i32_field(float value) {
    const double t = std::trunc(static_cast<double>(value));
    if (!(t >= -2147483648.0 && t <= 2147483647.0)) return INT32_MIN;  // NaN fails both tests
    return static_cast<int32_t>(t);
}

const AlgoField *i32_misfit(uint32_t version, std::span<const uint8_t> host,
                           std::span<const uint8_t> device, const frame::DefinitionTable &definitions) {
    for (size_t k = 0; k < algo_field_count(version); ++k) {
        const AlgoField &field = kAlgoFields[k];
        if (field.type != AlgoFieldType::i32) continue;
        const int n = definitions.find(field.name);
        if (n < 0 || static_cast<size_t>(n) >= B::host_slots) continue;
        const auto bits = static_cast<uint32_t>(B::value(static_cast<size_t>(n)).get(host));
        if (bits == reads_as(device, k)) continue;
        const double value = std::bit_cast<float>(bits);
        if (!(value >= -0x1p31 && value < 0x1p31 && std::trunc(value) == value)) return &field;
    }
    return nullptr;
}

void read_algo_block(uint32_t version, std::span<const uint8_t> device, std::span<uint8_t> host,
                     frame::DefinitionTable &definitions) {
    B::length.put(host, B::host_size);
    B::minor.put(host, B::minor.get(device));
    B::major.put(host, B::major.get(device));
    for (size_t k = 0; k < algo_field_count(version); ++k) {
        const AlgoField &field = kAlgoFields[k];
        const int n = definitions.find(field.name);
        if (n < 0 || static_cast<size_t>(n) >= B::host_slots) continue;
        const auto bits = static_cast<uint32_t>(B::value(k).get(device));
        const float value = field.type == AlgoFieldType::i32
                                ? static_cast<float>(static_cast<int32_t>(bits))
                                : std::bit_cast<float>(bits);
        definitions.set_valid(static_cast<size_t>(n), true);
        B::value(static_cast<size_t>(n)).put(host, std::bit_cast<uint32_t>(value));
    }
}

void write_algo_block(uint32_t version, std::span<const uint8_t> host, std::span<uint8_t> device,
                      const frame::DefinitionTable &definitions) {
    B::length.put(device, B::device_length);
    B::minor.put(device, version & 0xFF);
    B::major.put(device, version >> 8);
    for (size_t k = 0; k < algo_field_count(version); ++k) {
        const AlgoField &field = kAlgoFields[k];
        const int n = definitions.find(field.name);
        // A field the definition file does not name has no host slot: the
        // device form keeps what it holds.
        if (n < 0 || static_cast<size_t>(n) >= B::host_slots) continue;
        const float value =
            std::bit_cast<float>(static_cast<uint32_t>(B::value(static_cast<size_t>(n)).get(host)));
        if (field.type == AlgoFieldType::i32 && reads_as(device, k) == std::bit_cast<uint32_t>(value))
            continue;  // the device's own value, which the float may not hold exactly
        const uint32_t bits = field.type == AlgoFieldType::i32
                                  ? static_cast<uint32_t>(to_i32_field(value))
                                  : std::bit_cast<uint32_t>(value);
        B::value(k).put(device, bits);
    }
}

}  // namespace ryn::devinfo
