// INI keys of the fixed calibration fields, shared by the dump and the readers.
#pragma once

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

}  // namespace ryn::calibration
