// The base controller model: its default records, readers and writers, and
// the firmware-update operations acting on its state.
#include <cstring>
#include <string>

#include <zlib.h>

#include "sim_test.h"

namespace ryn::sim::test {
namespace {

uint32_t u16(const uint8_t *p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8);
}

// Answer of ryn_get_dev_ver for a selector, or -1 when the call fails.
int64_t dev_ver(ryn_handle h, uint32_t selector) {
    uint8_t query[16] = {};
    std::memcpy(query, &selector, 4);
    if (!ryn_get_dev_ver(h, query)) return -1;
    return (u16(query + 2) << 8 | u16(query)) & 0xFFFF;
}

std::u16string utf16_at(const std::vector<uint8_t> &r, size_t offset) {
    std::u16string s;
    for (size_t i = offset; i + 1 < r.size() && (r[i] | r[i + 1]); i += 2)
        s.push_back(static_cast<char16_t>(r[i] | r[i + 1] << 8));
    return s;
}

TEST(SimBase, DefaultRecordsFollowTheOptions) {
    struct Case {
        const char *options;
        size_t cali_size;
        unsigned cali_version;
        size_t model_size;
        int64_t model_version, algo_version;
    };
    const Case cases[] = {
        {nullptr, 8192, 10, 6144, 0x103, 0x200},
        {R"({"cali_version": 9, "model_version": "0x100"})", 1555, 9, 51, 0x100, -1},
        {R"({"model_version": 257})", 8192, 10, 1532, 0x101, 0x101},
        {R"({"model_version": "0x102"})", 8192, 10, 5630, 0x102, 0x104},
        {R"({"model_version": "0x102", "algo_version": "0x103"})", 8192, 10, 5630, 0x102, 0x103},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options ? c.options : "no options");
        ryn_handle h = create_base(c.options);
        std::vector<uint8_t> cali = record("cali");
        ASSERT_EQ(cali.size(), c.cali_size);
        EXPECT_EQ(u16(cali.data()), c.cali_size);
        EXPECT_EQ(cali[2], c.cali_version);
        std::vector<uint8_t> cfg = record("model-cfg");
        ASSERT_EQ(cfg.size(), c.model_size);
        EXPECT_EQ(u16(cfg.data()), c.model_size);
        EXPECT_EQ(dev_ver(h, 1), c.model_version);
        EXPECT_EQ(dev_ver(h, 2), c.algo_version);
        EXPECT_EQ(record("fw-header").size(), 80u);
        EXPECT_EQ(ryn_sim_get_record("normal-code", nullptr, 0, nullptr), 0);
    }
    ryn_handle h = create_base();
    EXPECT_EQ(dev_ver(h, 3), -1);
    EXPECT_EQ(last_trace(), "ryn_get_dev_ver(" + H(h) + ", 3) = 0 [selector 3]");
}

TEST(SimBase, VersionRecordCarriesTheOptions) {
    const std::string long59(59, '9');
    ryn_handle h =
        create_base((R"({"length": 300, "major": 26, "minor": 3, "bootldr_version": "b.1",
                                   "normal_version": ")" +
                     long59 + R"(", "updater_version": "2.3.1123.1"})")
                        .c_str());
    uint8_t buf[368];
    ASSERT_EQ(ryn_get_fw_ver_str(h, buf), 1);
    std::vector<uint8_t> r(buf, buf + 368);
    EXPECT_EQ(u16(buf), 300u);
    EXPECT_EQ(buf[2], 3);
    EXPECT_EQ(buf[3], 0x1A);
    EXPECT_EQ(utf16_at(r, 4), u"b.1");
    EXPECT_EQ(utf16_at(r, 124), std::u16string(59, u'9'));
    EXPECT_EQ(utf16_at(r, 244), u"2.3.1123.1");
    ASSERT_EQ(ryn_get_version_str(h, buf), 1);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 368), r);
}

