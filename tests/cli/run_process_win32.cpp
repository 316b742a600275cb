#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <string>

#include "run_process.h"

namespace ryn::test {

namespace {

std::wstring wide(const std::string &utf8) {
    const std::u8string s(utf8.begin(), utf8.end());
    return std::filesystem::path(s).wstring();
}

// One argument quoted as CommandLineToArgvW reads it back.
void append_quoted(std::wstring &line, const std::wstring &arg) {
    line += L'"';
    size_t slashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        line.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        line += c;
    }
    line.append(2 * slashes, L'\\');
    line += L'"';
}

// The process's environment with the changes applied, as CreateProcessW's
// block: sorted NAME=value strings, each terminated, and one more terminator.
std::wstring environment_block(const std::vector<std::string> &changes) {
    auto upper = [](std::wstring s) {
        for (auto &c : s) c = static_cast<wchar_t>(std::towupper(c));
        return s;
    };
    std::map<std::wstring, std::wstring> vars;  // by upper-case name
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *p = block; *p; p += wcslen(p) + 1) {
        const std::wstring entry(p);
        const size_t eq = entry.find(L'=', 1);  // "=C:=..." entries start with '='
        if (eq != std::wstring::npos) vars[upper(entry.substr(0, eq))] = entry;
    }
    FreeEnvironmentStringsW(block);
    for (const auto &change : changes) {
        const std::wstring kv = wide(change);
        const size_t eq = kv.find(L'=');
        if (eq == std::wstring::npos)
            vars.erase(upper(kv));
        else
            vars[upper(kv.substr(0, eq))] = kv;
    }
    std::wstring out;
    for (const auto &[name, entry] : vars) {
        out += entry;
        out += L'\0';
    }
    out += L'\0';
    return out;
}

HANDLE open_output(const std::filesystem::path &path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The peak working set the process has reached so far, in KiB (0 when it
// cannot be read).
long peak_kb(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

}  // namespace

ProcessRun run_process(const std::string &exe, const std::vector<std::string> &args,
                       const std::filesystem::path &dir, const std::vector<std::string> &env,
                       const std::filesystem::path &out, const std::filesystem::path &err,
                       const ProcessLimits &limits) {
    std::wstring line;
    append_quoted(line, wide(exe));
    for (const auto &a : args) {
        line += L' ';
        append_quoted(line, wide(a));
    }
    std::wstring block = environment_block(env);
    const HANDLE o = open_output(out), e = open_output(err);
    ProcessRun run;
    if (o != INVALID_HANDLE_VALUE && e != INVALID_HANDLE_VALUE) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = o;
        startup.hStdError = e;
        PROCESS_INFORMATION process{};
        // A start that fails is tried twice more, and when all three fail the
        // reason goes to the program's error output, so that a test seeing
        // status -1 says why (two tests once saw -1 and no output at all
        // under Wine on a busy machine).
        bool started = false;
        DWORD error = 0;
        for (int attempt = 0; attempt < 3 && !started; ++attempt) {
            if (attempt > 0) Sleep(200);
            started = CreateProcessW(wide(exe).c_str(), line.data(), nullptr, nullptr, TRUE,
                                     CREATE_UNICODE_ENVIRONMENT, block.data(), dir.wstring().c_str(),
                                     &startup, &process) != 0;
            if (!started) error = GetLastError();
        }
        if (!started) {
            const std::string why =
                "run_process: CreateProcessW failed three times, error " + std::to_string(error) + "\n";
            DWORD written = 0;
            WriteFile(e, why.data(), static_cast<DWORD>(why.size()), &written, nullptr);
        } else {
            // Waits in short steps, reading the peak memory while the process
            // lives (its counters may be gone once it has ended).
            const auto deadline = std::chrono::steady_clock::now() + limits.time;
            for (;;) {
                run.peak_kb = std::max(run.peak_kb, peak_kb(process.hProcess));
                if (WaitForSingleObject(process.hProcess, 5) != WAIT_TIMEOUT) break;
                if (limits.time.count() && std::chrono::steady_clock::now() > deadline) {
                    run.hung = true;
                    TerminateProcess(process.hProcess, 1);
                    WaitForSingleObject(process.hProcess, INFINITE);
                    break;
                }
            }
            run.peak_kb = std::max(run.peak_kb, peak_kb(process.hProcess));
            DWORD code = 0;
            if (!run.hung && GetExitCodeProcess(process.hProcess, &code))
                run.status = static_cast<int>(code);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    if (o != INVALID_HANDLE_VALUE) CloseHandle(o);
    if (e != INVALID_HANDLE_VALUE) CloseHandle(e);
    return run;
}

}  // namespace ryn::test
