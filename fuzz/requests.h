// Support of the fuzz targets that run whole requests on the simulated
// device: the request's messages kept (formatted as a host would) to be shown
// with a finding, and the bytes of a file a request wrote.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "ryn_usr.h"
#include "text/text.h"

namespace ryn::fuzz {

// The messages of the current request; cleared by the target before each.
inline std::u16string &messages() {
    static std::u16string text;
    return text;
}

// The msg_fn of the targets' requests.
inline void on_message(void *, const ryn_wchar *format, va_list args) {
    ryn_wchar text[1024];
    ryn_format_msg(text, std::size(text), format, args);
    messages() += reinterpret_cast<const char16_t *>(text);
}

// Ends the run with the target's finding, after the last request's messages.
inline void check_request(const char *target, bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "%s", text::to_utf8(messages()).c_str());
    std::fprintf(stderr, "%s: %s\n", target, what);
    std::abort();
}

// The whole file, read in one piece (a character at a time costs more than
// the request that wrote it).
inline std::string contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(in ? static_cast<size_t>(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

}  // namespace ryn::fuzz
