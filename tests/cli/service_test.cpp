// End-to-end tests of what a service engineer relies on: a failed update can
// be run again, device show and image inspect explain the unit and the image,
// requests that do not fit the device are refused before it is touched, and
// every failure ends with one "ryn:" line.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "run_process.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

using Bytes = std::string;

class Service : public ::testing::Test {
protected:
    void SetUp() override {
        const char *root = std::getenv("RYN_TEST_TMP");
        dir_ = fs::path(root ? root : fs::temp_directory_path().string()) / "cli_service" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }

    Bytes slurp(const std::string &name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void spit(const std::string &name, const Bytes &bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }

    Result ryn(const std::vector<std::string> &args) const {
        const fs::path out = dir_ / ".stdout", err = dir_ / ".stderr";
        const int status = ryn::test::run_process(RYN_EXE, args, dir_, {}, out, err);
        return {status, slurp(".stdout"), slurp(".stderr")};
    }

    // Runs a command that must succeed.
    void must(const std::vector<std::string> &args) const {
        const Result r = ryn(args);
        ASSERT_EQ(r.status, 0) << args[0] << " " << args[1] << "\n" << r.out << r.err;
    }

    json inspect(const std::string &image) const {
        const Result r = ryn({"image", "inspect", image, "--json"});
        EXPECT_EQ(r.status, 0) << r.err;
        return json::parse(r.out);
    }

    fs::path dir_;
};

// Where two byte strings first differ ("equal" when they do not), short
// enough to read in a failure.
std::string first_difference(const Bytes &a, const Bytes &b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return "differ at byte " + std::to_string(i);
    return a.size() == b.size() ? "equal" : "lengths " + std::to_string(a.size()) + " and " + std::to_string(b.size());
}

// The bytes of the named section of an image, as image inspect locates it.
Bytes section_of(const json &report, const Bytes &image, const std::string &name) {
    for (const json &s : report["sections"])
        if (s["name"] == name) return image.substr(s["offset"].get<size_t>(), s["length"].get<size_t>());
    ADD_FAILURE() << "no section " << name;
    return {};
}

// A failed write leaves every family updatable: after the fault is cleared
// the same update succeeds and the device holds the image.
TEST_F(Service, AnUpdateThatFailedOnceSucceedsWhenRunAgain) {
    struct Case {
        const char *family;
        std::vector<std::string> create;  // sim create options after the family
        const char *format;
        std::vector<std::string> device;  // global options reaching the controller
        std::vector<std::string> mode;
        const char *failing;              // the write that fails once
        std::vector<std::string> dump;    // sim dump RECORD [--dev N]
        // What the dumped record must hold of the image.
        std::function<void(const Bytes &image, const Bytes &dumped)> holds;
    };
    // The bytes [from, to) of the image sit in flash at the same offset plus shift.
    struct Range {
        size_t from, to, shift = 0;
    };
    const auto holds = [](std::vector<Range> ranges) {
        return [ranges](const Bytes &image, const Bytes &dumped) {
            for (const Range &r : ranges) {
                const size_t to = std::min(r.to, image.size());
                EXPECT_EQ(first_difference(dumped.substr(r.from + r.shift, to - r.from), image.substr(r.from, to - r.from)),
                          "equal")
                    << "image bytes from " << r.from;
            }
        };
    };
    // A 5810 image's header (0x1000 to 0x1044) goes to the device with its
    // flash boot word set; the code around it is written as it is.
    const size_t header = 0x1000, after_header = 0x1044, all = SIZE_MAX;
    const std::vector<Case> cases = {
        {"base", {}, "base", {}, {}, "ryn_set_normal_code", {"normal-code"}, nullptr},
        {"5810", {"--fw-mode", "flash"}, "5810", {}, {}, "ryn_set_normal_code", {"flash"},
         holds({{0, header}, {after_header, 0x3000}})},
        {"5810", {"--fw-mode", "maskrom"}, "5810", {}, {"--mode", "layout"}, "ryn_update_flash_code", {"flash"},
         holds({{0, header}, {after_header, all}})},
        {"5920", {}, "5920", {}, {}, "ryn_update_flash_code", {"flash"}, holds({{0x1000, 0x1000 + 3 * 0x6000}})},
        {"6cam", {}, "lpc4320", {"--6cam-dev", "lpc"}, {}, "ryn_update_flash_code", {"flash"}, nullptr},
        {"6cam", {}, "5810", {"--6cam-dev", "2"}, {}, "ryn_update_flash_code", {"flash", "--dev", "2"},
         holds({{0, header}})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.family) + " " + c.failing);
        std::vector<std::string> create = {"sim", "create", "d.json", "--family", c.family, "--force"};
        create.insert(create.end(), c.create.begin(), c.create.end());
        must(create);
        must({"image", "build", "--format", c.format, "-o", "fw.bin"});
        std::vector<std::string> update = c.device;
        for (const char *a : {"--sim", "d.json", "fw", "update", "fw.bin"}) update.push_back(a);
        update.insert(update.end(), c.mode.begin(), c.mode.end());

        must({"sim", "fail", "d.json", c.failing, "--times", "1"});
        const Result failed = ryn(update);
        ASSERT_EQ(failed.status, 1) << failed.out << failed.err;
        EXPECT_NE(failed.err.find("ryn: fw update failed: "), std::string::npos) << failed.err;
        must({"sim", "fail", "d.json", "--clear"});
        const Result again = ryn(update);
        ASSERT_EQ(again.status, 0) << again.out << again.err;

        std::vector<std::string> dump = {"sim", "dump", "d.json", c.dump[0], "-o", "dumped.bin"};
        dump.insert(dump.end(), c.dump.begin() + 1, c.dump.end());
        must(dump);
        const Bytes image = slurp("fw.bin");
        if (c.holds) {
            c.holds(image, slurp("dumped.bin"));
        } else if (std::string(c.family) == "base") {
            const Bytes code = section_of(inspect("fw.bin"), image, "normal code");
            EXPECT_EQ(first_difference(slurp("dumped.bin").substr(0, code.size()), code), "equal");
        } else {
            // LPC4320, normal mode: the flash firmware and the AHB SRAM parts
            // lie in flash at their address, the file offset plus 0x10000.
            const json report = inspect("fw.bin");
            const Bytes dumped = slurp("dumped.bin");
            for (const json &s : report["sections"]) {
                if (s["name"] != "flash fw" && s["name"] != "ahb sram 1" && s["name"] != "ahb sram 2") continue;
                const size_t at = s["offset"], n = s["length"];
                EXPECT_EQ(first_difference(dumped.substr(at + 0x10000, n), image.substr(at, n)), "equal")
                    << s["name"];
            }
        }
    }
}

