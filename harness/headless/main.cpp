// headless: runs a program and passes on its exit code.
//
//   headless RESULT PROGRAM [ARGUMENTS...]
//
// The harness runs tests that draw nothing on a desktop of their own whose
// display driver is Wine's null one (`explorer /desktop=NAME,WxH,null
// headless ...`), so that no X connection exists to end them on an X error.
// Explorer starts this and keeps the exit code to itself; this writes the
// program's code to RESULT (a decimal number) for the harness to read, or
// "hung" when the program outlived the bound OSTRIVO_TIMEOUT (seconds) and
// was ended.
#include <windows.h>

#include <cstdio>
#include <string>

#include "spawn.h"
#include "system_owned.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        fputs("usage: headless RESULT PROGRAM [ARGUMENTS...]\n", stderr);
        return 2;
    }
    std::wstring command = spawn::ArgumentsAfter(GetCommandLineW(), 2);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // In a job, so that a hung program's children end with it (the desktop,
    // and with it the harness, waits for every process on it).
    SystemHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!spawn::StartProcess(nullptr, &command[0], true, CREATE_SUSPENDED, &startup, &process)) {
        fwprintf(stderr, L"headless: cannot start %ls (error %lu)\n", argv[2], GetLastError());
        return 2;
    }
    SystemHandle child(process.hProcess);
    SystemHandle thread(process.hThread);
    if (job)
        AssignProcessToJobObject(job.Get(), child.Get());
    ResumeThread(thread.Get());
    wchar_t seconds[16] = L"";
    GetEnvironmentVariableW(L"OSTRIVO_TIMEOUT", seconds, 16);
    DWORD bound = _wtoi(seconds) > 0 ? DWORD(_wtoi(seconds)) * 1000 : INFINITE;
    bool hung = WaitForSingleObject(child.Get(), bound) != WAIT_OBJECT_0;
    DWORD code = 1;
    if (hung) {
        if (!job || !TerminateJobObject(job.Get(), code))
            TerminateProcess(child.Get(), code);
        WaitForSingleObject(child.Get(), 5000);
    } else {
        GetExitCodeProcess(child.Get(), &code);
    }
    FILE* result = _wfopen(argv[1], L"w");
    if (result == nullptr) {
        fwprintf(stderr, L"headless: cannot write %ls\n", argv[1]);
        return 2;
    }
    if (hung)
        fputs("hung\n", result);
    else
        fprintf(result, "%lu\n", static_cast<unsigned long>(code));
    fclose(result);
    return static_cast<int>(code);
}
