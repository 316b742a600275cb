// What a calibration or model-configuration file says about the record it
// holds, and the sections by which it shows which request's data it holds.
//
// A GET writes the record's "length" and version into the request's section
// and names the controller it read with the key "controller" (readers of
// older versions ignore the key, so the file still goes back). A SET checks
// those keys, where the file has them, against what a GET of the device would
// write before anything reaches the device: a file of another family, of the
// other six-camera controller or of another record length is refused. A file
// without the keys (written by hand, or by an older GET) is taken as before.
//
// Both requests write a section "firmware parameter" with the same keys, so
// one file must never hold both: a GET refuses a file that holds the other
// request's data, found by the sections only that request writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/paths.h"
#include "platform/ini_file.h"
#include "ryn_usr.h"

namespace ryn::frame {

enum class InfoRequest { calibration, model_configuration };

// The key, in the request's own section, that names the controller a GET read.
inline constexpr std::u16string_view controller_key = u"controller";

// The value of the controller key: "base", "5810", "5920", "6cam_4320" or
// "6cam_5810", as the definition files are named.
std::u16string_view controller_key_value(Controller controller);

// What a GET of the device writes about its record. version is the
// calibration's "version" or the model configuration's "major_version".
// other_length and other_version are what a file of the device's kind may
// give besides (a base controller's calibration file says length 8192 and
// version 10, its working form, for a device record of version 9 or 10; an
// older file may say length 1555 and version 9); the same values otherwise.
struct RecordIdentity {
    InfoRequest request;
    Controller controller;
    uint32_t length;
    uint32_t version;
    uint32_t other_length;
    uint32_t other_version;
};

// 1 when each of "controller", "length" and the version key that the file's
// section has agrees with the device's record; otherwise 0 after one message
// naming what the file holds and what the device holds.
int check_record_identity(const cali_info_arg &arg, const platform::IniFile &ini,
                          const std::u16string &path, const RecordIdentity &device);

// Before a GET writes: 1 when the file holds none of the other request's
// sections; otherwise 0 after a message naming the file.
int check_get_target(const cali_info_arg &arg, const platform::IniFile &ini,
                     const std::u16string &path, InfoRequest request);

// Before a SET of a controller whose two requests share the section
// "firmware parameter": 1 unless the file holds both requests' data, whose
// firmware parameters can then not be told apart; otherwise 0 after a
// message naming the file.
int check_set_source(const cali_info_arg &arg, const platform::IniFile &ini,
                     const std::u16string &path);

}  // namespace ryn::frame
