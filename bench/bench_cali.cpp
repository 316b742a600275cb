// Calibration GET and SET of a simulated version-10 base controller whose
// definition file names all 1792 parameters: through the library's INI store
// (parsed once, committed once) and through a per-call store that re-reads
// and rewrites the file for every key, as the host's own profile functions
// do. BM_FormatValues and BM_ParseValues give the floor: snprintf "%+.10e"
// and strtod of the same 1792 values.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "calibration/cali_base.h"
#include "frame/definitions.h"
#include "platform/ini_file.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"

namespace {

namespace fs = std::filesystem;
using ryn::calibration::CaliIni;
using ryn::platform::IniFile;

constexpr size_t kParams = 1792;

// The run's folder, with a definition file naming every parameter, and a
// simulated version-10 controller.
struct Setup {
    fs::path dir = fs::temp_directory_path() / ("ryn_bench_cali." + std::to_string(::getpid()));
    Setup() {
        fs::create_directories(dir);
        std::ofstream defs(dir / "ryn_cali_info_param_def.ini");
        for (size_t n = 0; n < kParams; ++n) defs << "param_" << n << "=cali_param_" << n << "\n";
        defs.close();
        ryn::frame::set_definition_dir_for_testing(dir.u16string() + u"/");
        ryn_sim_create("base", "{\"cali_version\": 10}");
    }
    ~Setup() { fs::remove_all(dir); }
};

const Setup &setup() {
    static const Setup s;
    return s;
}

// Section "calibration" through the host's way: every call opens the file,
// and every write commits it.
class PerCallIni final : public CaliIni {
  public:
    explicit PerCallIni(std::u16string path) : path_(std::move(path)) {}
    size_t get(std::u16string_view key, char16_t *buf, size_t cap) override {
        return IniFile(path_).get(ryn::calibration::kSection, key, buf, cap);
    }
    bool set(std::u16string_view key, std::u16string_view value) override {
        IniFile ini(path_);
        return ini.set(ryn::calibration::kSection, key, value) && ini.commit();
    }
    bool has_section() const override { return IniFile(path_).has_section(ryn::calibration::kSection); }
    bool commit() override { return true; }

  private:
    std::u16string path_;
};

cali_info_arg block(const std::u16string &path, uint32_t flags) {
    cali_info_arg arg;
    ryn_cali_info_init_arg(&arg, ryn_sim_handle(),
                           reinterpret_cast<const ryn_wchar *>(path.c_str()), flags);
    return arg;
}

void per_key(benchmark::State &state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kParams));
}

void BM_CaliGet(benchmark::State &state) {
    const std::u16string path = (setup().dir / "get.ini").u16string();
    for (auto _ : state) {
        cali_info_arg arg = block(path, RYN_FLAG_GET);
        if (ryn_cali_info(&arg) != 1) state.SkipWithError("GET failed");
    }
    per_key(state);
}

void BM_CaliGetPerCall(benchmark::State &state) {
    const std::u16string path = (setup().dir / "get_per_call.ini").u16string();
    for (auto _ : state) {
        cali_info_arg arg = block(path, RYN_FLAG_GET);
        PerCallIni ini(path);
        if (ryn::calibration::get_cali_info(arg, path, ini) != 1) state.SkipWithError("GET failed");
    }
    per_key(state);
}

// A file written by GET, for the SET benchmarks.
std::u16string dumped(const char *name) {
    const std::u16string path = (setup().dir / name).u16string();
    cali_info_arg arg = block(path, RYN_FLAG_GET);
    ryn_cali_info(&arg);
    return path;
}

void BM_CaliSet(benchmark::State &state) {
    const std::u16string path = dumped("set.ini");
    for (auto _ : state) {
        cali_info_arg arg = block(path, RYN_FLAG_SET);
        if (ryn_cali_info(&arg) != 1) state.SkipWithError("SET failed");
    }
    per_key(state);
}

void BM_CaliSetPerCall(benchmark::State &state) {
    const std::u16string path = dumped("set_per_call.ini");
    for (auto _ : state) {
        cali_info_arg arg = block(path, RYN_FLAG_SET);
        PerCallIni ini(path);
        if (ryn::calibration::set_cali_info(arg, path, ini) != 1) state.SkipWithError("SET failed");
    }
    per_key(state);
}

std::vector<float> values() {
    std::vector<float> v(kParams);
    for (size_t n = 0; n < kParams; ++n) v[n] = (static_cast<float>(n) - 977.5f) / 3.0f;
    return v;
}

void BM_FormatValues(benchmark::State &state) {
    const std::vector<float> v = values();
    char buf[64];
    for (auto _ : state)
        for (float f : v) {
            std::snprintf(buf, sizeof buf, "%+.10e", static_cast<double>(f));
            benchmark::DoNotOptimize(buf);
        }
    per_key(state);
}

void BM_ParseValues(benchmark::State &state) {
    std::vector<std::string> texts;
    char buf[64];
    for (float f : values()) {
        std::snprintf(buf, sizeof buf, "%+.10e", static_cast<double>(f));
        texts.emplace_back(buf);
    }
    for (auto _ : state)
        for (const std::string &t : texts)
            benchmark::DoNotOptimize(std::strtod(t.c_str(), nullptr));
    per_key(state);
}

BENCHMARK(BM_CaliGet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_CaliSet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_CaliGetPerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CaliSetPerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_FormatValues)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseValues)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
