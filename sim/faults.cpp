#include "sim/faults.h"

#include "sim/device.h"
#include "sim/json_util.h"
#include "sim/operations.h"

namespace ryn::sim {

namespace {

constexpr std::string_view kKindNames[] = {"fail", "value", "corrupt", "stall"};

std::string_view kind_name(FaultKind kind) {
    return kKindNames[static_cast<size_t>(kind)];
}

}  // namespace

void Faults::arm(Fault fault) {
    const Operation *op = find_operation(fault.operation);
    if (!op) throw SimError("unknown operation \"" + fault.operation + "\"");
    if (fault.call == 0) throw SimError("calls are counted from 1");
    switch (fault.kind) {
        case FaultKind::fail:
            break;
        case FaultKind::value:
            if (op->returns_function)
                throw SimError(fault.operation +
                               " returns a function: only a plain failure (null) applies");
            break;
        case FaultKind::corrupt:
            if (!op->hands_back_data)
                throw SimError(fault.operation + " hands back no data to corrupt");
            if (fault.count == 0) throw SimError("a corruption flips at least one byte");
            break;
        case FaultKind::stall:
            if (!op->poll) throw SimError(fault.operation + " is not a poll");
            fault.times = 0;
            break;
    }
    faults_.push_back(std::move(fault));
}

uint32_t Faults::count(std::string_view operation) {
    auto it = calls_.find(operation);
    if (it == calls_.end()) it = calls_.emplace(std::string(operation), 0).first;
    if (it->second < UINT32_MAX) ++it->second;
    return it->second;
}

const Fault *Faults::find(std::string_view operation, uint32_t n, FaultKind a, FaultKind b) const {
    for (const Fault &f : faults_)
        if ((f.kind == a || f.kind == b) && f.operation == operation && f.covers(n)) return &f;
    return nullptr;
}

const Fault *Faults::failure(std::string_view operation, uint32_t n) const {
    return find(operation, n, FaultKind::fail, FaultKind::value);
}

const Fault *Faults::corruption(std::string_view operation, uint32_t n) const {
    return find(operation, n, FaultKind::corrupt, FaultKind::corrupt);
}

bool Faults::stalled(std::string_view operation, uint32_t n) const {
    return find(operation, n, FaultKind::stall, FaultKind::stall) != nullptr;
}

nlohmann::json Faults::save() const {
    nlohmann::json list = nlohmann::json::array();
    for (const Fault &f : faults_) {
        nlohmann::json j = {{"kind", kind_name(f.kind)},
                            {"operation", f.operation},
                            {"call", f.call},
                            {"times", f.times}};
        if (f.kind == FaultKind::value) j["value"] = f.value;
        if (f.kind == FaultKind::corrupt) {
            j["offset"] = f.offset;
            j["count"] = f.count;
        }
        list.push_back(std::move(j));
    }
    return list;
}

void Faults::load(const nlohmann::json &faults) {
    if (!faults.is_array()) throw SimError("state \"faults\": must be an array");
    std::vector<Fault> loaded;
    Faults checked;
    for (size_t i = 0; i < faults.size(); ++i) {
        const nlohmann::json &j = faults[i];
        std::string what = "state \"faults\"[" + std::to_string(i) + "]";
        check_object(j, {"kind", "operation", "call", "times", "value", "offset", "count"}, what);
        Fault f;
        std::string kind = to_string(j.value("kind", nlohmann::json()), what + " kind");
        size_t k = 0;
        while (k < std::size(kKindNames) && kKindNames[k] != kind) ++k;
        if (k == std::size(kKindNames)) throw SimError(what + ": unknown kind \"" + kind + "\"");
        f.kind = static_cast<FaultKind>(k);
        f.operation = to_string(j.value("operation", nlohmann::json()), what + " operation");
        f.call = static_cast<uint32_t>(
            to_uint(j.value("call", nlohmann::json()), 1, UINT32_MAX, what + " call"));
        f.times = static_cast<uint32_t>(
            to_uint(j.value("times", nlohmann::json()), 0, UINT32_MAX, what + " times"));
        if (f.kind == FaultKind::value)
            f.value = to_int(j.value("value", nlohmann::json()), what + " value");
        if (f.kind == FaultKind::corrupt) {
            f.offset = static_cast<uint32_t>(
                to_uint(j.value("offset", nlohmann::json()), 0, UINT32_MAX, what + " offset"));
            f.count = static_cast<uint32_t>(
                to_uint(j.value("count", nlohmann::json()), 0, UINT32_MAX, what + " count"));
        }
        try {
            checked.arm(std::move(f));
        } catch (const SimError &e) {
            throw SimError(what + ": " + e.what());
        }
    }
    faults_ = std::move(checked.faults_);
}

}  // namespace ryn::sim
