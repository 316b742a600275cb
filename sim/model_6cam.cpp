// The six-camera system (family "6cam", platform code 6): the LPC4320
// controller as device 255 and two 5810 devices as 1 and 2, each with its own
// records, named "255/cali", "1/model-cfg" and so on (see controllers.h).
//
// ryn_6cam_set_dev_id selects the controller that every following call with a
// handle reaches; the selection belongs to the device library, so it outlasts
// calls and resets and is kept in the state file ("model": {"selected": id}).
// A new system starts with 255 selected. Selecting any other id than 1, 2 or
// 255 fails, and so does every later call with a handle (ryn_check_platform
// excepted: it answers for the whole system) until a valid id is selected.
#include "sim/controllers.h"

#include "sim/json_util.h"

namespace ryn::sim {

namespace {

constexpr uint32_t kLpc4320 = 255;

class SixCamSystem final : public ControllerDevice {
  public:
    explicit SixCamSystem(const nlohmann::json &options)
        : ControllerDevice(options, {{ControllerKind::lpc4320, kLpc4320, "255/", 1},
                                     {ControllerKind::c5810, 1, "1/", 2},
                                     {ControllerKind::c5810, 2, "2/", 3}}) {}

    std::string_view family() const override { return "6cam"; }
    uint8_t platform_code() const override { return 6; }

    Result set_6cam_dev_id(Call &, uint32_t dev_id) override {
        selected_ = dev_id;
        std::string why;
        if (!current(&why)) return Result::fail(why);
        return Result::ok();
    }

    nlohmann::json save_state() const override {
        nlohmann::json state = ControllerDevice::save_state();
        state["selected"] = selected_;
        return state;
    }

    // The 5810 devices' firmware state is the controllers' (sim/fw_5810.cpp).
    void load_state(const nlohmann::json &state) override {
        ControllerDevice::load_state(state);
        if (state.contains("selected"))
            selected_ = static_cast<uint32_t>(
                to_uint(state["selected"], 0, UINT32_MAX, "state \"model\" selected"));
    }

  protected:
    const ControllerUnit *current(std::string *why) const override {
        for (const ControllerUnit &u : units())
            if (u.dev_id == selected_) return &u;
        if (why)
            *why = "device id " + std::to_string(selected_) +
                   " selected: the six-camera system has devices 1, 2 and 255 only";
        return nullptr;
    }

  private:
    uint32_t selected_ = kLpc4320;
};

}  // namespace

std::unique_ptr<Device> make_6cam_system(const nlohmann::json &options) {
    return std::make_unique<SixCamSystem>(options);
}

}  // namespace ryn::sim
