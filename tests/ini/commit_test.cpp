// The file as a whole: when writes fail, what commit replaces, and what is
// left behind when something goes wrong.
#include <gtest/gtest.h>

// These cases use file modes, file-size limits, symbolic links and stat(),
// which exist only on POSIX hosts.
#if !defined(_WIN32)

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <string>

#include "ini_test_util.h"
#include "platform/ini_file.h"

using namespace ini_test;
using ryn::platform::IniFile;

namespace {

const std::string kOld = "; keep me\r\n[s]\r\nk=old\r\n";

struct stat stat_of(const fs::path &p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st;
}

// The first write checks the file can be created or replaced, and the check
// itself leaves nothing behind.
TEST(IniCommit, UnwritablePathFailsTheFirstWriteAndLeavesNothing) {
    const auto dir = scratch();
    write_bytes(dir / "plain.txt", "not a folder");
    fs::create_directory(dir / "folder");
    fs::create_symlink("loop_b", dir / "loop_a");
    fs::create_symlink("loop_a", dir / "loop_b");
    const auto before = listing(dir);
    const fs::path cases[] = {
        dir / "missing" / "f.ini",    // folder does not exist
        dir / "plain.txt" / "f.ini",  // "folder" is a regular file
        dir / "folder",               // the path names a folder
        dir / "folder" / "",          // ... with a trailing separator
        dir / "loop_a",               // symbolic link loop
        fs::path(""),
    };
    for (const auto &p : cases) {
        SCOPED_TRACE(p.string());
        IniFile ini(u16(p));
        EXPECT_FALSE(ini.set(u"s", u"k", u"v"));
        EXPECT_FALSE(ini.set(u"s", u"k2", u"v"));  // and it stays unwritable
        EXPECT_TRUE(ini.commit());                 // nothing to write
        EXPECT_EQ(listing(dir), before);
    }
}

// A path the OS cannot take exactly would name another file: a NUL cuts it
// short, an unpaired surrogate would become U+FFFD. Such a store neither reads
// nor writes that other file.
TEST(IniCommit, PathThatWouldNameAnotherFileIsNeitherReadNorWritten) {
    const auto dir = scratch();
    write_bytes(dir / "a.ini", kOld);
    write_bytes(dir / "x\xEF\xBF\xBD.ini", kOld);
    const auto before = listing(dir);
    const std::u16string cases[] = {
        u16(dir / "a.ini") + std::u16string(u"\0.bak", 5),
        u16(dir) + u"/x" + char16_t(0xD800) + u".ini",
    };
    for (const auto &p : cases) {
        IniFile ini(p);
        EXPECT_EQ(ini.get(u"s", u"k", u"d"), u"d");
        EXPECT_FALSE(ini.set(u"s", u"k", u"new"));
        EXPECT_TRUE(ini.commit());
    }
    EXPECT_EQ(listing(dir), before);
    EXPECT_EQ(read_bytes(dir / "a.ini"), kOld);
    EXPECT_EQ(read_bytes(dir / "x\xEF\xBF\xBD.ini"), kOld);
}

TEST(IniCommit, FailedCommitKeepsTheOldFileAndLeavesNoTemporary) {
    const auto dir = scratch();
    const auto path = dir / "f.ini";

    {  // the rename fails: the target became a folder
        write_bytes(path, kOld);
        IniFile ini(u16(path));
        ASSERT_TRUE(ini.set(u"s", u"k", u"new"));
        fs::remove(path);
        fs::create_directory(path);
        EXPECT_FALSE(ini.commit());
        EXPECT_EQ(listing(dir), std::set<std::string>{"f.ini"});
        fs::remove(path);
    }
    {  // the temporary file cannot be created: the folder went away
        fs::create_directory(dir / "sub");
        IniFile ini(u16(dir / "sub" / "f.ini"));
        ASSERT_TRUE(ini.set(u"s", u"k", u"new"));
        fs::remove(dir / "sub");
        EXPECT_FALSE(ini.commit());
        EXPECT_TRUE(listing(dir).empty());
    }
    {  // the write fails: the file size limit stops it part way
        write_bytes(path, kOld);
        IniFile ini(u16(path));
        ASSERT_TRUE(ini.set(u"s", u"k", std::u16string(100'000, u'x')));
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit old_limit {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
        struct rlimit small = old_limit;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool committed = ini.commit();
        ::setrlimit(RLIMIT_FSIZE, &old_limit);
        std::signal(SIGXFSZ, old_handler);
        EXPECT_FALSE(committed);
        EXPECT_EQ(read_bytes(path), kOld);
        EXPECT_EQ(listing(dir), std::set<std::string>{"f.ini"});
    }
}

// Without commit (a crash, an early return) and for a read-only use, the file
// is not touched at all; a commit that changes nothing writes nothing.
TEST(IniCommit, NothingIsWrittenWithoutACommittedChange) {
    const auto dir = scratch();
    const auto path = dir / "f.ini";
    write_bytes(path, kOld);
    const auto before = stat_of(path);
    {
        IniFile ini(u16(path));
        ASSERT_TRUE(ini.set(u"s", u"k", u"new"));
        ASSERT_TRUE(ini.set(u"t", u"x", u"1"));
    }
    {
        IniFile ini(u16(path));
        EXPECT_EQ(ini.get(u"s", u"k"), u"old");
        ASSERT_TRUE(ini.set(u"S", u"K", u"old"));  // the value it already has
        EXPECT_TRUE(ini.commit());
    }
    {
        IniFile ini(u16(path));
        EXPECT_TRUE(ini.commit());
        IniFile moved(std::move(ini));
        EXPECT_TRUE(moved.commit());
    }
    const auto after = stat_of(path);
    EXPECT_EQ(read_bytes(path), kOld);
    EXPECT_EQ(after.st_ino, before.st_ino);  // not replaced
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(listing(dir), std::set<std::string>{"f.ini"});
}

TEST(IniCommit, WritesThroughSymbolicLinks) {
    const auto dir = scratch();
    fs::create_directory(dir / "real");
    write_bytes(dir / "real" / "f.ini", kOld);
    fs::create_symlink("real/f.ini", dir / "link.ini");  // relative target
    fs::create_symlink(dir / "link.ini", dir / "link2.ini");
    fs::create_symlink("real/new.ini", dir / "dangling.ini");

    IniFile ini(u16(dir / "link2.ini"));
    ASSERT_TRUE(ini.set(u"s", u"k", u"new"));
    ASSERT_TRUE(ini.commit());
    IniFile fresh(u16(dir / "dangling.ini"));
    ASSERT_TRUE(fresh.set(u"s", u"k", u"v"));
    ASSERT_TRUE(fresh.commit());

    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_TRUE(fs::is_symlink(dir / "link2.ini"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.ini"));
    EXPECT_EQ(read_bytes(dir / "real" / "f.ini"), "; keep me\r\n[s]\r\nk=new\r\n");
    EXPECT_EQ(read_bytes(dir / "real" / "new.ini"), "[s]\r\nk=v\r\n");
    EXPECT_EQ(listing(dir).size(), 6u);  // the three links, real/, its two files
}

TEST(IniCommit, KeepsPermissionBitsAndCreatesWithTheUmask) {
    const auto dir = scratch();
    const auto path = dir / "f.ini";
    for (mode_t mode : {0640u, 0600u, 0755u, 0444u}) {
        SCOPED_TRACE(mode);
        write_bytes(path, kOld);
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        IniFile ini(u16(path));
        ASSERT_TRUE(ini.set(u"s", u"k", u"new"));
        ASSERT_TRUE(ini.commit());
        EXPECT_EQ(stat_of(path).st_mode & 07777, mode);
        fs::remove(path);
    }
    const mode_t mask = ::umask(022);
    IniFile ini(u16(path));
    ASSERT_TRUE(ini.set(u"s", u"k", u"v"));
    ASSERT_TRUE(ini.commit());
    ::umask(mask);
    EXPECT_EQ(stat_of(path).st_mode & 07777, 0644u);
}

}  // namespace

#else

TEST(IniCommit, PosixOnly) {
    GTEST_SKIP() << "file modes, file-size limits and symbolic links are POSIX only";
}

#endif
