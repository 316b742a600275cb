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
// their own: they leave out the device read and conversion that the request
// benchmarks include, so the ratio between the two is a lower bound.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/algo_block.h"
#include "frame/definitions.h"
#include "platform/ini_file.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "support/tmpdir.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;
using ryn::platform::IniFile;

// A folder for the run's files and definition file, removed at exit.
const fs::path &bench_dir() {
    struct Dir {
        fs::path path =
            fs::temp_directory_path() / ("ryn_bench_devinfo." + std::to_string(::getpid()));
        Dir() {
            fs::create_directories(path);
            // All 767 slots named: the 0x104 fields, then generic names.
            std::string defs;
            for (size_t n = 0; n < ryn::devinfo::AlgoBlock::host_slots; ++n) {
                defs += "param_" + std::to_string(n) + "=";
                defs += n < std::size(ryn::devinfo::kAlgoFields)
                            ? ryn::text::to_utf8(std::u16string(ryn::devinfo::kAlgoFields[n].name))
                            : "algo_param_" + std::to_string(n);
                defs += "\n";
            }
            ryn::test::write_file(path / "algo_param_def.ini", defs);
            std::string defs_5920;
            for (size_t n = 0; n < 919; ++n)
                defs_5920 +=
                    "param_" + std::to_string(n) + "=algo_5920_" + std::to_string(n) + "\n";
            ryn::test::write_file(path / "algo_param_def_5920.ini", defs_5920);
            ryn::frame::set_definition_dir_for_testing(path.u16string() + u"/");
        }
        ~Dir() { fs::remove_all(path); }
    };
    static const Dir dir;
    return dir.path;
}

ryn_handle make_device() {
    return ryn_sim_create("base", R"({"model_version": "0x103"})");
}

int32_t request(ryn_handle handle, const std::u16string &file, uint32_t flags) {
    dev_info_arg arg;
    ryn_dev_info_init_arg(&arg, handle, reinterpret_cast<const ryn_wchar *>(file.c_str()),
                          flags | RYN_DEV_MODEL_CFG);
    arg.msg_fn = [](void *, const ryn_wchar *, va_list) {};
    return ryn_dev_info(&arg);
}

struct Key {
    std::u16string section, key, value;
};

// The keys a GET writes, in its order, taken from the file it wrote.
std::vector<Key> keys_of_get(ryn_handle handle) {
    const fs::path path = bench_dir() / "keys.ini";
    fs::remove(path);
    if (request(handle, path.u16string(), RYN_FLAG_GET) != 1) return {};
    std::vector<Key> keys;
    std::u16string section;
    const std::u16string whole = ryn::text::from_utf8(ryn::test::read_file(path));
    for (std::u16string_view text = whole; !text.empty();) {
        const size_t end = std::min(text.find(u'\n'), text.size());
        std::u16string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        if (line.starts_with(u'[')) {
            section = line.substr(1, line.size() - 2);
        } else if (const size_t eq = line.find(u'='); eq != line.npos) {
            keys.push_back(
                {section, std::u16string(line.substr(0, eq)), std::u16string(line.substr(eq + 1))});
        }
    }
    return keys;
}

void report(benchmark::State &state, size_t keys) {
    state.counters["keys"] = static_cast<double>(keys);
}

void BM_DevInfoGet(benchmark::State &state) {
    const fs::path path = bench_dir() / "get.ini";
    const ryn_handle handle = make_device();
    const size_t keys = keys_of_get(handle).size();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(path);
        state.ResumeTiming();
        if (request(handle, path.u16string(), RYN_FLAG_GET) != 1) state.SkipWithError("GET failed");
    }
    report(state, keys);
}

void BM_DevInfoGetPerCall(benchmark::State &state) {
    const fs::path path = bench_dir() / "get_per_call.ini";
    const std::vector<Key> keys = keys_of_get(make_device());
    if (keys.empty()) {
        state.SkipWithError("no keys");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(path);
        state.ResumeTiming();
        for (const Key &k : keys) {
            IniFile ini(path.u16string());
            if (!ini.set(k.section, k.key, k.value) || !ini.commit()) {
                state.SkipWithError("write failed");
                return;
            }
        }
    }
    report(state, keys.size());
}

// SET of the file a GET of the device wrote, again and again.
void run_set(benchmark::State &state, ryn_handle handle, const fs::path &path) {
    const size_t keys = keys_of_get(handle).size();
    fs::remove(path);
    if (request(handle, path.u16string(), RYN_FLAG_GET) != 1) state.SkipWithError("GET failed");
    for (auto _ : state)
        if (request(handle, path.u16string(), RYN_FLAG_SET) != 1) state.SkipWithError("SET failed");
    report(state, keys);
}

// The keys of a SET looked up one call at a time, each in a store opened for it.
void run_lookups_per_call(benchmark::State &state, const fs::path &path,
                          const std::vector<Key> &keys) {
    char16_t buf[256];
    for (auto _ : state) {
        for (const Key &k : keys) {
            const IniFile ini(path.u16string());
            benchmark::DoNotOptimize(ini.get(k.section, k.key, buf, std::size(buf)));
        }
    }
    report(state, keys.size());
}

void BM_DevInfoSet(benchmark::State &state) {
    run_set(state, make_device(), bench_dir() / "set.ini");
}

void BM_DevInfoSetPerCall(benchmark::State &state) {
    const fs::path path = bench_dir() / "set_per_call.ini";
    const ryn_handle handle = make_device();
    const std::vector<Key> keys = keys_of_get(handle);
    fs::remove(path);
    if (keys.empty() || request(handle, path.u16string(), RYN_FLAG_GET) != 1)
        state.SkipWithError("GET failed");
    run_lookups_per_call(state, path, keys);
}

void BM_DevInfoSet5920(benchmark::State &state) {
    run_set(state, ryn_sim_create("5920", nullptr), bench_dir() / "set_5920.ini");
}

// The keys of the 5920's SET looked up one call at a time. The firmware
// parameters are left out: the request reads them by scanning the file's
// lines once, not through the INI store.
void BM_DevInfoSet5920PerCall(benchmark::State &state) {
    const fs::path path = bench_dir() / "set_5920_per_call.ini";
    const ryn_handle handle = ryn_sim_create("5920", nullptr);
    std::vector<Key> keys = keys_of_get(handle);
    std::erase_if(keys, [](const Key &k) { return k.section == u"firmware parameter"; });
    fs::remove(path);
    if (keys.empty() || request(handle, path.u16string(), RYN_FLAG_GET) != 1)
        state.SkipWithError("GET failed");
    run_lookups_per_call(state, path, keys);
}

BENCHMARK(BM_DevInfoGet)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DevInfoGetPerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_DevInfoSet)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DevInfoSetPerCall)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DevInfoSet5920)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DevInfoSet5920PerCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
