// The device families the simulator models: one entry (and one Device
// subclass) per family.
#include <iterator>

#include "sim/base.h"
#include "sim/controllers.h"
#include "sim/json_util.h"
#include "sim/simulator.h"

namespace ryn::sim {

namespace {

struct Family {
    std::string_view name;
    std::unique_ptr<Device> (*make)(const nlohmann::json &options);
};

constexpr Family kFamilies[] = {
    {"base", &make_base_controller},
    {"5810", &make_5810_controller},
    {"5920", &make_5920_controller},
    {"6cam", &make_6cam_system},
};

}  // namespace

std::unique_ptr<Device> make_device(std::string_view family, const nlohmann::json &options) {
    for (const Family &f : kFamilies)
        if (f.name == family) return f.make(options);
    std::string known;
    for (const Family &f : kFamilies) known += (known.empty() ? "" : ", ") + std::string(f.name);
    throw SimError("unknown device family \"" + std::string(family) + "\" (known: " + known + ")");
}

}  // namespace ryn::sim
