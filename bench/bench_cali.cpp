// Calibration GET and SET of a simulated version-10 base controller whose
// definition file names all 1792 parameters, through the library's INI store
// (parsed once, committed once), against the same keys written or looked up
// one call at a time as the host's own profile functions do (without a flush
// to disk, as they do). BM_FormatValues and BM_ParseValues give the floor:
// snprintf "%+.10e" of 1792 values, and strtod of those texts, which the SET
// benchmarks' file holds for the parameters. BM_CaliGet5920 is the GET of
// the largest of the other controllers' records, the 5920's (2048
// calibration values, 1024 firmware parameters, 63 system parameters).
//
// Each benchmark prints the ratios it is judged by, its time per key of the
// file over a baseline's per key or value: x_format (GET over snprintf),
// x_parse (SET over strtod, at most 4), x_base_get (the 5920's GET over the
// base controller's, at most 1.5) and x_per_call (over the per-call traffic,
// which runs a window of the keys: its "keys" and time are the window's).
// Both GETs write a new file each time: a GET into a file that already holds
// the same dump changes nothing and writes nothing, which is not the work of
// the GET it would be judged against. They write without the flush to disk:
// its two syncs per file are the disk's time, the same for both GETs and for
// any number of keys, and on a busy machine they would be most of what a
// ratio per key measures.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "frame/definitions.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"

