#include "devinfo/base_model_cfg.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "devinfo/algo_params.h"
#include "frame/sink.h"
#include "ryn_hid.h"

namespace ryn::devinfo {
namespace {

using R = ModelCfgRecord;
using Buffer = std::vector<uint8_t>;

const ModelCfgForm &host_form() {
    return *model_cfg_form(0x103);
}

// The lines of a device library that offers no reader or writer, through the
// operation's sink (the host's console is not the library's to write).
void no_function(const cali_info_arg &arg, text::format_string<> which) {
    frame::report(arg, which);
    frame::report(arg, u"Fail to find the appropriate function.\n");
}

// ryn_get_dev_ver with a selector; nothing when the query fails.
std::optional<uint16_t> query_version(ryn_handle handle, uint32_t selector) {
    std::array<uint8_t, VersionQuery::size> query{};
    VersionQuery::selector.put(query, selector);
    if (!ryn_get_dev_ver(handle, query.data())) return std::nullopt;
    return VersionQuery::version(query);
}

// Moves the fields both forms have from one record to the other: numbers kept
// to the target's width (a 0x100 resolution slot of 32 bits gives its low 16
// bits, and takes the host's 16 bits widened), strings up to their terminator
// and cut to 19 characters with zeros behind, the sensor dsp block unchanged.
// Header, algorithm block and unshared bytes are left to the caller.
void move_fields(const ModelCfgForm &from, std::span<const uint8_t> src, const ModelCfgForm &to,
                 std::span<uint8_t> dst) {
    const std::pair<layout::Field, layout::Field> numbers[] = {
        {from.vid, to.vid},
        {from.pid, to.pid},
        {from.bcd_device, to.bcd_device},
        {from.led_async, to.led_async},
        {from.led_delay_us, to.led_delay_us},
        {from.update_refresh, to.update_refresh},
        {from.resolution_x, to.resolution_x},
        {from.resolution_y, to.resolution_y},
        {from.physical_x, to.physical_x},
        {from.physical_y, to.physical_y},
    };
    for (const auto &[a, b] : numbers)
        if (has(a) && has(b)) b.put(dst, a.get(src));
    for (size_t i = 0; i < std::size(from.strings); ++i) {
        if (!has(from.strings[i]) || !has(to.strings[i])) continue;
        const std::u16string text = layout::utf16_field(src, from.strings[i]);
        layout::put_utf16_field(dst, to.strings[i],
                                std::u16string_view(text).substr(0, R::string_max));
    }
    if (has(from.sensor_dsp) && has(to.sensor_dsp)) {
        const auto block = from.sensor_dsp.bytes(src);
        std::copy(block.begin(), block.end(), to.sensor_dsp.bytes(dst).begin());
    }
}

bool known_algo_version(uint32_t version) {
    return version >= 0x102 && version <= 0x104;
}

}  // namespace

uint8_t filter_code(uint32_t size) {
    switch (size) {
        case 3:
            return 1;
        case 5:
            return 2;
        default:
            return 0;
    }
}

uint32_t filter_size(uint32_t code) {
    switch (code) {
        case 1:
            return 3;
        case 2:
            return 5;
        default:
            return 1;
    }
}

int read_model_cfg(const cali_info_arg &arg, std::span<uint8_t, ModelCfgRecord::size> host,
                   frame::DefinitionTable &definitions, DeviceCfgBuffer *as_read) {
    const ryn_handle handle = arg.handle;
    // 1. The device's reader.
    const ryn_record_reader reader = ryn_get_model_cfg_fn(handle);
    if (!reader) {
        no_function(arg, u"Pell3.\n");
        return 0;
    }

    // 2. The record, into a buffer whose first word gives its size.
    Buffer device(R::transfer_size, 0);
    R::length.put(device, R::transfer_size);
    if (!reader(handle, device.data())) return 0;
    if (as_read) std::copy(device.begin(), device.end(), as_read->begin());

    // 3. Conversion by the record's version.
    const uint16_t version = R::version(device);
    const ModelCfgForm *form = model_cfg_form(version);
    if (!form) return 0;
    if (version == 0x103) {
        std::copy_n(device.begin(), R::size, host.begin());
        definitions.set_all_present_valid();
        return 1;
    }
    uint32_t algo_version = 0x101;
    if (version == 0x102) {
        algo_version = AlgoBlock::version(form->algo_block.bytes(std::span<const uint8_t>(device)));
        if (!known_algo_version(algo_version)) return 0;
    }
    R::length.put(host, R::size);
    R::minor.put(host, R::minor.get(device));
    R::major.put(host, R::major.get(device));
    move_fields(*form, device, host_form(), host);
    if (has(form->algo_block))
        read_algo_block(algo_version, form->algo_block.bytes(std::span<const uint8_t>(device)),
                        R::algo_block.bytes(std::span<uint8_t>(host)), definitions);
    return 1;
}

int write_model_cfg(const cali_info_arg &arg, std::span<const uint8_t, ModelCfgRecord::size> host,
                    const frame::DefinitionTable &definitions, const DeviceCfgBuffer *as_read) {
    const ryn_handle handle = arg.handle;
    // 1. The device's writer.
    const ryn_record_writer writer = ryn_set_model_cfg_fn(handle);
    if (!writer) {
        no_function(arg, u"Pell4.\n");
        return 0;
    }

    // 2. The version the device holds. A failed query takes the version the
    // record was read in, which the host record keeps: counting it as 0x100
    // would rewrite a newer device's record in the oldest form, losing every
    // field but a few numbers.
    const auto read_version = static_cast<uint16_t>(R::major.get(host) << 8 | R::minor.get(host));
    const uint16_t version =
        query_version(handle, VersionQuery::record_version).value_or(read_version);
    const ModelCfgForm *form = model_cfg_form(version);
    if (!form) return 0;

    // 3. The device record in that version, over the record read from the
    // device when it has the same version.
    Buffer device(R::transfer_size, 0);
    if (as_read && R::version(*as_read) == version)
        std::copy(as_read->begin(), as_read->end(), device.begin());
    if (version == 0x103) {
        std::copy(host.begin(), host.end(), device.begin());
        R::minor.put(device, version & 0xFF);
        R::major.put(device, version >> 8);
        const auto block = R::algo_block.bytes(std::span<uint8_t>(device));
        AlgoBlock::minor.put(block, kHostAlgoVersion & 0xFF);
        AlgoBlock::major.put(block, kHostAlgoVersion >> 8);
    } else {
        R::header.put(device, model_cfg_header(*form));
        move_fields(host_form(), host, *form, device);
        if (has(form->algo_block)) {
            uint32_t algo_version = 0x101;
            if (version == 0x102) {
                // The block version the device holds; a failed query counts as 0x101.
                algo_version = query_version(handle, VersionQuery::algo_version).value_or(0x101);
                if (!known_algo_version(algo_version)) return 0;
            }
            write_algo_block(algo_version, R::algo_block.bytes(std::span<const uint8_t>(host)),
                             form->algo_block.bytes(std::span<uint8_t>(device)), definitions);
        }
    }

    // 4. One write of the whole record.
    return writer(handle, device.data()) ? 1 : 0;
}

CameraSettings unpack_sensor_dsp(std::span<const uint8_t> host) {
    CameraSettings settings{};
    const auto block = R::sensor_dsp.bytes(host);
    for (size_t i = 0; i < SensorEntry::count; ++i) {
        const auto entry = SensorEntry::at(i).bytes(block);
        const auto control = static_cast<uint32_t>(SensorEntry::control.get(entry));
        const uint32_t camera = (control >> 1) & 7;
        const uint32_t kind = control >> 4;
        const auto reg = static_cast<uint32_t>(SensorEntry::reg.get(entry));
        if (camera >= kSensorCameras) continue;
        const auto setting =
            std::find_if(std::begin(kSensorSettings), std::end(kSensorSettings),
                         [&](const SensorSetting &s) { return s.kind == kind && s.reg == reg; });
        if (setting == std::end(kSensorSettings)) continue;
        const auto j = static_cast<size_t>(setting - std::begin(kSensorSettings));
        uint32_t value =
            static_cast<uint32_t>(SensorEntry::value.get(entry) & SensorEntry::mask.get(entry));
        if (j == kFilterSetting) value = filter_size(value);
        settings[camera][j] = {control & 1, value};
    }
    for (auto &camera : settings)
        if (camera[kFilterSetting].value == 0) camera[kFilterSetting].value = 1;
    return settings;
}

void pack_sensor_dsp(const CameraSettings &settings, std::span<uint8_t> host) {
    const auto block = R::sensor_dsp.bytes(host);
    std::fill(block.begin(), block.end(), uint8_t{0});
    for (size_t camera = 0; camera < kSensorCameras; ++camera) {
        for (size_t j = 0; j < std::size(kSensorSettings); ++j) {
            const SensorSetting &s = kSensorSettings[j];
            const CameraSetting &value = settings[camera][j];
            const auto entry =
                SensorEntry::at(camera * std::size(kSensorSettings) + j).bytes(block);
            SensorEntry::control.put(entry,
                                     (value.enable & 1) | (camera << 1) | (uint32_t{s.kind} << 4));
            SensorEntry::reg.put(entry, s.reg);
            SensorEntry::value.put(
                entry, j == kFilterSetting ? filter_code(value.value) : value.value & 0xFF);
            SensorEntry::mask.put(entry, s.mask);
        }
    }
}

}  // namespace ryn::devinfo
