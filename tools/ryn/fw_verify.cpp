// ryn fw verify: the image compared with what the device holds, through the
// reads the device library offers for each kind of controller.
#include "fw_verify.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <span>

#include "device.h"
#include "files.h"
#include "formats/c5810_fw.h"
#include "formats/c5920_fw.h"
#include "formats/lpc4320_fw.h"
#include "formats/version_record.h"
#include "host.h"
#include "host_os.h"
#include "image_formats.h"
#include "operation.h"
#include "report.h"
#include "ryn_hid.h"
#include "sim/ryn_sim.h"

namespace ryn::cli {

namespace {

using Span = std::span<const uint8_t>;
using Bytes = std::vector<uint8_t>;

std::string hex(uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

// The image's bytes compared with the device's: the first byte that differs,
// named by its address (start + index), or a match.
VerifyPart compare_bytes(std::string name, Span expected, Span found, uint64_t start, const char *address_word,
                         int digits) {
    VerifyPart part{std::move(name), std::nullopt};
    const size_t n = std::min(expected.size(), found.size());
    const auto at = std::mismatch(expected.begin(), expected.begin() + static_cast<ptrdiff_t>(n), found.begin());
    if (at.first == expected.begin() + static_cast<ptrdiff_t>(n)) return part;
    const auto k = static_cast<uint64_t>(at.first - expected.begin());
    part.difference =
        VerifyDifference{std::string(address_word) + " " + hex(start + k, digits),
                         hex(*at.first, 2), hex(*at.second, 2)};
    return part;
}

// --- The base controller: its version strings ---------------------------------

// The version strings are the only read of a base controller that tells
// what an update wrote: a normal-code update sets "normal" to the image's,
// a layout update gives the device the image's whole version record.
void compare_base(ryn_handle handle, const Bytes &image, bool layout, ControllerVerify &c) {
    using VR = devinfo::VersionRecord;
    devinfo::VersionBuffer record{};
    if (!ryn_get_fw_ver_str(handle, record.data()))
        throw Failure("the base controller did not give its version strings (ryn_get_fw_ver_str failed)");
    const ImageReport report = describe_image(format_by_name("base"), image);
    std::vector<layout::Field> fields = {VR::normal};
    if (layout) fields.insert(fields.end(), {VR::bootldr, VR::updater});
    for (const layout::Field &field : fields) {
        std::string expected;
        for (const auto &[name, text] : report.versions)
            if (name == field.name) expected = text;
        const std::string found = record_text(record, field);
        VerifyPart part{"version string \"" + std::string(field.name) + "\"", std::nullopt};
        if (found != expected) part.difference = VerifyDifference{"", "\"" + expected + "\"", "\"" + found + "\""};
        c.parts.push_back(part);
    }
    if (const std::string normal = record_text(record, VR::normal); !normal.empty()) c.identity = "normal code " + normal;
    c.unverifiable.push_back("the code: this device offers no read-back");
    if (layout)
        c.unverifiable.push_back("the flash layout (header copy, model configuration, calibration, update code, "
                                 "boot loader): this device offers no read-back");
}

// --- The 5920 controller: its flash, through the read the update verifies with ---

// Flash bytes [address, address + length) as the device reads them back.
Bytes read_5920_flash(ryn_handle handle, uint32_t address, uint32_t length) {
    Bytes flash(length);
    if (!ryn_get_data(handle, 0, flash.data(), fwupdate::banked_flash_read_base + address, length))
        throw Failure("the 5920 controller did not give flash " + hex(address, 8) + " (" + std::to_string(length) +
                      " bytes; ryn_get_data failed)");
    return flash;
}

// Normal mode writes the code banks the header lists; layout mode the whole
// file from flash address 0 with the flash boot word erased (0xFFFFFFFF),
// the banks, model configuration and calibration inside it.
void compare_5920(ryn_handle handle, const Bytes &image, bool layout, ControllerVerify &c) {
    using B = fwupdate::BankedHeader;
    const Span bytes(image);
    if (bytes.size() < B::size || bytes.size() > fwupdate::banked_flash_size)
        throw Failure("the 5920 image is shorter than its header or longer than the flash");
    const uint64_t banks = B::bank_num.get(bytes);
    Bytes code;  // the banks as the device holds them, for its identity
    for (uint64_t i = 0; i < banks && i < B::max_banks; ++i) {
        const uint64_t a = B::bank_address.at(i).get(bytes);
        if (a > bytes.size() || bytes.size() - a < B::bank_size)
            throw Failure("code bank " + std::to_string(i) + " of the image lies outside the file");
        const auto address = static_cast<uint32_t>(a);
        const Bytes flash = read_5920_flash(handle, address, B::bank_size);
        code.insert(code.end(), flash.begin(), flash.end());
        if (!layout)
            c.parts.push_back(compare_bytes("code bank " + std::to_string(i) + " (flash " + hex(a, 8) + ", " +
                                                std::to_string(B::bank_size) + " bytes)",
                                            bytes.subspan(address, B::bank_size), flash, a, "flash address", 8));
    }
    if (!code.empty()) c.identity = "code crc " + hex(ryn_calc_crc(code.data(), static_cast<uint32_t>(code.size())), 8);
    if (layout) {
        Bytes expected = image;
        B::boot_word.put(expected, 0xFFFFFFFF);
        const auto length = static_cast<uint32_t>(expected.size());
        c.parts.push_back(compare_bytes("flash layout (flash 0x00000000, " + std::to_string(length) + " bytes)",
                                        expected, read_5920_flash(handle, 0, length), 0, "flash address", 8));
    } else if (code.empty()) {
        c.unverifiable.push_back("the code: the image carries no code banks");
    }
}

// --- The 5810 devices of a six-camera system: the image header they keep ---

// The update stores the image's 68-byte header over the start of the
// device's firmware header record; the code itself cannot be read back.
void compare_sixcam_5810(ryn_handle handle, const Bytes &image, bool, ControllerVerify &c) {
    using H = fwupdate::Image5810Header;
    if (image.size() < H::end_in_file) throw Failure("the 5810 image is too short to hold its header");
    // A buffer larger than any family's record, so that a device library
    // that writes more than the record cannot reach past it.
    Bytes record(4096, 0);
    if (!ryn_get_fw_hdr(handle, record.data(), 0))
        throw Failure("the 5810 device did not give its firmware header (ryn_get_fw_hdr failed)");
    const Span held = Span(record).first(H::size);
    c.parts.push_back(compare_bytes("image header (firmware header record, " + std::to_string(H::size) + " bytes)",
                                    Span(image).subspan(H::file_offset, H::size), held, 0, "offset", 2));
    if (H::magic.get(held) == H::magic_value) c.identity = "header crc " + hex(H::crc.get(held), 8);
    c.unverifiable.push_back("the code: this device offers no read-back");
}

// --- Controllers that offer no read-back at all ---

void compare_nothing_5810(ryn_handle, const Bytes &, bool, ControllerVerify &c) {
    c.unverifiable.push_back("the code: this device offers no read-back");
}

void compare_nothing_lpc4320(ryn_handle, const Bytes &, bool, ControllerVerify &c) {
    c.unverifiable.push_back("the code: this device offers no read-back");
    c.unverifiable.push_back("the image header: the device's firmware header read returns its USB ids, "
                             "not the header the update stores");
}

// What the device library reads back of each kind of controller.
struct ControllerReads {
    const char *family;      // the loaded device's family
    bool six_cam_5810;       // a six-camera system's device 1 or 2 (else its 255)
    const char *controller;  // as the output labels it
    const char *format;      // the image format it takes
    void (*compare)(ryn_handle, const Bytes &image, bool layout, ControllerVerify &);
};
const ControllerReads controller_reads[] = {
    {"base", false, "base", "base", compare_base},
    {"5810", false, "5810", "5810", compare_nothing_5810},
    {"5920", false, "5920", "5920", compare_5920},
    {"6cam", false, "LPC4320", "lpc4320", compare_nothing_lpc4320},
    {"6cam", true, "5810", "5810", compare_sixcam_5810},
};

const ControllerReads &reads_of(const std::string &family, unsigned device) {
    const bool sub_5810 = family == "6cam" && (device == 1 || device == 2);
    for (const ControllerReads &r : controller_reads)
        if (family == r.family && r.six_cam_5810 == sub_5810) return r;
    throw Failure("fw verify does not know the controllers of a device of family '" + family + "'");
}

}  // namespace

const VerifyPart *ControllerVerify::first_difference() const {
    for (const VerifyPart &p : parts)
        if (p.difference) return &p;
    return nullptr;
}

bool FwVerifyResult::anything_compared() const {
    return std::any_of(controllers.begin(), controllers.end(), [](const ControllerVerify &c) { return !c.parts.empty(); });
}

const ControllerVerify *FwVerifyResult::first_mismatch() const {
    for (const ControllerVerify &c : controllers)
        if (c.first_difference()) return &c;
    return nullptr;
}

FwVerifyResult verify_firmware(ryn_handle handle, const GlobalOptions &global, const ImageFormat &format,
                               const std::vector<uint8_t> &image, const std::string &mode) {
    FwVerifyResult result;
    result.format = format.name;
    result.mode = mode;
    const std::string family = loaded_family();
    for (const unsigned id : read_controllers(global, family)) {
        ControllerVerify c;
        c.device = family == "6cam" ? id : 0;
        const ControllerReads &reads = reads_of(family, id);
        c.controller = reads.controller;
        if (format.name != std::string(reads.format)) {
            c.skipped = std::string("the image is ") + format.article + " " + format.name + " image, for another kind of controller";
        } else {
            if (family == "6cam" && !ryn_6cam_set_dev_id(id))
                throw Failure("the device library did not select device " + std::to_string(id) + " of the six-camera system");
            reads.compare(handle, image, mode == "layout", c);
        }
        result.controllers.push_back(std::move(c));
    }
    return result;
}

namespace {

// The image's format, once it fits the device: a recognised image of the
// format the controller takes (on a six-camera system without --6cam-dev,
// of one of its two kinds). Anything else is a usage error.
const ImageFormat &checked_format(const std::string &path, const std::vector<uint8_t> &bytes,
                                  const std::string &family, const GlobalOptions &global) {
    const std::vector<const ImageFormat *> found = recognise_image(path, bytes);
    if (found.size() != 1)
        throw UsageError("the format of '" + path + "' is not recognised (ryn image inspect tells what fails); "
                         "the device was not read");
    const ImageFormat &format = *found.front();
    if (family == "6cam" && !global.six_cam_dev) {
        if (format.name == std::string("lpc4320") || format.name == std::string("5810")) return format;
        refuse_other_family(path, format, "a six-camera system", "an lpc4320 image (device 255) or a 5810 image (devices 1 and 2)",
                            "the device was not read");
    }
    const std::string wanted = image_format_for(family, global.six_cam_dev);
    if (format.name != wanted)
        refuse_other_family(path, format, device_name(family, global.six_cam_dev),
                            format_by_name(wanted).article + (" " + wanted) + " image", "the device was not read");
    return format;
}

// Why the library's validation refuses the image (its last message), or
// empty when the image is valid.
std::string invalid_reason(const ImageFormat &format, const std::string &path) {
    std::unique_ptr<fwupdate::ImageFile> file = fwupdate::ImageFile::open(os::library_path(path));
    if (!file) return "it cannot be opened";
    std::vector<std::string> messages;
    Host host(false);
    host.collect_messages(&messages);
    fw_update_arg arg{};
    arg.handle = RYN_INVALID_HANDLE;
    arg.user_data = host.user_data();
    arg.msg_fn = &Host::on_message;
    const int valid = format.validate(arg, *file);
    host.finish();
    if (valid == 1) return {};
    const std::string reason = host.last_line();
    return reason.empty() ? "the library's validation fails" : reason;
}

std::string difference_text(const VerifyPart &part) {
    const VerifyDifference &d = *part.difference;
    return part.name + " differs" + (d.where.empty() ? "" : " at " + d.where) + ": " + d.expected + " in the image, " +
           d.found + " on the device";
}

std::string controller_label(const ControllerVerify &c) {
    return "device " + std::to_string(c.device) + " (" + c.controller + ")";
}

void print_result(const FwVerifyResult &r) {
    const bool labelled = r.controllers.size() > 1;
    for (const ControllerVerify &c : r.controllers) {
        const char *indent = labelled ? "  " : "";
        if (labelled) {
            if (!c.skipped.empty()) {
                say("%s: skipped, %s\n", controller_label(c).c_str(), c.skipped.c_str());
                continue;
            }
            say("%s:\n", controller_label(c).c_str());
        }
        for (const VerifyPart &p : c.parts) {
            if (p.difference) say("%s%s\n", indent, difference_text(p).c_str());
            else say("%s%s: match\n", indent, p.name.c_str());
        }
        for (const std::string &u : c.unverifiable) say("%scannot verify %s\n", indent, u.c_str());
        if (!c.identity.empty()) say("%son the device: %s\n", indent, c.identity.c_str());
    }
}

}  // namespace

std::string first_difference_text(const FwVerifyResult &result) {
    const ControllerVerify *c = result.first_mismatch();
    if (!c) return {};
    const std::string where = result.controllers.size() > 1 ? controller_label(*c) + ": " : "";
    return where + difference_text(*c->first_difference());
}

std::string firmware_identity(ryn_handle handle, const GlobalOptions &global, const ImageFormat &format,
                              const std::string &path, const std::vector<uint8_t> &image) {
    if (!invalid_reason(format, path).empty()) return {};  // the update refuses it before any device call
    try {
        const FwVerifyResult r = verify_firmware(handle, global, format, image, "normal");
        return r.controllers.size() == 1 ? r.controllers.front().identity : std::string();
    } catch (const Failure &) {
        return {};  // a device that does not answer (an update mode) holds no firmware we can name
    }
}

FwVerifyResult read_back_update(ryn_handle handle, const GlobalOptions &global, const ImageFormat &format,
                                const std::vector<uint8_t> &image, uint32_t mode, const std::string &before) {
    FwVerifyResult result;
    try {
        result = verify_firmware(handle, global, format, image,
                                 (mode & 3u) == RYN_UPDATE_FLASH_LAYOUT ? "layout" : "normal");
    } catch (const Failure &e) {
        result.format = format.name;
        result.read_failure = e.what();
    }
    result.before = before;
    if (result.controllers.size() == 1) result.after = result.controllers.front().identity;
    return result;
}

std::string update_summary(const FwVerifyResult &r) {
    std::string line = "updated: " + (r.before.empty() ? std::string("unknown") : r.before) + " -> " +
                       (r.after.empty() ? std::string("unknown") : r.after);
    if (!r.read_failure.empty()) return line + ", not verified: the read-back failed (" + r.read_failure + ")";
    if (r.first_mismatch()) return line + ", not verified: the read-back differs from the image";
    if (!r.anything_compared()) return line + ", not verified: this device offers no read-back";
    return line + " verified";
}

nlohmann::json verified_json(const FwVerifyResult &r) {
    if (!r.read_failure.empty() || (!r.first_mismatch() && !r.anything_compared())) return nullptr;
    return r.first_mismatch() == nullptr;
}

nlohmann::json controllers_json(const FwVerifyResult &r) {
    using json = nlohmann::json;
    const auto text_or_null = [](const std::string &text) { return text.empty() ? json(nullptr) : json(text); };
    json controllers = json::array();
    for (const ControllerVerify &c : r.controllers) {
        json parts = json::array();
        for (const VerifyPart &p : c.parts) {
            json part = {{"name", p.name}, {"match", !p.difference}};
            part["where"] = p.difference ? text_or_null(p.difference->where) : json(nullptr);
            part["expected"] = p.difference ? json(p.difference->expected) : json(nullptr);
            part["found"] = p.difference ? json(p.difference->found) : json(nullptr);
            parts.push_back(part);
        }
        controllers.push_back({{"device", c.device ? json(c.device) : json(nullptr)},
                               {"controller", c.controller},
                               {"skipped", text_or_null(c.skipped)},
                               {"parts", parts},
                               {"unverifiable", c.unverifiable},
                               {"identity", text_or_null(c.identity)}});
    }
    return controllers;
}

void report_read_back(const FwVerifyResult &r) {
    nlohmann::json &keys = Report::of_run().data();
    if (!r.after.empty()) keys["after"] = r.after;
    keys["verified"] = verified_json(r);
    keys["read_back"] = {{"mode", r.mode.empty() ? nlohmann::json(nullptr) : nlohmann::json(r.mode)},
                         {"controllers", controllers_json(r)},
                         {"read_failure", r.read_failure.empty() ? nlohmann::json(nullptr) : nlohmann::json(r.read_failure)}};
}

int run_fw_verify(const GlobalOptions &global, const VerifyOptions &options) {
    nlohmann::json &keys = Report::of_run().data();
    keys["image"] = options.image;
    keys["mode"] = options.mode;
    keys["format"] = keys["verified"] = nullptr;
    keys["controllers"] = nlohmann::json::array();
    try {
        check_input_file(options.image, "image");
        const std::vector<uint8_t> bytes = read_file(options.image, "image", max_image_file);
        // The device is loaded and read, never saved: verify leaves the
        // state file as it was.
        open_checked_device(global, {});
        const ImageFormat &format = checked_format(options.image, bytes, loaded_family(), global);
        if (const std::string why = invalid_reason(format, options.image); !why.empty())
            throw UsageError("'" + options.image + "' is not a valid " + format.name +
                             " image (the device was not read): " + why);
        FwVerifyResult result = verify_firmware(ryn_sim_handle(), global, format, bytes, options.mode);
        result.image = options.image;
        print_result(result);
        keys["format"] = result.format;
        keys["verified"] = verified_json(result);
        keys["controllers"] = controllers_json(result);
        if (result.first_mismatch()) {
            print_error("the device does not hold what '" + options.image + "' carries: " +
                        first_difference_text(result));
            return exit_failure;
        }
        if (!result.anything_compared()) {
            print_error("nothing of '" + options.image + "' could be compared: the device offers no read-back of "
                        "what the image holds, so fw verify cannot confirm it");
            return exit_usage;
        }
        say("verified: the device holds what '%s' carries in every part it can read back\n",
                    options.image.c_str());
        return exit_success;
    } catch (const Failure &e) {
        print_error(e.what());
        return exit_usage;  // trouble: the comparison could not be made
    }
}

}  // namespace ryn::cli
