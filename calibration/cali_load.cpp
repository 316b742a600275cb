// Calibration SET of the base controller: the device's record is read and
// converted, the caller's file (INI, compact INI or text form) overwrites
// what it holds, and the record goes back in the device's own version. The
// device is written once, after the whole file has been read.
#include <array>
#include <optional>

#include "calibration/cali_base.h"
#include "calibration/cali_keys.h"
#include "frame/paths.h"
#include "frame/sink.h"
#include "platform/file.h"
#include "ryn_hid.h"
#include "text/checked_format.h"

namespace ryn::calibration {
namespace {

namespace R = cali_record;

// A key of the section: its value, or a warning and nothing when the key is missing.
class KeyReader {
  public:
    KeyReader(const cali_info_arg &arg, CaliIni &ini) : arg_(arg), ini_(ini) {}

    std::optional<std::u16string_view> read(std::u16string_view key) {
        const size_t n = ini_.get(key, buf_, CaliIni::value_capacity);
        if (n == 0) {
            missing(key);
            return std::nullopt;
        }
        return std::u16string_view(buf_, n);
    }

    void missing(std::u16string_view key) const {
        frame::report(arg_, u"[Warning] Missing %s.\n", std::u16string(key).c_str());
    }

  private:
    const cali_info_arg &arg_;
    CaliIni &ini_;
    char16_t buf_[CaliIni::value_capacity];
};

// Keys read by both INI forms, in their order.
void read_fixed_keys(KeyReader &keys, CaliBuffer &work) {
    // 1. nf_cam: bits 0-1; when missing the device's value stays.
    if (const auto v = keys.read(u"nf_cam"))
        R::nf_cam.put(work, (R::nf_cam.get(work) & ~uint64_t{3}) | (text::to_ulong_auto(*v) & 3));
    // 2. The camera words; a missing key leaves the device's value.
    for (size_t g = 0; g < std::size(kCameraWordKeys); ++g)
        for (unsigned c = 0; c < R::kCameras; ++c)
            if (const auto v = keys.read(text::format_checked(kCameraWordKeys[g], c)))
                R::camera_word(g, c).put(work, text::to_ulong_auto(*v));
    // 3. The post_cali matrices.
    for (unsigned m = 0; m < 2; ++m)
        for (unsigned r = 1; r <= 3; ++r)
            for (unsigned c = 1; c <= 3; ++c)
                if (const auto v = keys.read(text::format_checked(u"post_cali%u_%u%u", m, r, c)))
                    put_f32(work, R::post_cali_at(m, r, c), to_f32(text::to_double(*v)));
    // 4. The sensor registers as "word,number"; enabled exactly by the word
    // "enable". A pair not given stays disabled with value 0.
    SensorView view;
    for (size_t item = 0; item < sensor_items; ++item)
        for (unsigned c = 0; c < R::kCameras; ++c) {
            const std::u16string key = text::format_checked(kSensorKeys[item], c);
            const auto v = keys.read(key);
            if (!v) continue;
            char16_t word[16] = {};
            unsigned number = 0;
            if (text::scan(*v, u"%[a-z],%u", word, std::size(word), &number) != 2) {
                keys.missing(key);
                continue;
            }
            view.cam[c][item] = {std::u16string_view(word) == u"enable" ? 1u : 0u, number};
        }
    // 5. The register table, rebuilt from the view.
    encode_sensor_table(view, R::sensor_table.bytes(std::span<uint8_t>(work)));
    // 6. nf_profile.
    if (const auto v = keys.read(u"nf_profile")) R::nf_profile.put(work, text::to_ulong_auto(*v));
}

// Numbers of a compact item; empty when the value does not give them all.
template <size_t N>
using Numbers = std::optional<std::array<float, N>>;

Numbers<1> one_float(std::u16string_view v) {
    size_t end = 0;
    const double d = text::to_double(v, &end);
    if (end == 0) return std::nullopt;
    return std::array<float, 1>{to_f32(d)};
}

Numbers<6> six_floats(std::u16string_view v) {
    std::array<float, 6> f{};
    if (text::scan(v, u"%e %e %e %e %e %e", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]) != 6)
        return std::nullopt;
    return f;
}

// A jig point "l,r,wp": l and r as 16-bit unsigned values.
Numbers<3> jig_point(std::u16string_view v) {
    unsigned l = 0, r = 0;
    float wp = 0;
    if (text::scan(v, u"%u,%u,%e", &l, &r, &wp) != 3) return std::nullopt;
    return std::array<float, 3>{static_cast<float>(static_cast<uint16_t>(l)),
                                static_cast<float>(static_cast<uint16_t>(r)), wp};
}

// Coefficient names of a polynomial in the order the old forms list them: 04 down to 00, then 05.
std::u16string coefficient_name(unsigned camera, unsigned n, unsigned listed) {
    return text::format_checked(u"cam%u_poly%u_coe%02u", camera, n, listed < 5 ? 4 - listed : 5u);
}

}  // namespace

