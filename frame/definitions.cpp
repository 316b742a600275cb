#include "frame/definitions.h"

#include <algorithm>
#include <array>
#include <memory>

#include "frame/sink.h"
#include "platform/file.h"
#include "platform/path.h"
#include "text/text.h"

namespace ryn::frame {
namespace {

constexpr DefinitionDescriptor kDescriptors[] = {
    {u"ryn_cali_info_param_def", 1792, false, u"Fail to open the file [%s]\n"},
    {u"ryn_cali_info_param_def_5810", 1792, true, u"\nFail to open the file [%s]\n"},
    {u"ryn_cali_info_param_def_5920", 2048, true, u"\nFail to open the file [%s]\n"},
    {u"ryn_cali_info_param_def_6cam_4320", 1792, true, u"\nFail to open the file [%s]\n"},
    {u"ryn_cali_info_param_def_6cam_5810", 1792, true, u"\nFail to open the file [%s]\n"},
    {u"algo_param_def", 767, false, u"\nFail to open the file [%s]\n"},
    {u"algo_param_def_5810", 1279, true, u"Fail to open the file [%s]\n"},
    {u"algo_param_def_5920", 919, true, u"Fail to open the file [%s]\n"},
    {u"algo_param_def_6cam_4320", 1279, true, u"Fail to open the file [%s]\n"},
    {u"algo_param_def_6cam_5810", 1279, true, u"Fail to open the file [%s]\n"},
};
constexpr size_t kFileCount = std::size(kDescriptors);

std::optional<std::u16string> &test_dir() {
    static std::optional<std::u16string> dir;
    return dir;
}

// A message of the load, through the operation's sink.
template <class... Args>
void say(const cali_info_arg *arg, text::format_string<std::type_identity_t<Args>...> format, Args... args) {
    if (arg) report(*arg, format, args...);
}

// Full path of the definition file in the definitions folder.
std::optional<std::u16string> definition_path(const DefinitionDescriptor &d, const cali_info_arg *arg) {
    HostFilePath host = host_file_path(d.base_name);
    if (!host.path) say(arg, host.failure);
    return host.path;
}

// White space as scanf skips it: space, \t \n \v \f \r.
bool is_blank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

size_t skip_blanks(std::u16string_view s, size_t i) {
    while (i < s.size() && is_blank(s[i])) ++i;
    return i;
}

}  // namespace

bool parse_definition_line(std::u16string_view line, uint32_t &number, std::u16string_view &name) {
    // "param_": matched character by character, no blanks skipped.
    constexpr std::u16string_view prefix = u"param_";
    if (!line.starts_with(prefix)) return false;
    // "%04u": blanks skipped, then sign and digits within four characters.
    size_t pos = skip_blanks(line, prefix.size());
    const std::u16string_view field = line.substr(pos, 4);
    size_t i = 0;
    bool negative = false;
    if (i < field.size() && (field[i] == u'-' || field[i] == u'+')) negative = field[i++] == u'-';
    const size_t first = i;
    uint32_t value = 0;
    for (; i < field.size() && field[i] >= u'0' && field[i] <= u'9'; ++i)
        value = value * 10 + static_cast<uint32_t>(field[i] - u'0');
    if (i == first) return false;
    pos += i;
    // "=": the very next character.
    if (pos >= line.size() || line[pos] != u'=') return false;
    // "%s": blanks skipped, then the run up to the next blank, terminator included in the capacity.
    pos = skip_blanks(line, pos + 1);
    size_t end = pos;
    while (end < line.size() && !is_blank(line[end])) ++end;
    if (end == pos || end - pos >= DefinitionEntry::name_capacity) return false;
    number = negative ? 0u - value : value;
    name = line.substr(pos, end - pos);
    return true;
}

std::u16string_view DefinitionEntry::name_view() const {
    return {name, std::char_traits<char16_t>::length(name)};
}

const DefinitionDescriptor &descriptor_of(DefinitionFile file) { return kDescriptors[static_cast<size_t>(file)]; }

DefinitionTable::DefinitionTable(DefinitionFile file) : file_(file) {
    const size_t capacity = descriptor_of(file).capacity;
    // Zeroed storage that lives as long as the module.
    storage_ = std::make_unique<DefinitionEntry[]>(capacity);
    entries_ = std::span<DefinitionEntry>(storage_.get(), capacity);
    listed_.assign(capacity, false);
    line_.assign(capacity, 0);
}

void DefinitionTable::note_used(size_t i) {
    if (listed_[i]) return;
    listed_[i] = true;
    used_.push_back(static_cast<uint32_t>(i));
}

void DefinitionTable::set_valid(size_t i, bool valid) {
    entries_[i].valid = valid ? 1 : 0;
    if (valid) note_used(i);  // an entry not listed is all zero already
}

void DefinitionTable::set_all_present_valid() {
    for (const uint32_t i : used_)
        if (entries_[i].present) entries_[i].valid = 1;
}

void DefinitionTable::clear_valid() {
    for (const uint32_t i : used_) entries_[i].valid = 0;
}

int DefinitionTable::find(std::u16string_view name) const {
    const auto it = index_.find(name.substr(0, DefinitionEntry::name_capacity));
    return it == index_.end() ? -1 : static_cast<int>(it->second);
}

void DefinitionTable::fill_from(platform::TextReader &reader, const DefinitionDescriptor &d) {
    // The whole table is cleared before the file is read. Only the entries
    // listed as used can hold anything, and an entry the file fills is
    // overwritten whole, so clearing the used entries the file leaves out,
    // once it has been read, ends in the same table.
    const std::vector<uint32_t> before = std::move(used_);
    used_.clear();
    for (const uint32_t i : before) listed_[i] = false;

    // Each piece of at most 255 characters is a line of its own. A line counts
    // when both fields convert, the number is below the capacity and the name
    // (up to the first white space) fits its 128 characters with terminator.
    std::u16string_view line;
    uint32_t line_number = 1;
    for (; reader.read_line(line); line_number += line.ends_with(u'\n') ? 1 : 0) {
        uint32_t number = 0;
        std::u16string_view name;
        if (!parse_definition_line(line, number, name)) continue;
        if (number >= d.capacity) continue;
        DefinitionEntry &e = entries_[number];
        // The whole name field: a later line's shorter name leaves nothing of
        // the earlier one, not even past a NUL that the earlier name held
        // inside its run (the scan keeps such a NUL).
        char16_t *const end = std::copy(name.begin(), name.end(), e.name);
        std::fill(end, e.name + DefinitionEntry::name_capacity, u'\0');
        e.present = 1;
        e.valid = d.valid_at_load ? 1 : 0;
        line_[number] = line_number;
        note_used(number);
    }
    for (const uint32_t i : before)
        if (!listed_[i]) entries_[i] = DefinitionEntry{};

    // The names, each to the first entry in ascending order that has it.
    std::sort(used_.begin(), used_.end());
    index_.clear();
    index_.reserve(used_.size());
    for (const uint32_t i : used_) index_.try_emplace(entries_[i].name_view(), i);
}

void DefinitionTable::load_bytes(std::vector<uint8_t> bytes, const DefinitionDescriptor &d) {
    if (filled_from_ == bytes) {
        // The same entries present under the same names (the index stands);
        // an entry marked valid that the file leaves out is cleared again.
        std::erase_if(used_, [&](uint32_t i) {
            DefinitionEntry &e = entries_[i];
            if (e.present) {
                e.valid = d.valid_at_load ? 1 : 0;
                return false;
            }
            e = DefinitionEntry{};
            listed_[i] = false;
            return true;
        });
        return;
    }
    filled_from_.reset();  // a load that throws leaves no bytes to compare against
    platform::TextReader reader = platform::TextReader::over(bytes, platform::TextMode::Ansi);
    fill_from(reader, d);
    // The bytes are kept for the next load to compare, unless they are far
    // more than any table's names take (a line for each of 2048 entries with
    // a name at full length is under 300 KB): such a file is parsed every time.
    constexpr size_t kKeptBytes = size_t{1} << 20;
    if (bytes.size() <= kKeptBytes) filled_from_ = std::move(bytes);
}

DefinitionTable &definition_table(DefinitionFile file) {
    static std::array<std::unique_ptr<DefinitionTable>, kFileCount> tables;
    auto &slot = tables[static_cast<size_t>(file)];
    if (!slot) slot = std::make_unique<DefinitionTable>(file);
    return *slot;
}

int load_definitions(DefinitionFile file, const cali_info_arg *arg,
                     std::span<const std::u16string> fixed_keys) {
    const DefinitionDescriptor &d = descriptor_of(file);
    const auto path = definition_path(d, arg);
    if (!path) return 0;
    auto bytes = platform::read_binary(*path);
    if (!bytes) {
        say(arg, d.open_failure, path->c_str());
        return 0;
    }
    DefinitionTable &table = definition_table(file);
    table.load_bytes(std::move(*bytes), d);
    // Names an INI file does not tell apart: keys match without regard to
    // ASCII case.
    auto folded = [](std::u16string_view s) {
        std::u16string out(s);
        for (char16_t &c : out)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        return out;
    };
    std::unordered_map<std::u16string, uint32_t> fixed;
    for (const std::u16string &k : fixed_keys) fixed.try_emplace(folded(k), 0);
    std::unordered_map<std::u16string, uint32_t> first;  // folded name -> first entry
    for (const uint32_t i : table.used_) {  // ascending since the load
        const DefinitionEntry &e = table.entries_[i];
        if (!e.present) continue;
        std::u16string key = folded(e.name_view());
        if (fixed.contains(key))
            say(arg, u"[Warning] The definition file [%s] names %s at line %u, a fixed key of its section.\n",
                path->c_str(), e.name, table.line_[i]);
        // Names equal as they stand are the description's own case: the GET
        // writes the key twice and the second write wins.
        const auto [it, added] = first.try_emplace(std::move(key), i);
        if (!added && table.entries_[it->second].name_view() != e.name_view())
            say(arg,
                u"[Warning] The definition file [%s] names %s at line %u and %s at line %u, which "
                u"an INI file does not tell apart.\n",
                path->c_str(), table.entries_[it->second].name, table.line_[it->second], e.name,
                table.line_[i]);
    }
    return 1;
}

namespace {
// The steps' messages, made once where the format check runs at compile time.
constexpr text::format_string<> kNoFailure{u""};
constexpr text::format_string<> kNoModule{u"Fail to GetModuleFileName.\n"};
constexpr text::format_string<> kNoSplit{u"Fail to split the path.\n"};
constexpr text::format_string<> kNoPath{u"Fail to make the path.\n"};
}  // namespace

HostFilePath host_file_path(std::u16string_view base_name) {
    std::u16string drive, dir;
    if (test_dir()) {
        dir = *test_dir();
    } else if (const auto chosen = platform::environment_path(definitions_dir_variable)) {
        // The host's own folder: a relative one is taken against the current
        // directory of this call.
        const auto full = platform::full_path(*chosen);
        if (!full) return {std::nullopt, kNoPath};
        dir = *full;
    } else {
        const auto exe = platform::executable_path();
        if (!exe) return {std::nullopt, kNoModule};
        const auto parts = platform::split_path(*exe);
        if (!parts) return {std::nullopt, kNoSplit};
        drive = parts->drive;
        dir = parts->dir;
    }
    auto path = platform::make_path(drive, dir, base_name, u"ini");
    if (!path) return {std::nullopt, kNoPath};
    return {std::move(path), kNoFailure};
}

void set_definition_dir_for_testing(std::optional<std::u16string> dir) { test_dir() = std::move(dir); }

}  // namespace ryn::frame
