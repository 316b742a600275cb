// Support of the benchmarks: the run's scratch folder and the files written
// once per run into it, the per-call INI traffic of the host's private-profile
// functions (open, change or look up, and commit the file for every single
// key) that the library's one-store requests are set against, and the ratio
// each benchmark is judged by, printed as a counter.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/host_fs.h"
#include "platform/ini_file.h"
#include "support/scratch_dir.h"
#include "text/text.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ryn::bench {

// ---- The heap ----------------------------------------------------------------
//
// A request allocates and frees some hundred kilobytes to a megabyte (the
// file's bytes, its lines, the text it writes). With glibc's default, moving
// thresholds, whether that memory goes back to the system after each request
// (and is faulted in again by the next) depends on what the process freed
// before: the same request then takes one time or twice it, by the order and
// filter of the run. The benchmarks fix both thresholds once, so every
// benchmark, and every baseline it is judged against, runs with the heap kept.
inline const bool kHeapKept = [] {
#if defined(__GLIBC__)
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
    return true;
}();

// ---- Files -----------------------------------------------------------------

// The run's folder, removed with everything in it at exit.
inline const support::ScratchDir &run_dir() {
    static const support::ScratchDir dir("ryn_bench");
    return dir;
}

// Full path of the file of that name in the run's folder.
inline std::filesystem::path run_file(const std::string &name) {
    return run_dir().path() / name;
}

// An image written once into the run's folder.
struct ImageOnDisk {
    std::filesystem::path path;
    std::vector<uint8_t> bytes;

    ImageOnDisk(const std::string &name, std::vector<uint8_t> image)
        : path(run_dir().write(name + ".bin", image.data(), image.size())),
          bytes(std::move(image)) {}
};

// ---- Ratios ----------------------------------------------------------------------
//
// Each benchmark keeps its time per key (or per value) when its run ends,
// under its name, and a benchmark judged against a baseline divides its own
// time by the baseline's. Baselines are registered, and so run, before the
// benchmarks judged by them.

inline std::map<std::string, double> &seconds_per_key() {
    static std::map<std::string, double> times;
    return times;
}

// Wall time of one run of a benchmark, from its construction to finish(),
// less the time it was paused through pause() and resume().
class PerKeyTimer {
  public:
    PerKeyTimer() : start_(std::chrono::steady_clock::now()) {}

    // The state's timing and this timer's stop and go on together.
    void pause(benchmark::State &state) {
        state.PauseTiming();
        spent_ += std::chrono::steady_clock::now() - start_;
    }
    void resume(benchmark::State &state) {
        start_ = std::chrono::steady_clock::now();
        state.ResumeTiming();
    }

    // Keeps the run's time per key under name, sets items per second, and
    // returns that time.
    double finish(benchmark::State &state, const std::string &name, size_t keys) {
        spent_ += std::chrono::steady_clock::now() - start_;
        const double iterations = static_cast<double>(state.iterations() ? state.iterations() : 1);
        const double per_key = spent_.count() / iterations / static_cast<double>(keys ? keys : 1);
        state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                                static_cast<int64_t>(keys));
        seconds_per_key()[name] = per_key;
        return per_key;
    }

  private:
    std::chrono::steady_clock::time_point start_;
    std::chrono::duration<double> spent_{0};
};

// Counter counter = this run's time per key / the baseline's (0 when the
// baseline has not run, as with a filter that leaves it out).
inline void print_ratio(benchmark::State &state, const char *counter, double per_key,
                        const std::string &baseline) {
    const auto it = seconds_per_key().find(baseline);
    state.counters[counter] = it == seconds_per_key().end() ? 0.0 : per_key / it->second;
}

// ---- The host's per-call INI traffic -------------------------------------------

struct IniKey {
    std::u16string section, key, value;
};

// The keys of an INI file written by the library, in file order.
inline std::vector<IniKey> keys_of(const std::filesystem::path &file) {
    std::vector<IniKey> keys;
    std::ifstream in(file, std::ios::binary);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 2 && line.front() == '[') {
            section = line.substr(1, line.size() - 2);
        } else if (const size_t eq = line.find('='); eq != std::string::npos) {
            keys.push_back({text::from_utf8(section), text::from_utf8(line.substr(0, eq)),
                            text::from_utf8(line.substr(eq + 1))});
        }
    }
    return keys;
}

// The per-call baselines cost time quadratic in the number of keys (every
// call reads and writes the whole file), so they run a window of a request's
// keys and give the time per key of the whole request from it.
constexpr size_t kPerCallWindow = 256;

// Writes of the keys one call at a time, each by a store opened, changed and
// committed for it alone, timed over a window: the keys before the window go
// in at once, untimed. A write's cost grows with the file, so the window sits
// where the file holds half the keys, and its time per key is the average of
// writing them all one by one. False when a write fails.
inline bool write_per_call(benchmark::State &state, PerKeyTimer &timer,
                           const std::filesystem::path &file, const std::vector<IniKey> &keys) {
    const size_t window = std::min(keys.size(), kPerCallWindow);
    const size_t first = (keys.size() - window) / 2;
    timer.pause(state);
    std::filesystem::remove(file);
    platform::IniFile before(file.u16string());
    for (size_t i = 0; i < first; ++i) before.set(keys[i].section, keys[i].key, keys[i].value);
    const bool written = before.commit();
    timer.resume(state);
    if (!written) return false;
    for (size_t i = first; i < first + window; ++i) {
        platform::IniFile ini(file.u16string());
        if (!ini.set(keys[i].section, keys[i].key, keys[i].value) || !ini.commit()) return false;
    }
    return true;
}

// Look-ups of the keys one call at a time, each in a store opened for it
// alone, over a window of keys spread evenly over the file (every look-up
// reads the whole file, whichever key it wants).
inline void read_per_call(const std::filesystem::path &file, const std::vector<IniKey> &keys) {
    const size_t window = std::min(keys.size(), kPerCallWindow);
    char16_t buf[256];
    for (size_t n = 0; n < window; ++n) {
        const IniKey &k = keys[n * keys.size() / window];
        const platform::IniFile ini(file.u16string());
        benchmark::DoNotOptimize(ini.get(k.section, k.key, buf, std::size(buf)));
    }
}

// The keys a per-call benchmark runs each iteration.
inline size_t per_call_keys(const std::vector<IniKey> &keys) {
    return std::min(keys.size(), kPerCallWindow);
}

// The per-call baselines write as the host's functions do, without a flush
// to disk each time.
struct NoFlush {
    NoFlush() { platform::host_fs::set_flush_to_disk(false); }
    ~NoFlush() { platform::host_fs::set_flush_to_disk(true); }
    NoFlush(const NoFlush &) = delete;
    NoFlush &operator=(const NoFlush &) = delete;
};

}  // namespace ryn::bench
