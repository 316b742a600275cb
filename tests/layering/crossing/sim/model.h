// Crosses: the simulator reaches the platform library.
#include "sim/device.h"
#include "platform/file.h"
#include "formats/layout.h"
#include "ryn_hid.h"
