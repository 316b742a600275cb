// Hostile files through ryn: every command that reads a file or writes an
// INI file, given a folder, a FIFO (POSIX), a file it may not read (without
// read permission on POSIX, held open exclusively by another process on
// Windows), an empty file,
// random bytes, UTF-16 without a byte-order mark, an INI file of tens of
// megabytes, images one byte either side of the image buffer's size, a path
// too long for the host and a path with non-ASCII characters. Each ends in
// time with the exit status its content calls for, says why it failed, and
// leaves every file as it was (a GET that succeeds only adds its section).
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "file_tree.h"
#include "ryn_run.h"

namespace {

using namespace ryn_cli;

enum class Kind {
    Folder,
    Fifo,
    Unreadable,
    Empty,
    RandomBytes,
    Utf16WithoutMark,
    HugeIni,
    Image262144,
    Image262145,
    LongPath,
    NonAscii,
};

struct Command {
    const char *name;
    std::vector<std::string> before;  // arguments before the file
    std::vector<std::string> after;   // arguments after it
    bool writes;                      // a GET into an INI file
    const char *good;                 // a good file for it in the fixture folder ("": none)
};

const Command commands[] = {
    {"cali set", {"cali", "set"}, {}, false, "good_cali.ini"},
    {"cali set --text", {"cali", "set"}, {"--text"}, false, ""},
    {"cali set --compact-ini", {"cali", "set"}, {"--compact-ini"}, false, ""},
    {"info set", {"info", "set"}, {}, false, "good_info.ini"},
    {"fw update", {"fw", "update"}, {}, false, "good.bin"},
    {"image inspect", {"image", "inspect"}, {"--format", "base"}, false, "good.bin"},
    {"cali get", {"cali", "get"}, {}, true, ""},
    {"info get", {"info", "get"}, {}, true, ""},
    {"info versions", {"info", "versions"}, {}, true, ""},
};

// Whether a kind of file is put to a command, and the exit status expected.
struct Expect {
    bool applies;
    int status;
};

Expect expect(Kind kind, const Command &c) {
    const std::string_view name = c.name;
    const bool good = *c.good != '\0';  // ryn can make a good file for it
    const bool ini_form = name == "cali set" || name == "cali set --compact-ini";
    const bool image = name == "fw update" || name == "image inspect";
    switch (kind) {
        case Kind::Fifo:
#if defined(_WIN32)
            return {false, 0};  // no FIFO in a Windows folder
#endif
        case Kind::Folder:
        case Kind::Unreadable:
            return {true, 1};
        case Kind::LongPath:
            // The library takes paths of at most 260 characters; the image
            // inspection reads the file in the tool itself.
            return {true, name == "image inspect" ? 0 : 1};
        case Kind::Empty:
            // No reader finds its section in it; a GET writes its sections.
            return {true, c.writes ? 0 : 1};
        case Kind::Utf16WithoutMark:
        case Kind::RandomBytes:
        case Kind::Image262144:
        case Kind::Image262145:
            // No reader finds its section or data lines in such a file (a
            // UTF-16 file without a mark reads as 8-bit text, except in the
            // text form, whose own UTF-16 reading finds no data lines in the
            // two lines of the stand-in file); a GET refuses to overwrite a
            // file that is no INI file (exit status 2) and leaves it alone.
            return {true, c.writes ? 2 : 1};
        case Kind::HugeIni:
            // A good file padded to tens of megabytes: an INI file still
            // reads, and so does an image (what follows the parts its header
            // places is not read). The calibration forms ryn makes no good
            // file for get a file without their section. A GET refuses a file
            // that holds sections of another kind (exit status 2) and leaves
            // it alone.
            if (c.writes) return {true, 2};
            return {true, (good && (ini_form || name == "info set")) || image ? 0 : 1};
        case Kind::NonAscii:
            return {c.writes || good, 0};
    }
    return {false, 0};
}

const char *kind_name(Kind k) {
    static const char *const names[] = {"folder",
                                        "FIFO",
                                        "unreadable file",
                                        "empty file",
                                        "random bytes",
                                        "UTF-16 without mark",
                                        "huge INI",
                                        "262144-byte image",
                                        "262145-byte image",
                                        "300-character path",
                                        "non-ASCII path"};
    return names[static_cast<int>(k)];
}

std::string random_bytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char &c : s) c = static_cast<char>(gen());
    return s;
}

