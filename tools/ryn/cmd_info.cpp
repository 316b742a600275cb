// ryn info: device information of the controller.
#include "cli.h"
#include "operation.h"
#include "ryn_usr.h"

namespace ryn::cli {

namespace {

// Every info command takes one INI file.
struct FileOptions {
    std::string file;
};

int info_versions(const FileOptions &options, const GlobalOptions &global) {
    return run_info(global, ryn_dev_info, options.file, RYN_FLAG_GET | RYN_DEV_VERSION_STR, {},
                    {"version string"});
}

int info_get(const FileOptions &options, const GlobalOptions &global) {
    return run_info(global, ryn_dev_info, options.file, RYN_FLAG_GET | RYN_DEV_MODEL_CFG, {},
                    {"model configuration", "sensor dsp", "algorithm parameter", "firmware parameter",
                     "system parameter"});
}

int info_set(const FileOptions &options, const GlobalOptions &global) {
    return run_info(global, ryn_dev_info, options.file, RYN_FLAG_SET | RYN_DEV_MODEL_CFG);
}

// Registers "info NAME FILE", running fn with the file.
void add_file_command(CLI::App &info, Context &ctx, const char *name, const char *description,
                      const char *file_help, const char *footer,
                      int (*fn)(const FileOptions &, const GlobalOptions &)) {
    auto options = std::make_shared<FileOptions>();
    CLI::App *cmd = info.add_subcommand(name, description);
    cmd->add_option("FILE", options->file, file_help)->required();
    cmd->footer(footer);
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
                     "minor_version, bootldr, normal and updater. Other sections and keys of an\n"
                     "existing file stay as they are (ryn warns when FILE already holds other\n"
                     "sections). Base controllers only: on the other families the library\n"
                     "refuses the request.\n\n"
                     "Example:\n  ryn --sim dev.json info versions versions.ini",
                     &info_versions);
    add_file_command(*info, ctx, "get",
                     "Read the controller's model configuration, sensor settings and algorithm parameters into an INI file",
                     "INI file to write",
                     "FILE gets the sections \"model configuration\" (USB identity, names, sizes),\n"
                     "\"sensor dsp\" (cam0_nf_dark=enable,2 ... for cameras 0 to 2) and, when the\n"
                     "device holds them, \"algorithm parameter\" (named by algo_param_def.ini beside\n"
                     "ryn). On the 5810, 5920 and six-camera controllers the sections are\n"
                     "\"model configuration\", \"firmware parameter\", \"algorithm parameter\"\n"
                     "and (5920) \"system parameter\". Other sections and keys of an existing\n"
                     "file stay as they are; ryn warns when FILE holds sections of another kind.\n\n"
                     "Example:\n  ryn --sim dev.json info get model.ini",
                     &info_get);
    add_file_command(*info, ctx, "set",
                     "Write the model configuration, sensor settings and algorithm parameters of an INI file to the controller",
                     "INI file to read (as info get writes it)",
                     "The device's record is read first: a number missing from FILE keeps the\n"
                     "device's value, a missing name is cleared, a missing sensor setting is\n"
                     "disabled. vid, pid and the length, major_version and minor_version of\n"
                     "\"algorithm parameter\" are required. The record is written once, in the\n"
                     "version the device reports, or not at all.\n\n"
                     "Example:\n  ryn --sim dev.json info get model.ini\n"
                     "  (edit model.ini)\n  ryn --sim dev.json info set model.ini",
                     &info_set);
}

}  // namespace ryn::cli

