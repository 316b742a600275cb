// The 5810 controller (family "5810", platform code 2): one controller with
// its calibration and model configuration records (see controllers.h).
#include "sim/controllers.h"

namespace ryn::sim {

namespace {

class Controller5810 final : public ControllerDevice {
  public:
    explicit Controller5810(const nlohmann::json &options)
        : ControllerDevice(options, {{ControllerKind::c5810, 0, "", 1}}) {}

    std::string_view family() const override { return "5810"; }
    uint8_t platform_code() const override { return 2; }
};

}  // namespace

std::unique_ptr<Device> make_5810_controller(const nlohmann::json &options) {
    return std::make_unique<Controller5810>(options);
}

}  // namespace ryn::sim
