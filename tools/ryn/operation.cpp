// The one way ryn runs a library operation.
#include "operation.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

#include "device.h"
#include "files.h"
#include "fw_verify.h"
#include "host.h"
#include "host_os.h"
#include "image_formats.h"
#include "ini_compare.h"
#include "report.h"
#include "formats/version_record.h"
#include "platform/ini_file.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "text/field_number.h"
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

}  // namespace

void report_device_after(const GlobalOptions &global) {
    std::vector<std::string> failed;
    nlohmann::json shown;
    try {
        shown = device_report(global, failed);
    } catch (const Failure &) {
        return;  // no known family: no state to name
    }
    Report &report = Report::of_run();
    report.data()["device_mode_after"] = shown["state"];
    if (shown["state"].is_string()) report.add_to_result("device " + shown["state"].get<std::string>());
}

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

namespace {

// Runs the call on the loaded device and saves it with the run's calls (a
// dry run leaves the state file as it was). A failure ends with the line
// "ryn: <command> failed: <the library's last line>", and the first failure
// the library reported when that was another, after any hint the library's
// messages called for.
int run_operation(const GlobalOptions &global, Access access, const FamilyCheck &check, const Call &call,
                  bool save = true) {
    const std::string state = open_checked_device(global, check, access);
    ryn_sim_trace_clear();  // the state file keeps the device calls of this run, even none
    Host host(!global.quiet);
    host.set_output(global.quiet, global.verbose);
    const int32_t result = call(ryn_sim_handle(), host);
    host.finish();
    // The state a write or a failure left the device in, for the report.
    if (Report::of_run().wants_unit() && (result != 1 || (access == Access::write && save)))
        report_device_after(global);
    if (save) save_device(state);
    if (result == 1) return exit_success;
    for (const std::string &hint : host.hints()) Report::of_run().note("hint: " + hint, false);
    const std::string reason = host.last_line();
    std::string text = global.command + " failed: " + (reason.empty() ? "the library gave no reason" : reason);
    if (const std::string first = host.first_failure(); !first.empty() && first != reason)
        text += "; first failure: " + first;
    print_error(text);
    return exit_failure;
}

template <class Block>
void attach(Block &arg, Host &host) {
    arg.user_data = host.user_data();
    arg.msg_fn = &Host::on_message;
    arg.progress_fn = host.progress_fn();
}

// The sections of an existing file that a GET of kind does not write, as
// "[name], [name]"; empty when there are none.
std::string other_sections(const std::string &file, const RecordKind &kind) {
    const platform::IniFile ini(os::library_path(file));
    std::string others;
    for (const std::u16string &name : ini.section_names()) {
        bool ours = false;
        for (const std::string &n : kind.sections) ours = ours || same_ini_name(name, text::from_utf8(n));
        if (!ours) others += (others.empty() ? "" : ", ") + ("[" + text::to_utf8(name) + "]");
    }
    return others;
}

bool exists(const std::string &file) {
    std::error_code ec;
    return std::filesystem::exists(os::fs_path(file), ec);
}

// What a GET into an existing file would lose: a file that is no INI file
// (a firmware image, any binary file) is not replaced unless forced, nor,
// unless merging, a file that holds another kind's sections.
void check_existing_file(const std::string &file, const RecordKind &kind, const GetOptions &options,
                         const GlobalOptions &global) {
    if (options.force || !exists(file)) return;
    if (!is_ini_text(read_file(file, "file", max_image_file)))
        throw UsageError("'" + file + "' exists and is not an INI file (a firmware image or another binary file?); " +
                         global.command + " would overwrite it: name another file, or add --force to replace it");
    if (options.merge) return;
    const std::string others = other_sections(file, kind);
    if (!others.empty())
        throw UsageError("'" + file + "' holds sections that " + global.command + " does not write (" + others +
                         "); a GET writes a new file, so they would be lost: name another file, add --merge to "
                         "add the " + kind.what + " to it, or add --force to replace it");
}

// A GET merged into an existing file: other sections stay. Says so when the
// file holds sections of another kind.
void warn_if_merged(const std::string &file, const RecordKind &kind) {
    if (!exists(file)) return;
    const std::string others = other_sections(file, kind);
    if (!others.empty())
        Report::of_run().note("ryn: warning: '" + file + "' already holds other sections (" + others +
                                  "); the new sections are merged into it and those stay as they are",
                              true);
}

// The library's GET of kind into file, with the host's callbacks.
int32_t get_into(ryn_handle handle, Host &host, const GlobalOptions &global, const RecordKind &kind,
                 const std::string &file) {
    const wstring name = wide(file);
    cali_info_arg arg;  // the layout of both kinds of request
    ryn_cali_info_init_arg(&arg, handle, name.c_str(), RYN_FLAG_GET | kind.flags | six_cam_bits(global));
    attach(arg, host);
    return kind.operation(&arg);
}

}  // namespace

