// The record conversions and the sensor register table, on buffers.
#include <gtest/gtest.h>

#include <cmath>

#include "calibration/cali_base.h"
#include "cali_test.h"

namespace ryn::calibration {
namespace {

namespace R = cali_record;
using frame::DefinitionFile;
using test::Bytes;

class ConvertTest : public test::CaliTest {
  protected:
    frame::DefinitionTable &load(const std::string &text) {
        definitions(text);
        cali_info_arg arg{};
        EXPECT_EQ(frame::load_definitions(DefinitionFile::cali_base, &arg), 1);
        return frame::definition_table(DefinitionFile::cali_base);
    }

    // A version-9 record with recognisable values.
    static CaliBuffer version9() {
        CaliBuffer b{};
        R::length.put(b, R::kSizeV9);
        R::version.put(b, 9);
        R::nf_cam.put(b, 0xF6);
        for (size_t i = 4; i < R::kSizeV9; ++i) b[i] = static_cast<uint8_t>(i * 13);
        put_f32(b, R::threshold(1), 4.5f);
        R::jig_l(R::jig_point_cam(0, 0)).put(b, 65535);
        put_f32(b, R::jig_wp(R::jig_point_cam(0, 0)), 2.7f);
        return b;
    }
};

TEST_F(ConvertTest, Version9WithNamesMissingFromTheDefinitionFile) {
    frame::DefinitionTable &defs = load(
        "param_0003=cam1_thr\nparam_0040=jig_cam0_pt00_l\nparam_0041=jig_cam0_pt00_wp\n"
        "param_0050=not_a_field\n");
    const CaliBuffer device = version9();
    CaliBuffer work{};
    ASSERT_EQ(to_working_form(device, work, defs), 1);
    EXPECT_EQ(R::length.get(work), 8192u);
    EXPECT_EQ(R::version.get(work), 10u);
    EXPECT_EQ(R::nf_cam.get(work), 2u);  // the device's bits stay behind
    EXPECT_TRUE(std::equal(device.begin() + 347, device.begin() + 867, work.begin() + 347));
    EXPECT_TRUE(
        std::all_of(work.begin() + 4, work.begin() + 347, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(get_f32(work, R::param(3)), 4.5f);
    EXPECT_EQ(get_f32(work, R::param(40)), 65535.0f);
    EXPECT_EQ(get_f32(work, R::param(41)), 2.7f);
    for (size_t n = 0; n < defs.size(); ++n)
        EXPECT_EQ(defs[n].valid, n == 3 || n == 40 || n == 41 ? 1u : 0u) << n;

    // Back: the named fields from their parameters; a field whose name the
    // definition file lacks, and every byte no field names, keep the device's
    // value.
    put_f32(work, R::param(3), -1.25f);
    CaliBuffer back = device;
    to_version9(work, back, defs);
    EXPECT_EQ(R::length.get(back), 1555u);
    EXPECT_EQ(R::nf_cam.get(back), 0xF6u);
    EXPECT_EQ(get_f32(back, R::threshold(1)), -1.25f);
    EXPECT_EQ(get_f32(back, R::threshold(0)), get_f32(device, R::threshold(0)));
    EXPECT_EQ(R::poly_select(2).get(back), R::poly_select(2).get(device));
    EXPECT_EQ(R::jig_r(R::jig_point_cam(0, 0)).get(back), R::jig_r(R::jig_point_cam(0, 0)).get(device));
    EXPECT_EQ(R::jig_l(R::jig_point_cam(0, 0)).get(back), 65535u);
    EXPECT_EQ(get_f32(back, R::jig_wp(R::jig_point_cam(0, 0))), 2.7f);
    for (size_t i : {4, 11, 156, 299, 1555, 8191}) EXPECT_EQ(back[i], device[i]) << i;
}

TEST_F(ConvertTest, Version10MarksValidExactlyTheNamedNumbers) {
    frame::DefinitionTable &defs = load("param_0000=a\nparam_1791=b\nparam_0900=c\n");
    CaliBuffer device{};
    for (size_t i = 0; i < device.size(); ++i) device[i] = static_cast<uint8_t>(i * 7 + 1);
    R::version.put(device, 10);
    CaliBuffer work{};
    ASSERT_EQ(to_working_form(device, work, defs), 1);
    EXPECT_EQ(work, device);
    size_t valid = 0;
    for (const frame::DefinitionEntry &e : defs.entries()) valid += e.valid;
    EXPECT_EQ(valid, 3u);
    EXPECT_EQ(defs[1791].valid, 1u);

    for (unsigned version : {0u, 8u, 11u, 255u}) {
        R::version.put(device, version);
        EXPECT_EQ(to_working_form(device, work, defs), 0) << version;
    }
}

struct BackCase {
    const char *name;
    float value;
    layout::Field field;
    uint64_t expected;  // the field's bytes as an integer
};

TEST_F(ConvertTest, BackConversionTruncatesIntegerFieldsAndKeepsWp) {
    frame::DefinitionTable &defs = load(
        "param_0001=jig_cam1_pt02_l\nparam_0002=jig_cam1_pt02_r\n"
        "param_0003=jig_cam1_pt02_wp\nparam_0004=cam0_poly_sel\n");
    const size_t point = R::jig_point_cam(1, 2);
    const BackCase cases[] = {
        {"l 3.9", 3.9f, R::jig_l(point), 3},
        {"l -3", -3.0f, R::jig_l(point), 0xFFFD},
        {"l -0.9", -0.9f, R::jig_l(point), 0},
        {"l 70000", 70000.0f, R::jig_l(point), 70000 & 0xFFFF},
        {"l NaN", std::nanf(""), R::jig_l(point), 0},
        {"l 1e30", 1e30f, R::jig_l(point), 0},
        {"r -1.5", -1.5f, R::jig_r(point), 0xFFFF},
        {"selection 258.7", 258.7f, R::poly_select(0), 2},
        {"selection -1", -1.0f, R::poly_select(0), 0xFF},
        {"wp 2.7 stays a float", 2.7f, R::jig_wp(point), std::bit_cast<uint32_t>(2.7f)},
        {"wp -1e-3", -1e-3f, R::jig_wp(point), std::bit_cast<uint32_t>(-1e-3f)},
    };
    for (const BackCase &c : cases) {
        SCOPED_TRACE(c.name);
        CaliBuffer work{}, device = version9();
        for (size_t n = 1; n <= 4; ++n) put_f32(work, R::param(n), c.value);
        to_version9(work, device, defs);
        EXPECT_EQ(c.field.get(device), c.expected);
    }
}

// One register entry: control, register, value, mask.
struct Entry {
    uint8_t control, reg, value, mask;
};

std::array<uint8_t, 288> table_of(std::initializer_list<Entry> entries) {
    std::array<uint8_t, 288> t{};
    size_t i = 0;
    for (const Entry &e : entries) {
        t[i++] = e.control;
        t[i++] = e.reg;
        t[i++] = e.value;
        t[i++] = e.mask;
    }
    return t;
}

TEST(SensorTable, Decode) {
    const auto table = table_of({
        {0x01, 7, 0x12, 0xFF},  // camera 0 bound_l low byte
        {0x00, 7, 0x40, 0xF0},  // again: ORed in, masked; the enable of the last entry wins
        {0x01, 8, 0x03, 0x03},  // high bits
        {0x03, 9, 0x34, 0xFF},  // camera 1 bound_r
        {0x03, 10, 0xFF, 0x01},
        {0x06, 7, 0x77, 0xFF},     // camera 3: ignored
        {0x25, 0x44, 0x1F, 0x0F},  // camera 2 front gain
        {0x25, 0x45, 0x3F, 0x1F},
        {0x24, 0x46, 0x09, 0x1F},
        {0x21, 0x48, 0x0E, 0x0F},  // camera 0: ggh 3, cgh 2
        {0x13, 9, 0x55, 0xFF},     // kind 1: ignored
        {0x01, 0x44, 0x05, 0xFF},  // a gain register of kind 0: ignored
        {0x21, 0x47, 0x05, 0xFF},  // an unknown gain register: ignored
    });
    const SensorView v = decode_sensor_table(table);
    EXPECT_EQ(v.cam[0][bound_l].enable, 1u);
    EXPECT_EQ(v.cam[0][bound_l].value, 0x352u);
    EXPECT_EQ(v.cam[1][bound_r].enable, 1u);
    EXPECT_EQ(v.cam[1][bound_r].value, 0x134u);
    EXPECT_EQ(v.cam[2][front_gain].value, 0x0Fu);
    EXPECT_EQ(v.cam[2][front_gain].enable, 1u);
    EXPECT_EQ(v.cam[2][global_gain].value, 0x1Fu);
    EXPECT_EQ(v.cam[2][color_gain].enable, 0u);
    EXPECT_EQ(v.cam[2][color_gain].value, 9u);
    EXPECT_EQ(v.cam[0][ggh].value, 3u);
    EXPECT_EQ(v.cam[0][cgh].value, 2u);
    EXPECT_EQ(v.cam[0][ggh].enable, 1u);
    EXPECT_EQ(v.cam[0][front_gain].enable, 0u);
    EXPECT_EQ(v.cam[0][front_gain].value, 0u);
    EXPECT_EQ(v.cam[1][bound_l].value, 0u);
}

TEST(SensorTable, EncodeMasksEachValue) {
    SensorView v;
    v.cam[1][bound_l] = {1, 0xFFFF};
    v.cam[1][bound_r] = {0, 0x2A5};
    v.cam[1][front_gain] = {1, 0x1F};
    v.cam[1][global_gain] = {0, 0xFF};
    v.cam[1][color_gain] = {1, 0x21};
    v.cam[1][ggh] = {0, 7};
    v.cam[1][cgh] = {1, 6};
    std::array<uint8_t, 288> table;
    table.fill(0xEE);
    encode_sensor_table(v, table);
    const auto expected = table_of({
        {0x00, 7, 0, 0xFF},       {0x00, 8, 0, 0x03},       {0x00, 9, 0, 0xFF},
        {0x00, 10, 0, 0x03},      {0x20, 0x44, 0, 0x0F},    {0x20, 0x45, 0, 0x1F},
        {0x20, 0x46, 0, 0x1F},    {0x20, 0x48, 0, 0x0F},    {0x03, 7, 0xFF, 0xFF},
        {0x03, 8, 0xFF, 0x03},    {0x02, 9, 0xA5, 0xFF},    {0x02, 10, 0x02, 0x03},
        {0x23, 0x44, 0x1F, 0x0F}, {0x22, 0x45, 0xFF, 0x1F}, {0x23, 0x46, 0x21, 0x1F},
        {0x23, 0x48, 0x0E, 0x0F}, {0x04, 7, 0, 0xFF},       {0x04, 8, 0, 0x03},
        {0x04, 9, 0, 0xFF},       {0x04, 10, 0, 0x03},      {0x24, 0x44, 0, 0x0F},
        {0x24, 0x45, 0, 0x1F},    {0x24, 0x46, 0, 0x1F},    {0x24, 0x48, 0, 0x0F},
    });
    EXPECT_EQ(table, expected);
    // Read back, the masks bound each value: 10-bit bounds, 4- and 5-bit gains, 2-bit ggh and cgh.
    const SensorView back = decode_sensor_table(table);
    EXPECT_EQ(back.cam[1][bound_l].value, 0x3FFu);
    EXPECT_EQ(back.cam[1][bound_r].value, 0x2A5u);
    EXPECT_EQ(back.cam[1][front_gain].value, 0x0Fu);
    EXPECT_EQ(back.cam[1][color_gain].value, 0x01u);
    EXPECT_EQ(back.cam[1][ggh].value, 3u);
    EXPECT_EQ(back.cam[1][cgh].value, 2u);
}

}  // namespace
}  // namespace ryn::calibration
