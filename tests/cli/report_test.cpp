// End-to-end tests of --json and --log on the device commands: with --json
// stdout is one JSON object and nothing else, also when the command fails,
// and the exit status stays as without it; --log leaves one line per message
// with the time, the unit's family and serial number, run after run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
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

class JsonAndLog : public ::testing::Test {
protected:
    void SetUp() override {
        const char *root = std::getenv("RYN_TEST_TMP");
        dir_ = fs::path(root ? root : fs::temp_directory_path().string()) / "cli_report" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }

    std::string slurp(const std::string &name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    Result ryn(const std::vector<std::string> &args) const {
        const fs::path out = dir_ / ".stdout", err = dir_ / ".stderr";
        const int status = ryn::test::run_process(RYN_EXE, args, dir_, {}, out, err);
        return {status, slurp(".stdout"), slurp(".stderr")};
    }

    // A copy of a file of the test folder over another. (MinGW's
    // fs::copy_file refuses to overwrite, whatever its options say.)
    void copy(const std::string &from, const std::string &to) const {
        std::ofstream(dir_ / to, std::ios::binary | std::ios::trunc) << slurp(from);
    }

    void must(const std::vector<std::string> &args) const {
        const Result r = ryn(args);
        ASSERT_EQ(r.status, 0) << args[0] << " " << args[1] << "\n" << r.out << r.err;
    }

    // The whole of stdout as one JSON object; a failure names what else was there.
    static json object_of(const Result &r) {
        const json parsed = json::parse(r.out, nullptr, false);
        EXPECT_FALSE(parsed.is_discarded()) << "stdout is not one JSON object:\n" << r.out;
        EXPECT_TRUE(parsed.is_object()) << r.out;
        return parsed.is_object() ? parsed : json::object();
    }

    fs::path dir_;
};

std::string without_blanks(const std::string &text) {
    std::string out;
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out += c;
    return out;
}

bool holds(const json &messages, const std::string &text) {
    for (const json &m : messages)
        if (m.is_string() && m.get<std::string>().find(text) != std::string::npos) return true;
    return false;
}

// Every command that speaks JSON, on success, on a failure of the library,
// on a usage error found after parsing and on a comparison that finds
// differences: the exit status is the one without --json, stdout holds only
// the object, and a failure carries the "ryn:" line's text as its error.
TEST_F(JsonAndLog, StdoutIsOneObjectWithTheResultAndTheExitStatusStays) {
    must({"sim", "create", "base.json", "--family", "base", "--serial", "UNIT-1"});
    must({"image", "build", "--format", "base", "-o", "fw.bin", "--normal-version", "2.3.1500.1"});
    must({"image", "build", "--format", "5810", "-o", "fw5810.bin"});
    must({"--sim", "base.json", "cali", "get", "cali.ini"});
    must({"--sim", "base.json", "info", "get", "info.ini"});
    {
        std::ofstream(dir_ / "changed.ini") << "[calibration]\nnf_cam=7\n";
    }
    struct Case {
        const char *what;
        std::vector<std::string> setup;  // run before the command (a fault armed)
        std::vector<std::string> args;
        int status;
        const char *result;
        const char *error;    // part of the error, or null when there is none
        const char *message;  // part of a line messages must hold, or null
    };
    const std::vector<Case> cases = {
        {"update", {}, {"fw", "update", "fw.bin"}, 0, "ok", nullptr, "Switch to the normal mode."},
        {"verify", {}, {"fw", "verify", "fw.bin"}, 0, "ok", nullptr, "verified: the device holds"},
        {"set", {}, {"cali", "set", "cali.ini"}, 0, "ok", nullptr, nullptr},
        {"get", {}, {"info", "versions", "v.ini"}, 0, "ok", nullptr, nullptr},
        {"failed set", {"sim", "fail", "base.json", "cali_info_writer"}, {"cali", "set", "cali.ini"}, 1, "failed",
         "cali set failed", nullptr},
        {"another family's image", {}, {"fw", "update", "fw5810.bin"}, 2, "failed", "is a 5810 image", nullptr},
        {"missing file", {}, {"info", "set", "none.ini"}, 1, "failed", "does not exist", nullptr},
        {"same", {}, {"info", "diff", "info.ini"}, 0, "ok", nullptr, "model configuration identical"},
        {"differs", {}, {"cali", "diff", "changed.ini"}, 1, "ok", nullptr, "[calibration] nf_cam"},
        {"files differ", {}, {"diff", "cali.ini", "changed.ini"}, 1, "ok", nullptr, "[calibration] nf_cam"},
        {"backup", {}, {"backup", "bk"}, 0, "ok", nullptr, "backup of base UNIT-1 -> bk"},
        {"restore", {}, {"restore", "bk", "--only", "cali"}, 0, "ok", nullptr, "cali identical"},
        // Last: it leaves the controller in its update mode.
        {"failed update", {"sim", "fail", "base.json", "ryn_set_normal_code"}, {"fw", "update", "fw.bin"}, 1,
         "failed", "fw update failed", "Fail to set the normal code."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = {"--sim", "base.json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        if (c.what == std::string("backup")) fs::remove_all(dir_ / "bk");
        if (!c.setup.empty()) must(c.setup);
        // Both runs start from the same device.
        copy("base.json", "kept.json");
        const Result plain = ryn(args);
        copy("kept.json", "base.json");
        if (c.what == std::string("backup")) fs::remove_all(dir_ / "bk");
        args.push_back("--json");
        const Result r = ryn(args);
        must({"sim", "fail", "base.json", "--clear"});

        EXPECT_EQ(plain.status, c.status) << plain.out << plain.err;
        EXPECT_EQ(r.status, c.status) << r.err;
        const json o = object_of(r);
        EXPECT_EQ(o["result"], c.result);
        EXPECT_EQ(o["exit_status"], c.status);
        const bool one_word = c.args[0] == "diff" || c.args[0] == "backup" || c.args[0] == "restore";
        EXPECT_EQ(o["command"], one_word ? c.args[0] : c.args[0] + " " + c.args[1]);
        ASSERT_TRUE(o["messages"].is_array() && o["warnings"].is_array()) << r.out;
        if (c.message) {
            EXPECT_TRUE(holds(o["messages"], c.message)) << r.out;
        }
        if (c.error) {
            ASSERT_TRUE(o["error"].is_string()) << r.out;
            const std::string error = o["error"];
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            // The final line stays on stderr, and is the last of messages.
            EXPECT_NE(r.err.find("ryn: " + error + "\n"), std::string::npos) << r.err;
            EXPECT_EQ(o["messages"].back(), "ryn: " + error);
        } else {
            EXPECT_TRUE(o["error"].is_null()) << r.out;
        }
        // What the text form prints on stdout is in messages instead, in
        // order (one entry per line of each message; the stderr lines too).
        std::string on_stdout;
        for (const json &m : o["messages"]) {
            const std::string line = m;
            if (line.rfind("ryn: ", 0) != 0 && line.rfind("hint: ", 0) != 0) on_stdout += line;
        }
        EXPECT_EQ(without_blanks(on_stdout), without_blanks(plain.out));
        if (c.args[0] != "diff" && c.what != std::string("missing file")) {  // read once the device is loaded
            EXPECT_EQ(o["family"], "base");
            EXPECT_EQ(o["serial_num"], "UNIT-1");
        }
    }
}

// fw update reports what the controller held before and after, whether the
// read-back confirmed it, and the mode it was left in, also when the update
// failed part-way.
TEST_F(JsonAndLog, AnUpdateReportsBeforeAfterAndTheModeItLeftTheDeviceIn) {
    must({"sim", "create", "base.json", "--family", "base"});
    must({"image", "build", "--format", "base", "-o", "fw.bin", "--normal-version", "2.3.1500.1"});
    json o = object_of(ryn({"--sim", "base.json", "fw", "update", "fw.bin", "--json"}));
    EXPECT_EQ(o["after"], "normal code 2.3.1500.1") << o;
    EXPECT_TRUE(o["before"].is_string() && o["before"] != o["after"]) << o;
    EXPECT_EQ(o["verified"], true);
    EXPECT_EQ(o["device_mode_after"], "in service");
    EXPECT_TRUE(holds(o["messages"], "updated: " + o["before"].get<std::string>() + " -> normal code 2.3.1500.1"));

    must({"sim", "create", "m.json", "--family", "5810", "--fw-mode", "flash"});
    must({"image", "build", "--format", "5810", "-o", "fw5810.bin"});
    must({"sim", "fail", "m.json", "ryn_set_normal_code"});
    const Result r = ryn({"--sim", "m.json", "fw", "update", "fw5810.bin", "--json"});
    EXPECT_EQ(r.status, 1);
    o = object_of(r);
    EXPECT_EQ(o["result"], "failed");
    EXPECT_TRUE(o["after"].is_null() && o["verified"].is_null()) << o;
    EXPECT_EQ(o["device_mode_after"], "left in mask ROM") << o;
}

// A six-camera unit read as one: each controller's verdict, and every
// difference labelled with the controller it was found on.
TEST_F(JsonAndLog, ASixCameraComparisonNamesEachController) {
    must({"sim", "create", "six.json", "--family", "6cam"});
    must({"--sim", "six.json", "--6cam-dev", "1", "cali", "get", "cali-1.ini"});
    const Result r = ryn({"--sim", "six.json", "cali", "diff", "cali-1.ini", "--json"});
    EXPECT_EQ(r.status, 1);
    const json o = object_of(r);
    EXPECT_EQ(o["result"], "ok");
    EXPECT_EQ(o["same"], false);
    EXPECT_EQ(o["controllers"], json::parse(R"([{"device": 255, "same": false}, {"device": 1, "same": true},
                                                {"device": 2, "same": false}])"));
    std::set<unsigned> labelled;
    for (const json &d : o["differences"]) labelled.insert(d["device"].get<unsigned>());
    EXPECT_EQ(labelled, (std::set<unsigned>{255, 2}));
}

// Two runs on two units append to one log: every line carries the time,
// the unit's family and serial number; each run has its command and result.
TEST_F(JsonAndLog, TheLogKeepsEveryRunWithTimeFamilyAndSerialNumber) {
    must({"sim", "create", "a.json", "--family", "base", "--serial", "UNIT-A"});
    must({"sim", "create", "b.json", "--family", "5920", "--serial", "UNIT-B"});
    must({"--sim", "a.json", "cali", "get", "cali.ini"});
    must({"sim", "fail", "b.json", "cali_info_reader"});
    EXPECT_EQ(ryn({"--sim", "a.json", "cali", "set", "cali.ini", "--log", "units.log"}).status, 0);
    const Result failed = ryn({"cali", "get", "b.ini", "--sim", "b.json", "--log", "units.log", "--json"});
    EXPECT_EQ(failed.status, 1);
    object_of(failed);  // the log changes nothing on stdout

    const std::regex line_form(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ) (\S+) (\S+) (\w+): (.*))");
    struct Run {
        std::string family, serial;
        std::vector<std::string> kinds;
        std::string result, error;
    };
    std::vector<Run> runs;
    std::istringstream log(slurp("units.log"));
    for (std::string line; std::getline(log, line);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, line_form)) << line;
        if (m[4] == "command") runs.push_back({m[2], m[3], {}, {}, {}});
        ASSERT_FALSE(runs.empty()) << "a line before the first command: " << line;
        Run &run = runs.back();
        EXPECT_EQ(m[2], run.family) << line;
        EXPECT_EQ(m[3], run.serial) << line;
        run.kinds.push_back(m[4]);
        if (m[4] == "result") run.result = m[5];
        if (m[4] == "error") run.error = m[5];
    }
    ASSERT_EQ(runs.size(), 2u) << slurp("units.log");
    EXPECT_EQ(runs[0].family + " " + runs[0].serial, "base UNIT-A");
    EXPECT_EQ(runs[1].family + " " + runs[1].serial, "5920 UNIT-B");
    EXPECT_EQ(runs[0].result, "ok (exit status 0); device in service");
    EXPECT_EQ(runs[1].result.rfind("failed (exit status 1)", 0), 0u) << runs[1].result;
    EXPECT_NE(runs[1].error.find("cali get failed"), std::string::npos) << runs[1].error;
    EXPECT_NE(std::find(runs[1].kinds.begin(), runs[1].kinds.end(), "library"), runs[1].kinds.end());
    for (const Run &run : runs) EXPECT_EQ(run.kinds.back(), "result");
}

