// The base controller's options and the records a new one holds (their
// contents are listed at the head of sim/base_records.cpp); sim/base.cpp
// models its firmware on them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "formats/base_fw.h"
#include "formats/layout.h"
#include "formats/version_record.h"
#include "sim/device.h"

namespace ryn::sim::base_model {

// The version record is the library's own declaration: device and host agree
// on one layout.
using VR = devinfo::VersionRecord;

// The firmware header record is the library's declaration; the signature
// word is the simulator's own (kFwHeaderMark).
namespace fw_header {
inline constexpr size_t kSize = fwupdate::FwHeaderRecord::size;
inline constexpr layout::Field signature{"signature", 0, 4};
// Bit 0: update mode.
inline constexpr layout::Field mode_flags = fwupdate::FwHeaderRecord::mode_flags;
inline constexpr layout::Field kFields[] = {signature, mode_flags};
static_assert(layout::well_formed(kFields, kSize));
}  // namespace fw_header

// The firmware modes by their names in the options and their codes.
inline constexpr uint32_t kModeNormal = fwupdate::fw_mode_normal;
inline constexpr uint32_t kModeUpdate = fwupdate::fw_mode_update;
inline constexpr uint32_t kModeFlashBuilder = fwupdate::fw_mode_flash_builder;
struct ModeName {
    std::string_view name;
    uint32_t code;
};
inline constexpr ModeName kModes[] = {
    {"normal", kModeNormal}, {"update", kModeUpdate}, {"flashbuilder", kModeFlashBuilder}};

struct BaseOptions {
    unsigned cali_version = 10;
    uint16_t model_version = 0x103;
    uint16_t algo_version = 0x104;
    std::string fw_mode = "normal";
    std::u16string bootldr = u"1.0.0312.1";
    std::u16string normal = u"2.3.1311.5";
    std::u16string updater = u"2.3.1311.2";
    uint16_t length = VR::size;
    uint8_t major = 1;
    uint8_t minor = 3;
    std::u16string serial_num = u"SN0000001";
};

// The options of ryn_sim_create; SimError names an unknown key or a bad value.
BaseOptions parse_options(const nlohmann::json &options);

Bytes make_version_record(const BaseOptions &o);
Bytes make_cali_record(unsigned version);
Bytes make_model_cfg(uint16_t version, uint16_t algo_version, std::u16string_view serial_num);
Bytes make_fw_header();

}  // namespace ryn::sim::base_model
