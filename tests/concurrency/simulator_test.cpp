// Host threads using the simulated device library at once: its calls take
// turns on the one device, the trace keeps every call whole, and the texts it
// hands back stay valid while other threads go on calling.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ryn_hid.h"
#include "sim/ryn_sim.h"

namespace {

std::string handle_text(ryn_handle h) {
    return "h" + std::to_string(h & 0xFFFFFFFF);
}

// Device calls, trace reads and fault arming from several threads: every call
// is traced exactly once and whole, and a trace text handed out before stays
// as it was while the trace grows.
TEST(SimConcurrency, CallsFromSeveralThreadsAreEachTracedWhole) {
    const ryn_handle h = ryn_sim_create("base", nullptr);
    ASSERT_NE(h, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    ASSERT_EQ(ryn_check_platform(h), 0x5A01u);
    const char *first = ryn_sim_trace_text(0);
    ASSERT_NE(first, nullptr);
    const std::string first_text = first;

    constexpr int callers = 4, calls = 2000;
    std::vector<std::thread> pool;
    for (int t = 0; t < callers; ++t) {
        pool.emplace_back([h, t] {
            for (int i = 0; i < calls; ++i) {
                uint32_t mode = 0;
                if (t % 2) {
                    EXPECT_EQ(ryn_get_fw_mode(h, &mode), 1);
                    EXPECT_EQ(mode, 0x50u);
                } else {
                    EXPECT_EQ(ryn_check_platform(h), 0x5A01u);
                }
            }
        });
    }
    // A reader walks the growing trace meanwhile.
    pool.emplace_back([] {
        for (int i = 0; i < calls; ++i) {
            const size_t size = ryn_sim_trace_size();
            const char *text = ryn_sim_trace_text(size - 1);
            EXPECT_NE(text, nullptr);
            EXPECT_NE(std::string(text ? text : "").find(") = "), std::string::npos);
        }
    });
    for (std::thread &th : pool) th.join();

    EXPECT_EQ(std::string(first), first_text);
    ASSERT_EQ(ryn_sim_trace_size(), size_t{1 + callers * calls});
    size_t platform = 0, mode = 0;
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i) {
        const std::string op = ryn_sim_trace_op(i), text = ryn_sim_trace_text(i);
        if (op == "ryn_check_platform") {
            EXPECT_EQ(text, "ryn_check_platform(" + handle_text(h) + ") = 0x5a01");
            ++platform;
        } else {
            EXPECT_EQ(text, "ryn_get_fw_mode(" + handle_text(h) + ", buf) = 1");
            ++mode;
        }
    }
    EXPECT_EQ(platform, size_t{1 + callers / 2 * calls});
    EXPECT_EQ(mode, size_t{callers / 2 * calls});
}

// Each thread reads the reason of its own last failure, whatever the other
// threads' calls failed with in between.
TEST(SimConcurrency, LastErrorBelongsToTheCallingThread) {
    ASSERT_NE(ryn_sim_create("base", nullptr), RYN_INVALID_HANDLE) << ryn_sim_last_error();
    constexpr int threads = 4, rounds = 500;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([t] {
            const std::string name = "no_such_operation_" + std::to_string(t);
            for (int i = 0; i < rounds; ++i) {
                if (t == 0) {
                    // A success clears this thread's text only.
                    ASSERT_EQ(ryn_sim_fail("ryn_get_fw_mode", 1000000, 1), 1);
                    ASSERT_STREQ(ryn_sim_last_error(), "");
                    ASSERT_STREQ(ryn_sim_family(), "base");
                    continue;
                }
                ASSERT_EQ(ryn_sim_fail(name.c_str(), 1, 1), 0);
                ASSERT_EQ(std::string(ryn_sim_last_error()), "unknown operation \"" + name + "\"");
            }
        });
    }
    for (std::thread &th : pool) th.join();
    ryn_sim_clear_faults();
}

}  // namespace
