/*
 * ryn_hid: the device library, as libryn_usr calls it.
 *
 * The device library owns the handle, the transport and the controller
 * protocol. Unless said otherwise every operation takes the handle first and
 * returns a 32-bit result that is non-zero on success. Record layouts that one
 * operation fills are described beside the code that reads them.
 */
#ifndef RYN_HID_H
#define RYN_HID_H

#include <stdint.h>

#include "ryn_usr.h"

#if defined(_WIN32)
#if defined(RYN_HID_BUILDING)
#define RYN_HID_API __declspec(dllexport)
#else
#define RYN_HID_API __declspec(dllimport)
#endif
#else
#define RYN_HID_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Record reader and writer handed out by the *_fn getters. A reader fills the
 * caller's buffer with the device's record; a writer stores the buffer on the
 * device. Both return non-zero on success. */
typedef int32_t (*ryn_record_reader)(ryn_handle handle, void *record);
typedef int32_t (*ryn_record_writer)(ryn_handle handle, const void *record);

/* Controller family of the device: the platform code sits in the low 8 bits
 * (1 base, 2 the 5810 controller, 3 the 5920 controller, 6 six-camera system). */
RYN_HID_API uint32_t ryn_check_platform(ryn_handle handle);

/* Six-camera system: selects the device that the following calls address
 * (1 or 2 for a 5810 device, 255 for the LPC4320 controller). */
RYN_HID_API int32_t ryn_6cam_set_dev_id(uint32_t dev_id);

/* Record readers and writers of the device; null when the device has none. */
RYN_HID_API ryn_record_reader ryn_get_cali_info_fn(ryn_handle handle);
RYN_HID_API ryn_record_writer ryn_set_cali_info_fn(ryn_handle handle);
RYN_HID_API ryn_record_reader ryn_get_model_cfg_fn(ryn_handle handle);
RYN_HID_API ryn_record_writer ryn_set_model_cfg_fn(ryn_handle handle);

/* Switches the sensors (0: off) before a record or the firmware is written. */
RYN_HID_API int32_t ryn_set_sensor_ctrl(ryn_handle handle, uint32_t on);

/* Version record (368-byte buffer): length, minor and major version, then the
 * boot loader, normal code and updater version strings. */
RYN_HID_API int32_t ryn_get_fw_ver_str(ryn_handle handle, void *version_record);
RYN_HID_API int32_t ryn_get_version_str(ryn_handle handle, void *version_record);

/* Version query (16 bytes): the first 32-bit word selects what is asked
 * (1 model configuration record, 2 algorithm parameter block); the answer is
 * in the first two 16-bit words. */
RYN_HID_API int32_t ryn_get_dev_ver(ryn_handle handle, void *query);

/* Firmware mode code of the running device. */
RYN_HID_API int32_t ryn_get_fw_mode(ryn_handle handle, uint32_t *mode);

/* "a.b.c.d" into a 64-bit number that orders as the versions do. */
RYN_HID_API int32_t ryn_fw_ver_str_to_u64(uint64_t *version, const ryn_wchar *text);

/* The device's 6144-byte model configuration record (normal-code update). */
RYN_HID_API int32_t ryn_get_model_cfg(ryn_handle handle, void *model_cfg);
RYN_HID_API int32_t ryn_get_model_cfg_g40(ryn_handle handle, void *model_cfg);

/* Firmware header record of the device. */
RYN_HID_API int32_t ryn_get_fw_hdr(ryn_handle handle, void *header, uint32_t zero);
RYN_HID_API int32_t ryn_set_fw_hdr(ryn_handle handle, const void *header, uint32_t zero);

/* Flash-layout update: announce a region and its CRC, then read the verdict
 * (the first byte of the result record is 1 when the CRC matched). */
RYN_HID_API int32_t ryn_get_update_hdr(ryn_handle handle, void *result);
RYN_HID_API int32_t ryn_set_update_hdr(ryn_handle handle, uint32_t zero, uint32_t start,
                                       uint32_t length, uint32_t crc);

/* Requests a firmware mode (0 normal, 1 update / loader); it takes effect at
 * the next reset. The reference is a model configuration (table or buffer) or null. */
RYN_HID_API int32_t ryn_set_dev_mode(ryn_handle handle, uint32_t mode, const void *model_cfg);
RYN_HID_API int32_t ryn_set_dev_mode_g40(ryn_handle handle, uint32_t mode, const void *model_cfg,
                                         const void *version_record);

/* Writes the normal code; the version record and model configuration may be null. */
RYN_HID_API int32_t ryn_set_normal_code(ryn_handle handle, const void *version_record,
                                        const void *model_cfg, const void *code,
                                        uint32_t length);
RYN_HID_API int32_t ryn_set_normal_code_g40(ryn_handle handle, const void *version_record,
                                            const void *model_cfg, const void *code,
                                            uint32_t length);

/* Programs length bytes at a flash offset. */
RYN_HID_API int32_t ryn_update_flash_code(ryn_handle handle, const void *data, uint32_t offset,
                                          uint32_t length);

/* Loads an extended flash driver into the controller. */
RYN_HID_API int32_t ryn_set_extend_flash_driver(ryn_handle handle, uint32_t param,
                                                const void *driver, uint32_t length);

/* Controller registers. */
RYN_HID_API int32_t ryn_get_reg(ryn_handle handle, uint32_t zero1, uint32_t zero2,
                                uint32_t address, uint32_t *value);
RYN_HID_API int32_t ryn_set_reg(ryn_handle handle, uint32_t zero1, uint32_t zero2,
                                uint32_t address, uint32_t value);

/* Copies length bytes of device memory at address into buffer. */
RYN_HID_API int32_t ryn_get_data(ryn_handle handle, uint32_t zero, void *buffer, uint32_t address,
                                 uint32_t length);

/* Device control word and requests (six-camera 5810 download kit). */
RYN_HID_API int32_t ryn_get_dev_ctrl(ryn_handle handle, uint32_t *word);
RYN_HID_API int32_t ryn_set_dev_ctrl(ryn_handle handle, uint32_t code, uint32_t zero);

/* CRC that image headers store, and its running form over a flash layout
 * (start from 0 and pass each result on). No device traffic. */
RYN_HID_API uint32_t ryn_calc_crc(const void *data, uint32_t length);
RYN_HID_API uint32_t ryn_calc_crc_flash_layout(uint32_t crc, const void *data, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif /* RYN_HID_H */
