// Definition files: small text files beside the host's executable (or in the
// folder RYN_USR_DEFINITIONS_DIR names) that map
// parameter numbers to the names under which the values appear in INI files.
// Each file has its own module-wide table, reloaded by every operation that
// uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file.h"
#include "ryn_usr.h"
#include "text/checked_format.h"

namespace ryn::frame {

// One entry of a definition table.
struct DefinitionEntry {
    static constexpr size_t name_capacity = 128;  // wide characters, terminator included
    uint32_t present;                             // 1 when the file defined this number
    uint32_t valid;                               // 1 when the parameter holds a value now
    char16_t name[name_capacity];                 // NUL-terminated

    std::u16string_view name_view() const;
};

// The ten definition files.
enum class DefinitionFile {
    cali_base,        // "ryn_cali_info_param_def"
    cali_5810,        // "ryn_cali_info_param_def_5810"
    cali_5920,        // "ryn_cali_info_param_def_5920"
    cali_6cam_4320,   // "ryn_cali_info_param_def_6cam_4320"
    cali_6cam_5810,   // "ryn_cali_info_param_def_6cam_5810"
    algo_base,        // "algo_param_def"
    algo_5810,        // "algo_param_def_5810"
    algo_5920,        // "algo_param_def_5920"
    algo_6cam_4320,   // "algo_param_def_6cam_4320"
    algo_6cam_5810,   // "algo_param_def_6cam_5810"
};

// What tells the files apart: base name, table capacity, whether loading marks
// every defined entry valid, and the message (with the full path as its %s)
// when the file cannot be opened. Every message goes to the operation's message
// sink: the library writes nothing to the host's console.
struct DefinitionDescriptor {
    std::u16string_view base_name;
    size_t capacity;
    bool valid_at_load;
    text::format_string<const char16_t *> open_failure;
};

const DefinitionDescriptor &descriptor_of(DefinitionFile file);

// The module-wide table of one definition file. Only a load writes the
// entries' names and present flags; the code that reads a device record
// marks entries valid through set_valid.
class DefinitionTable {
  public:
    explicit DefinitionTable(DefinitionFile file);

    DefinitionFile file() const { return file_; }
    size_t size() const { return entries_.size(); }
    std::span<const DefinitionEntry> entries() const { return entries_; }
    const DefinitionEntry &operator[](size_t i) const { return entries_[i]; }

    // Sets or clears the valid flag of entry i.
    void set_valid(size_t i, bool valid);
    // Marks every present entry valid (a record that holds every parameter).
    void set_all_present_valid();
    // Clears every valid flag.
    void clear_valid();

    // Index of the first present entry, in ascending order, whose name equals
    // name over at most 128 characters; -1 when none does. Answered from an
    // index of the names built at load, so a request that looks up every
    // name stays linear in their number.
    int find(std::u16string_view name) const;

  private:
    friend int load_definitions(DefinitionFile, const cali_info_arg *);
    // Makes the table what the file's lines define, as if every entry had
    // been zeroed first, but touches only the entries this load fills and
    // those that held something before it.
    void fill_from(platform::TextReader &reader, const DefinitionDescriptor &d);
    // Loads the file's bytes: read as above unless they are the bytes the
    // table was last filled from, which give the same names again, so then
    // only what changed since (valid marks, entries marked valid without a
    // name) goes back to what a load leaves.
    void load_bytes(std::vector<uint8_t> bytes, const DefinitionDescriptor &d);
    // Entry i may hold something from now on: the next load's clear covers it.
    void note_used(size_t i);

    DefinitionFile file_;
    std::unique_ptr<DefinitionEntry[]> storage_;
    std::span<DefinitionEntry> entries_;
    std::vector<uint32_t> used_;  // the entries that may be non-zero, each once
    std::vector<bool> listed_;    // per entry: listed in used_
    std::unordered_map<std::u16string_view, uint32_t> index_;  // name -> first present entry
    std::optional<std::vector<uint8_t>> filled_from_;  // the bytes of the last load
};

// The table of a file (it lives as long as the module).
DefinitionTable &definition_table(DefinitionFile file);

// Loads the file from the definitions folder (see host_file_path) into its table: 1 when
// the table was filled (an empty file fills it with nothing), 0 with a message
// when the file cannot be found or opened. arg is the operation's block for
// messages (nullptr, in tests: none are sent).
int load_definitions(DefinitionFile file, const cali_info_arg *arg);

// One line (a piece of at most 255 characters) of a definition file, by the
// rule of scanf's "param_%04u=%s": "param_" exactly at the start; blanks, then
// an optional sign and digits within four characters, the number negated
// modulo 2^32 after '-'; '=' right after them; blanks, then the name up to the
// next blank. True with number and name (a view into line) when the name fits
// the entry with its terminator, that is, has at most 127 characters.
bool parse_definition_line(std::u16string_view line, uint32_t &number, std::u16string_view &name);

// The environment variable that names the folder of the definition files and
// the flash driver list, instead of the host executable's.
inline constexpr const char *definitions_dir_variable = "RYN_USR_DEFINITIONS_DIR";

// Full path of a file named base_name with the extension "ini" in the folder
// that RYN_USR_DEFINITIONS_DIR names when it is set and not empty (made
// absolute), else in the host executable's directory (the process's main
// module, not this library's): the module file name, split, then made again.
// On failure path is empty and failure holds the step's message.
struct HostFilePath {
    std::optional<std::u16string> path;
    text::format_string<> failure;
};
HostFilePath host_file_path(std::u16string_view base_name);

// Test seam: the directory these files are looked for in, instead of the host
// executable's (with its trailing separator). Empty restores the real one.
void set_definition_dir_for_testing(std::optional<std::u16string> dir);

}  // namespace ryn::frame
