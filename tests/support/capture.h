// Test support: captures what the library sends to a block's callbacks.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ryn_usr.h"

namespace ryn::test {

// The system's reason for a failed file call, in the C runtime's words. The
// tests compare those words; Windows words the same reasons its own way (and
// Wine its own again), so its texts are taken back to them here.
inline std::u16string posix_reason(std::u16string text) {
#if defined(_WIN32)
    static const std::pair<std::u16string_view, std::u16string_view> kWords[] = {
        {u"File not found.\n", u"No such file or directory\n"},
        {u"The system cannot find the file specified.\n", u"No such file or directory\n"},
        {u"Path not found.\n", u"No such file or directory\n"},
        {u"The system cannot find the path specified.\n", u"No such file or directory\n"},
        {u"Access denied.\n", u"Is a directory\n"},
        {u"Access is denied.\n", u"Is a directory\n"},
    };
    for (const auto &[system, runtime] : kWords)
        if (text == system) return std::u16string(runtime);
#endif
    return text;
}

struct Capture {
    std::vector<std::u16string> messages;
    std::vector<std::pair<uint32_t, uint32_t>> steps;

    // All messages joined, as a user would read them.
    std::u16string text() const {
        std::u16string all;
        for (const auto &m : messages) all += m;
        return all;
    }

    static void on_message(void *user_data, const ryn_wchar *format, va_list args) {
        va_list copy;
        va_copy(copy, args);
        char16_t small[8];
        int length = ryn_format_msg(reinterpret_cast<ryn_wchar *>(small), sizeof small / 2, format, copy);
        va_end(copy);
        std::u16string text(length > 0 ? static_cast<size_t>(length) : 0, u'\0');
        ryn_format_msg(reinterpret_cast<ryn_wchar *>(text.data()), text.size() + 1, format, args);
        static_cast<Capture *>(user_data)->messages.push_back(posix_reason(std::move(text)));
    }

    static void on_progress(void *user_data, uint32_t step, uint32_t total) {
        static_cast<Capture *>(user_data)->steps.emplace_back(step, total);
    }

    // Routes a block's messages and progress here.
    template <class Block>
    void attach(Block &arg, bool messages_too = true) {
        arg.user_data = this;
        arg.msg_fn = messages_too ? on_message : nullptr;
        arg.progress_fn = on_progress;
    }
};

inline const ryn_wchar *w(const std::u16string &s) { return reinterpret_cast<const ryn_wchar *>(s.c_str()); }
inline const char16_t *as_u16(const ryn_wchar *s) { return reinterpret_cast<const char16_t *>(s); }
inline const ryn_wchar *w(const char16_t *s) { return reinterpret_cast<const ryn_wchar *>(s); }

}  // namespace ryn::test
