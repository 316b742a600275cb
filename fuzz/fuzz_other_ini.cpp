// Model-configuration and calibration SET of the 5810, 5920 and six-camera
// controllers from an arbitrary INI file (its FW_PARAM lines included, which
// are read by scanning the file's text). The first input byte picks the
// variant (0 to 4: model configuration, 5 to 9: calibration), the rest is the
// file. A SET either fails and leaves every record of the device as it was, or
// succeeds and leaves the record it writes at the device's size (a model
// configuration also at its length and version); a GET afterwards succeeds,
// and after a SET of the file that GET wrote, a GET writes the same file again
// (what is written reads back the same; the records' bytes may differ where
// packing keeps bits the settings do not use), a model configuration GET file
// without the algorithm parameter section (a SET took an algorithm block
// version below 0x101 from the file) included. The device of a family is made
// once and its records put back before each input. The GET and SET after
// the first SET depend only on the variant and the records it left, so
// records already taken through them are not taken again (most inputs fail
// and leave the records as made; what was taken is kept as a hash of each
// record, not a copy); files are not flushed to disk.
#include <stdlib.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "frame/definitions.h"
#include "fuzz/requests.h"
#include "tests/support/scratch_dir.h"
#include "platform/host_fs.h"
#include "platform/ini_file.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "text/text.h"

namespace {

using ryn::fuzz::contents;
using ryn::fuzz::on_message;

void check(bool ok, const char *what) {
    ryn::fuzz::check_request("fuzz_other_ini", ok, what);
}

struct Variant {
    const char *family;
    uint32_t flags;
    const char *record;  // the record the request reaches
    bool calibration;    // a calibration request, else a model configuration one
};
constexpr Variant kVariants[] = {
    {"5810", 0, "model-cfg", false},
    {"5920", 0, "model-cfg", false},
    {"6cam", 0, "255/model-cfg", false},
    {"6cam", RYN_FLAG_6CAM_DEV1, "1/model-cfg", false},
    {"6cam", RYN_FLAG_6CAM_DEV2, "2/model-cfg", false},
    {"5810", 0, "cali", true},
    {"5920", 0, "cali", true},
    {"6cam", 0, "255/cali", true},
    {"6cam", RYN_FLAG_6CAM_DEV1, "1/cali", true},
    {"6cam", RYN_FLAG_6CAM_DEV2, "2/cali", true},
};

constexpr const char *kDefinitionFiles[] = {"algo_param_def_5810.ini",
                                            "algo_param_def_5920.ini",
                                            "algo_param_def_6cam_4320.ini",
                                            "algo_param_def_6cam_5810.ini",
                                            "ryn_cali_info_param_def_5810.ini",
                                            "ryn_cali_info_param_def_5920.ini",
                                            "ryn_cali_info_param_def_6cam_4320.ini",
                                            "ryn_cali_info_param_def_6cam_5810.ini"};

struct Scratch {
    std::string set_file, get_file;
};

// The scratch folder, with definition files of a few parameters each, the
// first and the last slot of each block among them.
const Scratch &scratch() {
    static ryn::support::ScratchDir dir("fuzz_other_ini");
    static const Scratch s = [] {
        for (const char *f : kDefinitionFiles) {
            // The last slot of each file's table.
            const std::string name = f;
            const bool cali = name.starts_with("ryn_cali");
            const bool b5920 = name.find("5920") != std::string::npos;
            const char *top = cali ? (b5920 ? "2047" : "1791") : (b5920 ? "0918" : "1278");
            dir.write(name, std::string("param_0000=first\nparam_0001=second\nparam_0100=hundred\nparam_") +
                                top + "=top\n");
        }
        ryn::frame::set_definition_dir_for_testing(dir.dir16());
        ryn::platform::host_fs::set_flush_to_disk(false);
        return Scratch{dir.path("set.ini"), dir.path("get.ini")};
    }();
    return s;
}

using Records = std::vector<std::vector<uint8_t>>;

void read_record(const char *name, std::vector<uint8_t> &out) {
    check(ryn::fuzz::read_record(name, out), "no such record");
}

// The records a request of the family may reach.
std::vector<const char *> record_names(const Variant &v) {
    if (std::string(v.family) == "6cam")
        return {"255/model-cfg", "1/model-cfg", "2/model-cfg", "255/cali", "1/cali", "2/cali"};
    return {"model-cfg", "cali"};
}

void read_all_records(const Variant &v, Records &out) {
    const std::vector<const char *> names = record_names(v);
    out.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i) read_record(names[i], out[i]);
}

