// Calibration GET and SET of a simulated version-10 base controller whose
// definition file names all 1792 parameters: through the library's INI store
// (parsed once, committed once) and through a per-call store that re-reads
// and rewrites the file for every key, as the host's own profile functions
// do (without a flush to disk, as they do). BM_FormatValues and
// BM_ParseValues give the floor: snprintf "%+.10e" and strtod of the same
// 1792 values. BM_CaliGet5920 is the GET of the largest of the other
// controllers' records, the 5920's (2048 calibration values, 1024 firmware
// parameters, 63 system parameters).
//
// Each benchmark prints the ratios it is judged by, its time per key over a
// baseline's: x_format (GET over snprintf), x_parse (SET over strtod, at most
// 4), x_base_get (the 5920's GET over the base controller's, at most 1.5) and
// x_per_call (over the per-call store).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/ratio.h"
#include "calibration/cali_base.h"
#include "frame/definitions.h"
#include "platform/host_fs.h"
#include "platform/ini_file.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;
using ryn::calibration::CaliIni;
using ryn::platform::IniFile;

constexpr size_t kParams = 1792;

constexpr size_t kParams5920 = 2048;

// The run's folder, with definition files naming every parameter of the base
// controller and of the 5920.
struct Setup {
    fs::path dir = fs::temp_directory_path() / ("ryn_bench_cali." + std::to_string(::getpid()));
    Setup() {
        fs::create_directories(dir);
        std::ofstream defs(dir / "ryn_cali_info_param_def.ini");
        for (size_t n = 0; n < kParams; ++n) defs << "param_" << n << "=cali_param_" << n << "\n";
        std::ofstream defs_5920(dir / "ryn_cali_info_param_def_5920.ini");
        for (size_t n = 0; n < kParams5920; ++n)
            defs_5920 << "param_" << n << "=cali_value_" << n << "\n";
        ryn::frame::set_definition_dir_for_testing(dir.u16string() + u"/");
    }
    ~Setup() { fs::remove_all(dir); }
};

const Setup &setup() {
    static const Setup s;
    return s;
}

// A simulated version-10 base controller (or a 5920), made anew for each
// benchmark: the device is the simulator's one device.
void make_base() {
    setup();
    ryn_sim_create("base", "{\"cali_version\": 10}");
}
bool make_5920() {
    setup();
    return ryn_sim_create("5920", nullptr) != RYN_INVALID_HANDLE;
}

// The per-call store writes as the host's functions do, without a flush to
// disk each time.
struct NoFlush {
    NoFlush() { ryn::platform::host_fs::set_flush_to_disk(false); }
    ~NoFlush() { ryn::platform::host_fs::set_flush_to_disk(true); }
};

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

// Items per second, and the time per key kept under name; that time.
double per_key(benchmark::State &state, ryn::bench::PerKeyTimer &timer, const char *name,
               size_t keys = kParams) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * keys));
    return timer.finish(state, name, keys);
}

void BM_CaliGet(benchmark::State &state) {
    make_base();
    const std::u16string path = (setup().dir / "get.ini").u16string();
    ryn::bench::PerKeyTimer timer;
    for (auto _ : state) {
        cali_info_arg arg = block(path, RYN_FLAG_GET);
        if (ryn_cali_info(&arg) != 1) state.SkipWithError("GET failed");
    }
    const double t = per_key(state, timer, "BM_CaliGet");
    ryn::bench::print_ratio(state, "x_format", t, "BM_FormatValues");
    ryn::bench::print_ratio(state, "x_per_call", t, "BM_CaliGetPerCall");
}

void BM_CaliGetPerCall(benchmark::State &state) {
    make_base();
    const NoFlush no_flush;
    const std::u16string path = (setup().dir / "get_per_call.ini").u16string();
    ryn::bench::PerKeyTimer timer;
    for (auto _ : state) {
        cali_info_arg arg = block(path, RYN_FLAG_GET);
        PerCallIni ini(path);
        if (ryn::calibration::get_cali_info(arg, path, ini) != 1) state.SkipWithError("GET failed");
    }
    per_key(state, timer, "BM_CaliGetPerCall");
}

// A file written by GET, for the SET benchmarks.
std::u16string dumped(const char *name) {
    const std::u16string path = (setup().dir / name).u16string();
    cali_info_arg arg = block(path, RYN_FLAG_GET);
    ryn_cali_info(&arg);
    return path;
}

