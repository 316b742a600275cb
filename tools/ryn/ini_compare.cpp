// Section by section, key by key comparison of two INI files.
#include "ini_compare.h"

#include <bit>
#include <cstdint>
#include <optional>

#include "cli.h"
#include "host_os.h"
#include "text/field_number.h"
#include "text/text.h"

namespace ryn::cli {

namespace {

std::u16string_view trimmed(std::u16string_view s) {
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// The fields of a value: the pieces between commas, blanks around each removed.
std::vector<std::u16string_view> fields_of(std::u16string_view value) {
    std::vector<std::u16string_view> fields;
    for (;;) {
        const size_t comma = value.find(u',');
        fields.push_back(trimmed(value.substr(0, comma)));
        if (comma == std::u16string_view::npos) return fields;
        value.remove_prefix(comma + 1);
    }
}

constexpr text::IntegerField any_integer{.bits = 32, .base = 0, .negatives = true};

bool same_field(std::u16string_view a, std::u16string_view b) {
    if (a == b) return true;
    const std::optional<uint32_t> ia = text::integer_field(a, any_integer);
    const std::optional<uint32_t> ib = text::integer_field(b, any_integer);
    if (ia && ib) return *ia == *ib;
    const std::optional<float> fa = text::float_field(a);
    const std::optional<float> fb = text::float_field(b);
    if (fa && fb) return std::bit_cast<uint32_t>(*fa) == std::bit_cast<uint32_t>(*fb);
    return false;
}

bool named_in(std::u16string_view name, const std::vector<std::u16string> &names) {
    for (const std::u16string &n : names)
        if (same_ini_name(name, n)) return true;
    return false;
}

using Entries = std::vector<std::pair<std::u16string, std::u16string>>;

const std::u16string *find_value(const Entries &entries, std::u16string_view key) {
    for (const auto &[k, v] : entries)
        if (same_ini_name(k, key)) return &v;
    return nullptr;
}

// The differences of one section, which at least one side has.
void compare_section(const platform::IniFile &left, const platform::IniFile &right, const std::u16string &section,
                     IniComparison &out) {
    const Entries l = left.entries(section);
    const Entries r = right.entries(section);
    const std::string name = text::to_utf8(section);
    using Kind = IniKeyDifference::Kind;
    for (const auto &[key, value] : l) {
        const std::u16string *other = find_value(r, key);
        if (!other)
            out.keys.push_back({Kind::only_left, name, text::to_utf8(key), text::to_utf8(value), {}});
        else if (!same_value(value, *other))
            out.keys.push_back({Kind::changed, name, text::to_utf8(key), text::to_utf8(value), text::to_utf8(*other)});
    }
    for (const auto &[key, value] : r)
        if (!find_value(l, key))
            out.keys.push_back({Kind::only_right, name, text::to_utf8(key), {}, text::to_utf8(value)});
}

}  // namespace

bool same_ini_name(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

bool same_value(std::u16string_view a, std::u16string_view b) {
    if (a == b) return true;
    const std::vector<std::u16string_view> fa = fields_of(a);
    const std::vector<std::u16string_view> fb = fields_of(b);
    if (fa.size() != fb.size()) return false;
    for (size_t i = 0; i < fa.size(); ++i)
        if (!same_field(fa[i], fb[i])) return false;
    return true;
}

std::vector<IniKeyDifference> IniComparison::of_kind(IniKeyDifference::Kind kind) const {
    std::vector<IniKeyDifference> found;
    for (const IniKeyDifference &d : keys)
        if (d.kind == kind) found.push_back(d);
    return found;
}

IniComparison compare_ini(const platform::IniFile &left, const platform::IniFile &right,
                          const std::vector<std::string> &sections) {
    std::vector<std::u16string> wanted;
    for (const std::string &s : sections) wanted.push_back(text::from_utf8(s));
    const auto compared = [&](std::u16string_view name) { return wanted.empty() || named_in(name, wanted); };

    IniComparison out;
    const std::vector<std::u16string> on_left = left.section_names();
    const std::vector<std::u16string> on_right = right.section_names();
    for (const std::u16string &section : on_left) {
        if (!compared(section)) continue;
        if (!named_in(section, on_right)) out.sections_only_left.push_back(text::to_utf8(section));
        compare_section(left, right, section, out);
    }
    for (const std::u16string &section : on_right) {
        if (!compared(section) || named_in(section, on_left)) continue;
        out.sections_only_right.push_back(text::to_utf8(section));
        compare_section(left, right, section, out);
    }
    return out;
}

IniComparison compare_ini_files(const std::string &left, const std::string &right,
                                const std::vector<std::string> &sections) {
    const platform::IniFile l(os::library_path(left));
    const platform::IniFile r(os::library_path(right));
    for (const auto &[file, ini] : {std::pair{&left, &l}, std::pair{&right, &r}})
        if (ini->read_failed()) throw Failure("cannot read the INI file '" + *file + "'");
    return compare_ini(l, r, sections);
}

}  // namespace ryn::cli
