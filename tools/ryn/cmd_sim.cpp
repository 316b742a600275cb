// ryn sim: create, inspect and break the simulated controller.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli.h"
#include "device.h"
#include "files.h"
#include "sim/ryn_sim.h"

namespace ryn::cli {

namespace {

// Controller families the simulator builds.
const std::vector<std::string> families = {"base"};

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
    {"fw-header", "firmware header record (bit 0 of the word at offset 4: update mode)"},
};

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

std::string records_help() {
    std::string text = "Records:\n";
    for (const auto &r : records) text += "  " + std::string(r.name) + std::string(12 - std::strlen(r.name), ' ') + r.what + "\n";
    return text;
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
    number("--cali-version", "cali_version", 9, 10, "Calibration record version, 9 or 10");
    number("--model-version", "model_version", 0x100, 0x103, "Model configuration record version, 0x100 to 0x103");
    number("--algo-version", "algo_version", 0x102, 0x104, "Algorithm parameter block version, 0x102 to 0x104 (with --model-version 0x102)");
    text("--fw-mode", "fw_mode", "Firmware mode the device runs in")
        ->check(name_in("firmware mode", {"normal", "update", "flashbuilder"}))
        ->type_name("normal|update|flashbuilder");
    text("--bootldr-version", "bootldr_version", "Boot loader version string, such as 1.0.0312.1 (at most 59 characters)");
    text("--normal-version", "normal_version", "Normal-code version string");
    text("--updater-version", "updater_version", "Updater version string");
    cmd->footer("Options left out take the simulator's defaults.\n\n"
                "Examples:\n"
                "  ryn sim create dev.json --family base\n"
                "  ryn sim create dev.json --family base --cali-version 9 --normal-version 2.1.0.7 --force\n"
                "  ryn --sim dev.json info versions versions.ini");
    on_run(*cmd, ctx, o, &sim_create);
}

// sim dump / sim load -----------------------------------------------------

struct RecordOptions {
    std::string state;
    std::string record;
    std::string file;
};

int sim_dump(const RecordOptions &options, const GlobalOptions &) {
    load_device(options.state);
    const std::vector<uint8_t> bytes = get_record(options.record);
    write_file(options.file, "output file", bytes);
    std::printf("Wrote record %s (%zu bytes) to %s.\n", options.record.c_str(), bytes.size(), options.file.c_str());
    return exit_success;
}

int sim_load(const RecordOptions &options, const GlobalOptions &) {
    const std::vector<uint8_t> bytes = read_file(options.file, "record file", max_record_file);
    load_device(options.state);
    const size_t current = get_record(options.record).size();
    if (!ryn_sim_set_record(options.record.c_str(), bytes.data(), bytes.size())) {
        throw Failure("'" + options.file + "' holds " + std::to_string(bytes.size()) + " bytes, but record " +
                      options.record + " of this device takes " + std::to_string(current) +
                      " (simulator: " + sim_reason() + "); give a file dumped from such a record");
    }
    save_device(options.state);
    std::printf("Loaded record %s (%zu bytes) from %s.\n", options.record.c_str(), bytes.size(),
                options.file.c_str());
    return exit_success;
}

void add_dump_load(CLI::App &sim, Context &ctx) {
    const CLI::Validator record = name_in("record", record_names());

    auto dump = std::make_shared<RecordOptions>();
    CLI::App *cmd = sim.add_subcommand("dump", "Write the raw bytes of one of the device's records to a file");
    cmd->add_option("STATE", dump->state, "State file of the simulated device")->required();
    cmd->add_option("RECORD", dump->record, "Record to dump (below)")->required()->check(record);
    cmd->add_option("-o,--output", dump->file, "File to write")->required();
    cmd->footer(records_help() + "\nExample:\n  ryn sim dump dev.json cali -o cali.bin");
    on_run(*cmd, ctx, dump, &sim_dump);

    auto load = std::make_shared<RecordOptions>();
    cmd = sim.add_subcommand("load", "Replace one of the device's records with the raw bytes of a file");
    cmd->add_option("STATE", load->state, "State file of the simulated device")->required();
    cmd->add_option("RECORD", load->record, "Record to replace (below)")->required()->check(record);
    cmd->add_option("FILE", load->file, "File with the record's bytes, as sim dump writes them")->required();
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

}  // namespace

void add_sim_commands(CLI::App &app, Context &ctx) {
    CLI::App *sim = app.add_subcommand("sim", "Create, inspect and break the simulated controller");
    sim->require_subcommand(1);
    sim->footer("A simulated controller lives in a JSON state file; every ryn run loads it\n"
                "and saves it back. Device commands use it with --sim STATE.");
    add_create(*sim, ctx);
    add_dump_load(*sim, ctx);
    add_fail(*sim, ctx);
}

}  // namespace ryn::cli