void BM_CaliSet(benchmark::State &state) {
    make_base();
    const std::u16string path = dumped("set.ini");
    ryn::bench::PerKeyTimer timer;
    for (auto _ : state) {
        cali_info_arg arg = block(path, RYN_FLAG_SET);
        if (ryn_cali_info(&arg) != 1) state.SkipWithError("SET failed");
    }
    const double t = per_key(state, timer, "BM_CaliSet");
    ryn::bench::print_ratio(state, "x_parse", t, "BM_ParseValues");
    ryn::bench::print_ratio(state, "x_per_call", t, "BM_CaliSetPerCall");
}

void BM_CaliSetPerCall(benchmark::State &state) {
    make_base();
    const NoFlush no_flush;
    const std::u16string path = dumped("set_per_call.ini");
    ryn::bench::PerKeyTimer timer;
    for (auto _ : state) {
        cali_info_arg arg = block(path, RYN_FLAG_SET);
        PerCallIni ini(path);
        if (ryn::calibration::set_cali_info(arg, path, ini) != 1) state.SkipWithError("SET failed");
    }
    per_key(state, timer, "BM_CaliSetPerCall");
}

// ---- The 5920 ------------------------------------------------------------

int32_t cali_get(const fs::path &file) {
    const std::u16string path = file.u16string();  // the block points into it
    cali_info_arg arg = block(path, RYN_FLAG_GET);
    return ryn_cali_info(&arg);
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
    if (!make_5920()) return state.SkipWithError("no simulated 5920");
    const fs::path file = setup().dir / "get_5920.ini";
    ryn::bench::PerKeyTimer timer;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(file);
        state.ResumeTiming();
        if (cali_get(file) != 1) state.SkipWithError("GET failed");
    }
    const size_t keys = keys_of(file).size();
    state.counters["keys"] = static_cast<double>(keys);
    const double t = per_key(state, timer, "BM_CaliGet5920", keys);
    ryn::bench::print_ratio(state, "x_base_get", t, "BM_CaliGet");
    ryn::bench::print_ratio(state, "x_per_call", t, "BM_CaliGet5920PerCall");
}

// The same keys, each written by a store opened, changed and committed for it
// alone, as the host's private-profile functions do.
void BM_CaliGet5920PerCall(benchmark::State &state) {
    if (!make_5920()) return state.SkipWithError("no simulated 5920");
    const NoFlush no_flush;
    const fs::path reference = setup().dir / "reference_5920.ini";
    if (cali_get(reference) != 1) return state.SkipWithError("GET failed");
    const std::vector<Key> keys = keys_of(reference);
    const fs::path file = setup().dir / "per_call_5920.ini";
    ryn::bench::PerKeyTimer timer;
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
    per_key(state, timer, "BM_CaliGet5920PerCall", keys.size());
}

std::vector<float> values() {
    std::vector<float> v(kParams);
    for (size_t n = 0; n < kParams; ++n) v[n] = (static_cast<float>(n) - 977.5f) / 3.0f;
    return v;
}

void BM_FormatValues(benchmark::State &state) {
    const std::vector<float> v = values();
    char buf[64];
    ryn::bench::PerKeyTimer timer;
    for (auto _ : state)
        for (float f : v) {
            std::snprintf(buf, sizeof buf, "%+.10e", static_cast<double>(f));
            benchmark::DoNotOptimize(buf);
        }
    per_key(state, timer, "BM_FormatValues");
}

void BM_ParseValues(benchmark::State &state) {
    std::vector<std::string> texts;
    char buf[64];
    for (float f : values()) {
        std::snprintf(buf, sizeof buf, "%+.10e", static_cast<double>(f));
        texts.emplace_back(buf);
    }
    ryn::bench::PerKeyTimer timer;
    for (auto _ : state)
        for (const std::string &t : texts)
            benchmark::DoNotOptimize(std::strtod(t.c_str(), nullptr));
    per_key(state, timer, "BM_ParseValues");
}

// Baselines first: the benchmarks judged by them print their ratios.
BENCHMARK(BM_FormatValues)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseValues)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaliGetPerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CaliSetPerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CaliGet5920PerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CaliGet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_CaliSet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_CaliGet5920)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
