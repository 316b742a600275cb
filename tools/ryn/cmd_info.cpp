// ryn info: device information of the controller.
#include "cli.h"
#include "operation.h"
#include "ryn_usr.h"

namespace ryn::cli {

namespace {

struct VersionsOptions {
    std::string file;
};

int info_versions(const VersionsOptions &options, const GlobalOptions &global) {
    return run_info(global, ryn_dev_info, options.file, RYN_FLAG_GET | RYN_DEV_VERSION_STR);
}

}  // namespace

void add_info_commands(CLI::App &app, Context &ctx) {
    CLI::App *info = app.add_subcommand("info", "Device information: version strings (more to come)");
    info->require_subcommand(1);
    info->footer("Runs on the device of --sim STATE, or on the default one (see ryn --help).");

    auto versions = std::make_shared<VersionsOptions>();
    CLI::App *cmd = info->add_subcommand(
        "versions", "Read the controller's version strings (boot loader, normal code, updater) into an INI file");
    cmd->add_option("FILE", versions->file, "INI file to write")->required();
    cmd->footer("Section \"version string\" of FILE gets the keys length, major_version,\n"
                "minor_version, bootldr, normal and updater. Other sections and keys of an\n"
                "existing file stay as they are. Base controllers only.\n\n"
                "Example:\n  ryn --sim dev.json info versions versions.ini");
    on_run(*cmd, ctx, versions, &info_versions);
}

}  // namespace ryn::cli