int read_cali_ini(const cali_info_arg &arg, CaliBuffer &work, frame::DefinitionTable &defs,
                  CaliIni &ini) {
    KeyReader keys(arg, ini);
    read_fixed_keys(keys, work);
    // Every defined parameter, valid or not; a missing one keeps its value.
    for (size_t n = 0; n < defs.size(); ++n) {
        const frame::DefinitionEntry &e = defs[n];
        if (!e.present) continue;
        if (const auto v = keys.read(e.name_view()))
            put_f32(work, R::param(n), to_f32(text::to_double(*v)));
    }
    return 1;
}

int read_cali_compact_ini(const cali_info_arg &arg, CaliBuffer &work, frame::DefinitionTable &defs,
                          CaliIni &ini) {
    KeyReader keys(arg, ini);
    read_fixed_keys(keys, work);
    // An item that is missing or malformed is reported and its parameters keep
    // the device's values.
    auto item = [&](const std::u16string &key, auto parse, auto &&names) {
        const auto v = keys.read(key);
        if (!v) return;
        const auto numbers = parse(*v);
        if (!numbers) {
            keys.missing(key);
            return;
        }
        for (size_t i = 0; i < numbers->size(); ++i)
            store_named(work, defs, names(i), (*numbers)[i]);
    };
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned n = 0; n < 2; ++n)
            item(text::format_checked(u"cam%u_poly%u", c, n), six_floats,
                 [&](size_t i) { return coefficient_name(c, n, static_cast<unsigned>(i)); });
    for (unsigned c = 0; c < 4; ++c)
        for (const CameraKey key : {CameraKey(u"cam%u_pos_x"), CameraKey(u"cam%u_pos_y")}) {
            const std::u16string name = text::format_checked(key, c);
            item(name, one_float, [&](size_t) { return name; });
        }
    for (const CameraKey key : {CameraKey(u"cam%u_thr"), CameraKey(u"cam%u_poly_sel")})
        for (unsigned c = 0; c < 3; ++c) {
            const std::u16string name = text::format_checked(key, c);
            item(name, one_float, [&](size_t) { return name; });
        }
    auto jig = [&](const std::u16string &key) {
        static constexpr const char16_t *suffix[] = {u"_l", u"_r", u"_wp"};
        item(key, jig_point, [&](size_t i) { return key + suffix[i]; });
    };
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned i = 0; i < 14; ++i) jig(text::format_checked(u"jig_cam%u_pt%02u", c, i));
    for (unsigned k = 0; k < 2; ++k)
        for (unsigned i = 0; i < 11; ++i)
            jig(text::format_checked(u"jig_cam01_%u_cali_pt%02u", k, i));
    for (unsigned k = 1; k < 3; ++k)
        for (unsigned i = 0; i < 11; ++i)
            jig(text::format_checked(u"jig_cam12_%u_cali_pt%02u", k, i));
    return 1;
}

