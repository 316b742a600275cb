// The definition-file loader as a whole, on arbitrary files: the first input
// byte chooses one of the ten files, the rest is its contents. A load
// succeeds; every entry is either absent and all zero, or present with a
// name run of at most 127 units without blanks, zero-filled behind it, and the
// file's valid-at-load mark; the lookup finds each name's first entry; loading
// again over a table another file left gives the same table; and the table written out
// as "param_%04u=%s" lines loads back as the same table. (A NUL inside a
// name's run is kept in the field as the line scanner keeps it; such a name is
// not written out.) The tables are heap arrays of their capacity, so a write
// past an entry or the table is reported by AddressSanitizer. The table the
// second load goes over is made for the input: every entry the input names
// holds a longer name there, and every 61st entry besides one of 127 units (a
// fixed file naming every seventh entry cost more than the rest of an input).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "frame/definitions.h"
#include "fuzz/image_check.h"
#include "tests/support/scratch_dir.h"
#include "text/text.h"

namespace {

namespace Fr = ryn::frame;
using ryn::fuzz::expect;
constexpr const char *kTarget = "fuzz_definitions";
constexpr size_t kFiles = 10;

ryn::support::ScratchDir &scratch() {
    static ryn::support::ScratchDir dir("fuzz_definitions");
    return dir;
}

// A folder for the file the second load goes over, of the same name.
ryn::support::ScratchDir &full() {
    static ryn::support::ScratchDir dir("fuzz_definitions_full");
    return dir;
}

bool is_blank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// Loads the file; its table.
std::span<const Fr::DefinitionEntry> load(Fr::DefinitionFile file) {
    cali_info_arg arg{};  // no message sink
    expect(Fr::load_definitions(file, &arg) == 1, kTarget, "an existing file did not load");
    return Fr::definition_table(file).entries();
}

bool same(std::span<const Fr::DefinitionEntry> a, const std::vector<Fr::DefinitionEntry> &b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(Fr::DefinitionEntry)) == 0;
}

std::string file_name(Fr::DefinitionFile file) {
    const std::u16string_view base = Fr::descriptor_of(file).base_name;
    return ryn::text::to_utf8(std::u16string(base)) + ".ini";
}

// The lines of a table with other contents than the first load's: every
// entry the first load filled named one unit longer than there (at most 127
// units), and every 61st entry besides named at 127 units.
std::string other_contents(const std::vector<Fr::DefinitionEntry> &first) {
    constexpr size_t kLongest = Fr::DefinitionEntry::name_capacity - 1;
    std::string text;
    for (size_t i = 0; i < first.size(); ++i) {
        if (!first[i].present && i % 61 != 0) continue;
        const size_t length =
            first[i].present ? std::min(first[i].name_view().size() + 1, kLongest) : kLongest;
        text += "param_" + std::to_string(i) + "=" + std::string(length, 'x') + "\n";
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    ryn::frame::set_definition_dir_for_testing(scratch().dir16());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const auto file = static_cast<Fr::DefinitionFile>(data[0] % kFiles);
    const Fr::DefinitionDescriptor &d = Fr::descriptor_of(file);
    const std::string name = file_name(file);
    scratch().write(name, data + 1, size - 1);
    // The first load's table, kept in storage reused from input to input.
    static std::vector<Fr::DefinitionEntry> first;
    const std::span<const Fr::DefinitionEntry> loaded = load(file);
    first.assign(loaded.begin(), loaded.end());
    expect(first.size() == d.capacity, kTarget, "the table is not of its capacity");
    bool writable = true;
    for (const Fr::DefinitionEntry &e : first) {
        if (!e.present) {
            expect(e.valid == 0 && e.name[0] == u'\0', kTarget, "an absent entry is not empty");
            continue;
        }
        expect(e.valid == (d.valid_at_load ? 1u : 0u), kTarget, "a wrong valid mark at load");
        // The field holds the name's run as scanned (a NUL inside it is kept,
        // as scan keeps it), then zeros; the last unit is always a terminator.
        size_t run = Fr::DefinitionEntry::name_capacity;
        while (run > 0 && e.name[run - 1] == u'\0') --run;
        expect(run < Fr::DefinitionEntry::name_capacity, kTarget, "a name without terminator");
        for (size_t i = 0; i < run; ++i)
            expect(!is_blank(e.name[i]), kTarget, "a name holds a blank");
        const std::u16string_view n = e.name_view();
        writable = writable && !n.empty() && n.size() == run &&
                   ryn::text::from_utf8(ryn::text::to_utf8(std::u16string(n))) == n;
    }

    // The lookup answers as a scan in ascending order would: every present
    // name gives its first entry.
    Fr::DefinitionTable &table = Fr::definition_table(file);
    std::map<std::u16string_view, int> first_of;
    for (size_t i = 0; i < first.size(); ++i)
        if (first[i].present) first_of.try_emplace(first[i].name_view(), static_cast<int>(i));
    for (const auto &[n, at] : first_of)
        expect(table.find(n) == at, kTarget, "the lookup missed the first entry");

    // Again, over a table left with other contents: longer names in every
    // entry the input fills, names in others, and every entry marked valid.
    full().write(name, other_contents(first));
    Fr::set_definition_dir_for_testing(full().dir16());
    load(file);
    for (size_t i = 0; i < table.size(); ++i) table.set_valid(i, true);
    Fr::set_definition_dir_for_testing(scratch().dir16());
    expect(same(load(file), first), kTarget, "a second load gave another table");

    // Written out and read back. A name with a NUL inside its run, or with an
    // unpaired surrogate (from a UTF-16 file), has no line that gives it back
    // and is left out of this check.
    if (!writable) return 0;
    std::u16string text;
    for (size_t i = 0; i < first.size(); ++i)
        if (first[i].present)
            text += ryn::text::format(u"param_%04u=%s\n", static_cast<uint32_t>(i), first[i].name);
    scratch().write(name, ryn::text::to_utf8(text));
    expect(same(load(file), first), kTarget, "the table written out reads back otherwise");
    return 0;
}
