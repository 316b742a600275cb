// Test support: environment changes with the host's own calls.
#pragma once

#include <cstdlib>

namespace ryn::test {

// Sets name to value. On Windows an empty value removes the variable.
inline void set_env(const char *name, const char *value) {
#if defined(_WIN32)
    _putenv_s(name, value);
#else
    ::setenv(name, value, 1);
#endif
}

inline void unset_env(const char *name) {
#if defined(_WIN32)
    _putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}

}  // namespace ryn::test
