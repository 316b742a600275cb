// The INI store's file-system work on Win32. Paths arrive in their UTF-8 form
// and go to the wide calls as UTF-16.
//
// A temporary file is named ".NAME.PID.HEX.tmp" beside its target, as on
// POSIX: NAME is the target's file name (its first 128 characters), PID the
// writer's process id and HEX a random number of at most ten hex digits.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/host_fs.h"
#include "platform/os_error.h"
#include "text/utf.h"

namespace ryn::platform::host_fs {
namespace {

constexpr size_t temp_name_max = 128;

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the host's wide strings are UTF-16");

std::wstring wide(const std::string &utf8) {
    const std::u16string s = text::from_utf8(utf8);
    return std::wstring(reinterpret_cast<const wchar_t *>(s.data()), s.size());
}

bool is_separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

std::wstring folder_of(const std::wstring &path) {
    const size_t slash = path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (valid()) CloseHandle(h);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    bool valid() const { return h != INVALID_HANDLE_VALUE; }
};

// Creates a new temporary file beside target, open for writing (invalid
// handle on failure), and its name.
HANDLE create_temp_beside(const std::wstring &target, std::wstring &temp) {
    const std::wstring folder = folder_of(target);
    const std::wstring name = target.substr(folder.size()).substr(0, temp_name_max);
    const auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (unsigned attempt = 0; attempt < 64; ++attempt) {
        wchar_t suffix[64];
        std::swprintf(suffix, sizeof suffix / sizeof *suffix, L".%lu.%llx.tmp",
                      static_cast<unsigned long>(GetCurrentProcessId()),
                      (seed + attempt * 0x9E3779B97F4A7C15ull) & 0xFFFFFFFFFFull);
        temp = folder + L"." + name + suffix;
        const HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    note_system_error(GetLastError());
    return INVALID_HANDLE_VALUE;
}

// One write of at most write_chunk bytes, through the test seams. The number
// of bytes written; 0 when the write failed.
DWORD write_some(HANDLE h, const char *data, size_t n) {
    n = std::min(n, write_chunk);
    if (const int fault = next_write_fault(n)) {
        note_errno(fault);
        return 0;
    }
    DWORD written = 0;
    if (!WriteFile(h, data, static_cast<DWORD>(n), &written, nullptr)) {
        note_system_error(GetLastError());
        return 0;
    }
    wrote(written);
    return written;
}

bool write_all(HANDLE h, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD written = write_some(h, bytes.data() + done, bytes.size() - done);
        if (written == 0) return false;
        done += written;
    }
    return true;
}

}  // namespace

ReadResult read_regular_file(const std::string &path, std::vector<uint8_t> &out) {
    // A folder cannot be opened this way; a device or pipe is refused by its
    // type before anything is read.
    Handle file(CreateFileW(wide(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        note_system_error(error);
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                               : ReadResult::Failed;
    }
    if (GetFileType(file.h) != FILE_TYPE_DISK) return ReadResult::Failed;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file.h, &size) && size.QuadPart > 0)
        out.reserve(static_cast<size_t>(size.QuadPart));
    uint8_t chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.h, chunk, sizeof chunk, &got, nullptr)) {
            note_system_error(GetLastError());
            return ReadResult::Failed;
        }
        if (got == 0) break;
        out.insert(out.end(), chunk, chunk + got);
    }
    return ReadResult::Ok;
}

std::optional<std::string> writable_target(const std::string &path) {
    const std::wstring target = wide(path);
    if (target.empty() || is_separator(target.back())) return std::nullopt;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
            note_system_error(ERROR_ACCESS_DENIED);
            return std::nullopt;
        }
        Handle probe(CreateFileW(target.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe.valid()) note_system_error(GetLastError());
        if (!probe.valid() || GetFileType(probe.h) != FILE_TYPE_DISK) return std::nullopt;
    } else {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            note_system_error(error);
            return std::nullopt;
        }
    }
    std::wstring temp;
    const HANDLE h = create_temp_beside(target, temp);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    CloseHandle(h);
    DeleteFileW(temp.c_str());
    return path;
}

std::optional<std::string> write_temp_beside(const std::string &target, std::string_view bytes) {
    std::wstring temp;
    const HANDLE h = create_temp_beside(wide(target), temp);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    bool ok = write_all(h, bytes);
    if (ok && flush_to_disk() && !FlushFileBuffers(h)) {
        note_system_error(GetLastError());
        ok = false;
    }
    if (!CloseHandle(h) && ok) {
        note_system_error(GetLastError());
        ok = false;
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
        return std::nullopt;
    }
    return text::to_utf8(std::u16string_view(reinterpret_cast<const char16_t *>(temp.data()), temp.size()));
}

bool replace_with_temp(const std::string &temp, const std::string &target) {
    if (kill_before_replace()) TerminateProcess(GetCurrentProcess(), 9);
    const std::wstring from = wide(temp), to = wide(target);
    // ReplaceFileW keeps the target's attributes and security; when it fails
    // with both files as they were (or there is no target yet), the move
    // replaces the target in one step and is written through to the disk.
    if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES &&
        ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr))
        return true;
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    note_system_error(GetLastError());
    return false;
}

void remove_temp(const std::string &temp) {
    DeleteFileW(wide(temp).c_str());
}

void remove_stale_temps(const std::string &) {
    // Left alone on Windows: a temporary file of a writer that was killed
    // stays beside its target rather than risk removing a live writer's file.
}

}  // namespace ryn::platform::host_fs
