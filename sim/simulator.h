// The simulator: the one device there is, its handles, the armed faults, the
// call trace and the state file. Every ryn_hid function runs through call(),
// which applies the same rules to every operation of every family.
//
// Host threads share the one simulator: every ryn_hid call (in run()) and every
// control function holds its lock, so they take turns.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ryn_hid.h"
#include "sim/device.h"
#include "sim/faults.h"

namespace ryn::sim {

// Makes the device of a family from its options; defined beside the families.
std::unique_ptr<Device> make_device(std::string_view family, const nlohmann::json &options);

// "h<N>" for a handle the simulator issued, the hexadecimal value otherwise.
std::string show_handle(ryn_handle handle);

// One traced call: the operation's name and "name(args) = result [reason]".
using TraceEntry = std::pair<std::string, std::string>;

class Simulator {
  public:
    static Simulator &instance();

    // The lock every control function holds while it runs (run() takes it
    // for the ryn_hid calls). Re-entrant, so a control function may use
    // another one.
    std::recursive_mutex &mutex() { return mutex_; }

    ryn_handle create(std::string_view family, std::string_view options_json);
    ryn_handle reset();
    void save(const std::string &path) const;
    ryn_handle load(const std::string &path);
    ryn_handle handle() const { return handle_; }
    Device &device();  // throws SimError when there is none

    Faults &faults() { return faults_; }

    // Runs one operation: counts it, checks the handle (when it takes one),
    // applies the armed faults, runs the body on the device, and traces
    // "name(args) = result [reason]". Body: Result(Device *, Call &); the
    // device is null for operations without a handle when none exists.
    template <class Body>
    int64_t call(std::string_view operation, const ryn_handle *handle, std::string args,
                 Body &&body) noexcept;

    // The trace of the calls since create, load or clear. Entries are only
    // ever appended, and a deque keeps appended entries in place, so an entry
    // handed out stays valid while other calls add theirs, until a clear.
    size_t trace_size() const { return trace_.size(); }
    const TraceEntry *trace_entry(size_t index) const {
        return index < trace_.size() ? &trace_[index] : nullptr;
    }
    void clear_trace();

    // The trace the state file held when it was loaded: the calls of the run
    // that saved it. Empty after create, and for a file saved without one.
    size_t saved_trace_size() const { return saved_trace_.size(); }
    const TraceEntry *saved_trace_entry(size_t index) const {
        return index < saved_trace_.size() ? &saved_trace_[index] : nullptr;
    }

  private:
    // Why an operation given this handle cannot reach the device, or empty.
    std::string handle_problem(ryn_handle handle) const;
    ryn_handle open_new_handle();
    void trace(std::string_view operation, std::string text);
    void install(std::unique_ptr<Device> device);
    int64_t run(std::string_view operation, const ryn_handle *handle, const std::string &args,
                Result (*invoke)(void *, Device *, Call &), void *body) noexcept;

    std::unique_ptr<Device> device_;
    ryn_handle handle_ = RYN_INVALID_HANDLE;
    uint32_t handle_counter_ = 0;  // handles issued so far, also across state files
    Faults faults_;
    std::deque<TraceEntry> trace_;
    // Whether the trace has changed (a call or a clear) since create or load;
    // a save keeps the loaded trace while it has not.
    bool trace_changed_ = false;
    std::vector<TraceEntry> saved_trace_;
    std::recursive_mutex mutex_;
};

template <class Body>
int64_t Simulator::call(std::string_view operation, const ryn_handle *handle, std::string args,
                        Body &&body) noexcept {
    auto invoke = [](void *b, Device *d, Call &c) -> Result {
        return (*static_cast<std::remove_reference_t<Body> *>(b))(d, c);
    };
    return run(operation, handle, args, invoke, &body);
}

}  // namespace ryn::sim
