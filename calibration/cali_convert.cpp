// The calibration record: conversion of the device's version 9 or 10 into
// the working version-10 form, conversion back to version 9, and the sensor
// register table's decode and encode.
#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include "calibration/cali_base.h"
#include "text/checked_format.h"

namespace ryn::calibration {
namespace {

namespace R = cali_record;
using layout::Field;

// How a named version-9 field holds its value.
enum class Kind { f32, u8, u16 };

struct NamedField {
    std::u16string name;
    Field field;
    Kind kind;
};

// The named fields of version 9, in conversion order. A jig point's wp is an
// f32 like the polynomials: converting back stores it unchanged.
std::vector<NamedField> make_named_fields() {
    std::vector<NamedField> out;
    auto add = [&](std::u16string name, Field f, Kind k) {
        out.push_back({std::move(name), f, k});
    };
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned n = 0; n < 2; ++n) {
            const size_t j = 2 * c + n;
            // Stored order: coefficients 04, 03, 02, 01, 00, then 05.
            for (unsigned p = 0; p < 5; ++p)
                add(text::format_checked(u"cam%u_poly%u_coe%02u", c, n, 4 - p), R::poly_float(j, p),
                    Kind::f32);
            add(text::format_checked(u"cam%u_poly%u_coe05", c, n), R::poly_float(j, 5), Kind::f32);
        }
    for (unsigned c = 0; c < 4; ++c) {
        add(text::format_checked(u"cam%u_pos_x", c), R::position_x(c), Kind::f32);
        add(text::format_checked(u"cam%u_pos_y", c), R::position_y(c), Kind::f32);
    }
    for (unsigned c = 0; c < 3; ++c)
        add(text::format_checked(u"cam%u_thr", c), R::threshold(c), Kind::f32);
    for (unsigned c = 0; c < 3; ++c)
        add(text::format_checked(u"cam%u_poly_sel", c), R::poly_select(c), Kind::u8);
    auto jig = [&](const std::u16string &prefix, size_t at) {
        add(prefix + u"_l", R::jig_l(at), Kind::u16);
        add(prefix + u"_r", R::jig_r(at), Kind::u16);
        add(prefix + u"_wp", R::jig_wp(at), Kind::f32);
    };
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned i = 0; i < 14; ++i)
            jig(text::format_checked(u"jig_cam%u_pt%02u", c, i), R::jig_point_cam(c, i));
    for (unsigned k = 0; k < 2; ++k)
        for (unsigned i = 0; i < 11; ++i)
            jig(text::format_checked(u"jig_cam01_%u_cali_pt%02u", k, i), R::jig_point_cam01(k, i));
    for (unsigned k = 1; k < 3; ++k)
        for (unsigned i = 0; i < 11; ++i)
            jig(text::format_checked(u"jig_cam12_%u_cali_pt%02u", k, i), R::jig_point_cam12(k, i));
    return out;
}

const std::vector<NamedField> &named_fields() {
    static const std::vector<NamedField> fields = make_named_fields();
    return fields;
}

// The low bits of a value truncated toward zero. NaN and values beyond the
// 64-bit range have no integer part to keep and give 0.
uint64_t truncated(float v) {
    if (!(std::fabs(v) < 0x1p63f)) return 0;
    return static_cast<uint64_t>(static_cast<int64_t>(v));
}

}  // namespace

float get_f32(std::span<const uint8_t> buf, const Field &f) {
    return std::bit_cast<float>(static_cast<uint32_t>(f.get(buf)));
}

void put_f32(std::span<uint8_t> buf, const Field &f, float v) {
    f.put(buf, std::bit_cast<uint32_t>(v));
}

