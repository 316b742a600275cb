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
 * Ownership: the caller owns the argument block, the file names and the
 * callbacks; they must stay valid for the duration of the call, and nothing
 * of them is kept afterwards. The library writes only handle and update_mode
 * of a fw_update_arg. Files and buffers it opens are closed before it returns.
 *
 * Device traffic goes through the device library ryn_hid (the maker's, or the
 * simulator of ryn_sim.h in tests), which owns the handles. The definition
 * files (ryn_cali_info_param_def*.ini, algo_param_def*.ini) and the flash
 * driver list (ryn_flash_driver_list.ini) are looked for in the folder of the
 * host's executable, not beside this library; when the environment variable
 * RYN_USR_DEFINITIONS_DIR is set (and not empty) they are looked for in the
 * folder it names instead (a relative folder counts from the current
 * directory). It is read at every call, so a host may set it at any time
 * before one (on Windows, in the process's environment block).
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

/* The version of this header. ryn_usr_version() gives the version of the
 * library actually loaded; a host compares its major number with
 * RYN_USR_VERSION_MAJOR (the argument blocks and the exports change only with
 * the major number). */
#define RYN_USR_VERSION_MAJOR 0
#define RYN_USR_VERSION_MINOR 1
#define RYN_USR_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

/* Device handle of the device library (ryn_hid), passed through unchanged.
 * The value with all bits set is invalid. */
typedef uint64_t ryn_handle;
#define RYN_INVALID_HANDLE ((ryn_handle)~(uint64_t)0)

/* Request bits of cali_info_arg.flags and dev_info_arg.flags. Exactly one of
 * GET and SET must be set. */
/* Read from the device, write the file. */
#define RYN_FLAG_GET 0x01u
/* Read the file, write to the device (the file must exist). */
#define RYN_FLAG_SET 0x02u
/* ryn_cali_info SET of a base controller: the file is the older plain-text form. */
#define RYN_CALI_COMPAT_TEXT 0x04u
/* ryn_dev_info: the version strings (GET only, base controller only). */
#define RYN_DEV_VERSION_STR 0x04u
/* ryn_cali_info SET of a base controller: the file is the older compact INI form. */
#define RYN_CALI_COMPAT_INI 0x08u
/* ryn_dev_info: model configuration and parameters. */
#define RYN_DEV_MODEL_CFG 0x08u
/* Six-camera system: address its 5810 device 1 instead of the LPC4320
 * controller (also in fw_update_arg.update_mode). Wins over DEV2. */
#define RYN_FLAG_6CAM_DEV1 0x10u
/* Six-camera system: address its 5810 device 2 (also in update_mode). */
#define RYN_FLAG_6CAM_DEV2 0x20u

/* Values of fw_update_arg.update_mode (the six-camera bits may stand beside them). */
/* Update the normal code only. */
#define RYN_UPDATE_NORMAL 0u
/* Write the whole flash layout. */
#define RYN_UPDATE_FLASH_LAYOUT 1u
/* Base controller only: the library chooses NORMAL or FLASH_LAYOUT from the
 * device's firmware and writes its choice back into update_mode. */
#define RYN_UPDATE_AUTO 2u

/* Callbacks. Each receives the block's user_data first and runs on the
 * calling thread, inside the call. */

/* A message: a wide printf-style format ("%s" takes a wide string) and its
 * arguments, unformatted. Pass both to ryn_format_msg to get the text the
 * library would have written; the va_list can be walked only once and only
 * during the callback. Sent for failures, warnings and reports (an update's
 * image header). Messages end in "\n". */
typedef void (*ryn_msg_fn)(void *user_data, const ryn_wchar *format, va_list args);
/* Progress: step of total (5 for calibration and device information, 8 for a
 * firmware update). Step 0 comes at entry; step total only on success. */
typedef void (*ryn_progress_fn)(void *user_data, uint32_t step, uint32_t total);
/* Firmware update: reset (or re-open) the device and return its new handle,
 * RYN_INVALID_HANDLE on failure. The library stores the handle in the block,
 * uses it for every later call and waits 500 ms after the reset. */
typedef ryn_handle (*ryn_dev_reset_fn)(void *user_data);
/* Firmware update of a base controller running the flash builder: switch the
 * device into its update mode, given 1, the update code's offset and length
 * from the image header, and 0; return the device's new handle
 * (RYN_INVALID_HANDLE on failure), which the library stores like a reset's. */
typedef ryn_handle (*ryn_set_update_hdr_fn)(void *user_data, uint32_t one, uint32_t code_offset,
                                            uint32_t code_length, uint32_t zero);

#pragma pack(push, 4)

/* Calibration and device-information requests share one layout (44 bytes).
 * Fill it with the init function, then set user_data and the callbacks. */
typedef struct cali_info_arg {
    ryn_handle handle;           /*  0 device handle of ryn_hid */
    const ryn_wchar *file_name;  /*  8 NUL-terminated UTF-16 path: written by GET, read by SET;
                                    made absolute before use */
    uint32_t flags;              /* 16 RYN_FLAG_* and RYN_CALI_* / RYN_DEV_* bits */
    void *user_data;             /* 20 passed back unchanged as every callback's first argument */
    ryn_msg_fn msg_fn;           /* 28 messages; null: kept for ryn_get_err_msg */
    ryn_progress_fn progress_fn; /* 36 progress, or null */
} cali_info_arg;

typedef cali_info_arg dev_info_arg;

/* Firmware-update request (68 bytes). Fill it with ryn_fw_update_init_arg,
 * then set user_data and the callbacks. */
typedef struct fw_update_arg {
    ryn_handle handle;                       /*  0 device handle; rewritten by the library
                                                after every reset or mode switch */
    const ryn_wchar *file_name;              /*  8 UTF-16 path of the firmware image */
    const ryn_wchar *flash_builder_file_name; /* 16 flash builder file, read only by a base
                                                controller's flash-layout update; else null */
    uint32_t update_mode;                    /* 24 RYN_UPDATE_*, six-camera bits beside it;
                                                RYN_UPDATE_AUTO is resolved in place */
    void *user_data;                         /* 28 passed back as every callback's first argument */
    ryn_msg_fn msg_fn;                       /* 36 messages; null: dropped (an update never
                                                writes the ryn_get_err_msg buffer) */
    ryn_progress_fn progress_fn;             /* 44 progress, or null */
    ryn_dev_reset_fn dev_reset_fn;           /* 52 required by every update path */
    ryn_set_update_hdr_fn set_update_hdr_fn; /* 60 required by the base controller's path */
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
 * given values are stored. Callbacks and user_data are set by the host
 * afterwards. The pointers are stored, not copied. A null arg does nothing.
 * ryn_dev_info_init_arg is the same function (the blocks share one layout). */
RYN_USR_API void ryn_cali_info_init_arg(cali_info_arg *arg, ryn_handle handle,
                                        const ryn_wchar *file_name, uint32_t flags);
RYN_USR_API void ryn_dev_info_init_arg(dev_info_arg *arg, ryn_handle handle,
                                       const ryn_wchar *file_name, uint32_t flags);
RYN_USR_API void ryn_fw_update_init_arg(fw_update_arg *arg, ryn_handle handle,
                                        const ryn_wchar *file_name,
                                        const ryn_wchar *flash_builder_file_name,
                                        uint32_t update_mode);

/* The three operations: 1 on success, 0 on failure. A failure has sent at
 * least one message saying why, also when the device library refuses the
 * handle (a stale handle, an unplugged device) or the device's platform code
 * is not served. A file the system cannot open, read or write gets one more
 * message after the one naming it: the system's reason ("No such file or
 * directory\n", ...). The library writes nothing to the host's console. Each
 * call is complete in itself: no session, nothing to open or close. */

/* Calibration: GET writes the device's calibration into the INI file (section
 * "calibration"); SET reads the file (INI, or the older forms by
 * RYN_CALI_COMPAT_*) over the device's record and writes the record once, only
 * after the whole file has been read. */
RYN_USR_API int32_t ryn_cali_info(cali_info_arg *arg);
/* Device information: version strings (GET) or model configuration and
 * parameters (GET or SET), as the flags say. */
RYN_USR_API int32_t ryn_dev_info(dev_info_arg *arg);
/* Firmware update from an image file, validated whole before the device is
 * touched. May change arg->handle (resets) and arg->update_mode (AUTO). */
RYN_USR_API int32_t ryn_fw_update(fw_update_arg *arg);

/* The last message that a calibration or device-information call sent while
 * its msg_fn was null. The text is this thread's copy: it stays as it is
 * until the same thread calls ryn_get_err_msg again. Operations of several
 * threads run one after the other, and the message is the last one any of
 * them sent; a host that needs each call's own messages sets msg_fn. */
RYN_USR_API const ryn_wchar *ryn_get_err_msg(void);

/* Formats a message (as msg_fn receives it) exactly as the library's own sink
 * does. It exists because a host that is not written in C (.NET, Python, ...)
 * cannot walk a va_list: msg_fn hands format and args straight to it. Call it
 * once per message, inside msg_fn. Needs no lock and touches no shared state. Writes at most cap - 1 characters and a terminator (nothing when cap
 * is 0) and returns the full length of the message, like vsnprintf; a
 * negative result means the format itself is malformed. */
RYN_USR_API int ryn_format_msg(ryn_wchar *buf, size_t cap, const ryn_wchar *format, va_list args);

/* The version of the loaded library as "MAJOR.MINOR.PATCH" (for instance
 * "0.1.0"): a static text that stays valid as long as the library is loaded.
 * Needs no lock and touches no shared state. */
RYN_USR_API const char *ryn_usr_version(void);

#ifdef __cplusplus
}
#endif

#endif /* RYN_USR_H */
