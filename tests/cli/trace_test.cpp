// ryn sim trace: the device calls a run made are kept with the state file and
// shown in order, as text or JSON; the sim commands leave them as they were.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "run_process.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

class Trace : public ::testing::Test {
protected:
    void SetUp() override {
        const char *root = std::getenv("RYN_TEST_TMP");
        dir_ = fs::path(root ? root : fs::temp_directory_path().string()) / "cli_trace" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }

    std::string slurp(const fs::path &path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Runs ryn in the test's folder; the arguments are plain words separated
    // by spaces.
    Outcome ryn(const std::string &args) const {
        std::vector<std::string> words;
        std::istringstream in(args);
        for (std::string word; in >> word;) words.push_back(word);
        const fs::path out = dir_ / ".stdout", err = dir_ / ".stderr";
        const int status = ryn::test::run_process(RYN_EXE, words, dir_, {}, out, err);
        return {status, slurp(out), slurp(err)};
    }

    fs::path dir_;
};

// A cali get on a fresh base controller: the calls, in order, with the
// handle the load opened.
const std::string cali_get_calls =
    "ryn_check_platform(h2) = 0x5a01\n"
    "ryn_get_cali_info_fn(h2) = fn\n"
    "cali_info_reader(h2, buf) = 1\n";

TEST_F(Trace, ShowsTheCallsOfTheLastRunInOrder) {
    ASSERT_EQ(ryn("sim create s.json --family base").status, 0);
    const Outcome fresh = ryn("sim trace s.json");
    EXPECT_EQ(fresh.status, 0);
    EXPECT_EQ(fresh.out, "");
    EXPECT_EQ(fresh.err, "ryn: no device calls recorded in 's.json'\n");
    EXPECT_EQ(ryn("sim trace s.json --json").out, "[]\n");

    const Outcome get = ryn("--sim s.json cali get c.ini");
    ASSERT_EQ(get.status, 0) << get.out << get.err;
    const Outcome shown = ryn("sim trace s.json");
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, cali_get_calls);
    EXPECT_EQ(shown.err, "");

    // sim trace reads, and sim fail arms, without replacing the trace.
    EXPECT_EQ(ryn("sim trace s.json").out, cali_get_calls);
    ASSERT_EQ(ryn("sim fail s.json cali_info_reader --times 1").status, 0);
    EXPECT_EQ(ryn("sim trace s.json").out, cali_get_calls);

    // The next run's calls replace them, a failed call with its reason (the
    // handle is h4: sim fail's load opened h3).
    const Outcome failed = ryn("--sim s.json cali get c.ini");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(ryn("sim trace s.json").out,
              "ryn_check_platform(h4) = 0x5a01\n"
              "ryn_get_cali_info_fn(h4) = fn\n"
              "cali_info_reader(h4, buf) = 0 [fault]\n");
}

TEST_F(Trace, JsonGivesOpAndTextOfEachCall) {
    ASSERT_EQ(ryn("sim create s.json --family base").status, 0);
    ASSERT_EQ(ryn("--sim s.json cali get c.ini").status, 0);
    const Outcome json = ryn("sim trace s.json --json");
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out,
              "[\n"
              " {\n  \"op\": \"ryn_check_platform\",\n  \"text\": \"ryn_check_platform(h2) = 0x5a01\"\n },\n"
              " {\n  \"op\": \"ryn_get_cali_info_fn\",\n  \"text\": \"ryn_get_cali_info_fn(h2) = fn\"\n },\n"
              " {\n  \"op\": \"cali_info_reader\",\n  \"text\": \"cali_info_reader(h2, buf) = 1\"\n }\n"
              "]\n");
}

// A state file saved before the trace was kept: it loads, shows no calls,
// and keeps the calls of its next run.
TEST_F(Trace, StateFileWithoutATraceStillLoads) {
    ASSERT_EQ(ryn("sim create s.json --family base").status, 0);
    std::string state = slurp(dir_ / "s.json");
    const size_t key = state.find(",\n \"trace\": []");
    ASSERT_NE(key, std::string::npos) << state;
    state.erase(key, std::string(",\n \"trace\": []").size());
    std::ofstream(dir_ / "s.json", std::ios::binary) << state;

    const Outcome old = ryn("sim trace s.json");
    EXPECT_EQ(old.status, 0) << old.err;
    EXPECT_EQ(old.out, "");
    ASSERT_EQ(ryn("--sim s.json cali get c.ini").status, 0);
    EXPECT_EQ(ryn("sim trace s.json").out, cali_get_calls);
}

TEST_F(Trace, UsageAndMissingState) {
    const Outcome missing = ryn("sim trace absent.json");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no simulated device in 'absent.json'"), std::string::npos)
        << missing.err;
    // The state may also come as --sim, like every other command takes it;
    // two different ones are a usage error.
    EXPECT_EQ(ryn("--sim absent.json sim trace").status, 1);
    EXPECT_EQ(ryn("sim trace a.json --sim b.json").status, 2);
    const Outcome help = ryn("sim trace --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("name(args) = result [reason]"), std::string::npos) << help.out;
}

}  // namespace
