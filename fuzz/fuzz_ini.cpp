// The INI store on arbitrary file contents: reading must not change the file;
// writing a key into an existing and into a new section must read back, and
// every other key must read as it did before. Files are not flushed to disk
// (what a power loss leaves is not what is checked here).
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/scratch_dir.h"
#include "platform/host_fs.h"
#include "platform/ini_file.h"

namespace {

using ryn::platform::IniFile;

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_ini: %s\n", what);
        std::abort();
    }
}

// The file every input is written to, in a scratch folder removed at exit.
const std::string &work_file() {
    static ryn::support::ScratchDir dir("fuzz_ini");
    static const std::string path = [] {
        ryn::platform::host_fs::set_flush_to_disk(false);
        return dir.path("f.ini");
    }();
    return path;
}

std::u16string widen(std::string_view s) {
    return std::u16string(s.begin(), s.end());
}

std::string read_all(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// (section, key) pairs that the bytes seem to hold, each byte taken as one
// character: enough to probe the store with names that are likely present.
std::vector<std::pair<std::u16string, std::u16string>> candidates(std::string_view bytes) {
    std::vector<std::pair<std::u16string, std::u16string>> out;
    std::u16string section = u"s";
    while (!bytes.empty() && out.size() < 16) {
        const size_t nl = bytes.find('\n');
        const std::string_view line = trim(bytes.substr(0, nl));
        bytes = nl == std::string_view::npos ? std::string_view() : bytes.substr(nl + 1);
        if (!line.empty() && line.front() == '[') {
            const size_t close = line.find(']');
            if (close != std::string_view::npos) section = widen(trim(line.substr(1, close - 1)));
        } else if (const size_t eq = line.find('='); eq != std::string_view::npos) {
            out.emplace_back(section, widen(trim(line.substr(0, eq))));
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &path = work_file();
    const std::u16string wpath = widen(path);
    const std::string original(reinterpret_cast<const char *>(data), size);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(original.data(), static_cast<std::streamsize>(original.size()));
    }
    const auto probes = candidates(original);

    // Read only: a few keys, some present, some absent, tiny buffers.
    std::vector<std::u16string> before;
    {
        const IniFile ini(wpath);
        for (const auto &[section, key] : probes) {
            before.push_back(ini.get(section, key));
            char16_t tiny[2] = {u'#', u'#'};
            const size_t n = ini.get(section, key, tiny, 2);
            check(n <= 1 && tiny[n] == u'\0', "a value overran its buffer");
            check(n == std::min<size_t>(before.back().size(), 1), "cut to the wrong length");
        }
        char16_t one = u'#';
        check(ini.get(u"absent section", u"absent key", &one, 1, u"default") == 0 && one == 0,
              "a one-character buffer holds more than its terminator");
        check(ini.get(u"absent section", u"k") == u"", "an absent key is not empty");
    }
    check(read_all(path) == original, "reading changed the file");

    // Write into a section the file has (when one was found) and into a new one.
    const std::u16string existing = probes.empty() ? u"s" : probes.front().first;
    const std::u16string fresh = u"fuzz new section";
    {
        IniFile ini(wpath);
        std::u16string section = existing;
        if (!ini.set(section, u"fuzz_key_1", u"fuzz value 1")) {
            section = u"s";  // names that cannot be written are refused
            check(ini.set(section, u"fuzz_key_1", u"fuzz value 1"), "a plain write failed");
        }
        check(ini.set(fresh, u"fuzz_key_2", u"fuzz value 2"), "a write to a new section failed");
        check(ini.commit(), "commit failed");
        const IniFile again(wpath);
        check(again.get(section, u"fuzz_key_1") == u"fuzz value 1", "value 1 did not read back");
    }
    const IniFile after(wpath);
    check(after.get(fresh, u"fuzz_key_2") == u"fuzz value 2", "value 2 did not read back");
    for (size_t i = 0; i < probes.size(); ++i) {
        std::u16string key = probes[i].second;
        for (char16_t &c : key)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        if (key == u"fuzz_key_1" || key == u"fuzz_key_2") continue;  // the keys written
        check(after.get(probes[i].first, probes[i].second) == before[i], "another key changed");
    }
    return 0;
}