TEST(SimBase, CreateRefusesBadOptionsAndKeepsTheOldDevice) {
    struct Case {
        const char *family, *options, *error;
    };
    const std::string long60 = R"({"bootldr_version": ")" + std::string(60, '1') + R"("})";
    const Case cases[] = {
        {"base", R"({"colour": 1})", "unknown key \"colour\""},
        {"base", R"({"cali_version": 11})", "options \"cali_version\": 11 is outside"},
        {"base", R"({"model_version": "0x104"})", "outside"},
        {"base", R"({"model_version": "0x10g"})", "is not a number"},
        {"base", R"({"model_version": -1})", "must not be negative"},
        {"base", R"({"algo_version": "0x103"})", "only a model_version 0x102 record"},
        {"base", R"({"fw_mode": "turbo"})", "not normal, update or flashbuilder"},
        {"base", long60.c_str(), "longer than 59 characters"},
        {"base", R"({"normal_version": 5})", "must be a string"},
        {"base", R"({"length": 70000})", "outside"},
        {"base", R"({"cali_version": 9)", "not valid JSON"},
        {"base", "[]", "must be a JSON object"},
        {"5930", "{}", "unknown device family \"5930\""},
        {nullptr, "{}", "family is null"},
    };
    ryn_handle h = create_base();
    for (const Case &c : cases) {
        EXPECT_EQ(ryn_sim_create(c.family, c.options), RYN_INVALID_HANDLE) << c.options;
        EXPECT_NE(std::string(ryn_sim_last_error()).find(c.error), std::string::npos)
            << ryn_sim_last_error();
    }
    EXPECT_EQ(ryn_check_platform(h) & 0xFF, 1u);
}

TEST(SimBase, CalibrationReaderAndWriterMoveTheRecord) {
    ryn_handle h = create_base(R"({"cali_version": 9})");
    ryn_record_reader read = ryn_get_cali_info_fn(h);
    ryn_record_writer write = ryn_set_cali_info_fn(h);
    ASSERT_TRUE(read && write);
    std::vector<uint8_t> buf(8192, 0xCC);
    ASSERT_EQ(read(h, buf.data()), 1);
    std::vector<uint8_t> held = record("cali");
    EXPECT_TRUE(std::equal(held.begin(), held.end(), buf.begin()));
    EXPECT_TRUE(std::all_of(buf.begin() + 1555, buf.end(), [](uint8_t b) { return b == 0; }));

    buf[400] ^= 0x5A;
    ASSERT_EQ(write(h, buf.data()), 1);
    EXPECT_EQ(record("cali")[400], buf[400]);
    EXPECT_EQ(record("cali").size(), 1555u);

    buf[2] = 10;  // a version-10 record for a device that holds version 9
    EXPECT_EQ(write(h, buf.data()), 0);
    EXPECT_EQ(last_trace(), "cali_info_writer(" + H(h) +
                                ", buf) = 0 [record version 10, device holds version 9]");
    buf[2] = 9;
    buf[0] = 0;  // length 1536 instead of 1555
    EXPECT_EQ(write(h, buf.data()), 0);
    EXPECT_EQ(read(h, nullptr), 0);
}

