// The INI store's file-system work on POSIX.
//
// A temporary file is named ".NAME.PID.HEX.tmp" beside its target: NAME is
// the target's file name (its first 128 bytes), PID the writer's process id
// and HEX a random number of at most ten lowercase hex digits.
#include "platform/host_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>

#include "platform/os_error.h"

namespace ryn::platform::host_fs {
namespace {

constexpr size_t temp_name_max = 128;

std::string folder_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Creates a new temporary file beside target, returns its descriptor (-1 on
// failure) and its name.
int create_temp_beside(const std::string &target, mode_t mode, std::string &temp) {
    const std::string folder = folder_of(target);
    const std::string name = target.substr(folder.size()).substr(0, temp_name_max);
    const auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (unsigned attempt = 0; attempt < 64; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%ld.%llx.tmp", static_cast<long>(::getpid()),
                      (seed + attempt * 0x9E3779B97F4A7C15ull) & 0xFFFFFFFFFFull);
        temp = folder + "." + name + suffix;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    note_errno(errno);
    return -1;
}

// One write of at most write_chunk bytes, through the test seams.
ssize_t write_some(int fd, const char *data, size_t n) {
    n = std::min(n, write_chunk);
    if (const int fault = next_write_fault(n)) {
        errno = fault;
        return -1;
    }
    const ssize_t done = ::write(fd, data, n);
    if (done > 0) wrote(static_cast<size_t>(done));
    return done;
}

bool write_all(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write_some(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            note_errno(n == 0 ? EIO : errno);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void sync_folder(const std::string &target) {
    const std::string folder = folder_of(target);
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

// The writer's process id when name has the form of a temporary file name,
// 0 otherwise.
pid_t temp_writer(std::string_view name) {
    constexpr std::string_view ext = ".tmp";
    if (name.size() <= ext.size() || name.front() != '.' || !name.ends_with(ext)) return 0;
    name.remove_suffix(ext.size());
    // HEX
    size_t hex = 0;
    while (hex < name.size() && hex <= 10) {
        const char c = name[name.size() - 1 - hex];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) break;
        ++hex;
    }
    if (hex == 0 || hex > 10 || hex >= name.size() || name[name.size() - 1 - hex] != '.') return 0;
    name.remove_suffix(hex + 1);
    // PID: a positive decimal without leading zeros
    size_t digits = 0;
    long pid = 0;
    while (digits < name.size() && digits <= 10) {
        const char c = name[name.size() - 1 - digits];
        if (c < '0' || c > '9') break;
        ++digits;
    }
    if (digits == 0 || digits > 10 || digits >= name.size()) return 0;
    const std::string_view number = name.substr(name.size() - digits);
    if (number.front() == '0' || name[name.size() - 1 - digits] != '.') return 0;
    for (char c : number) pid = pid * 10 + (c - '0');
    if (pid > INT_MAX) return 0;
    name.remove_suffix(digits + 1);
    // ".NAME": a name of at most temp_name_max bytes
    if (name.size() < 2 || name.size() - 1 > temp_name_max) return 0;
    return static_cast<pid_t>(pid);
}

// True only when no process with that id runs here any more.
bool writer_gone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace

ReadResult read_regular_file(const std::string &path, std::vector<uint8_t> &out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        note_errno(error);
        return error == ENOENT || error == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    }
    struct stat st;
    ReadResult result = ReadResult::Failed;
    if (::fstat(fd, &st) != 0) {
        note_errno(errno);
    } else if (S_ISDIR(st.st_mode)) {
        note_errno(EISDIR);
    } else if (S_ISREG(st.st_mode)) {
        result = ReadResult::Ok;
        out.reserve(static_cast<size_t>(st.st_size));
        uint8_t chunk[65536];
        for (;;) {
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got == 0) break;
            if (got < 0) {
                if (errno == EINTR) continue;
                note_errno(errno);
                result = ReadResult::Failed;
                break;
            }
            out.insert(out.end(), chunk, chunk + got);
        }
    }
    ::close(fd);
    return result;
}

std::optional<std::string> writable_target(const std::string &path) {
    // Symbolic links at the end of the path are followed; a dangling link
    // names the file to create.
    std::string target = path;
    bool resolved = false;
    for (int hop = 0; hop < 40 && !resolved; ++hop) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            resolved = true;
            break;
        }
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(target.c_str(), buf, sizeof buf);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) {
            note_errno(n < 0 ? errno : ENAMETOOLONG);
            return std::nullopt;
        }
        std::string link(buf, static_cast<size_t>(n));
        target = link.front() == '/' ? link : folder_of(target) + link;
    }
    if (!resolved) {
        note_errno(ELOOP);
        return std::nullopt;
    }
    if (target.empty() || target.back() == '/') {
        note_errno(EISDIR);
        return std::nullopt;
    }
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            if (S_ISDIR(st.st_mode)) note_errno(EISDIR);
            return std::nullopt;
        }
        const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            note_errno(errno);
            return std::nullopt;
        }
        ::close(fd);
    } else if (errno != ENOENT) {
        note_errno(errno);
        return std::nullopt;
    }
    std::string temp;
    const int fd = create_temp_beside(target, 0600, temp);
    if (fd < 0) return std::nullopt;
    ::close(fd);
    ::unlink(temp.c_str());
    return target;
}

std::optional<std::string> write_temp_beside(const std::string &target, std::string_view bytes) {
    struct stat st;
    const bool exists = ::stat(target.c_str(), &st) == 0;
    const mode_t mode = exists ? (st.st_mode & 07777) : 0666;
    std::string temp;
    const int fd = create_temp_beside(target, mode, temp);
    if (fd < 0) return std::nullopt;
    bool ok = true;
    if (exists) {
        // Ownership first: changing it clears set-id bits that the mode restores.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) { /* not permitted: keep ours */
        }
        ok = ::fchmod(fd, mode) == 0;
        if (!ok) note_errno(errno);
    }
    ok = ok && write_all(fd, bytes);
    if (ok && flush_to_disk() && ::fsync(fd) != 0) {
        note_errno(errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        note_errno(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return std::nullopt;
    }
    return temp;
}

bool replace_with_temp(const std::string &temp, const std::string &target) {
    if (kill_before_replace()) ::kill(::getpid(), SIGKILL);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        note_errno(errno);
        return false;
    }
    if (flush_to_disk()) sync_folder(target);
    return true;
}

void remove_temp(const std::string &temp) {
    ::unlink(temp.c_str());
}

void remove_stale_temps(const std::string &target) {
    const std::string folder = folder_of(target);
    DIR *dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    const uid_t me = ::geteuid();
    while (const dirent *entry = ::readdir(dir)) {
        const pid_t writer = temp_writer(entry->d_name);
        if (writer == 0 || !writer_gone(writer)) continue;
        // Only a plain file of ours: never a link, a folder or a file that
        // another user (or another name for it) owns.
        const std::string path = folder + entry->d_name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != me ||
            st.st_nlink != 1)
            continue;
        ::unlink(path.c_str());
    }
    ::closedir(dir);
}

}  // namespace ryn::platform::host_fs
