// Devices made of one or more controllers that each hold a calibration record
// and a model configuration record of 8192 bytes: the 5810 and 5920
// controllers (one controller each) and the six-camera system (the LPC4320
// controller as device 255 and two 5810 devices as 1 and 2). The record
// readers and writers are described once here; a family says which
// controllers it holds and which one a call reaches.
//
// Options (JSON keys of ryn_sim_create; numbers also as "0x..." strings), the
// same for every controller of the device:
//   "cali_version"   0..255       version byte of the calibration record, default 1
//   "model_version"  0..0xFFFF    version the model configuration record reports,
//                                 default 0x200 (0x300 for the 5920)
//   "algo_version"   0..0xFFFF    algorithm block version of a 0x200 record, default 0x101
//   the 5810 and six-camera devices only (sim/c5810.cpp):
//   "flash_id"       0..0xFFFFFFFF  ID the serial flash reports, default 0x00EF4015
//   "flash_driver"   bool         the chip needs an extended flash driver, default false
//   "fw_mode"        "flash" | "maskrom"  a 5810 device of its own: its mode, default "flash"
//
// Records of controller kind k, seed s (1 for a one-controller device; 1, 2, 3
// for devices 255, 1, 2 of a six-camera system), all little-endian:
//   "cali" (8192 bytes), 5810 form: length 8192, version, byte 3 = 0x5A;
//     sensor parameter n: enabled unless n % 4 == 3, camera n % 8, 4-bit value
//     (n + s) % 16, bytes n, (3n + s) & 0xFF, 0xC0 | s; firmware parameter n =
//     1000 s + 7 n + 1, but parameter 190 = 0xFFFFFF00 + s (above the signed
//     range); calibration value n = (n - 896) / 3 + s / 4 as a float.
//   "cali", 5920 form: length 8192, version, byte 3 = 0x5A; system slot n:
//     disabled when n is odd, 7-bit value n % 128, bytes n & 0xFF, n >> 8,
//     0x30 + s; firmware parameter n = (37 n + s) & 0xFFFF, parameter 1023 =
//     0xFFFF; calibration value n = (13 n + 5 s) & 0xFFFF.
//   "model-cfg" (8192 bytes), version 0x200: length 8192, version, vid 0x0408,
//     pid by kind, bcdDevice 0x0100 + s, strings "SIM-<kind>", "BC-<kind>-000<s>",
//     "Simulated", "OpticalTouchScreen", "SN<kind>000<s>"; bytes 210, 211 =
//     0xA5, 0x5A; firmware parameter n = 11 n + s, parameter 714 =
//     0x80000000 + s; algorithm block length 5120 and version, slot n =
//     (n + 1) / 8 + s as a float.
//   "model-cfg", version 0x300 (5920): the same head; system entry n:
//     disabled when n % 3 == 0, 7-bit value n % 128, bytes n & 0xFF, n >> 8, s;
//     firmware parameter n = (3 n + s) & 0xFFFF; algorithm slot n = 5 n + s.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/layout.h"
#include "sim/device.h"

namespace ryn::sim {

// The kinds of controller these devices hold.
enum class ControllerKind { c5810, c5920, lpc4320 };

// One controller of a device: its kind, the device id that selects it (0 for
// a device of one controller), the prefix of its record names ("" or "255/")
// and the seed of its default contents.
struct ControllerUnit {
    ControllerKind kind;
    uint32_t dev_id;
    std::string prefix;
    unsigned seed;
};

class ControllerDevice : public Device {
  public:
    ControllerDevice(const nlohmann::json &options, std::vector<ControllerUnit> units);

    bool offers(RecordIo) const override { return true; }
    Result read_cali(Call &, void *record) override;
    Result write_cali(Call &, const void *record) override;
    Result read_model_cfg_record(Call &, void *record) override;
    Result write_model_cfg_record(Call &, const void *record) override;
    Result set_sensor_ctrl(Call &, uint32_t on) override;
    std::string unreachable() const override;

