// The compile-time argument check. A format that does not match its arguments
// does not compile, so those cases are shown as comments with the error.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "text/checked_format.h"
#include "text/text.h"

namespace ryn::text {
namespace {

// Shaped like the library's message sink.
template <class... A>
std::u16string report(format_string<std::type_identity_t<A>...> fmt, A... args) {
    return format(fmt.get(), args...);
}

// Accepted at compile time (each line is a constant expression).
static_assert(format_string<>(u"no arguments, 100%%\n").get()[0] == u'n');
static_assert(format_string<unsigned, unsigned>(u"0x%08x (header) != 0x%08x (file)\n").get() !=
              nullptr);
static_assert(format_string<int, unsigned>(u"0x%0*x").get() != nullptr);
static_assert(format_string<const char16_t *>(u"[Warning] Missing %s.\n").get() != nullptr);
static_assert(format_string<float, double>(u"%+.10e %g").get() != nullptr);
static_assert(format_string<uint8_t, int16_t, uint16_t>(u"%02x %hd %hu").get() != nullptr);
static_assert(format_string<long, unsigned long long, char16_t, void *>(u"%ld %llx %c %p").get() !=
              nullptr);
static_assert(format_string<int, int, double>(u"%-*.*f").get() != nullptr);

// Rejected; the error names the reason:
//   report(u"%u\n");                     // call to too_few_arguments()
//   report(u"%u\n", 1u, 2u);             // call to too_many_arguments()
//   report(u"%s\n", "narrow");           // argument_does_not_match_conversion()
//   report(u"%d\n", int64_t{1});         // argument_does_not_match_conversion(): 64 bits for %d
//   report(u"%ld\n", 1);                 // argument_does_not_match_conversion(): int for %ld
//   report(u"%hx\n", 0x12345u);          // argument_does_not_match_conversion(): 32 bits for %hx
//   report(u"%e\n", 1);                  // argument_does_not_match_conversion()
//   report(u"%c\n", 'a');                // argument_does_not_match_conversion(): narrow char
//   report(u"%d\n", true);               // argument_does_not_match_conversion(): bool
//   report(u"%*d\n", 4u, 1);             // star_argument_is_not_int()
//   report(u"%q\n", 1);                  // malformed_format()

TEST(CheckedFormat, ReportFormatsCheckedArguments) {
    const char16_t *name = u"cam0_thr";
    EXPECT_EQ(report(u"[Warning] Missing %s.\n", name), u"[Warning] Missing cam0_thr.\n");
    EXPECT_EQ(report(u"0x%0*x,%+.10e,%c,%hu,%lld", 4, 0x123u, 1.25f, u'z', uint16_t{7}, -1LL),
              u"0x0123,+1.2500000000e+000,z,7,-1");
    EXPECT_EQ(report(u"done\n"), u"done\n");
}

}  // namespace
}  // namespace ryn::text