// Read by the library as on a real device: no simulator call.
TempFile read_device_record(ryn_handle handle, const GlobalOptions &global, const RecordKind &kind) {
    TempFile temp = TempFile::scratch();
    std::vector<std::string> messages;
    Host reader(false);
    reader.collect_messages(&messages);
    const int32_t result = get_into(handle, reader, global, kind, temp.path());
    reader.finish();
    if (result != 1) {
        const std::string reason = reader.last_line();
        throw Failure("cannot read the device's " + std::string(kind.what) + " to compare it with the file: " +
                      (reason.empty() ? "the library gave no reason" : reason));
    }
    return temp;
}

namespace {

// The keys of a record that say which unit it belongs to.
struct IdentityKey {
    const char *key;
    const char *name;       // as the messages say it
};
const char *const identity_section = "model configuration";
const IdentityKey identity_keys[] = {
    {"serial_num", "serial number"},
    {"vid", "vendor id"},
    {"pid", "product id"},
};

// "serial number SN0000001 on the device, SN0000002 in the file", one per
// identity key the SET would change (a serial_num the file lacks is cleared
// by the SET, a change too).
std::vector<std::string> identity_changes(const std::string &device, const std::string &file) {
    const platform::IniFile d(os::library_path(device));
    const platform::IniFile f(os::library_path(file));
    std::vector<std::string> changes;
    // A file without a readable vid and pid is the SET's own refusal.
    for (const char16_t *key : {u"vid", u"pid"})
        if (!text::integer_field(f.get(text::from_utf8(identity_section), key), text::prefixed_field(16))) return changes;
    for (const IdentityKey &id : identity_keys) {
        const std::u16string key = text::from_utf8(id.key);
        const std::u16string section = text::from_utf8(identity_section);
        const std::u16string ours = d.get(section, key), theirs = f.get(section, key);
        if (same_value(ours, theirs)) continue;
        changes.push_back(std::string(id.name) + " " + (ours.empty() ? "none" : text::to_utf8(ours)) +
                          " on the device, " + (theirs.empty() ? "none" : text::to_utf8(theirs)) + " in the file");
    }
    return changes;
}

std::string joined(const std::vector<std::string> &items, const char *between) {
    std::string text;
    for (const std::string &item : items) text += (text.empty() ? "" : between) + item;
    return text;
}

// Changed keys a dry run lists without --verbose.
constexpr size_t changes_shown = 20;

// What a SET of file would do to the device's record, read into device
// (before_write: the report of a command that writes next).
void print_dry_run(const GlobalOptions &global, const RecordKind &kind, const std::string &file,
                   const IniComparison &diff, const std::vector<std::string> &identity, bool before_write) {
    using Kind = IniKeyDifference::Kind;
    report_differences("changes", diff, global.six_cam_dev);
    if (before_write)
        say("Before %s writes it: '%s' against the device's %s.\n", global.command.c_str(), file.c_str(),
            kind.what);
    else
        say("Dry run of %s: '%s' against the device's %s; nothing is written to the device.\n",
            global.command.c_str(), file.c_str(), kind.what);
    const std::vector<IniKeyDifference> changed = diff.of_kind(Kind::changed);
    if (changed.empty()) say("No value would change.\n");
    else say("%zu %s would change (device -> file):\n", changed.size(), changed.size() == 1 ? "key" : "keys");
    for (size_t i = 0; i < changed.size() && (global.verbose || i < changes_shown); ++i)
        say("  [%s] %s: %s -> %s\n", changed[i].section.c_str(), changed[i].key.c_str(),
            changed[i].left.c_str(), changed[i].right.c_str());
    if (!global.verbose && changed.size() > changes_shown)
        say("  ... and %zu more; --verbose lists them all\n", changed.size() - changes_shown);
    const auto names = [&](const std::vector<IniKeyDifference> &keys) {
        std::vector<std::string> shown;
        for (size_t i = 0; i < keys.size() && (global.verbose || i < 5); ++i)
            shown.push_back("[" + keys[i].section + "] " + keys[i].key);
        std::string text = joined(shown, ", ");
        if (!global.verbose && keys.size() > 5) text = "first 5: " + text + "); --verbose lists them all";
        else text += ")";
        return text;
    };
    if (const auto missing = diff.of_kind(Kind::only_left); !missing.empty())
        say("%zu %s missing from the file (%s\n", missing.size(), missing.size() == 1 ? "key" : "keys",
            names(missing).c_str());
    if (const auto extra = diff.of_kind(Kind::only_right); !extra.empty())
        say("%zu %s of the file not in the device's record (%s\n", extra.size(),
            extra.size() == 1 ? "key" : "keys", names(extra).c_str());
    for (const std::string &change : identity) say("Identity would change: %s.\n", change.c_str());
}

}  // namespace

