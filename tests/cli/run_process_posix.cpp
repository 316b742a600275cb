#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/capability.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "run_process.h"

namespace ryn::test {

ProcessRun run_process(const std::string &exe, const std::vector<std::string> &args,
                       const std::filesystem::path &dir, const std::vector<std::string> &env,
                       const std::filesystem::path &out, const std::filesystem::path &err,
                       const ProcessLimits &limits) {
    ProcessRun run;
    const pid_t pid = ::fork();
    if (pid < 0) return run;
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        std::FILE *o = std::freopen(out.c_str(), "w", stdout);
        std::FILE *e = std::freopen(err.c_str(), "w", stderr);
        if (!o || !e) ::_exit(127);
        if (limits.drop_file_capabilities && ::geteuid() == 0) {
            // Dropped from the bounding set, they are gone after exec too.
            for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
                if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) {
                    std::fputs("test: cannot drop the file permission capabilities\n", stderr);
                    ::_exit(126);
                }
            }
        }
        for (const auto &kv : env) {
            const auto eq = kv.find('=');
            if (eq == std::string::npos)
                ::unsetenv(kv.c_str());
            else
                ::setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
        }
        std::vector<std::string> argv_s{exe};
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (auto &a : argv_s) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    int wstatus = 0;
    struct rusage usage {};
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    for (;;) {
        const pid_t done = ::wait4(pid, &wstatus, limits.time.count() ? WNOHANG : 0, &usage);
        if (done == pid) break;
        if (done < 0) return run;
        if (std::chrono::steady_clock::now() > deadline) {
            run.hung = true;
            ::kill(pid, SIGKILL);
            ::wait4(pid, &wstatus, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.peak_kb = usage.ru_maxrss;
    return run;
}

}  // namespace ryn::test
