// Calibration SET of the base controller: the device's record is read and
// converted, the caller's file (INI, compact INI or text form) overwrites
// what it holds, and the record goes back in the device's own version. The
// device is written once, after the whole file has been read.
#include <array>
#include <optional>

#include "calibration/cali_base.h"
#include "calibration/cali_keys.h"
#include "frame/file_values.h"
#include "frame/paths.h"
#include "frame/record_identity.h"
#include "frame/sink.h"
#include "platform/file.h"
#include "ryn_hid.h"
#include "text/checked_format.h"
#include "text/field_number.h"
#include "text/text.h"

namespace ryn::calibration {
namespace {

namespace R = cali_record;

// How a key's number was read: out holds it, the key was missing (warned
// about), or its value was refused (reported with the value).
enum class Got { value, missing, bad };

// Widths of the fixed integer fields.
constexpr text::IntegerField kNfCam = text::prefixed_field(2);
constexpr text::IntegerField kWord = text::prefixed_field(16);
// Widths of the register values as the sensor register table's value bytes
// hold them: a bound in two bytes, a gain in one, ggh and cgh in two bits
// each of one byte. Whether a value within them arrives is decided against
// the table it would be encoded into (the entries' masks count fewer bits).
constexpr unsigned kSensorBits[sensor_items] = {16, 16, 8, 8, 8, 2, 2};

// Capacity of a number's text within a value.
constexpr size_t kTokenCapacity = CaliIni::value_capacity;

// A key of the section: its value, or a warning and nothing when the key is missing.
class KeyReader {
  public:
    KeyReader(const cali_info_arg &arg, CaliIni &ini) : arg_(arg), ini_(ini) {}

    std::optional<std::u16string_view> read(std::u16string_view key) {
        const std::optional<std::u16string_view> v = value(key);
        if (!v) missing(key);
        return v;
    }

    // The key's value; nothing, without a warning, when it is missing.
    std::optional<std::u16string_view> value(std::u16string_view key) {
        const size_t n = ini_.get(key, buf_, CaliIni::value_capacity);
        if (n == 0) return std::nullopt;
        return std::u16string_view(buf_, n);
    }

    void missing(std::u16string_view key) const {
        frame::report(arg_, u"[Warning] Missing %s.\n", std::u16string(key).c_str());
    }

    // The key's number for an integer field of the given width.
    Got integer(std::u16string_view key, text::IntegerField field, uint32_t &out) {
        const auto v = read(key);
        return v ? integer_of(key, *v, field, out) : Got::missing;
    }
    Got integer_of(std::u16string_view key, std::u16string_view v, text::IntegerField field,
                   uint32_t &out) {
        return frame::read_numbers(arg_, key, v, {{v, field}}, &out) ? Got::value : Got::bad;
    }
    // The key's number for a float field.
    Got real(std::u16string_view key, float &out) {
        const auto v = read(key);
        if (!v) return Got::missing;
        return frame::read_floats(arg_, key, *v, {*v}, &out) ? Got::value : Got::bad;
    }

    const cali_info_arg &arg() const { return arg_; }