namespace {

namespace fs = std::filesystem;
using ryn::bench::IniKey;
using ryn::bench::PerKeyTimer;

constexpr size_t kParams = 1792;

constexpr size_t kParams5920 = 2048;

// Definition files naming every parameter of the base controller and of the
// 5920, in the run's folder.
void write_definitions() {
    static const bool written = [] {
        std::string defs, defs_5920;
        for (size_t n = 0; n < kParams; ++n)
            defs += "param_" + std::to_string(n) + "=cali_param_" + std::to_string(n) + "\n";
        for (size_t n = 0; n < kParams5920; ++n)
            defs_5920 += "param_" + std::to_string(n) + "=cali_value_" + std::to_string(n) + "\n";
        ryn::bench::run_dir().write("ryn_cali_info_param_def.ini", defs);
        ryn::bench::run_dir().write("ryn_cali_info_param_def_5920.ini", defs_5920);
        ryn::frame::set_definition_dir_for_testing(ryn::bench::run_dir().dir16());
        return true;
    }();
    (void)written;
}

// A simulated version-10 base controller (or a 5920), made anew for each
// benchmark: the device is the simulator's one device.
void make_base() {
    write_definitions();
    ryn_sim_create("base", "{\"cali_version\": 10}");
}
bool make_5920() {
    write_definitions();
    return ryn_sim_create("5920", nullptr) != RYN_INVALID_HANDLE;
}

int32_t request(const fs::path &file, uint32_t flags) {
    const std::u16string path = file.u16string();  // the block points into it
    cali_info_arg arg;
    ryn_cali_info_init_arg(&arg, ryn_sim_handle(),
                           reinterpret_cast<const ryn_wchar *>(path.c_str()), flags);
    return ryn_cali_info(&arg);
}

// The keys of a GET of the device, from the file it wrote.
std::vector<IniKey> keys_of_get(const char *name) {
    const fs::path file = ryn::bench::run_file(name);
    fs::remove(file);
    if (request(file, RYN_FLAG_GET) != 1) return {};
    return ryn::bench::keys_of(file);
}

// GET into a new file, again and again; the time per key of the file, kept under name.
double run_get(benchmark::State &state, const char *name, const char *file_name) {
    const ryn::bench::NoFlush no_flush;
    const fs::path file = ryn::bench::run_file(file_name);
    PerKeyTimer timer;
    for (auto _ : state) {
        timer.pause(state);
        fs::remove(file);
        timer.resume(state);
        if (request(file, RYN_FLAG_GET) != 1) state.SkipWithError("GET failed");
    }
    const size_t keys = ryn::bench::keys_of(file).size();
    state.counters["keys"] = static_cast<double>(keys);
    return timer.finish(state, name, keys);
}

// The keys of a GET written one call at a time; the time per key kept under name.
void run_get_per_call(benchmark::State &state, const char *name, const char *file_name) {
    const ryn::bench::NoFlush no_flush;
    const std::vector<IniKey> keys = keys_of_get("reference.ini");
    if (keys.empty()) return state.SkipWithError("GET failed");
    const fs::path file = ryn::bench::run_file(file_name);
    PerKeyTimer timer;
    for (auto _ : state)
        if (!ryn::bench::write_per_call(state, timer, file, keys)) state.SkipWithError("write failed");
    state.counters["keys"] = static_cast<double>(ryn::bench::per_call_keys(keys));
    timer.finish(state, name, ryn::bench::per_call_keys(keys));
}

void BM_CaliGet(benchmark::State &state) {
    make_base();
    const double t = run_get(state, "BM_CaliGet", "get.ini");
    ryn::bench::print_ratio(state, "x_format", t, "BM_FormatValues");
    ryn::bench::print_ratio(state, "x_per_call", t, "BM_CaliGetPerCall");
}

void BM_CaliGetPerCall(benchmark::State &state) {
    make_base();
    run_get_per_call(state, "BM_CaliGetPerCall", "get_per_call.ini");
}

// The parameters' values of the SET benchmarks and of their floor, in the
// form a GET writes them: all their mantissa digits count, as with the
// values of a real calibration.
std::vector<float> values() {
    std::vector<float> v(kParams);
    for (size_t n = 0; n < kParams; ++n) v[n] = (static_cast<float>(n) - 977.5f) / 3.0f;
    return v;
}

std::vector<std::string> value_texts() {
    std::vector<std::string> texts;
    char buf[64];
    for (float f : values()) {
        std::snprintf(buf, sizeof buf, "%+.10e", static_cast<double>(f));
        texts.emplace_back(buf);
    }
    return texts;
}

// A file for the SET benchmarks: written by a GET of the device, with the
// parameters' values those that the floor parses (the simulated device's own
// are quarters, whose short mantissas parse faster). Empty when it cannot be made.
fs::path set_file(const char *name) {
    const fs::path file = ryn::bench::run_file(name);
    fs::remove(file);
    if (request(file, RYN_FLAG_GET) != 1) return {};
    ryn::platform::IniFile ini(file.u16string());
    const std::vector<std::string> texts = value_texts();
    for (size_t n = 0; n < texts.size(); ++n)
        if (!ini.set(u"calibration", ryn::text::from_utf8("cali_param_" + std::to_string(n)),
                     ryn::text::from_utf8(texts[n])))
            return {};
    return ini.commit() ? file : fs::path();
}

void BM_CaliSet(benchmark::State &state) {
    make_base();
    const fs::path file = set_file("set.ini");
    if (file.empty()) return state.SkipWithError("no file to SET");
    const size_t keys = ryn::bench::keys_of(file).size();
    PerKeyTimer timer;
    for (auto _ : state)
        if (request(file, RYN_FLAG_SET) != 1) state.SkipWithError("SET failed");
    state.counters["keys"] = static_cast<double>(keys);
    const double t = timer.finish(state, "BM_CaliSet", keys);
    ryn::bench::print_ratio(state, "x_parse", t, "BM_ParseValues");
    ryn::bench::print_ratio(state, "x_per_call", t, "BM_CaliSetPerCall");
}

// The keys of a SET looked up one call at a time.
void BM_CaliSetPerCall(benchmark::State &state) {
    make_base();
    const fs::path file = set_file("set_per_call.ini");
    if (file.empty()) return state.SkipWithError("no file to SET");
    const std::vector<IniKey> keys = ryn::bench::keys_of(file);
    PerKeyTimer timer;
    for (auto _ : state) ryn::bench::read_per_call(file, keys);
    state.counters["keys"] = static_cast<double>(ryn::bench::per_call_keys(keys));
    timer.finish(state, "BM_CaliSetPerCall", ryn::bench::per_call_keys(keys));
}

// ---- The 5920 ------------------------------------------------------------

void BM_CaliGet5920(benchmark::State &state) {
    if (!make_5920()) return state.SkipWithError("no simulated 5920");
    const double t = run_get(state, "BM_CaliGet5920", "get_5920.ini");
    ryn::bench::print_ratio(state, "x_base_get", t, "BM_CaliGet");
    ryn::bench::print_ratio(state, "x_per_call", t, "BM_CaliGet5920PerCall");
}

void BM_CaliGet5920PerCall(benchmark::State &state) {
    if (!make_5920()) return state.SkipWithError("no simulated 5920");
    run_get_per_call(state, "BM_CaliGet5920PerCall", "per_call_5920.ini");
}

void BM_FormatValues(benchmark::State &state) {
    const std::vector<float> v = values();
    char buf[64];
    PerKeyTimer timer;
    for (auto _ : state)
        for (float f : v) {
            std::snprintf(buf, sizeof buf, "%+.10e", static_cast<double>(f));
            benchmark::DoNotOptimize(buf);
        }
    timer.finish(state, "BM_FormatValues", v.size());
}

// strtod of the texts the SET benchmarks' file holds for the parameters.
void BM_ParseValues(benchmark::State &state) {
    const std::vector<std::string> texts = value_texts();
    PerKeyTimer timer;
    for (auto _ : state)
        for (const std::string &t : texts)
            benchmark::DoNotOptimize(std::strtod(t.c_str(), nullptr));
    timer.finish(state, "BM_ParseValues", texts.size());
}

// Each baseline runs before the benchmarks judged by it, and right before
// where it can, so that on a busy machine both see the same load.
BENCHMARK(BM_CaliGetPerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CaliSetPerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CaliGet5920PerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ParseValues)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaliSet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FormatValues)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaliGet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_CaliGet5920)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
