// Owns a copy of a va_list so that helpers can take arguments one by one
// through a reference (a va_list parameter cannot portably be passed on by
// address once it has decayed).
#pragma once

#include <cstdarg>

namespace ryn::text::detail {

class var_args {
  public:
    explicit var_args(va_list ap) { va_copy(ap_, ap); }
    ~var_args() { va_end(ap_); }
    var_args(const var_args &) = delete;
    var_args &operator=(const var_args &) = delete;

    template <class T>
    T next() {
        return va_arg(ap_, T);
    }

  private:
    va_list ap_;
};

}  // namespace ryn::text::detail