std::string utf16le(const std::string &ascii) {
    std::string out;
    for (char c : ascii) out += {c, '\0'};
    return out;
}

// good followed by tens of megabytes of keys of a section no reader asks for.
// A sanitizer build, where each of the many reads of such a file takes ten
// times as long, reads the same paths in a file of a few megabytes: it looks
// for faults of memory, not of time.
#if defined(RYN_SANITIZED)
constexpr size_t huge_ini_size = 4u << 20;
#else
constexpr size_t huge_ini_size = 40u << 20;
#endif
std::string huge_ini(const std::string &good) {
    std::string text = good + "[padding]\r\n";
    for (size_t i = 0; text.size() < huge_ini_size; ++i)
        text += "key" + std::to_string(i) + "=" + std::string(48, 'v') + "\r\n";
    return text;
}

// Whether ryn's output says that a file could not be opened or read: ryn's own
// check, or the library's message when the check could not see it (a file
// that another program holds open without sharing).
bool says_unreadable(const std::string &output) {
    for (const char *phrase : {"cannot read", "cannot open", "Fail to open the file"})
        if (output.find(phrase) != std::string::npos) return true;
    return false;
}

// A path as ryn takes it on its command line (UTF-8), and back.
std::string utf8(const fs::path &p) {
    const std::u8string s = p.u8string();
    return {s.begin(), s.end()};
}
fs::path from_utf8(const std::string &s) {
    return fs::path(std::u8string(s.begin(), s.end()));
}

// Windows: while ryn runs, the test holds the unreadable file open without
// sharing it, so that ryn cannot open it (on POSIX its permission bits do
// that already).
class Hold {
  public:
#if defined(_WIN32)
    explicit Hold(const fs::path &p)
        : handle_(CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << "cannot hold " << utf8(p);
    }
    ~Hold() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
#else
    explicit Hold(const fs::path &) {}
#endif
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;

#if defined(_WIN32)
  private:
    HANDLE handle_;
#endif
};

class Hostile : public ::testing::Test {
  protected:
    void SetUp() override {
        const char *root = std::getenv("RYN_TEST_TMP");
        dir_ = fs::path(root ? root : fs::temp_directory_path().string()) / "hostile";
        // The folders and files of the table go through the host's calls in
        // their long form: a path over 260 characters is one of its cases.
        ryn::test::remove_tree(dir_);
        ryn::test::create_folders(dir_);
    }

    RunResult ryn(const std::vector<std::string> &args) { return run_ryn(dir_, args); }

    // Makes the file of kind at a path below case_dir; returns the path as
    // given to ryn (relative to dir_).
    std::string make(Kind kind, const Command &c, const fs::path &case_dir, unsigned seed) {
        const fs::path rel = case_dir.lexically_relative(dir_);
        const std::string good = *c.good ? slurp(dir_ / c.good) : std::string("[s]\r\nk=v\r\n");
        fs::path p = case_dir / "f.ini";
        switch (kind) {
            case Kind::Folder:
                ryn::test::create_folders(p);
                break;
            case Kind::Fifo:
#if !defined(_WIN32)
                EXPECT_EQ(::mkfifo(p.c_str(), 0644), 0);
#endif
                break;
            case Kind::Unreadable:
                spit(p, good);
#if !defined(_WIN32)
                fs::permissions(p, fs::perms::none);
#endif
                break;
            case Kind::Empty:
                spit(p, "");
                break;
            case Kind::RandomBytes:
                spit(p, random_bytes(4096, seed));
                break;
            case Kind::Utf16WithoutMark:
                spit(p, utf16le(good));
                break;
            case Kind::HugeIni:
                spit(p, huge_ini(good));
                break;
            case Kind::Image262144:
                spit(p, random_bytes(262144, seed));
                break;
            case Kind::Image262145:
                spit(p, random_bytes(262145, seed));
                break;
            case Kind::LongPath: {
                // A real file whose absolute path is longer than the host takes.
                fs::path folder = case_dir;
                while (folder.string().size() < 300) folder /= std::string(100, 'd');
                ryn::test::create_folders(folder);
                p = folder / "f.ini";
                if (!c.writes) spit(p, good);
                break;
            }
            case Kind::NonAscii:
                p = case_dir / "\xC3\xA9t\xC3\xA9-\xE6\xA0\xA1\xE6\xAD\xA3.ini";
                if (!c.writes) spit(p, good);
                break;
        }
        return utf8(rel / p.lexically_relative(case_dir));
    }

