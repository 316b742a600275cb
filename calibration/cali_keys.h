// INI keys of the calibration fields, shared by the dump and the readers:
// formatted once per process, not once per key per request.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "calibration/cali_base.h"
#include "text/checked_format.h"

namespace ryn::calibration {

using CameraKey = text::format_string<unsigned>;

// The u16 camera words, in the record's group order.
inline constexpr CameraKey kCameraWordKeys[] = {u"cam%u_middle_b_l",  u"cam%u_middle_b_r",
                                                u"cam%u_reflect_b_l", u"cam%u_reflect_b_r",
                                                u"cam%u_light_avg",   u"cam%u_exposure_us"};

// The decoded sensor registers, in SensorItem order.
inline constexpr CameraKey kSensorKeys[] = {
    u"cam%u_bound_l",    u"cam%u_bound_r", u"cam%u_global_gain", u"cam%u_color_gain",
    u"cam%u_front_gain", u"cam%u_ggh",     u"cam%u_cgh"};
static_assert(std::size(kSensorKeys) == sensor_items);

// How a compact item's value gives its numbers: six floats, one float, or a
// jig point "l,r,wp".
enum class CompactForm { six_floats, one_float, jig_point };

// An item of the compact INI form: its key, and the parameter names its
// numbers go to, in the value's order.
struct CompactItem {
    std::u16string key;
    CompactForm form;
    std::vector<std::u16string> names;
};

struct CaliKeys {
    // The fixed fields, in the order the dump writes and the readers read them.
    std::u16string camera_word[std::size(kCameraWordKeys)][cali_record::kCameras];
    std::u16string post_cali[2][3][3];  // matrix, row - 1, column - 1
    std::u16string sensor[sensor_items][cali_record::kCameras];
    // Every key the dump writes in the section beside the parameters.
    std::vector<std::u16string> fixed;
    // The compact items in the form's order: the polynomials (camera, then
    // polynomial; coefficients 04 down to 00, then 05), the positions x and y
    // of cameras 0 to 3, thr and poly_sel of cameras 0 to 2, the jig points.
    std::vector<CompactItem> compact;
    // The first items of compact, by what they hold.
    const CompactItem &polynomial(unsigned camera, unsigned n) const { return compact[2 * camera + n]; }
    const CompactItem &position_x(unsigned camera) const { return compact[6 + 2 * camera]; }
    const CompactItem &position_y(unsigned camera) const { return compact[7 + 2 * camera]; }
    const CompactItem &threshold(unsigned camera) const { return compact[14 + camera]; }
    const CompactItem &poly_select(unsigned camera) const { return compact[17 + camera]; }
};

const CaliKeys &cali_keys();

}  // namespace ryn::calibration
