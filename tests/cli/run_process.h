// Runs a program to its end with the host's process calls (run_process_posix.cpp,
// run_process_win32.cpp), for the end-to-end tests of the command-line host.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace ryn::test {

struct ProcessLimits {
    // The program is killed when it has not ended by then (0: no limit).
    std::chrono::seconds time{0};
    // On POSIX, when running as root: the program runs without the
    // capabilities that bypass file permissions, so that a file without read
    // permission cannot be read. (A Windows program has no such rights here.)
    bool drop_file_capabilities = false;
};

struct ProcessRun {
    int status = -1;    // exit status; -1 when it could not start or did not exit normally
    bool hung = false;  // killed at the time limit
    long peak_kb = 0;   // the process's peak resident memory (working set), in KiB
};

// Runs exe with args (UTF-8) in folder dir, stdout and stderr written to the
// files out and err, the environment changed by env: "NAME=value" sets a
// variable, "NAME" removes it.
ProcessRun run_process(const std::string &exe, const std::vector<std::string> &args,
                       const std::filesystem::path &dir, const std::vector<std::string> &env,
                       const std::filesystem::path &out, const std::filesystem::path &err,
                       const ProcessLimits &limits);

// The same without limits: the exit status, or -1.
inline int run_process(const std::string &exe, const std::vector<std::string> &args,
                       const std::filesystem::path &dir, const std::vector<std::string> &env,
                       const std::filesystem::path &out, const std::filesystem::path &err) {
    return run_process(exe, args, dir, env, out, err, ProcessLimits{}).status;
}

}  // namespace ryn::test
