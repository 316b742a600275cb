// The INI store. The file is parsed once into lines that remember the exact
// bytes they came from; a write changes the text of one line or links a new
// line into the file order, and commit renders the bytes once: untouched lines
// are copied byte for byte, changed and new lines are encoded in the file's
// encoding. An index from (section, key), compared ASCII case-insensitively,
// to the line that holds the value makes every read and write O(1). The text
// of the file's lines is decoded into one buffer, so parsing a file costs no
// allocation per line; a line gets text of its own only when a write changes it.
//
// Rules of the format as this store reads it:
// - lines end with LF, CRLF or a lone CR; the last line may have no line end;
// - white space (space, tab, CR, LF, VT, FF, and Ctrl-Z, the end-of-file
//   character of old editors) around names and values is trimmed;
// - a line whose first non-blank character is ';' is a comment;
// - a line starting with '[' opens a section named by the text up to the first
//   ']' (anything after it is ignored); without a ']' it opens a section that
//   no name reaches, so its keys are never taken for the previous section's;
// - "key=value" splits at the first '='; a line without '=' (or with nothing
//   before it) is not a key: it is kept as it is and never read;
// - lines before the first section belong to no section and are never read;
// - the first occurrence of a section name is the section, as for the host's
//   own profile functions: a later repeat of the name (in any case) is kept
//   byte for byte, but its keys are neither read nor written, and new keys go
//   to the first occurrence;
// - a value wrapped in matching quotes ("..." or '...') loses them.
//
// Writes:
// - a new key goes right after the last key line of its section (or right
//   after the section line), so blank lines and comments that end a section
//   stay where they are; a new section goes to the end of the file;
// - a replaced value keeps the line's bytes up to the value (the key as the
//   file spells it, the spacing around '='); the old value and any white space
//   after it are replaced;
// - new and changed text is encoded like the file: UTF-8 with or without a
//   mark, or UTF-16 in the file's byte order. A file without a mark that holds
//   bytes that are not UTF-8 (read as Latin-1) gets its new text as UTF-8:
//   that reads back exactly, whatever bytes surround it;
// - new lines end with the file's most frequent line end (CRLF for a new file
//   or a file without any); a last line without a line end gets one when
//   something is added after it;
// - names and values that would change the file's structure are refused: line
//   breaks or NUL anywhere, ']' in a section name, '=' in a key, a key that is
//   empty or starts with ';' or '['.
//
// A path that is a symbolic link is written through to the file it points to;
// the file keeps its permission bits (and, where allowed, its owner).
#include "platform/ini_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "platform/encoding.h"
#include "platform/host_fs.h"
#include "platform/path.h"

namespace ryn::platform {
namespace {

constexpr size_t no_value = static_cast<size_t>(-1);

// ---- Line ends -------------------------------------------------------------

enum class Eol : uint8_t { Lf, CrLf, Cr };

void append_eol(std::string &out, Eol eol, Encoding enc) {
    std::u16string_view text = u"\r";
    if (eol == Eol::Lf) text = u"\n";
    if (eol == Eol::CrLf) text = u"\r\n";
    encode(text, enc, out);
}

// Whether any of the eight bytes of x is b (the classic zero-byte test on x ^ b...b).
constexpr bool has_byte(uint64_t x, uint8_t b) {
    const uint64_t v = x ^ (0x0101010101010101ull * b);
    return ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) != 0;
}

// Occurrences of b in bytes, found by memchr.
size_t count_byte(std::span<const uint8_t> bytes, uint8_t b) {
    size_t n = 0;
    const uint8_t *p = bytes.data(), *end = p + bytes.size();
    while (p < end) {
        const void *hit = std::memchr(p, b, static_cast<size_t>(end - p));
        if (!hit) break;
        ++n;
        p = static_cast<const uint8_t *>(hit) + 1;
    }
    return n;
}

// ---- Names and values ------------------------------------------------------

// Ctrl-Z counts too: old editors end a file with it, and the host's own
// profile functions take it for a blank.
bool is_blank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' ||
           c == u'\x1A';
}

std::u16string_view trim(std::u16string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// The value as a read returns it: trimmed, matching outer quotes removed.
std::u16string_view clean_value(std::u16string_view raw) {
    std::u16string_view v = trim(raw);
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == u'"' || v.front() == u'\''))
        v = v.substr(1, v.size() - 2);
    return v;
}