const RecordKind calibration_record{
    "calibration", ryn_cali_info, 0, {"calibration", "firmware parameter", "sensor parameter", "system parameter"}, false};
const RecordKind model_configuration_record{
    "model configuration", ryn_dev_info, RYN_DEV_MODEL_CFG,
    {"model configuration", "sensor dsp", "algorithm parameter", "firmware parameter", "system parameter"}, true};
const RecordKind version_strings_record{"version strings", ryn_dev_info, RYN_DEV_VERSION_STR, {"version string"}, false};

std::string loaded_family() {
    const char *family = ryn_sim_family();
    return family ? family : "";
}

std::string open_checked_device(const GlobalOptions &global, const FamilyCheck &check, Access access) {
    std::string state = open_device(global);
    const std::string family = loaded_family();
    // The unit the report and the log name, read once.
    if (Report::of_run().wants_unit()) Report::of_run().set_unit(family, unit_serial(global));
    if (global.six_cam_dev && family != "6cam")
        throw UsageError("--6cam-dev " + std::to_string(global.six_cam_dev) + " addresses " +
                         (global.six_cam_dev == 255 ? "the LPC4320 controller" : "a 5810 device") +
                         " of a six-camera system, but the device is " + device_name(family, 0));
    // A six-camera system is one unit: a write names the controller it is
    // for, so that a file meant for one never lands on another.
    if (access == Access::write && family == "6cam" && !global.six_cam_dev)
        throw UsageError(global.command + " on a six-camera system needs the controller it writes to: add "
                         "--6cam-dev 255 (or lpc) for the LPC4320 controller, --6cam-dev 1 for 5810 device 1, "
                         "or --6cam-dev 2 for 5810 device 2; nothing was written");
    if (check) check(family, global);
    return state;
}

const char *const get_file_help =
    "FILE is written anew: the GET writes a temporary file in FILE's folder,\n"
    "which replaces FILE only when the GET succeeded (a failed GET leaves FILE\n"
    "as it was; no key of an older FILE stays). An existing FILE that is not an\n"
    "INI file (a firmware image, any binary file), or that holds sections of\n"
    "another kind, is refused (exit status 2) unless --force replaces it.\n"
    "--merge writes the sections into the existing FILE instead: its other\n"
    "sections and keys stay as they are (ryn warns when it holds another kind's).\n";

