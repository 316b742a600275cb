// The test seams of the file-system layer, shared by every host's
// implementation of it.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/host_fs.h"

namespace ryn::platform::host_fs {
namespace {

struct FaultState {
    std::mutex lock;
    WriteFaults faults;
    uint32_t writes = 0;  // writes since the faults were set
};

FaultState &state() {
    static FaultState s;
    return s;
}

}  // namespace

void set_write_faults(const WriteFaults &faults) {
    FaultState &s = state();
    const std::lock_guard guard(s.lock);
    s.faults = faults;
    s.writes = 0;
}

int next_write_fault(size_t &n) {
    FaultState &s = state();
    const std::lock_guard guard(s.lock);
    ++s.writes;
    if (s.faults.fail_write != 0 && s.writes == s.faults.fail_write) return EIO;
    if (s.faults.disk_space) {
        if (*s.faults.disk_space == 0) return ENOSPC;
        if (n > *s.faults.disk_space) n = static_cast<size_t>(*s.faults.disk_space);
    }
    return 0;
}

void wrote(size_t n) {
    FaultState &s = state();
    const std::lock_guard guard(s.lock);
    if (s.faults.disk_space) *s.faults.disk_space -= std::min<uint64_t>(n, *s.faults.disk_space);
}

namespace {
std::atomic<bool> flush{true};
}  // namespace

void set_flush_to_disk(bool on) { flush = on; }

bool flush_to_disk() { return flush; }

bool kill_before_replace() {
    FaultState &s = state();
    const std::lock_guard guard(s.lock);
    return s.faults.kill_before_replace;
}

}  // namespace ryn::platform::host_fs