TEST_F(Service, DeviceShowJsonHasTheSameKeysOnEveryFamily) {
    for (const char *family : {"base", "5810", "5920", "6cam"}) {
        SCOPED_TRACE(family);
        must({"sim", "create", "d.json", "--family", family, "--force"});
        const Result r = ryn({"--sim", "d.json", "device", "show", "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const json show = json::parse(r.out);
        for (const char *key : {"platform_code", "family", "firmware_mode", "versions", "fw_header", "controllers"})
            EXPECT_TRUE(show.contains(key)) << key << " missing in\n" << r.out;
        EXPECT_EQ(show["family"], family);
        EXPECT_FALSE(show["firmware_mode"].is_null()) << r.out;
        EXPECT_TRUE(show["fw_header"].is_object()) << r.out;
        const std::string name = family;
        if (name == "base") {
            EXPECT_EQ(show["platform_code"], 1);
            EXPECT_EQ(show["firmware_mode"]["name"], "normal");
            EXPECT_EQ(show["versions"]["bootldr"], "1.0.0312.1");
            EXPECT_EQ(show["controllers"].size(), 0u);
        } else if (name == "6cam") {
            ASSERT_EQ(show["controllers"].size(), 3u);
            EXPECT_EQ(show["controllers"][0]["device"], 255);
            EXPECT_EQ(show["controllers"][0]["firmware_mode"]["name"], "firmware");
            EXPECT_TRUE(show["controllers"][0]["fw_header"].contains("vendor_id"));
            EXPECT_EQ(show["controllers"][2]["device"], 2);
            EXPECT_EQ(show["controllers"][2]["controller"], "5810");
        }
    }
    // The device library alone answers: the run's calls are ryn_hid operations.
    const Result trace = ryn({"sim", "trace", "d.json"});
    EXPECT_NE(trace.out.find("ryn_check_platform("), std::string::npos) << trace.out;
    EXPECT_NE(trace.out.find("ryn_6cam_set_dev_id(2)"), std::string::npos) << trace.out;

    // A six-camera 5810 device updated once holds the image header in its
    // header record; --6cam-dev chooses the controller of the top level.
    must({"image", "build", "--format", "5810", "-o", "fw.bin"});
    must({"--sim", "d.json", "--6cam-dev", "1", "fw", "update", "fw.bin"});
    const json show = json::parse(ryn({"--sim", "d.json", "--6cam-dev", "1", "device", "show", "--json"}).out);
    EXPECT_EQ(show["fw_header"]["image_header"], true);
    EXPECT_EQ(show["versions"]["header_version"], "1.1");
    EXPECT_EQ(show["controllers"][1]["fw_header"]["image_header"], true);
    EXPECT_EQ(show["controllers"][2]["fw_header"]["image_header"], false);
}

TEST_F(Service, DeviceShowSaysWhetherTheUnitIsInService) {
    struct Case {
        const char *family;
        std::vector<std::string> create;
        const char *state;  // of the top level
        const char *serial;
    };
    const Case cases[] = {
        {"base", {}, "in service", "SN0000001"},
        {"base", {"--fw-mode", "update"}, "left in update mode", "SN0000001"},
        {"base", {"--fw-mode", "flashbuilder"}, "left in flash builder", "SN0000001"},
        {"base", {"--model-version", "0x100"}, "in service", nullptr},  // a record without strings
        {"5810", {"--fw-mode", "maskrom"}, "left in mask ROM", "SN58100001"},
        {"5920", {}, "in service", "SN59200001"},
        {"6cam", {}, "in service", "SN43200001"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.family) + " " + c.state);
        std::vector<std::string> create = {"sim", "create", "d.json", "--family", c.family, "--force"};
        create.insert(create.end(), c.create.begin(), c.create.end());
        must(create);
        const Result r = ryn({"--sim", "d.json", "device", "show", "--json", "--check"});
        const json show = json::parse(r.out);
        const bool in_service = std::string(c.state) == "in service";
        EXPECT_EQ(r.status, in_service ? 0 : 1) << r.err;
        EXPECT_EQ(show["state"], c.state);
        EXPECT_EQ(show["unit_in_service"], in_service);
        EXPECT_EQ(show["recover"].is_null(), in_service);
        if (c.serial) {
            EXPECT_EQ(show["serial_num"], c.serial);
        } else {
            EXPECT_TRUE(show["serial_num"].is_null()) << r.out;
        }
        if (!in_service) {
            EXPECT_NE(r.err.find("ryn: the unit is not in service: "), std::string::npos) << r.err;
        }
    }

    // A 5810 whose update stopped is left in mask ROM; device show names the
    // update that recovers it, and once it has run the unit is in service.
    must({"sim", "create", "d.json", "--family", "5810", "--force"});
    must({"image", "build", "--format", "5810", "-o", "fw.bin"});
    must({"sim", "fail", "d.json", "ryn_set_normal_code", "--times", "1"});
    EXPECT_EQ(ryn({"--sim", "d.json", "fw", "update", "fw.bin"}).status, 1);
    must({"sim", "fail", "d.json", "--clear"});
    Result r = ryn({"--sim", "d.json", "device", "show", "--check"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("state: left in mask ROM; recover it by running its update again: "
                         "ryn --sim d.json fw update IMAGE\n"),
              std::string::npos)
        << r.out;
    must({"--sim", "d.json", "fw", "update", "fw.bin"});
    EXPECT_EQ(ryn({"--sim", "d.json", "device", "show", "--check"}).status, 0);

}

// Replaces the value of the first line "key=..." of an INI text.
std::string with_value(std::string ini, const std::string &key, const std::string &value) {
    const size_t at = ini.find("\n" + key + "=");
    if (at == std::string::npos) return ini;
    const size_t from = at + key.size() + 2, end = ini.find_first_of("\r\n", from);
    return ini.replace(from, end - from, value);
}

TEST_F(Service, DiffComparesAsTheLibraryReads) {
    must({"sim", "create", "d.json", "--family", "base"});
    must({"--sim", "d.json", "cali", "get", "cali.ini"});
    const Bytes cali = slurp("cali.ini");
    ASSERT_NE(cali.find("\nlength=8192"), std::string::npos);
    struct Case {
        const char *what;
        Bytes changed;
        int status;
        const char *named;  // in the output
    };
    const Case cases[] = {
        {"a number in hex", with_value(cali, "length", "0x2000"), 0, nullptr},
        {"names in another case", Bytes(cali).replace(cali.find("[calibration]"), 13, "[CALIBRATION]")
                                      .replace(cali.find("\nlength="), 8, "\nLENGTH="), 0, nullptr},
        {"a repeated key (the first counts)", with_value(cali, "length", "8192\nlength=7"), 0, nullptr},
        {"a value changed", with_value(cali, "version", "9"), 1, "[calibration] version: 10 -> 9"},
        {"a key renamed", Bytes(cali).replace(cali.find("\nnf_cam="), 8, "\nnf_cams="), 1, "[calibration] nf_cam: only in cali.ini"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        spit("other.ini", c.changed);
        const Result r = ryn({"diff", "cali.ini", "other.ini"});
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        if (c.named) {
            EXPECT_NE(r.out.find(c.named), std::string::npos) << r.out;
        }
        // The device against the file, the same way.
        const Result d = ryn({"--sim", "d.json", "cali", "diff", "other.ini"});
        EXPECT_EQ(d.status, c.status) << d.out << d.err;
    }
    spit("other.ini", with_value(cali, "version", "9"));
    EXPECT_NE(ryn({"diff", "cali.ini", "other.ini"}).out.find("version"), std::string::npos);
    const Result missing = ryn({"diff", "cali.ini", "none.ini"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("ryn: "), std::string::npos);

    // A file that is not what the comparison needs is trouble, not a verdict:
    // two different firmware images hold no INI data and must not compare as
    // the same, and another record's file (a model configuration given to
    // cali diff) must not list every device key as missing from it.
    must({"image", "build", "--format", "5920", "-o", "a.bin"});
    must({"image", "build", "--format", "5810", "-o", "b.bin"});
    must({"--sim", "d.json", "info", "get", "info.ini"});
    const Bytes state = slurp("d.json");
    const std::vector<std::vector<std::string>> trouble = {
        {"diff", "a.bin", "b.bin"},
        {"diff", "cali.ini", "a.bin"},
        {"--sim", "d.json", "cali", "diff", "a.bin"},
        {"--sim", "d.json", "cali", "diff", "info.ini"},
        {"--sim", "d.json", "info", "diff", "cali.ini"},
    };
    for (const auto &args : trouble) {
        const Result r = ryn(args);
        EXPECT_EQ(r.status, 2) << args[args.size() - 2] << " " << args.back() << "\n" << r.out << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("ryn: '"), std::string::npos) << r.err;
    }
    EXPECT_EQ(slurp("d.json"), state);

    // Did the calibration survive the update: one command. A six-camera
    // system without --6cam-dev compares each controller, labelled.
    must({"sim", "create", "six.json", "--family", "6cam"});
    must({"--sim", "six.json", "--6cam-dev", "2", "info", "get", "m2.ini"});
    const Result six = ryn({"--sim", "six.json", "info", "diff", "m2.ini"});
    EXPECT_EQ(six.status, 1);
    for (const char *line : {"device 255 (LPC4320): differs", "device 1 (5810): differs", "device 2 (5810): identical"})
        EXPECT_NE(six.out.find(line), std::string::npos) << six.out;
    EXPECT_EQ(ryn({"--sim", "six.json", "--6cam-dev", "2", "info", "diff", "m2.ini"}).status, 0);
}

TEST_F(Service, BackupWritesEveryRecordWithAManifest) {
    struct Case {
        const char *family;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"base", {"cali.ini", "info.ini", "versions.ini", "device.json"}},
        {"5810", {"cali.ini", "info.ini", "device.json"}},
        {"5920", {"cali.ini", "info.ini", "device.json"}},
        {"6cam", {"cali-255.ini", "info-255.ini", "device-255.json", "cali-1.ini", "info-1.ini", "device-1.json",
                  "cali-2.ini", "info-2.ini", "device-2.json"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.family);
        must({"sim", "create", "d.json", "--family", c.family, "--serial", "UNIT-42", "--force"});
        fs::remove_all(dir_ / "bk");
        const Result r = ryn({"--sim", "d.json", "backup", "bk"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "backup of " + std::string(c.family) + " UNIT-42 -> bk: " +
                             std::to_string(c.files.size() + 1) + " files\n");
        const json manifest = json::parse(slurp("bk/manifest.json"));
        EXPECT_EQ(manifest["family"], c.family);
        std::set<std::string> listed;
        for (const json &controller : manifest["controllers"]) {
            EXPECT_EQ(controller["serial_num"], "UNIT-42");
            for (const json &f : controller["files"]) listed.insert(f.get<std::string>());
        }
        EXPECT_EQ(listed, std::set<std::string>(c.files.begin(), c.files.end()));
        for (const std::string &f : c.files) {
            ASSERT_TRUE(manifest["sha256"].contains(f)) << f;
            EXPECT_EQ(manifest["sha256"][f].get<std::string>().size(), 64u);
        }
        // The files are the GETs cali get and info get write.
        const std::string cali = c.files.front();
        std::vector<std::string> get = {"--sim", "d.json", "cali", "get", "cali-now.ini"};
        if (std::string(c.family) == "6cam") get.insert(get.end(), {"--6cam-dev", "255"});
        must(get);
        EXPECT_EQ(slurp("bk/" + cali), slurp("cali-now.ini"));
    }
    // A folder that holds files is refused, and left as it was.
    const Bytes manifest = slurp("bk/manifest.json");
    const Result again = ryn({"--sim", "d.json", "backup", "bk"});
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.err.find("--force"), std::string::npos) << again.err;
    EXPECT_EQ(slurp("bk/manifest.json"), manifest);
    EXPECT_EQ(ryn({"--sim", "d.json", "backup", "bk", "--force"}).status, 0);
}

// Every record of every controller, as raw bytes (sim dump).
TEST_F(Service, RestoreBringsBackEveryRecordOfTheBackup) {
    struct Case {
        const char *family;
        const char *cali_from, *cali_to;  // a calibration value changed after the backup
    };
    const Case cases[] = {
        {"base", "cam0_middle_b_l=100", "cam0_middle_b_l=99"},
        {"5810", "cam0_poly_c1=-2.9808334351e+002", "cam0_poly_c1=7"},
        {"5920", "cam0_poly_c1=18", "cam0_poly_c1=7"},
        {"6cam", "cam0_poly_c1=-2.9783334351e+002", "cam0_poly_c1=7"},
    };
    const auto edited = [](std::string text, const std::string &from, const std::string &to) {
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.family);
        const bool six = std::string(c.family) == "6cam";
        const std::vector<std::string> devs = six ? std::vector<std::string>{"255", "1", "2"}
                                                  : std::vector<std::string>{""};
        const auto records = [&](const std::string &state) {
            Bytes all;
            for (const std::string &dev : devs)
                for (const char *record : {"cali", "model-cfg"}) {
                    std::vector<std::string> dump = {"sim", "dump", state, record, "-o", "r.bin"};
                    if (!dev.empty()) dump.insert(dump.end(), {"--dev", dev});
                    must(dump);
                    all += slurp("r.bin") + "|";
                }
            return all;
        };
        must({"sim", "create", "d.json", "--family", c.family, "--serial", "UNIT-42", "--force"});
        fs::remove_all(dir_ / "bk");
        must({"--sim", "d.json", "backup", "bk"});
        const Bytes backed_up = records("d.json");

        // A calibration and a model-configuration value changed (device 1 of a six-camera system).
        std::vector<std::string> dev = six ? std::vector<std::string>{"--6cam-dev", "1"} : std::vector<std::string>{};
        const auto on_device = [&](std::vector<std::string> args) {
            args.insert(args.begin(), {"-q", "--sim", "d.json"});
            args.insert(args.end(), dev.begin(), dev.end());
            must(args);
        };
        on_device({"cali", "get", "c.ini"});
        on_device({"info", "get", "m.ini"});
        spit("c.ini", edited(slurp("c.ini"), c.cali_from, c.cali_to));
        spit("m.ini", edited(slurp("m.ini"), "model_name=SIM-", "model_name=CHANGED-"));
        on_device({"cali", "set", "c.ini"});
        on_device({"info", "set", "m.ini"});
        ASSERT_NE(records("d.json"), backed_up);

        const Result r = ryn({"--sim", "d.json", "restore", "bk"});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(first_difference(records("d.json"), backed_up), "equal");
        const std::string ends = six ? "device 255: cali identical\ndevice 255: info identical\n"
                                       "device 1: cali identical\ndevice 1: info identical\n"
                                       "device 2: cali identical\ndevice 2: info identical\n"
                                     : "cali identical\ninfo identical\n";
        EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), ends.size())), ends) << r.out;
        EXPECT_NE(r.out.find("model_name: CHANGED-"), std::string::npos) << "what will change is shown\n" << r.out;

        // Another unit of the family: refused, naming both serial numbers, then taken on purpose.
        must({"sim", "create", "o.json", "--family", c.family, "--serial", "OTHER", "--force"});
        const Bytes other = slurp("o.json");
        const Result refused = ryn({"--sim", "o.json", "restore", "bk"});
        EXPECT_EQ(refused.status, 2);
        EXPECT_NE(refused.err.find("UNIT-42"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("OTHER"), std::string::npos) << refused.err;
        EXPECT_TRUE(slurp("o.json") == other) << "the state file changed";
        const Result moved = ryn({"--sim", "o.json", "restore", "bk", "--to-other-unit"});
        ASSERT_EQ(moved.status, 0) << moved.out << moved.err;
        EXPECT_EQ(first_difference(records("o.json"), backed_up), "equal");
    }
}

