// The base controller's calibration record in its two device versions, and
// the sensor register entries inside it. The library and the simulated device
// share this one declaration.
//
// Version 9 (1555 bytes) holds named fields; version 10 (8192 bytes) keeps
// the fields common to both and moves polynomials, positions, thresholds and
// jig points into a parameter area of 1792 numbered f32 values. The transfer
// buffer is 8192 bytes for both.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/sensor_entry.h"
#include "formats/layout.h"

namespace ryn::calibration {

namespace cali_record {
using layout::Field;

constexpr size_t kTransfer = 8192;
constexpr size_t kSizeV9 = 1555;
constexpr size_t kSizeV10 = 8192;
constexpr size_t kCameras = 3;       // cameras with words, matrices' users and registers
constexpr size_t kParams = 1792;     // version 10: parameters in the area
constexpr size_t kJigPointSize = 8;  // u16 l, u16 r, f32 wp

// Both versions.
constexpr Field length{"length", 0, 2};
constexpr Field version{"version", 2, 1};
constexpr Field nf_cam{"nf_cam", 3, 1};                 // bits 0-1; bits 2-7 belong to the device
constexpr Field camera_words{"camera words", 347, 36};  // 6 groups x 3 cameras, u16
constexpr Field post_cali{"post_cali", 383, 72};        // 2 x 3 x 3 f32, row by row
constexpr Field sensor_table{"sensor register table", 455, 288};
constexpr Field nf_profile{"nf_profile", 743, 2};
constexpr Field device_data{"device data", 745, 122};
// Bytes a version-9 record and the working form share: camera words to device data.
constexpr size_t kCommonStart = camera_words.offset;
constexpr size_t kCommonEnd = device_data.offset + device_data.width;

// Version 9 only.
constexpr Field polynomials{"polynomials", 12, 144};       // 6 x 6 f32
constexpr Field positions{"camera positions", 300, 32};    // 4 x (x, y) f32
constexpr Field thresholds{"thresholds", 332, 12};         // 3 f32
constexpr Field poly_sel{"polynomial selection", 344, 3};  // 3 u8
constexpr Field jig_cam{"jig points", 867, 336};           // 42 jig points
constexpr Field jig_cam01{"jig points cam01", 1203, 176};  // 22 jig points
constexpr Field jig_cam12{"jig points cam12", 1379, 176};  // 22 jig points

// Version 10 only.
constexpr Field params{"parameter area", 1024, 4 * kParams};

constexpr Field kV9Fields[] = {length,     version,     nf_cam,       polynomials, positions,
                               thresholds, poly_sel,    camera_words, post_cali,   sensor_table,
                               nf_profile, device_data, jig_cam,      jig_cam01,   jig_cam12};
constexpr Field kV10Fields[] = {length,       version,    nf_cam,      camera_words, post_cali,
                                sensor_table, nf_profile, device_data, params};
static_assert(layout::well_formed(kV9Fields, kSizeV9));
static_assert(layout::well_formed(kV10Fields, kSizeV10));
static_assert(jig_cam12.end() == kSizeV9);

constexpr size_t size_of(unsigned v) {
    return v == 9 ? kSizeV9 : kSizeV10;
}

// Elements of the arrays above.
// Camera word group g (middle_b_l, middle_b_r, reflect_b_l, reflect_b_r,
// light_avg, exposure_us) of camera c.
constexpr Field camera_word(size_t g, size_t c) {
    return {"camera word", camera_words.offset + 6 * g + 2 * c, 2};
}
// Matrix m, row r, column c (r and c from 1).
constexpr Field post_cali_at(size_t m, size_t r, size_t c) {
    return {"post_cali", post_cali.offset + 36 * m + 12 * (r - 1) + 4 * (c - 1), 4};
}
// Version 9: polynomial j = 2 x camera + number, stored float p (0..5): the
// coefficients 04, 03, 02, 01, 00, then 05.
constexpr Field poly_float(size_t j, size_t p) {
    return {"polynomial", polynomials.offset + 24 * j + 4 * p, 4};
}
constexpr Field position_x(size_t c) {
    return {"position x", positions.offset + 8 * c, 4};
}
constexpr Field position_y(size_t c) {
    return {"position y", positions.offset + 8 * c + 4, 4};
}
constexpr Field threshold(size_t c) {
    return {"threshold", thresholds.offset + 4 * c, 4};
}
constexpr Field poly_select(size_t c) {
    return {"polynomial selection", poly_sel.offset + c, 1};
}
// Jig point i of camera c, of the cam01 pair set k (0, 1), of the cam12 pair set k (1, 2).
constexpr size_t jig_point_cam(size_t c, size_t i) {
    return jig_cam.offset + kJigPointSize * (14 * c + i);
}
constexpr size_t jig_point_cam01(size_t k, size_t i) {
    return jig_cam01.offset + kJigPointSize * (11 * k + i);
}
constexpr size_t jig_point_cam12(size_t k, size_t i) {
    return jig_cam12.offset + kJigPointSize * (11 * (k - 1) + i);
}
constexpr Field jig_l(size_t point) {
    return {"jig l", point, 2};
}
constexpr Field jig_r(size_t point) {
    return {"jig r", point + 2, 2};
}
constexpr Field jig_wp(size_t point) {
    return {"jig wp", point + 4, 4};
}
// Version 10: parameter n.
constexpr Field param(size_t n) {
    return {"parameter", params.offset + 4 * n, 4};
}
}  // namespace cali_record

// One sensor register entry: the calibration record's table holds 72 of them,
// the model configuration's sensor settings use the same form.
using SensorEntry = frame::SensorEntry;
static_assert(SensorEntry::size * SensorEntry::count == cali_record::sensor_table.width);

}  // namespace ryn::calibration
