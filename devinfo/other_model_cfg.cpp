// Model-configuration GET and SET of the other controllers: the 5810 and 5920
// controllers and both variants of the six-camera system. Each device holds
// one record version of 8192 bytes (0x200, or 0x300 for the 5920), so nothing
// is converted: GET dumps the record into the INI file, SET reads the record
// from the device, overlays what the file gives and writes it back whole.
// One GET and one SET serve the four variants; a descriptor per variant gives
// the device it selects first, its definition file, its record layout and
// its messages.
//
// Sections: "model configuration", "firmware parameter" (FW_PARAM_0000 on),
// "algorithm parameter" and, for the 5920, "system parameter"
// (SYS_PARAM_0000 to 1023).
#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "devinfo/ini_values.h"
#include "formats/model_cfg_record.h"
#include "devinfo/model_cfg_sections.h"
#include "formats/other_model_cfg_record.h"
#include "frame/definitions.h"
#include "frame/other_params.h"
#include "frame/paths.h"
#include "frame/record_identity.h"
#include "frame/sink.h"
#include "platform/ini_file.h"
#include "ryn_hid.h"
#include "text/checked_format.h"
#include "text/text.h"

namespace ryn::devinfo {
namespace {

using platform::IniFile;
using L = OtherModelCfgLayout;
using Record = std::vector<uint8_t>;
using Message = text::format_string<>;

// The shared head sections read and write these records through the base
// controller's declaration: both keep the head at the same offsets.
static_assert(L::length.offset == ModelCfgRecord::length.offset &&
              L::vid.offset == ModelCfgRecord::vid.offset &&
              L::pid.offset == ModelCfgRecord::pid.offset &&
              L::bcd_device.offset == ModelCfgRecord::bcd_device.offset &&
              L::strings[0].offset == ModelCfgRecord::model_name.offset &&
              L::strings[4].offset == ModelCfgRecord::serial_num.offset &&
              L::strings[4].width == ModelCfgRecord::serial_num.width);

constexpr std::u16string_view kFirmwareSection = u"firmware parameter";
constexpr std::u16string_view kSystemSection = u"system parameter";

// The messages in which the variants differ. A GET and a SET of the
// six-camera 5810 variant differ too, hence the pairs.
struct ModelCfgMessages {
    Message load_failure_get, load_failure_set;
    const Message *no_reader_first;  // a line before no_function (the 5810's "Pell.\n")
    Message no_function;
    Message read_failure_get, read_failure_set;
    Message dump_model, dump_firmware, dump_algorithm, dump_system;
    Message parse_model, parse_firmware, parse_algorithm, parse_system;
    const Message *no_writer_first;  // a line before no_function (the 5810's "Pell2.\n")
    Message write_failure;
};

constexpr Message kPell = u"Pell.\n";
constexpr Message kPell2 = u"Pell2.\n";

// The messages of the 5810, 5920 and six-camera LPC4320 variants, which differ
// only in the definition message and in the 5810's "Pell" lines.
constexpr ModelCfgMessages fail_to_messages(Message load_failure, const Message *no_reader_first,
                                            const Message *no_writer_first) {
    return {
        .load_failure_get = load_failure,
        .load_failure_set = load_failure,
        .no_reader_first = no_reader_first,
        .no_function = u"Fail to find the appropriate function.\n",
        .read_failure_get = u"Fail to get the model configuration.\n",
        .read_failure_set = u"Fail to get the model configuration.\n",
        .dump_model = u"Fail to dump model config\n",
        .dump_firmware = u"Fail to dump the firmware parameter\n",
        .dump_algorithm = u"Fail to dump the algorithm parameter\n",
        .dump_system = u"Fail to dump the system parameter\n",
        .parse_model = u"Fail to parse the model conf file.\n",
        .parse_firmware = u"Fail to parse the firmware parameter.\n",
        .parse_algorithm = u"Fail to parse the algorithm parameter.\n",
        .parse_system = u"Fail to parse the system parameter.\n",
        .no_writer_first = no_writer_first,
        .write_failure = u"Fail to set the model configuration.\n",
    };
}

constexpr ModelCfgMessages kMessages5810 =
    fail_to_messages(u"Fail to load the model configuration definition.\n", &kPell, &kPell2);
constexpr ModelCfgMessages kMessages5920 =
    fail_to_messages(u"Fail to load the modelconfiguration definition.\n", nullptr, nullptr);
constexpr ModelCfgMessages kMessages6cam4320 =
    fail_to_messages(u"Fail to load the model configuration definition.\n", nullptr, nullptr);

constexpr ModelCfgMessages kMessages6cam5810{
    .load_failure_get = u"Failed to load the model configuration definition of qkv5810.\n",
    .load_failure_set = u"Failed to load the model configuration definition.\n",
    .no_reader_first = nullptr,
    .no_function = u"Fail to find the appropriate function.\n",
    .read_failure_get = u"Failed to get the model configuration of qkv5810.\n",
    .read_failure_set = u"Failed to get the model configuration.\n",
    .dump_model = u"Failed to dump model configuration of qkv5810\n",
    .dump_firmware = u"Failed to dump the firmware parameters of qkv5810\n",
    .dump_algorithm = u"Failed to dump the algorithm parameters of qkv5810\n",
    .dump_system = u"Fail to dump the system parameter\n",  // unused: no such section in 0x200
    .parse_model = u"Failed to parse the model conf file.\n",
    .parse_firmware = u"Failed to parse the firmware parameter.\n",
    .parse_algorithm = u"Failed to parse the algorithm parameter.\n",
    .parse_system = u"Fail to parse the system parameter.\n",  // unused: no such section in 0x200
    .no_writer_first = nullptr,
    .write_failure = u"Failed to set the model configuration.\n",
};

struct OtherModelCfgVariant {
    Controller controller;
    frame::DefinitionFile definitions;
    const OtherModelCfgLayout &layout;
    const ModelCfgMessages &messages;
};

constexpr OtherModelCfgVariant kVariants[] = {
    {Controller::c5810, frame::DefinitionFile::algo_5810, model_cfg_layout_0x200, kMessages5810},
    {Controller::c5920, frame::DefinitionFile::algo_5920, model_cfg_layout_0x300, kMessages5920},
    {Controller::sixcam_4320, frame::DefinitionFile::algo_6cam_4320, model_cfg_layout_0x200,
     kMessages6cam4320},
    {Controller::sixcam_5810, frame::DefinitionFile::algo_6cam_5810, model_cfg_layout_0x200,
     kMessages6cam5810},
};

const OtherModelCfgVariant *variant_of(Controller controller) {
    for (const OtherModelCfgVariant &v : kVariants)
        if (v.controller == controller) return &v;
    return nullptr;
}

enum class Request { get, set };

uint16_t record_version(std::span<const uint8_t> record) {
    return static_cast<uint16_t>(L::major.get(record) << 8 | L::minor.get(record));
}

// The algorithm block of a 0x200 record: header and every slot.
std::span<const uint8_t> algo_block(const L &l, std::span<const uint8_t> record) {
    return record.subspan(l.algo_length.offset, l.algo_slots.end() - l.algo_length.offset);
}
std::span<uint8_t> algo_block(const L &l, std::span<uint8_t> record) {
    return record.subspan(l.algo_length.offset, l.algo_slots.end() - l.algo_length.offset);
}

// --- Device -------------------------------------------------------------------

// The device's record, in the variant's version only; 0 with the no-reader
// messages when the device library offers no reader.
int read_device_record(const OtherModelCfgVariant &v, const cali_info_arg &arg,
                       std::span<uint8_t> record) {
    const ryn_record_reader reader = ryn_get_model_cfg_fn(arg.handle);
    if (!reader) {
        if (v.messages.no_reader_first) frame::report(arg, *v.messages.no_reader_first);
        frame::report(arg, v.messages.no_function);
        return 0;
    }
    Record buffer(L::size, 0);
    L::length.put(buffer, L::size);
    if (!reader(arg.handle, buffer.data())) return 0;
    if (record_version(buffer) != v.layout.version) return 0;
    std::copy(buffer.begin(), buffer.end(), record.begin());
    return 1;
}

// The start that a GET and a SET share: select the device, load the
// definitions, read the device's record. The progress steps fall at
// different points in the two.
int load_and_read(const OtherModelCfgVariant &v, cali_info_arg &arg, Request request,
                  std::span<uint8_t> record) {
    const bool get = request == Request::get;
    if (!frame::select_6cam_device(arg, v.controller, arg.flags)) return 0;
    if (get) frame::progress(arg, 1);
    if (!frame::load_definitions(v.definitions, &arg,
                                 v.layout.algo_header ? std::span(algo_header_keys())
                                                      : std::span<const std::u16string>())) {
        frame::report(arg, get ? v.messages.load_failure_get : v.messages.load_failure_set);
        return 0;
    }
    frame::progress(arg, get ? 2 : 1);
    if (!read_device_record(v, arg, record)) {
        frame::report(arg, get ? v.messages.read_failure_get : v.messages.read_failure_set);
        return 0;
    }
    frame::progress(arg, get ? 3 : 2);
    return 1;
}

// --- GET ----------------------------------------------------------------------

// "FW_PARAM_%04u" = "%u" for every firmware parameter; false at the first
// failed write.
bool dump_firmware_parameter(IniFile &ini, const L &l, std::span<const uint8_t> record) {
    for (size_t n = 0; n < l.fw_params.count; ++n)
        if (!ini.set(kFirmwareSection,
                     text::numbered(u"FW_PARAM_", static_cast<unsigned>(n), 4),
                     decimal(l.fw_params.at(n).get(record))))
            return false;
    return true;
}

// Version 0x200: the block header, then every defined parameter as a float.
// A block older than 0x101 is reported and not dumped. Version 0x300: every
// defined parameter in decimal. Failed parameter writes are not looked at.
bool dump_algorithm_parameter(IniFile &ini, const OtherModelCfgVariant &v, const cali_info_arg &arg,
                              std::span<const uint8_t> record) {
    const L &l = v.layout;
    const frame::DefinitionTable &table = frame::definition_table(v.definitions);
    if (l.algo_header) {
        const auto block = algo_block(l, record);
        if (AlgoBlock::version(block) < 0x101) {
            frame::report(arg, u"%d, %08X, %08X\n", static_cast<int>(AlgoBlock::length.get(block)),
                          static_cast<unsigned>(AlgoBlock::major.get(block)),
                          static_cast<unsigned>(AlgoBlock::minor.get(block)));
            return true;
        }
        if (!dump_algo_header(ini, block)) return false;
    }
    for (size_t n = 0; n < l.algo_slots.count && n < table.size(); ++n) {
        const frame::DefinitionEntry &e = table[n];
        if (!e.present || !e.valid) continue;
        const auto raw = static_cast<uint32_t>(l.algo_slots.at(n).get(record));
        if (l.algo_header)
            write_float(ini, kAlgoSection, e.name_view(), std::bit_cast<float>(raw));
        else
            ini.set(kAlgoSection, e.name_view(), decimal(raw));
    }
    return true;
}

// "SYS_PARAM_%04u" for every system parameter (5920); false at the first
// failed write.
bool dump_system_parameter(IniFile &ini, const L &l, std::span<const uint8_t> record) {
    for (size_t n = 0; n < l.sys_params.count; ++n)
        if (!ini.set(
                kSystemSection, text::numbered(u"SYS_PARAM_", static_cast<unsigned>(n), 4),
                frame::system_param_text(static_cast<uint32_t>(l.sys_params.at(n).get(record)))))
            return false;
    return true;
}

// The sections of a GET, in their order; the keys written before a failure
// stay in the file. A failed write names the file and the section it was
// writing before the variant's own message.
int dump_sections(IniFile &ini, const OtherModelCfgVariant &v, const cali_info_arg &arg,
                  const std::u16string &path, std::span<const uint8_t> record) {
    const ModelCfgMessages &m = v.messages;
    auto failed = [&](std::u16string_view section, Message summary) {
        frame::report(arg, u"Fail to write the section [%s] of the file [%s].\n",
                      std::u16string(section).c_str(), path.c_str());
        frame::report(arg, summary);
        return 0;
    };
    if (!dump_model_cfg_head(ini, record, {.bcd_device = true, .strings = true}) ||
        !ini.set(kModelSection, frame::controller_key, frame::controller_key_value(v.controller)))
        return failed(kModelSection, m.dump_model);
    if (!dump_firmware_parameter(ini, v.layout, record))
        return failed(kFirmwareSection, m.dump_firmware);
    if (!dump_algorithm_parameter(ini, v, arg, record)) return failed(kAlgoSection, m.dump_algorithm);
    if (!dump_system_parameter(ini, v.layout, record)) return failed(kSystemSection, m.dump_system);
    return 1;
}

// --- SET ----------------------------------------------------------------------

// The file's parameters over the device's block: a parameter the file lacks
// keeps the device's value. Version 0x200 requires the three header keys and
// reads floats; version 0x300 reads 16-bit numbers by their prefix and has no
// header. A block older than 0x101, which GET does not write, stays as the
// device has it when the file has no such section. A value that is no number
// or does not fit its slot fails the parse.
int parse_algorithm_parameter(const IniFile &ini, const OtherModelCfgVariant &v,
                              const cali_info_arg &arg, std::span<uint8_t> record) {
    const L &l = v.layout;
    if (l.algo_header) {
        const auto block = algo_block(l, record);
        if (AlgoBlock::version(block) < 0x101 && !ini.has_section(kAlgoSection)) return 1;
        if (!parse_algo_header(ini, block, arg)) return 0;
    }
    const std::optional<text::IntegerField> integer =
        l.algo_header ? std::nullopt
                      : std::optional(text::prefixed_field(static_cast<unsigned>(8 * l.algo_slots.width)));
    return parse_algo_slots(ini, frame::definition_table(v.definitions), l.algo_slots.count, integer,
                            arg, [&](size_t n, uint32_t bits) { l.algo_slots.at(n).put(record, bits); });
}

// Every "SYS_PARAM_%04u" (5920) must be present and scan; the parse fails at
// the first that does not, without a message of its own (a number that does
// not fit is reported with the value).
int parse_system_parameter(const IniFile &ini, const L &l, const cali_info_arg &arg,
                           std::span<uint8_t> record) {
    for (size_t n = 0; n < l.sys_params.count; ++n) {
        char16_t value[number_buffer_size];
        const std::u16string key = text::numbered(u"SYS_PARAM_", static_cast<unsigned>(n), 4);
        const size_t length = ini.get(kSystemSection, key, value, std::size(value));
        uint32_t entry = 0;
        if (length == 0 ||
            !frame::parse_system_param(arg, key, std::u16string_view(value, length), entry))
            return 0;
        l.sys_params.at(n).put(record, entry);
    }
    return 1;
}

// The sections of a SET, parsed over the record read from the device; nothing
// reaches the device unless every section parsed.
int parse_sections(const OtherModelCfgVariant &v, cali_info_arg &arg, const std::u16string &path,
                   std::span<uint8_t> record) {
    const ModelCfgMessages &m = v.messages;
    const IniFile ini(path);
    // A file that exists but cannot be read is not taken for one without keys.
    if (ini.read_failed()) {
        frame::report(arg, u"Fail to open the file [%s]\n", path.c_str());
        frame::report(arg, m.parse_model);
        return 0;
    }
    if (!parse_model_cfg_head(ini, record, arg, path, u"file %s can not miss VID.")) {
        frame::report(arg, m.parse_model);
        return 0;
    }
    frame::progress(arg, 3);
    if (!frame::parse_fw_param_lines(arg, path, u"Fail to open the file [%s]\n", v.layout.fw_params,
                                     record)) {
        frame::report(arg, m.parse_firmware);
        return 0;
    }
    if (!parse_algorithm_parameter(ini, v, arg, record)) {
        frame::report(arg, m.parse_algorithm);
        return 0;
    }
    if (!parse_system_parameter(ini, v.layout, arg, record)) {
        frame::report(arg, m.parse_system);
        return 0;
    }
    return 1;
}

}  // namespace

int get_model_cfg_other(cali_info_arg &arg, const std::u16string &path, Controller controller) {
    const OtherModelCfgVariant *v = variant_of(controller);
    if (!v) return 0;
    Record record(L::size, 0);
    if (!load_and_read(*v, arg, Request::get, record)) return 0;
    // A device string the file cannot hold fails the request before anything
    // is written.
    if (!head_strings_writable(record, {.bcd_device = true, .strings = true}, arg)) return 0;
    IniFile ini(path);
    if (!frame::check_get_target(arg, ini, path, frame::InfoRequest::model_configuration)) return 0;
    const int dumped = dump_sections(ini, *v, arg, path, record);
    const bool committed = ini.commit();
    if (dumped && !committed) {
        // Every key was set; the file itself could not be written. The
        // request's own message follows, as before.
        frame::report(arg, u"Fail to write the file [%s].\n", path.c_str());
        frame::report(arg, v->messages.dump_model);
        return 0;
    }
    return dumped;
}

int set_model_cfg_other(cali_info_arg &arg, const std::u16string &path, Controller controller) {
    const OtherModelCfgVariant *v = variant_of(controller);
    if (!v) return 0;
    Record record(L::size, 0);
    if (!load_and_read(*v, arg, Request::set, record)) return 0;
    // A file of another controller, or one that also holds a calibration, is
    // refused before anything of it is read.
    {
        const IniFile ini(path);
        const auto length = static_cast<uint32_t>(L::length.get(record));
        const auto major = static_cast<uint32_t>(L::major.get(record));
        if (!frame::check_record_identity(
                arg, ini, path,
                {frame::InfoRequest::model_configuration, controller, length, major, length,
                 major}) ||
            !frame::check_set_source(arg, ini, path))
            return 0;
    }
    if (!parse_sections(*v, arg, path, record)) return 0;
    frame::progress(arg, 4);
    const ryn_record_writer writer = ryn_set_model_cfg_fn(arg.handle);
    if (!writer) {
        if (v->messages.no_writer_first) frame::report(arg, *v->messages.no_writer_first);
        frame::report(arg, v->messages.no_function);
        frame::report(arg, v->messages.write_failure);
        return 0;
    }
    if (!writer(arg.handle, record.data())) {
        frame::report(arg, v->messages.write_failure);
        return 0;
    }
    return 1;
}

}  // namespace ryn::devinfo