const char *const dry_run_help =
    "--dry-run reads the device's record into a temporary file and compares it\n"
    "with FILE (names ignore case, numbers compare by value, \"enable,N\" field\n"
    "by field): it prints the keys whose values would change, the keys FILE\n"
    "lacks, the keys the device's record has not, and any change of the unit's\n"
    "identity. Nothing is written to the device.\n";

void add_get_flags(CLI::App &cmd, GetOptions &options) {
    CLI::Option *merge = cmd.add_flag("--merge", options.merge,
                                      "Write the sections into the existing FILE, keeping its other sections and keys");
    cmd.add_flag("--force", options.force,
                 "Replace an existing FILE that is not an INI file or holds another kind's sections")
        ->excludes(merge);
}

void report_differences(const char *key, const IniComparison &diff, unsigned device) {
    Report &report = Report::of_run();
    if (!report.json()) return;
    nlohmann::json &list = report.data()[key];
    if (!list.is_array()) list = nlohmann::json::array();
    using Kind = IniKeyDifference::Kind;
    for (const IniKeyDifference &d : diff.keys) {
        const char *kind = d.kind == Kind::changed ? "changed" : d.kind == Kind::only_left ? "only_left" : "only_right";
        list.push_back({{"device", device ? nlohmann::json(device) : nlohmann::json(nullptr)},
                        {"section", d.section},
                        {"key", d.key},
                        {"kind", kind},
                        {"left", d.kind == Kind::only_right ? nlohmann::json(nullptr) : nlohmann::json(d.left)},
                        {"right", d.kind == Kind::only_left ? nlohmann::json(nullptr) : nlohmann::json(d.right)}});
    }
}

void print_differences(const IniComparison &diff, const std::string &left, const std::string &right,
                       const char *indent, unsigned device) {
    report_differences("differences", diff, device);
    using Kind = IniKeyDifference::Kind;
    for (const IniKeyDifference &d : diff.keys) {
        const std::string name = "[" + d.section + "] " + d.key;
        switch (d.kind) {
        case Kind::changed:
            say("%s%s: %s -> %s\n", indent, name.c_str(), d.left.c_str(), d.right.c_str());
            break;
        case Kind::only_left:
            say("%s%s: only in %s (%s)\n", indent, name.c_str(), left.c_str(), d.left.c_str());
            break;
        case Kind::only_right:
            say("%s%s: only in %s (%s)\n", indent, name.c_str(), right.c_str(), d.right.c_str());
            break;
        }
    }
}

std::vector<unsigned> read_controllers(const GlobalOptions &global, const std::string &family) {
    if (global.six_cam_dev) return {global.six_cam_dev};
    if (family == "6cam") return {255, 1, 2};
    return {0};
}

const char *const diff_help =
    "Reads the device's record with an ordinary GET into a temporary file and\n"
    "compares it with FILE as ryn diff does (names ignore case, numbers compare\n"
    "by value, \"enable,N\" field by field): one line per key that differs,\n"
    "\"[section] key: device value -> file value\" or \"only in the device\"\n"
    "(\"only in the file\"). On a six-camera system without --6cam-dev each of\n"
    "its three controllers is compared with FILE, labelled. Exit status 0 when\n"
    "every controller compared holds what FILE holds, 1 when one differs, 2 on\n"
    "trouble (FILE unreadable or no INI file, FILE without the record's own\n"
    "section, such as a model configuration given to cali diff, the GET\n"
    "failed). Nothing is written to the device.\n";

