// The ratio a benchmark is judged by, printed as a counter: each benchmark
// keeps its time per key (or per value) when its run ends, under its name, and
// a benchmark judged against a baseline divides its own time by the
// baseline's. Baselines are registered, and so run, before the benchmarks
// judged by them.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

namespace ryn::bench {

inline std::map<std::string, double> &seconds_per_key() {
    static std::map<std::string, double> times;
    return times;
}

// Wall time of one run of a benchmark, from its construction to finish().
class PerKeyTimer {
  public:
    PerKeyTimer() : start_(std::chrono::steady_clock::now()) {}

    // Keeps the run's time per key under name and returns it.
    double finish(const benchmark::State &state, const std::string &name, size_t keys) {
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start_;
        const double per_key =
            spent.count() / static_cast<double>(state.iterations() ? state.iterations() : 1) /
            static_cast<double>(keys ? keys : 1);
        seconds_per_key()[name] = per_key;
        return per_key;
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

// Counter counter = this run's time per key / the baseline's (0 when the
// baseline has not run, as with a filter that leaves it out).
inline void print_ratio(benchmark::State &state, const char *counter, double per_key,
                        const std::string &baseline) {
    const auto it = seconds_per_key().find(baseline);
    state.counters[counter] = it == seconds_per_key().end() ? 0.0 : per_key / it->second;
}

}  // namespace ryn::bench
