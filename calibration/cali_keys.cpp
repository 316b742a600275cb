#include "calibration/cali_keys.h"

#include "frame/record_identity.h"

namespace ryn::calibration {
namespace {

namespace R = cali_record;

CaliKeys make_cali_keys() {
    CaliKeys k;
    for (size_t g = 0; g < std::size(kCameraWordKeys); ++g)
        for (unsigned c = 0; c < R::kCameras; ++c)
            k.camera_word[g][c] = text::format_checked(kCameraWordKeys[g], c);
    for (unsigned m = 0; m < 2; ++m)
        for (unsigned r = 1; r <= 3; ++r)
            for (unsigned c = 1; c <= 3; ++c)
                k.post_cali[m][r - 1][c - 1] = text::format_checked(u"post_cali%u_%u%u", m, r, c);
    for (size_t item = 0; item < sensor_items; ++item)
        for (unsigned c = 0; c < R::kCameras; ++c)
            k.sensor[item][c] = text::format_checked(kSensorKeys[item], c);

    k.fixed = {u"length", u"version", u"nf_cam", u"nf_profile", std::u16string(frame::controller_key)};
    for (const auto &group : k.camera_word) k.fixed.insert(k.fixed.end(), std::begin(group), std::end(group));
    for (const auto &matrix : k.post_cali)
        for (const auto &row : matrix) k.fixed.insert(k.fixed.end(), std::begin(row), std::end(row));
    for (const auto &item : k.sensor) k.fixed.insert(k.fixed.end(), std::begin(item), std::end(item));

    auto one = [&](const std::u16string &name) {
        k.compact.push_back({name, CompactForm::one_float, {name}});
    };
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned n = 0; n < 2; ++n) {
            CompactItem item{text::format_checked(u"cam%u_poly%u", c, n), CompactForm::six_floats, {}};
            for (unsigned listed = 0; listed < 6; ++listed)
                item.names.push_back(text::format_checked(u"cam%u_poly%u_coe%02u", c, n,
                                                          listed < 5 ? 4 - listed : 5u));
            k.compact.push_back(std::move(item));
        }
    for (unsigned c = 0; c < 4; ++c)
        for (const CameraKey key : {CameraKey(u"cam%u_pos_x"), CameraKey(u"cam%u_pos_y")})
            one(text::format_checked(key, c));
    for (const CameraKey key : {CameraKey(u"cam%u_thr"), CameraKey(u"cam%u_poly_sel")})
        for (unsigned c = 0; c < 3; ++c) one(text::format_checked(key, c));
    auto jig = [&](const std::u16string &key) {
        k.compact.push_back({key, CompactForm::jig_point, {key + u"_l", key + u"_r", key + u"_wp"}});
    };
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned i = 0; i < 14; ++i) jig(text::format_checked(u"jig_cam%u_pt%02u", c, i));
    for (unsigned k01 = 0; k01 < 2; ++k01)
        for (unsigned i = 0; i < 11; ++i)
            jig(text::format_checked(u"jig_cam01_%u_cali_pt%02u", k01, i));
    for (unsigned k12 = 1; k12 < 3; ++k12)
        for (unsigned i = 0; i < 11; ++i)
            jig(text::format_checked(u"jig_cam12_%u_cali_pt%02u", k12, i));
    return k;
}

}  // namespace

const CaliKeys &cali_keys() {
    static const CaliKeys keys = make_cali_keys();
    return keys;
}

}  // namespace ryn::calibration