// A backup that does not check out writes nothing: a file whose sum differs
// from the manifest's, and --only keeps the other record as it is.
TEST_F(Service, RestoreChecksTheManifestFirst) {
    must({"sim", "create", "d.json", "--family", "5810", "--serial", "UNIT-42"});
    must({"--sim", "d.json", "backup", "bk"});
    must({"-q", "--sim", "d.json", "info", "get", "m.ini"});
    Bytes model = slurp("m.ini");
    model.replace(model.find("model_name=SIM-"), 15, "model_name=NEW-");
    spit("m.ini", model);
    must({"-q", "--sim", "d.json", "info", "set", "m.ini"});
    const Bytes state = slurp("d.json");

    // A damaged file: refused before the device is touched.
    const Bytes info = slurp("bk/info.ini");
    spit("bk/info.ini", info + "; changed\n");
    const Result damaged = ryn({"--sim", "d.json", "restore", "bk"});
    EXPECT_EQ(damaged.status, 2);
    EXPECT_NE(damaged.err.find("does not match its SHA-256"), std::string::npos) << damaged.err;
    EXPECT_TRUE(slurp("d.json") == state) << "the state file changed";
    spit("bk/info.ini", info);

    // --only cali leaves the changed model configuration as it is.
    const Result only = ryn({"--sim", "d.json", "restore", "bk", "--only", "cali"});
    ASSERT_EQ(only.status, 0) << only.err;
    EXPECT_EQ(only.out.substr(only.out.rfind("cali identical")), "cali identical\n");
    const Result still = ryn({"--sim", "d.json", "info", "diff", "bk/info.ini"});
    EXPECT_EQ(still.status, 1);

    // Another family's backup is no backup of this unit.
    must({"sim", "create", "e.json", "--family", "5920", "--serial", "UNIT-42"});
    const Bytes other = slurp("e.json");
    EXPECT_EQ(ryn({"--sim", "e.json", "restore", "bk"}).status, 2);
    EXPECT_TRUE(slurp("e.json") == other) << "the state file changed";

    // A folder that holds no backup wrote nothing either: exit status 2, not
    // the 1 of a restore that failed part-way.
    fs::create_directories(dir_ / "empty");
    for (const char *folder : {"empty", "none"}) {
        const Result r = ryn({"--sim", "d.json", "restore", folder});
        EXPECT_EQ(r.status, 2) << folder << "\n" << r.err;
        EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
    }
}

