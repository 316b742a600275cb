// Runs the built ryn binary in a folder with a time limit, capturing its
// output and the memory it used.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/capability.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace ryn_cli {

namespace fs = std::filesystem;

struct RunResult {
    int status = -1;      // exit status; -1 when killed by a signal
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
    // When running as root: give up the capabilities that bypass file
    // permissions, so that a file without read permission cannot be read.
    bool as_plain_user = true;
};

// ryn with args, started in dir, stdout and stderr captured in files there.
inline RunResult run_ryn(const fs::path &dir, const std::vector<std::string> &args,
                         const RunOptions &options = {}) {
    const fs::path out = dir / ".stdout", err = dir / ".stderr";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        std::FILE *o = std::freopen(out.c_str(), "w", stdout);
        std::FILE *e = std::freopen(err.c_str(), "w", stderr);
        if (!o || !e) ::_exit(127);
        if (options.as_plain_user && ::geteuid() == 0) {
            // Dropped from the bounding set, they are gone after exec too.
            for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
                if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) {
                    std::fputs("test: cannot drop the file permission capabilities\n", stderr);
                    ::_exit(126);
                }
            }
        }
        std::vector<std::string> argv_s{RYN_EXE};
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (auto &a : argv_s) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(RYN_EXE, argv.data());
        ::_exit(127);
    }
    RunResult run;
    int wstatus = 0;
    struct rusage usage {};
    const auto deadline = std::chrono::steady_clock::now() + options.limit;
    for (;;) {
        const pid_t done = ::wait4(pid, &wstatus, WNOHANG, &usage);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            run.hung = true;
            ::kill(pid, SIGKILL);
            ::wait4(pid, &wstatus, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.max_rss_kb = usage.ru_maxrss;
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}

}  // namespace ryn_cli
