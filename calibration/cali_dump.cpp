// Calibration GET of the base controller: the device's record, in its
// working form, as keys of section "calibration" of an INI file.
#include "calibration/cali_base.h"
#include "calibration/cali_keys.h"
#include "frame/paths.h"
#include "frame/record_identity.h"
#include "frame/sink.h"
#include "ryn_hid.h"
#include "text/checked_format.h"
#include "text/field_number.h"

namespace ryn::calibration {

namespace R = cali_record;

size_t CaliIniFile::get(std::u16string_view key, char16_t *buf, size_t cap) {
    return ini_.get(kSection, key, buf, cap);
}

bool CaliIniFile::set(std::u16string_view key, std::u16string_view value) {
    return ini_.set(kSection, key, value);
}

bool CaliIniFile::has_section() const {
    return ini_.has_section(kSection);
}

int dump_cali(const CaliBuffer &work, const frame::DefinitionTable &defs, CaliIni &ini) {
    const SensorView sensors = decode_sensor_table(R::sensor_table.bytes(work));
    const CaliKeys &k = cali_keys();
    // Rows 1 to 18: the first write that fails ends the dump.
    bool ok = true;
    auto put = [&](const std::u16string &key, const std::u16string &value) {
        ok = ok && ini.set(key, value);
    };

    put(u"length", text::format_checked(u"%u", static_cast<unsigned>(R::length.get(work))));
    put(u"version", text::format_checked(u"%u", static_cast<unsigned>(R::version.get(work))));
    put(u"nf_cam", text::format_checked(u"%u", static_cast<unsigned>(R::nf_cam.get(work) & 3)));
    for (size_t g = 0; g < std::size(kCameraWordKeys); ++g)
        for (unsigned c = 0; c < R::kCameras; ++c)
            put(k.camera_word[g][c],
                text::format_checked(u"%u", static_cast<unsigned>(R::camera_word(g, c).get(work))));
    for (unsigned m = 0; m < 2; ++m)
        for (unsigned r = 1; r <= 3; ++r)
            for (unsigned c = 1; c <= 3; ++c)
                put(k.post_cali[m][r - 1][c - 1],
                    text::float_text(get_f32(work, R::post_cali_at(m, r, c))));
    for (size_t item = 0; item < sensor_items; ++item)
        for (unsigned c = 0; c < R::kCameras; ++c) {
            const SensorView::Pair &p = sensors.cam[c][item];
            put(k.sensor[item][c],
                text::format_checked(u"%s,%u", p.enable ? u"enable" : u"disable", p.value));
        }
    put(u"nf_profile", text::format_checked(u"%u", static_cast<unsigned>(R::nf_profile.get(work))));
    if (!ok) return 0;

    // Row 19: every present and valid parameter under its name; these writes
    // are not checked.
    for (size_t n = 0; n < defs.size(); ++n) {
        const frame::DefinitionEntry &e = defs[n];
        if (!e.present || !e.valid) continue;
        ini.set(e.name_view(), text::float_text(get_f32(work, R::param(n))));
    }
    // Last, the controller the record was read from, which a SET checks.
    if (!ini.set(frame::controller_key, frame::controller_key_value(Controller::base))) return 0;
    return ini.commit() ? 1 : 0;
}

int read_device_record(cali_info_arg &arg, ryn_record_reader reader, bool found, CaliBuffer &device,
                       CaliBuffer &work) {
    frame::progress(arg, 1);
    frame::DefinitionTable &defs = frame::definition_table(frame::DefinitionFile::cali_base);
    if (!frame::load_definitions(frame::DefinitionFile::cali_base, &arg, cali_keys().fixed)) return 0;
    frame::progress(arg, 2);
    if (!found) {
        frame::report(arg, u"Fail to find the appropriate function.\n");
        return 0;
    }
    device.fill(0);
    R::length.put(device, R::kTransfer);
    if (!reader(arg.handle, device.data())) {
        frame::report(arg, u"Fail to get the calibration information.\n");
        return 0;
    }
    if (!to_working_form(device, work, defs)) {
        frame::report(arg, u"Fail to convert the calibration information.\n");
        return 0;
    }
    frame::progress(arg, 3);
    return 1;
}

int get_cali_info(cali_info_arg &arg, const std::u16string &path, CaliIni &ini) {
    // The record reader.
    const ryn_record_reader reader = ryn_get_cali_info_fn(arg.handle);
    // The definition file, the device's record in its working form.
    CaliBuffer device{}, work{};
    if (!read_device_record(arg, reader, reader != nullptr, device, work)) return 0;
    // The file must not hold a model configuration.
    if (const platform::IniFile *file = ini.file();
        file && !frame::check_get_target(arg, *file, path, frame::InfoRequest::calibration))
        return 0;
    // The working record into the file.
    const frame::DefinitionTable &defs = frame::definition_table(frame::DefinitionFile::cali_base);
    if (!dump_cali(work, defs, ini)) {
        frame::report(arg, u"Fail to dump calibration to [%s].\n", path.c_str());
        return 0;
    }
    return 1;
}

int get_cali_info_base(cali_info_arg &arg, const std::u16string &path, Controller) {
    CaliIniFile ini(path);
    return get_cali_info(arg, path, ini);
}

}  // namespace ryn::calibration
