// Messages and progress of a library operation.
#include "host.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "host_os.h"
#include "text/text.h"

namespace ryn::cli {

namespace {

using wstring = std::basic_string<ryn_wchar>;

std::string utf8(const ryn_wchar *s, size_t n) {
    static_assert(sizeof(ryn_wchar) == sizeof(char16_t));
    return text::to_utf8(std::u16string_view(reinterpret_cast<const char16_t *>(s), n));
}

// Formats a message as the library's own sink does. The first try uses a
// fixed buffer; a longer message is formatted again into one that fits.
// Returns false when the library calls the format malformed.
bool format_message(const ryn_wchar *format, va_list args, wstring &out) {
    out.assign(256, ryn_wchar{});
    va_list copy;
    va_copy(copy, args);
    int n = ryn_format_msg(out.data(), out.size(), format, copy);
    va_end(copy);
    if (n >= 0 && static_cast<size_t>(n) >= out.size()) {
        out.assign(static_cast<size_t>(n) + 1, ryn_wchar{});
        va_copy(copy, args);
        n = ryn_format_msg(out.data(), out.size(), format, copy);
        va_end(copy);
    }
    if (n < 0) return false;
    out.resize(static_cast<size_t>(n));
    return true;
}

constexpr int bar_width = 30;

}  // namespace

Host::Host(bool show_progress) : show_progress_(show_progress), bar_(os::stderr_is_terminal()) {}

Host::~Host() { finish(); }

void Host::on_message(void *user_data, const ryn_wchar *format, va_list args) {
    // Called from inside the library: nothing may escape from here.
    try {
        static_cast<Host *>(user_data)->message(format, args);
    } catch (...) {
        std::fputs("ryn: out of memory while printing a message\n", stderr);
    }
}

void Host::on_progress(void *user_data, uint32_t step, uint32_t total) {
    try {
        static_cast<Host *>(user_data)->progress(step, total);
    } catch (...) {
    }
}

void Host::message(const ryn_wchar *format, va_list args) {
    got_message_ = true;
    if (!format) return;
    wstring text;
    erase_bar();
    if (format_message(format, args, text)) {
        const std::string line = utf8(text.data(), text.size());
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    } else {
        const std::string raw = utf8(format, std::char_traits<ryn_wchar>::length(format));
        std::fprintf(stderr, "ryn: the library sent a message with a malformed format: %s\n", raw.c_str());
    }
    draw_bar();
}

void Host::progress(uint32_t step, uint32_t total) {
    step_ = step;
    total_ = total;
    if (bar_) {
        draw_bar();
    } else {
        std::fprintf(stderr, "step %u/%u\n", step, total);
        std::fflush(stderr);
    }
}

void Host::draw_bar() {
    if (!bar_ || total_ == 0) return;
    const uint32_t shown = step_ > total_ ? total_ : step_;
    const int filled = static_cast<int>(uint64_t{shown} * bar_width / total_);
    std::string bar = "\r[" + std::string(static_cast<size_t>(filled), '#') +
                      std::string(static_cast<size_t>(bar_width - filled), ' ') + "] " +
                      std::to_string(step_) + "/" + std::to_string(total_);
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
    bar_drawn_ = true;
}

void Host::erase_bar() {
    if (!bar_drawn_) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    bar_drawn_ = false;
}

void Host::finish() {
    if (bar_drawn_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        bar_drawn_ = false;
    }
    total_ = 0;
}

}  // namespace ryn::cli