    static void spit(const fs::path &p, const std::string &bytes) { ryn::test::write_bytes(p, bytes); }

    fs::path dir_;
};

TEST_F(Hostile, EveryCommandEndsInTimeWithAReasonAndLeavesFilesAsTheyWere) {
    ASSERT_EQ(ryn({"sim", "create", "s.json", "--family", "base"}).status, 0);
    ASSERT_EQ(ryn({"--sim", "s.json", "cali", "get", "good_cali.ini"}).status, 0);
    ASSERT_EQ(ryn({"--sim", "s.json", "info", "get", "good_info.ini"}).status, 0);
    ASSERT_EQ(ryn({"image", "build", "--format", "base", "-o", "good.bin"}).status, 0);

    unsigned seed = 1;
    for (const Command &c : commands) {
        for (int k = 0; k <= static_cast<int>(Kind::NonAscii); ++k) {
            const auto kind = static_cast<Kind>(k);
            const Expect e = expect(kind, c);
            if (!e.applies) continue;
            SCOPED_TRACE(std::string(c.name) + " on a " + kind_name(kind));
            const fs::path case_dir = dir_ / ("case" + std::to_string(seed));
            ryn::test::create_folders(case_dir);
            const std::string file = make(kind, c, case_dir, seed++);
            const auto before = ryn::test::snapshot_tree(case_dir);
            std::optional<Hold> hold;
            if (kind == Kind::Unreadable) hold.emplace(dir_ / from_utf8(file));

            std::vector<std::string> args = {"--sim", "s.json"};
            args.insert(args.end(), c.before.begin(), c.before.end());
            args.push_back(file);
            args.insert(args.end(), c.after.begin(), c.after.end());
            const RunResult r = ryn(args);
            hold.reset();

            ASSERT_FALSE(r.hung) << "no end within the time limit";
            EXPECT_EQ(r.status, e.status) << r.out << r.err;
            if (e.status != 0) {
                EXPECT_NE(r.out + r.err, "") << "a failure without a reason";
            }
            if (kind == Kind::Unreadable && !c.writes) {
                // Said as a file that cannot be opened, not blamed on its
                // content as if it were empty.
                EXPECT_TRUE(says_unreadable(r.out + r.err)) << r.out << r.err;
            }
            // No memory blow-up: the 40 MB file is held a few times at most.
            EXPECT_LT(r.max_rss_kb, 1024 * 1024) << "kB at peak";

            auto after = ryn::test::snapshot_tree(case_dir);
            if (c.writes && e.status == 0) {
                // A GET that succeeds writes its sections (a new file, or
                // over an empty one) and leaves nothing else behind.
                const std::string name = utf8(from_utf8(file).lexically_relative(case_dir.lexically_relative(dir_)));
                const std::string written = after[name];
                const std::string old = before.contains(name) ? before.at(name) : "";
                EXPECT_GT(written.size(), old.size());
                EXPECT_EQ(written.compare(0, old.size(), old), 0) << "the old content was changed";
                after.erase(name);
                auto without = before;
                without.erase(name);
                EXPECT_TRUE(after == without) << "other files changed or a temporary file was left";
                continue;
            }
            EXPECT_TRUE(after == before) << "files changed";
        }
    }
}

}  // namespace