// A restore that fails part-way names what it wrote and what it did not, and
// runs again once the fault is gone; one record of a six-camera system is
// written only to the controller named.
TEST_F(Service, RestoreThatFailsPartWaySaysWhatWasWritten) {
    must({"sim", "create", "d.json", "--family", "5920", "--serial", "UNIT-42"});
    must({"--sim", "d.json", "backup", "bk"});
    must({"sim", "fail", "d.json", "model_cfg_writer"});
    const Result failed = ryn({"--sim", "d.json", "restore", "bk"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("restore failed part-way: "), std::string::npos) << failed.err;
    EXPECT_NE(failed.err.find("; written: cali.ini; not written: info.ini"), std::string::npos) << failed.err;
    EXPECT_NE(failed.out.find("cali identical\n"), std::string::npos) << failed.out;
    must({"sim", "fail", "d.json", "--clear"});
    must({"--sim", "d.json", "restore", "bk"});

    must({"sim", "create", "six.json", "--family", "6cam", "--serial", "UNIT-6"});
    must({"--sim", "six.json", "backup", "six"});
    const Bytes state = slurp("six.json");
    const Result unnamed = ryn({"--sim", "six.json", "restore", "six", "--only", "cali"});
    EXPECT_EQ(unnamed.status, 2);
    EXPECT_NE(unnamed.err.find("--6cam-dev 255 (or lpc)"), std::string::npos) << unnamed.err;
    EXPECT_TRUE(slurp("six.json") == state) << "the state file changed";
    const Result named = ryn({"--sim", "six.json", "restore", "six", "--only", "cali", "--6cam-dev", "1"});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out.substr(named.out.rfind("device 1: ")), "device 1: cali identical\n");
}

