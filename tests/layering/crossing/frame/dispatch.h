// Crosses: a lower layer includes a higher one.
#include "fwupdate/base/update.h"