TEST(SimBase, ModelConfigurationWriterKeepsTheVersionWritten) {
    ryn_handle h = create_base(R"({"model_version": "0x101"})");
    ryn_record_reader read = ryn_get_model_cfg_fn(h);
    ryn_record_writer write = ryn_set_model_cfg_fn(h);
    ASSERT_TRUE(read && write);
    std::vector<uint8_t> buf(8192, 0xCC);
    buf[0] = 0x00, buf[1] = 0x20;  // capacity 8192
    ASSERT_EQ(read(h, buf.data()), 1);
    const uint32_t header =
        buf[0] | buf[1] << 8 | buf[2] << 16 | static_cast<uint32_t>(buf[3]) << 24;
    EXPECT_EQ(header, 0x010105FCu);
    EXPECT_EQ(utf16_at(buf, 8), u"SIM-BASE");
    EXPECT_TRUE(std::all_of(buf.begin() + 1532, buf.end(), [](uint8_t b) { return b == 0; }));

    buf[4] = 0x34;  // vid
    ASSERT_EQ(write(h, buf.data()), 1);
    EXPECT_EQ(record("model-cfg")[4], 0x34);

    buf[2] = 2;  // header of version 0x102 with the length of 0x101
    EXPECT_EQ(write(h, buf.data()), 0);
    EXPECT_EQ(last_trace(), "model_cfg_writer(" + H(h) + ", buf) = 0 [length 1532, version 0x102 takes 5630]");
    buf[2] = 4;
    EXPECT_EQ(write(h, buf.data()), 0);
    EXPECT_EQ(last_trace(), "model_cfg_writer(" + H(h) + ", buf) = 0 [record version 0x104, not 0x100 to 0x103]");

    // A version 0x100 record is kept as such, 51 bytes.
    std::vector<uint8_t> v100(8192, 0xCC);
    v100[0] = 51, v100[1] = 0, v100[2] = 0, v100[3] = 1;
    ASSERT_EQ(write(h, v100.data()), 1);
    EXPECT_EQ(record("model-cfg"), std::vector<uint8_t>(v100.begin(), v100.begin() + 51));
    EXPECT_EQ(dev_ver(h, 1), 0x100);
    EXPECT_EQ(dev_ver(h, 2), -1);
    buf[2] = 1;
    ASSERT_EQ(write(h, buf.data()), 1);

    std::vector<uint8_t> small(8192, 0);
    small[0] = 0x00, small[1] = 0x04;  // a 1024-byte buffer cannot take 1532 bytes
    EXPECT_EQ(read(h, small.data()), 0);

    // The 6144-byte reads used by the update sequences give the same record.
    std::vector<uint8_t> cfg(6144, 0xCC);
    ASSERT_EQ(ryn_get_model_cfg(h, cfg.data()), 1);
    std::vector<uint8_t> held = record("model-cfg");
    EXPECT_TRUE(std::equal(held.begin(), held.end(), cfg.begin()));
}

TEST(SimBase, SetRecordChecksNameAndSize) {
    create_base();
    std::vector<uint8_t> v9 = record("cali");
    v9.resize(1555);
    v9[0] = 0x13, v9[1] = 0x06, v9[2] = 9;
    EXPECT_EQ(ryn_sim_set_record("cali", v9.data(), v9.size()), 1) << ryn_sim_last_error();
    EXPECT_EQ(record("cali").size(), 1555u);

    struct Case {
        const char *name;
        size_t size;
        uint8_t version_byte;
        const char *error;
    };
    const Case cases[] = {
        {"version", 364, 0, "record \"version\" takes 368 bytes, not 364"},
        {"cali", 8192, 9, "record \"cali\" of version 9 takes 1555 bytes, not 8192"},
        {"cali", 1555, 11, "holds version 11, not 9 or 10"},
        {"cali", 2, 0, "too short"},
        {"model-cfg", 6144, 4, "holds version 0x104, not 0x100 to 0x103"},
        {"fw-header", 68, 0, "takes 80 bytes"},
        {"layout", 0x1000, 0, "takes 393216 bytes"},
        {"normal-code", 0, 0, "takes 1 to 131072 bytes, not 0"},
        {"normal-code", 0x20001, 0, "not 131073"},
        {"flash", 16, 0, "the base controller has no record \"flash\""},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> bytes(std::max<size_t>(c.size, 4), 0);
        if (c.size > 2) bytes[2] = c.version_byte;
        if (std::string(c.name) == "model-cfg") bytes[3] = 1;
        EXPECT_EQ(ryn_sim_set_record(c.name, bytes.data(), c.size), 0) << c.error;
        EXPECT_NE(std::string(ryn_sim_last_error()).find(c.error), std::string::npos)
            << ryn_sim_last_error();
    }
    EXPECT_EQ(record("cali").size(), 1555u);
}

