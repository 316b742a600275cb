// Model-configuration GET and SET of a base controller with a version 0x103
// record and all 767 algorithm parameters defined (about 830 INI keys), beside
// the same INI traffic in the per-call way of the host's private-profile
// functions (open, change or look up, and commit the file for every key).
//
// BM_DevInfoSet5920 does the same for the largest of the other controllers'
// records, the 5920's (1024 firmware parameters, 919 algorithm parameters,
// 1024 system parameters; about 2980 keys).
//
// The per-call benchmarks replay the keys of the request, in its order, on
// their own, over a window of them (bench_support.h): they leave out the
// device read and conversion that the request benchmarks include, so the
// ratio between the two is a lower bound. Every benchmark reports its keys
// and its time per key ("per_key"); a per-call benchmark's are its window's.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "formats/algo_block.h"
#include "frame/definitions.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;
using ryn::bench::IniKey;

// The definition files, in the run's folder.
void write_definitions() {
    static const bool written = [] {
        // All 767 slots named: the 0x104 fields, then generic names.
        std::string defs;
        for (size_t n = 0; n < ryn::devinfo::AlgoBlock::host_slots; ++n) {
            defs += "param_" + std::to_string(n) + "=";
            defs += n < std::size(ryn::devinfo::kAlgoFields)
                        ? ryn::text::to_utf8(std::u16string(ryn::devinfo::kAlgoFields[n].name))
                        : "algo_param_" + std::to_string(n);
            defs += "\n";
        }
        ryn::bench::run_dir().write("algo_param_def.ini", defs);
        std::string defs_5920;
        for (size_t n = 0; n < 919; ++n)
            defs_5920 += "param_" + std::to_string(n) + "=algo_5920_" + std::to_string(n) + "\n";
        ryn::bench::run_dir().write("algo_param_def_5920.ini", defs_5920);
        ryn::frame::set_definition_dir_for_testing(ryn::bench::run_dir().dir16());
        return true;
    }();
    (void)written;
}

ryn_handle make_device() {
    write_definitions();
    return ryn_sim_create("base", R"({"model_version": "0x103"})");
}

ryn_handle make_5920() {
    write_definitions();
    return ryn_sim_create("5920", nullptr);
}

int32_t request(ryn_handle handle, const fs::path &file, uint32_t flags) {
    const std::u16string path = file.u16string();  // the block points into it
    dev_info_arg arg;
    ryn_dev_info_init_arg(&arg, handle, reinterpret_cast<const ryn_wchar *>(path.c_str()),
                          flags | RYN_DEV_MODEL_CFG);
    arg.msg_fn = [](void *, const ryn_wchar *, va_list) {};
    return ryn_dev_info(&arg);
}

// A new file written by a GET of the device; its keys, in its order (none
// when the GET fails).
std::vector<IniKey> get_into(ryn_handle handle, const fs::path &file) {
    fs::remove(file);
    if (request(handle, file, RYN_FLAG_GET) != 1) return {};
    return ryn::bench::keys_of(file);
}

// The keys of an iteration and the time per key, which compares a request
// with its per-call window.
void report(benchmark::State &state, size_t keys) {
    state.counters["keys"] = static_cast<double>(keys);
    state.counters["per_key"] =
        benchmark::Counter(static_cast<double>(keys), benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
}

void BM_DevInfoGet(benchmark::State &state) {
    const fs::path file = ryn::bench::run_file("get.ini");
    const ryn_handle handle = make_device();
    const size_t keys = get_into(handle, file).size();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(file);
        state.ResumeTiming();
        if (request(handle, file, RYN_FLAG_GET) != 1) state.SkipWithError("GET failed");
    }
    report(state, keys);
}

// The keys of the GET written one call at a time.
void BM_DevInfoGetPerCall(benchmark::State &state) {
    const ryn::bench::NoFlush no_flush;
    const std::vector<IniKey> keys = get_into(make_device(), ryn::bench::run_file("keys.ini"));
    if (keys.empty()) return state.SkipWithError("no keys");
    const fs::path file = ryn::bench::run_file("get_per_call.ini");
    ryn::bench::PerKeyTimer timer;
    for (auto _ : state)
        if (!ryn::bench::write_per_call(state, timer, file, keys)) state.SkipWithError("write failed");
    report(state, ryn::bench::per_call_keys(keys));
}

// SET of the file a GET of the device wrote, again and again.
void run_set(benchmark::State &state, ryn_handle handle, const fs::path &file) {
    const size_t keys = get_into(handle, file).size();
    if (keys == 0) return state.SkipWithError("GET failed");
    for (auto _ : state)
        if (request(handle, file, RYN_FLAG_SET) != 1) state.SkipWithError("SET failed");
    report(state, keys);
}

void BM_DevInfoSet(benchmark::State &state) {
    run_set(state, make_device(), ryn::bench::run_file("set.ini"));
}

// The keys of the SET looked up one call at a time.
void BM_DevInfoSetPerCall(benchmark::State &state) {
    const fs::path file = ryn::bench::run_file("set_per_call.ini");
    const std::vector<IniKey> keys = get_into(make_device(), file);
    if (keys.empty()) return state.SkipWithError("GET failed");
    for (auto _ : state) ryn::bench::read_per_call(file, keys);
    report(state, ryn::bench::per_call_keys(keys));
}

void BM_DevInfoSet5920(benchmark::State &state) {
    run_set(state, make_5920(), ryn::bench::run_file("set_5920.ini"));
}

// The keys of the 5920's SET looked up one call at a time. The firmware
// parameters are left out: the request reads them by scanning the file's
// lines once, not through the INI store.
void BM_DevInfoSet5920PerCall(benchmark::State &state) {
    const fs::path file = ryn::bench::run_file("set_5920_per_call.ini");
    std::vector<IniKey> keys = get_into(make_5920(), file);
    std::erase_if(keys, [](const IniKey &k) { return k.section == u"firmware parameter"; });
    if (keys.empty()) return state.SkipWithError("GET failed");
    for (auto _ : state) ryn::bench::read_per_call(file, keys);
    report(state, ryn::bench::per_call_keys(keys));
}

BENCHMARK(BM_DevInfoGet)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DevInfoGetPerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DevInfoSet)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DevInfoSetPerCall)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DevInfoSet5920)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DevInfoSet5920PerCall)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
