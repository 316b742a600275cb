// ryn image: build firmware images for testing and check them without a
// device. Each format is one entry of a table: its builder and its inspector
// (the library's own validation code). Other families' formats join the table.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "files.h"
#include "fwupdate/base/image.h"
#include "host.h"
#include "ryn_hid.h"
#include "sim/ryn_sim.h"
#include "text/text.h"

namespace ryn::cli {

namespace {

using fwupdate::ImageHeader;
using VR = devinfo::VersionRecord;
using Bytes = std::vector<uint8_t>;

// Largest section file the builder reads.
constexpr size_t max_section_file = 16u << 20;

// What image build takes: the three version texts and a file per section
// (a section without a file gets generated contents).
struct BuildOptions {
    std::string format;
    std::string output;
    std::string bootldr_version = "1.0.0312.1";
    std::string normal_version = "2.3.1400.1";
    std::string updater_version = "2.3.1311.2";
    std::map<std::string, std::string> section_files;  // section option name -> file
};

// Deterministic filler: bytes that differ with the seed text.
Bytes generated(size_t size, const std::string &seed) {
    uint32_t x = 2166136261u;
    for (char c : seed) x = (x ^ static_cast<uint8_t>(c)) * 16777619u;
    Bytes out(size);
    for (uint8_t &b : out) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return out;
}

Bytes section_or_generated(const BuildOptions &o, const std::string &option, size_t size, const std::string &seed) {
    const auto file = o.section_files.find(option);
    if (file == o.section_files.end()) return generated(size, seed);
    Bytes bytes = read_file(file->second, "section file of " + option, max_section_file);
    if (bytes.empty()) throw Failure("the file of " + option + " ('" + file->second + "') is empty");
    return bytes;
}

void put_text(Bytes &record, const layout::Field &field, const std::string &utf8, const char *what) {
    const std::u16string text = text::from_utf8(utf8);
    if (text.size() + 1 > field.width / 2)
        throw Failure(std::string(what) + " '" + utf8 + "' is longer than 59 characters");
    for (size_t i = 0; i < text.size(); ++i) layout::Field{"", field.offset + 2 * i, 2}.put(record, text[i]);
}

// One version record (the version string section).
Bytes version_record(const BuildOptions &o) {
    Bytes r(VR::size, 0);
    VR::length.put(r, VR::size);
    VR::minor.put(r, 3);
    VR::major.put(r, 1);
    put_text(r, VR::bootldr, o.bootldr_version, "--bootldr-version");
    put_text(r, VR::normal, o.normal_version, "--normal-version");
    put_text(r, VR::updater, o.updater_version, "--updater-version");
    return r;
}

uint32_t crc_of(const Bytes &b) { return ryn_calc_crc(b.data(), static_cast<uint32_t>(b.size())); }

// A plausible calibration record (version 10) and model configuration
// (version 0x103 host form) when no file gives them.
Bytes generated_record(size_t size, uint8_t minor, uint8_t major, const std::string &seed) {
    Bytes r = generated(size, seed);
    layout::Field{"length", 0, 2}.put(r, size);
    layout::Field{"minor", 2, 1}.put(r, minor);
    layout::Field{"major", 3, 1}.put(r, major);
    return r;
}

// Base image: the normal code below the layout region (offset 0), the six
// layout sections from 0x20000 in layout order, each at a 256-byte boundary,
// so that every offset is also the section's flash address.
Bytes build_base(const BuildOptions &o) {
    const Bytes normal = section_or_generated(o, "--normal-code", 0x4000, "normal " + o.normal_version);
    if (normal.size() > fwupdate::layout_start)
        throw Failure("the normal code of " + std::to_string(normal.size()) +
                      " bytes does not fit below the layout region (at most 131072)");
    const Bytes version = version_record(o);
    const Bytes model_cfg = o.section_files.count("--model-config") ? section_or_generated(o, "--model-config", 0, "")
                                                                      : generated_record(6144, 3, 1, "model");
    const Bytes cali = o.section_files.count("--calibration") ? section_or_generated(o, "--calibration", 0, "")
                                                               : generated_record(8192, 10, 0, "cali");
    const Bytes update = section_or_generated(o, "--update-code", 0x4000, "update " + o.updater_version);
    const Bytes boot = section_or_generated(o, "--boot-loader", 0x2000, "boot " + o.bootldr_version);
    if (model_cfg.size() > fwupdate::section_area_size)
        throw Failure("the model configuration file holds more than 16384 bytes");

    Bytes block(ImageHeader::block_size, 0);
    ImageHeader::word0.put(block, 0x52594E42);  // "BNYR"
    ImageHeader::word1.put(block, 0x00010000);
    std::vector<std::pair<uint32_t, const Bytes *>> placed;
    uint32_t at = fwupdate::layout_start;
    auto place = [&](const layout::Field &ofs, const layout::Field &len, const Bytes &data) {
        ofs.put(block, at);
        len.put(block, data.size());
        placed.emplace_back(at, &data);
        at = static_cast<uint32_t>((uint64_t{at} + data.size() + 0xFF) & ~uint64_t{0xFF});
    };
    Bytes fw_header(ImageHeader::header_size);  // filled once the header is complete
    place(ImageHeader::fw_header_ofs, ImageHeader::fw_header_len, fw_header);
    place(ImageHeader::version_ofs, ImageHeader::version_len, version);
    place(ImageHeader::model_ofs, ImageHeader::model_len, model_cfg);
    place(ImageHeader::cali_ofs, ImageHeader::cali_len, cali);
    place(ImageHeader::update_ofs, ImageHeader::update_len, update);
    place(ImageHeader::bootldr_ofs, ImageHeader::bootldr_len, boot);
    if (at > fwupdate::layout_start + fwupdate::layout_size)
        throw Failure("the sections do not fit the 0x60000-byte layout region");
    ImageHeader::normal_ofs.put(block, 0);
    ImageHeader::normal_len.put(block, normal.size());
    ImageHeader::normal_crc.put(block, crc_of(normal));
    ImageHeader::version_crc.put(block, crc_of(version));
    ImageHeader::model_crc.put(block, crc_of(model_cfg));
    ImageHeader::cali_crc.put(block, crc_of(cali));
    ImageHeader::update_crc.put(block, crc_of(update));
    ImageHeader::bootldr_crc.put(block, crc_of(boot));
    std::copy_n(block.begin(), ImageHeader::header_size, fw_header.begin());

    Bytes image(ImageHeader::block_size + at, 0xFF);
    std::copy(block.begin(), block.end(), image.begin());
    std::copy(normal.begin(), normal.end(), image.begin() + ImageHeader::block_size);
    for (const auto &[offset, data] : placed)
        std::copy(data->begin(), data->end(), image.begin() + ImageHeader::block_size + offset);
    image.resize(ImageHeader::block_size + placed.back().first + placed.back().second->size());
    return image;
}

// Flash builder file: the 68-byte header, the flash builder code (marked as
// such for the simulated controller), a gap, then its version record. The gap
// is the word at offset 36, through which the version string is found.
Bytes build_flash_builder(const BuildOptions &o) {
    for (const auto &[option, file] : o.section_files)
        if (option != "--normal-code") throw Failure(option + " does not apply to --format flash-builder");
    const std::string mark = RYN_SIM_FLASH_BUILDER_MARK;
    Bytes code = section_or_generated(o, "--normal-code", 0x3000, "flash builder " + o.normal_version);
    if (code.size() < mark.size() || !std::equal(mark.begin(), mark.end(), code.begin()))
        code.insert(code.begin(), mark.begin(), mark.end());
    const Bytes version = version_record(o);
    constexpr uint32_t gap = 16;

    Bytes header(ImageHeader::header_size, 0);
    ImageHeader::word0.put(header, 0x52594E46);  // "FNYR"
    ImageHeader::normal_ofs.put(header, 0);
    ImageHeader::normal_len.put(header, code.size());
    ImageHeader::normal_crc.put(header, crc_of(code));
    fwupdate::FlashBuilderFile::version_gap.put(header, gap);
    ImageHeader::version_ofs.put(header, code.size() + gap);
    ImageHeader::version_len.put(header, version.size());
    ImageHeader::version_crc.put(header, crc_of(version));

    Bytes file(header.size() + code.size() + gap + version.size(), 0xFF);
    auto at = std::copy(header.begin(), header.end(), file.begin());
    at = std::copy(code.begin(), code.end(), at);
    std::copy(version.begin(), version.end(), at + gap);
    return file;
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

struct ImageFormat {
    const char *name;
    const char *what;
    Bytes (*build)(const BuildOptions &);
    Validator validate;
};
const ImageFormat formats[] = {
    {"base", "base controller image (header, extra header, seven sections)", build_base, validate_base},
    {"flash-builder", "flash builder file of a flash-layout update", build_flash_builder, validate_flash_builder},
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
    const Bytes image = format_of(options.format).build(options);
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
    std::unique_ptr<fwupdate::ImageFile> file = fwupdate::ImageFile::open(text::from_utf8(options.image));
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
        text += "  " + std::string(f.name) + std::string(15 - std::string(f.name).size(), ' ') + f.what + "\n";
    return text;
}

}  // namespace

void add_image_commands(CLI::App &app, Context &ctx) {
    CLI::App *image = app.add_subcommand("image", "Build firmware images, and check them without a device");
    image->require_subcommand(1);
    const CLI::Validator format = name_in("format", format_names());
    const std::string format_type = [] {
        std::string t;
        for (const ImageFormat &f : formats) t += (t.empty() ? "" : "|") + std::string(f.name);
        return t;
    }();

    auto b = std::make_shared<BuildOptions>();
    CLI::App *cmd = image->add_subcommand("build", "Build a firmware image from section files and version texts");
    cmd->add_option("--format", b->format, "Image format (below)")->required()->check(format)->type_name(format_type);
    cmd->add_option("-o,--output", b->output, "Image file to write")->required();
    cmd->add_option("--bootldr-version", b->bootldr_version, "Boot loader version text")->type_name("V");
    cmd->add_option("--normal-version", b->normal_version, "Normal-code version text")->type_name("V");
    cmd->add_option("--updater-version", b->updater_version, "Updater version text")->type_name("V");
    for (const char *section : {"--normal-code", "--update-code", "--boot-loader", "--calibration", "--model-config"})
        cmd->add_option_function<std::string>(
               section, [b, section](const std::string &file) { b->section_files[section] = file; },
               std::string("File with the section's bytes (default: generated)"))
            ->type_name("FILE");
    cmd->footer(formats_help() +
                "\nA base image places the normal code at offset 0 and the layout sections\n"
                "(fw header copy, version string, model config, calibration, update code,\n"
                "boot loader) from flash address 0x20000 on. A flash builder file holds\n"
                "the flash builder code (--normal-code) and its version record.\n\n"
                "Examples:\n"
                "  ryn image build --format base -o fw.bin --normal-version 2.3.1400.1\n"
                "  ryn image build --format flash-builder -o fb.bin");
    on_run(*cmd, ctx, b, &image_build);

    auto i = std::make_shared<InspectOptions>();
    cmd = image->add_subcommand("inspect", "Validate an image as an update would, without a device");
    cmd->add_option("IMAGE", i->image, "Image file")->required();
    cmd->add_option("--format", i->format, "Image format (below)")->required()->check(format)->type_name(format_type);
    cmd->footer(formats_help() +
                "\nPrints the header dumps and the first failing check, as ryn fw update\n"
                "would before it touches the device. Exit status 1 when a check fails.\n\n"
                "Example:\n  ryn image inspect fw.bin --format base");
    on_run(*cmd, ctx, i, &image_inspect);
}

}  // namespace ryn::cli
