// The host side of one library operation: the callbacks that hand the
// library's messages to the run's report (stdout, or the JSON object) and
// show its progress on stderr.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ryn_usr.h"

namespace ryn::cli {

class Host {
public:
    // Progress is a bar when stderr is a terminal, "step k/n name" lines
    // otherwise, and nothing when show_progress is false. Messages are always
    // printed. With progress shown, a wait of more than a second without a
    // message or a step (a poll, a reset) is shown with what it waits for.
    explicit Host(bool show_progress);
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    // Fill the callback fields of an argument block: user_data is this Host.
    void *user_data() { return this; }
    static void on_message(void *user_data, const ryn_wchar *format, va_list args);
    static void on_progress(void *user_data, uint32_t step, uint32_t total);
    ryn_progress_fn progress_fn() const { return show_progress_ ? &Host::on_progress : nullptr; }

    // Keeps the library's messages in a list instead of printing them.
    void collect_messages(std::vector<std::string> *into) { collected_ = into; }
    // quiet: only warnings and errors are printed (no header dumps, no
    // status lines). verbose: every message as it comes; otherwise the
    // warnings of one kind that repeat ("[Warning] Missing KEY.") are summed
    // up in one line when the operation returns.
    void set_output(bool quiet, bool verbose) {
        quiet_ = quiet;
        verbose_ = verbose;
    }

    // Ends the progress output cleanly; called when the operation returns.
    void finish();
    // Whether the library sent any message.
    bool got_message() const { return got_message_; }
    // The last line of text the library sent (empty when none).
    std::string last_line() const;
    // The first line of the first message that reports a failure or an error
    // (not a warning); empty when none did.
    std::string first_failure() const;
    // Advice for the user drawn from the library's messages ("--mode layout"
    // after the advice to select the complete mode, ...), in the order found.
    const std::vector<std::string> &hints() const { return hints_; }

private:
    void message(const ryn_wchar *format, va_list args);
    void print_summed_warnings();
    void progress(uint32_t step, uint32_t total);
    void note_hints(const std::string &text);
    void draw_bar();
    void erase_bar();
    void watch();

    bool show_progress_;
    bool bar_;  // stderr is a terminal
    bool bar_drawn_ = false;
    bool got_message_ = false;
    uint32_t step_ = 0;
    uint32_t total_ = 0;
    bool step_shown_ = false;   // a step was shown (progress never shows one twice)
    std::string step_name_;     // first words of the last message
    std::string last_text_;     // the last message
    std::string driver_file_;   // the flash driver file the library last named
    std::vector<std::string> hints_;
    std::vector<std::string> *collected_ = nullptr;
    bool quiet_ = false;
    bool verbose_ = false;
    std::string first_failure_;
    std::vector<std::string> missing_keys_;  // held back "[Warning] Missing KEY." messages, by key
    std::string missing_message_;            // the one held back, printed as it is when it stays alone

    // What the watcher shows: the time of the last message or step, and the
    // wait it last reported (empty: none since).
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::chrono::steady_clock::time_point last_event_;
    std::string waiting_for_;
    std::thread watcher_;
};

}  // namespace ryn::cli
