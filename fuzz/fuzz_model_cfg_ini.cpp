// Model-configuration SET of a base controller from an arbitrary INI file.
// The first input byte picks the device's record version (0x100 to 0x103),
// the rest is the file. A SET either fails and leaves the device record as it
// was, or succeeds and leaves a record of the device's version and size; a
// GET afterwards succeeds, and after a SET of the file that GET wrote, a GET
// writes the same file again (what is written reads back the same; the
// record's bytes may differ where packing keeps bits the settings do not use),
// a GET file without the algorithm parameter section included. One device
// takes the record of the chosen version as made before each input. The GET
// and SET after the first SET depend only on the version and the record it
// left, so a record already taken through them is not taken again (most
// inputs fail and leave the record as made; what was taken is kept as a hash
// of the record, not a copy); files are not flushed to disk.
#include <stdlib.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/algo_block.h"
#include "formats/model_cfg_record.h"
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
    ryn::fuzz::check_request("fuzz_model_cfg_ini", ok, what);
}

struct Scratch {
    std::string set_file, get_file;
};

// The scratch folder, with a definition file naming every field of block
// version 0x104 and a few further parameters.
const Scratch &scratch() {
    static ryn::support::ScratchDir dir("fuzz_model_cfg_ini");
    static const Scratch s = [] {
        std::ostringstream defs;
        for (size_t n = 0; n < std::size(ryn::devinfo::kAlgoFields); ++n)
            defs << "param_" << n << "="
                 << ryn::text::to_utf8(std::u16string(ryn::devinfo::kAlgoFields[n].name)) << "\n";
        defs << "param_0500=extra_500\nparam_0766=extra_766\n";
        dir.write("algo_param_def.ini", defs.str());
        ryn::frame::set_definition_dir_for_testing(dir.dir16());
        ryn::platform::host_fs::set_flush_to_disk(false);
        return Scratch{dir.path("set.ini"), dir.path("get.ini")};
    }();
    return s;
}

// The device's model configuration record, into storage kept from input to
// input.
void read_device_record(std::vector<uint8_t> &out) {
    check(ryn::fuzz::read_record("model-cfg", out), "no model-cfg record");
}

int32_t request(ryn_handle handle, const std::string &file, uint32_t flags) {
    const std::u16string name = ryn::text::from_utf8(file);
    dev_info_arg arg;
    ryn_dev_info_init_arg(&arg, handle, reinterpret_cast<const ryn_wchar *>(name.c_str()),
                          flags | RYN_DEV_MODEL_CFG);
    arg.msg_fn = on_message;
    ryn::fuzz::messages().clear();
    return ryn_dev_info(&arg);
}

// The device with the record of the chosen version as made. The simulated
// base controller's options change only its records, and the record only in
// the model configuration: so each version's record is made once, by a
// device created with its options, and one device takes the chosen record
// before each input (creating a device per input cost more than the SET).
struct Device {
    ryn_handle handle;
    const std::vector<uint8_t> &made;  // the record each input starts from
};

Device device(size_t option) {
    static const char *const options[] = {
        R"({"model_version": "0x100"})", R"({"model_version": "0x101"})",
        R"({"model_version": "0x102", "algo_version": "0x102"})",
        R"({"model_version": "0x102", "algo_version": "0x104"})", R"({"model_version": "0x103"})"};
    static ryn_handle handle = RYN_INVALID_HANDLE;
    static std::vector<std::vector<uint8_t>> made;
    if (made.empty()) {
        for (const char *o : options) {
            handle = ryn_sim_create("base", o);
            check(handle != RYN_INVALID_HANDLE, "cannot create the device");
            read_device_record(made.emplace_back());
        }
    }
    const std::vector<uint8_t> &record = made[option % std::size(options)];
    check(ryn_sim_set_record("model-cfg", record.data(), record.size()) == 1,
          "cannot put the record back");
    ryn_sim_trace_clear();
    return {handle, record};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const Scratch &s = scratch();
    const auto [handle, before] = device(data[0]);
    {
        std::ofstream out(s.set_file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const int32_t result = request(handle, s.set_file, RYN_FLAG_SET);
    check(result == 0 || result == 1, "SET result is neither 0 nor 1");
    static std::vector<uint8_t> after;
    read_device_record(after);
    if (result == 0) {
        check(after == before, "a failed SET changed the device record");
    } else {
        using R = ryn::devinfo::ModelCfgRecord;
        check(after.size() == before.size(), "SET changed the record size");
        check(R::version(after) == R::version(before), "SET changed the record version");
    }
    static std::set<std::pair<uint8_t, size_t>> round_tripped;
    if (!round_tripped.emplace(static_cast<uint8_t>(data[0] % 5), ryn::fuzz::record_hash(after))
             .second)
        return 0;
    ::unlink(s.get_file.c_str());
    check(request(handle, s.get_file, RYN_FLAG_GET) == 1, "GET after SET failed");
    const std::string written = contents(s.get_file);
    // Every GET file is taken back, a record without an algorithm block
    // (written without the "algorithm parameter" section) included.
    check(request(handle, s.get_file, RYN_FLAG_SET) == 1, "SET of the GET file failed");
    ::unlink(s.get_file.c_str());
    check(request(handle, s.get_file, RYN_FLAG_GET) == 1, "the second GET failed");
    check(contents(s.get_file) == written, "the file written by GET reads back otherwise");
    return 0;
}
