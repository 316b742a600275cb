// A 256 KiB flash-layout update of a simulated 5920 (the whole path: file,
// validation, write, whole-file read-back verify, header, reset) against the
// costs of the same bytes that it cannot avoid: a CRC-32 through the device
// library (BM_Crc32) and a memcmp (BM_Memcmp). BM_Update5920Layout is expected
// to stay within 3 x BM_Crc32 + BM_Memcmp: the verify must not be the bottleneck.
#include <benchmark/benchmark.h>
#include <cstring>
#include <string>

#include "bench/bench_support.h"
#include "fwupdate/c5920/image.h"
#include "tools/image_builder/image_builder.h"
#include "platform/console.h"
#include "ryn_hid.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"

namespace {

using namespace ryn::fwupdate;

// A banked image of exactly 256 KiB: eight banks, a 28 KiB model
// configuration and a 32 KiB calibration; written once per run into the run's folder.
const ryn::bench::ImageOnDisk &image() {
    static const ryn::bench::ImageOnDisk on_disk("fw_banked", [] {
        ImageParts parts;
        parts.normal_code = Bytes(8 * BankedHeader::bank_size, 0x11);
        parts.model_config = Bytes(0x7000, 0x22);
        parts.calibration = Bytes(0x8000, 0x33);
        return build_banked_image(parts);
    }());
    return on_disk;
}

void BM_Crc32(benchmark::State &state) {
    const Bytes data(image_buffer_size, 0x5A);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ryn_calc_crc(data.data(), static_cast<uint32_t>(data.size())));
        ryn_sim_trace_clear();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Crc32);

void BM_Memcmp(benchmark::State &state) {
    const Bytes a(image_buffer_size, 0x5A);
    Bytes b = a;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::memcmp(a.data(), b.data(), a.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * a.size()));
}
BENCHMARK(BM_Memcmp);

ryn_handle reset_sim(void *) {
    return ryn_sim_reset();
}

void BM_Update5920Layout(benchmark::State &state) {
    if (image().bytes.size() != image_buffer_size) state.SkipWithError("the image is not 256 KiB");
    ryn::platform::set_sleep_hook([](uint32_t) {});  // the reset's wait is not the update's cost
    ryn_sim_create("5920", nullptr);
    const std::u16string path = image().path.u16string();
    for (auto _ : state) {
        fw_update_arg arg;
        ryn_fw_update_init_arg(&arg, ryn_sim_handle(),
                               reinterpret_cast<const ryn_wchar *>(path.c_str()), nullptr,
                               RYN_UPDATE_FLASH_LAYOUT);
        arg.dev_reset_fn = reset_sim;
        if (!ryn_fw_update(&arg)) state.SkipWithError("the update failed");
        ryn_sim_trace_clear();
    }
    ryn::platform::set_sleep_hook({});
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image().bytes.size()));
}
BENCHMARK(BM_Update5920Layout);

}  // namespace

BENCHMARK_MAIN();