char16_t fold(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

// Hash of a name that ignores ASCII case: every unit is hashed with bit 5 set,
// which gives both cases of a letter one value (and merges a few other pairs,
// which only costs a comparison). Four units per step.
uint64_t name_hash(std::u16string_view s, uint64_t seed = 0) {
    uint64_t h = seed ^ (s.size() * 0x9E3779B97F4A7C15ull);
    const auto step = [&h](uint64_t chunk) {
        h = (h ^ (chunk | 0x0020002000200020ull)) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    };
    // Whole chunks with a fixed-size copy (one load), then the rest.
    for (; s.size() >= 4; s.remove_prefix(4)) {
        uint64_t chunk;
        std::memcpy(&chunk, s.data(), sizeof chunk);
        step(chunk);
    }
    if (!s.empty()) {
        uint64_t chunk = 0;
        for (size_t i = 0; i < s.size(); ++i) chunk |= uint64_t{s[i]} << (16 * i);
        step(chunk);
    }
    return h;
}

// Hash and equality of names, ASCII case-insensitive. Transparent, so that a
// lookup by string_view needs no folded copy.
struct FoldHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view s) const { return static_cast<size_t>(name_hash(s)); }
};
struct FoldEqual {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const {
        if (a.size() != b.size()) return false;
        // Most lookups spell the name as the file does: one compare of the
        // units' bytes (a compare of char16_t strings goes unit by unit).
        if (std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0) return true;
        for (size_t i = 0; i < a.size(); ++i)
            if (fold(a[i]) != fold(b[i])) return false;
        return true;
    }
};
template <class T>
using NameMap = std::unordered_map<std::u16string, T, FoldHash, FoldEqual>;

bool breaks_line(std::u16string_view s) {
    return s.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos;
}
bool writable_section(std::u16string_view s) {
    return s.find(u']') == std::u16string_view::npos;
}
bool writable_key(std::u16string_view k) {
    return !k.empty() && k.size() < UINT32_MAX && k.find(u'=') == std::u16string_view::npos &&
           k.front() != u';' && k.front() != u'[';
}

}  // namespace

// ---- The store -------------------------------------------------------------

struct IniFile::Impl {
    struct Line {
        // Content without the line end, as it reads now: text_len units at
        // text_off in the decoded file for a line as the file has it, text
        // otherwise (changed and new lines).
        std::u16string text;
        size_t text_off = 0;
        size_t text_len = 0;
        size_t src_off = 0;  // lines from the file: content bytes in source
        size_t src_len = 0;
        size_t kept_bytes = 0;        // changed lines: source bytes kept before the new value
        size_t value_pos = no_value;  // key lines: where the value starts in text
        uint32_t key_off = 0;         // key lines: the key (trimmed) in text
        uint32_t key_len = 0;
        uint32_t section = 0;  // key lines: id of their section
        uint32_t next = 0;     // next line in file order; 0 ends the file
        uint8_t eol_len = 0;   // lines from the file: bytes of the line end (0: none)
        bool from_file = false;
        bool changed = false;
        bool indexed = false;  // key lines: the index finds this line for its key
    };
    struct Section {
        uint32_t id = 0;      // all occurrences of a name share it
        uint32_t anchor = 0;  // new keys go right after this line
    };

    std::string path;
    std::vector<uint8_t> source;
    std::u16string decoded;  // the text of the file's lines, one after another
    Encoding encoding = Encoding::Bytes8;
    size_t mark_len = 0;  // byte-order mark at the start of source
    size_t tail_off = 0;  // bytes from here on are no line (odd UTF-16 byte)
    Eol new_eol = Eol::CrLf;
    std::vector<Line> lines;  // lines[0] is the head of the file order, no line itself
    uint32_t last = 0;
    NameMap<Section> sections;
    // The section and the key line the last read found: a run of reads of
    // one section in file order (a dump read back) hashes the section's name
    // once and finds each key on the line after the last one.
    mutable const NameMap<Section>::value_type *last_section = nullptr;
    mutable uint32_t last_found = 0;
    // (section id, key) -> line: open addressing with linear probing. A slot
    // holds a key line's index (0: empty) and the hash of its (section, key),
    // side by side: a probe reads one place.
    struct Slot {
        uint32_t line = 0;
        uint32_t hash = 0;
    };
    std::vector<Slot> slots;
    size_t key_count = 0;

