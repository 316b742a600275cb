// Model-configuration SET of a base controller from an arbitrary INI file.
// The first input byte picks the device's record version (0x100 to 0x103),
// the rest is the file. A SET either fails and leaves the device record as it
// was, or succeeds and leaves a record of the device's version and size; a
// GET afterwards succeeds.
#include <stdlib.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "devinfo/algo_block.h"
#include "devinfo/model_cfg_record.h"
#include "frame/definitions.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "text/text.h"

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_model_cfg_ini: %s\n", what);
        std::abort();
    }
}

struct Scratch {
    std::string dir, set_file, get_file;
};

// The scratch folder, with a definition file naming every field of block
// version 0x104 and a few further parameters.
const Scratch &scratch() {
    static char dir[] = "/tmp/fuzz_model_cfg_ini.XXXXXX";
    static const Scratch s = [] {
        check(::mkdtemp(dir) != nullptr, "cannot make a scratch folder");
        const std::string d = dir;
        std::atexit([] {
            for (const char *f : {"/set.ini", "/get.ini", "/algo_param_def.ini"})
                ::unlink((std::string(dir) + f).c_str());
            ::rmdir(dir);
        });
        std::ofstream defs(d + "/algo_param_def.ini");
        for (size_t n = 0; n < std::size(ryn::devinfo::kAlgoFields); ++n)
            defs << "param_" << n << "="
                 << ryn::text::to_utf8(std::u16string(ryn::devinfo::kAlgoFields[n].name)) << "\n";
        defs << "param_0500=extra_500\nparam_0766=extra_766\n";
        defs.close();
        ryn::frame::set_definition_dir_for_testing(ryn::text::from_utf8(d + "/"));
        return Scratch{d, d + "/set.ini", d + "/get.ini"};
    }();
    return s;
}

// Formats every message, as a host would.
void on_message(void *, const ryn_wchar *format, va_list args) {
    ryn_wchar text[1024];
    ryn_format_msg(text, std::size(text), format, args);
}

std::vector<uint8_t> device_record() {
    size_t size = 0;
    check(ryn_sim_get_record("model-cfg", nullptr, 0, &size) == 1, "no model-cfg record");
    std::vector<uint8_t> b(size);
    check(ryn_sim_get_record("model-cfg", b.data(), b.size(), &size) == 1,
          "model-cfg record unreadable");
    return b;
}

int32_t request(ryn_handle handle, const std::string &file, uint32_t flags) {
    const std::u16string name = ryn::text::from_utf8(file);
    dev_info_arg arg;
    ryn_dev_info_init_arg(&arg, handle, reinterpret_cast<const ryn_wchar *>(name.c_str()),
                          flags | RYN_DEV_MODEL_CFG);
    arg.msg_fn = on_message;
    return ryn_dev_info(&arg);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const Scratch &s = scratch();
    static const char *const options[] = {
        R"({"model_version": "0x100"})", R"({"model_version": "0x101"})",
        R"({"model_version": "0x102", "algo_version": "0x102"})",
        R"({"model_version": "0x102", "algo_version": "0x104"})", R"({"model_version": "0x103"})"};
    const ryn_handle handle = ryn_sim_create("base", options[data[0] % std::size(options)]);
    check(handle != RYN_INVALID_HANDLE, "cannot create the device");
    {
        std::ofstream out(s.set_file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const std::vector<uint8_t> before = device_record();
    const int32_t result = request(handle, s.set_file, RYN_FLAG_SET);
    check(result == 0 || result == 1, "SET result is neither 0 nor 1");
    const std::vector<uint8_t> after = device_record();
    if (result == 0) {
        check(after == before, "a failed SET changed the device record");
    } else {
        using R = ryn::devinfo::ModelCfgRecord;
        check(after.size() == before.size(), "SET changed the record size");
        check(R::version(after) == R::version(before), "SET changed the record version");
    }
    ::unlink(s.get_file.c_str());
    check(request(handle, s.get_file, RYN_FLAG_GET) == 1, "GET after SET failed");
    return 0;
}
