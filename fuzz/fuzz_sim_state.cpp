// The simulator's state file on arbitrary contents: a load either fails with a
// reason or gives a device that answers requests, saves, and loads back.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/scratch_dir.h"
#include "sim/ryn_sim.h"

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_sim_state: %s: %s\n", what, ryn_sim_last_error());
        std::abort();
    }
}

// The files every input goes through, in a scratch folder removed at exit.
struct Scratch {
    std::string input, saved;
};

const Scratch &scratch() {
    static ryn::support::ScratchDir dir("fuzz_sim_state");
    static const Scratch s{dir.path("in.json"), dir.path("out.json")};
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const Scratch &s = scratch();
    {
        std::ofstream out(s.input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    }
    ryn_handle handle = ryn_sim_load(s.input.c_str());
    if (handle == RYN_INVALID_HANDLE) return 0;

    // A device that loaded answers its requests without harm.
    uint8_t record[368];
    uint32_t mode = 0;
    ryn_check_platform(handle);
    ryn_get_fw_ver_str(handle, record);
    ryn_get_fw_mode(handle, &mode);
    if (ryn_record_reader read = ryn_get_cali_info_fn(handle)) {
        static uint8_t cali[8192];
        read(handle, cali);
    }
    handle = ryn_sim_reset();

    // What it saves loads back.
    check(ryn_sim_save(s.saved.c_str()) != 0, "save of a loaded state failed");
    check(ryn_sim_load(s.saved.c_str()) != RYN_INVALID_HANDLE, "a saved state does not load");
    return 0;
}