// A file without the record's own section (the first a GET writes, which
// its SET requires) is another record's file, given by mistake: compared as
// it stands it would list every key of the device as missing from it.
// Trouble, named before the device is read.
void check_holds_record(const std::string &file, const RecordKind &kind, const GlobalOptions &global) {
    const std::string &own = kind.sections.front();
    const platform::IniFile ini(os::library_path(file));
    for (const std::u16string &name : ini.section_names())
        if (same_ini_name(name, text::from_utf8(own))) return;
    if (!is_ini_text(read_file(file, "file", max_image_file)))
        throw Failure("'" + file + "' is not an INI file (a firmware image or another binary file?)");
    throw Failure("'" + file + "' has no section [" + own + "], so it holds no " + kind.what +
                  ": give a file " + global.command.substr(0, global.command.find(' ')) + " get wrote");
}

const char *const get_report_keys = "file (the file written)";
const char *const set_report_keys =
    "file, dry_run, changes (with --dry-run: each key the SET would change, {device, section, key, kind, "
    "left: the device's value, right: the file's}), device_mode_after (device show's state line, after a "
    "write or a failure)";
const char *const diff_report_keys =
    "file, same (true when every controller compared holds what FILE holds; false with result \"ok\" and "
    "exit status 1 when one differs), controllers (each {device, "
    "same}), differences (each {device, section, key, kind: changed, only_left or only_right, left: the "
    "device's value, right: the file's, null on the side that lacks the key})";

int run_diff(const GlobalOptions &global, const RecordKind &kind, const std::string &file) {
    try {
        check_input_file(file, "file");
        check_holds_record(file, kind, global);
        const std::string state = open_checked_device(global, {});
        ryn_sim_trace_clear();  // the state file keeps the device calls of this run
        const std::vector<unsigned> controllers = read_controllers(global, loaded_family());
        bool same = true;
        nlohmann::json compared = nlohmann::json::array();
        for (const unsigned id : controllers) {
            GlobalOptions one = global;
            one.six_cam_dev = id;
            const TempFile device = read_device_record(ryn_sim_handle(), one, kind);
            const IniComparison diff = compare_ini_files(device.path(), file, kind.sections);
            same = same && diff.same();
            if (controllers.size() == 1) {
                print_differences(diff, "the device", "the file", "", id);
            } else {
                say("device %u (%s): %s\n", id, id == 255 ? "LPC4320" : "5810", diff.same() ? "identical" : "differs");
                print_differences(diff, "the device", "the file", "  ", id);
            }
            compared.push_back({{"device", id ? nlohmann::json(id) : nlohmann::json(nullptr)}, {"same", diff.same()}});
        }
        save_device(state);
        if (controllers.size() == 1 && same) say("%s identical\n", kind.what);
        Report &report = Report::of_run();
        report.data()["file"] = file;
        report.data()["controllers"] = compared;
        report.compared(same);
        return same ? exit_success : exit_failure;
    } catch (const Failure &e) {
        print_error(e.what());
        return exit_usage;  // trouble, as diff reports it
    }
}

int run_get(const GlobalOptions &global, const RecordKind &kind, const std::string &file,
            const GetOptions &options) {
    check_output_file(file, "file");
    check_existing_file(file, kind, options, global);
    Report::of_run().data()["file"] = file;
    return run_operation(global, Access::read, {}, [&](ryn_handle handle, Host &host) -> int32_t {
        if (options.merge) {
            warn_if_merged(file, kind);
            return get_into(handle, host, global, kind, file);
        }
        // A new file, which replaces the old one only once it is complete.
        TempFile fresh = TempFile::beside(file, "file");
        const int32_t result = get_into(handle, host, global, kind, fresh.path());
        if (result == 1) fresh.replace_target();
        return result;
    });
}

