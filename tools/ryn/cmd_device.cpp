// ryn device show: what is on the unit. Every answer comes through the
// device library's own operations (ryn_hid.h), as the library itself asks
// them, so the command works the same on a real device library: the platform
// code, the firmware mode, the version record where the family has one, and
// the firmware header record. A six-camera system shows each of its three
// controllers.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "formats/model_cfg_record.h"
#include "formats/other_model_cfg_record.h"
#include "formats/version_record.h"
#include "device.h"
#include "fwupdate/c5920/image.h"
#include "fwupdate/base/update.h"
#include "fwupdate/c5810/image.h"
#include "fwupdate/c5810/update.h"
#include "fwupdate/lpc4320/image.h"
#include "image_formats.h"
#include "operation.h"
#include "report.h"
#include "ryn_hid.h"
#include "sim/ryn_sim.h"
#include "text/text.h"

namespace ryn::cli {

namespace {

using json = nlohmann::json;

struct ModeName {
    uint32_t code;
    const char *name;
};

// What one controller kind answers: its firmware modes by name, whether it
// keeps a version record, how to read its firmware header record, and where
// its model configuration keeps the model name and serial number.
struct ControllerKind {
    const char *name;  // "base", "5810", "5920", "LPC4320"
    std::vector<ModeName> modes;
    bool versions;
    size_t header_size;
    void (*header)(std::span<const uint8_t> record, json &fields, json &versions, std::string &mode);
    void (*identity)(std::span<const uint8_t> record, json &c);
};

// Whether a firmware mode (by its name above, or the 5920's from its boot
// word) is the unit in service, or the update mode it was left in.
struct ModeState {
    const char *mode;
    const char *left_in;  // null: in service
};
const ModeState mode_states[] = {
    {"normal", nullptr},
    {"update", "update mode"},
    {"flash builder", "flash builder"},
    {"running from flash", nullptr},
    {"Maskrom", "mask ROM"},
    {"boots from flash", nullptr},
    {"mask ROM (no flash boot word)", "mask ROM"},
    {"firmware", nullptr},
    {"boot loader", "boot loader"},
};

// A string field of a model configuration record, or null when it is empty.
json text_or_null(std::span<const uint8_t> record, const layout::Field &field) {
    const std::string text = record_text(record, field);
    return text.empty() ? json(nullptr) : json(text);
}

// The base controller's record comes in the device form of its version; the
// oldest form (0x100) holds no strings.
void base_identity(std::span<const uint8_t> record, json &c) {
    const devinfo::ModelCfgForm *form = devinfo::model_cfg_form(devinfo::ModelCfgRecord::version(record));
    if (!form || !devinfo::has(form->strings[0])) return;
    c["model_name"] = text_or_null(record, form->strings[0]);
    c["serial_num"] = text_or_null(record, form->strings[4]);
}

void other_identity(std::span<const uint8_t> record, json &c) {
    using L = devinfo::OtherModelCfgLayout;
    c["model_name"] = text_or_null(record, L::strings[0]);
    c["serial_num"] = text_or_null(record, L::strings[4]);
}

std::string hex(uint64_t v, int digits = 8) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%0*llx", digits, static_cast<unsigned long long>(v));
    return buf;
}

void base_header(std::span<const uint8_t> record, json &fields, json &, std::string &) {
    using R = fwupdate::FwHeaderRecord;
    const uint64_t flags = R::mode_flags.get(record);
    fields[json_key(R::mode_flags.name)] = flags;
    fields["update_mode"] = (flags & R::update_mode_bit) != 0;
}

// The 5810's record: two 16-bit values at 16 and 18 (the ones the update
// reports when it enters Maskrom), and over its first 68 bytes the image
// header its last update stored, once there is one.
void header_5810(std::span<const uint8_t> record, json &fields, json &versions, std::string &) {
    using H = fwupdate::Image5810Header;
    constexpr layout::Field value16{"value at 16", 16, 2}, value18{"value at 18", 18, 2};
    fields[json_key(value16.name)] = value16.get(record);
    fields[json_key(value18.name)] = value18.get(record);
    const bool image_header = H::magic.get(record) == H::magic_value;
    fields["image_header"] = image_header;
    if (!image_header) return;
    for (const layout::Field &f : H::fields) fields[json_key(f.name)] = f.get(record);
    versions["header_version"] = std::to_string(H::major.get(record)) + "." + std::to_string(H::minor.get(record));
}

// The 5920 has no mode code of its own; its boot word tells where it starts.
void header_5920(std::span<const uint8_t> record, json &fields, json &, std::string &mode) {
    using R = fwupdate::BankedFwHeaderRecord;
    for (const layout::Field &f : R::fields) fields[json_key(f.name)] = f.get(record);
    mode = R::boot_word.get(record) == R::boot_from_flash ? "boots from flash" : "mask ROM (no flash boot word)";
}

void header_4320(std::span<const uint8_t> record, json &fields, json &, std::string &) {
    using R = fwupdate::Lpc4320FwHeaderRecord;
    for (const layout::Field &f : R::fields) fields[json_key(f.name)] = f.get(record);
}

const ControllerKind base_kind{"base",
                               {{fwupdate::fw_mode_flash_builder, "flash builder"},
                                {fwupdate::fw_mode_normal, "normal"},
                                {fwupdate::fw_mode_update, "update"}},
                               true,
                               fwupdate::FwHeaderRecord::size,
                               base_header,
                               base_identity};
const ControllerKind kind_5810{"5810",
                               {{fwupdate::fw_mode_5810_flash, "running from flash"},
                                {fwupdate::fw_mode_5810_maskrom, "Maskrom"}},
                               false,
                               fwupdate::FwHeaderRecord5810::size,
                               header_5810,
                               other_identity};
const ControllerKind kind_5920{"5920", {}, false, fwupdate::BankedFwHeaderRecord::size, header_5920, other_identity};
const ControllerKind kind_4320{"LPC4320",
                               {{fwupdate::lpc4320_mode_firmware, "firmware"},
                                {fwupdate::lpc4320_mode_boot_loader, "boot loader"}},
                               false,
                               fwupdate::Lpc4320FwHeaderRecord::size,
                               header_4320,
                               other_identity};

// Families by platform code.
struct Family {
    uint32_t platform_code;
    const char *name;
    const ControllerKind *kind;  // null: a six-camera system of three controllers
};
const Family families[] = {
    {1, "base", &base_kind}, {2, "5810", &kind_5810}, {3, "5920", &kind_5920}, {6, "6cam", nullptr}};

// Whether the controller is in service, from its firmware mode: keys
// in_service, state ("in service", "left in <mode>", or why it is not known)
// and recover (the command that brings it back, or null).
void add_state(json &c, const std::string &update_command) {
    const json &mode = c["firmware_mode"];
    c["in_service"] = false;
    c["recover"] = nullptr;
    if (mode.is_null()) {
        c["state"] = "not known: the firmware mode was not read";
        return;
    }
    const std::string name = mode["name"].get<std::string>();
    for (const ModeState &m : mode_states) {
        if (name != m.mode) continue;
        if (!m.left_in) {
            c["in_service"] = true;
            c["state"] = "in service";
        } else {
            c["state"] = std::string("left in ") + m.left_in;
            c["recover"] = update_command;
        }
        return;
    }
    c["state"] = "not known: firmware mode '" + name + "'";
}

// The model name and serial number (keys model_name, serial_num), where the
// model configuration has them. A controller left in an update mode need not
// answer; its state line says why, so an unanswered read is no failure.
void read_identity(ryn_handle handle, const ControllerKind &kind, json &c) {
    c["model_name"] = nullptr;
    c["serial_num"] = nullptr;
    if (const ryn_record_reader read = ryn_get_model_cfg_fn(handle)) {
        // A buffer whose first word gives its size, as the library passes it.
        std::vector<uint8_t> cfg(2 * devinfo::ModelCfgRecord::transfer_size, 0);
        devinfo::ModelCfgRecord::length.put(cfg, devinfo::ModelCfgRecord::transfer_size);
        if (read(handle, cfg.data()))
            kind.identity(std::span<const uint8_t>(cfg).first(devinfo::ModelCfgRecord::transfer_size), c);
    }
}

// One controller through the device library; what it could not answer goes
// to failed.
json show_controller(ryn_handle handle, const ControllerKind &kind, std::vector<std::string> &failed) {
    json c = {{"controller", kind.name}};
    std::string mode_name;
    json mode = nullptr;
    if (!kind.modes.empty()) {
        uint32_t code = 0;
        if (ryn_get_fw_mode(handle, &code)) {
            mode_name = "unknown";
            for (const ModeName &m : kind.modes)
                if (m.code == code) mode_name = m.name;
            mode = {{"code", code}, {"name", mode_name}};
        } else {
            failed.push_back(std::string("the firmware mode of the ") + kind.name + " controller");
        }
    }
    json versions = json::object();
    if (kind.versions) {
        devinfo::VersionBuffer record{};
        if (ryn_get_fw_ver_str(handle, record.data())) {
            for (const layout::Field &f : {devinfo::VersionRecord::bootldr, devinfo::VersionRecord::normal,
                                           devinfo::VersionRecord::updater})
                versions[json_key(f.name)] = record_text(record, f);
        } else {
            failed.push_back(std::string("the version strings of the ") + kind.name + " controller");
        }
    }
    json header = nullptr;
    // A record buffer larger than any family's, so that a device library that
    // writes more than the record cannot reach past it.
    std::vector<uint8_t> record(4096, 0);
    if (ryn_get_fw_hdr(handle, record.data(), 0)) {
        header = json::object();
        std::string header_mode;
        kind.header(std::span<const uint8_t>(record).first(kind.header_size), header, versions, header_mode);
        if (mode.is_null() && !header_mode.empty()) mode = {{"code", nullptr}, {"name", header_mode}};
    } else {
        failed.push_back(std::string("the firmware header of the ") + kind.name + " controller");
    }
    c["firmware_mode"] = mode;
    c["versions"] = versions;
    c["fw_header"] = header;
    read_identity(handle, kind, c);
    return c;
}

void print_controller(const json &c, const char *indent) {
    for (const auto &[key, label] : {std::pair{"model_name", "model name"}, {"serial_num", "serial number"}})
        if (!c[key].is_null()) say("%s%s: %s\n", indent, label, c[key].get<std::string>().c_str());
    say("%sstate: %s", indent, c["state"].get<std::string>().c_str());
    if (!c["recover"].is_null()) say("; recover it by running its update again: %s", c["recover"].get<std::string>().c_str());
    say("\n");
    const json &mode = c["firmware_mode"];
    if (mode.is_null()) {
        say("%sfirmware mode: not reported\n", indent);
    } else if (mode["code"].is_null()) {
        say("%sfirmware mode: %s\n", indent, mode["name"].get<std::string>().c_str());
    } else {
        say("%sfirmware mode: %s (%s)\n", indent, mode["name"].get<std::string>().c_str(),
            hex(mode["code"].get<uint64_t>(), 2).c_str());
    }
    for (const auto &[name, value] : c["versions"].items())
        say("%s%s: %s\n", indent, name.c_str(), value.get<std::string>().c_str());
    if (c["fw_header"].is_null()) {
        say("%sfirmware header: not read\n", indent);
        return;
    }
    say("%sfirmware header:\n", indent);
    for (const auto &[name, value] : c["fw_header"].items()) {
        if (value.is_boolean()) say("%s  %s: %s\n", indent, name.c_str(), value.get<bool>() ? "yes" : "no");
        else say("%s  %s: %s\n", indent, name.c_str(), hex(value.get<uint64_t>()).c_str());
    }
}

struct ShowOptions {
    bool json = false;
    bool check = false;
};

// The update that recovers a controller: the update run again.
std::string update_command(const GlobalOptions &global, uint32_t six_cam_dev) {
    std::string command = "ryn";
    if (!global.sim.empty()) command += " --sim " + global.sim;
    if (six_cam_dev) command += " --6cam-dev " + std::to_string(six_cam_dev);
    return command + " fw update IMAGE";
}

}  // namespace

