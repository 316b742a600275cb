// Messages and progress of a library operation.
#include "host.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "host_os.h"
#include "report.h"
#include "sim/ryn_sim.h"
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
constexpr auto long_wait = std::chrono::seconds(1);

// The first line of a message without surrounding white space.
std::string first_line(const std::string &text) {
    const size_t from = text.find_first_not_of(" \t\r\n");
    if (from == std::string::npos) return {};
    const size_t to = text.find_first_of("\r\n", from);
    std::string line = text.substr(from, to == std::string::npos ? std::string::npos : to - from);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    return line;
}

// The step's name: the first words of the message, at most five, without a
// trailing colon and without what follows one (values, paths).
std::string step_name(const std::string &text) {
    std::string line = first_line(text);
    if (line.empty() || line[0] == '=') return {};  // a header dump's banner
    const size_t colon = line.find(':');
    if (colon != std::string::npos && colon > 0) line.erase(colon);
    std::string name;
    size_t words = 0, at = 0;
    while (at < line.size() && words < 5) {
        const size_t start = line.find_first_not_of(' ', at);
        if (start == std::string::npos) break;
        size_t end = line.find(' ', start);
        if (end == std::string::npos) end = line.size();
        name += (name.empty() ? "" : " ") + line.substr(start, end - start);
        ++words;
        at = end;
    }
    return name;
}

// What a wait inside the library is for, from the last device call it made.
std::string wait_reason() {
    const size_t calls = ryn_sim_trace_size();
    const char *op = calls ? ryn_sim_trace_op(calls - 1) : nullptr;
    const std::string last = op ? op : "";
    if (last == "ryn_get_reg") return "the serial flash to report its ID";
    if (last == "ryn_get_dev_ctrl") return "the download kit to end";
    if (last == "reset") return "the device to come back from its reset";
    if (last.empty()) return "the device";
    return "the device (last call " + last + ")";
}

// The library's words for a warning, and for a failure or an error.
bool is_warning(const std::string &line) {
    return line.rfind("[Warning]", 0) == 0;
}
bool is_failure(const std::string &line) {
    if (line.empty() || is_warning(line)) return false;
    if (line.rfind("Fail", 0) == 0 || line.rfind("[Error]", 0) == 0) return true;
    // "[Set FW Code]: Failed to ...", "[Patch File Error]: ...", "... cannot be NULL."
    const size_t close = line[0] == '[' ? line.find(']') : std::string::npos;
    if (close != std::string::npos && line.substr(0, close).find("Error") != std::string::npos) return true;
    if (close != std::string::npos && line.compare(close + 1, 10, ": Failed t") == 0) return true;
    // "Flash ID not support.", "Unsupport Mode": refusals without a "Fail" word.
    if (line.find("not support") != std::string::npos || line.rfind("Unsupport", 0) == 0) return true;
    return line.find("cannot be NULL") != std::string::npos || line.find("can not miss") != std::string::npos;
}

// The key of a "[Warning] Missing KEY." message, empty for any other.
std::string missing_key(const std::string &line) {
    const std::string prefix = "[Warning] Missing ";
    if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 2 || line.back() != '.') return {};
    return line.substr(prefix.size(), line.size() - prefix.size() - 1);
}

bool relative_path(const std::string &path) {
    if (path.empty()) return false;
    if (path[0] == '/' || path[0] == '\\') return false;
    return !(path.size() > 1 && path[1] == ':');
}

}  // namespace

Host::Host(bool show_progress)
    : show_progress_(show_progress), bar_(os::stderr_is_terminal()), last_event_(std::chrono::steady_clock::now()) {
    if (show_progress_) watcher_ = std::thread([this] { watch(); });
}

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
    std::lock_guard lock(mutex_);
    got_message_ = true;
    last_event_ = std::chrono::steady_clock::now();
    waiting_for_.clear();
    if (!format) return;
    wstring text;
    erase_bar();
    if (format_message(format, args, text)) {
        const std::string line = utf8(text.data(), text.size());
        const std::string head = first_line(line);
        if (first_failure_.empty() && is_failure(head)) first_failure_ = head;
        const std::string key = missing_key(head);
        // A run of them is held back and summed up where it ends.
        if (key.empty() && !missing_keys_.empty()) print_summed_warnings();
        if (!collected_ && !verbose_ && !key.empty()) {
            missing_keys_.push_back(key);
            missing_message_ = line;
        } else if (collected_) {
            collected_->push_back(line);
        } else {
            Report::of_run().library(line, is_warning(head), !quiet_ || is_warning(head) || is_failure(head));
        }
        if (!head.empty()) last_text_ = line;
        if (const std::string name = step_name(line); !name.empty()) step_name_ = name;
        note_hints(line);
    } else {
        const std::string raw = utf8(format, std::char_traits<ryn_wchar>::length(format));
        Report::of_run().note("ryn: the library sent a message with a malformed format: " + raw, true);
    }
    draw_bar();
}