TEST_F(Service, ImageInspectRecognisesEveryFormat) {
    for (const char *format : {"base", "flash-builder", "5810", "5920", "lpc4320"}) {
        SCOPED_TRACE(format);
        const std::string image = std::string(format) + ".bin";
        must({"image", "build", "--format", format, "-o", image});
        const json report = inspect(image);
        EXPECT_EQ(report["format"], format);
        EXPECT_EQ(report["recognised"], true);
        EXPECT_EQ(report["valid"], true);
        EXPECT_FALSE(report["header"].empty());
        for (const json &s : report["sections"])
            if (s.contains("crc_ok")) {
                EXPECT_EQ(s["crc_ok"], true) << s["name"];
            }
        const Result text = ryn({"image", "inspect", image});
        EXPECT_EQ(text.status, 0);
        EXPECT_EQ(text.out.rfind(image + ": recognised as ", 0), 0u) << text.out;
    }
    EXPECT_EQ(inspect("base.bin")["versions"]["normal"], "2.3.1400.1");
    EXPECT_EQ(inspect("lpc4320.bin")["versions"]["header_version"], "1.1");

    // A changed byte in the calibration: stored and computed CRCs differ.
    Bytes bad = slurp("5810.bin");
    const json report = inspect("5810.bin");
    size_t cali = 0;
    for (const json &s : report["sections"])
        if (s["name"] == "cali info") cali = s["offset"];
    bad[cali + 3] = static_cast<char>(bad[cali + 3] ^ 0x5A);
    spit("bad.bin", bad);
    const Result r = ryn({"image", "inspect", "bad.bin", "--json"});
    EXPECT_EQ(r.status, 1);
    const json verdict = json::parse(r.out);
    EXPECT_EQ(verdict["valid"], false);
    for (const json &s : verdict["sections"])
        if (s["name"] == "cali info") {
            EXPECT_EQ(s["crc_ok"], false);
        }
    EXPECT_NE(r.err.find("ryn: 'bad.bin' is not a valid 5810 image"), std::string::npos) << r.err;

    // Two magics: refused with both candidates; no magic and no valid header: not recognised.
    Bytes both = slurp("5810.bin");
    const char lpc_magic[] = {0x6A, 0x6C, 0x20, 0x43};
    both.replace(4, 4, lpc_magic, 4);
    spit("both.bin", both);
    const Result ambiguous = ryn({"image", "inspect", "both.bin"});
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_NE(ambiguous.err.find("(5810, lpc4320)"), std::string::npos) << ambiguous.err;
    spit("noise.bin", Bytes(5000, '\x11'));
    const Result noise = ryn({"image", "inspect", "noise.bin"});
    EXPECT_EQ(noise.status, 1);
    EXPECT_NE(noise.err.find("is not recognised"), std::string::npos) << noise.err;
}

