// The exported operations: argument checks in their order, dispatch by
// platform code, progress steps 0 and 5 (or 0 of 8), and a guard that keeps
// every C++ exception inside the library and lets one operation run at a time.
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "frame/paths.h"
#include "frame/sink.h"
#include "platform/os_error.h"
#include "platform/path.h"
#include "ryn_hid.h"
#include "ryn_usr.h"
#include "ryn_version.h"
#include "text/text.h"

// The header's version numbers are written out for hosts that have only the
// header; they must be the project's.
static_assert(RYN_USR_VERSION_MAJOR == RYN_VERSION_MAJOR && RYN_USR_VERSION_MINOR == RYN_VERSION_MINOR &&
                  RYN_USR_VERSION_PATCH == RYN_VERSION_PATCH,
              "RYN_USR_VERSION_* in include/ryn_usr.h differ from the project version");

namespace ryn::frame {
namespace {

struct InfoRoute {
    InfoPath get;
    InfoPath set;
};

// Calibration paths, indexed by Controller.
constexpr InfoRoute cali_routes[] = {
    {calibration::get_cali_info_base, calibration::set_cali_info_base},    // base
    {calibration::get_cali_info_other, calibration::set_cali_info_other},  // 5810
    {calibration::get_cali_info_other, calibration::set_cali_info_other},  // 5920
    {calibration::get_cali_info_other, calibration::set_cali_info_other},  // 6cam_4320
    {calibration::get_cali_info_other, calibration::set_cali_info_other},  // 6cam_5810
};

// Firmware-update paths, indexed by Controller.
constexpr UpdatePath update_paths[] = {
    fwupdate::fw_update_base,      fwupdate::fw_update_5810,      fwupdate::fw_update_5920,
    fwupdate::fw_update_6cam_4320, fwupdate::fw_update_6cam_5810,
};

constexpr size_t index_of(Controller c) { return static_cast<size_t>(c); }

// The checks shared by ryn_cali_info and ryn_dev_info, in their order: file
// name, GET against SET, the two compatible forms (calibration only), the
// absolute path, for SET the file's existence, and the handle. Gives the
// absolute path.
std::optional<std::u16string> check_request(cali_info_arg &arg, bool check_compat_forms) {
    if (!arg.file_name) {
        report(arg, u"[ARG] The file_name cannot be NULL.\n");
        return std::nullopt;
    }
    if ((arg.flags & RYN_FLAG_GET) && (arg.flags & RYN_FLAG_SET)) {
        report(arg, u"[ARG] Only one of GET/SET can be set.\n");
        return std::nullopt;
    }
    if (check_compat_forms && (arg.flags & RYN_CALI_COMPAT_TEXT) &&
        (arg.flags & RYN_CALI_COMPAT_INI)) {
        report(arg, u"[ARG] Only one compatible version can be set\n");
        return std::nullopt;
    }
    std::optional<std::u16string> path = platform::full_path(as_u16(arg.file_name));
    if (!path) {
        report(arg, u"The file name [%s] error.\n", as_u16(arg.file_name));
        return std::nullopt;
    }
    if ((arg.flags & RYN_FLAG_SET) && !platform::file_exists(*path)) {
        report(arg, u"The file name [%s] doesn't exist.\n", path->c_str());
        return std::nullopt;
    }
    if (arg.handle == RYN_INVALID_HANDLE) {
        report(arg, u"Invalid handle\n");
        return std::nullopt;
    }
    return path;
}

int dispatch_cali(cali_info_arg &arg, const std::u16string &path, InfoPath InfoRoute::*which) {
    const std::optional<uint32_t> code = served_platform_code(arg);
    if (!code) return 0;
    std::optional<Controller> controller =
        controller_of(*code, arg.flags & (RYN_FLAG_6CAM_DEV1 | RYN_FLAG_6CAM_DEV2));
    if (!controller) return 0;
    return (cali_routes[index_of(*controller)].*which)(arg, path, *controller);
}

int cali_info(cali_info_arg &arg) {
    progress(arg, 0);
    std::optional<std::u16string> path = check_request(arg, true);
    if (!path) return 0;
    int result;
    if (arg.flags & RYN_FLAG_GET) {
        result = dispatch_cali(arg, *path, &InfoRoute::get);
    } else if (arg.flags & RYN_FLAG_SET) {
        result = dispatch_cali(arg, *path, &InfoRoute::set);
    } else {
        report(arg, u"You must specify one of GET/SET.\n");
        return 0;
    }
    if (result) progress(arg, 5);
    return result;
}

// Version strings are served by the base controller only.
int get_version_strings(dev_info_arg &arg, const std::u16string &path) {
    const std::optional<uint32_t> code = served_platform_code(arg);
    if (!code) return 0;
    if (*code == 1) return devinfo::get_version_string(arg, path);
    report(arg, u"Not support get version string.\n");
    return 0;
}

int dev_info(dev_info_arg &arg) {
    progress(arg, 0);
    std::optional<std::u16string> path = check_request(arg, false);
    if (!path) return 0;
    const bool get = arg.flags & RYN_FLAG_GET, set = arg.flags & RYN_FLAG_SET;
    int result;
    if (get && (arg.flags & RYN_DEV_VERSION_STR)) {
        result = get_version_strings(arg, *path);
    } else if (set && (arg.flags & RYN_DEV_VERSION_STR)) {
        report(arg, u"The version strings are read only.\n");
        return 0;
    } else if (get && (arg.flags & RYN_DEV_MODEL_CFG)) {
        result = devinfo::get_model_cfg(arg, *path);
    } else if (set && (arg.flags & RYN_DEV_MODEL_CFG)) {
        result = devinfo::set_model_cfg(arg, *path);
    } else {
        report(arg, u"GET/SET or session is not raised in flags.\n");
        return 0;
    }
    if (result) progress(arg, 5);
    return result;
}

int fw_update(fw_update_arg &arg) {
    progress(arg, 0);
    const std::optional<uint32_t> code = served_platform_code(arg);
    if (!code) return 0;
    std::optional<Controller> controller =
        controller_of(*code, arg.update_mode & (RYN_FLAG_6CAM_DEV1 | RYN_FLAG_6CAM_DEV2));
    if (!controller) return 0;
    return update_paths[index_of(*controller)](arg);
}

// The message buffer, the definition tables, the image buffers and the flash
// driver table are shared by every call, so operations of several host threads
// run one after the other. The lock is re-entrant: a callback may call
// ryn_get_err_msg, or another export, from inside an operation on its thread.
std::recursive_mutex &library_lock() {
    static std::recursive_mutex lock;
    return lock;
}

// Runs an operation with the library lock held and every C++ exception kept
// inside the library: an allocation failure or an unexpected error becomes a
// message and result 0.
template <class Block>
int32_t guarded(Block *arg, int (*operation)(Block &)) {
    if (!arg) return 0;
    std::lock_guard hold(library_lock());
    // A reason a callback's own file work left behind belongs to no message of this call.
    platform::clear_os_reason();
    try {
        return operation(*arg);
    } catch (const std::bad_alloc &) {
        try {
            report(*arg, u"Fail to allocate memory.\n");
        } catch (...) {
        }
    } catch (...) {
        try {
            report(*arg, u"Internal error.\n");
        } catch (...) {
        }
    }
    return 0;
}

// The init functions clear every field from the given offset to the end of the
// block before they store their values.
template <class Block>
void zero_from(Block *arg, size_t offset) {
    std::memset(reinterpret_cast<char *>(arg) + offset, 0, sizeof(Block) - offset);
}

}  // namespace
}  // namespace ryn::frame

