#include "sim/simulator.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "sim/json_util.h"
#include "sim/operations.h"

namespace ryn::sim {

namespace {

// Issued handles carry this tag in their upper half and the issue number in
// their lower half, so a handle from elsewhere (or a stale one) is told apart.
constexpr uint64_t kHandleTag = uint64_t{0x4844} << 32;
constexpr uint32_t kLastHandleNumber = UINT32_MAX - 1;

// The trace stops growing here so that a runaway caller cannot exhaust memory.
constexpr size_t kTraceCapacity = size_t{1} << 20;

// A state file larger than this is refused before it is parsed.
constexpr uintmax_t kMaxStateFileSize = uintmax_t{64} << 20;

// A state file keeps at most this many calls of its run's trace, and then one
// entry that says how many were left out, so that it stays far below the size
// a load accepts (the longest text of a call is a few hundred bytes).
constexpr size_t kSavedTraceCapacity = size_t{1} << 12;
constexpr std::string_view kTraceCutOperation = "trace";

constexpr std::string_view kStateFormat = "ryn-sim-state";
constexpr uint64_t kStateFormatVersion = 1;

std::string show_result(const Operation &op, int64_t value) {
    if (op.returns_function) return value ? "fn" : "null";
    char text[32];
    if (op.hex_result)
        std::snprintf(text, sizeof text, "0x%x",
                      static_cast<unsigned>(static_cast<uint32_t>(value)));
    else
        std::snprintf(text, sizeof text, "%d", static_cast<int>(static_cast<int32_t>(value)));
    return text;
}

// The state file's name as the OS takes it: the control API's paths are
// UTF-8, which a Windows host opens through the wide calls (its narrow calls
// would read them in the ANSI code page).
std::filesystem::path os_path(const std::string &utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string read_state_file(const std::string &name) {
    const std::filesystem::path path = os_path(name);
    std::error_code ec;
    uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) throw SimError("cannot read: " + ec.message());
    if (size > kMaxStateFileSize)
        throw SimError("larger than any state file (" + std::to_string(size) + " bytes)");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw SimError("cannot open for reading");
    std::string text(static_cast<size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(size));
    if (static_cast<uintmax_t>(in.gcount()) != size) throw SimError("cannot read it whole");
    return text;
}

// Writes the file beside its final name, flushes it to disk and renames it
// over the old one, so a crash never leaves a half-written state file.
void write_atomically(const std::string &path, const std::string &text) {
#if defined(_WIN32)
    const std::filesystem::path temp = os_path(path + ".tmp" + std::to_string(_getpid()));
    std::FILE *f = _wfopen(temp.c_str(), L"wb");
#else
    const std::filesystem::path temp = os_path(path + ".tmp" + std::to_string(getpid()));
    std::FILE *f = std::fopen(temp.c_str(), "wb");
#endif
    if (!f) throw SimError("cannot write state file " + path + ": " + std::strerror(errno));
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
#if defined(_WIN32)
    ok = ok && _commit(_fileno(f)) == 0;
#else
    ok = ok && fsync(fileno(f)) == 0;
#endif
    int saved = errno;
    ok = std::fclose(f) == 0 && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(temp, os_path(path), ec);
    if (!ok || ec) {
        std::filesystem::remove(temp, ec);
        throw SimError("cannot write state file " + path + ": " +
                       (ok ? ec.message() : std::string(std::strerror(saved))));
    }
}

const nlohmann::json &member(const nlohmann::json &obj, const char *key) {
    auto it = obj.find(key);
    if (it == obj.end()) throw SimError(std::string("missing \"") + key + "\"");
    return *it;
}

// The trace as the state file keeps it: [{"op": ..., "text": ...}, ...].
template <class Entries>
nlohmann::json save_trace(const Entries &entries) {
    nlohmann::json list = nlohmann::json::array();
    for (const TraceEntry &entry : entries) {
        if (list.size() == kSavedTraceCapacity) {
            list.push_back(
                {{"op", kTraceCutOperation},
                 {"text", "trace cut: " + std::to_string(entries.size() - kSavedTraceCapacity) +
                              " later calls are not saved"}});
            break;
        }
        list.push_back({{"op", entry.first}, {"text", entry.second}});
    }
    return list;
}

std::vector<TraceEntry> load_trace(const nlohmann::json &list) {
    if (!list.is_array()) throw SimError("\"trace\" must be an array");
    if (list.size() > kSavedTraceCapacity + 1)
        throw SimError("\"trace\" holds more calls than a state file keeps");
    std::vector<TraceEntry> entries;
    entries.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        std::string what = "\"trace\"[" + std::to_string(i) + "]";
        check_object(list[i], {"op", "text"}, what);
        entries.emplace_back(to_string(list[i].value("op", nlohmann::json()), what + " op"),
                             to_string(list[i].value("text", nlohmann::json()), what + " text"));
    }
    return entries;
}

}  // namespace

