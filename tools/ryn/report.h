// What one run of ryn tells its user, in one place: the tool's own lines,
// the library's messages, warnings and the final error. Without --json they
// are printed as they come (stdout, or stderr for warnings, hints and
// errors); with --json stdout carries one object at the end instead, built
// from the same lines and the keys the command adds. With --log FILE every
// line is also appended to FILE with a time stamp and the unit's family and
// serial number.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"

namespace ryn::cli {

// The one form ryn writes JSON in (stdout and files): indented by two
// blanks, text that is no valid UTF-8 replaced rather than refused.
std::string json_text(const nlohmann::json &value);
// json_text and a line end on stdout.
void print_json(const nlohmann::json &value);

// The present time, UTC, as "2026-12-11T07:58:00Z".
std::string utc_now();

class Report {
public:
    // The report of this run (one command per process).
    static Report &of_run();

    // Takes the run's options (--json, --log) and the words of its
    // command line. Opens the log file for appending; a log that cannot be
    // opened is a Failure, found before the device is touched.
    void start(const GlobalOptions &global, const std::vector<std::string> &arguments);
    bool json() const { return json_; }
    // Whether the unit's identity and state are wanted (--json or --log).
    bool wants_unit() const { return json_ || log_ != nullptr; }

    // The unit the command runs on, read once when its device is loaded.
    // Writes what the log held back so far; a log that cannot be written
    // then is a Failure, before the device is written.
    void set_unit(const std::string &family, const std::string &serial);

    // A piece of the tool's own output (stdout without --json); kept and
    // logged by the line, once its line end came.
    void output(const std::string &text);
    // A message of the library as the host shows it (several lines at
    // times); shown: whether it passes --quiet.
    void library(const std::string &text, bool warning, bool shown);
    // A line of the tool for stderr: a hint or a warning ("ryn: warning: ...").
    void note(const std::string &text, bool warning);
    // "ryn: <text>" on stderr; the last one is the run's error when it fails.
    void error(const std::string &text);

    // The command's own keys of the JSON object (before, after, differences, ...).
    nlohmann::json &data() { return data_; }
    // A comparison ran and found the sides the same or not: exit status 1
    // then means "they differ", and the result is "ok" (key "same").
    void compared(bool same);
    // Adds "; <text>" to the log's result line (the device's state after it).
    void add_to_result(const std::string &text) { result_note_ = text; }

    // Ends the run with its exit status: the log's result line, and with
    // --json the object on stdout. Returns status.
    int finish(int status);

private:
    struct Held {
        std::string time, kind, text;
    };
    void log(const std::string &kind, const std::string &text);
    void write_log(const Held &line);
    void warn_log_broken();
    void keep(const std::string &text, bool warning);

    bool json_ = false;
    bool compared_ = false;
    std::string log_path_;
    std::FILE *log_ = nullptr;
    bool log_broken_ = false;   // a write failed: the log is left alone from then on
    std::string log_reason_;    // why it failed
    bool unit_known_ = false;   // set_unit ran: lines go to the log as they come
    bool log_heal_ = false;     // the log's last line has no end (a write cut short): start on a new one
    std::vector<Held> held_;    // lines before the unit was known
    std::string family_ = "-", serial_ = "-";
    std::string partial_;       // a tool line not yet ended
    std::string command_;
    std::vector<std::string> messages_, warnings_;
    std::string last_error_;
    std::string result_note_;
    nlohmann::json data_ = nlohmann::json::object();
};

// A piece of the tool's own output, printf-style (Report::output).
void say(const char *format, ...)
#if defined(__GNUC__) && !defined(__MINGW32__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace ryn::cli