// The variant's record among the family's records.
const std::vector<uint8_t> &variant_record(const Records &records, const Variant &v) {
    const std::vector<const char *> names = record_names(v);
    for (size_t i = 0; i < names.size(); ++i)
        if (std::string(names[i]) == v.record) return records[i];
    check(false, "the variant's record is not among the family's");
    return records.front();
}

struct Device {
    ryn_handle handle;
    const Records &made;  // its records as made, which each input starts from
};

// The device of the variant's family with its records as made: created when
// the family changes, otherwise its records are put back.
Device device(const Variant &v) {
    static std::string current;
    static ryn_handle handle = RYN_INVALID_HANDLE;
    static Records made;
    if (current != v.family) {
        handle = ryn_sim_create(v.family, nullptr);
        check(handle != RYN_INVALID_HANDLE, "cannot create the device");
        read_all_records(v, made);
        current = v.family;
    } else {
        const std::vector<const char *> names = record_names(v);
        for (size_t i = 0; i < names.size(); ++i)
            check(ryn_sim_set_record(names[i], made[i].data(), made[i].size()) == 1,
                  "cannot put a record back");
    }
    ryn_sim_trace_clear();
    return {handle, made};
}

// What the round trip after a SET depends on: the variant and a hash of each
// record the SET left.
std::vector<size_t> round_trip_key(const Variant &v, const Records &records) {
    std::vector<size_t> key{static_cast<size_t>(&v - kVariants)};
    for (const std::vector<uint8_t> &r : records)
        key.push_back(ryn::fuzz::record_hash(r));
    return key;
}

int32_t request(ryn_handle handle, const Variant &v, const std::string &file, uint32_t flags) {
    const std::u16string name = ryn::text::from_utf8(file);
    const auto *wide = reinterpret_cast<const ryn_wchar *>(name.c_str());
    ryn::fuzz::messages().clear();
    if (v.calibration) {
        cali_info_arg arg;
        ryn_cali_info_init_arg(&arg, handle, wide, flags | v.flags);
        arg.msg_fn = on_message;
        return ryn_cali_info(&arg);
    }
    dev_info_arg arg;
    ryn_dev_info_init_arg(&arg, handle, wide, flags | v.flags | RYN_DEV_MODEL_CFG);
    arg.msg_fn = on_message;
    return ryn_dev_info(&arg);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const Scratch &s = scratch();
    const Variant &v = kVariants[data[0] % std::size(kVariants)];
    const auto [handle, before] = device(v);
    {
        std::ofstream out(s.set_file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const int32_t result = request(handle, v, s.set_file, RYN_FLAG_SET);
    check(result == 0 || result == 1, "SET result is neither 0 nor 1");
    static Records after;
    read_all_records(v, after);
    if (result == 0) {
        check(after == before, "a failed SET changed a device record");
    } else if (v.calibration) {
        check(variant_record(after, v).size() == variant_record(before, v).size(),
              "SET changed the record size");
    } else {
        const std::vector<uint8_t> &now = variant_record(after, v);
        check(now.size() == 8192, "SET changed the record size");
        check(now[0] == 0x00 && now[1] == 0x20, "SET changed the record length");
        check((now[3] << 8 | now[2]) == (std::string(v.family) == "5920" ? 0x300 : 0x200),
              "SET changed the record version");
    }
    static std::set<std::vector<size_t>> round_tripped;
    if (!round_tripped.insert(round_trip_key(v, after)).second) return 0;
    ::unlink(s.get_file.c_str());
    check(request(handle, v, s.get_file, RYN_FLAG_GET) == 1, "GET after SET failed");
    const std::string written = contents(s.get_file);
    // Every GET file is taken back, a record whose algorithm block predates
    // 0x101 (written without the "algorithm parameter" section) included.
    const int32_t again = request(handle, v, s.get_file, RYN_FLAG_SET);
    check(again == 1, "SET of the GET file failed");
    ::unlink(s.get_file.c_str());
    check(request(handle, v, s.get_file, RYN_FLAG_GET) == 1, "the second GET failed");
    check(contents(s.get_file) == written, "the file written by GET reads back otherwise");
    return 0;
}
