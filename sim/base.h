// The base controller (family "base", platform code 1).
#pragma once

#include <memory>

#include <nlohmann/json.hpp>

#include "sim/device.h"

namespace ryn::sim {

std::unique_ptr<Device> make_base_controller(const nlohmann::json &options);

}  // namespace ryn::sim