int32_t set_record(ryn_handle handle, Host &host, const GlobalOptions &global, const RecordKind &kind,
                   const std::string &file, const SetOptions &options) {
    if (options.dry_run || kind.identity) {
        const TempFile device = read_device_record(handle, global, kind);
        const std::vector<std::string> identity =
            kind.identity ? identity_changes(device.path(), file) : std::vector<std::string>{};
        if (options.dry_run)
            print_dry_run(global, kind, file, compare_ini_files(device.path(), file, kind.sections), identity,
                          options.before_write);
        if (!identity.empty() && !options.write_identity)
            throw UsageError("'" + file + "' belongs to another unit: " + joined(identity, "; ") +
                             "; nothing was written (add " + options.identity_option +
                             " to give this unit that identity)");
        if (options.dry_run) return 1;
    }
    const wstring name = wide(file);
    cali_info_arg arg;
    ryn_cali_info_init_arg(&arg, handle, name.c_str(),
                           RYN_FLAG_SET | kind.flags | options.form_flags | six_cam_bits(global));
    attach(arg, host);
    return kind.operation(&arg);
}

int run_set(const GlobalOptions &global, const RecordKind &kind, const std::string &file,
            const SetOptions &options, const FamilyCheck &check) {
    check_input_file(file, "file");
    Report::of_run().data()["file"] = file;
    Report::of_run().data()["dry_run"] = options.dry_run;
    Report::of_run().data()["device_mode_after"] = nullptr;  // known once the device was written
    return run_operation(
        global, Access::write, check,
        [&](ryn_handle handle, Host &host) -> int32_t { return set_record(handle, host, global, kind, file, options); },
        !options.dry_run);
}

std::string image_format_for(const std::string &family, unsigned six_cam_dev) {
    if (family != "6cam") return family;
    return six_cam_dev == 1 || six_cam_dev == 2 ? "5810" : "lpc4320";
}

[[noreturn]] void refuse_other_family(const std::string &image, const ImageFormat &format, const std::string &device,
                         const std::string &takes, const std::string &nothing_done) {
    std::string text = "'" + image + "' is " + format.article + " " + format.name + " image (" + format.family +
                       "), but the device is " + device + ", which takes " + takes + "; " + nothing_done;
    if (format.name == std::string("flash-builder")) text += " (a flash builder file goes with --flash-builder)";
    throw UsageError(text);
}

namespace {

// What fw update takes on each family, checked before the device is
// touched. Returns the image's format when it is recognised.
const ImageFormat *check_update(const UpdateOptions &request, const std::string &family, const GlobalOptions &global) {
    const uint32_t update_mode = update_mode_of(request.mode);
    const std::string device = device_name(family, global.six_cam_dev);
    if (update_mode == RYN_UPDATE_AUTO && family != "base")
        throw UsageError("--mode auto is for a base controller only; the device is " + device +
                         " (choose --mode normal or --mode layout)");
    if (family == "base" && update_mode == RYN_UPDATE_FLASH_LAYOUT && request.flash_builder.empty())
        throw UsageError("--mode layout on a base controller needs the flash builder: add --flash-builder FILE");
    if (!request.flash_builder.empty() && family != "base")
        throw UsageError("--flash-builder is for a base controller only; the device is " + device);
    // The image's format, when its magic or header words tell it.
    const std::vector<const ImageFormat *> found = recognise_image(request.image, read_file(request.image, "image", max_image_file));
    if (found.size() != 1) return nullptr;  // the library's validation says what is wrong
    const ImageFormat &format = *found.front();
    const std::string wanted = image_format_for(family, global.six_cam_dev);
    if (format.name == wanted) return &format;
    refuse_other_family(request.image, format, device, format_by_name(wanted).article + (" " + wanted) + " image",
                        "nothing was sent to the device");
}

}  // namespace

