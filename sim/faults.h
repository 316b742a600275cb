// Armed faults and the per-operation call counters they are matched against.
// The armed faults persist in the state file; the counters start from 0 in every
// process (and at every create or load).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace ryn::sim {

enum class FaultKind { fail, value, corrupt, stall };

struct Fault {
    FaultKind kind = FaultKind::fail;
    std::string operation;
    uint32_t call = 1;    // first call affected, counted from 1
    uint32_t times = 1;   // calls affected; 0: every call from `call` on
    int64_t value = 0;    // kind value: the result returned instead
    uint32_t offset = 0;  // kind corrupt: first byte flipped
    uint32_t count = 0;   // kind corrupt: bytes flipped

    bool covers(uint32_t n) const {
        return n >= call && (times == 0 || uint64_t{n} < uint64_t{call} + times);
    }
};

class Faults {
  public:
    // Checks the fault against the operation table and arms it.
    void arm(Fault fault);
    void clear() { faults_.clear(); }
    void restart_counting() { calls_.clear(); }

    // Counts one call of the operation and returns its number (from 1).
    uint32_t count(std::string_view operation);
    // The fail or value fault that covers call n, or null.
    const Fault *failure(std::string_view operation, uint32_t n) const;
    // The corruption that covers call n, or null.
    const Fault *corruption(std::string_view operation, uint32_t n) const;
    bool stalled(std::string_view operation, uint32_t n) const;

    nlohmann::json save() const;
    // Replaces the armed faults by those of a state file (checked like arm).
    void load(const nlohmann::json &faults);

  private:
    const Fault *find(std::string_view operation, uint32_t n, FaultKind a, FaultKind b) const;

    std::vector<Fault> faults_;
    std::map<std::string, uint32_t, std::less<>> calls_;
};

}  // namespace ryn::sim
