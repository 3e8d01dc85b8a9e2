// Runs an action in a child copy of the current test executable and returns
// its exit code: `DWORD code = RunInChildProcess("oom", [] { RaiseFailure(E_OUTOFMEMORY); });`
// The child runs only the calling test, output discarded; an action that returns ends it with 0.
//
// The child runs the test from its start until the action, so a test that
// does much before starting its child puts `RunIfChild` first and passes
// what the child needs as a number:
//     RunIfChild("fatal", [&](int k) { ...; });  // the child does only this
//     ... long work that finds k ...
//     DWORD code = RunChildProcess("fatal", k);
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "bounds.h"
#include "spawn.h"
#include "system_owned.h"

// Exit code reported when the child neither ended nor could be started.
constexpr DWORD kChildTimedOut = 0xFFFFFFFE;
constexpr DWORD kChildNotStarted = 0xFFFFFFFD;

namespace child_process_detail {
constexpr const wchar_t* kModeVariable = L"OSTRIVO_CHILD_MODE";
constexpr const wchar_t* kArgumentVariable = L"OSTRIVO_CHILD_ARGUMENT";

inline std::wstring Widen(const char* text)
{
    std::wstring wide;
    for (; *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}

inline std::wstring CurrentTestFilter()
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return Widen(test->test_suite_name()) + L"." + Widen(test->name());
}

// Sets, or with null removes, an environment variable for a scope: children
// started inside it see that value; the old one comes back after.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name)
    {
        wchar_t old[256];
        DWORD n = GetEnvironmentVariableW(name, old, 256);
        had_ = n > 0 && n < 256;
        if (had_) old_ = old;
        SetEnvironmentVariableW(name, value);
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
    bool had_ = false;
    std::wstring old_;
};

inline std::wstring VariableOfThisProcess(const wchar_t* name)
{
    wchar_t value[128] = L"";
    DWORD n = GetEnvironmentVariableW(name, value, 128);
    return n > 0 && n < 128 ? std::wstring(value) : std::wstring();
}
inline std::wstring ModeOfThisProcess() { return VariableOfThisProcess(kModeVariable); }
}  // namespace child_process_detail

// A child that an exception ends ends at once with its code, as the test
// expects, and with no crash handling of the system's: Windows' error
// reporting would write a report outside %TEMP%, Wine's debugger would wait.
inline LONG WINAPI EndWithExceptionCode(EXCEPTION_POINTERS* exception)
{
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// In the child that RunChildProcess(mode, argument) started: runs
// `action(argument)` and ends the process, with 0 if the action returns.
// Anywhere else it returns at once.
template <class Action>
void RunIfChild(const char* modeName, Action action)
{
    using namespace child_process_detail;
    if (ModeOfThisProcess() != Widen(modeName))
        return;
    SetUnhandledExceptionFilter(EndWithExceptionCode);
    action(_wtoi(VariableOfThisProcess(kArgumentVariable).c_str()));
    ExitProcess(0);
}

// Waits for a started child within the child bound and closes its handles:
// its exit code, or kChildTimedOut once it had to be ended (a failure of the
// test that names `what` and says how long it waited).
inline DWORD WaitForChild(const PROCESS_INFORMATION& process, const std::string& what)
{
    SystemHandle thread(process.hThread);
    SystemHandle child(process.hProcess);
    DWORD code = kChildTimedOut;
    bounds::Wait wait(bounds::kChild);
    if (WaitForSingleObject(child.Get(), wait.Ms()) == WAIT_OBJECT_0) {
        GetExitCodeProcess(child.Get(), &code);
    } else {
        TerminateProcess(child.Get(), kChildTimedOut);
        WaitForSingleObject(child.Get(), bounds::Ms(bounds::kExit));
        ADD_FAILURE() << what << " did not end: " << wait.Report();
    }
    return code;
}

// Starts a child copy of this test program that runs only the current test,
// in `modeName` with `argument`, and waits for it within the child bound:
// its exit code, or kChildNotStarted, or kChildTimedOut (a failure of the
// test that says how long it waited).
inline DWORD RunChildProcess(const char* modeName, int argument = 0)
{
    using namespace child_process_detail;
    const std::wstring mode = Widen(modeName);
    if (!ModeOfThisProcess().empty()) return kChildNotStarted;  // a child never starts children

    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_catch_exceptions=0 --gtest_filter=" +
                           CurrentTestFilter();
    ScopedVariable childMode(kModeVariable, mode.c_str());
    ScopedVariable childArgument(kArgumentVariable, std::to_wstring(argument).c_str());
    // A sharded run's shard would filter the one test out of the child,
    // which would then end with 0 having run nothing.
    ScopedVariable allShards(L"GTEST_TOTAL_SHARDS", nullptr);
    ScopedVariable thisShard(L"GTEST_SHARD_INDEX", nullptr);
    // The child's own log would show its other calls as failures: drop it.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    SystemHandle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (nul) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.Get();
    }
    PROCESS_INFORMATION process = {};
    bool started = spawn::StartProcess(nullptr, &command[0], bool(nul), 0, &startup, &process);
    DWORD startError = GetLastError();
    nul.Reset();
    if (!started) {
        ADD_FAILURE() << "the child \"" << modeName << "\" could not be started: error " << startError;
        return kChildNotStarted;
    }

    return WaitForChild(process, "the child \"" + std::string(modeName) + "\"");
}

template <class Action>
DWORD RunInChildProcess(const char* modeName, Action action)
{
    RunIfChild(modeName, [&](int) { action(); });
    return RunChildProcess(modeName);
}