    // Firmware operations of the 5810 controllers (sim/c5810.cpp); the
    // other kinds answer them as unsupported.
    Result get_fw_mode(Call &, uint32_t *mode) override;
    Result get_fw_hdr(Call &, void *header) override;
    Result set_fw_hdr(Call &, const void *header) override;
    Result set_dev_mode(Call &, uint32_t mode) override;
    Result set_normal_code(Call &, const void *version_record, const void *model_cfg,
                           const void *code, uint32_t length) override;
    Result update_flash_code(Call &, const void *data, uint32_t offset, uint32_t length) override;
    Result set_extend_flash_driver(Call &, uint32_t param, const void *driver,
                                   uint32_t length) override;
    Result get_reg(Call &, uint32_t address, uint32_t *value) override;
    Result set_reg(Call &, uint32_t address, uint32_t value) override;
    Result get_dev_ctrl(Call &, uint32_t *word) override;
    Result set_dev_ctrl(Call &, uint32_t code) override;
    nlohmann::json save_state() const override;
    void load_state(const nlohmann::json &state) override;

  protected:
    // The controller the next call reaches, or null (with the reason in *why).
    virtual const ControllerUnit *current(std::string *why) const;
    const std::vector<ControllerUnit> &units() const { return units_; }
    // The controller the next call reaches; throws when there is none.
    const ControllerUnit &unit() const;
    // Replaces the reached controller's record when the one given has the
    // held record's length and version.
    Result write_record(std::string_view name, const void *record, const layout::Field &length,
                        uint64_t (*version)(std::span<const uint8_t>));

    std::string record_error(std::string_view name, std::span<const uint8_t> bytes) const override;
    std::span<const std::string_view> required_records() const override;
    bool valid_mode(std::string_view mode) const override { return mode == "normal"; }
    void after_reset() override;

    // A firmware record beyond the two of every controller: held from
    // creation with these contents (required), or existing once written,
    // with a size from min_size to max_size.
    void hold_record(const std::string &name, Bytes initial);
    void allow_record(const std::string &name, size_t min_size, size_t max_size);

    // Flash of size bytes kept as record name (erased as 0xFF until written):
    // programs length bytes at offset, or copies them out.
    Result program_flash(const std::string &name, size_t size, const void *data, uint32_t offset,
                         uint32_t length);
    Result read_flash(Call &call, const std::string &name, size_t size, void *dest, uint32_t offset,
                      uint32_t length) const;

  private:
    // The firmware state of one 5810 controller; a reset clears all but the
    // mode (sim/c5810.cpp).
    struct Fw5810 {
        bool maskrom = false;
        std::optional<bool> maskrom_requested;  // effective at the next reset
        uint32_t osc_written = 0;               // OSC-Cali registers written in order
        bool osc_wrong = false;                 // one written out of order or with another value
        uint32_t sf_command = 0;
        uint32_t sf_busy_reads = 0;  // status reads left before the command is done
        bool sf_id_ready = false;
        bool driver_loaded = false;
        bool kit_ending = false;
    };
    struct FlashChip {
        uint32_t id = 0x00EF4015;
        bool needs_driver = false;
    };
    Fw5810 *fw_5810();
    const Fw5810 *fw_5810() const;
    Result flash_writable(const Fw5810 &fw) const;
    Result write_flash(uint32_t offset, std::span<const uint8_t> bytes);
    Bytes fw_header() const;
    // The size of a 5810 controller's firmware record ("flash", "fw-header")
    // of this name, or empty for another name.
    std::optional<size_t> firmware_record_size(std::string_view name) const;

    FlashChip chip_;
    std::map<uint32_t, Fw5810> fw_;  // by device id
    struct RecordRule {
        std::string name;
        size_t min_size, max_size;
    };
    std::vector<ControllerUnit> units_;
    std::vector<std::string> required_names_;
    std::vector<std::string_view> required_;
    std::vector<RecordRule> rules_;
};

// The families' makers; the six-camera system's is in sixcam.cpp.
std::span<const uint8_t> record_input(const void *p, size_t size);
std::unique_ptr<Device> make_5810_controller(const nlohmann::json &options);
std::unique_ptr<Device> make_5920_controller(const nlohmann::json &options);  // c5920.cpp
std::unique_ptr<Device> make_6cam_system(const nlohmann::json &options);

}  // namespace ryn::sim
