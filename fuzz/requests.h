// Support of the fuzz targets that run whole requests on the simulated
// device: the request's messages kept (formatted as a host would) to be shown
// with a finding, the bytes of a file a request wrote, and the device's
// records read and remembered.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "ryn_usr.h"
#include "sim/ryn_sim.h"
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

// Reads a record of the simulated device into out, whose storage is kept
// from input to input: one call when the record still fits it. False when
// the device has no such record.
inline bool read_record(const char *name, std::vector<uint8_t> &out) {
    size_t size = 0;
    if (ryn_sim_get_record(name, out.data(), out.size(), &size) != 1) return false;
    if (size > out.size()) {
        out.resize(size);
        if (ryn_sim_get_record(name, out.data(), out.size(), &size) != 1) return false;
    }
    out.resize(size);
    return true;
}

// A hash of a record's bytes: what a target keeps of each record it has taken
// through a GET and SET round trip (a copy of each took hundreds of megabytes
// in a run; a record whose hash collides with an earlier one only skips its
// round trip).
inline size_t record_hash(const std::vector<uint8_t> &record) {
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char *>(record.data()), record.size()));
}

}  // namespace ryn::fuzz
