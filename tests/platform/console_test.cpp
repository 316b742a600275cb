#include "platform/console.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/env.h"

namespace ryn::platform {
namespace {

TEST(ConsoleWrite, WritesUtf8ToStdout) {
    ::testing::internal::CaptureStdout();
    console_write(u"caf\u00e9 \U0001F600\n");
    console_write(std::u16string(u"?") + char16_t(0xDC00) + u"\n");  // unpaired surrogate
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "caf\xC3\xA9 \xF0\x9F\x98\x80\n?\xEF\xBF\xBD\n");
}

TEST(DebugOutput, GoesToStderrOnlyWhenRynDebugIsSet) {
    const char *saved = std::getenv("RYN_DEBUG");
    const std::optional<std::string> restore =
        saved ? std::optional<std::string>(saved) : std::nullopt;
    const struct {
        const char *value;  // nullptr: unset
        const char *expected;
    } cases[] = {{nullptr, ""},
                 {"", ""},
                 {"1", "Fail to open the file [\xC3\xA9]\n"},
                 {"0", "Fail to open the file [\xC3\xA9]\n"}};
    for (const auto &c : cases) {
        if (c.value)
            test::set_env("RYN_DEBUG", c.value);
        else
            test::unset_env("RYN_DEBUG");
        ::testing::internal::CaptureStderr();
        debug_output(u"Fail to open the file [\u00e9]\n");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.expected)
            << (c.value ? c.value : "(unset)");
    }
    if (restore)
        test::set_env("RYN_DEBUG", restore->c_str());
    else
        test::unset_env("RYN_DEBUG");
}

TEST(SleepMs, HookRecordsWaitsInsteadOfSleeping) {
    std::vector<uint32_t> waits;
    set_sleep_hook([&waits](uint32_t ms) { waits.push_back(ms); });
    sleep_ms(500);
    sleep_ms(100);
    sleep_ms(60'000);  // would stall the suite if it really slept
    set_sleep_hook({});
    EXPECT_EQ(waits, (std::vector<uint32_t>{500, 100, 60'000}));

    sleep_ms(1);  // real sleep again: the removed hook sees nothing
    EXPECT_EQ(waits.size(), 3u);
}

}  // namespace
}  // namespace ryn::platform
