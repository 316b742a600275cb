// Validation of a 256 KiB base image against the two costs it cannot avoid:
// reading the file once (BM_ReadImageFile) and computing the CRC of its bytes
// once (BM_Crc32, through the device library's ryn_calc_crc).
// BM_ValidateBaseImage is expected to stay within about their sum.
#include <benchmark/benchmark.h>
#include <memory>
#include <string>

#include "bench/bench_support.h"
#include "fwupdate/base/image.h"
#include "tools/image_builder/image_builder.h"
#include "ryn_hid.h"
#include "sim/ryn_sim.h"

namespace {

using namespace ryn::fwupdate;

// A base image of 256 KiB of sections, written once per run into the run's folder.
const ryn::bench::ImageOnDisk &image() {
    static const ryn::bench::ImageOnDisk on_disk("fw", [] {
        ImageParts parts;
        parts.normal_code = Bytes(0x20000, 0x11);
        parts.update_code = Bytes(0x10000, 0x22);
        parts.boot_loader = Bytes(0x8000, 0x33);
        parts.calibration = Bytes(0x4000, 0x44);
        parts.model_config = Bytes(0x4000, 0x55);
        return build_base_image(parts);
    }());
    return on_disk;
}

// The sections' bytes: what validation checksums.
constexpr size_t kSectionBytes = 0x20000 + 0x10000 + 0x8000 + 0x4000 + 0x4000 + 68 + 364;

void BM_Crc32(benchmark::State &state) {
    const Bytes data(kSectionBytes, 0x5A);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ryn_calc_crc(data.data(), static_cast<uint32_t>(data.size())));
        ryn_sim_trace_clear();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Crc32);

void BM_ReadImageFile(benchmark::State &state) {
    const std::u16string path = image().path.u16string();
    Bytes buffer(image().bytes.size());
    for (auto _ : state) {
        std::unique_ptr<ImageFile> file = ImageFile::open(path);
        benchmark::DoNotOptimize(file->read(buffer));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.size()));
}
BENCHMARK(BM_ReadImageFile);

void BM_ValidateBaseImage(benchmark::State &state) {
    const std::u16string path = image().path.u16string();
    fw_update_arg arg{};  // no message sink: the dumps are dropped
    for (auto _ : state) {
        std::unique_ptr<ImageFile> file = ImageFile::open(path);
        auto fw = std::make_unique<FwImage>();
        if (!read_base_image(arg, *file, *fw)) state.SkipWithError("the image did not validate");
        ryn_sim_trace_clear();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image().bytes.size()));
}
BENCHMARK(BM_ValidateBaseImage);

}  // namespace

BENCHMARK_MAIN();
