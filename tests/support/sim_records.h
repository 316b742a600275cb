// Test support: the simulated device's records and call trace.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/ryn_sim.h"

namespace ryn::test {

// The raw bytes of a record of the current simulated device ("cali", "1/model-cfg", ...).
inline std::vector<uint8_t> record(const std::string &name) {
    size_t size = 0;
    EXPECT_EQ(ryn_sim_get_record(name.c_str(), nullptr, 0, &size), 1) << ryn_sim_last_error();
    std::vector<uint8_t> bytes(size);
    ryn_sim_get_record(name.c_str(), bytes.data(), bytes.size(), &size);
    return bytes;
}

inline void set_record(const std::string &name, const std::vector<uint8_t> &bytes) {
    ASSERT_EQ(ryn_sim_set_record(name.c_str(), bytes.data(), bytes.size()), 1)
        << ryn_sim_last_error();
}

// The calls traced since the last ryn_sim_trace_clear, as text.
inline std::vector<std::string> trace() {
    std::vector<std::string> out;
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i) out.emplace_back(ryn_sim_trace_text(i));
    return out;
}

inline bool traced(const std::string &operation) {
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i)
        if (ryn_sim_trace_op(i) == operation) return true;
    return false;
}

}  // namespace ryn::test
