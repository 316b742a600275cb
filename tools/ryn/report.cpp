// The run's report: printed as it comes, gathered into one JSON object, and
// appended to the log file.
#include "report.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>

#include "help_format.h"
#include "host_os.h"
#include "platform/file.h"

namespace ryn::cli {

std::string json_text(const nlohmann::json &value) {
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

void print_json(const nlohmann::json &value) {
    const std::string text = json_text(value) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string utc_now() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

namespace {

// The lines of a text without their ends and trailing blanks; blank lines left out.
std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

// A word of the command line as a POSIX shell takes it back: quoted when it
// holds anything but letters, digits and -_./:=+,@%.
std::string shell_word(const std::string &word) {
    const char *plain = "-_./:=+,@%";
    bool quote = word.empty();
    for (const char c : word)
        quote = quote || !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::strchr(plain, c));
    if (!quote) return word;
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A serial number as one word of a log line: blanks and control characters
// become "_", an empty one "-".
std::string log_word(const std::string &text) {
    if (text.empty()) return "-";
    std::string word = text;
    for (char &c : word)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) c = '_';
    return word;
}

}  // namespace

Report &Report::of_run() {
    static Report report;
    return report;
}

void Report::start(const GlobalOptions &global, const std::vector<std::string> &arguments) {
    json_ = global.json;
    command_ = global.command;
    if (global.log.empty()) return;
    std::FILE *file = platform::open_file(os::library_path(global.log), "a+b");
    if (!file)
        throw Failure("cannot open the log file '" + global.log + "' to append to it: " + std::strerror(errno) +
                      "; nothing was done");
    // A line the last run could not end (a full disk) is ended first, so that
    // this run's lines start on lines of their own.
    if (const std::optional<uint64_t> size = platform::file_size(file); size && *size > 0 &&
                                                                       platform::seek_file(file, *size - 1))
        log_heal_ = std::fgetc(file) != '\n';
    std::fseek(file, 0, SEEK_END);
    log_ = file;
    log_path_ = global.log;
    std::string line = "ryn";
    for (const std::string &a : arguments) line += " " + shell_word(a);
    log("command", line);
}

void Report::set_unit(const std::string &family, const std::string &serial) {
    family_ = log_word(family);
    serial_ = log_word(serial);
    data_["family"] = family.empty() ? nlohmann::json(nullptr) : nlohmann::json(family);
    data_["serial_num"] = serial.empty() ? nlohmann::json(nullptr) : nlohmann::json(serial);
    unit_known_ = true;
    for (const Held &line : held_) write_log(line);
    held_.clear();
    if (log_broken_)
        throw Failure("cannot write to the log file '" + log_path_ + "' (" + log_reason_ +
                      "); the command did not run");
}

void Report::log(const std::string &kind, const std::string &text) {
    if (!log_ || log_broken_) return;
    Held line{utc_now(), kind, text};
    if (!unit_known_) {
        held_.push_back(std::move(line));
        return;
    }
    write_log(line);
    if (log_broken_) warn_log_broken();
}

void Report::warn_log_broken() {
    note("ryn: warning: cannot write to the log file '" + log_path_ + "' (" + log_reason_ +
             "); it lacks this run's lines from here",
         true);
}

// One line, written and flushed at once. A write that fails (a full disk)
// leaves the log alone from then on.
void Report::write_log(const Held &line) {
    if (log_broken_) return;
    std::string text = log_heal_ ? "\n" : "";
    text += line.time + " " + family_ + " " + serial_ + " " + line.kind + ": " + line.text + "\n";
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), log_) == text.size() && std::fflush(log_) == 0;
    if (written) {
        log_heal_ = false;
        return;
    }
    log_broken_ = true;
    log_reason_ = errno ? std::strerror(errno) : "the write failed";
}

void Report::keep(const std::string &text, bool warning) {
    if (!json_) return;
    messages_.push_back(text);
    if (warning) warnings_.push_back(text);
}

void Report::output(const std::string &text) {
    if (!json_) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        if (!log_) return;  // nothing keeps the lines
    }
    partial_ += text;
    const size_t end = partial_.rfind('\n');
    if (end == std::string::npos) return;
    for (const std::string &line : lines_of(partial_.substr(0, end))) {
        log("ryn", line);
        keep(line, false);
    }
    partial_.erase(0, end + 1);
}

