// Crosses: calibration reaches into devinfo.
#include "devinfo/ini_values.h"
#include "frame/sink.h"
