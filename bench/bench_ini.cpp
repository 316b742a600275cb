// The INI store at calibration-dump sizes: one IniFile per operation (parse
// once, change in memory, commit once) against the per-call way of the host's
// functions (open, change and commit the file for every single key).
//
// Every benchmark reports "per_key", the time per key, and items_per_second;
// a per-call benchmark runs a window of the keys and reports the window's.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/ini_file.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;
using ryn::bench::IniKey;
using ryn::platform::IniFile;

// n keys of section "calibration" named like calibration parameters, with
// float values as they are written.
std::vector<IniKey> make_keys(size_t n) {
    std::vector<IniKey> keys;
    for (size_t i = 0; i < n; ++i)
        keys.push_back({u"calibration", ryn::text::format(u"cali_param_%04u", static_cast<unsigned>(i)),
                        ryn::text::format(u"%+.10e", (static_cast<double>(i) - 977.5) / 3.0)});
    return keys;
}

void report(benchmark::State &state, size_t n) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
    state.counters["per_key"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

// A file holding the keys, for the read benchmarks.
fs::path written_file(const std::vector<IniKey> &keys, const char *name) {
    const fs::path file = ryn::bench::run_file(name);
    fs::remove(file);
    IniFile ini(file.u16string());
    for (const IniKey &k : keys) ini.set(k.section, k.key, k.value);
    ini.commit();
    return file;
}

void BM_IniWrite(benchmark::State &state) {
    const std::vector<IniKey> keys = make_keys(static_cast<size_t>(state.range(0)));
    const fs::path file = ryn::bench::run_file("write.ini");
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(file);
        state.ResumeTiming();
        IniFile ini(file.u16string());
        for (const IniKey &k : keys)
            if (!ini.set(k.section, k.key, k.value)) state.SkipWithError("set failed");
        if (!ini.commit()) state.SkipWithError("commit failed");
    }
    report(state, keys.size());
}

// The keys written one call at a time, over the window of bench_support.h.
void BM_IniWritePerCall(benchmark::State &state) {
    const std::vector<IniKey> keys = make_keys(static_cast<size_t>(state.range(0)));
    const fs::path file = ryn::bench::run_file("write_per_call.ini");
    ryn::bench::PerKeyTimer timer;
    for (auto _ : state)
        if (!ryn::bench::write_per_call(state, timer, file, keys)) state.SkipWithError("write failed");
    report(state, ryn::bench::per_call_keys(keys));
}

// One operation: parse the file, then look every key up.
void BM_IniRead(benchmark::State &state) {
    const std::vector<IniKey> keys = make_keys(static_cast<size_t>(state.range(0)));
    const std::u16string path = written_file(keys, "read.ini").u16string();
    char16_t buf[64];
    for (auto _ : state) {
        const IniFile ini(path);
        for (const IniKey &k : keys)
            benchmark::DoNotOptimize(ini.get(k.section, k.key, buf, std::size(buf)));
    }
    report(state, keys.size());
}

// The keys looked up one call at a time, over the window of bench_support.h.
void BM_IniReadPerCall(benchmark::State &state) {
    const std::vector<IniKey> keys = make_keys(static_cast<size_t>(state.range(0)));
    const fs::path file = written_file(keys, "read_per_call.ini");
    for (auto _ : state) ryn::bench::read_per_call(file, keys);
    report(state, ryn::bench::per_call_keys(keys));
}

BENCHMARK(BM_IniWrite)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IniRead)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IniWritePerCall)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_IniReadPerCall)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
