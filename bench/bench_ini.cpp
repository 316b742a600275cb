// The INI store at calibration-dump sizes: one IniFile per operation (parse
// once, change in memory, commit once) against the per-call way of the host's
// functions (open, change and commit the file for every single key).
//
// Every benchmark reports "per_key", the time per key, and items_per_second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ini_file.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;
using ryn::platform::IniFile;

constexpr const char16_t *kSection = u"calibration";

// A folder for the run's files, removed at exit.
const fs::path &bench_dir() {
    struct Dir {
        fs::path path = fs::temp_directory_path() / ("ryn_bench_ini." + std::to_string(::getpid()));
        Dir() { fs::create_directories(path); }
        ~Dir() { fs::remove_all(path); }
    };
    static const Dir dir;
    return dir.path;
}

struct Keys {
    std::vector<std::u16string> names, values;
};

// n keys named like calibration parameters, with float values as they are written.
Keys make_keys(size_t n) {
    Keys k;
    for (size_t i = 0; i < n; ++i) {
        k.names.push_back(ryn::text::format(u"cali_param_%04u", static_cast<unsigned>(i)));
        k.values.push_back(ryn::text::format(u"%+.10e", (static_cast<double>(i) - 977.5) / 3.0));
    }
    return k;
}

void report(benchmark::State &state, size_t n) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
    state.counters["per_key"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

// A file holding the keys, for the read benchmarks.
std::u16string written_file(const Keys &k, const char *name) {
    const fs::path path = bench_dir() / name;
    fs::remove(path);
    IniFile ini(path.u16string());
    for (size_t i = 0; i < k.names.size(); ++i) ini.set(kSection, k.names[i], k.values[i]);
    ini.commit();
    return path.u16string();
}

void BM_IniWrite(benchmark::State &state) {
    const auto n = static_cast<size_t>(state.range(0));
    const Keys k = make_keys(n);
    const fs::path path = bench_dir() / "write.ini";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(path);
        state.ResumeTiming();
        IniFile ini(path.u16string());
        for (size_t i = 0; i < n; ++i)
            if (!ini.set(kSection, k.names[i], k.values[i])) state.SkipWithError("set failed");
        if (!ini.commit()) state.SkipWithError("commit failed");
    }
    report(state, n);
}

void BM_IniWritePerCall(benchmark::State &state) {
    const auto n = static_cast<size_t>(state.range(0));
    const Keys k = make_keys(n);
    const fs::path path = bench_dir() / "write_per_call.ini";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(path);
        state.ResumeTiming();
        for (size_t i = 0; i < n; ++i) {
            IniFile ini(path.u16string());
            if (!ini.set(kSection, k.names[i], k.values[i]) || !ini.commit())
                state.SkipWithError("write failed");
        }
    }
    report(state, n);
}

// One operation: parse the file, then look every key up.
void BM_IniRead(benchmark::State &state) {
    const auto n = static_cast<size_t>(state.range(0));
    const Keys k = make_keys(n);
    const std::u16string path = written_file(k, "read.ini");
    char16_t buf[64];
    for (auto _ : state) {
        const IniFile ini(path);
        for (size_t i = 0; i < n; ++i)
            benchmark::DoNotOptimize(ini.get(kSection, k.names[i], buf, std::size(buf)));
    }
    report(state, n);
}

void BM_IniReadPerCall(benchmark::State &state) {
    const auto n = static_cast<size_t>(state.range(0));
    const Keys k = make_keys(n);
    const std::u16string path = written_file(k, "read_per_call.ini");
    char16_t buf[64];
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) {
            const IniFile ini(path);
            benchmark::DoNotOptimize(ini.get(kSection, k.names[i], buf, std::size(buf)));
        }
    }
    report(state, n);
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
