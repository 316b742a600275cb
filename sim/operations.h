// The operations the simulator traces and can fault: every ryn_hid function,
// the record readers and writers the *_fn getters hand out, and the pseudo
// operation "reset".
#pragma once

#include <string_view>

namespace ryn::sim {

struct Operation {
    std::string_view name;
    bool hands_back_data;   // fills a caller buffer: a corruption fault applies
    bool poll;              // polled until the device finishes: a stall applies
    bool returns_function;  // a *_fn getter: a fault can only make it null
    bool hex_result;        // the trace shows the result in hexadecimal
};

// The operation of that name, or null.
const Operation *find_operation(std::string_view name);

inline constexpr std::string_view kResetOperation = "reset";

}  // namespace ryn::sim