namespace {

// The family of the loaded device by its platform code.
const Family &platform_family(ryn_handle handle) {
    const uint32_t code = ryn_check_platform(handle) & 0xFF;
    for (const Family &f : families)
        if (f.platform_code == code) return f;
    throw Failure("the device reports platform code " + std::to_string(code) + ", which is no known family");
}

}  // namespace

std::string unit_serial(const GlobalOptions &global) {
    const ryn_handle handle = ryn_sim_handle();
    json c;
    try {
        const Family &family = platform_family(handle);
        if (family.kind) {
            read_identity(handle, *family.kind, c);
        } else {
            const uint32_t id = global.six_cam_dev ? global.six_cam_dev : fwupdate::lpc4320_dev_id;
            if (ryn_6cam_set_dev_id(id))
                read_identity(handle, id == fwupdate::lpc4320_dev_id ? kind_4320 : kind_5810, c);
            ryn_6cam_set_dev_id(fwupdate::lpc4320_dev_id);  // as a request without --6cam-dev finds it
        }
    } catch (const Failure &) {
        return {};  // no known family: no serial number to name
    }
    return c["serial_num"].is_string() ? c["serial_num"].get<std::string>() : std::string();
}

json device_report(const GlobalOptions &global, std::vector<std::string> &failed) {
    const ryn_handle handle = ryn_sim_handle();
    const Family *family = &platform_family(handle);
    const uint32_t code = family->platform_code;

    json out = {{"platform_code", code}, {"family", family->name}};
    json controllers = json::array();
    const char *const top_keys[] = {"model_name", "serial_num", "firmware_mode", "versions",
                                    "fw_header",  "in_service", "state",      "recover"};
    if (family->kind) {
        json c = show_controller(handle, *family->kind, failed);
        add_state(c, update_command(global, 0));
        for (const char *key : top_keys) out[key] = c[key];
    } else {
        // The LPC4320 controller (255) and the two 5810 devices; the top level
        // shows the one requests reach (--6cam-dev, or the LPC4320).
        const uint32_t chosen = global.six_cam_dev ? global.six_cam_dev : fwupdate::lpc4320_dev_id;
        for (const uint32_t id : {fwupdate::lpc4320_dev_id, 1u, 2u}) {
            if (!ryn_6cam_set_dev_id(id)) {
                failed.push_back("the selection of device " + std::to_string(id));
                continue;
            }
            json c = show_controller(handle, id == fwupdate::lpc4320_dev_id ? kind_4320 : kind_5810, failed);
            c["device"] = id;
            add_state(c, update_command(global, id));
            if (id == chosen)
                for (const char *key : top_keys) out[key] = c[key];
            controllers.push_back(c);
        }
        ryn_6cam_set_dev_id(fwupdate::lpc4320_dev_id);  // as a request without --6cam-dev finds it
    }
    out["controllers"] = controllers;
    for (const char *key : top_keys)
        if (!out.contains(key)) out[key] = nullptr;
    // The unit is in service when each of its controllers is.
    bool in_service = controllers.empty() ? out["in_service"] == true : true;
    std::string not_in_service;
    for (const json &c : controllers) {
        if (c["in_service"] == true) continue;
        in_service = false;
        not_in_service += (not_in_service.empty() ? "" : ", ") + ("device " + std::to_string(c["device"].get<unsigned>())) +
                          " " + c["state"].get<std::string>();
    }
    if (controllers.empty() && !in_service) not_in_service = out["state"].get<std::string>();
    out["unit_in_service"] = in_service;
    out["not_in_service"] = not_in_service;
    return out;
}

