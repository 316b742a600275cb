// Compares two INI files by section and key, with the names and values as
// the library reads them: section and key names ignore ASCII case, the first
// of a repeated key counts, values lose their blanks and outer quotes. Values
// are compared as numbers where both sides are numbers ("0x10" equals "16",
// "1" equals "+1.0000000000e+000"), field by field where they are lists
// ("enable,2"). ryn uses it to show what a SET would change (device against
// file) and to compare two files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_file.h"

namespace ryn::cli {

// Whether two section or key names are one name to the INI store (ASCII case
// ignored).
bool same_ini_name(std::u16string_view a, std::u16string_view b);

// Whether two values read from INI files hold the same data. Both are split
// at commas into fields, and the fields are compared pairwise: two integers
// (read as the library reads them: "0x" hexadecimal, a leading 0 octal,
// otherwise decimal; 32 bits, a negative as its two's complement) by value,
// two numbers of which one is no integer as 32-bit floats (bit for bit, so
// that +0 and -0 differ as the device would store them), anything else as
// text, exactly.
bool same_value(std::u16string_view a, std::u16string_view b);

// One key that differs. left and right hold the values in UTF-8; the side
// that lacks the key has an empty value.
struct IniKeyDifference {
    enum class Kind {
        changed,     // on both sides, with values that differ
        only_left,   // the right side lacks the key (or its whole section)
        only_right,  // the left side lacks it
    };
    Kind kind = Kind::changed;
    std::string section;  // spelled as the side that has it (the left one when both do)
    std::string key;
    std::string left;
    std::string right;
};

struct IniComparison {
    // Sections only one side has (their keys are listed in keys too).
    std::vector<std::string> sections_only_left;
    std::vector<std::string> sections_only_right;
    // Sections in the left side's order, then the right side's own; keys in
    // each side's order, those of the left side first.
    std::vector<IniKeyDifference> keys;

    bool same() const { return keys.empty() && sections_only_left.empty() && sections_only_right.empty(); }
    // The differences of one kind.
    std::vector<IniKeyDifference> of_kind(IniKeyDifference::Kind kind) const;
};

// Compares two loaded files. With sections given, only those are compared
// (names ignore case); otherwise every section either side has.
IniComparison compare_ini(const platform::IniFile &left, const platform::IniFile &right,
                          const std::vector<std::string> &sections = {});

// Loads both files (UTF-8 paths) and compares them. Throws Failure (ryn's
// user-facing error) when a file exists but cannot be read; a missing file
// compares as an empty one.
IniComparison compare_ini_files(const std::string &left, const std::string &right,
                                const std::vector<std::string> &sections = {});

}  // namespace ryn::cli
