// The calibration SET readers of the older forms on arbitrary file contents:
// the first byte chooses the text form or the compact INI form, the rest is
// the file. Nothing may read or write outside the working record, and the
// header of the working record must stay as the conversion left it.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "calibration/cali_base.h"
#include "frame/definitions.h"

namespace {

namespace C = ryn::calibration;

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_cali_text: %s\n", what);
        std::abort();
    }
}

// A scratch folder with a definition file naming some of the version-9 items.
const std::string &work_dir() {
    static char dir[] = "/tmp/fuzz_cali_text.XXXXXX";
    static const std::string path = [] {
        check(::mkdtemp(dir) != nullptr, "cannot make a scratch folder");
        std::ofstream(std::string(dir) + "/ryn_cali_info_param_def.ini")
            << "param_0000=cam0_poly0_coe04\nparam_0001=cam0_pos_x\nparam_0002=cam1_thr\n"
               "param_0003=cam2_poly_sel\nparam_0004=jig_cam0_pt00_l\nparam_0005=jig_cam0_pt00_wp\n"
               "param_1791=jig_cam12_2_cali_pt10_r\n";
        std::atexit([] {
            ::unlink((std::string(dir) + "/ryn_cali_info_param_def.ini").c_str());
            ::unlink((std::string(dir) + "/f").c_str());
            ::rmdir(dir);
        });
        return std::string(dir);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const std::string dir = work_dir();
    static const bool loaded = [&] {
        ryn::frame::set_definition_dir_for_testing(std::u16string(dir.begin(), dir.end()) + u"/");
        return ryn::frame::load_definitions(ryn::frame::DefinitionFile::cali_base, nullptr) == 1;
    }();
    check(loaded, "cannot load the definition file");
    const std::string file = dir + "/f";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char *>(data + 1), static_cast<std::streamsize>(size - 1));

    cali_info_arg arg{};
    C::CaliBuffer work{};
    ryn::calibration::cali_record::length.put(work, 8192);
    ryn::calibration::cali_record::version.put(work, 10);
    auto &defs = ryn::frame::definition_table(ryn::frame::DefinitionFile::cali_base);
    const std::u16string path(file.begin(), file.end());
    int result;
    if (data[0] & 1) {
        result = C::read_cali_text(arg, work, defs, path);
    } else {
        C::CaliIniFile ini(path);
        result = C::read_cali_compact_ini(arg, work, defs, ini);
        check(result == 1, "the compact INI reader failed");
    }
    check(result == 0 || result == 1, "a reader returned neither 0 nor 1");
    check(ryn::calibration::cali_record::length.get(work) == 8192, "a reader changed the length");
    check(ryn::calibration::cali_record::version.get(work) == 10, "a reader changed the version");
    return 0;
}
