// The calibration SET readers of the base controller on arbitrary file
// contents: the first byte chooses the form (0: compact INI, 1: text, 2: INI,
// modulo 3), the rest is the file. Each reader overlays a working record that
// is a heap block of exactly the record's size, so a write outside it is
// reported by AddressSanitizer. Properties: the result is 0 or 1 (an INI
// form fails only after reporting a value it refuses, "[Error] Bad value of
// ..."; missing keys are only warned about); the record's header stays as the conversion
// left it; reading the same file again from the same start gives the same
// record and the same valid marks; and the record written out by the dump and
// read back by the INI reader holds the same values.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "calibration/cali_base.h"
#include "formats/cali_record.h"
#include "frame/definitions.h"
#include "frame/sink.h"
#include "fuzz/image_check.h"
#include "tests/support/scratch_dir.h"

namespace {

namespace C = ryn::calibration;
namespace R = ryn::calibration::cali_record;
using ryn::fuzz::expect;
constexpr const char *kTarget = "fuzz_cali_text";

ryn::support::ScratchDir &scratch() {
    static ryn::support::ScratchDir dir("fuzz_cali_text");
    return dir;
}

// The calibration section kept in memory: what the dump writes, the INI
// reader reads back.
class MemoryIni final : public C::CaliIni {
  public:
    size_t get(std::u16string_view key, char16_t *buf, size_t cap) override {
        const auto it = values_.find(std::u16string(key));
        if (it == values_.end() || cap == 0) return 0;
        const size_t n = std::min(it->second.size(), cap - 1);
        std::copy_n(it->second.begin(), n, buf);
        buf[n] = u'\0';
        return n;
    }
    bool set(std::u16string_view key, std::u16string_view value) override {
        values_[std::u16string(key)] = std::u16string(value);
        return true;
    }
    bool has_section() const override { return !values_.empty(); }
    bool commit() override { return true; }

  private:
    std::map<std::u16string, std::u16string> values_;
};

ryn::frame::DefinitionTable &definitions() {
    static ryn::frame::DefinitionTable &defs = [&]() -> ryn::frame::DefinitionTable & {
        // Some names of each kind the readers store under, every name once.
        scratch().write("ryn_cali_info_param_def.ini",
                        "param_0000=cam0_poly0_coe04\nparam_0001=cam0_poly0_coe05\n"
                        "param_0002=cam0_pos_x\nparam_0003=cam1_pos_y\nparam_0004=cam1_thr\n"
                        "param_0005=cam2_poly_sel\nparam_0006=jig_cam0_pt00_l\n"
                        "param_0007=jig_cam0_pt00_wp\nparam_0100=cam2_poly1_coe00\n"
                        "param_1791=jig_cam12_2_cali_pt10_r\n");
        ryn::frame::set_definition_dir_for_testing(scratch().dir16());
        expect(ryn::frame::load_definitions(ryn::frame::DefinitionFile::cali_base, nullptr) == 1,
               kTarget, "cannot load the definition file");
        return ryn::frame::definition_table(ryn::frame::DefinitionFile::cali_base);
    }();
    return defs;
}

// A read's result. Its record is allocated once and reused from input to
// input (a fresh 8 KiB block per read cost more than the read).
struct Outcome {
    int result = 0;
    std::unique_ptr<C::CaliBuffer> work = std::make_unique<C::CaliBuffer>();
    std::vector<uint32_t> valid;
};

// One read of the file from the same start: a version-10 record of length
// 8192, no parameter valid.
void read(int form, const std::u16string &path, Outcome &out) {
    ryn::frame::DefinitionTable &defs = definitions();
    defs.clear_valid();
    out.work->fill(0);
    out.valid.clear();
    R::length.put(*out.work, C::CaliBuffer().size());
    R::version.put(*out.work, 10);
    cali_info_arg arg{};  // no message sink
    if (form == 1) {
        out.result = C::read_cali_text(arg, *out.work, defs, path);
    } else {
        C::CaliIniFile ini(path);
        out.result = form == 0 ? C::read_cali_compact_ini(arg, *out.work, defs, ini)
                               : C::read_cali_ini(arg, *out.work, defs, ini);
    }
    for (const auto &e : defs.entries()) out.valid.push_back(e.valid);
}

// The record with each NaN float of the dumped fields made one NaN (a NaN
// reads back as some NaN) and the sensor register table rebuilt from the
// settings it holds (its value bytes keep bits beyond each register's mask,
// which the dump does not show).
C::CaliBuffer canonical(const C::CaliBuffer &record) {
    C::CaliBuffer out = record;
    auto one_nan = [&](const ryn::layout::Field &f) {
        if (std::isnan(C::get_f32(out, f))) C::put_f32(out, f, std::nanf(""));
    };
    for (unsigned m = 0; m < 2; ++m)
        for (unsigned r = 1; r <= 3; ++r)
            for (unsigned c = 1; c <= 3; ++c) one_nan(R::post_cali_at(m, r, c));
    for (size_t n = 0; n < R::kParams; ++n) one_nan(R::param(n));
    const std::span<uint8_t> table = R::sensor_table.bytes(std::span<uint8_t>(out));
    C::encode_sensor_table(C::decode_sensor_table(table), table);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    definitions();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const int form = data[0] % 3;
    const std::string file = scratch().write("f", data + 1, size - 1);
    const std::u16string path(file.begin(), file.end());

    static Outcome first, second;
    read(form, path, first);
    expect(first.result == 0 || first.result == 1, kTarget, "a reader returned neither 0 nor 1");
    expect(form == 1 || first.result == 1 ||
               std::u16string_view(ryn::frame::message_buffer()).starts_with(u"[Error] Bad value of "),
           kTarget, "an INI reader failed without refusing a value");
    expect(R::length.get(*first.work) == C::CaliBuffer().size(), kTarget,
           "a reader changed the length");
    expect(R::version.get(*first.work) == 10, kTarget, "a reader changed the version");

    read(form, path, second);
    expect(
        second.result == first.result && *second.work == *first.work && second.valid == first.valid,
        kTarget, "a second read gave another result");
    if (first.result != 1) return 0;

    // Dumped and read back. The valid marks of the read say what the dump writes.
    ryn::frame::DefinitionTable &defs = definitions();
    defs.clear_valid();
    for (size_t i = 0; i < defs.size(); ++i)
        if (first.valid[i]) defs.set_valid(i, true);
    MemoryIni ini;
    expect(C::dump_cali(*first.work, defs, ini) == 1, kTarget, "the dump failed");
    static const auto again = std::make_unique<C::CaliBuffer>();
    *again = *first.work;
    cali_info_arg arg{};
    expect(C::read_cali_ini(arg, *again, defs, ini) == 1, kTarget, "reading the dump failed");
    // Equal bytes need no canonical forms (a record without NaNs or register
    // bits beyond the masks reads back byte for byte).
    expect(*again == *first.work || canonical(*again) == canonical(*first.work), kTarget,
           "the dumped record reads back otherwise");
    return 0;
}
