// The state file: a round trip keeps records, modes and faults; a malformed
// or hostile file fails to load with a clear text and changes nothing.
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "sim_test.h"

namespace ryn::sim::test {
namespace {

using nlohmann::json;

json read_json(const std::filesystem::path &p) {
    std::ifstream in(p);
    return json::parse(in);
}

void write_text(const std::filesystem::path &p, const std::string &text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

uint32_t fw_mode(ryn_handle h) {
    uint32_t mode = 0;
    EXPECT_EQ(ryn_get_fw_mode(h, &mode), 1) << last_trace();
    return mode;
}

TEST(SimState, RoundTripKeepsRecordsModesAndFaults) {
    std::filesystem::path dir = scratch_dir();
    std::string path = (dir / "device.json").string();
    ryn_handle h = create_base(R"({"cali_version": 9, "model_version": "0x102"})");
    const uint8_t code[] = {1, 2, 3};
    ASSERT_EQ(ryn_sim_set_record("normal-code", code, sizeof code), 1);
    ryn_set_sensor_ctrl(h, 0);
    ryn_set_dev_mode(h, 1, nullptr);  // pending until the next reset
    ASSERT_EQ(ryn_sim_fail("ryn_get_fw_ver_str", 2, 1), 1);
    ASSERT_EQ(ryn_sim_fail_value("ryn_check_platform", 1, 1, 3), 1);
    ASSERT_EQ(ryn_sim_corrupt("ryn_get_version_str", 1, 0, 0, 1), 1);
    ASSERT_EQ(ryn_sim_stall("ryn_get_reg", 4), 1);
    uint8_t ver[368];
    ryn_get_fw_ver_str(h, ver);  // counts call 1; the count is not saved
    const std::vector<uint8_t> cali = record("cali"), cfg = record("model-cfg"),
                               version = record("version");
    ASSERT_EQ(ryn_sim_save(path.c_str()), 1) << ryn_sim_last_error();

    json state = read_json(path);
    EXPECT_EQ(state["family"], "base");
    EXPECT_EQ(state["fw_mode"], json({{"current", "normal"}, {"pending", "update"}}));
    EXPECT_EQ(state["model"]["sensor"], false);
    EXPECT_EQ(state["faults"].size(), 4u);
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename(), "device.json");  // no temporary file left behind

    create_base();  // something else in between
    ryn_handle loaded = ryn_sim_load(path.c_str());
    ASSERT_NE(loaded, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    EXPECT_NE(loaded, h);
    EXPECT_EQ(record("cali"), cali);
    EXPECT_EQ(record("model-cfg"), cfg);
    EXPECT_EQ(record("version"), version);
    EXPECT_EQ(record("normal-code"), std::vector<uint8_t>(code, code + 3));

    EXPECT_EQ(ryn_check_platform(loaded), 3u);      // value fault, counted from 1 again
    EXPECT_EQ(ryn_get_fw_ver_str(loaded, ver), 1);  // call 1 of this process
    EXPECT_EQ(ryn_get_fw_ver_str(loaded, ver), 0);  // call 2 fails
    ASSERT_EQ(ryn_get_version_str(loaded, ver), 1);
    EXPECT_EQ(ver[0], static_cast<uint8_t>(version[0] ^ 0xFF));
    EXPECT_EQ(ryn_check_platform(h), 0u);
    EXPECT_EQ(fw_mode(loaded), 0x50u);
    EXPECT_EQ(fw_mode(ryn_sim_reset()), 0x58u);

    // A save after a reset carries the handle counter on, so handles of the
    // next process differ from this one's.
    ASSERT_EQ(ryn_sim_save(path.c_str()), 1);
    EXPECT_GE(read_json(path)["handle_counter"].get<uint64_t>(), ryn_sim_handle() & 0xFFFFFFFF);
}

// The trace a state file keeps: the calls since the load (or create), or,
// when the trace has not changed since the load, the trace the file held.
TEST(SimState, SavedTraceIsTheLastRunsCalls) {
    std::filesystem::path dir = scratch_dir();
    const std::string path = (dir / "device.json").string();
    auto saved_texts = [] {
        std::vector<std::string> texts;
        for (size_t i = 0; i < ryn_sim_saved_trace_size(); ++i) {
            texts.emplace_back(ryn_sim_saved_trace_text(i));
            EXPECT_EQ(texts.back().rfind(ryn_sim_saved_trace_op(i), 0), 0u) << texts.back();
        }
        EXPECT_EQ(ryn_sim_saved_trace_text(ryn_sim_saved_trace_size()), nullptr);
        return texts;
    };
    ryn_handle h = create_base();
    uint32_t mode = 0;
    ryn_check_platform(h);
    ryn_get_fw_mode(h, &mode);
    const std::vector<std::string> first_run = trace_texts();
    ASSERT_EQ(first_run.size(), 2u);
    ASSERT_EQ(ryn_sim_save(path.c_str()), 1) << ryn_sim_last_error();
    EXPECT_EQ(read_json(path)["trace"][1],
              json({{"op", "ryn_get_fw_mode"}, {"text", first_run[1]}}));

    // A load starts an empty trace and keeps the file's; a save without calls
    // keeps it, so a run that only arms a fault does not lose it.
    h = ryn_sim_load(path.c_str());
    ASSERT_NE(h, RYN_INVALID_HANDLE) << ryn_sim_last_error();
    EXPECT_TRUE(trace_texts().empty());
    EXPECT_EQ(saved_texts(), first_run);
    ASSERT_EQ(ryn_sim_fail("ryn_get_fw_mode", 1, 1), 1);
    ASSERT_EQ(ryn_sim_save(path.c_str()), 1);
    ASSERT_NE(ryn_sim_load(path.c_str()), RYN_INVALID_HANDLE);
    EXPECT_EQ(saved_texts(), first_run);

    // A run with calls replaces it; a cleared trace saves as none.
    h = ryn_sim_handle();
    EXPECT_EQ(ryn_get_fw_mode(h, &mode), 0);
    ASSERT_EQ(ryn_sim_save(path.c_str()), 1);
    ASSERT_NE(ryn_sim_load(path.c_str()), RYN_INVALID_HANDLE);
    EXPECT_EQ(saved_texts(),
              std::vector<std::string>{"ryn_get_fw_mode(" + H(h) + ", buf) = 0 [fault]"});
    ryn_sim_trace_clear();
    ASSERT_EQ(ryn_sim_save(path.c_str()), 1);
    ASSERT_NE(ryn_sim_load(path.c_str()), RYN_INVALID_HANDLE);
    EXPECT_TRUE(saved_texts().empty());

    // A state file from before the trace was kept loads, with none.
    json old = read_json(path);
    old.erase("trace");
    write_text(path, old.dump());
    ASSERT_NE(ryn_sim_load(path.c_str()), RYN_INVALID_HANDLE) << ryn_sim_last_error();
    EXPECT_TRUE(saved_texts().empty());

    // A create forgets the loaded trace.
    create_base();
    EXPECT_EQ(ryn_sim_saved_trace_size(), 0u);
}

// A long run keeps its first calls and says how many more there were, so the
// file stays one that loads.
TEST(SimState, SavedTraceIsCutAtItsCapacity) {
    std::filesystem::path dir = scratch_dir();
    const std::string path = (dir / "device.json").string();
    create_base();
    constexpr size_t capacity = 4096;
    const uint8_t byte = 0;
    for (size_t i = 0; i < capacity + 3; ++i) ryn_calc_crc(&byte, 1);
    ASSERT_EQ(ryn_sim_save(path.c_str()), 1) << ryn_sim_last_error();
    ASSERT_NE(ryn_sim_load(path.c_str()), RYN_INVALID_HANDLE) << ryn_sim_last_error();
    ASSERT_EQ(ryn_sim_saved_trace_size(), capacity + 1);
    EXPECT_STREQ(ryn_sim_saved_trace_text(capacity - 1), "ryn_calc_crc(buf, 1) = 0xd202ef8d");
    EXPECT_STREQ(ryn_sim_saved_trace_op(capacity), "trace");
    EXPECT_STREQ(ryn_sim_saved_trace_text(capacity), "trace cut: 3 later calls are not saved");
}

TEST(SimState, SaveFailureIsReported) {
    std::filesystem::path dir = scratch_dir();
    create_base();
    EXPECT_EQ(ryn_sim_save((dir / "missing" / "state.json").string().c_str()), 0);
    EXPECT_NE(std::string(ryn_sim_last_error()).find("cannot write state file"), std::string::npos);
    EXPECT_EQ(ryn_sim_save(nullptr), 0);
}

TEST(SimState, HostileFilesFailToLoadAndChangeNothing) {
    std::filesystem::path dir = scratch_dir();
    std::string good_path = (dir / "good.json").string();
    create_base();
    ASSERT_EQ(ryn_sim_save(good_path.c_str()), 1);
    const json good = read_json(good_path);
    std::string cali_hex = good["records"]["cali"];

    auto edit = [&](auto change) {
        json j = good;
        change(j);
        return j.dump();
    };
    struct Case {
        std::string text;
        const char *error;
    };
    const Case cases[] = {
        {"", "not valid JSON"},
        {"{\"family\": ", "not valid JSON"},
        {"[1, 2]", "must be a JSON object"},
        {std::string(100000, '[') + std::string(100000, ']'), "nesting deeper than"},
        {edit([](json &j) { j["format"] = "other"; }), "\"format\" is not"},
        {edit([](json &j) { j.erase("family"); }), "missing \"family\""},
        {edit([](json &j) { j["family"] = 1; }), "\"family\": must be a string"},
        {edit([](json &j) { j["family"] = "toaster"; }), "unknown device family"},
        {edit([](json &j) { j["extra"] = true; }), "unknown key \"extra\""},
        {edit([](json &j) {
             j["options"] = json{{"cali_version", 12}};
         }),
         "cali_version"},
        {edit([](json &j) { j["options"] = "cali"; }), "must be a JSON object"},
        {edit([](json &j) { j["records"] = json::array(); }), "\"records\" must be an object"},
        {edit([](json &j) { j["records"]["cali"] = 5; }), "record \"cali\": must be a string"},
        {edit([&](json &j) { j["records"]["cali"] = cali_hex.substr(1); }), "odd length"},
        {edit([&](json &j) { j["records"]["cali"] = "zz" + cali_hex.substr(2); }),
         "'z' is not a hex digit"},
        {edit([&](json &j) { j["records"]["cali"] = cali_hex.substr(0, 200); }),
         "takes 8192 bytes, not 100"},
        {edit([](json &j) { j["records"]["model-cfg"] = "33000001"; }),
         "of version 0x100 takes 51 bytes, not 4"},
        {edit([](json &j) { j["records"].erase("version"); }), "lacks its record \"version\""},
        {edit([](json &j) { j["records"]["eeprom"] = "00"; }), "has no record \"eeprom\""},
        {edit([](json &j) { j["handle_counter"] = 1e30; }),
         "\"handle_counter\": must be an unsigned integer"},
        {edit([](json &j) { j["handle_counter"] = UINT64_MAX; }), "is outside"},
        {edit([](json &j) { j["handle_counter"] = -4; }), "must not be negative"},
        {edit([](json &j) { j["fw_mode"]["current"] = "turbo"; }), "firmware mode \"turbo\""},
        {edit([](json &j) { j["fw_mode"]["pending"] = 1; }), "pending: must be a string"},
        {edit([](json &j) { j["fw_mode"] = "normal"; }), "\"fw_mode\": must be a JSON object"},
        {edit([](json &j) {
             j["model"] = json{{"sensor", 1}};
         }),
         "sensor: must be true or false"},
        {edit([](json &j) { j["faults"] = json::object(); }), "\"faults\": must be an array"},
        {edit([](json &j) {
             j["faults"] =
                 json::array({{{"kind", "fail"}, {"operation", "x"}, {"call", 1}, {"times", 1}}});
         }),
         "unknown operation \"x\""},
        {edit([](json &j) {
             j["faults"] = json::array({{{"kind", "melt"}}});
         }),
         "unknown kind \"melt\""},
        {edit([](json &j) {
             j["faults"] = json::array(
                 {{{"kind", "fail"}, {"operation", "reset"}, {"call", "1"}, {"times", 1}}});
         }),
         "call: must be an unsigned integer"},
        {edit([](json &j) {
             j["faults"] = json::array({{{"kind", "value"},
                                         {"operation", "reset"},
                                         {"call", 1},
                                         {"times", 1},
                                         {"value", UINT64_MAX}}});
         }),
         "value: must be a 64-bit signed integer"},
        {edit([](json &j) { j["trace"] = "calls"; }), "\"trace\" must be an array"},
        {edit([](json &j) { j["trace"] = json::array({{{"op", "reset"}}}); }),
         "\"trace\"[0] text: must be a string"},
        {edit([](json &j) {
             j["trace"] = json::array({{{"op", "reset"}, {"text", "reset() = h1"}, {"at", 1}}});
         }),
         "\"trace\"[0]: unknown key \"at\""},
        {edit([](json &j) {
             j["trace"] = json::array();
             for (int i = 0; i < 4098; ++i) j["trace"].push_back({{"op", "x"}, {"text", "x"}});
         }),
         "more calls than a state file keeps"},
    };
    ryn_handle h = create_base(R"({"cali_version": 9})");
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string path = (dir / ("bad" + std::to_string(i) + ".json")).string();
        write_text(path, cases[i].text);
        EXPECT_EQ(ryn_sim_load(path.c_str()), RYN_INVALID_HANDLE) << cases[i].error;
        std::string error = ryn_sim_last_error();
        EXPECT_NE(error.find(cases[i].error), std::string::npos) << "case " << i << ": " << error;
        EXPECT_EQ(error.rfind("state file " + path + ": ", 0), 0u) << error;
    }
    EXPECT_EQ(ryn_sim_load((dir / "absent.json").string().c_str()), RYN_INVALID_HANDLE);
    EXPECT_NE(std::string(ryn_sim_last_error()).find("cannot read"), std::string::npos);

    // The device from before is still there, handle and all.
    EXPECT_EQ(ryn_sim_handle(), h);
    EXPECT_EQ(ryn_check_platform(h) & 0xFF, 1u);
    EXPECT_EQ(record("cali").size(), 1555u);
}

}  // namespace
}  // namespace ryn::sim::test