  private:
    const cali_info_arg &arg_;
    CaliIni &ini_;
    char16_t buf_[CaliIni::value_capacity];
};

// The register pairs a file gave: the key a refusal names and the value as
// the file wrote it (empty for a pair the file left out).
struct GivenPairs {
    std::u16string key[R::kCameras][sensor_items];
    std::u16string value[R::kCameras][sensor_items];
};

// The sensor register table after the file's pairs: the device's own table,
// byte for byte, when no pair differs from what it holds; otherwise the table
// encoded from the view. A pair the encoded table would not give back as the
// view holds it (a value beyond its register's bits, or a ggh and cgh of one
// camera whose enables differ, which share one register entry) is refused,
// naming its key and value, with nothing changed.
int put_sensor_table(const cali_info_arg &arg, const SensorView &device, const SensorView &view,
                     const GivenPairs &given, CaliBuffer &work) {
    if (view == device) return 1;
    std::array<uint8_t, R::sensor_table.width> table{};
    encode_sensor_table(view, table);
    const SensorView arrives = decode_sensor_table(table);
    for (unsigned c = 0; c < R::kCameras; ++c)
        for (size_t item = 0; item < sensor_items; ++item) {
            if (arrives.cam[c][item] == view.cam[c][item]) continue;
            const SensorView::Pair &p = view.cam[c][item];
            if (!given.key[c][item].empty())
                frame::report_bad_value(arg, given.key[c][item], given.value[c][item]);
            else
                frame::report_bad_value(
                    arg, cali_keys().sensor[item][c],
                    text::format_checked(u"%s,%u", p.enable ? u"enable" : u"disable", p.value));
            return 0;
        }
    const auto place = R::sensor_table.bytes(std::span<uint8_t>(work));
    std::copy(table.begin(), table.end(), place.begin());
    return 1;
}

// Keys read by both INI forms, in their order. 0 when a value is refused.
int read_fixed_keys(KeyReader &keys, CaliBuffer &work) {
    const CaliKeys &k = cali_keys();
    uint32_t n = 0;
    float f = 0;
    // nf_cam: bits 0-1; when missing the device's value stays.
    if (const auto v = keys.value(u"nf_cam")) {
        if (keys.integer_of(u"nf_cam", *v, kNfCam, n) == Got::bad) return 0;
        R::nf_cam.put(work, (R::nf_cam.get(work) & ~uint64_t{3}) | n);
    } else {
        frame::report(keys.arg(), u"[Warning] Missing nf_cam.\n");
    }
    // The camera words; a missing key leaves the device's value.
    for (size_t g = 0; g < std::size(kCameraWordKeys); ++g)
        for (unsigned c = 0; c < R::kCameras; ++c) {
            const Got got = keys.integer(k.camera_word[g][c], kWord, n);
            if (got == Got::bad) return 0;
            if (got == Got::value) R::camera_word(g, c).put(work, n);
        }
    // The post_cali matrices.
    for (unsigned m = 0; m < 2; ++m)
        for (unsigned r = 1; r <= 3; ++r)
            for (unsigned c = 1; c <= 3; ++c) {
                const Got got = keys.real(k.post_cali[m][r - 1][c - 1], f);
                if (got == Got::bad) return 0;
                if (got == Got::value) put_f32(work, R::post_cali_at(m, r, c), f);
            }
    // The sensor registers as "word,number"; enabled exactly by the word
    // "enable". A pair not given keeps the device's setting.
    const SensorView device = decode_sensor_table(R::sensor_table.bytes(std::span<const uint8_t>(work)));
    SensorView view = device;
    GivenPairs given;
    for (size_t item = 0; item < sensor_items; ++item)
        for (unsigned c = 0; c < R::kCameras; ++c) {
            const std::u16string &key = k.sensor[item][c];
            const auto v = keys.read(key);
            if (!v) continue;
            char16_t word[16] = {}, number[kTokenCapacity] = {};
            // The number takes the rest of the value, so a field after it is
            // refused with the number instead of dropped.
            if (text::scan(*v, u"%[a-z],%[^\n]", word, std::size(word), number,
                           std::size(number)) != 2) {
                keys.missing(key);
                continue;
            }
            if (!frame::read_numbers(keys.arg(), key, *v, {{number, text::decimal_field(kSensorBits[item])}}, &n))
                return 0;
            view.cam[c][item] = {std::u16string_view(word) == u"enable" ? 1u : 0u, n};
            given.key[c][item] = key;
            given.value[c][item] = *v;
        }
    // The register table from the view.
    if (!put_sensor_table(keys.arg(), device, view, given, work)) return 0;
    // Nf_profile.
    const Got got = keys.integer(u"nf_profile", kWord, n);
    if (got == Got::bad) return 0;
    if (got == Got::value) R::nf_profile.put(work, n);
    return 1;
}

// Numbers of a compact item: malformed when the value does not give them all;
// bad when a number is refused (reported with the value).
enum class Item { ok, malformed, bad };

Item one_float(const cali_info_arg &arg, std::u16string_view key, std::u16string_view v,
               std::array<float, 1> &f) {
    return frame::read_floats(arg, key, v, {v}, f.data()) ? Item::ok : Item::bad;
}

Item six_floats(const cali_info_arg &arg, std::u16string_view key, std::u16string_view v,
                std::array<float, 6> &f) {
    char16_t t[6][kTokenCapacity] = {};
    if (text::scan(v, u"%s %s %s %s %s %s", t[0], kTokenCapacity, t[1], kTokenCapacity, t[2],
                   kTokenCapacity, t[3], kTokenCapacity, t[4], kTokenCapacity, t[5],
                   kTokenCapacity) != 6)
        return Item::malformed;
    return frame::read_floats(arg, key, v, {t[0], t[1], t[2], t[3], t[4], t[5]}, f.data())
               ? Item::ok
               : Item::bad;
}

// A jig point "l,r,wp": l and r as 16-bit unsigned values.
Item jig_point(const cali_info_arg &arg, std::u16string_view key, std::u16string_view v,
               std::array<float, 3> &f) {
    char16_t t[3][kTokenCapacity] = {};
    if (text::scan(v, u"%[^,],%[^,],%[^,]", t[0], kTokenCapacity, t[1], kTokenCapacity, t[2],
                   kTokenCapacity) != 3)
        return Item::malformed;
    uint32_t lr[2] = {};
    if (!frame::read_numbers(arg, key, v, {{t[0], text::decimal_field(16)}, {t[1], text::decimal_field(16)}},
                             lr) ||
        !frame::read_floats(arg, key, v, {t[2]}, &f[2]))
        return Item::bad;
    f[0] = static_cast<float>(lr[0]);
    f[1] = static_cast<float>(lr[1]);
    return Item::ok;
}

}  // namespace

int read_cali_ini(const cali_info_arg &arg, CaliBuffer &work, frame::DefinitionTable &defs,
                  CaliIni &ini) {
    KeyReader keys(arg, ini);
    if (!read_fixed_keys(keys, work)) return 0;
    // Every defined parameter, valid or not; a missing one keeps its value.
    for (size_t n = 0; n < defs.size(); ++n) {
        const frame::DefinitionEntry &e = defs[n];
        if (!e.present) continue;
        float f = 0;
        const Got got = keys.real(e.name_view(), f);
        if (got == Got::bad) return 0;
        if (got == Got::value) put_f32(work, R::param(n), f);
    }
    return 1;
}

int read_cali_compact_ini(const cali_info_arg &arg, CaliBuffer &work, frame::DefinitionTable &defs,
                          CaliIni &ini) {
    KeyReader keys(arg, ini);
    if (!read_fixed_keys(keys, work)) return 0;
    // An item that is missing or malformed is reported and its parameters keep
    // the device's values; a number that is refused fails the reader.
    bool refused = false;
    auto item = [&]<size_t N>(const CompactItem &it,
                              Item (*parse)(const cali_info_arg &, std::u16string_view,
                                            std::u16string_view, std::array<float, N> &)) {
        if (refused) return;
        const auto v = keys.read(it.key);
        if (!v) return;
        std::array<float, N> numbers{};
        switch (parse(arg, it.key, *v, numbers)) {
            case Item::malformed:
                keys.missing(it.key);
                return;
            case Item::bad:
                refused = true;
                return;
            case Item::ok:
                break;
        }
        for (size_t i = 0; i < N; ++i) store_named(work, defs, it.names[i], numbers[i]);
    };
    for (const CompactItem &it : cali_keys().compact) {
        switch (it.form) {
            case CompactForm::six_floats:
                item(it, six_floats);
                break;
            case CompactForm::one_float:
                item(it, one_float);
                break;
            case CompactForm::jig_point:
                item(it, jig_point);
                break;
        }
    }
    return refused ? 0 : 1;
}

int read_cali_text(const cali_info_arg &arg, CaliBuffer &work, frame::DefinitionTable &defs,
                   const std::u16string &path) {
    // The file as Unicode text.
    auto reader = platform::TextReader::open(path, platform::TextMode::Unicode);
    if (!reader) {
        frame::report(arg, u"Fail to open the file [%s]\n", path.c_str());
        return 0;
    }
    // The register view starts from the device's table: the pairs the file
    // does not give keep the device's settings.
    const SensorView device = decode_sensor_table(R::sensor_table.bytes(std::span<const uint8_t>(work)));
    SensorView view = device;
    GivenPairs given;
    // Data lines, counted from 0; comment lines start with '#'. A line's
    // numbers are scanned as tokens and each must be a number that fits its
    // field; one that is refused is reported with the line's text.
    const CaliKeys &keys = cali_keys();
    std::u16string line;
    unsigned number = 0;
    char16_t t[5][kTokenCapacity] = {};
    while (reader->read_line(line)) {
        if (!line.empty() && line.front() == u'#') continue;
        const unsigned n = number++;
        // The line as a refusal names and shows it, without its line break.
        const std::u16string key = text::numbered(u"line ", n);
        std::u16string_view shown = line;
        while (!shown.empty() && (shown.back() == u'\n' || shown.back() == u'\r'))
            shown.remove_suffix(1);
        bool parsed = true;
        if (n >= 3 && n <= 8) {
            // Coefficients 04 to 00 of polynomial j; coefficient 05's place in
            // the version-9 layout becomes 0, its parameter is not touched.
            const unsigned j = n - 3, camera = j / 2, poly = j % 2;
            float f[5] = {};
            parsed = text::scan(line, u"%s %s %s %s %s", t[0], kTokenCapacity, t[1],
                                kTokenCapacity, t[2], kTokenCapacity, t[3], kTokenCapacity, t[4],
                                kTokenCapacity) == 5 &&
                     frame::read_floats(arg, key, shown, {t[0], t[1], t[2], t[3], t[4]}, f);
            if (parsed) {
                for (unsigned p = 0; p < 5; ++p) {
                    store_named(work, defs, keys.polynomial(camera, poly).names[p], f[p]);
                    put_f32(work, R::poly_float(j, p), f[p]);
                }
                put_f32(work, R::poly_float(j, 5), 0.0f);
            }
        } else if (n >= 9 && n <= 12) {
            const unsigned c = n - 9;
            float xy[2] = {};
            parsed = text::scan(line, u"(%[^,],%[^)]", t[0], kTokenCapacity, t[1],
                                kTokenCapacity) == 2 &&
                     frame::read_floats(arg, key, shown, {t[0], t[1]}, xy);
            if (parsed) {
                store_named(work, defs, keys.position_x(c).key, xy[0]);
                store_named(work, defs, keys.position_y(c).key, xy[1]);
                put_f32(work, R::position_x(c), xy[0]);
                put_f32(work, R::position_y(c), xy[1]);
            }
        } else if (n >= 13 && n <= 15) {
            const unsigned c = n - 13;
            float th = 0;
            parsed = text::scan(line, u"%s", t[0], kTokenCapacity) == 1 &&
                     frame::read_floats(arg, key, shown, {t[0]}, &th);
            if (parsed) {
                store_named(work, defs, keys.threshold(c).key, th);
                put_f32(work, R::threshold(c), th);
            }
        } else if (n >= 16 && n <= 18) {
            const unsigned c = n - 16;
            uint32_t sel = 0;
            parsed = text::scan(line, u"%s", t[0], kTokenCapacity) == 1 &&
                     frame::read_numbers(arg, key, shown, {{t[0], text::decimal_field(8)}}, &sel);
            if (parsed) {
                store_named(work, defs, keys.poly_select(c).key,
                            static_cast<float>(sel));
                R::poly_select(c).put(work, sel);
            }
        } else if (n >= 19 && n <= 33) {
            // The camera words of groups middle_b_l to light_avg.
            uint32_t word = 0;
            parsed = text::scan(line, u"%s", t[0], kTokenCapacity) == 1 &&
                     frame::read_numbers(arg, key, shown, {{t[0], text::decimal_field(16)}}, &word);
            if (parsed) R::camera_word((n - 19) / 3, (n - 19) % 3).put(work, word);
        } else if ((n >= 123 && n <= 128) || (n >= 159 && n <= 161)) {
            // An enable flag (0 or 1) and the register value.
            const SensorItem item = n >= 159 ? global_gain : n >= 126 ? bound_r : bound_l;
            const unsigned c = (n >= 159 ? n - 159 : n - 123) % 3;
            uint32_t pair[2] = {};
            parsed = text::scan(line, u"%s %s", t[0], kTokenCapacity, t[1], kTokenCapacity) == 2 &&
                     frame::read_numbers(
                         arg, key, shown,
                         {{t[0], text::decimal_field(1)}, {t[1], text::decimal_field(kSensorBits[item])}}, pair);
            if (parsed) {
                view.cam[c][item] = {pair[0], pair[1]};
                given.key[c][item] = key;
                given.value[c][item] = shown;
            }
        }
        // A line of a group that does not parse ends the reader.
        if (!parsed) {
            frame::report(arg, u"Fail to parse the file at line %u.\n", n);
            return 0;
        }
    }
    // A file without a line of any group holds nothing this form reads: its
    // SET would only disable every register.
    if (number <= 3) {
        frame::report(arg, u"[Error] The file [%s] holds no calibration data.\n", path.c_str());
        return 0;
    }
    // The whole file is read (the reader holds it whole, so no read can
    // fail halfway): the register table from the view.
    return put_sensor_table(arg, device, view, given, work);
}

int set_cali_info(cali_info_arg &arg, const std::u16string &path, CaliIni &ini) {
    // The record reader and writer.
    const ryn_record_reader reader = ryn_get_cali_info_fn(arg.handle);
    const ryn_record_writer writer = ryn_set_cali_info_fn(arg.handle);
    // The definition file, the device's record in its working form.
    CaliBuffer device{}, work{};
    if (!read_device_record(arg, reader, reader && writer, device, work)) return 0;
    frame::DefinitionTable &defs = frame::definition_table(frame::DefinitionFile::cali_base);
    // The file, in the form the flags choose. One that exists but cannot
    // be read is not taken for a file without the section.
    if (ini.read_failed()) {
        frame::report(arg, u"Fail to open the file [%s]\n", path.c_str());
        return 0;
    }
    // An INI file of another controller or record is refused before it is
    // read (the text form has no such keys). It may give either form of the
    // base record, the working form a GET writes or a version-9 record: both
    // go through the working form.
    if (const platform::IniFile *file = ini.file(); file && !(arg.flags & RYN_CALI_COMPAT_TEXT)) {
        if (!frame::check_record_identity(arg, *file, path,
                                          {frame::InfoRequest::calibration, Controller::base,
                                           static_cast<uint32_t>(R::length.get(work)),
                                           static_cast<uint32_t>(R::version.get(work)),
                                           static_cast<uint32_t>(R::kSizeV9), 9}))
            return 0;
    }
    int read = 0;
    if (arg.flags & RYN_CALI_COMPAT_TEXT) {
        read = read_cali_text(arg, work, defs, path);
    } else if (!ini.has_section()) {
        // A file without the section is not a calibration file: reading it
        // would only disable every register.
        frame::report(arg, u"[Error] The file [%s] has no section [calibration].\n", path.c_str());
        return 0;
    } else if (arg.flags & RYN_CALI_COMPAT_INI) {
        read = read_cali_compact_ini(arg, work, defs, ini);
    } else {
        read = read_cali_ini(arg, work, defs, ini);
    }
    if (!read) return 0;
    // Back into the device's version. A version-9 device keeps its
    // selections and jig l and r as integers: a file value that is no whole
    // number of the field's range would not arrive as written, and is refused.
    if (R::version.get(device) == 9) {
        if (const std::u16string *name = version9_misfit(work, defs)) {
            char16_t value[CaliIni::value_capacity];
            const size_t n = ini.get(*name, value, std::size(value));
            frame::report_bad_value(arg, *name, std::u16string_view(value, n));
            return 0;
        }
        to_version9(work, device, defs);
    }
    else
        device = work;
    frame::progress(arg, 4);
    // The write, with the sensors off.
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
