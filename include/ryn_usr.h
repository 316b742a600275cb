/*
 * ryn_usr: moves calibration, device information and firmware between an
 * optical touch-screen controller and files.
 *
 * Every operation is one call on a filled argument block and returns 1 on
 * success, 0 on failure. Messages reach msg_fn, or (for the calibration and
 * device-information operations, when msg_fn is null) the buffer that
 * ryn_get_err_msg returns.
 *
 * Several threads may call the operations at once: they run one after the
 * other behind one process-wide lock. Callbacks run on the calling thread,
 * inside the call, and may call ryn_get_err_msg (or another export) there.
 *
 * The argument blocks cross the library boundary, so their layout is fixed:
 * fields packed to 4-byte alignment, pointers and handles 8 bytes wide.
 */
#ifndef RYN_USR_H
#define RYN_USR_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
typedef wchar_t ryn_wchar;
#elif defined(__cplusplus)
typedef char16_t ryn_wchar;
#else
#include <uchar.h>
typedef char16_t ryn_wchar;
#endif

#if defined(_WIN32)
#if defined(RYN_USR_BUILDING)
#define RYN_USR_API __declspec(dllexport)
#else
#define RYN_USR_API __declspec(dllimport)
#endif
#else
#define RYN_USR_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Device handle of the device library. The value with all bits set is invalid. */
typedef uint64_t ryn_handle;
#define RYN_INVALID_HANDLE ((ryn_handle)~(uint64_t)0)

/* Request bits of cali_info_arg.flags and dev_info_arg.flags. */
#define RYN_FLAG_GET 0x01u
#define RYN_FLAG_SET 0x02u
#define RYN_CALI_COMPAT_TEXT 0x04u
#define RYN_DEV_VERSION_STR 0x04u
#define RYN_CALI_COMPAT_INI 0x08u
#define RYN_DEV_MODEL_CFG 0x08u
#define RYN_FLAG_6CAM_DEV1 0x10u
#define RYN_FLAG_6CAM_DEV2 0x20u

/* Values of fw_update_arg.update_mode (the six-camera bits may stand beside them). */
#define RYN_UPDATE_NORMAL 0u
#define RYN_UPDATE_FLASH_LAYOUT 1u
#define RYN_UPDATE_AUTO 2u

/* Callbacks; each receives the block's user_data first. */
typedef void (*ryn_msg_fn)(void *user_data, const ryn_wchar *format, va_list args);
typedef void (*ryn_progress_fn)(void *user_data, uint32_t step, uint32_t total);
typedef ryn_handle (*ryn_dev_reset_fn)(void *user_data);
typedef ryn_handle (*ryn_set_update_hdr_fn)(void *user_data, uint32_t one, uint32_t code_offset,
                                            uint32_t code_length, uint32_t zero);

#pragma pack(push, 4)

/* Calibration and device-information requests share one layout (44 bytes). */
typedef struct cali_info_arg {
    ryn_handle handle;           /*  0 */
    const ryn_wchar *file_name;  /*  8 */
    uint32_t flags;              /* 16 */
    void *user_data;             /* 20 */
    ryn_msg_fn msg_fn;           /* 28 */
    ryn_progress_fn progress_fn; /* 36 */
} cali_info_arg;

typedef cali_info_arg dev_info_arg;

/* Firmware-update request (68 bytes). */
typedef struct fw_update_arg {
    ryn_handle handle;                       /*  0, rewritten by device resets */
    const ryn_wchar *file_name;              /*  8 */
    const ryn_wchar *flash_builder_file_name; /* 16 */
    uint32_t update_mode;                    /* 24, RYN_UPDATE_AUTO is resolved in place */
    void *user_data;                         /* 28 */
    ryn_msg_fn msg_fn;                       /* 36 */
    ryn_progress_fn progress_fn;             /* 44 */
    ryn_dev_reset_fn dev_reset_fn;           /* 52 */
    ryn_set_update_hdr_fn set_update_hdr_fn; /* 60 */
} fw_update_arg;

#pragma pack(pop)

