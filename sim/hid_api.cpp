// The exported ryn_hid operations. Each one hands its arguments (as the trace
// shows them) and its body to Simulator::call, which checks the handle,
// applies faults and traces the call; the body asks the device model.
//
// Trace arguments: handles as "h<N>", buffers as "buf" or "null", lengths and
// modes in decimal, addresses, offsets and CRCs in hexadecimal, version texts
// quoted, and for ryn_get_dev_ver the selector in place of the query buffer.
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>

#include <zlib.h>

#include "ryn_hid.h"
#include "sim/json_util.h"
#include "sim/simulator.h"

using ryn::sim::Call;
using ryn::sim::Device;
using ryn::sim::RecordIo;
using ryn::sim::Result;
using ryn::sim::Simulator;
using ryn::sim::version_number;

namespace {

// A version text longer than this is refused without reading further.
constexpr size_t kMaxVersionText = 256;

std::string hnd(ryn_handle h) {
    return ryn::sim::show_handle(h);
}
std::string buf(const void *p) {
    return p ? "buf" : "null";
}
std::string dec(uint64_t v) {
    return std::to_string(v);
}
std::string hex(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
    return text;
}
std::string join(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string &p : parts) out += (out.empty() ? "" : ", ") + p;
    return out;
}

Simulator &sim() {
    return Simulator::instance();
}

// Runs an operation that takes a handle; the body receives the device. It
// fails when the device cannot reach a controller now (see Device::unreachable).
template <class Body>
int64_t on_device(std::string_view op, ryn_handle h, std::string args, Body &&body) {
    return sim().call(op, &h, std::move(args), [&](Device *d, Call &c) {
        std::string why = d->unreachable();
        return why.empty() ? body(*d, c) : Result::fail(std::move(why));
    });
}

int32_t i32(int64_t v) {
    return static_cast<int32_t>(v);
}

// The text up to its terminator, if there is one within kMaxVersionText units.
std::optional<std::u16string_view> c_text(const ryn_wchar *text) {
    if (!text) return std::nullopt;
    const auto *t = reinterpret_cast<const char16_t *>(text);
    for (size_t n = 0; n < kMaxVersionText; ++n)
        if (t[n] == 0) return std::u16string_view(t, n);
    return std::nullopt;
}

// Record readers and writers handed out by the *_fn getters.
int32_t cali_info_reader(ryn_handle h, void *record) {
    return i32(on_device("cali_info_reader", h, join({hnd(h), buf(record)}),
                         [&](Device &d, Call &c) { return d.read_cali(c, record); }));
}
int32_t cali_info_writer(ryn_handle h, const void *record) {
    return i32(on_device("cali_info_writer", h, join({hnd(h), buf(record)}),
                         [&](Device &d, Call &c) { return d.write_cali(c, record); }));
}
int32_t model_cfg_reader(ryn_handle h, void *record) {
    return i32(on_device("model_cfg_reader", h, join({hnd(h), buf(record)}),
                         [&](Device &d, Call &c) { return d.read_model_cfg_record(c, record); }));
}
int32_t model_cfg_writer(ryn_handle h, const void *record) {
    return i32(on_device("model_cfg_writer", h, join({hnd(h), buf(record)}),
                         [&](Device &d, Call &c) { return d.write_model_cfg_record(c, record); }));
}

template <class Fn>
Fn getter(std::string_view op, ryn_handle h, RecordIo io, Fn fn) {
    int64_t offered = on_device(op, h, hnd(h), [&](Device &d, Call &) {
        return d.offers(io) ? Result::ok() : Result::fail("unsupported");
    });
    return offered ? fn : nullptr;
}

}  // namespace