namespace {

// The parts of a version text "2.3.1400.1"; empty when it is not one
// (numbers joined by dots).
std::vector<uint64_t> version_parts(const std::string &version) {
    std::vector<uint64_t> parts;
    size_t at = 0;
    for (;;) {
        const size_t dot = version.find('.', at);
        const std::string part = version.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
        if (part.empty() || part.size() > 9 || part.find_first_not_of("0123456789") != std::string::npos) return {};
        parts.push_back(std::stoull(part));
        if (dot == std::string::npos) return parts;
        at = dot + 1;
    }
}

// The device's normal-code version, where the device keeps one (a base
// controller's version record); empty when it cannot tell.
std::string device_normal_version(ryn_handle handle, const std::string &family) {
    if (family != "base") return {};
    devinfo::VersionBuffer record{};
    if (!ryn_get_fw_ver_str(handle, record.data())) return {};
    return record_text(record, devinfo::VersionRecord::normal);
}

// The normal-code version the image carries, where its format has one.
std::string image_normal_version(const ImageFormat &format, const ImageReport &report) {
    if (format.name != std::string("base")) return {};
    for (const auto &[name, text] : report.versions)
        if (name == devinfo::VersionRecord::normal.name) return text;
    return {};
}

uint64_t header_value(const ImageReport &report, const std::string &field) {
    for (const auto &[name, value] : report.header)
        if (name == field) return value;
    return 0;
}

// An image without any code to write: a 5920 image whose header lists no bank.
bool carries_no_code(const ImageFormat &format, const ImageReport &report) {
    return format.name == std::string("5920") && header_value(report, "bank num") == 0;
}

// What an update of a format writes in each mode, and how it moves the device.
struct UpdatePlan {
    const char *format;
    const char *normal;  // what normal mode writes
    const char *layout;  // what flash-layout mode writes
    const char *switches;
};
const UpdatePlan update_plans[] = {
    {"base", "the normal code",
     "the flash builder as normal code, then the fw header, version string, model config, calibration, update "
     "code and boot loader, then the image's normal code",
     "into the update mode (by the sequence the device's firmware calls for), then back to the normal mode; "
     "a layout update runs the flash builder in between"},
    {"5810", "the firmware (its first firmware-length bytes)", "the whole image as one flash image",
     "into Maskrom, then back to running from flash and a reset"},
    {"5920", "the code banks the header lists", "the whole file as one flash layout",
     "into the mask ROM, then the flash marked as boot source and a reset"},
    {"lpc4320", "the firmware code, the flash firmware and (1.1 header) the two AHB SRAM parts",
     "the whole image after its first 4096 bytes", "into the boot loader, then the image header stored and a reset"},
};

void print_update_plan(const UpdateOptions &options, const ImageFormat &format, const ImageReport &report,
                       const std::string &device, const std::string &device_version, const std::string &image_version) {
    say("Dry run of fw update: '%s' on %s; nothing is written to the device.\n", options.image.c_str(),
        device.c_str());
    say("Image: a valid %s image; it fits the device, the mode and the options given.\n", format.name);
    if (!device_version.empty() && !image_version.empty())
        say("Normal code: %s on the device, %s in the image.\n", device_version.c_str(), image_version.c_str());
    for (const UpdatePlan &plan : update_plans) {
        if (plan.format != std::string(format.name)) continue;
        const uint32_t mode = update_mode_of(options.mode);
        if (mode == RYN_UPDATE_AUTO)
            say("Writes: the library chooses normal or flash-layout mode from the device's firmware "
                "(normal: %s; layout: %s).\n", plan.normal, plan.layout);
        else say("Writes (%s mode): %s.\n", options.mode.c_str(), mode == RYN_UPDATE_FLASH_LAYOUT ? plan.layout : plan.normal);
        say("Mode switches: %s.\n", plan.switches);
    }
    say("Sections of the image:\n");
    for (const SectionReport &s : report.sections)
        say("  section %-18s offset 0x%08llx length 0x%08llx\n", s.name.c_str(),
            static_cast<unsigned long long>(s.offset), static_cast<unsigned long long>(s.length));
}

}  // namespace

uint32_t update_mode_of(const std::string &mode) {
    if (mode == "layout") return RYN_UPDATE_FLASH_LAYOUT;
    if (mode == "auto") return RYN_UPDATE_AUTO;
    return RYN_UPDATE_NORMAL;
}