namespace {

int device_show(const ShowOptions &options, const GlobalOptions &global) {
    const std::string state = open_checked_device(global, {});
    ryn_sim_trace_clear();  // the state file keeps the device calls of this run
    std::vector<std::string> failed;
    json out;
    try {
        out = device_report(global, failed);
    } catch (const Failure &) {
        save_device(state);
        throw;
    }
    save_device(state);
    const json controllers = out["controllers"];
    const bool in_service = out["unit_in_service"];
    const std::string not_in_service = out["not_in_service"];
    out.erase("not_in_service");
    const uint32_t code = out["platform_code"];
    const std::string family_name = out["family"];

    if (options.json) {
        print_json(out);
    } else {
        say("family: %s (platform code %u)\n", family_name.c_str(), code);
        if (controllers.empty()) {
            print_controller(out, "");
        } else {
            for (const json &c : controllers) {
                say("device %u (%s):\n", c["device"].get<unsigned>(),
                    c["controller"].get<std::string>().c_str());
                print_controller(c, "  ");
            }
        }
    }
    if (!controllers.empty() && !options.json)
        say("unit: %s\n", in_service ? "in service" : ("not in service (" + not_in_service + ")").c_str());
    if (!failed.empty()) {
        std::string what;
        for (const std::string &f : failed) what += (what.empty() ? "" : ", ") + f;
        print_error("device show failed: the device did not give " + what);
        return exit_failure;
    }
    if (options.check && !in_service) {
        print_error("the unit is not in service: " + not_in_service);
        return exit_failure;
    }
    return exit_success;
}

}  // namespace

