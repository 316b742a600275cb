// Fuzzes the text readers: scan with the formats the library uses, the
// number conversions and the UTF-8 decoder on arbitrary input, scan with a
// fuzzed format whose conversions are all suppressed, and the formatter with
// a fuzzed format that takes no arguments.
//
// Input: format bytes, a 0 byte, input bytes (without a 0 byte, all of it is
// input and the format is empty). Each byte is widened to one char16_t; the
// input is also decoded as UTF-8 to reach non-ASCII characters.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/text.h"

namespace {

using namespace ryn::text;

std::u16string widen(std::string_view s) {
    return std::u16string(s.begin(), s.end());
}

// Whether every '%' of fmt is "%%" (nothing reads an argument).
bool takes_no_arguments(const std::u16string &fmt) {
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != u'%') continue;
        if (i + 1 >= fmt.size() || fmt[i + 1] != u'%') return false;
        ++i;
    }
    return true;
}

// Whether every conversion of a scan format is suppressed ("%*...") or "%%".
bool assigns_nothing(const std::u16string &fmt) {
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != u'%') continue;
        if (i + 1 >= fmt.size()) return true;  // a trailing '%' is malformed: nothing is read
        if (fmt[i + 1] != u'%' && fmt[i + 1] != u'*') return false;
        ++i;
    }
    return true;
}

void scan_known_formats(const std::u16string &in) {
    unsigned u[6] = {};
    int d = 0;
    float f = 0;
    char16_t word[16];
    char16_t name[128];
    scan(in, u"param_%04u=%s", &u[0], name, sizeof name / sizeof name[0]);
    scan(in, u"FW_PARAM_%04u=%d", &u[0], &d);
    scan(in, u"%[a-z],%u,%u,%u,%u", word, sizeof word / sizeof word[0], &u[0], &u[1], &u[2], &u[3]);
    scan(in, u"%[a-z],cam%u,%u,%u,%u,%u", word, sizeof word / sizeof word[0], &u[0], &u[1], &u[2],
         &u[3], &u[4]);
    scan(in, u"%X,%d,%X,%s", &u[0], &d, &u[1], name, sizeof name / sizeof name[0]);
    scan(in, u"%e", &f);
    scan(in, u"%x", &u[0]);
    scan(in, u"%u", &u[0]);
    size_t end = 0;
    to_ulong_auto(in, &end);
    if (end > in.size()) __builtin_trap();
    to_double(in, &end);
    if (end > in.size()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char *>(data), size);
    size_t split = bytes.find('\0');
    std::string_view fmt_bytes =
        split == std::string_view::npos ? std::string_view{} : bytes.substr(0, split);
    std::string_view in_bytes = split == std::string_view::npos ? bytes : bytes.substr(split + 1);

    std::u16string in = widen(in_bytes);
    scan_known_formats(in);
    std::u16string decoded = from_utf8(in_bytes);
    scan_known_formats(decoded);
    if (from_utf8(to_utf8(decoded)) != decoded) __builtin_trap();  // decoded text is well formed

    std::u16string fmt = widen(fmt_bytes);  // no 0 inside: it ends at the split
    if (assigns_nothing(fmt)) scan(in, fmt.c_str());
    if (takes_no_arguments(fmt)) {
        std::u16string want;
        for (size_t i = 0; i < fmt.size(); ++i) want.push_back(fmt[i] == u'%' ? fmt[++i] : fmt[i]);
        char16_t buf[64];
        int n = format_to(buf, sizeof buf / sizeof buf[0], fmt.c_str());
        if (n != static_cast<int>(want.size()) || std::u16string_view(buf) != want.substr(0, 63))
            __builtin_trap();
    }
    return 0;
}
