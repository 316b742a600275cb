// The 5920 controller (family "5920", platform code 3): one controller with
// its calibration record in the 5920 form and its model configuration record
// of version 0x300 (see controllers.h).
#include "sim/controllers.h"

namespace ryn::sim {

namespace {

class Controller5920 final : public ControllerDevice {
  public:
    explicit Controller5920(const nlohmann::json &options)
        : ControllerDevice(options, {{ControllerKind::c5920, 0, "", 1}}) {}

    std::string_view family() const override { return "5920"; }
    uint8_t platform_code() const override { return 3; }
};

}  // namespace

std::unique_ptr<Device> make_5920_controller(const nlohmann::json &options) {
    return std::make_unique<Controller5920>(options);
}

}  // namespace ryn::sim
