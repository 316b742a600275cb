#include "frame/record_identity.h"

#include <optional>

#include "frame/sink.h"
#include "text/checked_format.h"
#include "text/field_number.h"

namespace ryn::frame {
namespace {

// What tells the two requests' files apart: the section holding the record's
// identity keys, its version key, and the sections only that request writes.
struct RequestForm {
    InfoRequest request;
    std::u16string_view noun;  // in messages: "a calibration", "a model configuration"
    std::u16string_view section;
    std::u16string_view version_key;
    std::u16string_view version_label;
    std::u16string_view own_sections[3];
};

constexpr RequestForm kForms[] = {
    {InfoRequest::calibration, u"a calibration", u"calibration", u"version", u"version",
     {u"calibration", u"sensor parameter", {}}},
    {InfoRequest::model_configuration, u"a model configuration", u"model configuration",
     u"major_version", u"major version", {u"model configuration", u"sensor dsp", u"algorithm parameter"}},
};

const RequestForm &form_of(InfoRequest request) {
    return kForms[request == InfoRequest::calibration ? 0 : 1];
}

struct ControllerName {
    Controller controller;
    std::u16string_view key_value;
    std::u16string_view shown;
};

constexpr ControllerName kControllers[] = {
    {Controller::base, u"base", u"a base controller"},
    {Controller::c5810, u"5810", u"a 5810 controller"},
    {Controller::c5920, u"5920", u"a 5920 controller"},
    {Controller::sixcam_4320, u"6cam_4320", u"the LPC4320 controller of a six-camera system"},
    {Controller::sixcam_5810, u"6cam_5810", u"a 5810 device of a six-camera system"},
};

const ControllerName &name_of(Controller controller) {
    for (const ControllerName &n : kControllers)
        if (n.controller == controller) return n;
    return kControllers[0];
}

bool holds_any(const platform::IniFile &ini, const RequestForm &form) {
    for (std::u16string_view section : form.own_sections)
        if (!section.empty() && ini.has_section(section)) return true;
    return false;
}

// A number of the file as a GET writes it ("%u" or "0x%02x"); nothing when
// it is no number.
std::optional<uint32_t> number_of(std::u16string_view text) {
    return text::integer_field(text, text::prefixed_field(32));
}

// "<noun> of <controller> (length <l>, <version label> <v>)", each part only
// when known.
std::u16string describe(const RequestForm &form, std::u16string_view controller,
                        std::u16string_view length, std::u16string_view version) {
    std::u16string text(form.noun);
    if (!controller.empty()) text.append(u" of ").append(controller);
    std::u16string details;
    if (!length.empty()) details.append(u"length ").append(length);
    if (!version.empty()) {
        if (!details.empty()) details.append(u", ");
        details.append(form.version_label).append(u" ").append(version);
    }
    if (!details.empty()) text.append(u" (").append(details).append(u")");
    return text;
}

}  // namespace

std::u16string_view controller_key_value(Controller controller) {
    return name_of(controller).key_value;
}

int check_record_identity(const cali_info_arg &arg, const platform::IniFile &ini,
                          const std::u16string &path, const RecordIdentity &device) {
    const RequestForm &form = form_of(device.request);
    const std::u16string controller = ini.get(form.section, controller_key);
    const std::u16string length = ini.get(form.section, u"length");
    const std::u16string version = ini.get(form.section, form.version_key);

    bool agrees = controller.empty() || controller == controller_key_value(device.controller);
    if (!length.empty()) {
        const std::optional<uint32_t> l = number_of(length);
        agrees = agrees && (l == device.length || l == device.other_length);
    }
    if (!version.empty()) {
        const std::optional<uint32_t> v = number_of(version);
        agrees = agrees && (v == device.version || v == device.other_version);
    }
    if (agrees) return 1;

    // What the file holds, in the words of its own keys: a controller this
    // library knows by its name, any other as the file gives it.
    std::u16string file_controller;
    if (!controller.empty()) {
        file_controller = u"controller \"" + controller + u"\"";
        for (const ControllerName &n : kControllers)
            if (controller == n.key_value) file_controller = n.shown;
    }
    const bool hex = device.request == InfoRequest::model_configuration;
    const std::u16string held =
        describe(form, name_of(device.controller).shown,
                 text::format_checked(u"%u", device.length),
                 hex ? text::format_checked(u"0x%02x", device.version)
                     : text::format_checked(u"%u", device.version));
    report(arg, u"[Error] The file [%s] holds %s, but the device holds %s.\n", path.c_str(),
           describe(form, file_controller, length, version).c_str(), held.c_str());
    return 0;
}

int check_get_target(const cali_info_arg &arg, const platform::IniFile &ini,
                     const std::u16string &path, InfoRequest request) {
    if (request == InfoRequest::calibration) {
        if (!holds_any(ini, form_of(InfoRequest::model_configuration))) return 1;
        report(arg, u"[Error] The file [%s] holds a model configuration; a calibration is not "
                    u"written into it.\n",
               path.c_str());
        return 0;
    }
    if (!holds_any(ini, form_of(InfoRequest::calibration))) return 1;
    report(arg, u"[Error] The file [%s] holds a calibration; a model configuration is not written "
                u"into it.\n",
           path.c_str());
    return 0;
}

int check_set_source(const cali_info_arg &arg, const platform::IniFile &ini,
                     const std::u16string &path) {
    if (!holds_any(ini, form_of(InfoRequest::calibration)) ||
        !holds_any(ini, form_of(InfoRequest::model_configuration)) ||
        !ini.has_section(u"firmware parameter"))
        return 1;
    report(arg, u"[Error] The file [%s] holds both a calibration and a model configuration, whose "
                u"[firmware parameter] sections cannot be told apart.\n",
           path.c_str());
    return 0;
}

}  // namespace ryn::frame
