// Crosses: a format needs the library's public header.
#include "formats/layout.h"
#include "ryn_usr.h"
