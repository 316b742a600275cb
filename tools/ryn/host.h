// The host side of one library operation: the callbacks that print the
// library's messages on stdout and its progress on stderr.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "ryn_usr.h"

namespace ryn::cli {

class Host {
public:
    // Progress is a bar when stderr is a terminal, "step k/n" lines otherwise,
    // and nothing when show_progress is false. Messages are always printed.
    explicit Host(bool show_progress);
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    // Fill the callback fields of an argument block: user_data is this Host.
    void *user_data() { return this; }
    static void on_message(void *user_data, const ryn_wchar *format, va_list args);
    static void on_progress(void *user_data, uint32_t step, uint32_t total);
    ryn_progress_fn progress_fn() const { return show_progress_ ? &Host::on_progress : nullptr; }

    // Ends the progress output cleanly; called when the operation returns.
    void finish();
    // Whether the library sent any message.
    bool got_message() const { return got_message_; }

private:
    void message(const ryn_wchar *format, va_list args);
    void progress(uint32_t step, uint32_t total);
    void draw_bar();
    void erase_bar();

    bool show_progress_;
    bool bar_;  // stderr is a terminal
    bool bar_drawn_ = false;
    bool got_message_ = false;
    uint32_t step_ = 0;
    uint32_t total_ = 0;
};

}  // namespace ryn::cli
