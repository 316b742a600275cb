// Writes that fail part way, a full disk and a writer killed between writing
// and replacing: an existing file is never left truncated or half-written,
// the operation says it failed, and what a killed writer leaves behind is
// cleaned up by the next write to the folder and nothing else is.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>
#include <optional>
#include <string>

#include "ini_test_util.h"
#include "platform/host_fs.h"
#include "platform/ini_file.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "support/capture.h"

using namespace ini_test;
using ryn::platform::IniFile;
namespace host_fs = ryn::platform::host_fs;

namespace {

// An existing file large enough that writing it back takes several writes;
// it holds neither request's sections, so both GETs write into it.
std::string old_file() {
    std::string text = "; kept as it is\r\n[earlier]\r\nold=1\r\n[notes]\r\n";
    for (int i = 0; text.size() < 3 * host_fs::write_chunk; ++i)
        text += "note" + std::to_string(i) + "=" + std::string(60, 'n') + "\r\n";
    return text;
}

#if !defined(_WIN32)
bool is_temp_of(const std::string &name, const std::string &file) {
    return name.starts_with("." + file + ".") && name.ends_with(".tmp");
}
#endif

struct Operation {
    const char *name;
    const char *family;
    bool calibration;     // ryn_cali_info, else ryn_dev_info (model configuration)
    const char *message;  // what the failed write reports
};

const Operation operations[] = {
    {"calibration GET", "base", true, "Fail to dump calibration to ["},
    {"device information GET", "5810", false, "Fail to dump model config\n"},
};

class IniFailure : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = scratch(); }
    void TearDown() override { host_fs::set_write_faults({}); }

    // Runs the GET of op into path on a fresh simulated device.
    int32_t get(const Operation &op, const fs::path &path) {
        EXPECT_NE(ryn_sim_create(op.family, nullptr), RYN_INVALID_HANDLE) << ryn_sim_last_error();
        path_ = path.u16string();
        capture_ = {};
        cali_info_arg arg;
        if (op.calibration) {
            ryn_cali_info_init_arg(&arg, ryn_sim_handle(), ryn::test::w(path_), RYN_FLAG_GET);
            capture_.attach(arg);
            return ryn_cali_info(&arg);
        }
        ryn_dev_info_init_arg(&arg, ryn_sim_handle(), ryn::test::w(path_),
                              RYN_FLAG_GET | RYN_DEV_MODEL_CFG);
        capture_.attach(arg);
        return ryn_dev_info(&arg);
    }

    std::string messages() const {
        const std::u16string all = capture_.text();
        return std::string(all.begin(), all.end());
    }

    fs::path dir_;
    std::u16string path_;
    ryn::test::Capture capture_;
};

TEST_F(IniFailure, UnfinishedWriteLeavesTheOldFileAndNoTemporary) {
    struct Fault {
        const char *name;
        uint32_t fail_write;
        std::optional<uint64_t> disk_space;
    };
    const Fault faults[] = {
        {"first write fails", 1, {}},
        {"a later write fails", 3, {}},
        {"disk full from the start", 0, 0},
        {"disk full part way", 0, 100'000},
    };
    const std::string old = old_file();
    for (const Operation &op : operations) {
        for (const Fault &f : faults) {
            SCOPED_TRACE(std::string(op.name) + ": " + f.name);
            const fs::path path = dir_ / "f.ini";
            write_bytes(path, old);
            host_fs::WriteFaults injected;
            injected.fail_write = f.fail_write;
            injected.disk_space = f.disk_space;
            host_fs::set_write_faults(injected);
            EXPECT_EQ(get(op, path), 0);
            host_fs::set_write_faults({});
            EXPECT_NE(messages().find(op.message), std::string::npos) << messages();
            EXPECT_EQ(read_bytes(path), old);
            EXPECT_EQ(listing(dir_), std::set<std::string>{"f.ini"});
        }
        // Without a fault the same GET goes through.
        EXPECT_EQ(get(op, dir_ / "f.ini"), 1) << messages();
    }
}

// A writer killed between writing its temporary file and the rename leaves
// the old file and the temporary; the next GET into the folder succeeds and
// takes the temporary away.
TEST_F(IniFailure, TemporaryOfAKilledWriterGoesWithTheNextWrite) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows leaves a killed writer's temporary file in place, and death by a "
                    "signal is POSIX only";
#else
    const std::string old = old_file();
    for (const Operation &op : operations) {
        SCOPED_TRACE(op.name);
        const fs::path path = dir_ / "f.ini";
        write_bytes(path, old);
        EXPECT_EXIT(
            {
                host_fs::WriteFaults killed;
                killed.kill_before_replace = true;
                host_fs::set_write_faults(killed);
                get(op, path);
            },
            ::testing::KilledBySignal(SIGKILL), "");
        EXPECT_EQ(read_bytes(path), old);
        const auto left = listing(dir_);
        ASSERT_EQ(left.size(), 2u);
        EXPECT_TRUE(
            is_temp_of(*left.rbegin() == "f.ini" ? *left.begin() : *left.rbegin(), "f.ini"));

        EXPECT_EQ(get(op, path), 1) << messages();
        EXPECT_EQ(listing(dir_), std::set<std::string>{"f.ini"});
        EXPECT_NE(read_bytes(path), old);
        EXPECT_NE(read_bytes(path).find("; kept as it is\r\n"), std::string::npos);
    }
#endif
}

