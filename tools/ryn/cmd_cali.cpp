// ryn cali: the controller's calibration information.
#include "cli.h"
#include "operation.h"
#include "ryn_usr.h"

namespace ryn::cli {

namespace {

struct CaliOptions {
    std::string file;
    bool text = false;         // set: the older plain-text form
    bool compact_ini = false;  // set: the older compact INI form
    bool dry_run = false;      // set: compare only
    GetOptions get;
};

int cali_get(const CaliOptions &options, const GlobalOptions &global) {
    return run_get(global, calibration_record, options.file, options.get);
}

// The older text and compact INI forms belong to the base controller.
void check_form(const CaliOptions &options, const std::string &family, const GlobalOptions &) {
    if ((options.text || options.compact_ini) && family != "base")
        throw UsageError(std::string(options.text ? "--text" : "--compact-ini") +
                         " reads an older calibration form of the base controller; the device is a " +
                         family + (family == "6cam" ? " system" : " controller") + ", which takes the INI form only");
}

int cali_diff(const CaliOptions &options, const GlobalOptions &global) {
    return run_diff(global, calibration_record, options.file);
}

int cali_set(const CaliOptions &options, const GlobalOptions &global) {
    SetOptions set{.dry_run = options.dry_run};
    if (options.text) set.form_flags |= RYN_CALI_COMPAT_TEXT;
    if (options.compact_ini) set.form_flags |= RYN_CALI_COMPAT_INI;
    return run_set(global, calibration_record, options.file, set,
                   [&](const std::string &family, const GlobalOptions &g) { check_form(options, family, g); });
}

}  // namespace

void add_cali_commands(CLI::App &app, Context &ctx) {
    CLI::App *cali = app.add_subcommand(
        "cali", "Calibration information: read it into a file or write it from one");
    cali->require_subcommand(1);
    cali->footer(
        "Runs on the device of --sim STATE, or on the default one (see ryn --help).\n"
        "Parameter names come from ryn_cali_info_param_def.ini beside ryn.");

    auto get = std::make_shared<CaliOptions>();
    CLI::App *cmd =
        cali->add_subcommand("get", "Read the controller's calibration into an INI file");
    cmd->add_option("FILE", get->file, "INI file to write")->required();
    add_get_flags(*cmd, get->get);
    cmd->footer(
        "Section \"calibration\" of FILE gets the record's fixed fields (length,\n"
        "version, nf_cam, camera words, post_cali matrices, sensor registers as\n"
        "\"enable,N\" or \"disable,N\", nf_profile), then every parameter the\n"
        "definition file names.\n\n" + std::string(get_file_help) +
        "\nExample:\n  ryn --sim dev.json cali get cali.ini");
    add_report_options(*cmd, ctx, get_report_keys);
    on_run(*cmd, ctx, get, &cali_get);

    auto set = std::make_shared<CaliOptions>();
    cmd = cali->add_subcommand("set", "Write calibration from a file to the controller");
    cmd->add_option("FILE", set->file,
                    "File to read: INI (as cali get writes it), or an older form")
        ->required();
    CLI::Option *text = cmd->add_flag(
        "--text", set->text, "FILE is the older plain-text form (UTF-16 or UTF-8 with a mark)");
    CLI::Option *compact =
        cmd->add_flag("--compact-ini", set->compact_ini, "FILE is the older compact INI form");
    text->excludes(compact);
    CLI::Option *dry = cmd->add_flag("--dry-run", set->dry_run,
                                     "Read the device's calibration and print what FILE would change; write nothing");
    dry->excludes(text)->excludes(compact);
    cmd->footer(
        "The device's record is read first; what FILE holds replaces the values it\n"
        "names, and the record is written back once, after the whole file was read.\n"
        "Keys missing from an INI file are reported and keep the device's values\n"
        "(the sensor registers are the exception: those not given are disabled).\n"
        "A file that cannot be read leaves the device as it was. --text and\n"
        "--compact-ini are for a base controller only.\n\n" + std::string(dry_run_help) + "\n"
        "Examples:\n  ryn --sim dev.json cali set cali.ini\n"
        "  ryn --sim dev.json cali set cali.ini --dry-run\n"
        "  ryn --sim dev.json cali set old_cali.txt --text\n"
        "  ryn --sim dev.json cali set old_cali.ini --compact-ini");
    add_report_options(*cmd, ctx, set_report_keys);
    on_run(*cmd, ctx, set, &cali_set);

    auto diff = std::make_shared<CaliOptions>();
    cmd = cali->add_subcommand("diff", "Compare the controller's calibration with an INI file");
    cmd->add_option("FILE", diff->file, "INI file to compare with (as cali get writes it)")->required();
    cmd->footer(std::string(diff_help) +
                "\nExamples:\n  ryn --sim dev.json cali diff cali.ini\n"
                "  ryn --sim dev.json fw update fw.bin && ryn --sim dev.json cali diff cali.ini");
    add_report_options(*cmd, ctx, diff_report_keys);
    on_run(*cmd, ctx, diff, &cali_diff);
}

}  // namespace ryn::cli
