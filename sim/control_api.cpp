// The ryn_sim_* control API. No exception leaves these functions: a failure
// returns 0 (or RYN_INVALID_HANDLE) and leaves its text in ryn_sim_last_error().
// Each function holds the simulator's lock while it runs.
#include <cstring>
#include <mutex>
#include <string>

#include "sim/device.h"
#include "sim/faults.h"
#include "sim/ryn_sim.h"
#include "sim/simulator.h"

using ryn::sim::Fault;
using ryn::sim::FaultKind;
using ryn::sim::SimError;
using ryn::sim::Simulator;

namespace {

Simulator &sim() {
    return Simulator::instance();
}

using Hold = std::lock_guard<std::recursive_mutex>;

// Each thread's last error: a failure on one thread does not replace the text
// another thread is about to read.
thread_local std::string last_error;

// Runs a control function under the simulator's lock; a failure's text
// becomes this thread's last error.
template <class Body, class R>
R guarded(R failed, Body &&body) noexcept {
    Hold hold(sim().mutex());
    try {
        last_error.clear();
        return body();
    } catch (const std::exception &e) {
        try {
            last_error = e.what();
        } catch (...) {
        }
    } catch (...) {
    }
    return failed;
}

// The texts of trace entries are handed out as they are kept: an entry
// stays in place until the trace it belongs to is cleared or replaced.
const char *entry_text(const ryn::sim::TraceEntry *entry, bool op) {
    return entry ? (op ? entry->first : entry->second).c_str() : nullptr;
}

std::string text_arg(const char *text, const char *what) {
    if (!text) throw SimError(std::string(what) + " is null");
    return text;
}

int32_t arm(Fault fault) {
    sim().device();  // faults belong to a device: create or load first
    sim().faults().arm(std::move(fault));
    return 1;
}

}  // namespace

extern "C" {

ryn_handle ryn_sim_create(const char *family, const char *options_json) {
    return guarded(RYN_INVALID_HANDLE, [&] {
        return sim().create(text_arg(family, "family"), options_json ? options_json : "");
    });
}

const char *ryn_sim_family(void) {
    thread_local std::string family;
    Hold hold(sim().mutex());
    try {
        family = std::string(sim().device().family());
    } catch (...) {
        return nullptr;
    }
    return family.c_str();
}

ryn_handle ryn_sim_handle(void) {
    Hold hold(sim().mutex());
    return sim().handle();
}

ryn_handle ryn_sim_reset(void) {
    return guarded(RYN_INVALID_HANDLE, [&] { return sim().reset(); });
}

int32_t ryn_sim_save(const char *path) {
    return guarded(int32_t{0}, [&] {
        sim().save(text_arg(path, "path"));
        return int32_t{1};
    });
}

ryn_handle ryn_sim_load(const char *path) {
    return guarded(RYN_INVALID_HANDLE, [&] { return sim().load(text_arg(path, "path")); });
}

int32_t ryn_sim_get_record(const char *name, void *buf, size_t cap, size_t *size) {
    return guarded(int32_t{0}, [&] {
        std::string n = text_arg(name, "record name");
        if (!size) throw SimError("size is null");
        if (!buf && cap) throw SimError("buffer is null");
        const ryn::sim::Bytes *r = sim().device().record(n);
        if (!r) throw SimError("the device holds no record \"" + n + "\"");
        *size = r->size();
        if (cap) std::memcpy(buf, r->data(), std::min(cap, r->size()));
        return int32_t{1};
    });
}

int32_t ryn_sim_set_record(const char *name, const void *buf, size_t size) {
    return guarded(int32_t{0}, [&] {
        std::string n = text_arg(name, "record name");
        if (!buf && size) throw SimError("buffer is null");
        const auto *b = static_cast<const uint8_t *>(buf);
        sim().device().set_record(n, size ? ryn::sim::Bytes(b, b + size) : ryn::sim::Bytes());
        return int32_t{1};
    });
}

int32_t ryn_sim_fail(const char *operation, uint32_t call, uint32_t times) {
    return guarded(int32_t{0}, [&] {
        return arm({FaultKind::fail, text_arg(operation, "operation"), call, times, 0, 0, 0});
    });
}

int32_t ryn_sim_fail_value(const char *operation, uint32_t call, uint32_t times, int64_t value) {
    return guarded(int32_t{0}, [&] {
        return arm({FaultKind::value, text_arg(operation, "operation"), call, times, value, 0, 0});
    });
}

int32_t ryn_sim_corrupt(const char *operation, uint32_t call, uint32_t times, uint32_t offset,
                        uint32_t count) {
    return guarded(int32_t{0}, [&] {
        return arm(
            {FaultKind::corrupt, text_arg(operation, "operation"), call, times, 0, offset, count});
    });
}

int32_t ryn_sim_stall(const char *operation, uint32_t call) {
    return guarded(int32_t{0}, [&] {
        return arm({FaultKind::stall, text_arg(operation, "operation"), call, 0, 0, 0, 0});
    });
}

void ryn_sim_clear_faults(void) {
    Hold hold(sim().mutex());
    sim().faults().clear();
}

size_t ryn_sim_trace_size(void) {
    Hold hold(sim().mutex());
    return sim().trace_size();
}

const char *ryn_sim_trace_op(size_t index) {
    Hold hold(sim().mutex());
    return entry_text(sim().trace_entry(index), true);
}

const char *ryn_sim_trace_text(size_t index) {
    Hold hold(sim().mutex());
    return entry_text(sim().trace_entry(index), false);
}

void ryn_sim_trace_clear(void) {
    Hold hold(sim().mutex());
    sim().clear_trace();
}

size_t ryn_sim_saved_trace_size(void) {
    Hold hold(sim().mutex());
    return sim().saved_trace_size();
}

const char *ryn_sim_saved_trace_op(size_t index) {
    Hold hold(sim().mutex());
    return entry_text(sim().saved_trace_entry(index), true);
}

const char *ryn_sim_saved_trace_text(size_t index) {
    Hold hold(sim().mutex());
    return entry_text(sim().saved_trace_entry(index), false);
}

const char *ryn_sim_last_error(void) {
    return last_error.c_str();
}

}  // extern "C"
