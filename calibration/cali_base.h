// Calibration of the base controller: the working form of its record, the
// conversions from and to the device's versions, the sensor register table,
// the dump into an INI file and the three file readers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "formats/cali_record.h"
#include "frame/definitions.h"
#include "platform/ini_file.h"
#include "ryn_hid.h"
#include "ryn_usr.h"

namespace ryn::calibration {

// The working form: a version-10 record in an 8192-byte buffer.
using CaliBuffer = std::array<uint8_t, cali_record::kTransfer>;

// ---- Record and conversions --------------------------------------------------

// Fills work with the version-10 form of the device's record and marks valid
// the definition entries the record holds. 0 when the version is neither 9
// nor 10.
int to_working_form(std::span<const uint8_t, cali_record::kTransfer> device, CaliBuffer &work,
                    frame::DefinitionTable &defs);

// Rewrites the named fields of the device's version-9 record from the working
// form; every other byte, and every field whose name the definition file
// lacks, keeps the device's value.
void to_version9(const CaliBuffer &work, std::span<uint8_t, cali_record::kTransfer> device,
                 const frame::DefinitionTable &defs);

// The name of the first integer field of version 9 (a polynomial selection
// of 8 bits, a jig point's l or r of 16 bits) whose parameter is no whole
// number the field holds, so that converting back would cut it; null when
// every one fits.
const std::u16string *version9_misfit(const CaliBuffer &work, const frame::DefinitionTable &defs);

// Stores value as the parameter named name (first present entry of that name)
// and marks it valid; false, with nothing stored, when no entry has the name.
bool store_named(CaliBuffer &work, frame::DefinitionTable &defs, std::u16string_view name,
                 float value);

// f32 fields of a buffer.
float get_f32(std::span<const uint8_t> buf, const layout::Field &f);
void put_f32(std::span<uint8_t> buf, const layout::Field &f, float v);
// A double as f32; values beyond the f32 range become infinities.
float to_f32(double v);

// ---- Sensor register table -----------------------------------------------------

// The decoded view: per camera 0 to 2, seven (enable, value) pairs.
enum SensorItem : size_t {
    bound_l,
    bound_r,
    global_gain,
    color_gain,
    front_gain,
    ggh,
    cgh,
    sensor_items
};
struct SensorView {
    struct Pair {
        uint32_t enable = 0;
        uint32_t value = 0;
        bool operator==(const Pair &) const = default;
    };
    Pair cam[cali_record::kCameras][sensor_items] = {};
    bool operator==(const SensorView &) const = default;
};

SensorView decode_sensor_table(std::span<const uint8_t> table);
// Writes a new table of 72 entries: 8 per camera, the rest zero.
void encode_sensor_table(const SensorView &view, std::span<uint8_t> table);

// ---- The INI file of a request ---------------------------------------------------

// Section "calibration" of the request's INI file, as the dump and the INI
// readers use it. One store per request.
class CaliIni {
  public:
    static constexpr size_t value_capacity = 256;  // characters, terminator included
    virtual ~CaliIni() = default;
    // Characters of the key's value stored in buf (at most cap - 1); 0 when missing.
    virtual size_t get(std::u16string_view key, char16_t *buf, size_t cap) = 0;
    virtual bool set(std::u16string_view key, std::u16string_view value) = 0;
    // Whether the file exists but could not be read (held by another program,
    // no permission): it then reads as an empty file. A store in memory
    // always reads.
    virtual bool read_failed() const { return false; }
    // Whether the file has the section at all (keys or not).
    virtual bool has_section() const = 0;
    // The file behind the store, whose other sections tell what else it
    // holds; none for a store in memory.
    virtual const platform::IniFile *file() const { return nullptr; }
    // Writes what was set to the file; false when it cannot be written.
    virtual bool commit() = 0;
};

// The store of the library: the file parsed once, committed once.
class CaliIniFile final : public CaliIni {
  public:
    explicit CaliIniFile(std::u16string_view path) : ini_(path) {}
    size_t get(std::u16string_view key, char16_t *buf, size_t cap) override;
    bool set(std::u16string_view key, std::u16string_view value) override;
    bool read_failed() const override { return ini_.read_failed(); }
    bool has_section() const override;
    const platform::IniFile *file() const override { return &ini_; }
    bool commit() override { return ini_.commit(); }

  private:
    platform::IniFile ini_;
};

inline constexpr std::u16string_view kSection = u"calibration";

// ---- Dump and readers ------------------------------------------------------------

// Writes the working record into the section: fixed keys, then every present
// and valid parameter. 0 when a fixed key or the file cannot be written.
int dump_cali(const CaliBuffer &work, const frame::DefinitionTable &defs, CaliIni &ini);

// The three readers of the SET path; each overlays the file's values on work.
int read_cali_ini(const cali_info_arg &arg, CaliBuffer &work, frame::DefinitionTable &defs,
                  CaliIni &ini);
int read_cali_compact_ini(const cali_info_arg &arg, CaliBuffer &work, frame::DefinitionTable &defs,
                          CaliIni &ini);
int read_cali_text(const cali_info_arg &arg, CaliBuffer &work, frame::DefinitionTable &defs,
                   const std::u16string &path);

// The steps GET and SET share: progress 1, the definition file, progress 2,
// "Fail to find the appropriate function." unless found, the device's record
// read through reader, its working form, progress 3. 0 after a message.
int read_device_record(cali_info_arg &arg, ryn_record_reader reader, bool found, CaliBuffer &device,
                       CaliBuffer &work);

// The GET and SET paths on a given INI store (the exported paths use CaliIniFile).
int get_cali_info(cali_info_arg &arg, const std::u16string &path, CaliIni &ini);
int set_cali_info(cali_info_arg &arg, const std::u16string &path, CaliIni &ini);

}  // namespace ryn::calibration
