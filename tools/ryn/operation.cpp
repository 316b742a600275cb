// The one way ryn runs a library operation.
#include "operation.h"

#include <functional>

#include "device.h"
#include "files.h"
#include "host.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "text/text.h"

namespace ryn::cli {

namespace {

using wstring = std::basic_string<ryn_wchar>;

// File names go to the library as given; it makes them absolute itself.
wstring wide(const std::string &s) {
    const std::u16string w = text::from_utf8(s);
    return wstring(w.begin(), w.end());
}

uint32_t six_cam_bits(const GlobalOptions &global) {
    switch (global.six_cam_dev) {
    case 1: return RYN_FLAG_6CAM_DEV1;
    case 2: return RYN_FLAG_6CAM_DEV2;
    default: return 0;
    }
}

// dev_reset_fn: the simulated device is reopened, as after a power cycle.
ryn_handle reset_device(void *) { return ryn_sim_reset(); }

// set_update_hdr_fn, called by the library only for a device that runs its
// flash builder: asks the flash builder to hand over to update mode and
// reopens the device, which comes back in that mode (the library then finds
// the update-mode bit set in the firmware header and writes the normal code
// without a reset of its own). The update code position and length from the
// image header are what a real host passes on to its update loader; the
// simulated device keeps its update code and needs neither. Any failure is
// the all-ones handle.
ryn_handle switch_to_update_mode(void *, uint32_t, uint32_t, uint32_t, uint32_t) {
    if (!ryn_set_dev_mode(ryn_sim_handle(), 1, nullptr)) return RYN_INVALID_HANDLE;
    return ryn_sim_reset();
}

using Call = std::function<int32_t(ryn_handle handle, Host &host)>;

int run_operation(const GlobalOptions &global, const Call &call) {
    const std::string state = open_device(global);
    ryn_sim_trace_clear();  // the state file keeps the device calls of this run, even none
    Host host(!global.quiet);
    const int32_t result = call(ryn_sim_handle(), host);
    host.finish();
    save_device(state);
    if (result == 1) return exit_success;
    if (!host.got_message()) print_error("the operation failed and the library gave no reason");
    return exit_failure;
}

template <class Block>
void attach(Block &arg, Host &host) {
    arg.user_data = host.user_data();
    arg.msg_fn = &Host::on_message;
    arg.progress_fn = host.progress_fn();
}

// A GET writes the file, a SET reads it.
void check_info_file(const std::string &file, uint32_t flags) {
    if (flags & RYN_FLAG_SET) check_input_file(file, "file");
    else check_output_file(file, "file");
}

}  // namespace

int run_info(const GlobalOptions &global, InfoOperation operation, const std::string &file,
             uint32_t flags) {
    check_info_file(file, flags);
    const wstring name = wide(file);
    return run_operation(global, [&](ryn_handle handle, Host &host) {
        cali_info_arg arg;  // the layout of both kinds of request
        ryn_cali_info_init_arg(&arg, handle, name.c_str(), flags | six_cam_bits(global));
        attach(arg, host);
        return operation(&arg);
    });
}

int run_fw_update(const GlobalOptions &global, const std::string &image, const std::string &flash_builder,
                  uint32_t update_mode) {
    check_input_file(image, "image");
    if (!flash_builder.empty()) check_input_file(flash_builder, "flash builder file");
    const wstring image_name = wide(image);
    const wstring builder_name = wide(flash_builder);
    return run_operation(global, [&](ryn_handle handle, Host &host) {
        fw_update_arg arg;
        ryn_fw_update_init_arg(&arg, handle, image_name.c_str(),
                               flash_builder.empty() ? nullptr : builder_name.c_str(),
                               update_mode | six_cam_bits(global));
        attach(arg, host);
        arg.dev_reset_fn = &reset_device;
        arg.set_update_hdr_fn = &switch_to_update_mode;
        return ryn_fw_update(&arg);
    });
}

}  // namespace ryn::cli