// Advice the library's messages call for, said in ryn's terms.
void Host::note_hints(const std::string &text) {
    const std::string line = first_line(text);
    if (line.find("Please select \"Complete\" mode") != std::string::npos) {
        hints_.push_back("this image takes a complete (flash-layout) update only: add --mode layout");
        return;
    }
    const std::string driver_prefix = "Set extend flash driver: ";
    if (line.rfind(driver_prefix, 0) == 0) {
        driver_file_ = line.substr(driver_prefix.size());
        return;
    }
    const std::string open_failed = "Fail to open the file [" + driver_file_ + "]";
    if (!driver_file_.empty() && line == open_failed && relative_path(driver_file_)) {
        std::error_code ec;
        const auto here = std::filesystem::current_path(ec).u8string();
        hints_.push_back("the flash driver file '" + driver_file_ +
                         "' of ryn_flash_driver_list.ini is a relative path: it resolves against the "
                         "current folder (" + std::string(here.begin(), here.end()) +
                         "), not the folder of ryn; name it with an absolute path or run ryn from its folder");
    }
}

// A run of "[Warning] Missing KEY." messages: the message itself when it
// stayed alone, otherwise "[Warning] 376 keys missing from the file (first 5:
// a, b, c, d, e); --verbose lists them all".
void Host::print_summed_warnings() {
    Report &report = Report::of_run();
    if (missing_keys_.size() == 1) report.library(missing_message_, true, true);
    if (missing_keys_.size() > 1) {
        constexpr size_t shown = 5;
        std::string names;
        for (size_t i = 0; i < missing_keys_.size() && i < shown; ++i) names += (i ? ", " : "") + missing_keys_[i];
        std::string text = "[Warning] " + std::to_string(missing_keys_.size()) + " keys missing from the file";
        text += missing_keys_.size() > shown ? " (first " + std::to_string(shown) + ": " + names + "); --verbose lists them all\n"
                                             : " (" + names + ")\n";
        report.library(text, true, true);
    }
    missing_keys_.clear();
}

std::string Host::first_failure() const {
    std::lock_guard lock(mutex_);
    return first_failure_;
}

std::string Host::last_line() const {
    std::lock_guard lock(mutex_);
    // The last non-empty line of the last message.
    std::string line;
    size_t at = 0;
    while (at <= last_text_.size()) {
        size_t end = last_text_.find('\n', at);
        if (end == std::string::npos) end = last_text_.size();
        const std::string piece = first_line(last_text_.substr(at, end - at));
        if (!piece.empty()) line = piece;
        at = end + 1;
    }
    return line;
}

void Host::progress(uint32_t step, uint32_t total) {
    std::lock_guard lock(mutex_);
    last_event_ = std::chrono::steady_clock::now();
    waiting_for_.clear();
    // A step is shown once: a repeated report of the same step adds nothing.
    if (step_shown_ && step == step_ && total == total_) return;
    step_shown_ = true;
    step_ = step;
    total_ = total;
    if (bar_) {
        draw_bar();
    } else {
        std::string line = "step " + std::to_string(step) + "/" + std::to_string(total);
        if (!step_name_.empty()) line += " " + step_name_;
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
}

void Host::draw_bar() {
    if (!bar_ || total_ == 0) return;
    const uint32_t shown = step_ > total_ ? total_ : step_;
    const int filled = static_cast<int>(uint64_t{shown} * bar_width / total_);
    std::string bar = "\r\x1b[K[" + std::string(static_cast<size_t>(filled), '#') +
                      std::string(static_cast<size_t>(bar_width - filled), ' ') + "] " +
                      std::to_string(step_) + "/" + std::to_string(total_);
    if (!waiting_for_.empty()) bar += " waiting for " + waiting_for_;
    else if (!step_name_.empty()) bar += " " + step_name_;
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

// Shows a wait of more than a second: on a terminal in the bar, otherwise
// as one line "waiting for ..." per wait.
void Host::watch() {
    std::unique_lock lock(mutex_);
    while (!done_) {
        wake_.wait_for(lock, std::chrono::milliseconds(200));
        if (done_ || std::chrono::steady_clock::now() - last_event_ < long_wait) continue;
        const std::string reason = wait_reason();
        if (reason == waiting_for_) continue;
        waiting_for_ = reason;
        if (bar_ && total_ != 0) {
            draw_bar();
        } else {
            erase_bar();
            std::fprintf(stderr, "waiting for %s\n", reason.c_str());
            std::fflush(stderr);
        }
    }
}

void Host::finish() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    std::lock_guard lock(mutex_);
    if (bar_drawn_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        bar_drawn_ = false;
    }
    total_ = 0;
    print_summed_warnings();
}

}  // namespace ryn::cli
