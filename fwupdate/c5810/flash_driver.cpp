// The flash driver list, the flash identification and the extended flash
// driver of the 5810 controller.
#include <algorithm>
#include <vector>

#include "frame/definitions.h"
#include "frame/sink.h"
#include "fwupdate/c5810/update.h"
#include "fwupdate/common/image_file.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/path.h"
#include "ryn_hid.h"
#include "text/text.h"

namespace ryn::fwupdate {

namespace {

constexpr uint32_t kPollMs = 100;
// The longest driver file path the host takes (wide characters).
constexpr size_t kDriverPathLimit = 1024;

}  // namespace

const FlashDriverEntry *FlashDriverTable::find(uint32_t flash_id) const {
    for (size_t i = 0; i < count; ++i)
        if (entries[i].flash_id == flash_id) return &entries[i];
    return nullptr;
}

namespace {

// Whether a path is taken against a folder: no leading separator and no drive.
bool is_relative(std::u16string_view path) {
    if (!path.empty() && (path[0] == u'/' || path[0] == u'\\')) return false;
    return !(path.size() >= 2 && path[1] == u':');
}

}  // namespace

FlashDriverTable &flash_driver_table() {
    static FlashDriverTable table;
    return table;
}

int load_flash_driver_list(fw_update_arg &arg) {
    // The list beside the host's executable.
    const frame::HostFilePath host = frame::host_file_path(u"ryn_flash_driver_list");
    if (!host.path) {
        frame::report(arg, host.failure);
        return 0;
    }
    auto reader = platform::TextReader::open(*host.path, platform::TextMode::Ansi);
    if (!reader) {
        frame::report(arg, u"\nFail to open the file [%s]\n", host.path->c_str());
        return 0;
    }
    // A new list replaces whatever an earlier update loaded.
    FlashDriverTable &table = flash_driver_table();
    table = FlashDriverTable{};
    if (const auto parts = platform::split_path(*host.path)) table.list_dir = parts->drive + parts->dir;
    // Lines that do not give all four fields, or whose driver path does
    // not fit its 127 characters, are skipped.
    std::u16string line;
    bool full_reported = false;
    while (reader->read_line(line)) {
        uint32_t flash_id = 0, param = 0;
        int32_t built_in = 0;
        char16_t file[FlashDriverEntry::file_capacity] = {};
        if (text::scan(line, u"%X,%d,%X,%s", &flash_id, &built_in, &param, file,
                       FlashDriverEntry::file_capacity) != 4)
            continue;
        if (table.count == FlashDriverTable::capacity) {
            if (!full_reported)
                frame::report(arg,
                              u"The flash driver list holds more than %u usable lines; the lines "
                              u"after the %uth are ignored.\n",
                              static_cast<uint32_t>(FlashDriverTable::capacity),
                              static_cast<uint32_t>(FlashDriverTable::capacity));
            full_reported = true;
            continue;
        }
        FlashDriverEntry &e = table.entries[table.count];
        e.flash_id = flash_id;
        e.built_in = built_in;
        if (built_in == 0) {
            e.driver_param = param;
            e.driver_file = file;
        }
        ++table.count;
    }
    return 1;
}

int read_flash_id(fw_update_arg &arg, uint32_t &flash_id) {
    // The read-identification command, then start.
    for (const auto &[reg, value] :
         {std::pair{sf_command_reg, sf_read_id_command}, std::pair{sf_status_reg, sf_start}}) {
        if (!ryn_set_reg(arg.handle, 0, 0, reg, value)) {
            frame::report(arg, u"Failed to set register[0x%08X]\n", reg);
            return 0;
        }
    }
    // The status reads 0 when the command is done; a chip that never
    // ends it gives up after sf_status_reads reads.
    uint32_t status = 1;
    for (uint32_t reads = 0; status != 0; ++reads) {
        if (reads == sf_status_reads) {
            frame::report(arg,
                          u"The serial flash did not finish reading its ID (register[0x%08X] "
                          u"still 0x%08X after %u reads).\n",
                          sf_status_reg, status, sf_status_reads);
            return 0;
        }
        platform::sleep_ms(kPollMs);
        if (!ryn_get_reg(arg.handle, 0, 0, sf_status_reg, &status)) {
            frame::report(arg, u"Failed to get register[0x%08X]\n", sf_status_reg);
            return 0;
        }
    }
    // The chip's identification, from the data register.
    if (!ryn_get_reg(arg.handle, 0, 0, sf_data_reg, &flash_id)) {
        frame::report(arg, u"Failed to get register[0x%08X]\n", sf_data_reg);
        return 0;
    }
    return 1;
}

int load_extend_flash_driver(fw_update_arg &arg, const std::u16string &driver_file,
                             uint32_t driver_param) {
    // A relative path names a file beside the list when one is there, as
    // the list is written for its own folder; otherwise the current folder's.
    std::optional<std::u16string> path;
    if (is_relative(driver_file) && !flash_driver_table().list_dir.empty()) {
        path = platform::full_path(flash_driver_table().list_dir + driver_file, kDriverPathLimit);
        if (path && !platform::file_exists(*path)) path.reset();
    }
    if (!path) path = platform::full_path(driver_file, kDriverPathLimit);
    if (!path) {
        frame::report(arg, u"\nFail to get the full path of [%s].\n", driver_file.c_str());
        return 0;
    }
    std::unique_ptr<ImageFile> file = ImageFile::open(*path);
    if (!file) {
        frame::report(arg, u"\nFail to open the file [%s]\n", driver_file.c_str());
        return 0;
    }
    // The whole driver, which must fit the driver buffer.
    if (file->size() > flash_driver_buffer_size) {
        frame::report(arg,
                      u"The flash driver [%s] of %llu bytes does not fit the driver buffer of %u "
                      u"bytes.\n",
                      driver_file.c_str(), static_cast<unsigned long long>(file->size()),
                      static_cast<uint32_t>(flash_driver_buffer_size));
        return 0;
    }
    std::vector<uint8_t> driver(static_cast<size_t>(file->size()));
    const size_t read = file->read(driver);
    if (read != driver.size()) {
        frame::report(arg, u"fread err %d\n", static_cast<int>(read));
        return 0;
    }
    if (!ryn_set_extend_flash_driver(arg.handle, driver_param, driver.data(),
                                     static_cast<uint32_t>(driver.size()))) {
        frame::report(arg, u"Failed to set extend flash driver\n");
        return 0;
    }
    return 1;
}

int set_flash_driver(fw_update_arg &arg) {
    uint32_t flash_id = 0;
    if (!read_flash_id(arg, flash_id)) {
        frame::report(arg, u"Failed to read flash ID\n");
        return 0;
    }
    frame::report(arg, u"Flash ID: %08X\n", flash_id);
    // The first line with this ID wins.
    const FlashDriverEntry *entry = flash_driver_table().find(flash_id);
    if (!entry) {
        frame::report(arg, u"Flash ID not support.\n");
        return 0;
    }
    // A driver the device already holds is not sent again.
    if (entry->built_in != 0) return 1;
    // Any other driver is loaded from its file.
    frame::report(arg, u"Set extend flash driver: %s\n", entry->driver_file.c_str());
    if (!load_extend_flash_driver(arg, entry->driver_file, entry->driver_param)) {
        frame::report(arg, u"Fail to set extend flash driver\n");
        return 0;
    }
    return 1;
}

}  // namespace ryn::fwupdate
