// Support of the image validator fuzz targets' properties: the CRC-32 the
// device computes (zlib's, taken here straight from zlib so that the check
// does not share code with the validator), range tests, a guard that makes
// the image buffer end at the file's length for AddressSanitizer, and the
// start-up check that the images the builders make are accepted.
#pragma once

#include <sanitizer/asan_interface.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "fuzz/image_file.h"
#include "tools/image_builder/image_builder.h"
#include "formats/layout.h"
#include "sim/ryn_sim.h"

namespace ryn::fuzz {

// Ends the run with the target's finding.
[[noreturn]] inline void fail(const char *target, const char *what) {
    std::fprintf(stderr, "%s: %s\n", target, what);
    std::abort();
}

inline void expect(bool ok, const char *target, const char *what) {
    if (!ok) fail(target, what);
}

inline uint32_t crc32_of(std::span<const uint8_t> bytes) {
    return static_cast<uint32_t>(::crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

inline uint32_t word(std::span<const uint8_t> bytes, const layout::Field &f) {
    return static_cast<uint32_t>(f.get(bytes));
}

// True when length bytes at offset lie inside size bytes, without wrap-around.
inline bool inside(uint64_t size, uint64_t offset, uint64_t length) {
    return offset <= size && length <= size - offset;
}

// An accepted region: it lies inside the file and its CRC is the stored one.
inline void expect_crc(const char *target, std::span<const uint8_t> file, uint64_t offset,
                       uint64_t length, uint32_t stored, const char *region) {
    if (!inside(file.size(), offset, length)) {
        std::fprintf(stderr, "%s: the %s region reaching outside the file was accepted\n", target,
                     region);
        std::abort();
    }
    if (crc32_of(file.subspan(offset, length)) != stored) {
        std::fprintf(stderr, "%s: a wrong %s CRC was accepted\n", target, region);
        std::abort();
    }
}

// For as long as it lives, the bytes of buffer past the file's length are
// poisoned: a validator that reads its image buffer beyond the file it read
// into it is reported by AddressSanitizer, as if the buffer ended there.
class BufferEndsAtFile {
  public:
    BufferEndsAtFile(std::span<uint8_t> buffer, size_t file_length) {
        if (file_length < buffer.size()) tail_ = buffer.subspan(file_length);
        ASAN_POISON_MEMORY_REGION(tail_.data(), tail_.size());
    }
    ~BufferEndsAtFile() { ASAN_UNPOISON_MEMORY_REGION(tail_.data(), tail_.size()); }
    BufferEndsAtFile(const BufferEndsAtFile &) = delete;
    BufferEndsAtFile &operator=(const BufferEndsAtFile &) = delete;

  private:
    std::span<uint8_t> tail_;
};

// One run of a validator that reads the whole file into an image buffer:
// read(arg, file, length) runs it on the input as a file, with the buffer
// ending at the file's length; its result must be 0 or 1, and on acceptance
// check_accepted(file bytes) holds and the length given is the file's. True
// when accepted.
template <class Read, class CheckAccepted>
bool validate_buffered(const char *target, const uint8_t *data, size_t size,
                       std::span<uint8_t> buffer, Read read, CheckAccepted check_accepted) {
    std::unique_ptr<fwupdate::ImageFile> file = image_file(data, size);
    fw_update_arg arg{};  // no message sink
    uint32_t length = 0;
    int result;
    {
        BufferEndsAtFile guard(buffer, size);
        result = read(arg, *file, length);
    }
    ryn_sim_trace_clear();  // the CRC calls would fill the trace
    expect(result == 0 || result == 1, target, "the result is neither 0 nor 1");
    if (result == 1) {
        check_accepted(std::span<const uint8_t>(data, size));
        expect(length == size, target, "the length given is not the file's");
    }
    return result == 1;
}

// A built image must be accepted by validate (a callable taking the data and
// size of a file, as the fuzz input is given), or the target cannot work.
template <class Validate>
void require_accepted(const char *target, const char *what, const fwupdate::Bytes &image,
                      Validate validate) {
    if (!validate(image.data(), image.size())) {
        std::fprintf(stderr, "%s: the built %s image (%zu bytes) is refused\n", target, what,
                     image.size());
        std::abort();
    }
}

}  // namespace ryn::fuzz
