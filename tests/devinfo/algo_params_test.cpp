// The algorithm parameter mappings between the device form (block versions
// 0x101 to 0x104) and the host form, found through "algo_param_def".
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "formats/algo_block.h"
#include "devinfo/algo_params.h"
#include "frame/definitions.h"
#include "support/tmpdir.h"
#include "text/text.h"

namespace ryn::devinfo {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t word(const Bytes &b, size_t at) {
    return static_cast<uint32_t>(layout::Field{"", at, 4}.get(b));
}
void put_word(Bytes &b, size_t at, uint32_t v) {
    layout::Field{"", at, 4}.put(b, v);
}
float f32_at(const Bytes &b, size_t at) {
    return std::bit_cast<float>(word(b, at));
}

class AlgoParamsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test::scratch_dir();
        frame::set_definition_dir_for_testing((dir_ / "").u16string());
    }
    void TearDown() override { frame::set_definition_dir_for_testing(std::nullopt); }

    // Loads "algo_param_def" with the given lines.
    frame::DefinitionTable &define(const std::string &lines) {
        test::write_file(dir_ / "algo_param_def.ini", lines);
        EXPECT_EQ(frame::load_definitions(frame::DefinitionFile::algo_base, nullptr), 1);
        return frame::definition_table(frame::DefinitionFile::algo_base);
    }

    // Field k of the 0x104 list defined at slot 700 - k.
    frame::DefinitionTable &define_all_reversed() {
        std::string lines;
        for (size_t k = 0; k < std::size(kAlgoFields); ++k)
            lines += "param_" + std::to_string(700 - k) + "=" +
                     text::to_utf8(std::u16string(kAlgoFields[k].name)) + "\n";
        return define(lines);
    }

    std::filesystem::path dir_;
};

TEST_F(AlgoParamsTest, ReadingFillsTheNamedSlotsAndMarksThemValid) {
    frame::DefinitionTable &defs = define_all_reversed();
    Bytes device(1024, 0), host(AlgoBlock::host_size, 0xAB);
    put_word(device, 0, 0x01040400);
    for (size_t k = 0; k < 185; ++k)
        put_word(device, AlgoBlock::value_offset(k),
                 kAlgoFields[k].type == AlgoFieldType::i32
                     ? static_cast<uint32_t>(-static_cast<int32_t>(k))
                     : std::bit_cast<uint32_t>(static_cast<float>(k) + 0.25f));
    read_algo_block(0x104, device, host, defs);

    EXPECT_EQ(word(host, 0), 0x01040000u | AlgoBlock::host_size);
    for (size_t k = 0; k < 185; ++k) {
        SCOPED_TRACE(k);
        const size_t n = 700 - k;
        EXPECT_EQ(defs[n].valid, 1u);
        const float expected = kAlgoFields[k].type == AlgoFieldType::i32
                                   ? -static_cast<float>(k)
                                   : static_cast<float>(k) + 0.25f;
        EXPECT_EQ(f32_at(host, AlgoBlock::value_offset(n)), expected);
    }
    // Slots no field maps to keep what they held; their entries stay invalid.
    EXPECT_EQ(word(host, AlgoBlock::value_offset(0)), 0xABABABABu);
    EXPECT_EQ(word(host, AlgoBlock::value_offset(766)), 0xABABABABu);
    EXPECT_EQ(defs[515].valid, 0u);
}

TEST_F(AlgoParamsTest, UndefinedAndTwiceDefinedNames) {
    // x_real_dim (field 0, f32) is not defined; y_real_dim (field 1) is
    // defined at 5 and again at 9; waiting_count_thr (field 8, i32) at 3.
    frame::DefinitionTable &defs =
        define("param_0005=y_real_dim\nparam_0009=y_real_dim\nparam_0003=waiting_count_thr\n");
    Bytes device(1024, 0), host(AlgoBlock::host_size, 0);
    put_word(device, 0, 0x01010400);
    put_word(device, 4, std::bit_cast<uint32_t>(1.5f));
    put_word(device, 8, std::bit_cast<uint32_t>(2.5f));
    put_word(device, 36, 16777217);  // nearest float is 16777216
    read_algo_block(0x101, device, host, defs);
    EXPECT_EQ(f32_at(host, AlgoBlock::value_offset(5)), 2.5f);
    EXPECT_EQ(word(host, AlgoBlock::value_offset(9)), 0u);
    EXPECT_EQ(f32_at(host, AlgoBlock::value_offset(3)), 16777216.0f);
    EXPECT_EQ(defs[5].valid, 1u);
    EXPECT_EQ(defs[9].valid, 0u);
    for (size_t n = 0; n < defs.size(); ++n) {
        if (n != 3 && n != 5) {
            EXPECT_EQ(defs[n].valid, 0u) << n;
        }
    }

    put_word(host, AlgoBlock::value_offset(9), std::bit_cast<uint32_t>(7.0f));
    Bytes out(1024, 0xCC);
    write_algo_block(0x101, host, out, defs);
    EXPECT_EQ(word(out, 4), 0xCCCCCCCCu);  // x_real_dim: not defined, the device's bytes stay
    EXPECT_EQ(f32_at(out, 8), 2.5f);                         // slot 5, never slot 9
    EXPECT_EQ(word(out, 36), 16777216u);
}

