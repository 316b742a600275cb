// ryn info: device information of the controller.
#include "cli.h"
#include "operation.h"
#include "ryn_usr.h"

namespace ryn::cli {

namespace {

// Every info command takes one INI file; a GET how it writes it, a SET how it goes.
struct FileOptions {
    std::string file;
    GetOptions get;
    SetOptions set;
};

int info_versions(const FileOptions &options, const GlobalOptions &global) {
    return run_get(global, version_strings_record, options.file, options.get);
}

int info_get(const FileOptions &options, const GlobalOptions &global) {
    return run_get(global, model_configuration_record, options.file, options.get);
}

int info_set(const FileOptions &options, const GlobalOptions &global) {
    return run_set(global, model_configuration_record, options.file, options.set);
}

int info_diff(const FileOptions &options, const GlobalOptions &global) {
    return run_diff(global, model_configuration_record, options.file);
}

enum class Direction { get, set, compare };

// Registers "info NAME FILE", running fn with the file and the options of its direction.
void add_file_command(CLI::App &info, Context &ctx, const char *name, const char *description,
                      const char *file_help, const std::string &footer, Direction direction,
                      int (*fn)(const FileOptions &, const GlobalOptions &)) {
    auto options = std::make_shared<FileOptions>();
    CLI::App *cmd = info.add_subcommand(name, description);
    cmd->add_option("FILE", options->file, file_help)->required();
    if (direction == Direction::get) {
        add_get_flags(*cmd, options->get);
    } else if (direction == Direction::set) {
        cmd->add_flag("--dry-run", options->set.dry_run,
                      "Read the device's model configuration and print what FILE would change; write nothing");
        cmd->add_flag("--write-identity", options->set.write_identity,
                      "Write a file whose serial number, vendor id or product id differs from the device's");
    }
    cmd->footer(footer);
    add_report_options(*cmd, ctx,
                       direction == Direction::get   ? get_report_keys
                       : direction == Direction::set ? set_report_keys
                                                     : diff_report_keys);
    on_run(*cmd, ctx, options, fn);
}

}  // namespace

void add_info_commands(CLI::App &app, Context &ctx) {
    CLI::App *info = app.add_subcommand("info", "Device information: version strings, model configuration and parameters");
    info->require_subcommand(1);
    info->footer("Runs on the device of --sim STATE, or on the default one (see ryn --help).");

    add_file_command(*info, ctx, "versions",
                     "Read the controller's version strings (boot loader, normal code, updater) into an INI file",
                     "INI file to write",
                     "Section \"version string\" of FILE gets the keys length, major_version,\n"
                     "minor_version, bootldr, normal and updater. Base controllers only: on the\n"
                     "other families the library refuses the request.\n\n" +
                         std::string(get_file_help) + "\nExample:\n  ryn --sim dev.json info versions versions.ini",
                     Direction::get, &info_versions);
    add_file_command(*info, ctx, "get",
                     "Read the controller's model configuration, sensor settings and algorithm parameters into an INI file",
                     "INI file to write",
                     "FILE gets the sections \"model configuration\" (USB identity, names, sizes),\n"
                     "\"sensor dsp\" (cam0_nf_dark=enable,2 ... for cameras 0 to 2) and, when the\n"
                     "device holds them, \"algorithm parameter\" (named by algo_param_def.ini beside\n"
                     "ryn). On the 5810, 5920 and six-camera controllers the sections are\n"
                     "\"model configuration\", \"firmware parameter\", \"algorithm parameter\"\n"
                     "and (5920) \"system parameter\".\n\n" +
                         std::string(get_file_help) + "\nExample:\n  ryn --sim dev.json info get model.ini",
                     Direction::get, &info_get);
    add_file_command(*info, ctx, "set",
                     "Write the model configuration, sensor settings and algorithm parameters of an INI file to the controller",
                     "INI file to read (as info get writes it)",
                     "The device's record is read first: a number missing from FILE keeps the\n"
                     "device's value, a missing name is cleared, a missing sensor setting is\n"
                     "disabled. vid, pid and the length, major_version and minor_version of\n"
                     "\"algorithm parameter\" are required. The record is written once, in the\n"
                     "version the device reports, or not at all.\n\n"
                     "The unit's identity changes only on purpose: the device's record is read\n"
                     "first, and a FILE whose serial_num, vid or pid differs from the device's\n"
                     "(a serial_num FILE lacks would be cleared) is a usage error (exit status\n"
                     "2, both values named, nothing written) unless --write-identity.\n\n" +
                         std::string(dry_run_help) +
                         "\nExamples:\n  ryn --sim dev.json info get model.ini\n"
                         "  (edit model.ini)\n  ryn --sim dev.json info set model.ini --dry-run\n"
                         "  ryn --sim dev.json info set model.ini\n"
                         "  ryn --sim dev.json info set other_unit.ini --write-identity",
                     Direction::set, &info_set);
    add_file_command(*info, ctx, "diff",
                     "Compare the controller's model configuration and parameters with an INI file",
                     "INI file to compare with (as info get writes it)",
                     std::string(diff_help) +
                         "\nExamples:\n  ryn --sim dev.json info diff model.ini\n"
                         "  ryn --sim six.json info diff model.ini --6cam-dev 2",
                     Direction::compare, &info_diff);
}

}  // namespace ryn::cli

