// The device model: one controller of a family, holding its records, its
// firmware mode and whatever else the family keeps, and answering every
// ryn_hid operation. The common machinery (handles, faults, trace, state file)
// lives in the Simulator; a family is one more subclass of Device.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace ryn::sim {

using Bytes = std::vector<uint8_t>;

// The word a simulated controller writes at the start of a fresh firmware
// header, so a state file shows where the header is; no update path reads it.
inline constexpr uint32_t kFwHeaderMark = 0x46574844;

// A failure of the simulator's own control functions (bad options, a hostile
// state file, a record of the wrong size); its text becomes ryn_sim_last_error().
class SimError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Outcome of one operation: the value it returns, or why it failed (the
// reason shows in the trace; the caller sees 0 or null).
struct Result {
    int64_t value = 0;
    std::string reason;

    static Result ok(int64_t v = 1) { return {v, {}}; }
    static Result fail(std::string why) { return {0, std::move(why)}; }
    bool failed() const { return !reason.empty(); }
};

// Per-call context the machinery hands to an operation: whether a stalled
// poll is armed for this call, and (filled by the operation) the bytes it
// handed back to the caller, which a corruption fault may flip.
struct Call {
    bool stalled = false;
    std::span<uint8_t> output;
};

// The record readers and writers that the *_fn getters hand out.
enum class RecordIo { cali_reader, cali_writer, model_cfg_reader, model_cfg_writer };

class Device {
  public:
    explicit Device(nlohmann::json options) : options_(std::move(options)) {}
    virtual ~Device() = default;
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    virtual std::string_view family() const = 0;
    virtual uint8_t platform_code() const = 0;
    // The options the device was created with, as saved in the state file.
    const nlohmann::json &options() const { return options_; }

    // Records by name, as the device holds them.
    const std::map<std::string, Bytes, std::less<>> &records() const { return records_; }
    const Bytes *record(std::string_view name) const;
    // Replaces (or creates) a record after the model has checked name and size.
    void set_record(std::string_view name, Bytes bytes);
    // Drops every record (before a state file supplies them).
    void clear_records() { records_.clear(); }
    // Fails unless every record the family always holds is there.
    void check_complete() const;

    // Firmware mode: the current one, and the one requested for the next reset.
    const std::string &mode() const { return mode_; }
    const std::optional<std::string> &pending_mode() const { return pending_mode_; }
    void restore_modes(std::string current, std::optional<std::string> pending);
    // Power cycle: the requested mode takes effect.
    void reset();

    // Family state beyond records and modes, for the state file.
    virtual nlohmann::json save_state() const { return nlohmann::json::object(); }
    virtual void load_state(const nlohmann::json &state);

    // Why the operations that take a handle cannot reach a controller now (a
    // six-camera system with no valid device selected), or empty.
    virtual std::string unreachable() const { return {}; }

    // ryn_hid operations. The defaults fail as "unsupported"; a family
    // overrides what its controller serves.
    virtual Result check_platform(Call &);
    virtual Result set_6cam_dev_id(Call &, uint32_t dev_id);
    virtual bool offers(RecordIo) const { return false; }
    virtual Result read_cali(Call &, void *record);
    virtual Result write_cali(Call &, const void *record);
    virtual Result read_model_cfg_record(Call &, void *record);
    virtual Result write_model_cfg_record(Call &, const void *record);
    virtual Result set_sensor_ctrl(Call &, uint32_t on);
    virtual Result get_version_record(Call &, void *version_record);
    virtual Result get_dev_ver(Call &, void *query);
    virtual Result get_fw_mode(Call &, uint32_t *mode);
    virtual Result get_model_cfg(Call &, void *model_cfg);
    virtual Result get_fw_hdr(Call &, void *header);
    virtual Result set_fw_hdr(Call &, const void *header);
    virtual Result get_update_hdr(Call &, void *result);
    virtual Result set_update_hdr(Call &, uint32_t start, uint32_t length, uint32_t crc);
    virtual Result set_dev_mode(Call &, uint32_t mode);
    virtual Result set_normal_code(Call &, const void *version_record, const void *model_cfg,
                                   const void *code, uint32_t length);
    // ryn_set_dev_mode with its model configuration reference (by default the
    // device ignores it), and the g40 forms of the base controller's update
    // operations (by default unsupported).
    virtual Result set_dev_mode_with_cfg(Call &, uint32_t mode, const void *model_cfg);
    virtual Result set_dev_mode_g40(Call &, uint32_t mode, const void *model_cfg,
                                    const void *version_record);
    virtual Result set_normal_code_g40(Call &, const void *version_record, const void *model_cfg,
                                       const void *code, uint32_t length);
    virtual Result get_model_cfg_g40(Call &, void *model_cfg);
    virtual Result update_flash_code(Call &, const void *data, uint32_t offset, uint32_t length);
    virtual Result set_extend_flash_driver(Call &, uint32_t param, const void *driver,
                                           uint32_t length);
    virtual Result get_reg(Call &, uint32_t address, uint32_t *value);
    virtual Result set_reg(Call &, uint32_t address, uint32_t value);
    virtual Result get_data(Call &, void *buffer, uint32_t address, uint32_t length);
    virtual Result get_dev_ctrl(Call &, uint32_t *word);
    virtual Result set_dev_ctrl(Call &, uint32_t code);

  protected:
    // Empty when the family takes a record of this name and size, otherwise
    // the reason it does not.
    virtual std::string record_error(std::string_view name,
                                     std::span<const uint8_t> bytes) const = 0;
    // Names of the records the family always holds.
    virtual std::span<const std::string_view> required_records() const = 0;
    virtual bool valid_mode(std::string_view mode) const = 0;
    // The mode a reset enters when `requested` is pending.
    virtual std::string mode_after_reset(const std::string &requested) const { return requested; }
    // Follows a record change or a reset (e.g. status bits that mirror the mode).
    virtual void after_change() {}
    virtual void after_reset() {}

    Bytes &rec(std::string_view name);
    const Bytes &rec(std::string_view name) const;
    void store(std::string_view name, Bytes bytes) {
        records_[std::string(name)] = std::move(bytes);
    }
    void enter_mode(std::string mode) { mode_ = std::move(mode); }
    void request_mode(std::string mode) { pending_mode_ = std::move(mode); }

    // Copies bytes into an operation's output buffer and marks them as what it handed back.
    static void hand_back(Call &call, void *dest, std::span<const uint8_t> bytes);

    static Result unsupported() { return Result::fail("unsupported"); }

  private:
    nlohmann::json options_;
    std::map<std::string, Bytes, std::less<>> records_;
    std::string mode_;
    std::optional<std::string> pending_mode_;
};

}  // namespace ryn::sim
