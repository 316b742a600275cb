/*
 * Control API of the simulated device library (libryn_hid).
 *
 * The simulator holds one device at a time (a six-camera system holds its
 * sub-devices inside). Hosts and tests create it, reset it, inject faults,
 * read and write its records and read the trace of ryn_hid calls.
 * Every function returns non-zero (or a valid handle) on success; on failure
 * ryn_sim_last_error() says why.
 *
 * Threads: the device, its handles, the faults and the trace are shared by
 * the whole process. Every ryn_hid and ryn_sim_* call holds one lock while it
 * runs, so calls from several threads are safe and take turns; a sequence of
 * calls is not atomic, though (another thread's calls may come in between).
 */
#ifndef RYN_SIM_H
#define RYN_SIM_H

#include <stddef.h>
#include <stdint.h>

#include "ryn_hid.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A normal code that begins with these bytes (without a terminator) is a
 * flash builder: once written, the base controller runs it (firmware mode
 * 0x49) whenever it leaves update mode, until another normal code replaces it. */
#define RYN_SIM_FLASH_BUILDER_MARK "RYN-SIM-FLASHBUILDER"

/* Creates the device of a family ("base", "5810", "5920", "6cam"),
 * replacing any device, fault and trace entry there was. options_json is a
 * JSON object text (or null / "{}") naming record versions, version strings,
 * firmware mode and the like; unknown keys are an error. Returns the open handle. */
RYN_HID_API ryn_handle ryn_sim_create(const char *family, const char *options_json);

/* Family of the device ("base", "5810", "5920", "6cam"), or null when none.
 * The text is the calling thread's copy, valid until its next call of
 * ryn_sim_family. */
RYN_HID_API const char *ryn_sim_family(void);

/* Handle of the open device (RYN_INVALID_HANDLE when none). */
RYN_HID_API ryn_handle ryn_sim_handle(void);

/* Resets the device, as a power cycle or re-enumeration would: a mode
 * requested with ryn_set_dev_mode takes effect, the old handle stops working
 * and a new one is returned. A forced reset failure returns RYN_INVALID_HANDLE.
 * Hosts pass this (through a small adapter) as dev_reset_fn. */
RYN_HID_API ryn_handle ryn_sim_reset(void);

/* JSON state file: the device with its records (as hex), the armed faults
 * and a trace: the trace of the calls since create or load (capped at 4096
 * calls and an entry "trace" that says how many more there were); when the
 * trace has not changed since the load (no call, no ryn_sim_trace_clear), the
 * trace the loaded file held is saved again. A load starts an empty trace, as
 * before, and keeps the file's trace (an older file without one: none) for
 * the ryn_sim_saved_trace_* functions. */
RYN_HID_API int32_t ryn_sim_save(const char *path);
RYN_HID_API ryn_handle ryn_sim_load(const char *path);

/* Raw bytes of a record by name ("version", "cali", "model-cfg", later
 * "normal-code", "layout", "fw-header", ...). The records of a six-camera
 * system's controllers carry the device id in front: "255/cali", "1/model-cfg". get: copies at most cap bytes
 * and stores the record's size in *size. set: size must be one the record takes. */
RYN_HID_API int32_t ryn_sim_get_record(const char *name, void *buf, size_t cap, size_t *size);
RYN_HID_API int32_t ryn_sim_set_record(const char *name, const void *buf, size_t size);

/* Fault injection. The call-th call (counted from 1 since create or load) of
 * the named ryn_hid operation and the times - 1 calls after it fail (return 0,
 * or null for the *_fn getters); times 0 means every call from there on.
 * ryn_sim_fail_value makes them return the given value instead. The pseudo
 * operation "reset" makes ryn_sim_reset return RYN_INVALID_HANDLE. */
RYN_HID_API int32_t ryn_sim_fail(const char *operation, uint32_t call, uint32_t times);
RYN_HID_API int32_t ryn_sim_fail_value(const char *operation, uint32_t call, uint32_t times,
                                       int64_t value);
RYN_HID_API void ryn_sim_clear_faults(void);

/* Corrupts read-back data: the call-th call of the named read operation and
 * the times - 1 calls after it (times 0: every call from there on) succeed,
 * but the bytes [offset, offset + count) of what the operation hands back are
 * inverted (XOR 0xFF). Bytes beyond the data the operation returns stay as
 * they are. Operations that hand back no data are refused. */
RYN_HID_API int32_t ryn_sim_corrupt(const char *operation, uint32_t call, uint32_t times,
                                    uint32_t offset, uint32_t count);

/* Keeps a poll from finishing: from the call-th call on, every call of the
 * named poll operation ("ryn_get_dev_ctrl", "ryn_get_reg") succeeds but
 * answers that the device is still busy. Other operations are refused. */
RYN_HID_API int32_t ryn_sim_stall(const char *operation, uint32_t call);

/* Call trace of ryn_hid operations since create, load or clear: the
 * operation's name, and a text "name(arg, ...) = result" with handles shown
 * as "h<N>". A failed call adds its reason in brackets, e.g.
 * "ryn_get_fw_mode(h1, buf) = 0 [stale handle]"; resets are traced as the
 * pseudo operation "reset". Null for an index past the end. The returned
 * texts stay valid, also while other threads' calls add to the trace, until
 * the trace is cleared (ryn_sim_trace_clear, create or load). */
RYN_HID_API size_t ryn_sim_trace_size(void);
RYN_HID_API const char *ryn_sim_trace_op(size_t index);
RYN_HID_API const char *ryn_sim_trace_text(size_t index);
RYN_HID_API void ryn_sim_trace_clear(void);

/* The trace the last loaded state file held: the calls of the run that saved
 * it, in the same form. Empty after create. The texts stay valid until the
 * next create or load. */
RYN_HID_API size_t ryn_sim_saved_trace_size(void);
RYN_HID_API const char *ryn_sim_saved_trace_op(size_t index);
RYN_HID_API const char *ryn_sim_saved_trace_text(size_t index);

/* Why the calling thread's last ryn_sim_* call failed (empty after a success).
 * Each thread has its own; the text is valid until that thread's next
 * ryn_sim_* call. */
RYN_HID_API const char *ryn_sim_last_error(void);

#ifdef __cplusplus
}
#endif

#endif /* RYN_SIM_H */
