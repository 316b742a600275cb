// Update mode, update method and default model configuration decisions, and
// the three built-in default model configuration tables.
#include <array>
#include <string>

#include "formats/model_cfg_record.h"
#include "frame/sink.h"
#include "fwupdate/base/update.h"
#include "ryn_hid.h"

namespace ryn::fwupdate {

using VR = devinfo::VersionRecord;

// --- Default model configuration tables ---------------------------------------

namespace {

// What tells the tables apart: size, header word (length, minor and major
// version), the record form whose field positions they use (0x101: no
// bcdDevice; 0x102: bcdDevice at 8, left 0) and the LED settings.
struct TableForm {
    size_t size;
    uint32_t header_word;
    uint16_t form_version;
    uint8_t led_async;
    uint16_t led_delay_us;
};
constexpr layout::Field header_word{"header word", 0, 4};
constexpr std::u16string_view texts[] = {u"K390", u"321", u"Corvalistrand", u"OpticalTouchScreen",
                                         u"0000"};

template <size_t N>
constexpr std::array<uint8_t, N> make_table(const TableForm &table) {
    const devinfo::ModelCfgForm &form = *devinfo::model_cfg_form(table.form_version);
    std::array<uint8_t, N> r{};
    header_word.put(r, table.header_word);
    form.vid.put(r, 0x0408);
    form.pid.put(r, 0x3001);
    for (size_t t = 0; t < std::size(texts); ++t)
        for (size_t i = 0; i < texts[t].size(); ++i)
            layout::Field{"text", form.strings[t].offset + 2 * i, 2}.put(r, texts[t][i]);
    form.led_async.put(r, table.led_async);
    form.led_delay_us.put(r, table.led_delay_us);
    return r;
}

constexpr auto table_v1_0_2 = make_table<220>({220, 0x010000DC, 0x101, 0, 0});
constexpr auto table_v1_1 = make_table<1532>({1532, 0x010105FC, 0x101, 1, 1000});
constexpr auto table_v1_2 = make_table<5630>({5630, 0x010215FE, 0x102, 1, 1000});
static_assert(table_v1_0_2[208] == 0 && table_v1_1[208] == 1 && table_v1_2[210] == 1);
static_assert(table_v1_1[209] == (1000 & 0xFF) && table_v1_2[212] == (1000 >> 8));

}  // namespace

const DefaultModelCfg default_model_cfg_v1_0_2{u"V1.0_2", table_v1_0_2};
const DefaultModelCfg default_model_cfg_v1_1{u"V1.1", table_v1_1};
const DefaultModelCfg default_model_cfg_v1_2{u"V1.2", table_v1_2};

// --- Helpers ----------------------------------------------------------------------

namespace {

// ryn_fw_ver_str_to_u64 on a terminated copy of the text.
bool version_number(std::u16string_view text, uint64_t &number) {
    const std::u16string copy(text);
    return ryn_fw_ver_str_to_u64(&number, reinterpret_cast<const ryn_wchar *>(copy.c_str())) != 0;
}

// Converts the thresholds in their order; false when any fails.
template <size_t N>
bool threshold_numbers(const char16_t *const (&texts)[N], uint64_t (&numbers)[N]) {
    for (size_t i = 0; i < N; ++i)
        if (!version_number(texts[i], numbers[i])) return false;
    return true;
}

}  // namespace

// --- Decisions ----------------------------------------------------------------------

int update_base_by_mode(fw_update_arg &arg, FwImage &image) {
    frame::report(arg, u"-----------------------\nCheck the update mode ");
    if (!check_update_mode(arg, image)) {
        frame::report(arg, u"Fail to check the update mode\n");
        return 0;
    }
    switch (arg.update_mode) {
        case RYN_UPDATE_NORMAL:
            frame::report(arg, u"-> Normal\n");
            if (!update_normal_code(arg, image)) {
                frame::report(arg, u"Fail to update normal code\n");
                return 0;
            }
            return 1;
        case RYN_UPDATE_FLASH_LAYOUT:
            frame::report(arg, u"-> Flash Layout\n");
            return update_flash_layout(arg, image);
        default:
            frame::report(arg, u"-> Unsupport update mode[%d].\n",
                          static_cast<int>(arg.update_mode));
            return 0;
    }
}

int check_update_mode(fw_update_arg &arg, const FwImage &image) {
    if (arg.update_mode != RYN_UPDATE_AUTO) return 1;
    UpdateMethod method;
    if (!get_update_method(arg, method)) {
        frame::report(arg, u"Fail to get fw type");
        return 0;
    }
    if (method == UpdateMethod::g40) {
        // The image's normal version, from its version string area.
        uint64_t number;
        const bool converts =
            version_number(layout::utf16_field(image.version_area, VR::normal), number);
        arg.update_mode = converts ? RYN_UPDATE_FLASH_LAYOUT : RYN_UPDATE_NORMAL;
    } else {
        arg.update_mode = RYN_UPDATE_NORMAL;
    }
    return 1;
}

int get_update_method(fw_update_arg &arg, UpdateMethod &method) {
    method = UpdateMethod::none;
    frame::report(arg, u"----------------------------------\nCheck the FW mode ");
    // A device that runs its flash builder needs no version check.
    uint32_t mode = 0;
    const bool mode_read = ryn_get_fw_mode(arg.handle, &mode) != 0;
    if (mode_read && mode == fw_mode_flash_builder) {
        frame::report(arg, u" -> FlashBuilder Mode.\n");
        method = UpdateMethod::flash_builder;
        return 1;
    }
    if (mode_read && mode == fw_mode_normal)
        frame::report(arg, u" -> Normal Mode.\n");
    else if (mode_read && mode == fw_mode_update)
        frame::report(arg, u" -> Update Mode.\n");
    else
        frame::report(arg, u" -> Unknown\n");
    // The device's version string: its updater version picks the method.
    devinfo::VersionBuffer record{};
    if (!ryn_get_fw_ver_str(arg.handle, record.data())) {
        frame::report(arg, u"Fail to get the version string.");
        return 0;
    }
    // An updater version that does not convert is g40 firmware.
    uint64_t device;
    if (!version_number(layout::utf16_field(record, VR::updater), device)) {
        method = UpdateMethod::g40;
        return 1;
    }
    // The thresholds, converted the same way as the device's version.
    const char16_t *const texts[] = {version_g52, version_g53, version_g52_old};
    uint64_t numbers[3];
    if (!threshold_numbers(texts, numbers)) {
        frame::report(arg, u"Fail to convert version string to version number");
        return 0;
    }
    const uint64_t g52 = numbers[0], g53 = numbers[1], g52_old = numbers[2];
    // Highest threshold first; each is "at least".
    if (device >= g53) {
        frame::report(arg, u"----------------------------------\n Version >= %s\n", version_g53);
        method = UpdateMethod::g53;
    } else if (device >= g52) {
        frame::report(arg, u"----------------------------------\n Version >= %s\n", version_g52);
        method = UpdateMethod::g52;
    } else if (device >= g52_old) {
        frame::report(arg, u"----------------------------------\n Version >= %s\n",
                      version_g52_old);
        method = UpdateMethod::g52_old;
    } else {
        frame::report(arg, u"----------------------------------\n Version < %s\n", version_g52_old);
        method = UpdateMethod::g40;
    }
    return 1;
}

int update_normal_code(fw_update_arg &arg, const FwImage &image) {
    // Which sequence writes the normal code depends on what the device runs now.
    UpdateMethod method;
    if (!get_update_method(arg, method)) {
        frame::report(
            arg, u"Failed to determine the update method, the FW in the device might be error.\n");
        return 0;
    }
    // Sensors off unless the device already runs its update or flash builder code.
    uint32_t mode = 0;
    if (ryn_get_fw_mode(arg.handle, &mode) != 1 || mode == fw_mode_normal)
        ryn_set_sensor_ctrl(arg.handle, 0);
    switch (method) {
        case UpdateMethod::g40:
            return update_normal_code_g40(arg, image);
        case UpdateMethod::g52:
            return update_normal_code_g52(arg, image);
        case UpdateMethod::g52_old:
            return update_normal_code_g52_old(arg, image);
        case UpdateMethod::g53:
            return update_normal_code_g53(arg, image);
        case UpdateMethod::flash_builder:
            return update_normal_code_fb(arg, image);
        case UpdateMethod::none:
            break;
    }
    return 0;
}

int select_default_model_cfg(fw_update_arg &arg, FwImage &flash_builder,
                             std::span<const uint8_t> version_record) {
    frame::report(arg, u"Check the Need of Default Model Config Table -> ");
    // A device whose updater version does not convert needs no default table.
    uint64_t device;
    if (!version_number(layout::utf16_field(version_record, VR::updater), device)) {
        flash_builder.default_model_cfg = nullptr;
        return 1;
    }
    // The versions from which each table applies, and from which none is needed.
    const char16_t *const texts[] = {u"2.2.1103.1", u"2.3.1229.1", u"2.3.1311.2"};
    uint64_t numbers[3];
    if (!threshold_numbers(texts, numbers)) {
        frame::report(arg, u"Fail to convert version string to version number");
        return 0;
    }
    const uint64_t v1_1 = numbers[0], v1_2 = numbers[1], no_need = numbers[2];
    frame::report(arg, u"%llu -> ", static_cast<unsigned long long>(device));
    // Newest first: the device gets the table of the newest version it reaches.
    if (device >= no_need) {
        frame::report(arg, u"No need\n");
        flash_builder.default_model_cfg = nullptr;
    } else if (device >= v1_2) {
        frame::report(arg, u"V1.2\n");
        flash_builder.default_model_cfg = &default_model_cfg_v1_2;
    } else if (device >= v1_1) {
        frame::report(arg, u"V1.1\n");
        flash_builder.default_model_cfg = &default_model_cfg_v1_1;
    } else {
        frame::report(arg, u"V1.0_2\n");
        flash_builder.default_model_cfg = &default_model_cfg_v1_0_2;
    }
    return 1;
}

}  // namespace ryn::fwupdate
