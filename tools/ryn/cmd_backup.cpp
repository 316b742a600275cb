// ryn backup: every record of the unit into one folder, with a manifest that
// names the unit and keeps the SHA-256 of each file.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "device.h"
#include "files.h"
#include "host_os.h"
#include "operation.h"
#include "report.h"
#include "ryn_version.h"
#include "sha256.h"
#include "sim/ryn_sim.h"

namespace ryn::cli {

namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

struct BackupOptions {
    std::string dir;
    bool force = false;
};

// A folder to back up into: missing (it is created) or empty, unless forced.
void check_backup_dir(const BackupOptions &options) {
    std::error_code ec;
    const fs::path dir = os::fs_path(options.dir);
    const auto status = fs::status(dir, ec);
    if (!fs::exists(status)) return;
    if (!fs::is_directory(status)) throw UsageError("'" + options.dir + "' is not a folder; name a folder to back up into");
    if (!options.force && !fs::is_empty(dir, ec))
        throw UsageError("'" + options.dir + "' is not empty; name an empty or new folder, or add --force to "
                         "write the backup into it (files of the same names are replaced)");
}

// One record of one controller: its file name in the folder, and the kind.
struct BackedUp {
    const char *stem;  // "cali" -> cali.ini, cali-255.ini
    const RecordKind &kind;
    bool base_only;
};
const BackedUp backed_up[] = {
    {"cali", calibration_record, false},
    {"info", model_configuration_record, false},
    {"versions", version_strings_record, true},
};

std::string file_name(const char *stem, unsigned id, const char *extension) {
    return std::string(stem) + (id ? "-" + std::to_string(id) : "") + extension;
}

int backup(const BackupOptions &options, const GlobalOptions &global) {
    check_backup_dir(options);
    const std::string state = open_checked_device(global, {});
    ryn_sim_trace_clear();  // the state file keeps the device calls of this run
    const std::string family = loaded_family();
    std::vector<std::string> failed;
    json report = device_report(global, failed);
    report.erase("not_in_service");
    if (!failed.empty()) {
        save_device(state);
        std::string what;
        for (const std::string &f : failed) what += (what.empty() ? "" : ", ") + f;
        throw Failure("backup failed: the device did not give " + what);
    }
    std::error_code ec;
    fs::create_directories(os::fs_path(options.dir), ec);
    if (ec) throw Failure("cannot create the folder '" + options.dir + "': " + ec.message());

    json files = json::object();
    json controllers = json::array();
    // Writes a file into the folder and keeps its sum.
    auto keep = [&](const std::string &name, const std::vector<uint8_t> &bytes) {
        write_file(options.dir + "/" + name, "backup file", bytes);
        files[name] = sha256_hex(bytes);
    };
    const std::vector<unsigned> ids = read_controllers(global, family);
    for (size_t n = 0; n < ids.size(); ++n) {
        const unsigned id = ids[n];
        GlobalOptions one = global;
        one.six_cam_dev = id;
        json shown = report;
        if (id) {
            for (const json &c : report["controllers"])
                if (c["device"] == id) shown = c;
        }
        json controller = {{"device", id ? json(id) : json(nullptr)},
                           {"controller", id ? shown["controller"] : json(family)},
                           {"serial_num", shown["serial_num"]},
                           {"files", json::array()}};
        for (const BackedUp &b : backed_up) {
            if (b.base_only && family != "base") continue;
            const std::string name = file_name(b.stem, id, ".ini");
            const TempFile record = read_device_record(ryn_sim_handle(), one, b.kind);
            keep(name, read_file(record.path(), "record", 64u << 20));
            controller["files"].push_back(name);
        }
        const std::string name = file_name("device", id, ".json");
        const std::string text = json_text(shown) + "\n";
        keep(name, std::vector<uint8_t>(text.begin(), text.end()));
        controller["files"].push_back(name);
        controllers.push_back(controller);
    }
    save_device(state);

    std::string library = version_text();
    library = library.substr(library.find('\n') + 1);  // "libryn_usr 0.1.0 (its file)"
    library = library.substr(0, library.find(" ("));
    const json manifest = {{"family", family},
                           {"controllers", controllers},
                           {"tool_version", RYN_VERSION_STRING},
                           {"library_version", library},
                           {"time", utc_now()},
                           {"sha256", files}};
    const std::string text = json_text(manifest) + "\n";
    write_file(options.dir + "/manifest.json", "manifest", std::vector<uint8_t>(text.begin(), text.end()));
    const std::string serial = report["serial_num"].is_string() ? report["serial_num"].get<std::string>()
                                                                : std::string("(no serial number)");
    say("backup of %s %s -> %s: %zu files\n", family.c_str(), serial.c_str(), options.dir.c_str(), files.size() + 1);
    json written = json::array();
    for (const auto &[name, sum] : files.items()) written.push_back(name);
    written.push_back("manifest.json");
    Report &run = Report::of_run();
    run.data()["dir"] = options.dir;
    run.data()["files"] = written;
    run.data()["controllers"] = controllers;
    return exit_success;
}

}  // namespace

void add_backup_commands(CLI::App &app, Context &ctx) {
    auto o = std::make_shared<BackupOptions>();
    CLI::App *cmd = app.add_subcommand("backup", "Back up every record of the unit into a folder, with a manifest");
    cmd->add_option("DIR", o->dir, "Folder to write (created when missing; must be empty unless --force)")->required();
    cmd->add_flag("--force", o->force, "Write into a folder that is not empty");
    cmd->footer(
        "For every controller of the unit (the three of a six-camera system, or the\n"
        "one --6cam-dev names) DIR gets the calibration (cali.ini), the model\n"
        "configuration and parameters (info.ini), on a base controller the version\n"
        "strings (versions.ini), and the device show --json object of the\n"
        "controller (device.json); on a six-camera system the names carry the\n"
        "controller (cali-255.ini, cali-1.ini, cali-2.ini, ...). Each file is an\n"
        "ordinary GET, as cali get and info get write it. manifest.json names the\n"
        "family, the controllers (device, controller, serial_num, files), the\n"
        "tool's and the library's versions, the time (UTC) and the SHA-256 of each\n"
        "file. Ends with one line: backup of <family> <serial> -> DIR: N files (N\n"
        "counts the manifest). Nothing is written to the device.\n\n"
        "Examples:\n  ryn --sim dev.json backup unit-0042\n  ryn --sim six.json backup six-backup --force");
    add_report_options(*cmd, ctx,
                       "dir, files (the files written, manifest.json last), controllers (as in the manifest)");
    on_run(*cmd, ctx, o, &backup);
}

}  // namespace ryn::cli
