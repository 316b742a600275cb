// Test support: the device callbacks a host passes to a firmware update,
// driving the simulated device.
#pragma once

#include <cstdint>

#include "ryn_hid.h"
#include "sim/ryn_sim.h"

namespace ryn::test {

// dev_reset_fn: a reset reopens the simulated device.
inline ryn_handle reset_sim(void *) {
    return ryn_sim_reset();
}

// set_update_hdr_fn: requests update mode and reopens the device.
inline ryn_handle switch_sim_to_update(void *, uint32_t, uint32_t, uint32_t, uint32_t) {
    if (!ryn_set_dev_mode(ryn_sim_handle(), 1, nullptr)) return RYN_INVALID_HANDLE;
    return ryn_sim_reset();
}

}  // namespace ryn::test
