#include "sim/device.h"

#include <cstring>

namespace ryn::sim {

const Bytes *Device::record(std::string_view name) const {
    auto it = records_.find(name);
    return it == records_.end() ? nullptr : &it->second;
}

void Device::set_record(std::string_view name, Bytes bytes) {
    std::string why = record_error(name, bytes);
    if (!why.empty()) throw SimError(why);
    store(name, std::move(bytes));
    after_change();
}

void Device::check_complete() const {
    for (std::string_view name : required_records())
        if (!record(name))
            throw SimError("the " + std::string(family()) + " device lacks its record \"" +
                           std::string(name) + "\"");
}

void Device::restore_modes(std::string current, std::optional<std::string> pending) {
    if (!valid_mode(current))
        throw SimError("firmware mode \"" + current + "\" is not one of the " +
                       std::string(family()) + " device");
    if (pending && !valid_mode(*pending))
        throw SimError("pending firmware mode \"" + *pending + "\" is not one of the " +
                       std::string(family()) + " device");
    mode_ = std::move(current);
    pending_mode_ = std::move(pending);
    after_change();
}

void Device::reset() {
    if (pending_mode_) mode_ = mode_after_reset(*pending_mode_);
    pending_mode_.reset();
    after_reset();
    after_change();
}

void Device::load_state(const nlohmann::json &state) {
    if (!state.is_object() || !state.empty())
        throw SimError("the " + std::string(family()) + " device keeps no model state");
}

Bytes &Device::rec(std::string_view name) {
    auto it = records_.find(name);
    if (it == records_.end()) throw SimError("record \"" + std::string(name) + "\" is missing");
    return it->second;
}

const Bytes &Device::rec(std::string_view name) const {
    return const_cast<Device *>(this)->rec(name);
}

void Device::hand_back(Call &call, void *dest, std::span<const uint8_t> bytes) {
    if (!bytes.empty()) std::memcpy(dest, bytes.data(), bytes.size());
    call.output = {static_cast<uint8_t *>(dest), bytes.size()};
}

Result Device::check_platform(Call &) {
    return Result::ok(0x5A00 | platform_code());
}
Result Device::set_6cam_dev_id(Call &, uint32_t) {
    return unsupported();
}
Result Device::read_cali(Call &, void *) {
    return unsupported();
}
Result Device::write_cali(Call &, const void *) {
    return unsupported();
}
Result Device::read_model_cfg_record(Call &, void *) {
    return unsupported();
}
Result Device::write_model_cfg_record(Call &, const void *) {
    return unsupported();
}
Result Device::set_sensor_ctrl(Call &, uint32_t) {
    return unsupported();
}
Result Device::get_version_record(Call &, void *) {
    return unsupported();
}
Result Device::get_dev_ver(Call &, void *) {
    return unsupported();
}
Result Device::get_fw_mode(Call &, uint32_t *) {
    return unsupported();
}
Result Device::get_model_cfg(Call &, void *) {
    return unsupported();
}
Result Device::get_fw_hdr(Call &, void *) {
    return unsupported();
}
Result Device::set_fw_hdr(Call &, const void *) {
    return unsupported();
}
Result Device::get_update_hdr(Call &, void *) {
    return unsupported();
}
Result Device::set_update_hdr(Call &, uint32_t, uint32_t, uint32_t) {
    return unsupported();
}
Result Device::set_dev_mode(Call &, uint32_t) {
    return unsupported();
}
Result Device::set_normal_code(Call &, const void *, const void *, const void *, uint32_t) {
    return unsupported();
}
Result Device::set_dev_mode_with_cfg(Call &c, uint32_t mode, const void *) {
    return set_dev_mode(c, mode);
}
Result Device::set_dev_mode_g40(Call &, uint32_t, const void *, const void *) {
    return unsupported();
}
Result Device::set_normal_code_g40(Call &, const void *, const void *, const void *, uint32_t) {
    return unsupported();
}
Result Device::get_model_cfg_g40(Call &, void *) {
    return unsupported();
}
Result Device::update_flash_code(Call &, const void *, uint32_t, uint32_t) {
    return unsupported();
}
Result Device::set_extend_flash_driver(Call &, uint32_t, const void *, uint32_t) {
    return unsupported();
}
Result Device::get_reg(Call &, uint32_t, uint32_t *) {
    return unsupported();
}
Result Device::set_reg(Call &, uint32_t, uint32_t) {
    return unsupported();
}
Result Device::get_data(Call &, void *, uint32_t, uint32_t) {
    return unsupported();
}
Result Device::get_dev_ctrl(Call &, uint32_t *) {
    return unsupported();
}
Result Device::set_dev_ctrl(Call &, uint32_t) {
    return unsupported();
}

}  // namespace ryn::sim