TEST(SimBase, NormalCodeIsTakenInUpdateModeWithItsVersionRecord) {
    ryn_handle h = create_base();
    const uint8_t code[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01};
    uint8_t ver[368];
    ASSERT_EQ(ryn_get_version_str(h, ver), 1);
    EXPECT_EQ(ryn_set_normal_code(h, ver, nullptr, code, sizeof code), 0);
    EXPECT_EQ(last_trace(),
              "ryn_set_normal_code(" + H(h) + ", buf, null, buf, 5) = 0 [not in update mode]");

    ryn_set_dev_mode(h, 1, nullptr);
    h = ryn_sim_reset();
    const char16_t patched[] = u"9.8.7.6";
    std::memset(ver + 124, 0, 120);
    std::memcpy(ver + 124, patched, sizeof patched);
    std::memset(ver + 364, 0x11, 4);  // bytes behind the record stay the device's
    ASSERT_EQ(ryn_set_normal_code(h, ver, nullptr, code, sizeof code), 1);
    EXPECT_EQ(record("normal-code"), std::vector<uint8_t>(code, code + sizeof code));
    std::vector<uint8_t> v = record("version");
    EXPECT_EQ(utf16_at(v, 124), u"9.8.7.6");
    EXPECT_EQ(v[364], 0xEE);

    std::vector<uint8_t> big(0x20001, 1);
    EXPECT_EQ(
        ryn_set_normal_code(h, nullptr, nullptr, big.data(), static_cast<uint32_t>(big.size())), 0);
    EXPECT_EQ(ryn_set_normal_code(h, nullptr, nullptr, nullptr, 16), 0);
}

TEST(SimBase, FlashLayoutVerdictComparesTheAnnouncedCrc) {
    ryn_handle h = create_base();
    const std::string header = "HEADER--", code = "update code bytes";
    uint32_t crc =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(header.data()), 8));
    crc = static_cast<uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef *>(code.data()), static_cast<uInt>(code.size())));
    uint8_t result[16] = {};

    EXPECT_EQ(ryn_update_flash_code(h, header.data(), 0, 8), 0);  // nothing announced yet
    EXPECT_EQ(ryn_set_update_hdr(h, 0, 0x10000, 0x60000, crc), 0);
    ASSERT_EQ(ryn_set_update_hdr(h, 0, 0x20000, 0x60000, crc), 1);
    ASSERT_EQ(ryn_update_flash_code(h, header.data(), 0, 8), 1);
    ASSERT_EQ(ryn_update_flash_code(h, code.data(), 0x5FF00, static_cast<uint32_t>(code.size())),
              1);
    EXPECT_EQ(ryn_update_flash_code(h, code.data(), 0x5FFF8, static_cast<uint32_t>(code.size())),
              0);
    ASSERT_EQ(ryn_get_update_hdr(h, result), 1);
    EXPECT_EQ(result[0], 1);

    std::vector<uint8_t> layout = record("layout");
    ASSERT_EQ(layout.size(), 0x60000u);
    EXPECT_EQ(std::string(layout.begin(), layout.begin() + 8), header);
    EXPECT_EQ(std::string(layout.begin() + 0x5FF00, layout.begin() + 0x5FF00 + code.size()), code);
    EXPECT_EQ(layout[8], 0xFF);  // untouched flash reads erased

    ASSERT_EQ(ryn_set_update_hdr(h, 0, 0x20000, 0x60000, crc), 1);
    ASSERT_EQ(ryn_update_flash_code(h, code.data(), 0, static_cast<uint32_t>(code.size())), 1);
    ASSERT_EQ(ryn_update_flash_code(h, header.data(), 0x100, 8), 1);
    ASSERT_EQ(ryn_get_update_hdr(h, result), 1);
    EXPECT_EQ(result[0], 0);  // same bytes, other order

    h = ryn_sim_reset();  // a reset forgets the announcement
    EXPECT_EQ(ryn_get_update_hdr(h, result), 0);
    EXPECT_EQ(last_trace(), "ryn_get_update_hdr(" + H(h) + ", buf) = 0 [no layout announced]");
}

TEST(SimBase, FirmwareHeaderWriteKeepsTheModeBitTheDevicesOwn) {
    ryn_handle h = create_base();
    uint8_t hdr[80];
    std::memset(hdr, 0x77, sizeof hdr);
    ASSERT_EQ(ryn_set_fw_hdr(h, hdr, 0), 1);
    uint8_t back[80];
    ASSERT_EQ(ryn_get_fw_hdr(h, back, 0), 1);
    EXPECT_EQ(back[4], 0x76);
    EXPECT_EQ(back[0], 0x77);
}

}  // namespace
}  // namespace ryn::sim::test
