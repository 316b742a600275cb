// ryn fw: firmware update of the controller.
#include <string>

#include "cli.h"
#include "operation.h"
#include "ryn_usr.h"

namespace ryn::cli {

namespace {

int fw_update(const UpdateOptions &options, const GlobalOptions &global) {
    return run_fw_update(global, options);
}

}  // namespace

void add_fw_commands(CLI::App &app, Context &ctx) {
    CLI::App *fw = app.add_subcommand("fw", "Firmware update of the controller");
    fw->require_subcommand(1);

    auto o = std::make_shared<UpdateOptions>();
    CLI::App *cmd =
        fw->add_subcommand("update", "Validate a firmware image, then write it to the controller");
    cmd->add_option("IMAGE", o->image, "Firmware image file")->required();
    cmd->add_option("--mode", o->mode,
                    "normal: the normal code only (default); layout: the whole flash layout; "
                    "auto (base controller): the library decides from the device's firmware")
        ->check(name_in("update mode", {"normal", "layout", "auto"}))
        ->type_name("normal|layout|auto");
    cmd->add_option("--flash-builder", o->flash_builder,
                    "Flash builder file (a base controller's layout update needs it)")
        ->type_name("FILE");
    cmd->add_flag("--dry-run", o->dry_run,
                  "Check the image, the device and the options, print what the update would write; "
                  "write nothing");
    cmd->add_flag("--allow-downgrade", o->allow_downgrade,
                  "Write normal code older than the device's (base controller)");
    cmd->add_flag("--allow-empty", o->allow_empty, "Write an image that carries no code (a 5920 image of 0 banks)");
    cmd->footer(
        "The whole image is validated before the device is touched. The device is\n"
        "switched into its update mode, written and reset along the way.\n"
        "\n"
        "Before any device write ryn checks that the request fits the device: an\n"
        "image recognised as another family's (ryn image inspect), --mode auto on\n"
        "a device other than a base controller, --mode layout on a base controller\n"
        "without --flash-builder, and --flash-builder on another family are usage\n"
        "errors (exit status 2). So are, unless allowed, normal code older than the\n"
        "device's (where both versions are known: a base controller and a base\n"
        "image; --allow-downgrade) and an image without any code (--allow-empty).\n"
        "\n"
        "--dry-run runs these checks and the library's validation of the image,\n"
        "then prints the plan (what each mode writes, the mode switches, the\n"
        "image's sections) and leaves the device and its state file as they were.\n\n"
        "Examples:\n"
        "  ryn --sim dev.json fw update fw.bin\n"
        "  ryn --sim dev.json fw update fw.bin --dry-run\n"
        "  ryn --sim dev.json fw update old.bin --allow-downgrade\n"
        "  ryn --sim dev.json fw update fw.bin --mode layout --flash-builder fb.bin\n"
        "  ryn --sim c5810.json fw update fw5810.bin --mode layout\n"
        "  ryn --sim six.json --6cam-dev 2 fw update fw5810.bin");
    add_report_options(*cmd, ctx,
                       "image, dry_run, before and after (the controller's firmware_mode, versions and fw_header "
                       "as device show gives them, read before and after the update), device_mode_after (device "
                       "show's state line after the update or its failure: in service, left in mask ROM, ...)");
    on_run(*cmd, ctx, o, &fw_update);
}

}  // namespace ryn::cli
