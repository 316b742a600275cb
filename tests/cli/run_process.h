// Runs a program to its end with the host's process calls (run_process_posix.cpp,
// run_process_win32.cpp), for the end-to-end tests of the command-line host.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ryn::test {

// Runs exe with args (UTF-8) in folder dir, stdout and stderr written to the
// files out and err, the environment changed by env: "NAME=value" sets a
// variable, "NAME" removes it. Returns the exit status, or -1 when the
// program could not be started or did not exit normally.
int run_process(const std::string &exe, const std::vector<std::string> &args,
                const std::filesystem::path &dir, const std::vector<std::string> &env,
                const std::filesystem::path &out, const std::filesystem::path &err);

}  // namespace ryn::test
