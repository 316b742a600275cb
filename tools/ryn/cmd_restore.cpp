// ryn restore: a folder ryn backup wrote, back onto the unit. The manifest is
// checked before the device is written (sums, family, serial numbers); each
// record is then shown against the device, written, read back and compared.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "device.h"
#include "files.h"
#include "host.h"
#include "host_os.h"
#include "ini_compare.h"
#include "operation.h"
#include "report.h"
#include "sha256.h"
#include "sim/ryn_sim.h"

namespace ryn::cli {

namespace {

using json = nlohmann::json;

struct RestoreOptions {
    std::string dir;
    std::string only;  // "cali", "info" or empty (both)
    bool to_other_unit = false;
};

// The records a restore writes, in this order, by the stem of their files.
struct Restored {
    const char *stem;  // "cali" -> cali.ini, cali-255.ini
    const RecordKind &kind;
};
const Restored restored[] = {
    {"cali", calibration_record},
    {"info", model_configuration_record},
};

// The largest backup file read back for its sum.
constexpr size_t max_backup_file = 64u << 20;

std::string file_name(const char *stem, unsigned id) {
    return std::string(stem) + (id ? "-" + std::to_string(id) : "") + ".ini";
}

// "device 255: " on a six-camera system, nothing on a single controller.
std::string label(unsigned id) { return id ? "device " + std::to_string(id) + ": " : ""; }

std::string text_of(const json &value) { return value.is_string() ? value.get<std::string>() : "(none)"; }

// The manifest, read and checked against the files beside it: every file it
// sums must hold that sum. Nothing here touches the device.
json read_manifest(const std::string &dir) {
    const std::string path = dir + "/manifest.json";
    // A folder that holds no backup is a request that does not fit, as a
    // damaged one is (exit status 2: nothing written), not a failure part-way.
    std::error_code ec;
    if (!std::filesystem::is_directory(os::fs_path(dir), ec))
        throw UsageError("backup folder '" + dir + "' does not exist; check the name; nothing was written");
    if (!std::filesystem::exists(os::fs_path(path), ec))
        throw UsageError("'" + dir + "' holds no backup: it has no manifest.json (ryn backup writes one); "
                         "nothing was written");
    check_input_file(path, "manifest");
    const std::vector<uint8_t> bytes = read_file(path, "manifest", max_backup_file);
    json manifest = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (manifest.is_discarded() || !manifest.is_object() || !manifest["family"].is_string() ||
        !manifest["controllers"].is_array() || !manifest["sha256"].is_object())
        throw UsageError("'" + path + "' is not a backup manifest (family, controllers and sha256 are needed); "
                         "nothing was written");
    for (const auto &[name, sum] : manifest["sha256"].items()) {
        // Only a file of the folder itself: a name with a path in it is no backup file.
        if (name.empty() || name.find_first_of("/\\:") != std::string::npos || name == "." || name == "..")
            throw UsageError("'" + path + "' names the file '" + name + "', which is not in the backup folder; "
                             "nothing was written");
        const std::string file = dir + "/" + name;
        check_input_file(file, "backup file");
        if (!sum.is_string() || sha256_hex(read_file(file, "backup file", max_backup_file)) != sum.get<std::string>())
            throw UsageError("'" + file + "' does not match its SHA-256 in the manifest (changed or damaged since "
                             "the backup); nothing was written");
    }
    return manifest;
}

// The manifest's entry of one controller (device null on a single one).
const json &manifest_controller(const json &manifest, unsigned id) {
    for (const json &c : manifest["controllers"]) {
        if (!c.is_object()) continue;
        const json &device = c["device"];
        if ((id == 0 && device.is_null()) || (device.is_number_unsigned() && device.get<unsigned>() == id)) return c;
    }
    throw UsageError("the backup holds no records of " + (id ? "device " + std::to_string(id) : "this controller") +
                     "; nothing was written");
}

// What device show reports of one controller (the unit on a single one).
const json &reported_controller(const json &report, unsigned id) {
    if (id)
        for (const json &c : report["controllers"])
            if (c["device"] == id) return c;
    return report;
}

// One record to restore: its file, its kind and the controller it is for.
struct Step {
    unsigned id;
    const Restored &record;
    std::string file;  // in the backup folder
};

// The records of the backup against the loaded device: the family and each
// controller's serial number checked (another unit's backup only with
// --to-other-unit), each file present and summed by the manifest.
std::vector<Step> plan_restore(const RestoreOptions &options, const GlobalOptions &global, const json &manifest) {
    const std::string family = loaded_family();
    if (manifest["family"] != family)
        throw UsageError("the backup in '" + options.dir + "' is of a " + text_of(manifest["family"]) +
                         " controller, but the device is a " + family + " one; nothing was written");
    std::vector<std::string> failed;
    const json report = device_report(global, failed);
    if (!failed.empty()) {
        std::string what;
        for (const std::string &f : failed) what += (what.empty() ? "" : ", ") + f;
        throw Failure("restore cannot check the unit: the device did not give " + what + "; nothing was written");
    }
    std::vector<Step> steps;
    for (const unsigned id : read_controllers(global, family)) {
        const json &backed_up = manifest_controller(manifest, id);
        const json &device = reported_controller(report, id);
        if (backed_up["serial_num"] != device["serial_num"] && !options.to_other_unit)
            throw UsageError(label(id) + "the backup in '" + options.dir + "' is of another unit (serial number " +
                             text_of(backed_up["serial_num"]) + "; the device's is " + text_of(device["serial_num"]) +
                             "); nothing was written (add --to-other-unit to restore it onto this unit)");
        for (const Restored &r : restored) {
            if (!options.only.empty() && options.only != r.stem) continue;
            const std::string name = file_name(r.stem, id);
            if (!manifest["sha256"].contains(name))
                throw UsageError("the manifest in '" + options.dir + "' has no sum of " + name +
                                 "; nothing was written");
            steps.push_back({id, r, options.dir + "/" + name});
        }
    }
    return steps;
}

std::string joined_files(const std::vector<Step> &steps, size_t from, size_t to) {
    std::string text;
    for (size_t i = from; i < to; ++i) {
        const std::string &f = steps[i].file;
        text += (text.empty() ? "" : ", ") + f.substr(f.rfind('/') + 1);
    }
    return text.empty() ? "none" : text;
}

int restore(const RestoreOptions &options, const GlobalOptions &global) {
    const json manifest = read_manifest(options.dir);
    // A whole restore puts every record back on the controller it was read
    // from; one record (--only) of a six-camera system is written to the
    // controller --6cam-dev names, as cali set and info set are.
    const std::string state = open_checked_device(global, {}, options.only.empty() ? Access::read : Access::write);
    ryn_sim_trace_clear();  // the state file keeps the device calls of this run
    const std::vector<Step> steps = plan_restore(options, global, manifest);
    const SetOptions show{.dry_run = true, .write_identity = options.to_other_unit, .before_write = true,
                          .identity_option = "--to-other-unit"};
    const SetOptions write{.write_identity = options.to_other_unit, .identity_option = "--to-other-unit"};

    // What will change, every record before the first write (another
    // unit's identity is refused here, with nothing written).
    for (const Step &step : steps) {
        GlobalOptions one = global;
        one.six_cam_dev = step.id;
        say("%s", label(step.id).c_str());
        Host reader(false);
        set_record(ryn_sim_handle(), reader, one, step.record.kind, step.file, show);
    }

    // Each record written, read back and compared with its file.
    Host host(!global.quiet);
    host.set_output(global.quiet, global.verbose);
    std::vector<std::string> results;
    size_t written = 0;
    std::string trouble;
    for (const Step &step : steps) {
        GlobalOptions one = global;
        one.six_cam_dev = step.id;
        try {
            if (set_record(ryn_sim_handle(), host, one, step.record.kind, step.file, write) != 1) {
                const std::string reason = host.last_line();
                trouble = "the SET of " + joined_files(steps, written, written + 1) + " failed: " +
                          (reason.empty() ? "the library gave no reason" : reason);
                break;
            }
            ++written;
            const TempFile back = read_device_record(ryn_sim_handle(), one, step.record.kind);
            const IniComparison diff = compare_ini_files(back.path(), step.file, step.record.kind.sections);
            if (!diff.same()) {
                print_differences(diff, "the device", "the file", "  ", step.id);
                trouble = "the device's " + std::string(step.record.kind.what) + " read back differs from " +
                          joined_files(steps, written - 1, written);
                break;
            }
            results.push_back(label(step.id) + step.record.stem + " identical");
        } catch (const Failure &e) {
            trouble = e.what();
            break;
        }
    }
    host.finish();
    if (Report::of_run().wants_unit()) report_device_after(global);
    save_device(state);
    for (const std::string &line : results) say("%s\n", line.c_str());
    // Each record: written or not, and whether it read back as its file.
    json records = json::array();
    for (size_t i = 0; i < steps.size(); ++i)
        records.push_back({{"device", steps[i].id ? json(steps[i].id) : json(nullptr)},
                           {"record", steps[i].record.stem},
                           {"file", joined_files(steps, i, i + 1)},
                           {"written", i < written},
                           {"identical", i < results.size()}});
    Report::of_run().data()["dir"] = options.dir;
    Report::of_run().data()["records"] = records;
    if (trouble.empty()) return exit_success;
    print_error("restore failed part-way: " + trouble + "; written: " + joined_files(steps, 0, written) +
                "; not written: " + joined_files(steps, written, steps.size()));
    return exit_failure;
}

}  // namespace

void add_restore_commands(CLI::App &app, Context &ctx) {
    auto o = std::make_shared<RestoreOptions>();
    CLI::App *cmd = app.add_subcommand("restore", "Restore the calibration and model configuration of a backup");
    cmd->add_option("DIR", o->dir, "Folder ryn backup wrote")->required();
    cmd->add_option("--only", o->only, "Restore one record: cali (calibration) or info (model configuration)")
        ->check(name_in("record", {"cali", "info"}))
        ->type_name("cali|info");
    cmd->add_flag("--to-other-unit", o->to_other_unit,
                   "Restore a backup of another unit (other serial number); with the model configuration its "
                   "identity too (--only cali: the calibration alone moves)");
    cmd->footer(
        "The manifest is checked first: the SHA-256 of every file it names, the\n"
        "family against the device's, and each controller's serial number against\n"
        "the device's. A file that does not match its sum, another family, or\n"
        "another unit's backup (serial numbers differ; both are named) is a usage\n"
        "error (exit status 2) and nothing is written; --to-other-unit restores\n"
        "another unit's backup, its identity (serial number, vendor and product\n"
        "id) included, as info set --write-identity does; with --only cali the\n"
        "calibration alone moves to this unit and its identity stays. A folder\n"
        "without manifest.json is no backup (exit status 2).\n\n"
        "Then, for every controller (the three of a six-camera system, each\n"
        "addressed in turn, or the one --6cam-dev names), it shows what will change\n"
        "as cali set/info set --dry-run do, writes the calibration (cali.ini) and\n"
        "the model configuration (info.ini), or the one --only names, reads each\n"
        "back and compares it with its file. It ends with one line per controller\n"
        "and record: cali identical, info identical (\"device 255: cali identical\"\n"
        "on a six-camera system). A restore that fails part-way names the records\n"
        "written and those not written (exit status 1). On a six-camera system\n"
        "--only restores one controller's record: name it with --6cam-dev.\n\n"
        "Examples:\n  ryn --sim dev.json restore unit-0042\n"
        "  ryn --sim six.json restore six-backup --only cali --6cam-dev 1\n"
        "  ryn --sim new.json restore unit-0042 --to-other-unit");
    add_report_options(*cmd, ctx,
                       "dir, changes (what each record changes, as set's --dry-run), records (each {device, record, "
                       "file, written, identical}), differences (of a record that read back otherwise), "
                       "device_mode_after");
    on_run(*cmd, ctx, o, &restore);
}

}  // namespace ryn::cli