std::string show_handle(ryn_handle handle) {
    if ((handle & ~uint64_t{UINT32_MAX}) == kHandleTag && (handle & UINT32_MAX) != 0)
        return "h" + std::to_string(handle & UINT32_MAX);
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(handle));
    return text;
}

Simulator &Simulator::instance() {
    static Simulator simulator;
    return simulator;
}

Device &Simulator::device() {
    if (!device_) throw SimError("no device: create or load one first");
    return *device_;
}

void Simulator::install(std::unique_ptr<Device> device) {
    device_ = std::move(device);
    handle_ = RYN_INVALID_HANDLE;
    faults_.clear();
    faults_.restart_counting();
    trace_.clear();
    trace_changed_ = false;
    saved_trace_.clear();
}

void Simulator::clear_trace() {
    trace_.clear();
    trace_changed_ = true;
}

ryn_handle Simulator::open_new_handle() {
    if (handle_counter_ >= kLastHandleNumber) throw SimError("no device handle left to issue");
    ++handle_counter_;
    handle_ = kHandleTag | handle_counter_;
    return handle_;
}

std::string Simulator::handle_problem(ryn_handle handle) const {
    if (!device_) return "no device";
    if (handle == handle_ && handle_ != RYN_INVALID_HANDLE) return {};
    if ((handle & ~uint64_t{UINT32_MAX}) == kHandleTag && (handle & UINT32_MAX) != 0 &&
        (handle & UINT32_MAX) <= handle_counter_)
        return "stale handle";
    return "invalid handle";
}

void Simulator::trace(std::string_view operation, std::string text) {
    trace_changed_ = true;
    if (trace_.size() < kTraceCapacity) {
        trace_.emplace_back(std::string(operation), std::move(text));
    } else if (trace_.size() == kTraceCapacity) {
        trace_.emplace_back("trace", "trace full: later calls are not recorded");
    }
}

int64_t Simulator::run(std::string_view operation, const ryn_handle *handle,
                       const std::string &args, Result (*invoke)(void *, Device *, Call &),
                       void *body) noexcept {
    std::lock_guard hold(mutex_);
    try {
        const Operation *known = find_operation(operation);
        if (!known) throw SimError("operation missing from the operation table");
        const Operation &op = *known;
        uint32_t n = faults_.count(operation);
        std::string shown = std::string(operation) + "(" + args + ") = ";
        if (handle) {
            std::string why = handle_problem(*handle);
            if (!why.empty()) {
                trace(operation, shown + show_result(op, 0) + " [" + why + "]");
                return 0;
            }
        }
        if (const Fault *f = faults_.failure(operation, n)) {
            int64_t value = f->kind == FaultKind::value ? f->value : 0;
            trace(operation, shown + show_result(op, value) + " [fault]");
            return value;
        }
        Call call;
        call.stalled = faults_.stalled(operation, n);
        Result r = invoke(body, device_.get(), call);
        if (r.failed()) {
            trace(operation, shown + show_result(op, 0) + " [" + r.reason + "]");
            return 0;
        }
        std::string note;
        if (const Fault *f = faults_.corruption(operation, n)) {
            for (uint64_t i = f->offset;
                 i < uint64_t{f->offset} + f->count && i < call.output.size(); ++i)
                call.output[i] ^= 0xFF;
            note = " [corrupted]";
        }
        if (call.stalled) note += " [stalled]";
        trace(operation, shown + show_result(op, r.value) + note);
        return r.value;
    } catch (const std::exception &e) {
        try {
            trace(operation,
                  std::string(operation) + "(" + args + ") = 0 [internal error: " + e.what() + "]");
        } catch (...) {
        }
        return 0;
    } catch (...) {
        return 0;
    }
}

