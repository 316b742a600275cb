// Validation of a 256 KiB base image against the two costs it cannot avoid:
// reading the file once (BM_ReadImageFile) and computing the CRC of its bytes
// once (BM_Crc32, through the device library's ryn_calc_crc).
// BM_ValidateBaseImage is expected to stay within about their sum.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fwupdate/base/image.h"
#include "fwupdate/build/image_builder.h"
#include "ryn_hid.h"
#include "sim/ryn_sim.h"

namespace {

namespace fs = std::filesystem;
using namespace ryn::fwupdate;

// A base image of 256 KiB of sections, written once per run and removed at exit.
struct ImageOnDisk {
    fs::path path =
        fs::temp_directory_path() / ("ryn_bench_fw." + std::to_string(::getpid()) + ".bin");
    Bytes bytes;
    ImageOnDisk() {
        ImageParts parts;
        parts.normal_code = Bytes(0x20000, 0x11);
        parts.update_code = Bytes(0x10000, 0x22);
        parts.boot_loader = Bytes(0x8000, 0x33);
        parts.calibration = Bytes(0x4000, 0x44);
        parts.model_config = Bytes(0x4000, 0x55);
        bytes = build_base_image(parts);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    ~ImageOnDisk() { fs::remove(path); }
};

const ImageOnDisk &image() {
    static const ImageOnDisk on_disk;
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
