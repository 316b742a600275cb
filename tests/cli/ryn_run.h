// Runs the built ryn binary in a folder with a time limit, capturing its
// output and the memory it used.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "run_process.h"

namespace ryn_cli {

namespace fs = std::filesystem;

struct RunResult {
    int status = -1;      // exit status; -1 when killed or it did not start
    bool hung = false;    // killed after the time limit
    long max_rss_kb = 0;  // the process's peak resident memory
    std::string out;
    std::string err;
};

inline std::string slurp(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct RunOptions {
    std::chrono::seconds limit{60};
    // When running as root on POSIX: give up the capabilities that bypass
    // file permissions, so that a file without read permission cannot be read.
    bool as_plain_user = true;
};

// ryn with args, started in dir, stdout and stderr captured in files there.
inline RunResult run_ryn(const fs::path &dir, const std::vector<std::string> &args,
                         const RunOptions &options = {}) {
    const fs::path out = dir / ".stdout", err = dir / ".stderr";
    const ryn::test::ProcessRun p = ryn::test::run_process(
        RYN_EXE, args, dir, {}, out, err, {options.limit, options.as_plain_user});
    return {p.status, p.hung, p.peak_kb, slurp(out), slurp(err)};
}

}  // namespace ryn_cli