TEST_F(AlgoParamsTest, I32WritingRule) {
    const struct {
        float value;
        int32_t written;
    } cases[] = {
        {2.9f, 2},
        {-2.9f, -2},
        {3.0e9f, INT32_MIN},
        {-3.0e9f, INT32_MIN},
        {std::numeric_limits<float>::quiet_NaN(), INT32_MIN},
        {std::numeric_limits<float>::infinity(), INT32_MIN},
        {2147483520.0f, 2147483520},  // the largest float below 2^31
        {-2147483648.0f, INT32_MIN},
        {16777217.0f, 16777216},
    };
    frame::DefinitionTable &defs = define("param_0000=waiting_count_thr\n");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(to_i32_field(c.value), c.written);
        Bytes host(AlgoBlock::host_size, 0), device(1024, 0);
        put_word(host, AlgoBlock::value_offset(0), std::bit_cast<uint32_t>(c.value));
        write_algo_block(0x101, host, device, defs);
        EXPECT_EQ(static_cast<int32_t>(word(device, 36)), c.written);
    }
}

TEST_F(AlgoParamsTest, WritingAnOlderVersionFromANewerHostBlock) {
    frame::DefinitionTable &defs = define_all_reversed();
    Bytes host(AlgoBlock::host_size, 0);
    put_word(host, 0, 0x01040C00);  // host header says 0x104, length 3072
    for (size_t k = 0; k < 185; ++k)
        put_word(host, AlgoBlock::value_offset(700 - k),
                 std::bit_cast<uint32_t>(static_cast<float>(k)));

    const struct {
        uint16_t version;
        size_t fields;
    } cases[] = {{0x101, 89}, {0x102, 103}, {0x103, 105}, {0x104, 185}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version);
        Bytes device(1024, 0xCC);
        write_algo_block(c.version, host, device, defs);
        EXPECT_EQ(word(device, 0), 0x01000400u | (c.version & 0xFFu) << 16);
        for (size_t k = 0; k < c.fields; ++k) {
            const bool i32 = kAlgoFields[k].type == AlgoFieldType::i32;
            EXPECT_EQ(
                word(device, AlgoBlock::value_offset(k)),
                i32 ? static_cast<uint32_t>(k) : std::bit_cast<uint32_t>(static_cast<float>(k)))
                << k;
        }
        // Nothing behind the version's last field is written.
        const size_t used = AlgoBlock::value_offset(c.fields);
        EXPECT_TRUE(std::all_of(device.begin() + static_cast<ptrdiff_t>(used), device.end(),
                                [](uint8_t b) { return b == 0xCC; }));
        // Writing never changes a valid flag.
        EXPECT_EQ(defs[700].valid, 0u);
    }
}

TEST(AlgoBlockTable, FieldOffsetsOfTheDescription) {
    EXPECT_EQ(AlgoBlock::value_offset(8), 36u);  // waiting_count_thr
    EXPECT_EQ(kAlgoFields[105].name, u"logo_shift_dx0");
    EXPECT_EQ(AlgoBlock::value_offset(105), 424u);
    EXPECT_EQ(AlgoBlock::value_offset(algo_field_count(0x101)), 360u);
    EXPECT_EQ(AlgoBlock::value_offset(algo_field_count(0x102)), 416u);
    EXPECT_EQ(AlgoBlock::value_offset(algo_field_count(0x103)), 424u);
    EXPECT_EQ(AlgoBlock::value_offset(algo_field_count(0x104)), 744u);
    EXPECT_EQ(algo_field_count(0x200), 0u);
}

}  // namespace
}  // namespace ryn::devinfo