// fw verify after an update: exit 0 once the device holds the image where
// it can be read back, 1 with the first difference named once a byte of the
// 5920's flash was changed, and the state file as it was after each verify.
TEST_F(Service, FwVerifyConfirmsA5920UpdateByItsFlash) {
    must({"sim", "create", "d.json", "--family", "5920", "--force"});
    must({"image", "build", "--format", "5920", "-o", "fw.bin"});
    const auto verify = [&](const std::vector<std::string> &extra) {
        const Bytes before = slurp("d.json");
        std::vector<std::string> args = {"--sim", "d.json", "fw", "verify", "fw.bin"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Result r = ryn(args);
        EXPECT_EQ(first_difference(slurp("d.json"), before), "equal") << "fw verify changed the state file";
        return r;
    };
    // Nothing written yet: the erased flash differs at the first bank's first byte.
    const Result fresh = verify({});
    EXPECT_EQ(fresh.status, 1) << fresh.out << fresh.err;
    EXPECT_NE(fresh.err.find("code bank 0 (flash 0x00001000, 24576 bytes) differs at flash address 0x00001000"),
              std::string::npos) << fresh.err;

    const Result update = ryn({"--sim", "d.json", "fw", "update", "fw.bin", "--mode", "layout"});
    ASSERT_EQ(update.status, 0) << update.out << update.err;
    // The summary comes after the library's last message, with the CRCs of
    // the erased banks and of the image's.
    const size_t done = update.out.find("Update firmware succesfully\n");
    ASSERT_NE(done, std::string::npos) << update.out;
    const std::string summary = update.out.substr(done + std::string("Update firmware succesfully\n").size());
    EXPECT_EQ(summary.rfind("updated: code crc 0x", 0), 0u) << summary;
    EXPECT_EQ(summary.substr(summary.size() - 10), " verified\n") << summary;
    const size_t arrow = summary.find(" -> ");
    ASSERT_NE(arrow, std::string::npos);
    EXPECT_NE(summary.substr(8, arrow - 8), summary.substr(arrow + 4, arrow - 8)) << summary;

    for (const std::vector<std::string> &mode : {std::vector<std::string>{}, {"--mode", "layout"}}) {
        const Result ok = verify(mode);
        EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
        EXPECT_NE(ok.out.find("verified: the device holds what 'fw.bin' carries"), std::string::npos) << ok.out;
        EXPECT_EQ(ok.out.find("differs"), std::string::npos) << ok.out;
    }

    // One byte of code bank 1 changed in the device's flash.
    must({"sim", "dump", "d.json", "flash", "-o", "flash.bin"});
    Bytes flash = slurp("flash.bin");
    const size_t changed = 0x7010;
    const auto held = static_cast<unsigned char>(flash[changed]);
    flash[changed] = static_cast<char>(held ^ 0xFF);
    spit("flash.bin", flash);
    must({"sim", "load", "d.json", "flash", "flash.bin"});
    char bytes[64];
    std::snprintf(bytes, sizeof bytes, "0x%02x in the image, 0x%02x on the device", held, held ^ 0xFFu);
    const Result changed_bank = verify({});
    EXPECT_EQ(changed_bank.status, 1) << changed_bank.out << changed_bank.err;
    EXPECT_NE(changed_bank.out.find("code bank 0 (flash 0x00001000, 24576 bytes): match"), std::string::npos);
    EXPECT_NE(changed_bank.err.find("ryn: the device does not hold what 'fw.bin' carries: code bank 1 (flash "
                                    "0x00007000, 24576 bytes) differs at flash address 0x00007010: " + std::string(bytes)),
              std::string::npos) << changed_bank.err;
    const Result changed_layout = verify({"--mode", "layout"});
    EXPECT_EQ(changed_layout.status, 1) << changed_layout.out << changed_layout.err;
    EXPECT_NE(changed_layout.err.find("differs at flash address 0x00007010"), std::string::npos) << changed_layout.err;
}

// What each family reads back: what is compared, what cannot be verified
// (said so, never counted as a match), and the summary of the update before.
TEST_F(Service, FwVerifySaysWhatEachFamilyCannotReadBack) {
    struct Case {
        const char *family;
        const char *format;
        std::vector<std::string> build;   // image build options
        std::vector<std::string> update;  // global options of the update
        std::vector<std::string> verify;  // global options of the verify
        const char *summary;              // the update's last line holds it
        int status;                       // of the verify
        std::vector<std::string> out;     // lines verify prints
    };
    const std::string no_read_back = "cannot verify the code: this device offers no read-back";
    const std::vector<Case> cases = {
        {"base", "base", {"--normal-version", "9.9.9.9"}, {}, {}, "-> normal code 9.9.9.9 verified\n", 0,
         {"version string \"normal\": match", no_read_back, "on the device: normal code 9.9.9.9"}},
        {"5810", "5810", {}, {}, {}, "updated: unknown -> unknown, not verified: this device offers no read-back\n", 2,
         {no_read_back}},
        {"6cam", "lpc4320", {}, {"--6cam-dev", "lpc"}, {}, "updated: unknown -> unknown, not verified: this device offers no read-back\n", 2,
         {"device 255 (LPC4320):\n  " + no_read_back, "device 1 (5810): skipped, the image is an lpc4320 image"}},
        // Device 2 holds the image's header, device 1 another: the unit differs.
        {"6cam", "5810", {}, {"--6cam-dev", "2"}, {}, "updated: unknown -> header crc 0x", 1,
         {"device 255 (LPC4320): skipped", "device 1 (5810):\n  image header (firmware header record, 68 bytes) differs at offset 0x",
          "device 2 (5810):\n  image header (firmware header record, 68 bytes): match\n  " + no_read_back}},
        {"6cam", "5810", {}, {"--6cam-dev", "2"}, {"--6cam-dev", "2"}, " verified\n", 0,
         {"image header (firmware header record, 68 bytes): match", "on the device: header crc 0x"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.family) + " " + c.format);
        must({"sim", "create", "d.json", "--family", c.family, "--force"});
        std::vector<std::string> build = {"image", "build", "--format", c.format, "-o", "fw.bin"};
        build.insert(build.end(), c.build.begin(), c.build.end());
        must(build);
        std::vector<std::string> update = c.update;
        for (const char *a : {"--sim", "d.json", "fw", "update", "fw.bin"}) update.push_back(a);
        const Result updated = ryn(update);
        ASSERT_EQ(updated.status, 0) << updated.out << updated.err;
        EXPECT_NE(updated.out.find(c.summary), std::string::npos) << updated.out;

        std::vector<std::string> verify = c.verify;
        for (const char *a : {"--sim", "d.json", "fw", "verify", "fw.bin"}) verify.push_back(a);
        const Bytes state = slurp("d.json");
        const Result r = ryn(verify);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        for (const std::string &line : c.out) EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
        if (c.status == 2) {
            EXPECT_EQ(r.out.find(": match"), std::string::npos) << "nothing compared, nothing matches\n" << r.out;
            EXPECT_NE(r.err.find("could be compared"), std::string::npos) << r.err;
        }
        EXPECT_EQ(slurp("d.json"), state);
    }

    // A base controller whose normal code is not the image's: the version named.
    must({"sim", "create", "d.json", "--family", "base", "--force"});
    must({"image", "build", "--format", "base", "--normal-version", "9.9.9.9", "-o", "fw.bin"});
    const Result other = ryn({"--sim", "d.json", "fw", "verify", "fw.bin"});
    EXPECT_EQ(other.status, 1) << other.out << other.err;
    EXPECT_NE(other.err.find("version string \"normal\" differs: \"9.9.9.9\" in the image, \"2.3.1311.5\" on the device"),
              std::string::npos) << other.err;
}

// Requests that cannot fit the device or the format: exit status 2, one
// "ryn:" line, and the state file (device and trace) as it was.
TEST_F(Service, MismatchesAreUsageErrorsBeforeTheDeviceIsTouched) {
    for (const char *format : {"base", "flash-builder", "5810", "5920", "lpc4320"})
        must({"image", "build", "--format", format, "-o", std::string(format) + ".bin"});
    spit("cali.txt", "x\n");
    Bytes bad = slurp("5920.bin");
    bad[0x50] = static_cast<char>(bad[0x50] ^ 1);  // a header byte: the checksum no longer holds
    spit("bad5920.bin", bad);
    struct Case {
        const char *family;
        std::vector<std::string> args;
        std::vector<std::string> named;  // what the error line must name
    };
    const std::vector<Case> cases = {
        {"base", {"fw", "update", "5810.bin"}, {"5810 image", "base controller"}},
        {"base", {"fw", "update", "flash-builder.bin"}, {"flash-builder", "--flash-builder"}},
        {"5920", {"fw", "update", "lpc4320.bin"}, {"lpc4320 image", "5920 controller"}},
        {"6cam", {"--6cam-dev", "255", "fw", "update", "5810.bin"}, {"5810 image", "LPC4320"}},
        // A six-camera system is one unit: a write names its controller.
        {"6cam", {"fw", "update", "5810.bin"}, {"--6cam-dev 255", "--6cam-dev 1", "--6cam-dev 2"}},
        {"6cam", {"cali", "set", "cali.txt"}, {"cali set", "--6cam-dev 255", "--6cam-dev 1", "--6cam-dev 2"}},
        {"6cam", {"info", "set", "cali.txt"}, {"info set", "--6cam-dev 255", "--6cam-dev 1", "--6cam-dev 2"}},
        {"base", {"--6cam-dev", "lpc", "info", "versions", "v.ini"}, {"--6cam-dev", "LPC4320", "base controller"}},
        {"6cam", {"--6cam-dev", "1", "fw", "update", "lpc4320.bin"}, {"lpc4320 image", "device 1"}},
        {"base", {"--6cam-dev", "1", "info", "versions", "v.ini"}, {"--6cam-dev", "base controller"}},
        {"5810", {"fw", "update", "5810.bin", "--mode", "auto"}, {"--mode auto"}},
        {"base", {"fw", "update", "base.bin", "--mode", "layout"}, {"--flash-builder"}},
        {"5920", {"fw", "update", "5920.bin", "--flash-builder", "flash-builder.bin"}, {"--flash-builder"}},
        {"5920", {"cali", "set", "cali.txt", "--text"}, {"--text"}},
        {"6cam", {"--6cam-dev", "1", "cali", "set", "cali.txt", "--compact-ini"}, {"--compact-ini"}},
        {"5920", {"fw", "verify", "lpc4320.bin"}, {"lpc4320 image", "5920 controller", "not read"}},
        {"6cam", {"fw", "verify", "5920.bin"}, {"5920 image", "an lpc4320 image", "a 5810 image"}},
        {"base", {"fw", "verify", "cali.txt"}, {"not recognised"}},
        {"5920", {"fw", "verify", "bad5920.bin"}, {"not a valid 5920 image", "Header checksum"}},
    };
    for (const Case &c : cases) {
        std::string line;
        for (const auto &a : c.args) line += " " + a;
        SCOPED_TRACE(std::string(c.family) + ":" + line);
        must({"sim", "create", "d.json", "--family", c.family, "--force"});
        must({"--sim", "d.json", "device", "show"});  // a trace in the state file
        const Bytes before = slurp("d.json");
        std::vector<std::string> args = {"--sim", "d.json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result r = ryn(args);
        EXPECT_EQ(r.status, 2) << r.out << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("ryn: ", 0), 0u) << r.err;
        for (const std::string &word : c.named) EXPECT_NE(r.err.find(word), std::string::npos) << r.err;
        EXPECT_EQ(slurp("d.json"), before);
    }
    // Options a format has no place for.
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--format", "5810", "--updater-version", "1.2.3.4"},
          {"--format", "5920", "--update-code", "cali.txt"},
          {"--format", "base", "--header-version", "1.0"}}) {
        std::vector<std::string> build = {"image", "build", "-o", "x.bin"};
        build.insert(build.end(), args.begin(), args.end());
        const Result r = ryn(build);
        EXPECT_EQ(r.status, 2) << args[1] << " " << args[2] << "\n" << r.err;
        EXPECT_NE(r.err.find("does not belong to the " + args[1] + " format"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir_ / "x.bin"));
    }
}