float to_f32(double v) {
    if (std::isnan(v)) return std::numeric_limits<float>::quiet_NaN();
    if (v > FLT_MAX) return std::numeric_limits<float>::infinity();
    if (v < -FLT_MAX) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

bool store_named(CaliBuffer &work, frame::DefinitionTable &defs, std::u16string_view name,
                 float value) {
    const int n = defs.find(name);
    if (n < 0) return false;
    put_f32(work, R::param(static_cast<size_t>(n)), value);
    defs.set_valid(static_cast<size_t>(n), true);
    return true;
}

int to_working_form(std::span<const uint8_t, R::kTransfer> device, CaliBuffer &work,
                    frame::DefinitionTable &defs) {
    // Zero the working record.
    work.fill(0);
    const auto version = static_cast<unsigned>(R::version.get(device));
    if (version != 9 && version != 10) return 0;

    // Version 10: the record is the working form; every defined parameter holds a value.
    if (version == 10) {
        std::copy(device.begin(), device.end(), work.begin());
        defs.set_all_present_valid();
        return 1;
    }

    // Version 9: header, nf_cam bits 0-1, and the bytes both versions share.
    R::length.put(work, R::kSizeV10);
    R::version.put(work, 10);
    R::nf_cam.put(work, R::nf_cam.get(device) & 3);
    std::copy(device.begin() + R::kCommonStart, device.begin() + R::kCommonEnd,
              work.begin() + R::kCommonStart);

    // Each named field into the parameter of its name; integers convert exactly.
    for (const NamedField &nf : named_fields()) {
        const float value = nf.kind == Kind::f32 ? get_f32(device, nf.field)
                                                 : static_cast<float>(nf.field.get(device));
        store_named(work, defs, nf.name, value);
    }
    return 1;
}

const std::u16string *version9_misfit(const CaliBuffer &work, const frame::DefinitionTable &defs) {
    for (const NamedField &nf : named_fields()) {
        if (nf.kind == Kind::f32) continue;
        const int n = defs.find(nf.name);
        if (n < 0) continue;
        const double value = get_f32(work, R::param(static_cast<size_t>(n)));
        const double limit = nf.kind == Kind::u8 ? 0x1p8 : 0x1p16;
        if (!(value >= 0 && value < limit && std::trunc(value) == value)) return &nf.name;
    }
    return nullptr;
}

void to_version9(const CaliBuffer &work, std::span<uint8_t, R::kTransfer> device,
                 const frame::DefinitionTable &defs) {
    // Header; nf_cam bits 0-1 from the working record, bits 2-7 the device's.
    R::length.put(device, R::kSizeV9);
    R::version.put(device, 9);
    R::nf_cam.put(device, (R::nf_cam.get(device) & ~uint64_t{3}) | (R::nf_cam.get(work) & 3));
    // The bytes both versions share.
    std::copy(work.begin() + R::kCommonStart, work.begin() + R::kCommonEnd,
              device.begin() + R::kCommonStart);
    // Each named field from the parameter of its name; a field whose name
    // the definition file lacks has no parameter and keeps the device's value.
    // The selection and l and r keep the low bits of the value truncated
    // toward zero.
    for (const NamedField &nf : named_fields()) {
        const int n = defs.find(nf.name);
        if (n < 0) continue;
        const float value = get_f32(work, R::param(static_cast<size_t>(n)));
        if (nf.kind == Kind::f32)
            put_f32(device, nf.field, value);
        else
            nf.field.put(device, truncated(value));  // put keeps the field's low bytes
    }
}

SensorView decode_sensor_table(std::span<const uint8_t> table) {
    using E = SensorEntry;
    SensorView view;
    for (size_t i = 0; i + E::size <= table.size() && i < E::size * E::count; i += E::size) {
        const std::span<const uint8_t> entry = table.subspan(i, E::size);
        const auto flags = static_cast<uint32_t>(E::control.get(entry));
        const auto reg = static_cast<uint32_t>(E::reg.get(entry));
        const auto value = static_cast<uint32_t>(E::value.get(entry) & E::mask.get(entry));
        const uint32_t enable = flags & 1;
        const uint32_t camera = (flags >> 1) & 7;
        const uint32_t kind = flags >> 4;
        // Cameras 3 and above have no place in the view.
        if (camera >= R::kCameras) continue;
        SensorView::Pair(&cam)[sensor_items] = view.cam[camera];
        if (kind == 0) {
            // Bound registers: 7 and 9 give the low byte, 8 and 10 the high
            // bits of bound_l and bound_r, ORed in.
            if (reg >= 7 && reg <= 10) {
                SensorView::Pair &p = cam[reg <= 8 ? bound_l : bound_r];
                p.enable = enable;
                p.value |= reg % 2 == 0 ? value << 8 : value;
            }
        } else if (kind == 2) {
            // Gain registers.
            switch (reg) {
                case 0x44:
                    cam[front_gain] = {enable, value};
                    break;
                case 0x45:
                    cam[global_gain] = {enable, value};
                    break;
                case 0x46:
                    cam[color_gain] = {enable, value};
                    break;
                case 0x48:
                    cam[cgh] = {enable, value & 3};
                    cam[ggh] = {enable, (value >> 2) & 3};
                    break;
                default:
                    break;
            }
        }
        // Other kinds are ignored.
    }
    return view;
}

void encode_sensor_table(const SensorView &view, std::span<uint8_t> table) {
    using E = SensorEntry;
    std::fill(table.begin(), table.end(), uint8_t{0});
    size_t at = 0;
    auto entry = [&](uint32_t flags, uint32_t reg, uint32_t value, uint32_t mask) {
        const std::span<uint8_t> e = table.subspan(at, E::size);
        E::control.put(e, flags & 0xFF);
        E::reg.put(e, reg);
        E::value.put(e, value & 0xFF);
        E::mask.put(e, mask);
        at += E::size;
    };
    for (uint32_t c = 0; c < R::kCameras; ++c) {
        const SensorView::Pair(&cam)[sensor_items] = view.cam[c];
        const uint32_t cam_bits = 2 * c;
        const uint32_t gain_bits = cam_bits | 0x20;
        entry((cam[bound_l].enable & 1) | cam_bits, 7, cam[bound_l].value, 0xFF);
        entry((cam[bound_l].enable & 1) | cam_bits, 8, cam[bound_l].value >> 8, 0x03);
        entry((cam[bound_r].enable & 1) | cam_bits, 9, cam[bound_r].value, 0xFF);
        entry((cam[bound_r].enable & 1) | cam_bits, 10, cam[bound_r].value >> 8, 0x03);
        entry((cam[front_gain].enable & 1) | gain_bits, 0x44, cam[front_gain].value, 0x0F);
        entry((cam[global_gain].enable & 1) | gain_bits, 0x45, cam[global_gain].value, 0x1F);
        entry((cam[color_gain].enable & 1) | gain_bits, 0x46, cam[color_gain].value, 0x1F);
        const uint32_t gh_enable = (cam[ggh].enable || cam[cgh].enable) ? 1 : 0;
        entry(gh_enable | gain_bits, 0x48, ((cam[ggh].value & 3) << 2) | (cam[cgh].value & 3),
              0x0F);
    }
}

}  // namespace ryn::calibration