int run_fw_update(const GlobalOptions &global, const UpdateOptions &options) {
    check_input_file(options.image, "image");
    std::optional<FwVerifyResult> read_back;  // after a successful update of a recognised image
    if (!options.flash_builder.empty()) check_input_file(options.flash_builder, "flash builder file");
    nlohmann::json &keys = Report::of_run().data();
    keys["image"] = options.image;
    keys["dry_run"] = options.dry_run;
    // Known once the update ran (not on a dry run nor a refused request).
    keys["before"] = keys["after"] = keys["verified"] = keys["device_mode_after"] = nullptr;
    const uint32_t update_mode = update_mode_of(options.mode);
    const wstring image_name = wide(options.image);
    const wstring builder_name = wide(options.flash_builder);
    const ImageFormat *format = nullptr;
    const int status = run_operation(
        global, Access::write,
        [&](const std::string &family, const GlobalOptions &g) { format = check_update(options, family, g); },
        [&](ryn_handle handle, Host &host) -> int32_t {
            const std::string family = loaded_family();
            const std::vector<uint8_t> bytes = read_file(options.image, "image", max_image_file);
            const ImageReport report = format ? describe_image(*format, bytes) : ImageReport{};
            if (format && carries_no_code(*format, report) && !options.allow_empty)
                throw UsageError("'" + options.image + "' carries no code (its header lists 0 code banks); "
                                 "nothing was sent to the device (add --allow-empty to write it anyway)");
            const std::string device_version = format ? device_normal_version(handle, family) : std::string();
            const std::string image_version = format ? image_normal_version(*format, report) : std::string();
            const std::vector<uint64_t> ours = version_parts(device_version), theirs = version_parts(image_version);
            if (!ours.empty() && !theirs.empty() && theirs < ours && !options.allow_downgrade)
                throw UsageError("'" + options.image + "' carries normal code " + image_version +
                                 ", older than the device's " + device_version +
                                 "; nothing was sent to the device (add --allow-downgrade to write it)");
            if (options.dry_run) {
                // The library's own validation, as ryn image inspect runs it.
                std::unique_ptr<fwupdate::ImageFile> file = fwupdate::ImageFile::open(os::library_path(options.image));
                if (!format || !file) throw Failure("the format of '" + options.image +
                                                    "' is not recognised; ryn image inspect tells what fails");
                fw_update_arg arg{};
                arg.handle = RYN_INVALID_HANDLE;
                arg.user_data = host.user_data();
                arg.msg_fn = &Host::on_message;
                if (format->validate(arg, *file) != 1) return 0;
                print_update_plan(options, *format, report, device_name(family, global.six_cam_dev), device_version,
                                  image_version);
                return 1;
            }
            // What the device holds before, read as fw verify reads it.
            const std::string before = format ? firmware_identity(handle, global, *format, options.image, bytes) : std::string();
            if (!before.empty()) keys["before"] = before;
            fw_update_arg arg;
            ryn_fw_update_init_arg(&arg, handle, image_name.c_str(),
                                   options.flash_builder.empty() ? nullptr : builder_name.c_str(),
                                   update_mode | six_cam_bits(global));
            attach(arg, host);
            arg.dev_reset_fn = &reset_device;
            arg.set_update_hdr_fn = &switch_to_update_mode;
            const int32_t result = ryn_fw_update(&arg);
            // The device after the update, through the handle of its last reset.
            if (result == 1 && format) read_back = read_back_update(arg.handle, global, *format, bytes, arg.update_mode, before);
            return result;
        },
        !options.dry_run);
    // The summary follows the library's messages.
    if (status != exit_success || !read_back) return status;
    say("%s\n", update_summary(*read_back).c_str());
    report_read_back(*read_back);
    if (read_back->first_mismatch()) {
        print_error("the device does not hold what '" + options.image + "' carries after the update: " +
                    first_difference_text(*read_back));
        return exit_failure;
    }
    return exit_success;
}

}  // namespace ryn::cli