#if defined(__cplusplus)
#define RYN_STATIC_ASSERT static_assert
#else
#define RYN_STATIC_ASSERT _Static_assert
#endif
RYN_STATIC_ASSERT(sizeof(void *) == 8, "the argument blocks assume 8-byte pointers");
RYN_STATIC_ASSERT(sizeof(cali_info_arg) == 44, "cali_info_arg is 44 bytes");
RYN_STATIC_ASSERT(offsetof(cali_info_arg, handle) == 0, "cali_info_arg.handle");
RYN_STATIC_ASSERT(offsetof(cali_info_arg, file_name) == 8, "cali_info_arg.file_name");
RYN_STATIC_ASSERT(offsetof(cali_info_arg, flags) == 16, "cali_info_arg.flags");
RYN_STATIC_ASSERT(offsetof(cali_info_arg, user_data) == 20, "cali_info_arg.user_data");
RYN_STATIC_ASSERT(offsetof(cali_info_arg, msg_fn) == 28, "cali_info_arg.msg_fn");
RYN_STATIC_ASSERT(offsetof(cali_info_arg, progress_fn) == 36, "cali_info_arg.progress_fn");
RYN_STATIC_ASSERT(sizeof(fw_update_arg) == 68, "fw_update_arg is 68 bytes");
RYN_STATIC_ASSERT(offsetof(fw_update_arg, handle) == 0, "fw_update_arg.handle");
RYN_STATIC_ASSERT(offsetof(fw_update_arg, file_name) == 8, "fw_update_arg.file_name");
RYN_STATIC_ASSERT(offsetof(fw_update_arg, flash_builder_file_name) == 16,
                  "fw_update_arg.flash_builder_file_name");
RYN_STATIC_ASSERT(offsetof(fw_update_arg, update_mode) == 24, "fw_update_arg.update_mode");
RYN_STATIC_ASSERT(offsetof(fw_update_arg, user_data) == 28, "fw_update_arg.user_data");
RYN_STATIC_ASSERT(offsetof(fw_update_arg, msg_fn) == 36, "fw_update_arg.msg_fn");
RYN_STATIC_ASSERT(offsetof(fw_update_arg, progress_fn) == 44, "fw_update_arg.progress_fn");
RYN_STATIC_ASSERT(offsetof(fw_update_arg, dev_reset_fn) == 52, "fw_update_arg.dev_reset_fn");
RYN_STATIC_ASSERT(offsetof(fw_update_arg, set_update_hdr_fn) == 60,
                  "fw_update_arg.set_update_hdr_fn");

/* Fill a block: every field from flags to the end is zeroed first, then the
 * given values are stored. Callbacks and user_data are set by the host afterwards. */
RYN_USR_API void ryn_cali_info_init_arg(cali_info_arg *arg, ryn_handle handle,
                                        const ryn_wchar *file_name, uint32_t flags);
RYN_USR_API void ryn_dev_info_init_arg(dev_info_arg *arg, ryn_handle handle,
                                       const ryn_wchar *file_name, uint32_t flags);
RYN_USR_API void ryn_fw_update_init_arg(fw_update_arg *arg, ryn_handle handle,
                                        const ryn_wchar *file_name,
                                        const ryn_wchar *flash_builder_file_name,
                                        uint32_t update_mode);

/* The three operations: 1 on success, 0 on failure. */
RYN_USR_API int32_t ryn_cali_info(cali_info_arg *arg);
RYN_USR_API int32_t ryn_dev_info(dev_info_arg *arg);
RYN_USR_API int32_t ryn_fw_update(fw_update_arg *arg);

/* The last message that a calibration or device-information call sent while
 * its msg_fn was null. The text is this thread's copy: it stays as it is
 * until the same thread calls ryn_get_err_msg again. Operations of several
 * threads run one after the other, and the message is the last one any of
 * them sent; a host that needs each call's own messages sets msg_fn. */
RYN_USR_API const ryn_wchar *ryn_get_err_msg(void);

/* Formats a message (as msg_fn receives it) exactly as the library's own sink
 * does. Writes at most cap - 1 characters and a terminator (nothing when cap
 * is 0) and returns the full length of the message, like vsnprintf; a
 * negative result means the format itself is malformed. */
RYN_USR_API int ryn_format_msg(ryn_wchar *buf, size_t cap, const ryn_wchar *format, va_list args);

#ifdef __cplusplus
}
#endif

#endif /* RYN_USR_H */