void add_device_commands(CLI::App &app, Context &ctx) {
    CLI::App *device = app.add_subcommand("device", "What is on the unit: family, firmware mode, versions, firmware header");
    device->require_subcommand(1);
    auto o = std::make_shared<ShowOptions>();
    CLI::App *cmd = device->add_subcommand("show", "Show the controller's family, firmware mode, versions and firmware header");
    cmd->add_flag("--json", o->json, "Print one JSON object with the keys below");
    cmd->add_flag("--check", o->check, "Exit status 1 when the unit is not in service (for scripts)");
    cmd->footer(
        "Asks the device library only what the library itself asks: the platform\n"
        "code, the firmware mode, the version strings (base controller) and the\n"
        "firmware header record. A six-camera system shows its LPC4320 controller\n"
        "(device 255) and its two 5810 devices (1 and 2).\n"
        "\n"
        "--json keys: platform_code, family (base, 5810, 5920, 6cam), firmware_mode\n"
        "({code, name}, or null; code null when the name comes from the firmware\n"
        "header), versions (bootldr, normal, updater on a base controller;\n"
        "header_version where a 5810 header record holds an image header),\n"
        "fw_header (field names in lower case joined by \"_\": value), and controllers (a six-camera system's three, each\n"
        "with device, controller, firmware_mode, versions and fw_header; empty on\n"
        "the other families), model_name and serial_num (from the model\n"
        "configuration; null where it has none or did not answer), in_service,\n"
        "state (\"in service\", or \"left in\" mask ROM, boot loader, update mode or\n"
        "flash builder) and recover (the update to run again, or null); each of\n"
        "a six-camera system's controllers has these too. The top-level keys are\n"
        "those of the controller requests reach (--6cam-dev, or the LPC4320);\n"
        "unit_in_service is true when every controller of the unit is in service.\n"
        "--check: exit status 1 (with a \"ryn:\" line) when it is not.\n"
        "\n"
        "Examples:\n  ryn --sim dev.json device show\n  ryn --sim six.json device show --json\n"
        "  ryn --sim dev.json device show --check -q > /dev/null || echo not in service");
    add_report_options(*cmd, ctx, nullptr);
    on_run(*cmd, ctx, o, &device_show);
}

}  // namespace ryn::cli