TEST_F(Service, VersionSuggestionsCompletionAndManPage) {
    const Result v = ryn({"--version"});
    EXPECT_EQ(v.status, 0);
    const std::string tool = v.out.substr(0, v.out.find('\n'));
    ASSERT_EQ(tool.rfind("ryn ", 0), 0u) << v.out;
    // The library's version, read from the loaded module, is the project's.
    EXPECT_NE(v.out.find("libryn_usr " + tool.substr(4)), std::string::npos) << v.out;

    const Result typo = ryn({"device", "show", "--jsn"});
    EXPECT_EQ(typo.status, 2);
    EXPECT_NE(typo.err.find("did you mean '--json'?"), std::string::npos) << typo.err;
    const Result global = ryn({"info", "versions", "v.ini", "--quite"});
    EXPECT_EQ(global.status, 2);
    EXPECT_NE(global.err.find("did you mean '--quiet'?"), std::string::npos) << global.err;
    const Result command = ryn({"devcie", "show"});
    EXPECT_EQ(command.status, 2);
    EXPECT_NE(command.err.find("did you mean 'device'?"), std::string::npos) << command.err;

    for (const char *shell : {"bash", "zsh", "fish"}) {
        const Result r = ryn({"completion", shell});
        EXPECT_EQ(r.status, 0) << shell;
        for (const char *word : {"device", "inspect", "flash-builder", "6cam-dev"})
            EXPECT_NE(r.out.find(word), std::string::npos) << shell << " lacks " << word;
    }
    EXPECT_EQ(ryn({"completion", "tcsh"}).status, 2);

    const Result man = ryn({"man"});
    EXPECT_EQ(man.status, 0);
    EXPECT_EQ(man.out.rfind(".TH RYN 1", 0), 0u);
    EXPECT_NE(man.out.find(".SS ryn image inspect"), std::string::npos);
    EXPECT_EQ(ryn({"--help"}).out.find("  man "), std::string::npos);  // not listed
}

