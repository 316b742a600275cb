#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "file_tree.h"

namespace fs = std::filesystem;

namespace ryn::test {

namespace {

// The absolute path in the "\\?\" form, which the wide calls take at any
// length and without rewriting it.
std::wstring long_form(const fs::path &p) {
    std::wstring s = fs::absolute(p).wstring();
    std::replace(s.begin(), s.end(), L'/', L'\\');
    if (s.starts_with(L"\\\\?\\")) return s;
    if (s.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + s.substr(2);
    return L"\\\\?\\" + s;
}

[[noreturn]] void fail(const char *what, const std::wstring &path) {
    const DWORD error = GetLastError();
    const std::u8string name = fs::path(path).u8string();
    throw std::runtime_error(std::string(what) + " " + std::string(name.begin(), name.end()) +
                             " (error " + std::to_string(error) + ")");
}

struct Handle {
    HANDLE h;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

std::string read_all(const std::wstring &path) {
    const Handle file{CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) fail("cannot open", path);
    std::string bytes;
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.h, chunk, sizeof chunk, &got, nullptr)) fail("cannot read", path);
        if (got == 0) return bytes;
        bytes.append(chunk, got);
    }
}

// Calls visit(long path, path relative to the top, attributes) for each entry
// below folder, a folder's entries after the folder itself when pre_order,
// before it otherwise. A link to a folder is an entry; what it leads to is not
// visited.
template <class Visit>
void walk(const std::wstring &folder, const fs::path &rel, bool pre_order, Visit &&visit) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) fail("cannot list", folder);
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        const DWORD attributes = found.dwFileAttributes;
        const bool descend = (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                             !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (pre_order) visit(path, rel / name, attributes);
        if (descend) walk(path, rel / name, pre_order, visit);
        if (!pre_order) visit(path, rel / name, attributes);
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES) {
        SetLastError(error);
        fail("cannot list", folder);
    }
}

std::string utf8(const fs::path &p) {
    const std::u8string s = p.u8string();
    return {s.begin(), s.end()};
}

}  // namespace

std::map<std::string, std::string> snapshot_tree(const fs::path &dir) {
    std::map<std::string, std::string> out;
    walk(long_form(dir), fs::path(), true,
         [&](const std::wstring &path, const fs::path &rel, DWORD attributes) {
             fs::file_type type = fs::file_type::regular;
             if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                 type = fs::file_type::symlink;
             else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                 type = fs::file_type::directory;
             out[utf8(rel)] = type == fs::file_type::regular
                                  ? read_all(path)
                                  : "<type " + std::to_string(static_cast<int>(type)) + ">";
         });
    return out;
}

void remove_tree(const fs::path &path) {
    const std::wstring top = long_form(path);
    const DWORD attributes = GetFileAttributesW(top.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    auto remove = [](const std::wstring &p, DWORD a) {
        // A read-only file cannot be deleted until the attribute is cleared.
        if (a & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(p.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
        const bool removed = (a & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(p.c_str())
                                                             : DeleteFileW(p.c_str());
        if (!removed) fail("cannot remove", p);
    };
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        walk(top, fs::path(), false,
             [&](const std::wstring &p, const fs::path &, DWORD a) { remove(p, a); });
    remove(top, attributes);
}

void create_folders(const fs::path &dir) {
    const std::wstring full = long_form(dir);
    // Each folder on the way, after the "\\?\" prefix and the drive or share.
    size_t at = full.find(L'\\', 4);
    if (full.starts_with(L"\\\\?\\UNC\\")) at = full.find(L'\\', full.find(L'\\', 8) + 1);
    while (at != std::wstring::npos) {
        at = full.find(L'\\', at + 1);
        const std::wstring folder = full.substr(0, at);
        if (folder.back() == L'\\') continue;
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            fail("cannot create", folder);
    }
}

void write_bytes(const fs::path &path, std::string_view bytes) {
    const std::wstring full = long_form(path);
    const Handle file{CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) fail("cannot create", full);
    for (size_t done = 0; done < bytes.size();) {
        const DWORD n = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD wrote = 0;
        if (!WriteFile(file.h, bytes.data() + done, n, &wrote, nullptr) || wrote == 0)
            fail("cannot write", full);
        done += wrote;
    }
}

}  // namespace ryn::test
