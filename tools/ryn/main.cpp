// ryn: the command-line host of the library. Parses the command line, then
// runs the chosen command; exit status 0 success, 1 failure, 2 usage error.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <sstream>

#include "cli.h"
#include "help_format.h"
#include "host_os.h"
#include "report.h"
#include "suggest.h"

namespace {

const char *const overview =
    "ryn moves calibration, device information and firmware between a touch\n"
    "controller and files. The controller is simulated: a JSON state file holds it.";

const char *const footer =
    "Device commands (device, info, cali, fw, backup, restore) run on the state\n"
    "file named with --sim, or on $XDG_STATE_HOME/ryn/device.json (default\n"
    "~/.local/state/ryn/device.json), which is created as a base controller the\n"
    "first time it is needed. Global options may also follow the command.\n"
    "A six-camera system is one unit: a command that writes to it names its\n"
    "controller with --6cam-dev 255 (or lpc), 1 or 2; one that reads covers all\n"
    "three when --6cam-dev is not given.\n"
    "\n"
    "Messages of the library go to stdout; progress goes to stderr (a bar on a\n"
    "terminal, \"step k/n name\" lines otherwise). A run of \"[Warning] Missing\n"
    "KEY.\" messages is summed up in one line (--verbose prints each); --quiet\n"
    "keeps only warnings and errors. A failed command ends with one line\n"
    "\"ryn: <what failed>\" on stderr, also with --quiet; it names the first\n"
    "failure the library reported when that was another than its last. Exit status:\n"
    "0 success, 1 failure, 2 usage error (also an option or image that does not\n"
    "fit the device, found before the device is touched).\n"
    "\n"
    "The device commands and diff take --json (stdout carries one JSON object\n"
    "with the result, the messages and the command's own keys, and nothing\n"
    "else) and --log FILE (every line appended to FILE with the time, the\n"
    "unit's family and serial number); see their --help.\n"
    "\n"
    "Examples:\n"
    "  ryn sim create dev.json --family base\n"
    "  ryn --sim dev.json device show\n"
    "  ryn --sim dev.json info versions versions.ini\n"
    "  ryn info versions versions.ini --sim dev.json -q\n"
    "  ryn sim fail dev.json ryn_get_fw_ver_str\n"
    "  ryn sim fail dev.json --clear\n"
    "  ryn image build --format base -o fw.bin\n"
    "  ryn image inspect fw.bin\n"
    "  ryn --sim dev.json fw update fw.bin\n"
    "\n"
    "Run ryn COMMAND --help for the options of a command.";

// The deepest command the parser reached, and the words that name it.
CLI::App *reached_command(CLI::App &app, std::string &words) {
    CLI::App *at = &app;
    words = "ryn";
    for (;;) {
        const auto chosen = at->get_subcommands();
        if (chosen.empty()) return at;
        at = chosen.front();
        words += " " + at->get_name();
    }
}

// A usage error on stderr, with the command whose help explains it. A word
// left over where a command was expected is named as an unknown command; an
// unknown command or option gets the nearest valid one as a suggestion.
void report_usage_error(CLI::App &app, const CLI::ParseError &e) {
    std::string words;
    CLI::App *command = reached_command(app, words);
    const auto left = command->remaining();
    std::string text = e.what();
    if (dynamic_cast<const CLI::RequiredError *>(&e) && command->get_require_subcommand_min() > 0 &&
        command->get_subcommands().empty()) {
        if (left.empty()) {
            text = "a command is missing";
        } else {
            text = "unknown command '" + left.front() + "'";
            const std::string near = ryn::cli::nearest_command(*command, left.front());
            if (!near.empty()) text += "; did you mean '" + near + "'?";
        }
    } else if (dynamic_cast<const CLI::ExtrasError *>(&e)) {
        // The words the parser could not place: those the command left, or
        // (handed up to ryn itself) those the error names after its colon.
        std::vector<std::string> words = left;
        if (const size_t colon = text.find(": "); words.empty() && colon != std::string::npos) {
            std::istringstream named(text.substr(colon + 2));
            for (std::string w; named >> w;) words.push_back(w);
        }
        for (const std::string &word : words) {
            if (word.size() < 2 || word[0] != '-') continue;
            const std::string near = ryn::cli::nearest_option(*command, word);
            if (!near.empty()) text += "; did you mean '" + near + "'?";
            break;
        }
    }
    ryn::cli::print_error(text);
    std::fprintf(stderr, "Run '%s --help' for what it takes.\n", words.c_str());
}

}  // namespace

int main(int argc, char **argv) {
    using namespace ryn::cli;
    try {
        Context ctx;
        CLI::App app{overview, "ryn"};
        ctx.root = &app;
        app.formatter(help_formatter());  // every command takes it from ryn
        app.footer(footer);
        app.require_subcommand(1);
        // Global options are taken after the command too: every subcommand
        // hands the options it does not know to its parent.
        app.fallthrough();
        app.add_option("--sim", ctx.global.sim, "State file of the simulated controller (default below)")
            ->type_name("STATE");
        app.add_option("--6cam-dev", ctx.global.six_cam_dev,
                       "Six-camera system: address its LPC4320 controller (255 or lpc) or its 5810 device 1 or 2")
            ->transform(six_cam_device())
            ->type_name("255|lpc|1|2");
        app.add_flag("-q,--quiet", ctx.global.quiet,
                     "No progress output; of the library's messages only warnings and errors (no header dumps)");
        app.add_flag("-v,--verbose", ctx.global.verbose,
                     "Every message of the library as it comes: repeated warnings are not summed up");
        app.set_version_flag("--version", [] { return version_text(); },
                             "Print the versions of ryn and of the library it loaded");
        add_device_commands(app, ctx);
        add_info_commands(app, ctx);
        add_cali_commands(app, ctx);
        add_fw_commands(app, ctx);
        add_backup_commands(app, ctx);
        add_restore_commands(app, ctx);
        add_diff_commands(app, ctx);
        add_image_commands(app, ctx);
        add_sim_commands(app, ctx);
        add_completion_commands(app, ctx);

        const std::vector<std::string> arguments = os::arguments(argc, argv);
        try {
            std::vector<std::string> args = arguments;
            std::reverse(args.begin(), args.end());  // CLI11 takes them last first
            app.parse(args);
        } catch (const CLI::ParseError &e) {
            // A command line that does not parse is answered in text on
            // stderr, also with --json: there is no command to report on.
            if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);
            report_usage_error(app, e);
            return exit_usage;
        }
        std::string words;
        reached_command(app, words);
        ctx.global.command = words.substr(words.find(' ') + 1);
        // From here every outcome, also a usage error the command finds, ends
        // in the run's report (the JSON object, the log's result line).
        Report &report = Report::of_run();
        int status = exit_failure;
        try {
            report.start(ctx.global, arguments);
            status = ctx.action ? ctx.action() : exit_usage;
        } catch (const UsageError &e) {
            print_error(e.what());
            status = exit_usage;
        } catch (const Failure &e) {
            print_error(e.what());
            status = exit_failure;
        } catch (const std::exception &e) {
            print_error(std::string("unexpected error: ") + e.what());
            status = exit_failure;
        }
        return report.finish(status);
    } catch (const Failure &e) {
        print_error(e.what());
        return exit_failure;
    } catch (const std::exception &e) {
        print_error(std::string("unexpected error: ") + e.what());
        return exit_failure;
    }
}