ryn_handle Simulator::create(std::string_view family, std::string_view options_json) {
    nlohmann::json options =
        options_json.empty() ? nlohmann::json::object() : parse_json(options_json, "options");
    std::unique_ptr<Device> device = make_device(family, options);
    install(std::move(device));
    return open_new_handle();
}

ryn_handle Simulator::reset() {
    Device &dev = device();
    uint32_t n = faults_.count(kResetOperation);
    if (const Fault *f = faults_.failure(kResetOperation, n)) {
        // The device did not come back: the old handle is closed, nothing else changes.
        handle_ = RYN_INVALID_HANDLE;
        ryn_handle value =
            f->kind == FaultKind::value ? static_cast<ryn_handle>(f->value) : RYN_INVALID_HANDLE;
        trace(kResetOperation, "reset() = " + show_handle(value) + " [fault]");
        return value;
    }
    dev.reset();
    ryn_handle h = open_new_handle();
    trace(kResetOperation, "reset() = " + show_handle(h));
    return h;
}

void Simulator::save(const std::string &path) const {
    if (!device_) throw SimError("no device to save");
    nlohmann::json records = nlohmann::json::object();
    for (const auto &[name, bytes] : device_->records()) records[name] = to_hex(bytes);
    const auto &pending = device_->pending_mode();
    nlohmann::json state = {
        {"format", kStateFormat},
        {"format_version", kStateFormatVersion},
        {"family", device_->family()},
        {"options", device_->options()},
        {"handle_counter", handle_counter_},
        {"fw_mode",
         {{"current", device_->mode()},
          {"pending", pending ? nlohmann::json(*pending) : nlohmann::json()}}},
        {"records", std::move(records)},
        {"model", device_->save_state()},
        {"faults", faults_.save()},
        {"trace", trace_changed_ ? save_trace(trace_) : save_trace(saved_trace_)},
    };
    // A text that is not UTF-8 (a trace reason taken from outside) is saved
    // with replacement characters rather than failing the save.
    write_atomically(path, state.dump(1, ' ', false, nlohmann::json::error_handler_t::replace));
}

ryn_handle Simulator::load(const std::string &path) {
    try {
        nlohmann::json state = parse_json(read_state_file(path), "not a state file");
        check_object(state,
                     {"format", "format_version", "family", "options", "handle_counter", "fw_mode",
                      "records", "model", "faults", "trace"},
                     "state");
        if (to_string(member(state, "format"), "\"format\"") != kStateFormat)
            throw SimError("\"format\" is not \"" + std::string(kStateFormat) + "\"");
        to_uint(member(state, "format_version"), kStateFormatVersion, kStateFormatVersion,
                "\"format_version\"");
        std::string family = to_string(member(state, "family"), "\"family\"");
        std::unique_ptr<Device> dev = make_device(family, member(state, "options"));

        const nlohmann::json &records = member(state, "records");
        if (!records.is_object()) throw SimError("\"records\" must be an object");
        dev->clear_records();
        for (const auto &item : records.items()) {
            std::string what = "record \"" + item.key() + "\"";
            dev->set_record(item.key(), from_hex(to_string(item.value(), what), what));
        }
        dev->check_complete();

        const nlohmann::json &modes = member(state, "fw_mode");
        check_object(modes, {"current", "pending"}, "\"fw_mode\"");
        std::optional<std::string> pending;
        if (modes.contains("pending") && !modes["pending"].is_null())
            pending = to_string(modes["pending"], "\"fw_mode\" pending");
        dev->restore_modes(to_string(member(modes, "current"), "\"fw_mode\" current"),
                           std::move(pending));

        dev->load_state(state.contains("model") ? state["model"] : nlohmann::json::object());
        Faults faults;
        faults.load(state.contains("faults") ? state["faults"] : nlohmann::json::array());
        auto counter = static_cast<uint32_t>(to_uint(member(state, "handle_counter"), 0,
                                                     kLastHandleNumber - 1, "\"handle_counter\""));
        // State files saved before the trace was kept have none.
        std::vector<TraceEntry> saved_trace =
            state.contains("trace") ? load_trace(state["trace"]) : std::vector<TraceEntry>();

        install(std::move(dev));
        faults_ = std::move(faults);
        saved_trace_ = std::move(saved_trace);
        handle_counter_ = std::max(handle_counter_, counter);
        return open_new_handle();
    } catch (const SimError &e) {
        throw SimError("state file " + path + ": " + e.what());
    }
}

}  // namespace ryn::sim
