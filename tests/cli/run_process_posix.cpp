#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "run_process.h"

namespace ryn::test {

int run_process(const std::string &exe, const std::vector<std::string> &args,
                const std::filesystem::path &dir, const std::vector<std::string> &env,
                const std::filesystem::path &out, const std::filesystem::path &err) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        std::FILE *o = std::freopen(out.c_str(), "w", stdout);
        std::FILE *e = std::freopen(err.c_str(), "w", stderr);
        if (!o || !e) ::_exit(127);
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
    ::waitpid(pid, &wstatus, 0);
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

}  // namespace ryn::test