void Report::library(const std::string &text, bool warning, bool shown) {
    if (shown && !json_) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    for (const std::string &line : lines_of(text)) {
        log("library", line);
        if (shown) keep(line, warning);
    }
}

void Report::note(const std::string &text, bool warning) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    log("note", text);
    keep(text, warning);
}

void Report::error(const std::string &text) {
    std::fprintf(stderr, "ryn: %s\n", text.c_str());
    std::fflush(stderr);
    log("error", text);
    keep("ryn: " + text, false);
    last_error_ = text;
}

void Report::compared(bool same) {
    compared_ = true;
    data_["same"] = same;
}

int Report::finish(int status) {
    if (!partial_.empty()) output("\n");
    // A comparison that ran is no failure when it finds differences.
    const bool ok = status == exit_success || (compared_ && status == exit_failure);
    std::string result = std::string(ok ? "ok" : "failed") + " (exit status " + std::to_string(status) + ")";
    if (compared_ && ok) result += data_["same"] == true ? "; same" : "; differs";
    if (!result_note_.empty()) result += "; " + result_note_;
    log("result", result);
    if (!held_.empty()) {
        for (const Held &line : held_) write_log(line);
        held_.clear();
        if (log_broken_) warn_log_broken();
    }
    if (log_) std::fclose(log_);
    log_ = nullptr;
    if (json_) {
        nlohmann::json out = {{"command", command_},
                              {"result", ok ? "ok" : "failed"},
                              {"exit_status", status},
                              {"error", ok || last_error_.empty() ? nlohmann::json(nullptr) : nlohmann::json(last_error_)},
                              {"family", nullptr},
                              {"serial_num", nullptr}};
        for (const auto &[key, value] : data_.items()) out[key] = value;
        out["messages"] = messages_;
        out["warnings"] = warnings_;
        print_json(out);
    }
    return status;
}

void say(const char *format, ...) {
    char fixed[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(fixed, sizeof fixed, format, copy);
    va_end(copy);
    std::string text;
    if (n >= 0 && static_cast<size_t>(n) < sizeof fixed) {
        text.assign(fixed, static_cast<size_t>(n));
    } else if (n >= 0) {
        text.assign(static_cast<size_t>(n) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(n));
    }
    va_end(args);
    Report::of_run().output(text);
}

void add_report_options(CLI::App &cmd, Context &ctx, const char *json_keys) {
    std::string help;
    if (json_keys) {
        cmd.add_flag("--json", ctx.global.json,
                     "Print one JSON object on stdout (result, messages, warnings and the keys below) and "
                     "nothing else; progress stays on stderr");
        help += "--json prints one JSON object on stdout and nothing else; progress, hints, warnings and the "
                "\"ryn:\" line stay on stderr. Its keys: command, result (\"ok\", or \"failed\", also for a "
                "usage error), exit_status, error (the text of the last \"ryn:\" line when it failed, else "
                "null), family and serial_num of the unit (null when not known), messages (the library's "
                "messages and ryn's own lines, one line each, in order), warnings, and " +
                std::string(json_keys) + ".\n";
    }
    cmd.add_option("--log", ctx.global.log,
                   "Append each message, the command and its result to FILE, each line with the time (UTC), "
                   "the unit's family and serial number")
        ->type_name("FILE");
    help += "--log FILE appends one line per message, and one for the command and its result: \"TIME FAMILY "
            "SERIAL KIND: TEXT\" (TIME in UTC; KIND command, library, ryn, note, error or result; \"-\" for a "
            "family or serial number not known). A log that cannot be opened or written is a failure before "
            "the device is touched.\n";
    // Each paragraph wrapped, with a blank line before each and before the examples.
    std::string text;
    for (size_t from = 0, end; from < help.size(); from = end + 1) {
        end = help.find('\n', from);
        std::string lines = wrap(help.substr(from, end - from), 76);
        if (lines.empty() || lines.back() != '\n') lines += "\n";
        text += "\n" + lines;
    }
    std::string footer = cmd.get_footer();
    const size_t at = footer.find("\nExample");
    if (at == std::string::npos) footer += "\n" + text;
    else footer.insert(at, text);
    cmd.footer(footer);
}

}  // namespace ryn::cli