int read_cali_text(const cali_info_arg &arg, CaliBuffer &work, frame::DefinitionTable &defs,
                   const std::u16string &path) {
    // 1. The file as Unicode text.
    auto reader = platform::TextReader::open(path, platform::TextMode::Unicode);
    if (!reader) {
        frame::report(arg, u"Fail to open the file [%s]\n", path.c_str());
        return 0;
    }
    // 2. The register view starts all zero.
    SensorView view;
    // 3. Data lines, counted from 0; comment lines start with '#'.
    std::u16string line;
    unsigned number = 0;
    while (reader->read_line(line)) {
        if (!line.empty() && line.front() == u'#') continue;
        const unsigned n = number++;
        bool parsed = true;
        if (n >= 3 && n <= 8) {
            // Coefficients 04 to 00 of polynomial j; coefficient 05's place in
            // the version-9 layout becomes 0, its parameter is not touched.
            const unsigned j = n - 3, camera = j / 2, poly = j % 2;
            float f[5] = {};
            parsed = text::scan(line, u"%e %e %e %e %e", &f[0], &f[1], &f[2], &f[3], &f[4]) == 5;
            if (parsed) {
                for (unsigned p = 0; p < 5; ++p) {
                    store_named(work, defs, coefficient_name(camera, poly, p), f[p]);
                    put_f32(work, R::poly_float(j, p), f[p]);
                }
                put_f32(work, R::poly_float(j, 5), 0.0f);
            }
        } else if (n >= 9 && n <= 12) {
            const unsigned c = n - 9;
            float x = 0, y = 0;
            parsed = text::scan(line, u"(%e,%e)", &x, &y) == 2;
            if (parsed) {
                store_named(work, defs, text::format_checked(u"cam%u_pos_x", c), x);
                store_named(work, defs, text::format_checked(u"cam%u_pos_y", c), y);
                put_f32(work, R::position_x(c), x);
                put_f32(work, R::position_y(c), y);
            }
        } else if (n >= 13 && n <= 15) {
            const unsigned c = n - 13;
            float t = 0;
            parsed = text::scan(line, u"%e", &t) == 1;
            if (parsed) {
                store_named(work, defs, text::format_checked(u"cam%u_thr", c), t);
                put_f32(work, R::threshold(c), t);
            }
        } else if (n >= 16 && n <= 18) {
            const unsigned c = n - 16;
            unsigned sel = 0;
            parsed = text::scan(line, u"%u", &sel) == 1;
            if (parsed) {
                store_named(work, defs, text::format_checked(u"cam%u_poly_sel", c),
                            static_cast<float>(sel & 0xFF));
                R::poly_select(c).put(work, sel & 0xFF);
            }
        } else if (n >= 19 && n <= 33) {
            // The camera words of groups middle_b_l to light_avg.
            unsigned word = 0;
            parsed = text::scan(line, u"%u", &word) == 1;
            if (parsed) R::camera_word((n - 19) / 3, (n - 19) % 3).put(work, word & 0xFFFF);
        } else if ((n >= 123 && n <= 128) || (n >= 159 && n <= 161)) {
            const SensorItem item = n >= 159 ? global_gain : n >= 126 ? bound_r : bound_l;
            const unsigned c = (n >= 159 ? n - 159 : n - 123) % 3;
            unsigned enable = 0, value = 0;
            parsed = text::scan(line, u"%u %u", &enable, &value) == 2;
            if (parsed) view.cam[c][item] = {enable & 1, value};
        }
        // 4. A line of a group that does not parse ends the reader.
        if (!parsed) {
            frame::report(arg, u"Fail to parse the file at line %u.\n", n);
            return 0;
        }
    }
    // 5. The whole file is read (the reader holds it whole, so no read can
    // fail halfway): the register table is rebuilt from the view.
    encode_sensor_table(view, R::sensor_table.bytes(std::span<uint8_t>(work)));
    return 1;
}

int set_cali_info(cali_info_arg &arg, const std::u16string &path, CaliIni &ini) {
    // 1. The record reader and writer.
    const ryn_record_reader reader = ryn_get_cali_info_fn(arg.handle);
    const ryn_record_writer writer = ryn_set_cali_info_fn(arg.handle);
    // 2. to 6. The definition file, the device's record in its working form.
    CaliBuffer device{}, work{};
    if (!read_device_record(arg, reader, reader && writer, device, work)) return 0;
    frame::DefinitionTable &defs = frame::definition_table(frame::DefinitionFile::cali_base);
    // 7. The file, in the form the flags choose.
    int read = 0;
    if (arg.flags & RYN_CALI_COMPAT_TEXT)
        read = read_cali_text(arg, work, defs, path);
    else if (arg.flags & RYN_CALI_COMPAT_INI)
        read = read_cali_compact_ini(arg, work, defs, ini);
    else
        read = read_cali_ini(arg, work, defs, ini);
    if (!read) return 0;
    // 8. Back into the device's version.
    if (R::version.get(device) == 9)
        to_version9(work, device, defs);
    else
        device = work;
    frame::progress(arg, 4);
    // 10. and 11. The write.
    ryn_set_sensor_ctrl(arg.handle, 0);
    if (!writer(arg.handle, device.data())) {
        frame::report(arg, u"Fail to set the calibration information.\n");
        return 0;
    }
    return 1;
}

int set_cali_info_base(cali_info_arg &arg, const std::u16string &path, Controller) {
    CaliIniFile ini(path);
    return set_cali_info(arg, path, ini);
}

}  // namespace ryn::calibration
