// The 5810 flash driver list reader on arbitrary files. A load succeeds and
// fills at most the table's capacity with entries as a line can give them
// (a built-in entry keeps no driver; an extended one names a driver file of
// at most 127 characters without blanks); loading again over a scribbled
// table gives the same table; and the table written out as a list in the
// list's own line form loads back as the same table.
#include <cstdint>
#include <string>

#include "frame/definitions.h"
#include "fuzz/image_check.h"
#include "tests/support/scratch_dir.h"
#include "fwupdate/c5810/update.h"
#include "text/text.h"

namespace {

namespace F = ryn::fwupdate;
using ryn::fuzz::expect;
constexpr const char *kTarget = "fuzz_flash_driver_list";
const char *const kList = "ryn_flash_driver_list.ini";

ryn::support::ScratchDir &scratch() {
    static ryn::support::ScratchDir dir("fuzz_flash_driver_list");
    return dir;
}

bool same(const F::FlashDriverTable &a, const F::FlashDriverTable &b) {
    if (a.count != b.count) return false;
    for (size_t i = 0; i < a.count; ++i) {
        const F::FlashDriverEntry &x = a.entries[i], &y = b.entries[i];
        if (x.flash_id != y.flash_id || x.built_in != y.built_in ||
            x.driver_param != y.driver_param || x.driver_file != y.driver_file)
            return false;
    }
    return true;
}

bool is_blank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

F::FlashDriverTable load() {
    fw_update_arg arg{};  // no message sink
    expect(F::load_flash_driver_list(arg) == 1, kTarget, "an existing list did not load");
    return F::flash_driver_table();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    ryn::frame::set_definition_dir_for_testing(scratch().dir16());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    scratch().write(kList, data, size);
    const F::FlashDriverTable first = load();
    expect(first.count <= F::FlashDriverTable::capacity, kTarget, "more entries than the table");
    bool writable = true;
    for (size_t i = 0; i < first.count; ++i) {
        const F::FlashDriverEntry &e = first.entries[i];
        if (e.built_in != 0) {
            expect(e.driver_file.empty() && e.driver_param == 0, kTarget,
                   "a built-in entry keeps a driver");
            continue;
        }
        // A name made only of NULs scans to an empty driver file (the line's
        // field is taken as scan takes it); the set-up refuses it later.
        expect(e.driver_file.size() < F::FlashDriverEntry::file_capacity, kTarget,
               "a driver file name of a length no line can give");
        for (char16_t c : e.driver_file)
            expect(c != u'\0' && !is_blank(c), kTarget, "a driver file name holds a blank");
        writable = writable && !e.driver_file.empty() &&
                   ryn::text::from_utf8(ryn::text::to_utf8(e.driver_file)) == e.driver_file;
    }

    // Again, over a table left with other contents.
    F::FlashDriverTable &table = F::flash_driver_table();
    table.count = F::FlashDriverTable::capacity;
    for (F::FlashDriverEntry &e : table.entries) e = {0xFFFFFFFF, 0, u"stale", 7};
    expect(same(load(), first), kTarget, "a second load gave another table");

    // Written out and read back. An empty name, or one with an unpaired
    // surrogate (from a UTF-16 list), has no line that gives it back and is
    // left out of this check.
    if (!writable) return 0;
    std::u16string list;
    for (size_t i = 0; i < first.count; ++i) {
        const F::FlashDriverEntry &e = first.entries[i];
        list += ryn::text::format(u"%X,%d,%X,%s\n", e.flash_id, e.built_in, e.driver_param,
                                  e.built_in != 0 ? u"-" : e.driver_file.c_str());
    }
    scratch().write(kList, ryn::text::to_utf8(list));
    expect(same(load(), first), kTarget, "the table written out reads back otherwise");
    return 0;
}
