// End-to-end tests of what ryn does only on purpose: a GET writes a fresh
// file and never overwrites a file that is not its own, another unit's
// identity and older or empty firmware need their option, and a dry run
// writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "run_process.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

class OnPurpose : public ::testing::Test {
protected:
    void SetUp() override {
        const char *root = std::getenv("RYN_TEST_TMP");
        dir_ = fs::path(root ? root : fs::temp_directory_path().string()) / "cli_on_purpose" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }

    std::string slurp(const std::string &name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void spit(const std::string &name, const std::string &bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    // The text with the first occurrence of from replaced by to.
    static std::string edited(std::string text, const std::string &from, const std::string &to) {
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    }

    Result ryn(const std::vector<std::string> &args) const {
        const fs::path out = dir_ / ".stdout", err = dir_ / ".stderr";
        const int status = ryn::test::run_process(RYN_EXE, args, dir_, {}, out, err);
        return {status, slurp(".stdout"), slurp(".stderr")};
    }
    void must(const std::vector<std::string> &args) const {
        const Result r = ryn(args);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }
    // The names in the folder other than ryn's output captures.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename().string();
            if (name != ".stdout" && name != ".stderr") names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

// A GET into a file with a stale key leaves none; a failed GET leaves the
// old file as it was and no temporary file.
TEST_F(OnPurpose, GetWritesAFreshFileOnlyOnSuccess) {
    must({"sim", "create", "b.json", "--family", "base"});
    for (const char *command : {"cali", "info"}) {
        SCOPED_TRACE(command);
        must({"--sim", "b.json", "-q", command, "get", "f.ini"});
        const std::string fresh = slurp("f.ini");
        spit("f.ini", fresh + "stale_key=1\r\n");
        must({"--sim", "b.json", "-q", command, "get", "f.ini"});
        EXPECT_EQ(slurp("f.ini"), fresh);

        spit("f.ini", fresh + "stale_key=1\r\n");
        must({"--sim", "b.json", "-q", command, "get", "f.ini", "--merge"});
        EXPECT_NE(slurp("f.ini").find("stale_key=1"), std::string::npos) << "--merge keeps the old keys";

        must({"sim", "fail", "b.json", std::string(command) == "cali" ? "cali_info_reader" : "model_cfg_reader"});
        const std::string before = slurp("f.ini");
        const std::vector<std::string> names = files();
        const Result failed = ryn({"--sim", "b.json", "-q", command, "get", "f.ini"});
        EXPECT_EQ(failed.status, 1) << failed.err;
        EXPECT_EQ(slurp("f.ini"), before);
        EXPECT_EQ(files(), names) << "a temporary file was left";
        must({"sim", "fail", "b.json", "--clear"});
        fs::remove(dir_ / "f.ini");
    }
}

// A GET never overwrites a file that is no INI file, nor (unless merging) the
// other request's record: refused with exit status 2, the file as it was.
TEST_F(OnPurpose, GetRefusesAFileThatIsNotItsOwn) {
    must({"sim", "create", "b.json", "--family", "base"});
    must({"image", "build", "--format", "base", "-o", "fw.bin"});
    const std::string image = slurp("fw.bin");
    const Result refused = ryn({"--sim", "b.json", "cali", "get", "fw.bin"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("'fw.bin' exists and is not an INI file"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_EQ(slurp("fw.bin"), image);
    EXPECT_EQ(ryn({"--sim", "b.json", "cali", "get", "fw.bin", "--merge"}).status, 2);
    EXPECT_EQ(slurp("fw.bin"), image);
    must({"--sim", "b.json", "-q", "cali", "get", "fw.bin", "--force"});
    EXPECT_EQ(slurp("fw.bin").find("[calibration]"), 0u) << "replaced by the calibration alone";

    // info get, then cali get into one file on a 5810.
    must({"sim", "create", "c5810.json", "--family", "5810"});
    must({"--sim", "c5810.json", "-q", "info", "get", "both.ini"});
    const std::string model = slurp("both.ini");
    const Result second = ryn({"--sim", "c5810.json", "-q", "cali", "get", "both.ini"});
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.err.find("[model configuration]"), std::string::npos) << second.err;
    EXPECT_EQ(slurp("both.ini"), model);
}

// info set of another unit's file is refused naming both values, with the
// state file byte for byte unchanged, unless --write-identity.
TEST_F(OnPurpose, IdentityChangesOnlyWithWriteIdentity) {
    must({"sim", "create", "b.json", "--family", "base"});
    must({"--sim", "b.json", "-q", "info", "get", "own.ini"});
    const std::string own = slurp("own.ini");
    // vid and pid compare as numbers: 0x408 is the device's 0x0408.
    spit("same.ini", edited(own, "vid=0x0408", "vid=0x408"));
    must({"--sim", "b.json", "-q", "info", "set", "same.ini"});

    const struct {
        const char *from, *to, *named;
    } cases[] = {
        {"serial_num=SN0000001", "serial_num=SN0000099", "serial number SN0000001 on the device, SN0000099 in the file"},
        {"serial_num=SN0000001", "serial_num=", "serial number SN0000001 on the device, none in the file"},
        {"pid=0x3101", "pid=0x5810", "product id 0x3101 on the device, 0x5810 in the file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.to);
        spit("other.ini", edited(own, c.from, c.to));
        const std::string state = slurp("b.json");
        const Result refused = ryn({"--sim", "b.json", "-q", "info", "set", "other.ini"});
        EXPECT_EQ(refused.status, 2);
        EXPECT_NE(refused.err.find(c.named), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("--write-identity"), std::string::npos) << refused.err;
        EXPECT_TRUE(slurp("b.json") == state) << "the state file changed";
    }
    must({"--sim", "b.json", "-q", "info", "set", "other.ini", "--write-identity"});
    must({"--sim", "b.json", "-q", "info", "get", "now.ini"});
    EXPECT_NE(slurp("now.ini").find("pid=0x5810"), std::string::npos);
}

// A dry run writes nothing (the state file stays byte for byte) and names
// what would change; numbers compare as numbers.
TEST_F(OnPurpose, DryRunNamesTheChangesAndWritesNothing) {
    must({"sim", "create", "b.json", "--family", "base"});
    must({"--sim", "b.json", "-q", "cali", "get", "c.ini"});
    const std::string cali = slurp("c.ini");
    spit("c.ini", edited(edited(cali, "nf_cam=2", "nf_cam=3"), "length=8192", "length=0x2000"));
    const std::string state = slurp("b.json");
    const Result dry = ryn({"--sim", "b.json", "cali", "set", "c.ini", "--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_TRUE(slurp("b.json") == state) << "the state file changed";
    EXPECT_NE(dry.out.find("1 key would change (device -> file):\n  [calibration] nf_cam: 2 -> 3\n"),
              std::string::npos) << dry.out;
    EXPECT_EQ(dry.out.find("length"), std::string::npos) << "0x2000 is 8192";

    // Keys the file lacks are summed up.
    spit("part.ini", "[calibration]\r\nnf_cam=2\r\n");
    const Result part = ryn({"--sim", "b.json", "cali", "set", "part.ini", "--dry-run"});
    EXPECT_EQ(part.status, 0);
    EXPECT_NE(part.out.find("No value would change.\n"), std::string::npos) << part.out;
    EXPECT_NE(part.out.find("keys missing from the file (first 5: [calibration] length, [calibration] version"),
              std::string::npos) << part.out;

    // An identity change is named, and exits as the SET would.
    must({"--sim", "b.json", "-q", "info", "get", "m.ini"});
    spit("m.ini", edited(slurp("m.ini"), "serial_num=SN0000001", "serial_num=SN0000002"));
    const std::string got = slurp("b.json");
    const Result identity = ryn({"--sim", "b.json", "info", "set", "m.ini", "--dry-run"});
    EXPECT_EQ(identity.status, 2);
    EXPECT_NE(identity.out.find("Identity would change: serial number SN0000001 on the device, SN0000002"),
              std::string::npos) << identity.out;
    EXPECT_TRUE(slurp("b.json") == got) << "the state file changed";

    must({"image", "build", "--format", "base", "-o", "fw.bin"});
    const Result update = ryn({"--sim", "b.json", "-q", "fw", "update", "fw.bin", "--dry-run"});
    EXPECT_EQ(update.status, 0) << update.err;
    EXPECT_NE(update.out.find("Writes (normal mode): the normal code."), std::string::npos) << update.out;
    EXPECT_EQ(update.out.find("====HDR"), std::string::npos) << "--quiet drops the header dump";
    EXPECT_TRUE(slurp("b.json") == got) << "the state file changed";
}

// A run of missing-key warnings is one line; --verbose lists each.
TEST_F(OnPurpose, RepeatedWarningsAreSummedUp) {
    must({"sim", "create", "b.json", "--family", "base"});
    spit("part.ini", "[calibration]\r\nversion=10\r\n");
    const Result summed = ryn({"--sim", "b.json", "-q", "cali", "set", "part.ini"});
    EXPECT_EQ(summed.status, 0);
    EXPECT_NE(summed.out.find(" keys missing from the file (first 5: nf_cam, cam0_middle_b_l, "), std::string::npos) << summed.out;
    EXPECT_NE(summed.out.find("; --verbose lists them all\n"), std::string::npos);
    EXPECT_EQ(summed.out.find("[Warning] Missing"), std::string::npos) << summed.out;
    const Result each = ryn({"--sim", "b.json", "-q", "--verbose", "cali", "set", "part.ini"});
    EXPECT_NE(each.out.find("[Warning] Missing nf_cam.\n"), std::string::npos);
}

// Older normal code and an image without code need their option; refused
// before any device write.
TEST_F(OnPurpose, OlderOrEmptyFirmwareOnlyWithItsOption) {
    must({"sim", "create", "b.json", "--family", "base", "--normal-version", "2.3.1400.1"});
    must({"image", "build", "--format", "base", "-o", "old.bin", "--normal-version", "2.3.1311.9"});
    const std::string state = slurp("b.json");
    const Result refused = ryn({"--sim", "b.json", "-q", "fw", "update", "old.bin"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("normal code 2.3.1311.9, older than the device's 2.3.1400.1"), std::string::npos)
        << refused.err;
    EXPECT_TRUE(slurp("b.json") == state) << "the state file changed";
    must({"--sim", "b.json", "-q", "fw", "update", "old.bin", "--allow-downgrade"});
    must({"image", "build", "--format", "base", "-o", "same.bin", "--normal-version", "2.3.1311.9"});
    must({"--sim", "b.json", "-q", "fw", "update", "same.bin"});

    // A 5920 image whose header lists no bank (its checksum mended to match).
    must({"sim", "create", "d.json", "--family", "5920"});
    must({"image", "build", "--format", "5920", "-o", "banked.bin"});
    std::string image = slurp("banked.bin");
    const auto banks = static_cast<unsigned char>(image[0x1C]);
    ASSERT_GT(banks, 0u);
    image[0x1C] = 0;
    // The header checksum (big-endian at 8) is the byte sum from offset 12 on.
    uint32_t sum = 0;
    for (int i = 8; i < 12; ++i) sum = sum << 8 | static_cast<unsigned char>(image[i]);
    sum -= banks;
    for (int i = 11; i >= 8; --i, sum >>= 8) image[i] = static_cast<char>(sum & 0xFF);
    spit("empty.bin", image);
    const std::string before = slurp("d.json");
    const Result empty = ryn({"--sim", "d.json", "-q", "fw", "update", "empty.bin"});
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("carries no code"), std::string::npos) << empty.err;
    EXPECT_TRUE(slurp("d.json") == before) << "the state file changed";
    must({"--sim", "d.json", "-q", "fw", "update", "empty.bin", "--allow-empty"});
}

}  // namespace