    // What the last commit wrote, parsed when the store is read or written
    // again: most stores are dropped right after their commit.
    std::optional<std::vector<uint8_t>> written;

    bool load_failed = false;  // the file exists but could not be read: never overwrite it
    bool writable = false;     // the write check has passed
    bool dirty = false;
    std::string target;  // where commit writes, known once writable

    explicit Impl(std::u16string_view p) {
        // A path that the OS calls cannot take exactly (a NUL, an unpaired
        // surrogate) would name another file: the store reads defaults and
        // refuses writes, as for a file that cannot be read.
        const std::optional<std::string> os = to_os_path(p);
        if (os) path = *os;
        std::vector<uint8_t> bytes;
        using host_fs::ReadResult;
        switch (os ? host_fs::read_regular_file(path, bytes) : ReadResult::Failed) {
            case ReadResult::Ok:
                parse(std::move(bytes));
                break;
            case ReadResult::Missing:
                parse({});
                break;
            case ReadResult::Failed:
                load_failed = true;
                parse({});
                break;
        }
    }

    void parse(std::vector<uint8_t> bytes) {
        source = std::move(bytes);
        lines.assign(1, Line{});
        last = 0;
        last_section = nullptr;
        last_found = 0;
        sections.clear();
        slots.clear();
        key_count = 0;
        const DetectedEncoding detected = detect_encoding(source);
        encoding = detected.encoding;
        mark_len = detected.mark_size;
        const Encoding enc = encoding;
        const size_t w = unit_size(enc);
        const std::span<const uint8_t> body = std::span<const uint8_t>(source).subspan(mark_len);
        const size_t units = body.size() / w;
        tail_off = mark_len + units * w;
        // Room for every line at once: as many as the LF bytes, which counts
        // a CRLF once, or the CR bytes of a file without LF. (A file that
        // mixes LF with lone CRs has more, and the line and key tables grow
        // for them; a line end byte may also be half of a UTF-16 unit: this
        // only sizes the reservations.)
        size_t breaks = count_byte(source, '\n');
        if (breaks == 0) breaks = count_byte(source, '\r');
        lines.reserve(breaks + 2);
        reserve_keys(breaks + 1);
        // Text that decodes unit for unit (UTF-16, or 8-bit text that is all
        // ASCII) is decoded at once, and a line's text sits where its bytes
        // do; other text is decoded line by line.
        decoded.clear();
        const bool unit_for_unit = w == 2 || is_ascii(body);
        decoded.reserve(units);  // 8-bit text never decodes to more units than bytes
        if (unit_for_unit) decode_append(body.first(units * w), enc, decoded);

        size_t eol_count[3] = {0, 0, 0};
        Section *current = nullptr;
        size_t start = 0;
        while (start < units) {
            const size_t end = line_end(body, start, units, enc);
            const char16_t c = end < units ? code_unit(body, end, enc) : 0;
            size_t eol_units = 0;
            if (end < units) {
                const bool crlf =
                    c == u'\r' && end + 1 < units && code_unit(body, end + 1, enc) == u'\n';
                const Eol eol = c == u'\n' ? Eol::Lf : crlf ? Eol::CrLf : Eol::Cr;
                ++eol_count[static_cast<int>(eol)];
                eol_units = crlf ? 2 : 1;
            }
            const uint32_t index = link_after(last, Line{});
            Line &line = lines[index];
            line.from_file = true;
            line.src_off = mark_len + start * w;
            line.src_len = (end - start) * w;
            line.eol_len = static_cast<uint8_t>(eol_units * w);
            if (unit_for_unit) {
                line.text_off = start;
                line.text_len = end - start;
            } else {
                line.text_off = decoded.size();
                decode_append(content(line), enc, decoded);
                line.text_len = decoded.size() - line.text_off;
            }
            classify(index, current);
            start = end + eol_units;
        }
        // The most frequent line end; CRLF where there is none or on a tie.
        new_eol = Eol::CrLf;
        for (Eol e : {Eol::Lf, Eol::Cr})
            if (eol_count[static_cast<int>(e)] > eol_count[static_cast<int>(new_eol)]) new_eol = e;
    }

