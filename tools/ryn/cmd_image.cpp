// ryn image: build firmware images for testing and check them without a
// device. Each format is one entry of a table: its builder and its inspector
// (the library's own validation code). Other families' formats join the table.
#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "files.h"
#include "fwupdate/banked/banked_image.h"
#include "fwupdate/base/image.h"
#include "fwupdate/build/image_builder.h"
#include "fwupdate/second/image_5810.h"
#include "fwupdate/sixcam/sixcam_4320_image.h"
#include "host.h"
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

// The builder's parts from the options: texts as given, sections read from their files.
fwupdate::ImageParts parts_of(const BuildOptions &o) {
    fwupdate::ImageParts parts;
    if (o.bootldr_version) parts.bootldr_version = text::from_utf8(*o.bootldr_version);
    if (o.normal_version) parts.normal_version = text::from_utf8(*o.normal_version);
    if (o.updater_version) parts.updater_version = text::from_utf8(*o.updater_version);
    if (o.header_version) {
        if (o.format != "lpc4320")
            throw Failure("--header-version belongs to the lpc4320 format only");
        parts.header_minor = *o.header_version == "1.0" ? 0 : 1;
    }
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

// Runs the library's validation of one format on an open file.
using Validator = int (*)(const fw_update_arg &, fwupdate::ImageFile &);

int validate_base(const fw_update_arg &arg, fwupdate::ImageFile &file) {
    auto image = std::make_unique<fwupdate::FwImage>();
    return fwupdate::read_base_image(arg, file, *image);
}

int validate_flash_builder(const fw_update_arg &arg, fwupdate::ImageFile &file) {
    auto image = std::make_unique<fwupdate::FwImage>();
    return fwupdate::read_flash_builder(arg, file, *image);
}

// The 5810 image as the second controller's update checks it.
int validate_5810(const fw_update_arg &arg, fwupdate::ImageFile &file) {
    std::vector<uint8_t> buffer(fwupdate::image_5810_buffer_size);
    uint32_t length = 0;
    return fwupdate::read_5810_image(arg, file, fwupdate::Image5810Policy::second, buffer, length);
}

// The banked and LPC4320 images are validated in an image buffer of their
// own; a banked image is checked as normal mode writes it (its code banks
// too), an LPC4320 image for the mode its header version allows (1.1:
// normal, 1.0: flash layout).
int validate_banked(const fw_update_arg &arg, fwupdate::ImageFile &file) {
    auto buffer = std::make_unique<fwupdate::ImageBuffer>();
    uint32_t length = 0;
    return fwupdate::read_banked_image(arg, file, *buffer, &length);
}

int validate_lpc4320(const fw_update_arg &arg, fwupdate::ImageFile &file) {
    using H10 = fwupdate::Lpc4320Header10;
    std::array<uint8_t, H10::size> header{};
    const bool v10 = file.read(header) == header.size() && H10::minor.get(header) == 0;
    auto buffer = std::make_unique<fwupdate::ImageBuffer>();
    uint32_t length = 0;
    return fwupdate::read_lpc4320_image(
        arg, file, v10 ? RYN_UPDATE_FLASH_LAYOUT : RYN_UPDATE_NORMAL, *buffer, &length);
}

struct ImageFormat {
    const char *name;
    const char *what;
    Bytes (*build)(const fwupdate::ImageParts &);
    Validator validate;
};
const ImageFormat formats[] = {
    {"base", "base controller image (header, extra header, seven sections)",
     fwupdate::build_base_image, validate_base},
    {"flash-builder", "flash builder file of a flash-layout update",
     fwupdate::build_flash_builder_file, validate_flash_builder},
    {"5810", "5810 controller image (firmware, header at 0x1000, model config, calibration)",
     fwupdate::build_5810_image, validate_5810},
    {"5920", "5920 banked image (header, code banks, model config, calibration)",
     fwupdate::build_banked_image, validate_banked},
    {"lpc4320", "six-camera LPC4320 image (header 1.0 or 1.1, firmware code, parts)",
     fwupdate::build_lpc4320_image, validate_lpc4320},
};

std::vector<std::string> format_names() {
    std::vector<std::string> names;
    for (const ImageFormat &f : formats) names.push_back(f.name);
    return names;
}

const ImageFormat &format_of(const std::string &name) {
    for (const ImageFormat &f : formats)
        if (name == f.name) return f;
    throw Failure("unknown image format '" + name + "'");
}

int image_build(const BuildOptions &options, const GlobalOptions &) {
    check_output_file(options.output, "image file");
    Bytes image;
    try {
        image = format_of(options.format).build(parts_of(options));
    } catch (const fwupdate::BuildError &e) {
        throw Failure(std::string("cannot build the image: ") + e.what());
    }
    write_file(options.output, "image file", image);
    std::printf("Wrote a %s image of %zu bytes to %s.\n", options.format.c_str(), image.size(),
                options.output.c_str());
    return exit_success;
}

struct InspectOptions {
    std::string image;
    std::string format;
};

int image_inspect(const InspectOptions &options, const GlobalOptions &) {
    check_input_file(options.image, "image");
    std::unique_ptr<fwupdate::ImageFile> file =
        fwupdate::ImageFile::open(text::from_utf8(options.image));
    if (!file) throw Failure("cannot open the image '" + options.image + "'");
    Host host(false);
    fw_update_arg arg{};
    arg.handle = RYN_INVALID_HANDLE;
    arg.user_data = host.user_data();
    arg.msg_fn = &Host::on_message;
    const int valid = format_of(options.format).validate(arg, *file);
    host.finish();
    if (!valid) {
        print_error("'" + options.image + "' is not a valid " + options.format + " image");
        return exit_failure;
    }
    std::printf("%s: a valid %s image.\n", options.image.c_str(), options.format.c_str());
    return exit_success;
}

std::string formats_help() {
    std::string text = "Formats:\n";
    for (const ImageFormat &f : formats)
        text += "  " + std::string(f.name) + std::string(15 - std::string(f.name).size(), ' ') +
                f.what + "\n";
    return text;
}

}  // namespace

void add_image_commands(CLI::App &app, Context &ctx) {
    CLI::App *image =
        app.add_subcommand("image", "Build firmware images, and check them without a device");
    image->require_subcommand(1);
    const CLI::Validator format = name_in("format", format_names());
    const std::string format_type = [] {
        std::string t;
        for (const ImageFormat &f : formats) t += (t.empty() ? "" : "|") + std::string(f.name);
        return t;
    }();

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
    cmd->footer(formats_help() +
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
    cmd =
        image->add_subcommand("inspect", "Validate an image as an update would, without a device");
    cmd->add_option("IMAGE", i->image, "Image file")->required();
    cmd->add_option("--format", i->format, "Image format (below)")
        ->required()
        ->check(format)
        ->type_name(format_type);
    cmd->footer(formats_help() +
                "\nPrints the header dumps and the first failing check, as ryn fw update\n"
                "would before it touches the device. Exit status 1 when a check fails.\n"
                "An lpc4320 image is checked for the mode its header version allows\n"
                "(1.1: normal, 1.0: layout).\n\n"
                "Example:\n  ryn image inspect fw.bin --format base");
    on_run(*cmd, ctx, i, &image_inspect);
}

}  // namespace ryn::cli
