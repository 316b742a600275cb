// The 5920 controller's banked image: a flash image from address 0 whose
// header holds up to eight 24576-byte code banks, the model configuration and
// the calibration information; the device's firmware header record words
// that the update changes, its flash and its mask ROM mode.
// Includes only the standard library and formats/.
#pragma once

#include <cstdint>
#include <span>
#include <cstddef>

#include "formats/layout.h"

namespace ryn::fwupdate {

// Header at file offset 0: the first three words big-endian, the rest
// little-endian. A file offset is also the flash address of its byte.
struct BankedHeader {
    static constexpr size_t size = 0x58;
    static constexpr size_t checksum_from = 12;  // the checksum covers [12, header len)
    static constexpr uint32_t magic_value = 0x5920A6A7;
    static constexpr uint32_t max_banks = 8;
    static constexpr uint32_t bank_size = 0x6000;

    static constexpr layout::Field header_len{"header len", 0x00, 4, layout::Endian::big};
    static constexpr layout::Field magic{"header magic", 0x04, 4, layout::Endian::big};
    static constexpr layout::Field checksum{"header checksum", 0x08, 4, layout::Endian::big};
    static constexpr layout::Field boot_word{"flash boot word", 0x0C, 4};
    static constexpr layout::Field reserved{"reserved", 0x10, 12};
    static constexpr layout::Field bank_num{"bank num", 0x1C, 4};
    static constexpr layout::Array bank_address{"bank address", 0x20, 4, max_banks};
    static constexpr layout::Field model_ofs{"model config ofs", 0x40, 4};
    static constexpr layout::Field model_len{"model config length", 0x44, 4};
    static constexpr layout::Field model_crc{"model config crc", 0x48, 4};
    static constexpr layout::Field cali_ofs{"cali info ofs", 0x4C, 4};
    static constexpr layout::Field cali_len{"cali info length", 0x50, 4};
    static constexpr layout::Field cali_crc{"cali info crc", 0x54, 4};

    static constexpr layout::Field fields[] = {
        header_len, magic,     checksum,  boot_word, reserved, bank_num, bank_address.whole(),
        model_ofs,  model_len, model_crc, cali_ofs,  cali_len, cali_crc};
};
static_assert(layout::well_formed(BankedHeader::fields, BankedHeader::size));
static_assert(BankedHeader::cali_crc.end() == BankedHeader::size);

// The header dump.
inline constexpr layout::DumpRow banked_header_dump[] = {
    {BankedHeader::header_len, u"header len:"},
    {BankedHeader::magic, u"header magic:"},
    {BankedHeader::checksum, u"header checksum:"},
    {BankedHeader::bank_num, u"bank num:", 2},
    {BankedHeader::bank_address.at(0), u"bank[0] address:"},
    {BankedHeader::bank_address.at(1), u"bank[1] address:"},
    {BankedHeader::bank_address.at(2), u"bank[2] address:"},
    {BankedHeader::bank_address.at(3), u"bank[3] address:"},
    {BankedHeader::bank_address.at(4), u"bank[4] address:"},
    {BankedHeader::bank_address.at(5), u"bank[5] address:"},
    {BankedHeader::bank_address.at(6), u"bank[6] address:"},
    {BankedHeader::bank_address.at(7), u"bank[7] address:"},
    {BankedHeader::model_ofs, u"model config ofs:"},
    {BankedHeader::model_len, u"model config length:"},
    {BankedHeader::model_crc, u"model config crc:"},
    {BankedHeader::cali_ofs, u"cali info ofs:"},
    {BankedHeader::cali_len, u"cali info length:"},
    {BankedHeader::cali_crc, u"cali info crc:"},
};

// The 5920's firmware header record (96 bytes reserved); the update changes
// two of its words.
struct BankedFwHeaderRecord {
    static constexpr size_t size = 96;
    static constexpr layout::Field boot_sum{"boot word byte sum", 8, 4};
    static constexpr layout::Field boot_word{"flash boot word", 12, 4};
    static constexpr layout::Field fields[] = {boot_sum, boot_word};

    static constexpr uint32_t boot_from_flash = 0x4266AA55;
    static constexpr uint32_t boot_sum_value = 0x1A7;  // 0x42 + 0x66 + 0xAA + 0x55
    static constexpr uint32_t no_boot = 0xFFFFFFFF;
};
static_assert(layout::well_formed(BankedFwHeaderRecord::fields, BankedFwHeaderRecord::size));
static_assert(0x42 + 0x66 + 0xAA + 0x55 == BankedFwHeaderRecord::boot_sum_value);

// The flash: 262144 bytes from address 0, which an image fills at most.
inline constexpr size_t banked_flash_size = 0x40000;
// Flash byte a reads at device address read_base + a.
inline constexpr uint32_t banked_flash_read_base = 0x80000000;
// The ryn_set_dev_mode value that switches the controller to its mask ROM.
inline constexpr uint32_t banked_mode_mask_rom = 1;

}  // namespace ryn::fwupdate
