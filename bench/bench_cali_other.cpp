// Calibration GET of the largest of the other controllers' records, the
// 5920's (2048 calibration values, 1024 firmware parameters, 63 system
// parameters), through ryn_cali_info on the simulated device, beside the
// per-call way of the host's INI functions (open, change and commit the file
// for every single key) writing the same keys.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "frame/definitions.h"
#include "platform/ini_file.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;
using ryn::platform::IniFile;

// A folder for the run's files, with a definition file naming all 2048
// calibration values; removed at exit.
const fs::path &bench_dir() {
    struct Dir {
        fs::path path =
            fs::temp_directory_path() / ("ryn_bench_cali." + std::to_string(::getpid()));
        Dir() {
            fs::create_directories(path);
            std::ofstream defs(path / "ryn_cali_info_param_def_5920.ini");
            for (unsigned n = 0; n < 2048; ++n)
                defs << "param_" << n << "=cali_value_" << n << "\n";
        }
        ~Dir() { fs::remove_all(path); }
    };
    static const Dir dir;
    return dir.path;
}

int32_t cali_get(const fs::path &file) {
    const std::u16string name = file.u16string();
    cali_info_arg arg;
    ryn_cali_info_init_arg(&arg, ryn_sim_handle(),
                           reinterpret_cast<const ryn_wchar *>(name.c_str()), RYN_FLAG_GET);
    return ryn_cali_info(&arg);
}

bool prepare_5920() {
    ryn::frame::set_definition_dir_for_testing(bench_dir().u16string() + u"/");
    return ryn_sim_create("5920", nullptr) != RYN_INVALID_HANDLE;
}

struct Key {
    std::u16string section, key, value;
};

// The keys a GET writes, read back from its file in their order.
std::vector<Key> keys_of(const fs::path &file) {
    std::vector<Key> keys;
    std::ifstream in(file);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 2 && line.front() == '[') {
            section = line.substr(1, line.size() - 2);
        } else if (const size_t eq = line.find('='); eq != std::string::npos) {
            keys.push_back({ryn::text::from_utf8(section), ryn::text::from_utf8(line.substr(0, eq)),
                            ryn::text::from_utf8(line.substr(eq + 1))});
        }
    }
    return keys;
}

void BM_CaliGet5920(benchmark::State &state) {
    if (!prepare_5920()) return state.SkipWithError("no simulated 5920");
    const fs::path file = bench_dir() / "get.ini";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(file);
        state.ResumeTiming();
        if (cali_get(file) != 1) state.SkipWithError("GET failed");
    }
    state.counters["keys"] = static_cast<double>(keys_of(file).size());
}

// The same keys, each written by a store opened, changed and committed for it
// alone, as the host's private-profile functions do.
void BM_CaliGet5920PerCall(benchmark::State &state) {
    if (!prepare_5920()) return state.SkipWithError("no simulated 5920");
    const fs::path reference = bench_dir() / "reference.ini";
    if (cali_get(reference) != 1) return state.SkipWithError("GET failed");
    const std::vector<Key> keys = keys_of(reference);
    const fs::path file = bench_dir() / "per_call.ini";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(file);
        state.ResumeTiming();
        for (const Key &k : keys) {
            IniFile ini(file.u16string());
            if (!ini.set(k.section, k.key, k.value) || !ini.commit())
                state.SkipWithError("write failed");
        }
    }
    state.counters["keys"] = static_cast<double>(keys.size());
}

BENCHMARK(BM_CaliGet5920)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CaliGet5920PerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
