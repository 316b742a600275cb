// The INI store: the host's private-profile semantics, parsed once per
// operation, changed in memory, committed atomically once. Every byte of the
// file that a write does not change is written back as it was. Nothing is
// written without commit: destroying the object drops uncommitted changes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ryn::platform {

class IniFile {
  public:
    // Parses the file at path when it exists; a missing file is an empty store
    // that commit creates.
    explicit IniFile(std::u16string_view path);
    ~IniFile();
    IniFile(IniFile &&) noexcept;
    IniFile &operator=(IniFile &&) noexcept;

    // Value of key in section (case-insensitive, first match wins). An absent
    // or empty key yields def. The result is cut to cap - 1 characters and
    // terminated; returns the number of characters stored (without terminator).
    size_t get(std::u16string_view section, std::u16string_view key, char16_t *buf, size_t cap,
               std::u16string_view def = u"") const;
    // The same, without a length limit.
    std::u16string get(std::u16string_view section, std::u16string_view key,
                       std::u16string_view def = u"") const;

    // Whether the file exists but could not be read: no permission, held open
    // by another program that does not share it, a folder or other file that
    // is not regular, or too large to hold. Such a store reads as an empty
    // file and never commits; a reader must not take its missing keys for
    // the file's content. A missing file is no failure (an empty store).
    bool read_failed() const;
    // Whether the file has the section (case-insensitive), keys or not.
    bool has_section(std::u16string_view section) const;
    // The sections a read finds, in file order, each named as its first
    // occurrence spells it (a later repeat of a name is no section of its own).
    std::vector<std::u16string> section_names() const;
    // The keys a read finds in section and their values as a read returns
    // them, in file order: a key repeated in the section counts once, with its
    // first value. Empty when the file has no such section.
    std::vector<std::pair<std::u16string, std::u16string>> entries(std::u16string_view section) const;
    // Whether set can store the value: it holds no line break and no NUL.
    static bool writable_value(std::u16string_view value);
    // The text to store so that a read gives value back exactly: value
    // itself, or value in double quotes when a read would change it (blanks
    // at its ends are trimmed, one pair of matching outer quotes is removed).
    static std::u16string stored_form(std::u16string_view value);

    // Writes a value: creates the section (at the end of the file) and the key
    // (after the last key of its section) as needed, replaces an existing value
    // in place. The first write checks that the file can be created or written;
    // false when it cannot. Also false, with nothing changed, for text that
    // would break the file's structure: a line break or NUL anywhere, ']' in
    // the section, '=' in the key, a key that is empty or starts with ';' or '['.
    bool set(std::u16string_view section, std::u16string_view key, std::u16string_view value);

    // Replaces the file atomically (temporary file in the same folder, flush,
    // fsync, rename; a symbolic link is written through, permission bits are
    // kept) when anything was changed. False when the file cannot be written;
    // the old file then stays as it was and no temporary file is left.
    bool commit();

  private:
    struct Impl;
    // The store, with what the last commit wrote parsed (a read may parse it,
    // hence mutable); null when the file is too large to hold.
    Impl *settled() const;
    mutable std::unique_ptr<Impl> impl_;
};

}  // namespace ryn::platform
