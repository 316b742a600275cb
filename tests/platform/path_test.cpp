#include "platform/path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/tmpdir.h"

namespace ryn::platform {
namespace {

std::u16string cwd() {
    return std::filesystem::current_path().u16string();
}

std::u16string repeat(size_t n, char16_t c = u'a') {
    return std::u16string(n, c);
}

// The separator the host writes: '/' on POSIX, '\\' on Windows (which reads
// both).
#if defined(_WIN32)
constexpr char16_t sep = u'\\';
#else
constexpr char16_t sep = u'/';
#endif

// An absolute POSIX-form path as the host writes it: on Windows with the
// current drive in front and '\\' between the components.
std::u16string host_form(std::u16string_view posix) {
    std::u16string out(posix);
    for (auto &c : out)
        if (c == u'/') c = sep;
    if (sep == u'/') return out;
    return cwd().substr(0, 2) + out;
}

TEST(FullPath, ResolvesAbsolutePathsLexically) {
    const struct {
        std::u16string_view in, out;
    } cases[] = {
        {u"/a/b/../c", u"/a/c"},
        {u"/a/./b//c", u"/a/b/c"},
        {u"/a/b/..", u"/a"},
        {u"/a/b/../", u"/a/"},
        {u"/a/b/", u"/a/b/"},
        {u"/..", u"/"},
        {u"/../..//x/.", u"/x"},
        {u"/", u"/"},
        {u"/no/such/dir/f.ini", u"/no/such/dir/f.ini"},
    };
    for (const auto &c : cases) EXPECT_EQ(full_path(c.in), host_form(c.out)) << std::filesystem::path(c.in);
    // A leading "//" is a network name on Windows, a plain root on POSIX.
    if (sep == u'/') {
        EXPECT_EQ(full_path(u"//a///b"), u"/a/b");
    }
}

TEST(FullPath, TakesRelativePathsAgainstTheCurrentDirectory) {
    const std::u16string dir = cwd();
    const size_t last = dir.rfind(sep);
    const std::u16string parent = dir.find(sep) == last ? dir.substr(0, last + 1) : dir.substr(0, last);
    EXPECT_EQ(full_path(u"f.ini"), dir + sep + u"f.ini");
    EXPECT_EQ(full_path(u"x//../y/./f.ini"), dir + sep + u"y" + sep + u"f.ini");
    EXPECT_EQ(full_path(u"."), dir);
    EXPECT_EQ(full_path(u"./"), dir + sep);
    EXPECT_EQ(full_path(u".."), parent);
}

TEST(FullPath, RejectsEmptyInputAndEmbeddedNul) {
    EXPECT_EQ(full_path(u""), std::nullopt);
    EXPECT_EQ(full_path(std::u16string_view(u"/a\0b", 4)), std::nullopt);
}

TEST(FullPath, LimitCountsTheResultAndItsTerminator) {
    // 259 characters as the host writes it (a drive takes two of them).
    const std::u16string fits = u"/" + repeat(258 - (host_form(u"/").size() - 1));
    const size_t abc = host_form(u"/abc").size();
    const struct {
        std::u16string in;
        size_t limit;
        bool ok;
    } cases[] = {
        {fits, max_path, true},
        {fits + u"a", max_path, false},
        {fits + u"/b/../.", max_path, true},  // a longer input that resolves short enough
        {u"/abc", abc + 1, true},
        {u"/abc", abc, false},
        {u"/", 0, false},
    };
    for (const auto &c : cases) {
        const auto result = full_path(c.in, c.limit);
        EXPECT_EQ(result.has_value(), c.ok) << c.in.size() << " chars, limit " << c.limit;
        if (result) {
            EXPECT_LT(result->size(), c.limit);
        }
    }
}

TEST(ExecutablePath, NamesThisTestProgram) {
    const auto exe = executable_path();
    ASSERT_TRUE(exe);
    EXPECT_EQ(full_path(*exe), *exe);  // already absolute and resolved
    EXPECT_TRUE(file_exists(*exe));
    const auto parts = split_path(*exe);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->name, u"ryn_platform_tests");
    EXPECT_TRUE(file_exists(parts->dir));
    EXPECT_EQ(executable_path(exe->size() + 1), exe);
    EXPECT_EQ(executable_path(exe->size()), std::nullopt);
}

TEST(FileExists, FilesAndFoldersButNotMissingOrUnrepresentableNames) {
    const auto dir = test::scratch_dir();
    test::write_file(dir / "f.ini", "");
    EXPECT_TRUE(file_exists((dir / "f.ini").u16string()));
    EXPECT_TRUE(file_exists(dir.u16string()));
    EXPECT_FALSE(file_exists((dir / "missing.ini").u16string()));
    EXPECT_FALSE(file_exists(u""));
    // A NUL would cut the name at "f.ini": it must not be found as that file.
    EXPECT_FALSE(file_exists((dir / "f.ini").u16string() + std::u16string(1, u'\0') + u"x"));
}

TEST(SplitPath, SplitsLikeTheHostAndMakesTheSamePathBack) {
    const struct {
        std::u16string_view in, dir, name, ext;
    } cases[] = {
        {u"/usr/lib/a.b.ini", u"/usr/lib/", u"a.b", u".ini"},
        {u"/dir.d/file", u"/dir.d/", u"file", u""},
        {u"name", u"", u"name", u""},
        {u".hidden", u"", u"", u".hidden"},
        {u"file.", u"", u"file", u"."},
        {u"/a//b/", u"/a//b/", u"", u""},
        {u"", u"", u"", u""},
    };
    for (const auto &c : cases) {
        const auto parts = split_path(c.in);
        ASSERT_TRUE(parts) << std::filesystem::path(c.in);
        EXPECT_EQ(parts->drive, u"");
        EXPECT_EQ(parts->dir, c.dir);
        EXPECT_EQ(parts->name, c.name);
        EXPECT_EQ(parts->ext, c.ext);
        EXPECT_EQ(make_path(parts->drive, parts->dir, parts->name, parts->ext), c.in);
    }
}

TEST(SplitPath, ReadsADriveAndBothSeparatorsOnWindows) {
    if (sep == u'/') GTEST_SKIP() << "POSIX has no drives and one separator";
    const struct {
        std::u16string_view in, drive, dir, name, ext;
    } cases[] = {
        {u"c:\\d\\n.e", u"c:", u"\\d\\", u"n", u".e"},
        {u"c:n.e", u"c:", u"", u"n", u".e"},
        {u"\\d/e\\f", u"", u"\\d/e\\", u"f", u""},
    };
    for (const auto &c : cases) {
        const auto parts = split_path(c.in);
        ASSERT_TRUE(parts) << std::filesystem::path(c.in);
        EXPECT_EQ(parts->drive, c.drive);
        EXPECT_EQ(parts->dir, c.dir);
        EXPECT_EQ(parts->name, c.name);
        EXPECT_EQ(parts->ext, c.ext);
    }
}

TEST(SplitPath, FailsWhenAPartExceeds255Characters) {
    const struct {
        std::u16string in;
        bool ok;
    } cases[] = {
        {u"/" + repeat(253) + u"/n.e", true},  // directory of 255 with its separators
        {u"/" + repeat(254) + u"/n.e", false},
        {u"/d/" + repeat(255) + u".e", true},
        {u"/d/" + repeat(256) + u".e", false},
        {u"/d/n." + repeat(254), true},  // extension of 255 with its '.'
        {u"/d/n." + repeat(255), false},
    };
    for (const auto &c : cases) EXPECT_EQ(split_path(c.in).has_value(), c.ok) << c.in.size();
}

TEST(MakePath, AddsTheMissingSeparatorAndDotAndRespectsTheLimit) {
    const struct {
        std::u16string_view drive, dir, name, ext;
        std::u16string out;
    } cases[] = {
        {u"", u"/d", u"n", u"ini", u"/d" + std::u16string(1, sep) + u"n.ini"},
        {u"", u"/d/", u"n", u".ini", u"/d/n.ini"},
        {u"", u"", u"n", u"", u"n"},
        {u"", u"/d/", u"", u"", u"/d/"},
        {u"", u"", u"", u"ini", u".ini"},
        {u"c", u"/d", u"n", u"e", u"c:/d" + std::u16string(1, sep) + u"n.e"},
    };
    for (const auto &c : cases) EXPECT_EQ(make_path(c.drive, c.dir, c.name, c.ext), c.out);

    const std::u16string dir = u"/" + repeat(250) + u"/";  // 252 characters
    EXPECT_EQ(make_path(u"", dir, u"abc", u"ini")->size(), 259u);
    EXPECT_EQ(make_path(u"", dir, u"abcd", u"ini"), std::nullopt);
}

TEST(ToOsPath, EncodesUtf8AndRefusesWhatWouldNameAnotherFile) {
    EXPECT_EQ(to_os_path(u"/t/caf\u00e9\U0001F600"), "/t/caf\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(to_os_path(std::u16string(u"/t/a") + char16_t(0xD800)), std::nullopt);
    EXPECT_EQ(to_os_path(std::u16string(u"/t/a") + char16_t(0xDC00) + u"b"), std::nullopt);
    EXPECT_EQ(to_os_path(std::u16string_view(u"/t/a\0b", 6)), std::nullopt);
}

}  // namespace
}  // namespace ryn::platform