extern "C" {

// The platform code belongs to the whole device: it answers whatever a
// six-camera system has selected.
uint32_t ryn_check_platform(ryn_handle handle) {
    return static_cast<uint32_t>(sim().call("ryn_check_platform", &handle, hnd(handle),
                                            [](Device *d, Call &c) { return d->check_platform(c); }));
}

int32_t ryn_6cam_set_dev_id(uint32_t dev_id) {
    return i32(sim().call("ryn_6cam_set_dev_id", nullptr, dec(dev_id), [&](Device *d, Call &c) {
        return d ? d->set_6cam_dev_id(c, dev_id) : Result::fail("no device");
    }));
}

ryn_record_reader ryn_get_cali_info_fn(ryn_handle handle) {
    return getter("ryn_get_cali_info_fn", handle, RecordIo::cali_reader, &cali_info_reader);
}
ryn_record_writer ryn_set_cali_info_fn(ryn_handle handle) {
    return getter("ryn_set_cali_info_fn", handle, RecordIo::cali_writer, &cali_info_writer);
}
ryn_record_reader ryn_get_model_cfg_fn(ryn_handle handle) {
    return getter("ryn_get_model_cfg_fn", handle, RecordIo::model_cfg_reader, &model_cfg_reader);
}
ryn_record_writer ryn_set_model_cfg_fn(ryn_handle handle) {
    return getter("ryn_set_model_cfg_fn", handle, RecordIo::model_cfg_writer, &model_cfg_writer);
}

int32_t ryn_set_sensor_ctrl(ryn_handle handle, uint32_t on) {
    return i32(on_device("ryn_set_sensor_ctrl", handle, join({hnd(handle), dec(on)}),
                         [&](Device &d, Call &c) { return d.set_sensor_ctrl(c, on); }));
}

int32_t ryn_get_fw_ver_str(ryn_handle handle, void *version_record) {
    return i32(
        on_device("ryn_get_fw_ver_str", handle, join({hnd(handle), buf(version_record)}),
                  [&](Device &d, Call &c) { return d.get_version_record(c, version_record); }));
}
int32_t ryn_get_version_str(ryn_handle handle, void *version_record) {
    return i32(
        on_device("ryn_get_version_str", handle, join({hnd(handle), buf(version_record)}),
                  [&](Device &d, Call &c) { return d.get_version_record(c, version_record); }));
}

int32_t ryn_get_dev_ver(ryn_handle handle, void *query) {
    std::string selector = "null";
    if (query) {
        uint32_t word = 0;
        std::memcpy(&word, query, sizeof word);
        selector = dec(word);
    }
    return i32(on_device("ryn_get_dev_ver", handle, join({hnd(handle), selector}),
                         [&](Device &d, Call &c) { return d.get_dev_ver(c, query); }));
}

int32_t ryn_get_fw_mode(ryn_handle handle, uint32_t *mode) {
    return i32(on_device("ryn_get_fw_mode", handle, join({hnd(handle), buf(mode)}),
                         [&](Device &d, Call &c) { return d.get_fw_mode(c, mode); }));
}

int32_t ryn_fw_ver_str_to_u64(uint64_t *version, const ryn_wchar *text) {
    std::optional<std::u16string_view> t = c_text(text);
    std::string shown = !text ? "null" : t ? "\"" + ryn::sim::printable(*t) + "\"" : "\"...\"";
    return i32(sim().call("ryn_fw_ver_str_to_u64", nullptr, join({buf(version), shown}),
                          [&](Device *, Call &c) -> Result {
                              if (!version) return Result::fail("null result");
                              if (!t) return Result::fail(text ? "text too long" : "null text");
                              std::optional<uint64_t> v = version_number(*t);
                              if (!v) return Result::fail("not a.b.c.d");
                              *version = *v;
                              c.output = {reinterpret_cast<uint8_t *>(version), sizeof *version};
                              return Result::ok();
                          }));
}

int32_t ryn_get_model_cfg(ryn_handle handle, void *model_cfg) {
    return i32(on_device("ryn_get_model_cfg", handle, join({hnd(handle), buf(model_cfg)}),
                         [&](Device &d, Call &c) { return d.get_model_cfg(c, model_cfg); }));
}
int32_t ryn_get_model_cfg_g40(ryn_handle handle, void *model_cfg) {
    return i32(on_device("ryn_get_model_cfg_g40", handle, join({hnd(handle), buf(model_cfg)}),
                         [&](Device &d, Call &c) { return d.get_model_cfg_g40(c, model_cfg); }));
}

int32_t ryn_get_fw_hdr(ryn_handle handle, void *header, uint32_t zero) {
    return i32(on_device("ryn_get_fw_hdr", handle, join({hnd(handle), buf(header), dec(zero)}),
                         [&](Device &d, Call &c) { return d.get_fw_hdr(c, header); }));
}
int32_t ryn_set_fw_hdr(ryn_handle handle, const void *header, uint32_t zero) {
    return i32(on_device("ryn_set_fw_hdr", handle, join({hnd(handle), buf(header), dec(zero)}),
                         [&](Device &d, Call &c) { return d.set_fw_hdr(c, header); }));
}

int32_t ryn_get_update_hdr(ryn_handle handle, void *result) {
    return i32(on_device("ryn_get_update_hdr", handle, join({hnd(handle), buf(result)}),
                         [&](Device &d, Call &c) { return d.get_update_hdr(c, result); }));
}
int32_t ryn_set_update_hdr(ryn_handle handle, uint32_t zero, uint32_t start, uint32_t length,
                           uint32_t crc) {
    return i32(
        on_device("ryn_set_update_hdr", handle,
                  join({hnd(handle), dec(zero), hex(start), hex(length), hex(crc)}),
                  [&](Device &d, Call &c) { return d.set_update_hdr(c, start, length, crc); }));
}

int32_t ryn_set_dev_mode(ryn_handle handle, uint32_t mode, const void *model_cfg) {
    return i32(
        on_device("ryn_set_dev_mode", handle, join({hnd(handle), dec(mode), buf(model_cfg)}),
                  [&](Device &d, Call &c) { return d.set_dev_mode_with_cfg(c, mode, model_cfg); }));
}
int32_t ryn_set_dev_mode_g40(ryn_handle handle, uint32_t mode, const void *model_cfg,
                             const void *version_record) {
    return i32(on_device("ryn_set_dev_mode_g40", handle,
                         join({hnd(handle), dec(mode), buf(model_cfg), buf(version_record)}),
                         [&](Device &d, Call &c) {
                             return d.set_dev_mode_g40(c, mode, model_cfg, version_record);
                         }));
}

int32_t ryn_set_normal_code(ryn_handle handle, const void *version_record, const void *model_cfg,
                            const void *code, uint32_t length) {
    return i32(
        on_device("ryn_set_normal_code", handle,
                  join({hnd(handle), buf(version_record), buf(model_cfg), buf(code), dec(length)}),
                  [&](Device &d, Call &c) {
                      return d.set_normal_code(c, version_record, model_cfg, code, length);
                  }));
}
int32_t ryn_set_normal_code_g40(ryn_handle handle, const void *version_record,
                                const void *model_cfg, const void *code, uint32_t length) {
    return i32(
        on_device("ryn_set_normal_code_g40", handle,
                  join({hnd(handle), buf(version_record), buf(model_cfg), buf(code), dec(length)}),
                  [&](Device &d, Call &c) {
                      return d.set_normal_code_g40(c, version_record, model_cfg, code, length);
                  }));
}

int32_t ryn_update_flash_code(ryn_handle handle, const void *data, uint32_t offset,
                              uint32_t length) {
    return i32(on_device(
        "ryn_update_flash_code", handle, join({hnd(handle), buf(data), hex(offset), dec(length)}),
        [&](Device &d, Call &c) { return d.update_flash_code(c, data, offset, length); }));
}

int32_t ryn_set_extend_flash_driver(ryn_handle handle, uint32_t param, const void *driver,
                                    uint32_t length) {
    return i32(on_device(
        "ryn_set_extend_flash_driver", handle,
        join({hnd(handle), hex(param), buf(driver), dec(length)}),
        [&](Device &d, Call &c) { return d.set_extend_flash_driver(c, param, driver, length); }));
}

int32_t ryn_get_reg(ryn_handle handle, uint32_t zero1, uint32_t zero2, uint32_t address,
                    uint32_t *value) {
    return i32(on_device("ryn_get_reg", handle,
                         join({hnd(handle), dec(zero1), dec(zero2), hex(address), buf(value)}),
                         [&](Device &d, Call &c) { return d.get_reg(c, address, value); }));
}
int32_t ryn_set_reg(ryn_handle handle, uint32_t zero1, uint32_t zero2, uint32_t address,
                    uint32_t value) {
    return i32(on_device("ryn_set_reg", handle,
                         join({hnd(handle), dec(zero1), dec(zero2), hex(address), hex(value)}),
                         [&](Device &d, Call &c) { return d.set_reg(c, address, value); }));
}

int32_t ryn_get_data(ryn_handle handle, uint32_t zero, void *buffer, uint32_t address,
                     uint32_t length) {
    return i32(
        on_device("ryn_get_data", handle,
                  join({hnd(handle), dec(zero), buf(buffer), hex(address), dec(length)}),
                  [&](Device &d, Call &c) { return d.get_data(c, buffer, address, length); }));
}

int32_t ryn_get_dev_ctrl(ryn_handle handle, uint32_t *word) {
    return i32(on_device("ryn_get_dev_ctrl", handle, join({hnd(handle), buf(word)}),
                         [&](Device &d, Call &c) { return d.get_dev_ctrl(c, word); }));
}
int32_t ryn_set_dev_ctrl(ryn_handle handle, uint32_t code, uint32_t zero) {
    return i32(on_device("ryn_set_dev_ctrl", handle, join({hnd(handle), hex(code), dec(zero)}),
                         [&](Device &d, Call &c) { return d.set_dev_ctrl(c, code); }));
}

// CRC-32 (zlib); the flash-layout form continues a running CRC.
uint32_t ryn_calc_crc(const void *data, uint32_t length) {
    return static_cast<uint32_t>(sim().call(
        "ryn_calc_crc", nullptr, join({buf(data), dec(length)}), [&](Device *, Call &) -> Result {
            if (!data && length) return Result::fail("null data");
            return Result::ok(crc32(0, static_cast<const Bytef *>(data), length));
        }));
}

uint32_t ryn_calc_crc_flash_layout(uint32_t crc, const void *data, uint32_t length) {
    return static_cast<uint32_t>(
        sim().call("ryn_calc_crc_flash_layout", nullptr, join({hex(crc), buf(data), dec(length)}),
                   [&](Device *, Call &) -> Result {
                       if (length == 0) return Result::ok(crc);  // zlib answers 0 for no data
                       if (!data) return Result::fail("null data");
                       return Result::ok(crc32(crc, static_cast<const Bytef *>(data), length));
                   }));
}

}  // extern "C"
