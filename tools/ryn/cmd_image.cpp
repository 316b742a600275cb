// ryn image: build firmware images for testing and check them without a
// device. Each format is one entry of the table of image_formats.h: its
// builder, the library's own validation and the reading of its header.
#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "host_os.h"
#include "files.h"
#include <nlohmann/json.hpp>

#include "fwupdate/base/image.h"
#include "tools/image_builder/image_builder.h"
#include "host.h"
#include "image_formats.h"
#include "report.h"
#include "text/text.h"

namespace ryn::cli {

namespace {

using fwupdate::Bytes;

// Largest section file the builder reads.
constexpr size_t max_section_file = 16u << 20;

// What image build takes: the three version texts and a file per section
// (a section without a file gets generated contents).
struct BuildOptions {
    std::string format;
    std::string output;
    std::optional<std::string> bootldr_version, normal_version, updater_version;
    std::map<std::string, std::string> section_files;  // section option -> file
    std::optional<std::string> header_version;         // LPC4320: 1.0 or 1.1
};

// The build options given, each once, by name.
std::vector<std::string> given_options(const BuildOptions &o) {
    std::vector<std::string> given;
    if (o.bootldr_version) given.push_back("--bootldr-version");
    if (o.normal_version) given.push_back("--normal-version");
    if (o.updater_version) given.push_back("--updater-version");
    for (const auto &[option, file] : o.section_files) given.push_back(option);
    if (o.header_version) given.push_back("--header-version");
    return given;
}

// An option the format has no place for is a usage error.
void check_build_options(const BuildOptions &o, const ImageFormat &format) {
    const std::string takes = std::string(" ") + format.options + " ";
    for (const std::string &option : given_options(o))
        if (takes.find(" " + option + " ") == std::string::npos)
            throw UsageError(option + " does not belong to the " + format.name + " format (it takes " +
                             std::string(format.options) + ")");
}

// The builder's parts from the options: texts as given, sections read from their files.
fwupdate::ImageParts parts_of(const BuildOptions &o) {
    fwupdate::ImageParts parts;
    if (o.bootldr_version) parts.bootldr_version = text::from_utf8(*o.bootldr_version);
    if (o.normal_version) parts.normal_version = text::from_utf8(*o.normal_version);
    if (o.updater_version) parts.updater_version = text::from_utf8(*o.updater_version);
    if (o.header_version) parts.header_minor = *o.header_version == "1.0" ? 0 : 1;
    const std::pair<const char *, std::optional<Bytes> fwupdate::ImageParts::*> sections[] = {
        {"--normal-code", &fwupdate::ImageParts::normal_code},
        {"--update-code", &fwupdate::ImageParts::update_code},
        {"--boot-loader", &fwupdate::ImageParts::boot_loader},
        {"--calibration", &fwupdate::ImageParts::calibration},
        {"--model-config", &fwupdate::ImageParts::model_config},
    };
    for (const auto &[option, member] : sections) {
        const auto file = o.section_files.find(option);
        if (file == o.section_files.end()) continue;
        Bytes bytes =
            read_file(file->second, std::string("section file of ") + option, max_section_file);
        if (bytes.empty())
            throw Failure(std::string("the file of ") + option + " ('" + file->second +
                          "') is empty");
        parts.*member = std::move(bytes);
    }
    return parts;
}

int image_build(const BuildOptions &options, const GlobalOptions &) {
    const ImageFormat &format = format_by_name(options.format);
    check_build_options(options, format);
    check_output_file(options.output, "image file");
    Bytes image;
    try {
        image = format.build(parts_of(options));
    } catch (const fwupdate::BuildError &e) {
        throw Failure(std::string("cannot build the image: ") + e.what());
    }
    write_file(options.output, "image file", image);
    std::printf("Wrote %s %s image of %zu bytes to %s.\n", format_by_name(options.format).article,
                options.format.c_str(), image.size(), options.output.c_str());
    return exit_success;
}

struct InspectOptions {
    std::string image;
    std::string format;  // empty: recognised from the image
    bool json = false;
};

// The format given, or the one the image's magic or header words show.
const ImageFormat &inspected_format(const InspectOptions &options, const Bytes &image) {
    if (!options.format.empty()) return format_by_name(options.format);
    const std::vector<const ImageFormat *> found = recognise_image(options.image, image);
    if (found.size() == 1) return *found.front();
    if (found.empty())
        throw Failure("the format of '" + options.image + "' is not recognised: it carries no magic of a 5810, " +
                      "5920 or lpc4320 image and does not validate as a base image or a flash builder file; " +
                      "give --format " + format_names("|") + " to see what fails");
    std::string names;
    for (const ImageFormat *f : found) names += (names.empty() ? "" : ", ") + std::string(f->name);
    throw UsageError("'" + options.image + "' fits more than one format (" + names +
                     "); choose one with --format");
}

std::string hex(uint64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%08llx", static_cast<unsigned long long>(value));
    return buf;
}

nlohmann::json report_json(const InspectOptions &options, const ImageFormat &format, const Bytes &image,
                           const ImageReport &report, bool valid, const std::vector<std::string> &messages) {
    nlohmann::json header = nlohmann::json::object();
    for (const auto &[name, value] : report.header) header[json_key(name)] = value;
    nlohmann::json sections = nlohmann::json::array();
    for (const SectionReport &s : report.sections) {
        nlohmann::json one = {{"name", s.name}, {"offset", s.offset}, {"length", s.length}, {"inside", s.inside}};
        if (s.has_crc) {
            one["crc_stored"] = s.crc_stored;
            one["crc_computed"] = s.inside ? nlohmann::json(s.crc_computed) : nlohmann::json(nullptr);
            one["crc_ok"] = s.inside && s.crc_stored == s.crc_computed;
        }
        sections.push_back(one);
    }
    nlohmann::json versions = nlohmann::json::object();
    for (const auto &[name, text] : report.versions) versions[json_key(name)] = text;
    return {{"file", options.image},
            {"format", format.name},
            {"recognised", options.format.empty()},
            {"size", image.size()},
            {"header", header},
            {"sections", sections},
            {"versions", versions},
            {"valid", valid},
            {"messages", messages}};
}

int image_inspect(const InspectOptions &options, const GlobalOptions &global) {
    const Bytes image = read_file(options.image, "image", max_image_file);
    const ImageFormat &format = inspected_format(options, image);
    std::unique_ptr<fwupdate::ImageFile> file = fwupdate::ImageFile::open(os::library_path(options.image));
    if (!file) throw Failure("cannot open the image '" + options.image + "'");
    if (options.format.empty() && !options.json)
        std::printf("%s: recognised as %s %s image.\n", options.image.c_str(), format.article, format.name);

    // The library's validation, with its header dumps and first failing check.
    std::vector<std::string> messages;
    Host host(false);
    host.set_output(global.quiet, global.verbose);
    if (options.json) host.collect_messages(&messages);
    fw_update_arg arg{};
    arg.handle = RYN_INVALID_HANDLE;
    arg.user_data = host.user_data();
    arg.msg_fn = &Host::on_message;
    const bool valid = format.validate(arg, *file) == 1;
    host.finish();

    const ImageReport report = describe_image(format, image);
    if (options.json) {
        print_json(report_json(options, format, image, report, valid, messages));
    } else {
        for (const auto &[name, text] : report.versions) std::printf("%s: %s\n", name.c_str(), text.c_str());
        for (const SectionReport &s : report.sections) {
            std::printf("section %-18s offset %s length %s", s.name.c_str(), hex(s.offset).c_str(),
                        hex(s.length).c_str());
            if (!s.inside) std::printf("  outside the file");
            else if (s.has_crc)
                std::printf("  crc %s %s %s", hex(s.crc_stored).c_str(), s.crc_stored == s.crc_computed ? "==" : "!=",
                            hex(s.crc_computed).c_str());
            std::printf("\n");
        }
    }
    if (!valid) {
        print_error("'" + options.image + "' is not a valid " + format.name + " image");
        return exit_failure;
    }
    if (!options.json) std::printf("%s: a valid %s image.\n", options.image.c_str(), format.name);
    return exit_success;
}

std::string formats_help() {
    std::string text = "Formats:\n";
    for (const ImageFormat &f : image_formats())
        text += "  " + std::string(f.name) + std::string(15 - std::string(f.name).size(), ' ') + f.what + "\n";
    return text;
}

// The build options of each format, for image build's help.
std::string build_options_help() {
    std::string text = "\nOptions each format takes (others are a usage error):\n";
    for (const ImageFormat &f : image_formats()) {
        std::string line = "  " + std::string(f.name) + std::string(15 - std::string(f.name).size(), ' ');
        const size_t indent = line.size();
        bool first = true;
        std::istringstream words(f.options);
        for (std::string word; words >> word; first = false) {
            if (!first && line.size() + 1 + word.size() > 78) {
                text += line + "\n";
                line = std::string(indent, ' ');
                first = true;
            }
            line += (first ? "" : " ") + word;
        }
        text += line + "\n";
    }
    return text;
}

std::vector<std::string> all_format_names() {
    std::vector<std::string> names;
    for (const ImageFormat &f : image_formats()) names.push_back(f.name);
    return names;
}

}  // namespace

void add_image_commands(CLI::App &app, Context &ctx) {
    CLI::App *image =
        app.add_subcommand("image", "Build firmware images, and check them without a device");
    image->require_subcommand(1);
    const CLI::Validator format = name_in("format", all_format_names());
    const std::string format_type = format_names("|");

    auto b = std::make_shared<BuildOptions>();
    CLI::App *cmd = image->add_subcommand(
        "build", "Build a firmware image from section files and version texts");
    cmd->add_option("--format", b->format, "Image format (below)")
        ->required()
        ->check(format)
        ->type_name(format_type);
    cmd->add_option("-o,--output", b->output, "Image file to write")->required();
    cmd->add_option("--bootldr-version", b->bootldr_version,
                    "Boot loader version text (default 1.0.0312.1)")
        ->type_name("V");
    cmd->add_option("--normal-version", b->normal_version,
                    "Normal-code version text (default 2.3.1400.1)")
        ->type_name("V");
    cmd->add_option("--updater-version", b->updater_version,
                    "Updater version text (default 2.3.1311.2)")
        ->type_name("V");
    for (const char *section :
         {"--normal-code", "--update-code", "--boot-loader", "--calibration", "--model-config"})
        cmd->add_option_function<std::string>(
               section, [b, section](const std::string &file) { b->section_files[section] = file; },
               std::string("File with the section's bytes (default: generated)"))
            ->type_name("FILE");
    cmd->add_option("--header-version", b->header_version,
                    "LPC4320 image: header version (default 1.1)")
        ->check(name_in("header version", {"1.0", "1.1"}))
        ->type_name("1.0|1.1");
    cmd->footer(formats_help() + build_options_help() +
                "\nA base image places the normal code at offset 0 and the layout sections\n"
                "(fw header copy, version string, model config, calibration, update code,\n"
                "boot loader) from flash address 0x20000 on. A flash builder file holds\n"
                "the flash builder code (--normal-code) and its version record. A 5810\n"
                "image holds the firmware (--normal-code) around its header at 0x1000,\n"
                "then the model config and the calibration. A 5920 image cuts\n"
                "--normal-code into 24576-byte code banks (three generated banks by\n"
                "default). An lpc4320 image takes the firmware code (--normal-code) and\n"
                "the flash firmware (--update-code).\n\n"
                "Examples:\n"
                "  ryn image build --format base -o fw.bin --normal-version 2.3.1400.1\n"
                "  ryn image build --format flash-builder -o fb.bin\n"
                "  ryn image build --format 5810 -o fw5810.bin\n"
                "  ryn image build --format lpc4320 --header-version 1.0 -o lpc.bin");
    on_run(*cmd, ctx, b, &image_build);

    auto i = std::make_shared<InspectOptions>();
    cmd = image->add_subcommand("inspect", "Recognise and validate an image as an update would, without a device");
    cmd->add_option("IMAGE", i->image, "Image file")->required();
    cmd->add_option("--format", i->format, "Image format (below; default: recognised from the image)")
        ->check(format)
        ->type_name(format_type);
    cmd->add_flag("--json", i->json, "Print one JSON object (header, sections, versions, verdict)");
    cmd->footer(formats_help() +
                "\nWithout --format the format is recognised from the image: the 5810, 5920\n"
                "and lpc4320 formats by their magic, a base image and a flash builder file\n"
                "by their header's sections and CRCs. An image that fits more than one\n"
                "format is refused with the candidates (exit status 2).\n"
                "\n"
                "Prints the header dumps and the first failing check, as ryn fw update\n"
                "would before it touches the device, then the version texts or header\n"
                "version the image carries and each section with its offset, length and\n"
                "CRCs (stored, computed). Exit status 1 when a check fails. An lpc4320\n"
                "image is checked for the mode its header version allows (1.1: normal,\n"
                "1.0: layout).\n"
                "\n"
                "--json prints one object: file, format, recognised (true when the format\n"
                "was recognised, not given), size, header (field name in lower case with\n"
                "\"_\" between words: value), sections\n"
                "(name, offset, length, inside, and where the format keeps one crc_stored,\n"
                "crc_computed, crc_ok), versions (bootldr, normal, updater, or\n"
                "header_version), valid, and messages (the\n"
                "library's messages, in order).\n\n"
                "Examples:\n  ryn image inspect fw.bin\n  ryn image inspect fw.bin --format base --json");
    on_run(*cmd, ctx, i, &image_inspect);
}

}  // namespace ryn::cli
