// The library's version, kept as a marked text in the module's file so that a
// host can tell which version it loaded without a call into the library (the
// export list stays as it is). The text is "@(#)libryn_usr " and the project
// version, ended by a NUL; `used` keeps it in the module though nothing reads it.
#include "ryn_version.h"

namespace ryn::frame {

extern const char version_mark[];
[[gnu::used]] const char version_mark[] = "@(#)libryn_usr " RYN_VERSION_STRING;

}  // namespace ryn::frame
