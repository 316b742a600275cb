// fw verify: what the device holds of a firmware image, compared wherever
// the device library can read it back, and the identifier of the firmware a
// device holds (the before and after of fw update's summary line).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "ryn_usr.h"

namespace ryn::cli {

struct ImageFormat;

// Where a compared part first differs: the place ("flash address
// 0x00007010", "offset 0x08"; empty for a value such as a version string),
// the image's byte or value and the device's.
struct VerifyDifference {
    std::string where;
    std::string expected;  // in the image
    std::string found;     // on the device
};

// One part of the image compared with the device's read-back of it.
struct VerifyPart {
    std::string name;  // "code bank 1 (flash 0x00007000, 24576 bytes)", "normal code version"
    std::optional<VerifyDifference> difference;  // none: the device holds what the image carries
};

// What fw verify found on one controller.
struct ControllerVerify {
    unsigned device = 0;     // a six-camera system's 255, 1 or 2; 0 on the other families
    std::string controller;  // "base", "5810", "5920", "LPC4320"
    // Why the controller was not compared (the image is for another kind of
    // controller of the unit); empty when it was.
    std::string skipped;
    std::vector<VerifyPart> parts;          // in the order compared
    std::vector<std::string> unverifiable;  // "the code: this device offers no read-back"
    // What identifies the firmware the controller holds, as read
    // ("normal code 2.3.1400.1", "code crc 0x1a2b3c4d", "header crc
    // 0x1a2b3c4d"); empty when the device offers no read that tells.
    std::string identity;

    // The first part that differs, or null.
    const VerifyPart *first_difference() const;
};

// The whole comparison: one entry per controller read (the three of a
// six-camera system without --6cam-dev, else one).
struct FwVerifyResult {
    std::string image;   // the image file as given
    std::string format;  // its format ("5920")
    std::string mode;    // "normal" or "layout": the parts an update of that mode writes
    std::vector<ControllerVerify> controllers;
    // fw update only: the identity read before the update and after it
    // (empty when not known).
    std::string before, after;
    // fw update only: why the read-back after the update could not run.
    std::string read_failure;

    // Whether any part of any controller was compared.
    bool anything_compared() const;
    // The first controller with a part that differs, or null.
    const ControllerVerify *first_mismatch() const;
};

// Compares the loaded device (its controller of --6cam-dev, or each of a
// six-camera system's that takes the image's format) with image, a validated
// image of format, as an update of mode (normal or layout) writes it. Only
// reads of the device library; nothing is written. Throws Failure when a
// read the family offers fails.
FwVerifyResult verify_firmware(ryn_handle handle, const GlobalOptions &global, const ImageFormat &format,
                               const std::vector<uint8_t> &image, const std::string &mode);

// The identity of the firmware the controller (global's) holds, read as
// verify reads it at the places image (the file path, its bytes) names;
// empty when no read tells or a read fails. An image the library's
// validation refuses is not read from, nor is the device read for it.
std::string firmware_identity(ryn_handle handle, const GlobalOptions &global, const ImageFormat &format,
                              const std::string &path, const std::vector<uint8_t> &image);
// After a successful update of mode (the library's update mode, as the
// update left it): verify's comparison, with the identity read before the
// update and after it.
FwVerifyResult read_back_update(ryn_handle handle, const GlobalOptions &global, const ImageFormat &format,
                                const std::vector<uint8_t> &image, uint32_t mode, const std::string &before);
// fw update's last line: "updated: <before> -> <after>", then " verified"
// when a read-back ran and matched, or why the update is not verified.
std::string update_summary(const FwVerifyResult &result);
// The first difference of a result as one line ("code bank 1 (...) differs
// at flash address 0x00007010: 0x5a in the image, 0xa5 on the device"),
// labelled with its controller on a unit of several.
std::string first_difference_text(const FwVerifyResult &result);

// For --json: whether the comparison confirms the image (true: every part
// compared matches; false: one differs; null: nothing could be compared or
// the read-back failed), and its controllers, each {device (null on a
// single controller), controller, skipped (null when compared), parts (each
// {name, match, where, expected, found}), unverifiable, identity (null when
// no read tells)}.
nlohmann::json verified_json(const FwVerifyResult &result);
nlohmann::json controllers_json(const FwVerifyResult &result);
// fw update's keys of the run's report after a successful update: after,
// verified, and read_back ({mode, controllers, read_failure}).
void report_read_back(const FwVerifyResult &result);

// What fw verify takes.
struct VerifyOptions {
    std::string image;
    std::string mode = "normal";
};
// fw verify IMAGE: exit status 0 when every part that could be compared
// matches, 1 when one differs, 2 when nothing could be compared or on
// trouble (a wrong-family or invalid image, a failed read).
int run_fw_verify(const GlobalOptions &global, const VerifyOptions &options);

}  // namespace ryn::cli