    // The first line end (LF or CR) at or after start, or units.
    static size_t line_end(std::span<const uint8_t> body, size_t start, size_t units,
                           Encoding enc) {
        if (unit_size(enc) == 1) {
            // 8-bit text: eight bytes per step until a step holds a line end.
            const uint8_t *p = body.data();
            size_t end = start;
            for (; end + 8 <= units; end += 8) {
                uint64_t eight;
                std::memcpy(&eight, p + end, sizeof eight);
                if (has_byte(eight, '\n') || has_byte(eight, '\r')) break;
            }
            while (end < units && p[end] != '\n' && p[end] != '\r') ++end;
            return end;
        }
        size_t end = start;
        for (char16_t c; end < units && (c = code_unit(body, end, enc)) != u'\n' && c != u'\r';)
            ++end;
        return end;
    }

    // The text of a line as it reads now.
    std::u16string_view text_of(const Line &line) const {
        if (line.from_file && !line.changed)
            return std::u16string_view(decoded).substr(line.text_off, line.text_len);
        return line.text;
    }

    // The content bytes of a line read from the file (without its line end).
    std::span<const uint8_t> content(const Line &line) const {
        return std::span<const uint8_t>(source).subspan(line.src_off, line.src_len);
    }

    // Adds a line to the file order right after anchor.
    uint32_t link_after(uint32_t anchor, Line line) {
        if (lines.size() >= UINT32_MAX) throw std::length_error("INI file has too many lines");
        const auto index = static_cast<uint32_t>(lines.size());
        line.next = lines[anchor].next;
        lines.push_back(std::move(line));
        lines[anchor].next = index;
        if (anchor == last) last = index;
        return index;
    }

    // Sorts one line of the file into the index.
    void classify(uint32_t index, Section *&current) {
        Line &line = lines[index];
        const std::u16string_view text = text_of(line);
        const std::u16string_view t = trim(text);
        if (t.empty() || t.front() == u';') return;
        if (t.front() == u'[') {
            const size_t close = t.find(u']');
            if (close == std::u16string_view::npos) {
                current = nullptr;
                return;
            }
            const auto [it, inserted] = add_section(trim(t.substr(1, close - 1)), index);
            // A repeat of a section is no section: its keys stay unread.
            current = inserted ? &it->second : nullptr;
            return;
        }
        const size_t eq = text.find(u'=');
        // Longer lines than the index can address are not keys (4 GiB of text).
        if (eq == std::u16string_view::npos || !current || text.size() > UINT32_MAX) return;
        const std::u16string_view key = trim(text.substr(0, eq));
        if (key.empty()) return;
        size_t value_pos = eq + 1;
        while (value_pos < text.size() && is_blank(text[value_pos])) ++value_pos;
        line.value_pos = value_pos;
        line.key_off = static_cast<uint32_t>(key.data() - text.data());
        line.key_len = static_cast<uint32_t>(key.size());
        line.section = current->id;
        index_key(index);
        current->anchor = index;
    }

    // The section of a name, made when new; new keys of a new section go
    // right after its section line.
    std::pair<NameMap<Section>::iterator, bool> add_section(std::u16string_view name,
                                                            uint32_t line) {
        const auto id = static_cast<uint32_t>(sections.size() + 1);
        const auto result = sections.try_emplace(std::u16string(name));
        if (result.second) result.first->second = Section{id, line};
        return result;
    }

    static uint32_t key_hash(uint32_t section, std::u16string_view key) {
        return static_cast<uint32_t>(name_hash(key, section));
    }

    std::u16string_view key_of(const Line &line) const {
        return text_of(line).substr(line.key_off, line.key_len);
    }

