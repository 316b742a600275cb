// The firmware image formats ryn knows: how each is built (for testing), how
// the library validates it, how it is recognised from its magic or header
// words, and what its header and sections hold (ryn image inspect).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fwupdate/base/image.h"
#include "tools/image_builder/image_builder.h"
#include "formats/layout.h"
#include "ryn_usr.h"

namespace ryn::cli {

// Largest image file ryn reads whole.
inline constexpr size_t max_image_file = 64u << 20;

// What an image of a format holds, read without trusting it: the header
// fields, the sections with their offsets, lengths and CRCs (stored and
// computed; a section outside the file is flagged, not read), and the
// version texts or words it carries.
struct SectionReport {
    std::string name;
    uint64_t offset = 0;  // in the file
    uint64_t length = 0;
    bool inside = false;  // the section lies inside the file
    bool has_crc = false;
    uint32_t crc_stored = 0;
    uint32_t crc_computed = 0;
};
struct ImageReport {
    std::vector<std::pair<std::string, uint64_t>> header;  // field name, value
    std::vector<SectionReport> sections;
    std::vector<std::pair<std::string, std::string>> versions;  // name, text
};
struct ImageFormat {
    const char *name;     // "base", "flash-builder", "5810", "5920", "lpc4320"
    const char *article;  // "a" or "an", before the name
    const char *family;   // the device it is for, as messages name it
    const char *what;     // one line for the help
    const char *options;  // the image build options it takes, space-separated
    fwupdate::Bytes (*build)(const fwupdate::ImageParts &);
    // The library's own validation of the image file, with its messages.
    int (*validate)(const fw_update_arg &, fwupdate::ImageFile &);
    // Adds what the image holds to the report, trusting none of it.
    void (*describe)(ImageReport &, std::span<const uint8_t> image);
};

// The text of a UTF-16LE string field of a record (a version record's
// bootldr, normal, updater), up to its terminator or the field's end.
std::string record_text(std::span<const uint8_t> record, const layout::Field &field);

// Every format, in the order the help lists them.
const std::vector<ImageFormat> &image_formats();
// The format of a name from image_formats(); throws Failure for another name.
const ImageFormat &format_by_name(const std::string &name);
// The names, "base|flash-builder|...".
std::string format_names(const char *between);

// The formats whose magic or header words the image carries: one when it is
// recognised, none or several when it is not. Formats without a magic (the
// base image and the flash builder file) are recognised when their header's
// sections validate.
std::vector<const ImageFormat *> recognise_image(const std::string &path, const std::vector<uint8_t> &image);

ImageReport describe_image(const ImageFormat &format, const std::vector<uint8_t> &image);

}  // namespace ryn::cli