using namespace ryn::frame;

extern "C" {

RYN_USR_API void ryn_cali_info_init_arg(cali_info_arg *arg, ryn_handle handle,
                                        const ryn_wchar *file_name, uint32_t flags) {
    if (!arg) return;
    zero_from(arg, offsetof(cali_info_arg, flags));
    arg->handle = handle;
    arg->file_name = file_name;
    arg->flags = flags;
}

// One function under both names, as the two blocks share one layout.
RYN_USR_API void ryn_dev_info_init_arg(dev_info_arg *arg, ryn_handle handle,
                                       const ryn_wchar *file_name, uint32_t flags)
    __attribute__((alias("ryn_cali_info_init_arg")));

RYN_USR_API void ryn_fw_update_init_arg(fw_update_arg *arg, ryn_handle handle,
                                        const ryn_wchar *file_name,
                                        const ryn_wchar *flash_builder_file_name,
                                        uint32_t update_mode) {
    if (!arg) return;
    zero_from(arg, offsetof(fw_update_arg, update_mode));
    arg->handle = handle;
    arg->file_name = file_name;
    arg->flash_builder_file_name = flash_builder_file_name;
    arg->update_mode = update_mode;
}

RYN_USR_API int32_t ryn_cali_info(cali_info_arg *arg) { return guarded(arg, cali_info); }

RYN_USR_API int32_t ryn_dev_info(dev_info_arg *arg) { return guarded(arg, dev_info); }

RYN_USR_API int32_t ryn_fw_update(fw_update_arg *arg) { return guarded(arg, fw_update); }

// Hands back a copy of the message buffer, taken under the library lock: the
// buffer itself may be rewritten by an operation of another thread at any
// moment, the copy stays as it is until this thread asks again.
RYN_USR_API const ryn_wchar *ryn_get_err_msg(void) {
    thread_local char16_t copy[message_buffer_size];
    std::lock_guard hold(library_lock());
    std::memcpy(copy, message_buffer(), sizeof copy);
    return reinterpret_cast<const ryn_wchar *>(copy);
}

// Formats into the caller's buffer only, so it needs no lock.
RYN_USR_API int ryn_format_msg(ryn_wchar *buf, size_t cap, const ryn_wchar *format, va_list args) {
    if (!format) return -1;
    if (!buf) cap = 0;
    return ryn::text::vformat_to(reinterpret_cast<char16_t *>(buf), cap, as_u16(format), args);
}

// A static text: needs no lock.
RYN_USR_API const char *ryn_usr_version(void) { return RYN_VERSION_STRING; }

}  // extern "C"
