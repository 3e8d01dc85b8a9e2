// run-test: runs one program of the test bundle so that it leaves the PC as
// it found it (run-tests.cmd runs every program through it).
//
//   run-test LOG SECONDS PROGRAM [ARGUMENTS...]
//
// The program runs on a desktop of this tool's own, so that no dialog of a
// test comes up on the user's desktop, and in a job that is ended with this
// tool: whatever the test started ends too, also when the test hangs, fails
// half way or the run is stopped (Ctrl+C, a closed console). Its output goes
// to LOG. After SECONDS it is called hung and ended. The exit code is the
// program's, or kHung.
#include <windows.h>

#include <cstdio>
#include <string>

#include "driver.h"
#include "spawn.h"
#include "support/platform/owned.h"

namespace {

// timeout(1)'s code for the same case.
const int kHung = 124;
// This tool's own failure: a code no test program ends with.
const int kNotRun = 125;

void Say(HANDLE log, const std::string& text)
{
    std::string line = "run-test: " + text + "\r\n";
    DWORD written = 0;
    SetFilePointer(log, 0, nullptr, FILE_END);
    WriteFile(log, line.data(), DWORD(line.size()), &written, nullptr);
}

HANDLE OpenInheritable(const wchar_t* path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A job whose processes all end when its last handle closes, which the
// system does for this tool however it ends.
SystemHandle EndingJob()
{
    SystemHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                        sizeof limits))
        job.Reset();
    return job;
}

// Started suspended, so that it is in the job before it can start anything.
// Out of this tool's own job where that is allowed: Windows 7 puts a process
// in one job only.
bool StartSuspended(std::wstring command, STARTUPINFOW& startup, PROCESS_INFORMATION& process)
{
    for (DWORD flags : {DWORD(CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB), DWORD(CREATE_SUSPENDED)}) {
        if (spawn::StartProcess(nullptr, &command[0], true, flags, &startup, &process))
            return true;
        if (GetLastError() != ERROR_ACCESS_DENIED)
            return false;
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4 || _wtoi(argv[2]) <= 0) {
        fputs("usage: run-test LOG SECONDS PROGRAM [ARGUMENTS...]\n", stderr);
        return kNotRun;
    }
    SystemHandle log(OpenInheritable(argv[1], GENERIC_WRITE, CREATE_ALWAYS));
    SystemHandle nul(OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING));
    if (!log || !nul) {
        fwprintf(stderr, L"run-test: cannot open %ls (error %lu)\n", argv[1], GetLastError());
        return kNotRun;
    }
    // Inherited by the program and its children: a crash ends the process
    // rather than wait on a box on a desktop that nobody sees.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    driver::PrivateDesktop desktop;
    std::string why;
    if (!desktop.Enter(L"ostrivo-tests", &why)) {
        Say(log.Get(), "no desktop of its own: " + why);
        return kNotRun;
    }
    std::wstring desktopName = driver::ThreadDesktopName();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = &desktopName[0];
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = log.Get();
    startup.hStdError = log.Get();
    PROCESS_INFORMATION started = {};
    if (!StartSuspended(spawn::ArgumentsAfter(GetCommandLineW(), 3), startup, started)) {
        Say(log.Get(), "cannot start the program (error " + std::to_string(GetLastError()) + ")");
        return kNotRun;
    }
    SystemHandle process(started.hProcess);
    SystemHandle thread(started.hThread);
    SystemHandle job = EndingJob();
    if (!job || !AssignProcessToJobObject(job.Get(), process.Get())) {
        TerminateProcess(process.Get(), kNotRun);
        Say(log.Get(), "no job to end the program's children with it (error " +
                           std::to_string(GetLastError()) + ")");
        return kNotRun;
    }
    ResumeThread(thread.Get());
    DWORD seconds = DWORD(_wtoi(argv[2]));
    if (WaitForSingleObject(process.Get(), seconds * 1000) != WAIT_OBJECT_0) {
        TerminateJobObject(job.Get(), kHung);
        Say(log.Get(), "HUNG: ended after " + std::to_string(seconds) + " s");
        return kHung;
    }
    DWORD code = kNotRun;
    GetExitCodeProcess(process.Get(), &code);
    // What the program left running ends here, with the job.
    return int(code);
}
