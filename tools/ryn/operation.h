// Runs one library operation on the simulated device: loads the device,
// fills the argument block, hands it the Host's callbacks, calls the
// operation, saves the device and turns the result into the exit status
// (0 on result 1, 1 on result 0).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "files.h"
#include "ini_compare.h"
#include "ryn_usr.h"

namespace ryn::cli {

// A calibration or device-information request: ryn_cali_info or ryn_dev_info.
using InfoOperation = int32_t (*)(cali_info_arg *arg);
// Checks a request against the family of the loaded device ("base", "5810",
// "5920", "6cam") before the device is touched; throws UsageError.
using FamilyCheck = std::function<void(const std::string &family, const GlobalOptions &global)>;

// One kind of record as a GET writes it and a SET reads it.
struct RecordKind {
    const char *what;             // "calibration", "model configuration", "version strings"
    InfoOperation operation;
    uint32_t flags;               // the request's own flags, without GET or SET
    std::vector<std::string> sections;  // the sections a GET of it writes
    bool identity;                // the record holds the unit's serial number, vendor and product id
};

// The records of the calibration and device-information commands.
extern const RecordKind calibration_record;
extern const RecordKind model_configuration_record;
extern const RecordKind version_strings_record;

// The device's record of kind (the controller of global's --6cam-dev), read
// by the library into a temporary file with its messages kept back. Throws
// Failure with the library's reason when the GET fails.
TempFile read_device_record(ryn_handle handle, const GlobalOptions &global, const RecordKind &kind);

// How a GET writes its file.
struct GetOptions {
    bool merge = false;  // the library merges its sections into the existing file
    bool force = false;  // an existing file that is not an INI file, or holds another kind's sections, is replaced
};
// --merge and --force of a GET command, and the help text that explains them.
void add_get_flags(CLI::App &cmd, GetOptions &options);
extern const char *const get_file_help;

// A GET of the record into file. Unless merging, the library writes a new
// temporary file in file's folder, which replaces file only when the GET
// succeeded. An existing file that is not an INI file, or (unless merging)
// holds sections of another kind, is a usage error unless forced.
int run_get(const GlobalOptions &global, const RecordKind &kind, const std::string &file,
            const GetOptions &options);

// How a SET goes.
struct SetOptions {
    bool dry_run = false;         // compare the device's record with the file; write nothing
    bool write_identity = false;  // a file of another unit's identity may be written
    uint32_t form_flags = 0;      // an older file form (RYN_CALI_COMPAT_*)
    bool before_write = false;    // the dry-run report precedes the write (restore), and says so
    const char *identity_option = "--write-identity";  // what the refusal of another identity names
};
// The help text of a SET's --dry-run.
extern const char *const dry_run_help;

// A SET of the record from file. A record that holds the unit's identity is
// read from the device first: a file whose identity differs is a usage error
// unless write_identity. A dry run reads the device's record into a
// temporary file and prints what the SET would change, without a device write.
int run_set(const GlobalOptions &global, const RecordKind &kind, const std::string &file,
            const SetOptions &options, const FamilyCheck &check = {});

class Host;
// The SET of run_set on the loaded device, inside a command's own run: the
// identity check, then the dry-run report (options.dry_run: no write) or the
// library's SET with host's callbacks. Returns the library's result.
int32_t set_record(ryn_handle handle, Host &host, const GlobalOptions &global, const RecordKind &kind,
                   const std::string &file, const SetOptions &options);

// What fw update takes.
struct UpdateOptions {
    std::string image;
    std::string mode = "normal";
    std::string flash_builder;
    bool dry_run = false;          // checks and plan only, no device write
    bool allow_downgrade = false;  // an image older than the device's code may be written
    bool allow_empty = false;      // an image without any code may be written
};
// A family's controller as the user's messages name it ("a 5920 controller",
// "device 1 (a 5810) of a six-camera system").
std::string device_name(const std::string &family, unsigned six_cam_dev);
// The image format a family's controller takes: the family's own name, or
// on a six-camera system "lpc4320" (--6cam-dev 255 or none) or "5810".
std::string image_format_for(const std::string &family, unsigned six_cam_dev);
struct ImageFormat;
// Throws the usage error for an image of format given to a device that takes
// another ("an lpc4320 image"), ending with what was not done.
[[noreturn]] void refuse_other_family(const std::string &image, const ImageFormat &format, const std::string &device,
                                      const std::string &takes, const std::string &nothing_done);

// The library's update mode of a --mode name (normal, layout, auto).
uint32_t update_mode_of(const std::string &mode);
// ryn_fw_update of the image; --6cam-dev adds its bit to the mode. An image
// recognised as another family's, a mode or flash builder the device's
// family does not take, an older version than the device's and an image
// without code are usage errors found before any device call.
int run_fw_update(const GlobalOptions &global, const UpdateOptions &options);

// The differences of a comparison, one line each ("[section] key: 3 -> 4",
// "[section] key: only in <left> (3)"), the sides named by left and right,
// each line begun with indent; with --json also the report's "differences"
// (device: the controller of a six-camera system, 0 for none).
void print_differences(const IniComparison &diff, const std::string &left, const std::string &right,
                       const char *indent, unsigned device = 0);
// With --json: the differences as entries of the report's array key, each
// {device, section, key, kind (changed, only_left, only_right), left, right}.
void report_differences(const char *key, const IniComparison &diff, unsigned device);

// cali diff / info diff: the device's record of kind, read by a GET into a
// temporary file, compared with file as ryn diff compares two files. On a
// six-camera system without --6cam-dev each of its three controllers is
// compared, labelled. Exit status 0 when every controller compared holds
// what file holds, 1 when one differs, 2 on trouble (a file that cannot be
// read, a GET that fails), as diff does.
int run_diff(const GlobalOptions &global, const RecordKind &kind, const std::string &file);
// The help text of cali diff and info diff.
extern const char *const diff_help;
// The --json keys of the GET, SET and diff commands of cali and info.
extern const char *const get_report_keys;
extern const char *const set_report_keys;
extern const char *const diff_report_keys;

// The controllers a reading command covers: the one --6cam-dev names, all
// three of a six-camera system (255, 1, 2) without it, else the one (0).
std::vector<unsigned> read_controllers(const GlobalOptions &global, const std::string &family);

// What device show reports of the loaded device, as its --json object: the
// unit and each controller (a query the device does not answer leaves its
// key null and is named in failed), plus "not_in_service" (what is not, as
// text). Throws Failure for a platform code of no known family.
nlohmann::json device_report(const GlobalOptions &global, std::vector<std::string> &failed);

// The serial number in the model configuration of the controller requests
// reach (--6cam-dev, or a six-camera system's LPC4320 controller); empty
// where the record has none or the controller does not answer.
std::string unit_serial(const GlobalOptions &global);

// For the run's report (--json, --log): "device_mode_after", device show's
// state line of the controller requests reach ("in service", "left in mask
// ROM", ...), also named on the log's result line, and "after" (firmware
// mode, versions and header record) where the command recorded "before".
void report_device_after(const GlobalOptions &global);

// Whether a command writes to the device. A write on a six-camera system
// needs --6cam-dev; a read without it covers the whole unit.
enum class Access { read, write };

// Loads the device of a command (--sim or the default one) and checks that
// --6cam-dev fits it (a write to a six-camera system without it is a usage
// error), then the command's own check. Returns the state file; nothing has
// been written to it.
std::string open_checked_device(const GlobalOptions &global, const FamilyCheck &check,
                                Access access = Access::read);
// The family of the loaded device.
std::string loaded_family();

}  // namespace ryn::cli