// A log that cannot be opened or written stops the command before the
// device is written; a line a full disk cut short is ended by the next run.
TEST_F(JsonAndLog, ALogThatCannotBeWrittenStopsTheCommandFirst) {
    must({"sim", "create", "s.json", "--family", "base"});
    must({"--sim", "s.json", "cali", "get", "cali.ini"});
    must({"sim", "dump", "s.json", "cali", "-o", "before.bin"});
    std::vector<std::string> bad = {"missing-folder/units.log", "."};
#ifndef _WIN32
    bad.push_back("/dev/full");  // opens, but every write fails as on a full disk
#endif
    for (const std::string &log : bad) {
        SCOPED_TRACE(log);
        const Result r = ryn({"--sim", "s.json", "cali", "set", "cali.ini", "--log", log, "--json"});
        EXPECT_EQ(r.status, 1);
        const json o = object_of(r);
        EXPECT_EQ(o["result"], "failed");
        EXPECT_NE(o["error"].get<std::string>().find("log file"), std::string::npos) << o["error"];
        EXPECT_EQ(r.err.rfind("ryn: ", 0), 0u) << r.err;
        must({"sim", "dump", "s.json", "cali", "-o", "after.bin"});
        EXPECT_TRUE(slurp("before.bin") == slurp("after.bin")) << "the device was written";
    }

    {
        std::ofstream(dir_ / "cut.log", std::ios::binary) << "2026-01-01T00:00:00Z base - library: cut sh";
    }
    must({"--sim", "s.json", "info", "versions", "v.ini", "--log", "cut.log"});
    const std::string text = slurp("cut.log");
    const size_t cut = text.find("cut sh\n");
    ASSERT_NE(cut, std::string::npos) << text;
    EXPECT_EQ(text.substr(cut + 7, 2), "20") << "the next run's first line does not start on a line of its own:\n" << text;
}

// --json where a command does not take it is a usage error, not ignored.
TEST_F(JsonAndLog, CommandsWithoutJsonRefuseIt) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"sim", "create", "s.json", "--family", "base", "--json"},
          {"image", "build", "--format", "base", "-o", "fw.bin", "--json"},
          {"image", "inspect", "fw.bin", "--log", "x.log"}}) {
        const Result r = ryn(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("not expected"), std::string::npos) << r.err;
    }
}

}  // namespace