#if !defined(_WIN32)
// A process id that no process has: a child that has exited and been reaped.
pid_t dead_pid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}
#endif

// Only temporaries of this store whose writer is gone are removed: a file
// that merely looks like one, one of a live writer, one of another user and
// anything that is not a plain file stay.
TEST_F(IniFailure, StaleTemporaryRuleLeavesAnythingNotSurelyOurs) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows removes no stale temporary file; process ids of exited children, "
                    "symbolic links and file owners are POSIX here";
#else
    const std::string dead = std::to_string(dead_pid());
    const std::string live = std::to_string(::getpid());
    const std::string gone[] = {
        ".f.ini." + dead + ".1a2b3c4d5e.tmp",
        ".other.ini." + dead + ".0.tmp",  // another target in the folder
    };
    const std::string kept[] = {
        ".f.ini." + live + ".1a2b3c4d5e.tmp",   // its writer still runs
        ".f.ini." + dead + ".1A2B.tmp",         // not our hex digits
        ".f.ini." + dead + ".12345678901.tmp",  // too many of them
        ".f.ini.0" + dead + ".1a.tmp",          // a process id never starts with 0
        ".f.ini." + dead + ".1a.tmp.bak",       // another extension
        "f.ini." + dead + ".1a.tmp",            // not hidden
        "." + dead + ".1a.tmp",                 // no file name
        ".f.ini.1a.tmp",                        // no process id
        ".link.ini." + dead + ".1a.tmp",        // a symbolic link
        ".dir.ini." + dead + ".1a.tmp",         // a folder
        ".hard.ini." + dead + ".1a.tmp",        // a second name of a file
        ".theirs.ini." + dead + ".1a.tmp",      // another user's
    };
    for (const auto &name : gone) write_bytes(dir_ / name, "stale");
    for (const auto &name : kept) {
        if (name.starts_with(".link"))
            fs::create_symlink("f.ini", dir_ / name);
        else if (name.starts_with(".dir"))
            fs::create_directory(dir_ / name);
        else if (name.starts_with(".hard"))
            fs::create_hard_link(dir_ / kept[0], dir_ / name);
        else if (!fs::exists(dir_ / name))
            write_bytes(dir_ / name, "not stale");
    }
    // Another user's file: when this process may give it away.
    const bool chowned = ::chown((dir_ / kept[11]).c_str(), 65534, 65534) == 0;

    IniFile ini(u16(dir_ / "f.ini"));
    ASSERT_TRUE(ini.set(u"s", u"k", u"v"));
    ASSERT_TRUE(ini.commit());

    const auto left = listing(dir_);
    for (const auto &name : gone) EXPECT_FALSE(left.contains(name)) << name;
    for (const auto &name : kept) {
        if (name == kept[11] && !chowned) continue;
        EXPECT_TRUE(left.contains(name)) << name;
    }
#endif
}

}  // namespace
