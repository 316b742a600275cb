// ryn fw: firmware update of the controller.
#include <string>

#include "cli.h"
#include "fw_verify.h"
#include "operation.h"
#include "ryn_usr.h"

namespace ryn::cli {

namespace {

int fw_update(const UpdateOptions &options, const GlobalOptions &global) {
    return run_fw_update(global, options);
}

int fw_verify(const VerifyOptions &options, const GlobalOptions &global) {
    return run_fw_verify(global, options);
}

}  // namespace

void add_fw_commands(CLI::App &app, Context &ctx) {
    CLI::App *fw = app.add_subcommand("fw", "Firmware update of the controller, and its verification");
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
        "After the library's messages, a successful update ends with one line:\n"
        "\"updated: <before> -> <after>\", what the device holds before and after as\n"
        "fw verify reads it (\"normal code 2.3.1400.1\" on a base controller, \"code\n"
        "crc 0x...\" over a 5920's code banks, \"header crc 0x...\" of the image\n"
        "header a six-camera 5810 device keeps; \"unknown\" where no read tells),\n"
        "then \" verified\" when fw verify's comparison ran after the update and\n"
        "matched, or \", not verified: \" and why (this device offers no read-back;\n"
        "the read-back failed). A read-back that differs from the image ends with\n"
        "a \"ryn:\" line naming the first difference, exit status 1.\n"
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
    on_run(*cmd, ctx, o, &fw_update);

    auto v = std::make_shared<VerifyOptions>();
    cmd = fw->add_subcommand("verify", "Compare what the controller holds with a firmware image, where it can be read back");
    cmd->add_option("IMAGE", v->image, "Firmware image file")->required();
    cmd->add_option("--mode", v->mode,
                    "normal: the parts a normal update writes (default); layout: the parts a flash-layout "
                    "update writes")
        ->check(name_in("verify mode", {"normal", "layout"}))
        ->type_name("normal|layout");
    cmd->footer(
        "Reads the device through the device library only, writes nothing to it\n"
        "and leaves its state file as it was. What is compared, by controller:\n"
        "  5920: the flash, read back as the update verifies its writes: each\n"
        "    code bank the header lists (--mode layout: the whole file from\n"
        "    flash address 0, its flash boot word erased as the update writes it).\n"
        "  base controller: the version strings (\"normal\"; --mode layout also\n"
        "    \"bootldr\" and \"updater\"). Its code and flash layout cannot be read\n"
        "    back; its firmware header record holds its mode, nothing of the image.\n"
        "  six-camera 5810 device (1, 2): the 68-byte image header the update\n"
        "    stores in its firmware header record. Its code cannot be read back.\n"
        "  5810 controller, LPC4320 controller: nothing of the image can be read\n"
        "    back (the LPC4320's firmware header read returns its USB ids, not\n"
        "    the image header the update stores).\n"
        "Each part compared prints \"<part>: match\" or where it first differs\n"
        "(address or offset, the image's byte or value and the device's). Each\n"
        "part that cannot be read back prints \"cannot verify <part>: <why>\",\n"
        "never a match. \"on the device:\" names the firmware it holds where a read\n"
        "tells (as fw update's summary line does). The calibration and model\n"
        "configuration records the library reads are the unit's own (cali get,\n"
        "info get), not the image's defaults, and are not compared with it.\n"
        "\n"
        "On a six-camera system without --6cam-dev each controller is read and\n"
        "labelled, but an image is for one kind of controller: a 5810 image is\n"
        "compared with devices 1 and 2 and device 255 is shown as skipped; an\n"
        "lpc4320 image is compared with device 255 and devices 1 and 2 are\n"
        "skipped.\n"
        "\n"
        "Exit status: 0 when every part compared matches (the last line starts\n"
        "with \"verified:\"); 1 when one differs (a \"ryn:\" line names the first\n"
        "difference); 2 when nothing could be compared (no read-back of anything\n"
        "the image holds: the update cannot be confirmed this way), on an image\n"
        "of another family or that is not valid (found before the device is\n"
        "read), and when a read of the device fails.\n"
        "\n"
        "Examples:\n"
        "  ryn --sim c5920.json fw verify fw5920.bin\n"
        "  ryn --sim c5920.json fw verify fw5920.bin --mode layout\n"
        "  ryn --sim dev.json fw verify fw.bin\n"
        "  ryn --sim six.json fw verify fw5810.bin\n"
        "  ryn --sim six.json --6cam-dev 2 fw verify fw5810.bin");
    on_run(*cmd, ctx, v, &fw_verify);
}

}  // namespace ryn::cli
