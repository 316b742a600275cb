// ryn sim: create, inspect and break the simulated controller.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <nlohmann/json.hpp>

#include "cli.h"
#include "device.h"
#include "files.h"
#include "sim/ryn_sim.h"

namespace ryn::cli {

namespace {

// Controller families the simulator builds.
const std::vector<std::string> families = {"base", "5810", "5920", "6cam"};

// The record versions each family takes at creation; an option a family lacks
// is a usage error for it.
struct Range {
    uint64_t min, max;
};
struct FamilyOptions {
    const char *family;
    std::optional<Range> cali_version, model_version, algo_version;
    bool firmware;  // --fw-mode and the version strings
    bool flash;     // the 5810 controllers' --flash-id, --flash-driver (and --fw-mode flash|maskrom)
};
const FamilyOptions family_options[] = {
    {"base", Range{9, 10}, Range{0x100, 0x103}, Range{0x102, 0x104}, true, false},
    {"5810", Range{0, 0xFF}, Range{0, 0xFFFF}, Range{0, 0xFFFF}, false, true},
    {"5920", Range{0, 0xFF}, Range{0, 0xFFFF}, std::nullopt, false, false},
    {"6cam", Range{0, 0xFF}, Range{0, 0xFFFF}, Range{0, 0xFFFF}, false, true},
};

// The devices of a six-camera system, whose records sim dump and sim load
// reach with --dev; 255 (the LPC4320 controller) when it is not given.

// Records a device holds, dumped and loaded as the raw bytes the device keeps.
struct Record {
    const char *name;
    const char *what;
};
const Record records[] = {
    {"version", "version record: header, boot loader, normal-code and updater versions"},
    {"cali", "calibration record"},
    {"model-cfg", "model configuration record in the device's version (--model-version)"},
    {"normal-code", "normal code the device runs, once an update has written it"},
    {"layout", "flash-layout region (0x60000 bytes from 0x20000), once a layout update has written it"},
    {"fw-header", "firmware header record (base: bit 0 of the word at offset 4 is update mode;\n"
                  "5810: the image header last written over its first 68 bytes;\n"
                  "5920: boot word at offset 12; LPC4320: USB ids at offsets 16 and 20)"},
    {"flash", "flash contents, once an update has written it (5810: serial flash of 262144\n"
              "bytes, erased as 0xFF; 5920 and LPC4320: from address 0)"},
    {"image-header", "LPC4320 image header stored by an update"},
};
const char *const records_footer =
    "The version record is the base controller's only. On a six-camera system,\n"
    "--dev 255|lpc|1|2 chooses the controller (default 255, the LPC4320 controller).\n";

// Largest file sim load reads: far above any record a controller holds.
constexpr size_t max_record_file = 16u << 20;

std::string join(const std::vector<std::string> &names, const char *between) {
    std::string text;
    for (const auto &name : names) text += (text.empty() ? "" : between) + name;
    return text;
}

std::vector<std::string> record_names() {
    std::vector<std::string> names;
    for (const auto &r : records) names.push_back(r.name);
    return names;
}

// The record list of sim dump and sim load: each description beside its
// name, wrapped to 80 columns under itself.
std::string records_help() {
    size_t width = 0;
    for (const auto &r : records) width = std::max(width, std::strlen(r.name));
    const size_t indent = 2 + width + 2, columns = 80;
    std::string text = "Records:\n";
    for (const auto &r : records) {
        std::string line = "  " + std::string(r.name) + std::string(indent - 2 - std::strlen(r.name), ' ');
        size_t used = line.size();
        std::istringstream words(r.what);
        std::string word;
        bool first = true;
        while (words >> word) {
            if (!first && used + 1 + word.size() > columns) {
                line += "\n" + std::string(indent, ' ');
                used = indent;
            } else if (!first) {
                line += ' ';
                ++used;
            }
            line += word;
            used += word.size();
            first = false;
        }
        text += line + "\n";
    }
    return text + records_footer;
}

std::string sim_reason() {
    const char *why = ryn_sim_last_error();
    return why && *why ? why : "no reason given";
}

std::vector<uint8_t> get_record(const std::string &name) {
    std::vector<uint8_t> bytes(65536);
    size_t size = 0;
    if (!ryn_sim_get_record(name.c_str(), bytes.data(), bytes.size(), &size))
        throw Failure("cannot read record '" + name + "': " + sim_reason());
    if (size > bytes.size()) {
        bytes.resize(size);
        if (!ryn_sim_get_record(name.c_str(), bytes.data(), bytes.size(), &size) || size > bytes.size())
            throw Failure("cannot read record '" + name + "': " + sim_reason());
    }
    bytes.resize(size);
    return bytes;
}

// sim create --------------------------------------------------------------

struct CreateOptions {
    std::string state;
    std::string family;
    bool force = false;
    nlohmann::json device = nlohmann::json::object();  // record versions, version strings, mode
};

int sim_create(const CreateOptions &options, const GlobalOptions &) {
    std::error_code ec;
    if (std::filesystem::exists(options.state, ec) && !options.force)
        throw Failure("'" + options.state + "' already exists; add --force to replace the device kept there");
    check_output_file(options.state, "state file");
    const std::string device = options.device.dump();
    if (ryn_sim_create(options.family.c_str(), device.c_str()) == RYN_INVALID_HANDLE)
        throw Failure("cannot create a " + options.family + " controller: " + sim_reason());
    save_device(options.state);
    std::printf("Created a simulated %s controller in %s.\n", options.family.c_str(), options.state.c_str());
    return exit_success;
}

// Checks the options given against what the family takes (usage errors).
void check_family_options(const CreateOptions &o) {
    const FamilyOptions *f = nullptr;
    for (const auto &candidate : family_options)
        if (o.family == candidate.family) f = &candidate;
    if (!f) return;  // --family itself is checked by its validator
    const struct {
        const char *flag, *key;
        const std::optional<Range> &range;
    } numbers[] = {{"--cali-version", "cali_version", f->cali_version},
                   {"--model-version", "model_version", f->model_version},
                   {"--algo-version", "algo_version", f->algo_version}};
    for (const auto &n : numbers) {
        if (!o.device.contains(n.key)) continue;
        const uint64_t v = o.device[n.key].get<uint64_t>();
        if (!n.range)
            throw CLI::ValidationError(n.flag, "the " + o.family + " family takes no " + n.flag);
        if (v < n.range->min || v > n.range->max) {
            char text[96];
            std::snprintf(text, sizeof text, "0x%llx is outside 0x%llx..0x%llx for the %s family",
                          static_cast<unsigned long long>(v),
                          static_cast<unsigned long long>(n.range->min),
                          static_cast<unsigned long long>(n.range->max), o.family.c_str());
            throw CLI::ValidationError(n.flag, text);
        }
    }
    if (f->flash) {
        for (const char *key : {"bootldr_version", "normal_version", "updater_version"})
            if (o.device.contains(key))
                throw CLI::ValidationError("--family", "the " + o.family + " family takes no version strings yet");
        if (o.device.contains("fw_mode") && o.device["fw_mode"] != "flash" && o.device["fw_mode"] != "maskrom")
            throw CLI::ValidationError("--fw-mode", "a 5810 controller runs in flash or maskrom mode");
        if (o.family == "6cam" && o.device.contains("fw_mode"))
            throw CLI::ValidationError("--fw-mode", "the six-camera system's 5810 devices take no --fw-mode");
    } else {
        for (const char *key : {"flash_id", "flash_driver"})
            if (o.device.contains(key))
                throw CLI::ValidationError("--family", "the " + o.family + " family has no serial flash");
        if (!f->firmware)
            for (const char *key : {"fw_mode", "bootldr_version", "normal_version", "updater_version"})
                if (o.device.contains(key))
                    throw CLI::ValidationError("--family", "the " + o.family +
                                                               " family takes no firmware mode or version strings yet");
    }
    if (f->firmware && o.device.contains("fw_mode") && o.device["fw_mode"] != "normal" &&
        o.device["fw_mode"] != "update" && o.device["fw_mode"] != "flashbuilder")
        throw CLI::ValidationError("--fw-mode", "a base controller runs in normal, update or flashbuilder mode");
}

void add_create(CLI::App &sim, Context &ctx) {
    auto o = std::make_shared<CreateOptions>();
    CLI::App *cmd = sim.add_subcommand("create", "Create a simulated controller and keep it in a state file");
    cmd->add_option("STATE", o->state, "State file (JSON) to create")->required();
    cmd->add_option("--family", o->family, "Controller family")
        ->required()
        ->check(name_in("family", families))
        ->type_name(join(families, "|"));
    cmd->add_flag("--force", o->force, "Replace the device in an existing STATE file");

    auto number = [&](const char *flag, const char *key, uint64_t min, uint64_t max, const char *help) {
        cmd->add_option_function<uint32_t>(flag, [o, key](const uint32_t &v) { o->device[key] = v; }, help)
            ->check(number_in(min, max))
            ->type_name("N");
    };
    auto text = [&](const char *flag, const char *key, const char *help) {
        return cmd->add_option_function<std::string>(flag, [o, key](const std::string &v) { o->device[key] = v; },
                                                     help)
            ->type_name("V");
    };
    number("--cali-version", "cali_version", 0, 0xFF,
           "Calibration record version: 9 or 10 (base), 0 to 255 (default 1, other families)");
    number("--model-version", "model_version", 0, 0xFFFF,
           "Model configuration record version: 0x100 to 0x103 (base); the version the record "
           "reports, default 0x200 (0x300 on a 5920), other families");
    number("--algo-version", "algo_version", 0, 0xFFFF,
           "Algorithm parameter block version: 0x102 to 0x104 (base, with --model-version 0x102); "
           "default 0x101 (5810, 6cam)");
    text("--fw-mode", "fw_mode", "Firmware mode the device runs in: normal, update or flashbuilder (base); "
                                 "flash or maskrom (5810)")
        ->check(name_in("firmware mode", {"normal", "update", "flashbuilder", "flash", "maskrom"}))
        ->type_name("MODE");
    number("--flash-id", "flash_id", 0, 0xFFFFFFFF,
           "ID the serial flash reports (5810, 6cam; default 0xEF4015)");
    cmd->add_flag_callback("--flash-driver", [o] { o->device["flash_driver"] = true; },
                           "The serial flash needs an extended flash driver (5810, 6cam)");
    text("--bootldr-version", "bootldr_version", "Boot loader version string, such as 1.0.0312.1 (at most 59 characters; base)");
    text("--normal-version", "normal_version", "Normal-code version string (base)");
    text("--updater-version", "updater_version", "Updater version string (base)");
    text("--serial", "serial_num",
         "Serial number in the model configuration, 1 to 19 characters (every family; base: "
         "--model-version 0x101 up; 6cam: each of its three controllers)")
        ->type_name("S");
    cmd->footer("Options left out take the simulator's defaults. A six-camera system (6cam)\n"
                "holds its LPC4320 controller (device 255) and two 5810 devices (1 and 2);\n"
                "the record versions apply to all three.\n\n"
                "Examples:\n"
                "  ryn sim create dev.json --family base\n"
                "  ryn sim create dev.json --family base --cali-version 9 --normal-version 2.1.0.7 --force\n"
                "  ryn sim create six.json --family 6cam --algo-version 0x100\n"
                "  ryn sim create other.json --family 5920 --serial SN-0042\n"
                "  ryn sim create c5810.json --family 5810 --fw-mode maskrom --flash-id 0xC22016 --flash-driver\n"
                "  ryn --sim dev.json info versions versions.ini");
    cmd->callback([&ctx, o] {
        check_family_options(*o);
        ctx.action = [&ctx, o] { return sim_create(*o, ctx.global); };
    });
}

// sim dump / sim load -----------------------------------------------------

struct RecordOptions {
    std::string state;
    std::string record;
    std::string file;
    std::string dev;  // six-camera device: 255, 1, 2 or empty
};

// The simulator's name of the record: on a six-camera system the device id
// comes first ("1/cali"); --dev on any other device is a failure.
std::string record_name(const RecordOptions &options) {
    const char *family = ryn_sim_family();
    const std::string held = family ? family : "";
    if (held == "6cam") return (options.dev.empty() ? "255" : options.dev) + "/" + options.record;
    if (!options.dev.empty())
        throw Failure("--dev chooses a controller of a six-camera system, but '" + options.state + "' holds a " +
                      held + " controller");
    return options.record;
}

int sim_dump(const RecordOptions &options, const GlobalOptions &) {
    load_device(options.state);
    const std::string name = record_name(options);
    const std::vector<uint8_t> bytes = get_record(name);
    write_file(options.file, "output file", bytes);
    std::printf("Wrote record %s (%zu bytes) to %s.\n", name.c_str(), bytes.size(), options.file.c_str());
    return exit_success;
}

int sim_load(const RecordOptions &options, const GlobalOptions &) {
    const std::vector<uint8_t> bytes = read_file(options.file, "record file", max_record_file);
    load_device(options.state);
    const std::string name = record_name(options);
    const size_t current = get_record(name).size();
    if (!ryn_sim_set_record(name.c_str(), bytes.data(), bytes.size())) {
        throw Failure("'" + options.file + "' holds " + std::to_string(bytes.size()) + " bytes, but record " +
                      name + " of this device takes " + std::to_string(current) +
                      " (simulator: " + sim_reason() + "); give a file dumped from such a record");
    }
    save_device(options.state);
    std::printf("Loaded record %s (%zu bytes) from %s.\n", name.c_str(), bytes.size(), options.file.c_str());
    return exit_success;
}

void add_dump_load(CLI::App &sim, Context &ctx) {
    const CLI::Validator record = name_in("record", record_names());

    auto dump = std::make_shared<RecordOptions>();
    CLI::App *cmd = sim.add_subcommand("dump", "Write the raw bytes of one of the device's records to a file");
    cmd->add_option("STATE", dump->state, "State file of the simulated device")->required();
    cmd->add_option("RECORD", dump->record, "Record to dump (below)")->required()->check(record);
    cmd->add_option("-o,--output", dump->file, "File to write")->required();
    cmd->add_option("--dev", dump->dev, "Six-camera system: the controller, 255 or lpc (default), 1 or 2, as --6cam-dev names it")
        ->transform(six_cam_device())
        ->type_name("255|lpc|1|2");
    cmd->footer(records_help() + "\nExamples:\n  ryn sim dump dev.json cali -o cali.bin\n"
                                 "  ryn sim dump six.json model-cfg --dev 1 -o model1.bin");
    on_run(*cmd, ctx, dump, &sim_dump);

    auto load = std::make_shared<RecordOptions>();
    cmd = sim.add_subcommand("load", "Replace one of the device's records with the raw bytes of a file");
    cmd->add_option("STATE", load->state, "State file of the simulated device")->required();
    cmd->add_option("RECORD", load->record, "Record to replace (below)")->required()->check(record);
    cmd->add_option("FILE", load->file, "File with the record's bytes, as sim dump writes them")->required();
    cmd->add_option("--dev", load->dev, "Six-camera system: the controller, 255 or lpc (default), 1 or 2, as --6cam-dev names it")
        ->transform(six_cam_device())
        ->type_name("255|lpc|1|2");
    cmd->footer(records_help() +
                "\nThe file must have a size the record takes; otherwise nothing changes.\n\n"
                "Example:\n  ryn sim load dev.json cali cali.bin");
    on_run(*cmd, ctx, load, &sim_load);
}

// sim fail ----------------------------------------------------------------

struct FailOptions {
    std::string state;
    std::string operation;
    uint32_t call = 1;
    uint32_t times = 0;
    bool clear = false;
};

int sim_fail(const FailOptions &options, const GlobalOptions &) {
    load_device(options.state);
    if (options.clear) {
        ryn_sim_clear_faults();
    } else if (!ryn_sim_fail(options.operation.c_str(), options.call, options.times)) {
        print_error("cannot make " + options.operation + " fail: " + sim_reason() +
                    "; name a function of the device library (ryn_get_fw_ver_str, ...) or reset");
        return exit_usage;
    }
    save_device(options.state);
    const char *op = options.operation.c_str();
    if (options.clear)
        std::printf("Cleared the faults of %s.\n", options.state.c_str());
    else if (options.times == 0)
        std::printf("%s fails from call %u on, in every run, until the faults are cleared.\n", op, options.call);
    else
        std::printf("%s fails at calls %u to %llu of every run, until the faults are cleared.\n", op, options.call,
                    static_cast<unsigned long long>(options.call) + options.times - 1);
    return exit_success;
}

// sim corrupt ---------------------------------------------------------------

struct CorruptOptions {
    std::string state;
    std::string operation;
    uint32_t call = 1;
    uint32_t times = 0;
    uint32_t offset = 0;
    uint32_t count = 1;
};

int sim_corrupt(const CorruptOptions &options, const GlobalOptions &) {
    load_device(options.state);
    if (!ryn_sim_corrupt(options.operation.c_str(), options.call, options.times, options.offset,
                         options.count)) {
        print_error("cannot corrupt " + options.operation + ": " + sim_reason() +
                    "; name a function of the device library that hands back data");
        return exit_usage;
    }
    save_device(options.state);
    std::printf("%s hands back bytes %u to %llu inverted, until the faults are cleared.\n",
                options.operation.c_str(), options.offset,
                static_cast<unsigned long long>(options.offset) + options.count - 1);
    return exit_success;
}

void add_corrupt(CLI::App &sim, Context &ctx) {
    auto o = std::make_shared<CorruptOptions>();
    CLI::App *cmd = sim.add_subcommand(
        "corrupt", "Make an operation of the simulated device hand back corrupted data");
    cmd->add_option("STATE", o->state, "State file of the simulated device")->required();
    cmd->add_option("OPERATION", o->operation, "Operation whose data is corrupted")->required();
    cmd->add_option("--call", o->call, "First corrupted call, counted from 1 in each ryn run (default 1)")
        ->check(number_in(1, UINT32_MAX))
        ->type_name("N");
    cmd->add_option("--times", o->times, "Number of corrupted calls; 0 (default) every call from --call on")
        ->check(number_in(0, UINT32_MAX))
        ->type_name("K");
    cmd->add_option("--offset", o->offset, "First inverted byte of the data (default 0)")
        ->check(number_in(0, UINT32_MAX))
        ->type_name("O");
    cmd->add_option("--count", o->count, "Number of inverted bytes (default 1)")
        ->check(number_in(1, UINT32_MAX))
        ->type_name("C");
    cmd->footer("The chosen calls succeed, but the bytes they hand back from --offset on\n"
                "are inverted. The fault stays in the state file until sim fail STATE --clear.\n\n"
                "Example:\n"
                "  ryn sim corrupt dev.json ryn_get_data --offset 16   a read-back verify fails");
    on_run(*cmd, ctx, o, &sim_corrupt);
}

void add_fail(CLI::App &sim, Context &ctx) {
    auto o = std::make_shared<FailOptions>();
    CLI::App *cmd = sim.add_subcommand("fail", "Make an operation of the simulated device fail, or clear the faults");
    cmd->add_option("STATE", o->state, "State file of the simulated device")->required();
    CLI::Option *operation =
        cmd->add_option("OPERATION", o->operation, "Operation to fail (below)");
    CLI::Option *call =
        cmd->add_option("--call", o->call, "First failing call, counted from 1 in each ryn run (default 1)")
            ->check(number_in(1, UINT32_MAX))
            ->type_name("N");
    CLI::Option *times =
        cmd->add_option("--times", o->times, "Number of failing calls; 0 (default) fails every call from --call on")
            ->check(number_in(0, UINT32_MAX))
            ->type_name("K");
    cmd->add_flag("--clear", o->clear, "Remove every fault")->excludes(operation)->excludes(call)->excludes(times);
    cmd->footer("OPERATION is a function of the device library (ryn_get_fw_ver_str,\n"
                "ryn_set_normal_code, ryn_get_fw_hdr, ...), a record reader or writer it\n"
                "hands out (cali_info_reader, cali_info_writer, model_cfg_reader,\n"
                "model_cfg_writer), or reset (the reset returns an invalid handle).\n"
                "The chosen calls return 0 (or null).\n\n"
                "The fault stays in the state file, and so in every later run, until\n"
                "sim fail STATE --clear.\n\n"
                "Examples:\n"
                "  ryn sim fail dev.json ryn_get_fw_ver_str             every call fails\n"
                "  ryn sim fail dev.json ryn_set_normal_code --call 2 --times 1\n"
                "  ryn sim fail dev.json reset                          resets give an invalid handle\n"
                "  ryn sim fail dev.json --clear");
    cmd->callback([&ctx, o] {
        if (!o->clear && o->operation.empty()) throw CLI::RequiredError("OPERATION (or --clear)");
        ctx.action = [&ctx, o] { return sim_fail(*o, ctx.global); };
    });
}

// sim stall ---------------------------------------------------------------

struct StallOptions {
    std::string state;
    std::string operation;
    uint32_t call = 1;
};

int sim_stall(const StallOptions &options, const GlobalOptions &) {
    load_device(options.state);
    if (!ryn_sim_stall(options.operation.c_str(), options.call)) {
        print_error("cannot stall " + options.operation + ": " + sim_reason() +
                    "; name a polled operation (ryn_get_reg, ryn_get_dev_ctrl)");
        return exit_usage;
    }
    save_device(options.state);
    std::printf("%s never reports done from call %u on, until the faults are cleared.\n",
                options.operation.c_str(), options.call);
    return exit_success;
}

void add_stall(CLI::App &sim, Context &ctx) {
    auto o = std::make_shared<StallOptions>();
    CLI::App *cmd = sim.add_subcommand("stall", "Make a polled operation of the simulated device never report done");
    cmd->add_option("STATE", o->state, "State file of the simulated device")->required();
    cmd->add_option("OPERATION", o->operation, "Polled operation (below)")->required();
    cmd->add_option("--call", o->call, "First stalled call, counted from 1 in each ryn run (default 1)")
        ->check(number_in(1, UINT32_MAX))
        ->type_name("N");
    cmd->footer("ryn_get_reg: a 5810's serial flash never finishes reading its ID.\n"
                "ryn_get_dev_ctrl: a six-camera 5810's download kit never reports its end.\n"
                "The stall stays in the state file until sim fail STATE --clear.\n\n"
                "Example:\n  ryn sim stall c5810.json ryn_get_reg");
    on_run(*cmd, ctx, o, &sim_stall);
}

// sim trace ---------------------------------------------------------------

struct TraceOptions {
    std::string state;
    bool json = false;
};

// Prints the trace the state file keeps: the device calls of the last run
// that used the device, one "name(args) = result [reason]" per line, or as a
// JSON array of {"op": ..., "text": ...}. The state file is left as it is.
int sim_trace(const TraceOptions &given, const GlobalOptions &global) {
    // STATE may come as the positional, or as --sim like every other command
    // takes it, or not at all (the default device).
    if (!given.state.empty() && !global.sim.empty() && given.state != global.sim)
        throw UsageError("two state files given: '" + given.state + "' and --sim '" + global.sim + "'");
    TraceOptions options = given;
    if (options.state.empty()) options.state = global.sim.empty() ? default_state_path() : global.sim;
    load_device(options.state);
    const size_t calls = ryn_sim_saved_trace_size();
    if (options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (size_t i = 0; i < calls; ++i)
            list.push_back({{"op", ryn_sim_saved_trace_op(i)}, {"text", ryn_sim_saved_trace_text(i)}});
        std::printf("%s\n", list.dump(1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return exit_success;
    }
    for (size_t i = 0; i < calls; ++i) std::printf("%s\n", ryn_sim_saved_trace_text(i));
    if (calls == 0) print_error("no device calls recorded in '" + options.state + "'");
    return exit_success;
}

void add_trace(CLI::App &sim, Context &ctx) {
    auto o = std::make_shared<TraceOptions>();
    CLI::App *cmd = sim.add_subcommand("trace", "Show the device calls of the last run on a state file");
    cmd->add_option("STATE", o->state, "State file of the simulated device (or --sim STATE; default: the default device)");
    cmd->add_flag("--json", o->json, "Print a JSON array of {\"op\": ..., \"text\": ...} objects");
    cmd->footer("Every run of a library operation (info, cali, fw) keeps the calls it made\n"
                "to the device in the state file, in order, one per line:\n"
                "  name(args) = result [reason]\n"
                "Handles show as h<N>, buffers as buf or null; a failed call ends with its\n"
                "reason in brackets ([fault], [stale handle], ...), a device reset is the\n"
                "pseudo operation reset. sim create starts with no calls, the other sim\n"
                "commands leave the trace as it was; a state file from before traces\n"
                "were kept shows none.\n\n"
                "Examples:\n"
                "  ryn --sim dev.json cali get cali.ini\n"
                "  ryn sim trace dev.json\n"
                "  ryn --sim dev.json sim trace --json");
    on_run(*cmd, ctx, o, &sim_trace);
}

}  // namespace

void add_sim_commands(CLI::App &app, Context &ctx) {
    CLI::App *sim = app.add_subcommand("sim", "Create, inspect and break the simulated controller");
    sim->require_subcommand(1);
    sim->footer("A simulated controller lives in a JSON state file; every ryn run loads it\n"
                "and saves it back, with the device calls it made (sim trace).\n"
                "Device commands (device, info, cali, fw) use it with --sim STATE.");
    add_create(*sim, ctx);
    add_dump_load(*sim, ctx);
    add_fail(*sim, ctx);
    add_stall(*sim, ctx);
    add_corrupt(*sim, ctx);
    add_trace(*sim, ctx);
}

}  // namespace ryn::cli
