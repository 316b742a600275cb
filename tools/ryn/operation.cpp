// The one way ryn runs a library operation.
#include "operation.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "device.h"
#include "files.h"
#include "host.h"
#include "host_os.h"
#include "image_formats.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "text/text.h"

namespace ryn::cli {

namespace {

using wstring = std::basic_string<ryn_wchar>;

// File names go to the library as given; it makes them absolute itself.
wstring wide(const std::string &s) {
    const std::u16string w = os::library_path(s);
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

// A family's name as the user's messages say it.
std::string device_name(const std::string &family, unsigned six_cam_dev) {
    if (family == "base") return "a base controller";
    if (family == "5810") return "a 5810 controller";
    if (family == "5920") return "a 5920 controller";
    if (family == "6cam")
        return six_cam_dev == 1 || six_cam_dev == 2
                   ? "device " + std::to_string(six_cam_dev) + " (a 5810) of a six-camera system"
                   : "the LPC4320 controller of a six-camera system";
    return "a device of family '" + family + "'";
}

// Runs the call on the loaded device and saves it with the run's calls. A
// failure ends with the line "ryn: <command> failed: <the library's last
// line>", after any hint the library's messages called for.
int run_operation(const GlobalOptions &global, Access access, const FamilyCheck &check, const Call &call) {
    const std::string state = open_checked_device(global, check, access);
    ryn_sim_trace_clear();  // the state file keeps the device calls of this run, even none
    Host host(!global.quiet);
    const int32_t result = call(ryn_sim_handle(), host);
    host.finish();
    save_device(state);
    if (result == 1) return exit_success;
    for (const std::string &hint : host.hints()) std::fprintf(stderr, "hint: %s\n", hint.c_str());
    const std::string reason = host.last_line();
    print_error(global.command + " failed: " +
                (reason.empty() ? "the library gave no reason" : reason));
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

// The section names of an INI file, as written between brackets (UTF-8 or
// UTF-16LE text; other bytes are left as they are).
std::vector<std::string> ini_sections(const std::string &file) {
    std::vector<uint8_t> bytes;
    try {
        bytes = read_file(file, "file", 64u << 20);
    } catch (const Failure &) {
        return {};
    }
    std::string text;
    const bool utf16 = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    for (size_t i = utf16 ? 2 : 0; i < bytes.size(); i += utf16 ? 2 : 1) text += static_cast<char>(bytes[i]);
    std::vector<std::string> sections;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        const size_t open = line.find_first_not_of(" \t");
        const size_t close = line.find(']');
        if (open != std::string::npos && line[open] == '[' && close != std::string::npos && close > open)
            sections.push_back(line.substr(open + 1, close - open - 1));
        at = end + 1;
    }
    return sections;
}

bool same_name(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A GET writes its sections into an existing file as the INI store does:
// other sections stay. Says so when the file holds sections of another kind.
void warn_if_merged(const std::string &file, const std::vector<std::string> &sections) {
    if (sections.empty()) return;
    std::error_code ec;
    if (!std::filesystem::exists(os::fs_path(file), ec)) return;
    std::string others;
    for (const std::string &s : ini_sections(file)) {
        bool ours = false;
        for (const std::string &n : sections) ours = ours || same_name(s, n);
        if (!ours && others.find("[" + s + "]") == std::string::npos) others += (others.empty() ? "" : ", ") + ("[" + s + "]");
    }
    if (!others.empty())
        std::fprintf(stderr,
                     "ryn: warning: '%s' already holds other sections (%s); the new sections are merged "
                     "into it and those stay as they are\n",
                     file.c_str(), others.c_str());
}

}  // namespace

std::string loaded_family() {
    const char *family = ryn_sim_family();
    return family ? family : "";
}

std::string open_checked_device(const GlobalOptions &global, const FamilyCheck &check, Access access) {
    std::string state = open_device(global);
    const std::string family = loaded_family();
    if (global.six_cam_dev && family != "6cam")
        throw UsageError("--6cam-dev " + std::to_string(global.six_cam_dev) + " addresses " +
                         (global.six_cam_dev == 255 ? "the LPC4320 controller" : "a 5810 device") +
                         " of a six-camera system, but the device is " + device_name(family, 0));
    // A six-camera system is one unit of three controllers: a write names the
    // one it is for, so that a file meant for one never lands on another.
    if (access == Access::write && family == "6cam" && !global.six_cam_dev)
        throw UsageError(global.command + " on a six-camera system needs the controller it writes to: add "
                         "--6cam-dev 255 (or lpc) for the LPC4320 controller, --6cam-dev 1 for 5810 device 1, "
                         "or --6cam-dev 2 for 5810 device 2; nothing was written");
    if (check) check(family, global);
    return state;
}

int run_info(const GlobalOptions &global, InfoOperation operation, const std::string &file,
             uint32_t flags, const FamilyCheck &check, const std::vector<std::string> &sections) {
    check_info_file(file, flags);
    const wstring name = wide(file);
    return run_operation(global, flags & RYN_FLAG_SET ? Access::write : Access::read, check,
                         [&](ryn_handle handle, Host &host) {
        if (flags & RYN_FLAG_GET) warn_if_merged(file, sections);
        cali_info_arg arg;  // the layout of both kinds of request
        ryn_cali_info_init_arg(&arg, handle, name.c_str(), flags | six_cam_bits(global));
        attach(arg, host);
        return operation(&arg);
    });
}

namespace {

// What fw update takes on each family, checked before the device is touched.
struct UpdateRequest {
    std::string image;
    std::string flash_builder;
    uint32_t update_mode;
};

void check_update(const UpdateRequest &request, const std::string &family, const GlobalOptions &global) {
    const std::string device = device_name(family, global.six_cam_dev);
    if (request.update_mode == RYN_UPDATE_AUTO && family != "base")
        throw UsageError("--mode auto is for a base controller only; the device is " + device +
                         " (choose --mode normal or --mode layout)");
    if (family == "base" && request.update_mode == RYN_UPDATE_FLASH_LAYOUT && request.flash_builder.empty())
        throw UsageError("--mode layout on a base controller needs the flash builder: add --flash-builder FILE");
    if (!request.flash_builder.empty() && family != "base")
        throw UsageError("--flash-builder is for a base controller only; the device is " + device);
    // The image's format, when its magic or header words tell it.
    const std::vector<const ImageFormat *> found = recognise_image(request.image, read_file(request.image, "image", max_image_file));
    if (found.size() != 1) return;  // the library's validation says what is wrong
    const ImageFormat &format = *found.front();
    const std::string wanted =
        family == "6cam" ? (global.six_cam_dev == 1 || global.six_cam_dev == 2 ? "5810" : "lpc4320") : family;
    if (format.name == wanted) return;
    std::string text = "'" + request.image + "' is " + format.article + " " + format.name + " image (" +
                       format.family + "), but the device is " + device + ", which takes " +
                       format_by_name(wanted).article + " " + wanted + " image; nothing was sent to the device";
    if (format.name == std::string("flash-builder")) text += " (a flash builder file goes with --flash-builder)";
    throw UsageError(text);
}

}  // namespace

int run_fw_update(const GlobalOptions &global, const std::string &image, const std::string &flash_builder,
                  uint32_t update_mode) {
    check_input_file(image, "image");
    if (!flash_builder.empty()) check_input_file(flash_builder, "flash builder file");
    const UpdateRequest request{image, flash_builder, update_mode};
    const wstring image_name = wide(image);
    const wstring builder_name = wide(flash_builder);
    return run_operation(
        global, Access::write, [&](const std::string &family, const GlobalOptions &g) { check_update(request, family, g); },
        [&](ryn_handle handle, Host &host) {
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
