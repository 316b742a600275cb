// Message sinks, progress reports and the device reset shared by every path.
#pragma once

#include <cstdint>
#include <optional>
#include <type_traits>

#include "ryn_usr.h"
#include "text/checked_format.h"

namespace ryn::frame {

// The module-wide message buffer (1024 wide characters, terminator included)
// that ryn_get_err_msg returns. Only the sink of the calibration and
// device-information operations writes it.
inline constexpr size_t message_buffer_size = 1024;
const char16_t *message_buffer();

// Sink of the calibration and device-information operations: msg_fn when set,
// otherwise the message buffer and the debug output.
void send(const cali_info_arg &arg, const char16_t *format, ...);
// Sink of the firmware-update operations: msg_fn when set, otherwise nothing.
void send(const fw_update_arg &arg, const char16_t *format, ...);

// Sends a message whose arguments are checked against its format at compile time.
template <class Block, class... Args>
void report(const Block &arg, text::format_string<std::type_identity_t<Args>...> format,
            Args... args) {
    send(arg, format.get(), args...);
}

// Progress: calibration and device information count in fives, firmware
// updates in eights. Nothing happens without progress_fn.
void progress(const cali_info_arg &arg, uint32_t step);
void progress(const fw_update_arg &arg, uint32_t step);

// Device reset of the update paths: handle = dev_reset_fn(user_data), then a
// 500 ms wait. 1 when the new handle is valid; 0 without dev_reset_fn or when
// the callback returned the invalid handle.
int reset_device(fw_update_arg &arg);

// Selects the device of a six-camera system that the following calls reach
// (255: the LPC4320 controller; 1, 2: a 5810 device). A selection the device
// library refuses would leave those calls on another controller, reading or
// writing its records, so it ends the operation: one message, 0.
int select_6cam_dev_id(const cali_info_arg &arg, uint32_t dev_id);
int select_6cam_dev_id(const fw_update_arg &arg, uint32_t dev_id);

// The platform code of the device behind handle: the low 8 bits of
// ryn_check_platform.
uint32_t platform_code(ryn_handle handle);

// The platform code of the device behind the block's handle when it is one
// this library serves (1, 2, 3 or 6). Otherwise one message says why there is
// none, and the result is empty: the device library refused the handle
// (ryn_check_platform gave 0: a stale handle, an unplugged device), or its
// code is not served.
std::optional<uint32_t> served_platform_code(const cali_info_arg &arg);
std::optional<uint32_t> served_platform_code(const fw_update_arg &arg);

// The caller's wide strings as the library's UTF-16 type.
inline const char16_t *as_u16(const ryn_wchar *s) { return reinterpret_cast<const char16_t *>(s); }

}  // namespace ryn::frame
