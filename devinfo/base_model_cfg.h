// The base controller's model configuration record: reading the device's
// record into the host form and writing it back in the version the device
// reports, and the sensor dsp block unpacked into per-camera settings and
// packed back.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "formats/model_cfg_record.h"
#include "frame/definitions.h"
#include "ryn_usr.h"

namespace ryn::devinfo {

using ModelCfgBuffer = std::array<uint8_t, ModelCfgRecord::size>;
// A device record as the record reader and writer move it.
using DeviceCfgBuffer = std::array<uint8_t, ModelCfgRecord::transfer_size>;

// One camera sensor setting: enable flag (0 or 1) and value.
struct CameraSetting {
    uint32_t enable = 0;
    uint32_t value = 0;
};
// [camera][setting], settings in the order of kSensorSettings.
using CameraSettings =
    std::array<std::array<CameraSetting, std::size(kSensorSettings)>, kSensorCameras>;

// Reads the device's record into host (zeroed by the caller) and converts it
// by its version; sets the valid flags of "algo_param_def" for the parameters
// the record holds. as_read, when given, receives the device record as read.
// 1 on success, 0 on failure (the two messages of a device library that offers
// no reader go to arg's sink). The device is arg's handle.
int read_model_cfg(const cali_info_arg &arg, std::span<uint8_t, ModelCfgRecord::size> host,
                   frame::DefinitionTable &definitions, DeviceCfgBuffer *as_read = nullptr);

// Builds the device record in the version the device reports (the version the
// host record was read in when the query fails) and writes it. When as_read
// (the device record read before) has that version, the record starts from
// it, so its bytes that no field of the host record fills, algorithm fields
// the definition file does not name among them, keep the device's values;
// otherwise they are zero. 1 when the device took it; 0 otherwise, and then
// nothing was sent (a device library that offers no writer: two messages to
// arg's sink).
int write_model_cfg(const cali_info_arg &arg, std::span<const uint8_t, ModelCfgRecord::size> host,
                    const frame::DefinitionTable &definitions,
                    const DeviceCfgBuffer *as_read = nullptr);

// The settings held by the host record's sensor dsp block.
CameraSettings unpack_sensor_dsp(std::span<const uint8_t> host);
// Replaces the host record's sensor dsp block with the settings.
void pack_sensor_dsp(const CameraSettings &settings, std::span<uint8_t> host);

// Filter size 1, 3, 5 to its code 0, 1, 2 (other sizes: 0), and back (other
// codes: 1).
uint8_t filter_code(uint32_t size);
uint32_t filter_size(uint32_t code);

}  // namespace ryn::devinfo
