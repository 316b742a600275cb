// ryn diff: two INI files compared by section and key, as the library reads
// them, with an exit status a script can trust (0 same, 1 different, 2 trouble).
#include <cstdio>

#include "cli.h"
#include "files.h"
#include "image_formats.h"
#include "ini_compare.h"
#include "operation.h"
#include "report.h"

namespace ryn::cli {

namespace {

struct DiffOptions {
    std::string left, right;
};

int diff_files(const DiffOptions &options, const GlobalOptions &) {
    try {
        // A firmware image or another binary file holds no section or key the
        // store could read: compared as it stands it would look like an empty
        // file, and two different images would compare as the same data.
        for (const std::string *file : {&options.left, &options.right}) {
            check_input_file(*file, "file");
            if (!is_ini_text(read_file(*file, "file", max_image_file)))
                throw Failure("'" + *file + "' is not an INI file (a firmware image or another binary file?)");
        }
        Report::of_run().set_unit({}, {});  // no unit: the log gets its lines from here
        const IniComparison diff = compare_ini_files(options.left, options.right);
        print_differences(diff, options.left, options.right, "");
        Report::of_run().data()["files"] = {options.left, options.right};
        Report::of_run().compared(diff.same());
        return diff.same() ? exit_success : exit_failure;
    } catch (const Failure &e) {
        print_error(e.what());
        return exit_usage;  // trouble, as diff reports it
    }
}

}  // namespace

void add_diff_commands(CLI::App &app, Context &ctx) {
    auto o = std::make_shared<DiffOptions>();
    CLI::App *cmd = app.add_subcommand("diff", "Compare two INI files by section and key, as the library reads them");
    cmd->add_option("A", o->left, "First INI file")->required();
    cmd->add_option("B", o->right, "Second INI file")->required();
    cmd->footer(
        "Section and key names ignore case and the first of a repeated key counts,\n"
        "as when the library reads a file; values lose their blanks and outer\n"
        "quotes; numbers compare by value (0x10 equals 16, floats as the 32-bit\n"
        "floats the device stores), \"enable,N\" field by field. One line per key\n"
        "that differs: \"[section] key: A's value -> B's value\", or \"only in A\"\n"
        "(\"only in B\") with the value. Exit status 0 when the files hold the same\n"
        "data, 1 when they differ, 2 on trouble (a file missing, unreadable, or no\n"
        "INI file: a firmware image or another binary file), as diff does.\n\n"
        "Examples:\n  ryn diff before.ini after.ini\n  ryn diff cali-1.ini cali-2.ini > /dev/null && echo same");
    add_report_options(*cmd, ctx,
                       "files ([A, B]), same (false with result \"ok\" and exit status 1 when they differ), differences (each {device: null, section, key, kind: changed, "
                       "only_left or only_right, left: A's value, right: B's, null on the side that lacks the key})");
    on_run(*cmd, ctx, o, &diff_files);
}

}  // namespace ryn::cli