// Progress names its steps, shows each once, and says what a long wait is for.
TEST_F(Service, ProgressNamesStepsAndWaits) {
    must({"sim", "create", "d.json", "--family", "5810", "--fw-mode", "maskrom"});
    must({"image", "build", "--format", "5810", "-o", "fw.bin"});
    const Result r = ryn({"--sim", "d.json", "fw", "update", "fw.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> steps;
    size_t named = 0, at = 0;
    while (at < r.err.size()) {
        const size_t end = r.err.find('\n', at);
        const std::string line = r.err.substr(at, end - at);
        at = end + 1;
        ASSERT_EQ(line.rfind("step ", 0), 0u) << r.err;
        const std::string step = line.substr(0, line.find(' ', 5));
        EXPECT_TRUE(steps.insert(step).second) << "repeated: " << line;
        if (line.size() > step.size()) ++named;
    }
    EXPECT_GE(named, 2u) << r.err;

    must({"sim", "stall", "d.json", "ryn_get_reg"});
    const Result stalled = ryn({"--sim", "d.json", "fw", "update", "fw.bin"});
    EXPECT_EQ(stalled.status, 1);
    EXPECT_NE(stalled.err.find("waiting for the serial flash to report its ID\n"), std::string::npos) << stalled.err;
    const size_t first = stalled.err.find("waiting for");
    EXPECT_EQ(stalled.err.find("waiting for", first + 1), std::string::npos) << "one line per wait";
    const std::string last = stalled.err.substr(stalled.err.rfind('\n', stalled.err.size() - 2) + 1);
    EXPECT_EQ(last.rfind("ryn: fw update failed: ", 0), 0u) << stalled.err;
}

TEST_F(Service, HintsAndMergeWarning) {
    // A 1.0 LPC4320 image in normal mode: the library's advice, then ryn's.
    must({"sim", "create", "six.json", "--family", "6cam"});
    must({"image", "build", "--format", "lpc4320", "--header-version", "1.0", "-o", "l10.bin"});
    const Result r = ryn({"--sim", "six.json", "--6cam-dev", "lpc", "fw", "update", "l10.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Please select \"Complete\" mode"), std::string::npos);
    EXPECT_NE(r.err.find("hint: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--mode layout"), std::string::npos) << r.err;
    // The last line names the first failure too, not only the library's last word.
    EXPECT_NE(r.err.find("ryn: fw update failed: Failed to read input patch file.; first failure: "
                         "[Check Header Error]: Invalid Header version 1.0"),
              std::string::npos) << r.err;
    // --quiet: the errors, without the header dump and the status lines.
    const Result quiet = ryn({"--sim", "six.json", "--6cam-dev", "lpc", "-q", "fw", "update", "l10.bin"});
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.out, "[Check Header Error]: Invalid Header version 1.0 (Expected: 1.1)\n"
                         "Failed to read input patch file.\n") << quiet.out;
    EXPECT_NE(quiet.err.find("hint: "), std::string::npos) << quiet.err;

    // cali get into a file info versions wrote: refused, as the new file
    // would lose the version strings; with --merge both kinds of section stay.
    must({"sim", "create", "b.json", "--family", "base"});
    must({"--sim", "b.json", "info", "versions", "mixed.ini"});
    const Bytes versions = slurp("mixed.ini");
    const Result refused = ryn({"--sim", "b.json", "-q", "cali", "get", "mixed.ini"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("'mixed.ini' holds sections that cali get does not write ([version string])"),
              std::string::npos) << refused.err;
    EXPECT_EQ(slurp("mixed.ini"), versions);
    const Result get = ryn({"--sim", "b.json", "-q", "cali", "get", "mixed.ini", "--merge"});
    EXPECT_EQ(get.status, 0);
    EXPECT_NE(get.err.find("warning: 'mixed.ini' already holds other sections ([version string])"),
              std::string::npos) << get.err;
    const Bytes ini = slurp("mixed.ini");
    EXPECT_NE(ini.find("[version string]"), std::string::npos);
    EXPECT_NE(ini.find("[calibration]"), std::string::npos);
    // Its own kind of file: no warning.
    EXPECT_EQ(ryn({"--sim", "b.json", "-q", "cali", "get", "c.ini"}).err, "");
    EXPECT_EQ(ryn({"--sim", "b.json", "-q", "cali", "get", "c.ini"}).err, "");
}

#ifndef _WIN32
// A file name that is not UTF-8 reaches the file system byte for byte.
TEST_F(Service, NonUtf8FileNamesSurviveTheRoundTrip) {
    must({"sim", "create", "b.json", "--family", "base"});
    const std::string name = "cali-\xff\xfe-\xc3.ini";  // invalid UTF-8 bytes
    must({"--sim", "b.json", "-q", "cali", "get", name});
    EXPECT_TRUE(fs::exists(dir_ / name));
    must({"--sim", "b.json", "-q", "cali", "set", name});
    must({"--sim", "b.json", "-q", "info", "versions", name + ".v"});
    EXPECT_TRUE(fs::exists(dir_ / (name + ".v")));
}
#endif

}  // namespace
