// Version-string GET of the base controller: the device's version record into
// section "version string" of an INI file.
#include <string>

#include "devinfo/ini_values.h"
#include "formats/version_record.h"
#include "frame/paths.h"
#include "frame/sink.h"
#include "platform/ini_file.h"
#include "ryn_hid.h"
#include "text/checked_format.h"

namespace ryn::devinfo {

int get_version_string(cali_info_arg &arg, const std::u16string &path) {
    using R = VersionRecord;
    VersionBuffer record{};
    if (!ryn_get_fw_ver_str(arg.handle, record.data())) {
        frame::report(arg, u"Fail to get the version string.\n");
        return 0;
    }

    // The six keys in their order. A device string the file cannot hold fails
    // the request, naming its key, before anything is written; the first
    // write that fails ends the request, naming the file, and the keys
    // written before it stay in the file.
    const std::u16string section = u"version string";
    const std::u16string values[][2] = {
        {u"length", text::format_checked(u"%u", static_cast<unsigned>(R::length.get(record)))},
        {u"major_version", text::format_checked(u"0x%0*x", 2, static_cast<unsigned>(R::major.get(record)))},
        {u"minor_version", text::format_checked(u"0x%0*x", 2, static_cast<unsigned>(R::minor.get(record)))},
        {u"bootldr", layout::utf16_field(record, R::bootldr)},
        {u"normal", layout::utf16_field(record, R::normal)},
        {u"updater", layout::utf16_field(record, R::updater)},
    };
    for (const auto &[key, value] : values)
        if (!writable_text(key, value, arg)) return 0;
    platform::IniFile ini(path);
    bool written = true;
    for (const auto &[key, value] : values) {
        // A string with blanks at its ends, or in matching quotes, goes in
        // double quotes, so that reading the file gives it back exactly.
        if (!ini.set(section, key, platform::IniFile::stored_form(value))) {
            written = false;
            break;
        }
    }
    const bool committed = ini.commit();
    if (!written || !committed) {
        frame::report(arg, u"Fail to write the file [%s].\n", path.c_str());
        return 0;
    }
    return 1;
}

}  // namespace ryn::devinfo
