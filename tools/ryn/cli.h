// Shared pieces of the ryn command-line host: the options that stand before
// the command, exit statuses, user-facing errors and the command registrars.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ryn::cli {

inline constexpr int exit_success = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

// Options given before the command; they apply to every device operation.
struct GlobalOptions {
    std::string sim;         // state file of the simulated device; empty: the default one
    unsigned six_cam_dev = 0;  // 0 (not given), 1 or 2 (a 5810 device), 255 (the LPC4320 controller)
    bool quiet = false;        // no progress output; of the library's messages only warnings and errors
    bool verbose = false;      // every message as it comes (no summing up of repeated warnings)
    std::string command;       // the words of the command that runs ("info versions")
    bool json = false;         // --json: one object on stdout, nothing else
    std::string log;           // --log FILE: every line appended to FILE
};

// What the program runs once the command line has been parsed completely.
struct Context {
    GlobalOptions global;
    std::function<int()> action;
    CLI::App *root = nullptr;  // the whole command tree (completion, man page)
};

// A failure the user can act on: printed as "ryn: <text>" on stderr, exit status 1.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A request that cannot fit the device or the format (an option the family
// has no use for, an image of another family): "ryn: <text>" on stderr, exit
// status 2, found before the device is touched.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Prints "ryn: <text>" on stderr (and keeps it in the run's report).
void print_error(const std::string &text);

// Registers a subcommand whose action runs fn with its parsed options.
template <class Options>
void on_run(CLI::App &sub, Context &ctx, std::shared_ptr<Options> options,
            int (*fn)(const Options &, const GlobalOptions &)) {
    sub.callback([&ctx, options, fn] { ctx.action = [&ctx, options, fn] { return fn(*options, ctx.global); }; });
}

// --json (unless json_keys is null) and --log FILE of a device command, into
// ctx.global, and their help before the examples of cmd's footer (set
// before): json_keys names the command's own keys. A command without them
// refuses them as unknown options.
void add_report_options(CLI::App &cmd, Context &ctx, const char *json_keys);

// Validators whose failures are usage errors (exit status 2).
// A whole number from min to max, decimal or 0x-prefixed hexadecimal (no sign,
// no leading zero, so that CLI11's conversion reads it the same way).
CLI::Validator number_in(uint64_t min, uint64_t max);
// One of the given names; `what` names the kind in the error ("record", "family").
CLI::Validator name_in(const std::string &what, const std::vector<std::string> &names);
// A device of a six-camera system: 255 or "lpc" (the LPC4320 controller, taken
// as 255), 1 or 2 (its 5810 devices).
CLI::Validator six_cam_device();

// One registrar per command group, each in its own file (cmd_*.cpp).
void add_info_commands(CLI::App &app, Context &ctx);
void add_fw_commands(CLI::App &app, Context &ctx);
void add_image_commands(CLI::App &app, Context &ctx);
void add_cali_commands(CLI::App &app, Context &ctx);
void add_sim_commands(CLI::App &app, Context &ctx);
void add_device_commands(CLI::App &app, Context &ctx);
void add_completion_commands(CLI::App &app, Context &ctx);
void add_diff_commands(CLI::App &app, Context &ctx);
void add_backup_commands(CLI::App &app, Context &ctx);
void add_restore_commands(CLI::App &app, Context &ctx);

// A field name as a JSON key: lower case, words joined by underscores
// ("vendor id" -> "vendor_id").
inline std::string json_key(std::string_view name) {
    std::string key;
    for (const char c : name) key += c == ' ' || c == '-' ? '_' : static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return key;
}

// The text of ryn --version: the tool's version and the loaded library's.
std::string version_text();

}  // namespace ryn::cli