    // The slot holding (section, key), or the empty slot where it would go.
    size_t probe(uint32_t section, std::u16string_view key, uint32_t hash) const {
        const size_t mask = slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const uint32_t line = slots[i].line;
            if (line == 0) return i;
            if (slots[i].hash == hash && lines[line].section == section &&
                FoldEqual{}(key_of(lines[line]), key))
                return i;
        }
    }

    // Keeps the table at most half full with room for that many more keys.
    void reserve_keys(size_t keys) {
        const size_t needed = 2 * (key_count + keys);
        if (needed <= slots.size()) return;
        size_t size = std::max<size_t>(slots.size(), 64);
        while (size < needed) size *= 2;
        std::vector<Slot> old(size);
        old.swap(slots);
        const size_t mask = size - 1;
        for (const Slot &slot : old) {
            if (slot.line == 0) continue;
            size_t i = slot.hash & mask;
            while (slots[i].line != 0) i = (i + 1) & mask;
            slots[i] = slot;
        }
    }

    // Indexes a key line; a key already in its section keeps its first line.
    void index_key(uint32_t index) {
        reserve_keys(1);
        const Line &line = lines[index];
        const uint32_t hash = key_hash(line.section, key_of(line));
        const size_t i = probe(line.section, key_of(line), hash);
        if (slots[i].line != 0) return;
        slots[i] = {index, hash};
        lines[index].indexed = true;
        ++key_count;
    }

    // The line holding key in section, 0 when there is none.
    uint32_t find_key(const Section &section, std::u16string_view key) const {
        if (slots.empty()) return 0;
        return slots[probe(section.id, key, key_hash(section.id, key))].line;
    }

    const Section *find_section(std::u16string_view name) const {
        name = trim(name);
        if (!last_section || !FoldEqual{}(last_section->first, name)) {
            const auto s = sections.find(name);
            if (s == sections.end()) return nullptr;
            last_section = &*s;  // map nodes stay where they are until the next parse
        }
        return &last_section->second;
    }

    const Line *find(std::u16string_view section, std::u16string_view key) const {
        const Section *s = find_section(section);
        if (!s) return nullptr;
        key = trim(key);
        // The line after the last one found, when the index finds it for this
        // key (an indexed line is the one line of its section and key).
        const Line &after = lines[lines[last_found].next];
        if (after.indexed && after.section == s->id && FoldEqual{}(key_of(after), key)) {
            last_found = lines[last_found].next;
            return &after;
        }
        const uint32_t line = find_key(*s, key);
        if (line == 0) return nullptr;
        last_found = line;
        return &lines[line];
    }

    std::u16string_view value(std::u16string_view section, std::u16string_view key,
                              std::u16string_view def) const {
        const Line *line = find(section, key);
        if (!line) return def;
        const std::u16string_view v = clean_value(text_of(*line).substr(line->value_pos));
        return v.empty() ? def : v;
    }

    // Can the file be created or replaced? Leaves nothing behind.
    bool check_writable() {
        if (load_failed) return false;
        std::optional<std::string> resolved = host_fs::writable_target(path);
        if (!resolved) return false;
        target = std::move(*resolved);
        return true;
    }

    bool set(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
        if (breaks_line(section) || breaks_line(key) || breaks_line(value)) return false;
        section = trim(section);
        key = trim(key);
        if (!writable_section(section) || !writable_key(key)) return false;
        if (!writable && !(writable = check_writable())) return false;

        auto s = sections.find(section);
        if (s == sections.end()) {
            Line header;
            header.text.reserve(section.size() + 2);
            header.text.append(u"[").append(section).append(u"]");
            s = add_section(section, link_after(last, std::move(header))).first;
            dirty = true;
        }
        Section &sec = s->second;
        if (const uint32_t found = find_key(sec, key)) {
            Line &line = lines[found];
            const std::u16string_view old = text_of(line).substr(line.value_pos);
            if (old == value) return true;
            if (line.from_file && !line.changed) {
                line.kept_bytes = byte_offset(content(line), encoding, line.value_pos);
                line.text = text_of(line);
            }
            line.text.replace(line.value_pos, std::u16string::npos, value);
            line.changed = true;
            dirty = true;
            return true;
        }
        Line line;
        line.text.reserve(key.size() + 1 + value.size());
        line.text.append(key).append(u"=").append(value);
        line.value_pos = key.size() + 1;
        line.key_len = static_cast<uint32_t>(key.size());
        line.section = sec.id;
        sec.anchor = link_after(sec.anchor, std::move(line));
        index_key(sec.anchor);
        dirty = true;
        return true;
    }

    std::string render() const {
        std::string out;
        out.reserve(source.size() + source.size() / 8 + 256);
        out.append(source.begin(), source.begin() + static_cast<ptrdiff_t>(mark_len));
        const auto raw = [&](size_t off, size_t len) {
            out.append(reinterpret_cast<const char *>(source.data()) + off, len);
        };
        for (uint32_t i = lines[0].next; i != 0; i = lines[i].next) {
            const Line &line = lines[i];
            if (!line.from_file) {
                encode(line.text, encoding, out);
                append_eol(out, new_eol, encoding);
                continue;
            }
            if (!line.changed) {
                raw(line.src_off, line.src_len);
            } else {
                raw(line.src_off, line.kept_bytes);
                encode(std::u16string_view(line.text).substr(line.value_pos), encoding, out);
            }
            if (line.eol_len)
                raw(line.src_off + line.src_len, line.eol_len);
            else if (line.next != 0)
                append_eol(out, new_eol, encoding);
        }
        raw(tail_off, source.size() - tail_off);
        return out;
    }

    bool commit() {
        if (!dirty) return true;
        const std::string bytes = render();
        // Copied before the write: a copy that fails leaves the file as it was.
        std::vector<uint8_t> kept(bytes.begin(), bytes.end());
        // Temporary files a killed writer left here go first: they may hold
        // the space this write needs.
        host_fs::remove_stale_temps(target);
        const std::optional<std::string> temp = host_fs::write_temp_beside(target, bytes);
        if (!temp) return false;
        if (!host_fs::replace_with_temp(*temp, target)) {
            host_fs::remove_temp(*temp);
            return false;
        }
        written = std::move(kept);
        dirty = false;
        return true;
    }

    // What the last commit wrote becomes the file that later reads and writes start from.
    void settle() {
        if (!written) return;
        std::vector<uint8_t> bytes = std::move(*written);
        written.reset();
        parse(std::move(bytes));
    }
};

