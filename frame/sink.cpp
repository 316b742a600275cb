#include "frame/sink.h"

#include <cstdarg>

#include "platform/console.h"
#include "platform/os_error.h"
#include "ryn_hid.h"
#include "text/text.h"

namespace ryn::frame {
namespace {

char16_t message_buffer_storage[message_buffer_size];

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// Formats into the message buffer. A message longer than the buffer holds is
// cut at 1023 characters; a surrogate pair that the cut would split is dropped
// whole, so the buffer always holds well-formed UTF-16.
void format_into_buffer(const char16_t *format, va_list args) {
    int length = text::vformat_to(message_buffer_storage, message_buffer_size, format, args);
    if (length < 0) {
        message_buffer_storage[0] = 0;
        return;
    }
    if (static_cast<size_t>(length) >= message_buffer_size) {
        size_t end = message_buffer_size - 1;
        if (is_high_surrogate(message_buffer_storage[end - 1])) message_buffer_storage[end - 1] = 0;
    }
}

}  // namespace

const char16_t *message_buffer() { return message_buffer_storage; }

// A file operation that failed in the OS has left its reason with the
// platform layer; the message that reports the failure is sent first, and the
// reason ("No such file or directory", ...) follows it as a message of its
// own. Taking the reason forgets it, so it is sent once.
template <class Block>
void send_os_reason(const Block &arg) {
    if (const auto reason = platform::take_os_reason()) send(arg, u"%s\n", reason->c_str());
}

void send(const cali_info_arg &arg, const char16_t *format, ...) {
    va_list args;
    va_start(args, format);
    if (arg.msg_fn) {
        arg.msg_fn(arg.user_data, reinterpret_cast<const ryn_wchar *>(format), args);
    } else {
        format_into_buffer(format, args);
        platform::debug_output(message_buffer_storage);
    }
    va_end(args);
    send_os_reason(arg);
}

void send(const fw_update_arg &arg, const char16_t *format, ...) {
    if (arg.msg_fn) {
        va_list args;
        va_start(args, format);
        arg.msg_fn(arg.user_data, reinterpret_cast<const ryn_wchar *>(format), args);
        va_end(args);
    }
    send_os_reason(arg);
}

void progress(const cali_info_arg &arg, uint32_t step) {
    if (arg.progress_fn) arg.progress_fn(arg.user_data, step, 5);
}

void progress(const fw_update_arg &arg, uint32_t step) {
    if (arg.progress_fn) arg.progress_fn(arg.user_data, step, 8);
}

int reset_device(fw_update_arg &arg) {
    if (!arg.dev_reset_fn) return 0;
    arg.handle = arg.dev_reset_fn(arg.user_data);
    platform::sleep_ms(500);
    return arg.handle != RYN_INVALID_HANDLE ? 1 : 0;
}

namespace {

template <class Block>
int select_dev_id(const Block &arg, uint32_t dev_id) {
    if (ryn_6cam_set_dev_id(dev_id)) return 1;
    report(arg, u"Fail to select the six-camera device %u.\n", dev_id);
    return 0;
}

}  // namespace

int select_6cam_dev_id(const cali_info_arg &arg, uint32_t dev_id) {
    return select_dev_id(arg, dev_id);
}
int select_6cam_dev_id(const fw_update_arg &arg, uint32_t dev_id) {
    return select_dev_id(arg, dev_id);
}

uint32_t platform_code(ryn_handle handle) { return ryn_check_platform(handle) & 0xFFu; }

namespace {

template <class Block>
std::optional<uint32_t> served_code(const Block &arg) {
    const uint32_t answer = ryn_check_platform(arg.handle);
    if (answer == 0) {
        report(arg, u"The device library refused the handle (ryn_check_platform gave 0): the handle is "
                    u"stale or the device is gone.\n");
        return std::nullopt;
    }
    const uint32_t code = answer & 0xFFu;
    switch (code) {
    case 1:
    case 2:
    case 3:
    case 6: return code;
    default:
        report(arg, u"The device reports platform code %u (ryn_check_platform gave 0x%08X), which this "
                    u"library does not serve.\n",
               code, answer);
        return std::nullopt;
    }
}

}  // namespace

std::optional<uint32_t> served_platform_code(const cali_info_arg &arg) { return served_code(arg); }
std::optional<uint32_t> served_platform_code(const fw_update_arg &arg) { return served_code(arg); }

}  // namespace ryn::frame
