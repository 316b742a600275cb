// The sensor dsp block unpacked into camera settings and packed back, and the
// INI value writers and readers of device information.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "devinfo/ini_values.h"
#include "devinfo/base_model_cfg.h"
#include "support/capture.h"
#include "support/tmpdir.h"

namespace ryn::devinfo {
namespace {

using R = ModelCfgRecord;

struct Entry {
    uint8_t control, reg, value, mask;
};

ModelCfgBuffer with_entries(const std::vector<Entry> &entries) {
    ModelCfgBuffer host{};
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t at = R::sensor_dsp.offset + SensorEntry::size * i;
        host[at] = entries[i].control;
        host[at + 1] = entries[i].reg;
        host[at + 2] = entries[i].value;
        host[at + 3] = entries[i].mask;
    }
    return host;
}

constexpr size_t nf_dark = 0, d_touch_lvl = 3, filter = kFilterSetting, flip = 10;

TEST(SensorDsp, UnpackAppliesMasksAndIgnoresForeignEntries) {
    const ModelCfgBuffer host = with_entries({
        {0x01, 18, 200, 0x7F},  // cam0 d_touch_lvl: 200 & 0x7F = 72
        {0x03, 2, 0xFF, 0x0F},  // cam1 nf_dark enabled: 15
        {0x06, 2, 9, 0xFF},     // cam3: ignored
        {0x0F, 2, 9, 0xFF},     // cam7: ignored
        {0x11, 2, 9, 0xFF},     // kind 1: ignored
        {0x31, 8, 3, 0xFF},     // kind 3: ignored
        {0x01, 99, 9, 0xFF},    // register outside the table: ignored
        {0x01, 8, 1, 0xFF},     // register 8 of kind 0 is no setting
        {0x25, 8, 0xFF, 0x03},  // cam2 flip enabled: 3
        {0x04, 18, 5, 0x7F},    // cam2 d_touch_lvl disabled 5 ...
        {0x05, 18, 6, 0x7F},    // ... the later entry wins: enabled 6
        {0x02, 151, 1, 0x07},   // cam1 filter code 1: size 3
        {0x04, 151, 3, 0x07},   // cam2 filter code 3: size 1
    });
    const CameraSettings s = unpack_sensor_dsp(host);
    EXPECT_EQ(s[0][d_touch_lvl].enable, 1u);
    EXPECT_EQ(s[0][d_touch_lvl].value, 72u);
    EXPECT_EQ(s[1][nf_dark].enable, 1u);
    EXPECT_EQ(s[1][nf_dark].value, 15u);
    EXPECT_EQ(s[0][nf_dark].enable, 0u);
    EXPECT_EQ(s[0][nf_dark].value, 0u);
    EXPECT_EQ(s[2][flip].enable, 1u);
    EXPECT_EQ(s[2][flip].value, 3u);
    EXPECT_EQ(s[0][flip].value, 0u);
    EXPECT_EQ(s[2][d_touch_lvl].enable, 1u);
    EXPECT_EQ(s[2][d_touch_lvl].value, 6u);
    EXPECT_EQ(s[0][filter].value, 1u);  // no entry: size 1
    EXPECT_EQ(s[1][filter].value, 3u);
    EXPECT_EQ(s[2][filter].value, 1u);
}

TEST(SensorDsp, PackReplacesTheWholeBlock) {
    ModelCfgBuffer host = with_entries({});
    std::fill(host.begin() + R::sensor_dsp.offset, host.begin() + R::sensor_dsp.end(),
              uint8_t{0x5A});
    CameraSettings s{};
    s[0][d_touch_lvl] = {1, 200};
    s[1][filter] = {1, 4};    // not a filter size: code 0
    s[2][filter] = {0, 5};    // code 2
    s[0][filter] = {1, 3};    // code 1
    s[2][flip] = {7, 0x1FF};  // enable keeps bit 0, value its low 8 bits
    pack_sensor_dsp(s, host);

    auto entry = [&](size_t i) {
        const size_t at = R::sensor_dsp.offset + 4 * i;
        return Entry{host[at], host[at + 1], host[at + 2], host[at + 3]};
    };
    auto expect = [&](size_t i, Entry e) {
        SCOPED_TRACE(i);
        const Entry got = entry(i);
        EXPECT_EQ(got.control, e.control);
        EXPECT_EQ(got.reg, e.reg);
        EXPECT_EQ(got.value, e.value);
        EXPECT_EQ(got.mask, e.mask);
    };
    expect(0, {0x00, 2, 0, 0x0F});     // cam0 nf_dark, disabled
    expect(3, {0x01, 18, 200, 0x7F});  // the value byte is not masked
    expect(8, {0x01, 151, 1, 0x07});
    expect(11 + 8, {0x03, 151, 0, 0x07});
    expect(22 + 8, {0x04, 151, 2, 0x07});
    expect(22 + 10, {0x25, 8, 0xFF, 0x03});
    EXPECT_TRUE(std::all_of(host.begin() + R::sensor_dsp.offset + 4 * 33,
                            host.begin() + R::sensor_dsp.end(), [](uint8_t b) { return b == 0; }));

    const CameraSettings back = unpack_sensor_dsp(host);
    EXPECT_EQ(back[0][d_touch_lvl].value, 72u);
    EXPECT_EQ(back[1][filter].value, 1u);
    EXPECT_EQ(back[1][filter].enable, 1u);
    EXPECT_EQ(back[2][filter].value, 5u);
    EXPECT_EQ(back[2][filter].enable, 0u);
    EXPECT_EQ(back[0][filter].value, 3u);
}

TEST(IniValues, WritersFormatAndReadersParse) {
    EXPECT_EQ(hex_value(0x50), u"0x50");
    EXPECT_EQ(hex_value(0), u"0x00");
    EXPECT_EQ(hex_value(0x123), u"0x0123");
    EXPECT_EQ(hex_value(0xFFFF), u"0xffff");
    EXPECT_EQ(hex_value(0x12345), u"0x00012345");
    EXPECT_EQ(float_value(1.25f), u"+1.2500000000e+000");
    EXPECT_EQ(float_value(-0.1f), u"-1.0000000149e-001");

    const auto dir = test::scratch_dir();
    const std::u16string path = (dir / "v.ini").u16string();
    {
        platform::IniFile ini(path);
        EXPECT_TRUE(write_hex(ini, u"s", u"vid", 0x0123));
        write_float(ini, u"s", u"f", 2.5f);
        for (const char16_t *v : {u"0x0123", u"0443", u"291"})
            ini.set(u"s", std::u16string(u"n") + v, v);
        ini.set(u"s", u"empty", u"");
        ini.set(u"s", u"big", u"1e39");
        ini.set(u"s", u"huge", u"-1e300");
        ASSERT_TRUE(ini.commit());
    }
    EXPECT_EQ(test::read_file(dir / "v.ini").substr(0, 35),
              "[s]\r\nvid=0x0123\r\nf=+2.5000000000e+0");
    const platform::IniFile ini(path);
    test::Capture capture;
    cali_info_arg arg{};
    capture.attach(arg);
    uint32_t n = 0;
    float f = 0;
    EXPECT_EQ(read_number(ini, u"s", u"vid", text::prefixed_field(16), arg, n), ValueRead::ok);
    EXPECT_EQ(n, 0x123u);
    for (const char16_t *v : {u"0x0123", u"0443", u"291"}) {
        n = 0;
        EXPECT_EQ(read_number(ini, u"s", std::u16string(u"n") + v, text::prefixed_field(16), arg, n),
                  ValueRead::ok);
        EXPECT_EQ(n, 291u);
    }
    EXPECT_EQ(read_number(ini, u"s", u"empty", text::prefixed_field(16), arg, n), ValueRead::missing);
    EXPECT_EQ(read_number(ini, u"s", u"absent", text::prefixed_field(16), arg, n),
              ValueRead::missing);
    EXPECT_EQ(read_number(ini, u"s", u"n291", text::prefixed_field(8), arg, n), ValueRead::bad);
    EXPECT_EQ(read_float(ini, u"s", u"f", arg, f), ValueRead::ok);
    EXPECT_EQ(f, 2.5f);
    EXPECT_EQ(read_float(ini, u"s", u"big", arg, f), ValueRead::bad);
    EXPECT_EQ(read_float(ini, u"s", u"huge", arg, f), ValueRead::bad);
    EXPECT_EQ(read_float(ini, u"s", u"empty", arg, f), ValueRead::missing);
    EXPECT_EQ(capture.messages,
              (std::vector<std::u16string>{u"[Error] Bad value of n291: 291.\n",
                                           u"[Error] Bad value of big: 1e39.\n",
                                           u"[Error] Bad value of huge: -1e300.\n"}));
}

}  // namespace
}  // namespace ryn::devinfo