IniFile::IniFile(std::u16string_view path) {
    try {
        impl_ = std::make_unique<Impl>(path);
    } catch (const std::exception &) {
        impl_.reset();  // too large to hold: reads give defaults, writes fail
    }
}
IniFile::~IniFile() = default;

IniFile::Impl *IniFile::settled() const {
    if (impl_ && impl_->written) {
        try {
            impl_->settle();
        } catch (const std::exception &) {
            impl_.reset();  // too large to hold: reads give defaults, writes fail
        }
    }
    return impl_.get();
}
IniFile::IniFile(IniFile &&) noexcept = default;
IniFile &IniFile::operator=(IniFile &&) noexcept = default;

size_t IniFile::get(std::u16string_view section, std::u16string_view key, char16_t *buf, size_t cap,
                    std::u16string_view def) const {
    if (!buf || cap == 0) return 0;
    const Impl *impl = settled();
    const std::u16string_view v = impl ? impl->value(section, key, def) : def;
    const size_t n = std::min(v.size(), cap - 1);
    v.copy(buf, n);
    buf[n] = u'\0';
    return n;
}

std::u16string IniFile::get(std::u16string_view section, std::u16string_view key,
                            std::u16string_view def) const {
    const Impl *impl = settled();
    return std::u16string(impl ? impl->value(section, key, def) : def);
}

bool IniFile::read_failed() const {
    return !impl_ || impl_->load_failed;
}

bool IniFile::has_section(std::u16string_view section) const {
    const Impl *impl = settled();
    return impl && impl->find_section(section) != nullptr;
}

std::vector<std::u16string> IniFile::section_names() const {
    const Impl *impl = settled();
    std::vector<std::u16string> names;
    if (!impl) return names;
    // Section ids count the names in the order the file first gives them.
    names.resize(impl->sections.size());
    for (const auto &[name, section] : impl->sections) names[section.id - 1] = name;
    return names;
}

std::vector<std::pair<std::u16string, std::u16string>> IniFile::entries(std::u16string_view section) const {
    const Impl *impl = settled();
    std::vector<std::pair<std::u16string, std::u16string>> found;
    const Impl::Section *s = impl ? impl->find_section(section) : nullptr;
    if (!s) return found;
    for (uint32_t i = impl->lines[0].next; i != 0; i = impl->lines[i].next) {
        const Impl::Line &line = impl->lines[i];
        if (!line.indexed || line.section != s->id) continue;
        found.emplace_back(impl->key_of(line), clean_value(impl->text_of(line).substr(line.value_pos)));
    }
    return found;
}

bool IniFile::writable_value(std::u16string_view value) {
    return !breaks_line(value);
}

std::u16string IniFile::stored_form(std::u16string_view value) {
    if (clean_value(value) == value) return std::u16string(value);
    return u'"' + std::u16string(value) + u'"';
}

bool IniFile::set(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
    Impl *impl = settled();
    if (!impl) return false;
    try {
        return impl->set(section, key, value);
    } catch (const std::exception &) {
        return false;
    }
}

bool IniFile::commit() {
    if (!impl_) return false;
    try {
        return impl_->commit();
    } catch (const std::exception &) {
        return false;
    }
}

}  // namespace ryn::platform
