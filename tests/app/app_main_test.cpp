// The entry routine around the real main dialog: module records, COM, and
// the end code that becomes the process exit code.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <cstdlib>

#include "app/modules.h"
#include "support/platform/platform.h"
#include "tests/kit/child_process.h"
#include "tests/kit/scripted_platform.h"
#include "ui/resources/resource.h"

namespace {

// Closes the main dialog with `command` as soon as it is up, noting what it
// showed first.
struct Closer {
    static inline WORD command = IDCANCEL;
    static inline HWND dialog = nullptr;
    static inline wchar_t count[16] = L"";
    static inline UINT errorMode = 0;

    static BOOL CALLBACK Find(HWND w, LPARAM)
    {
        wchar_t title[64] = L"";
        GetWindowTextW(w, title, 64);
        if (wcscmp(title, MAIN_DIALOG_TITLE) != 0)
            return TRUE;
        dialog = w;
        return FALSE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD)
    {
        EnumThreadWindows(GetCurrentThreadId(), Find, 0);
        if (dialog == nullptr)
            return;
        KillTimer(nullptr, timer);
        GetDlgItemTextW(dialog, IDC_DEVICE_COUNT, count, 16);
        errorMode = GetErrorMode();
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
    static int RunAppMain(WORD closeWith)
    {
        command = closeWith;
        dialog = nullptr;
        errorMode = 0;
        SetTimer(nullptr, 0, 20, Tick);
        wchar_t commandLine[] = L"ignored --arguments";
        return AppMain(GetModuleHandleW(nullptr), nullptr, commandLine, SW_SHOWMINIMIZED);
    }
};

TEST(AppMain, RunsTheMainDialogAndLeavesModulesAndComAsFound)
{
    ASSERT_EQ(UINT(sizeof(AppModule)), ProcessAppModule().sizeMarker);
    EXPECT_EQ(&ProcessAppModule(), CurrentAppModule());
    ScriptedPlatform platform;
    platform.devices = {PresentDevice(L"One", L"USB\\VID_0001&PID_0002"),
                        PresentDevice(L"Two", L"ACPI\\PNP0A03")};
    ScopedPlatform scope(platform);

    EXPECT_EQ(IDCANCEL, Closer::RunAppMain(IDCANCEL));

    EXPECT_STREQ(L"2", Closer::count);
    AppModule& module = ProcessAppModule();
    EXPECT_EQ(GetCurrentThreadId(), module.mainThreadId);
    EXPECT_EQ(0u, module.sizeMarker);
    EXPECT_TRUE(module.registry == nullptr);
    EXPECT_TRUE(module.windowList == nullptr);
    // COM was released: this thread starts afresh.
    EXPECT_EQ(S_OK, CoInitialize(nullptr));
    CoUninitialize();
}

// A drive probe must fail to its caller, never raise a system box ("no disk
// in the drive"): the error mode is set before anything runs, whatever the
// process started with.
TEST(AppMain, DialogRunsWithCriticalErrorAndOpenFileBoxesOff)
{
    const UINT quiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
    const UINT before = GetErrorMode();
    ScriptedPlatform platform;
    ScopedPlatform scope(platform);
    for (UINT start : {0u, UINT(SEM_NOGPFAULTERRORBOX)}) {
        SCOPED_TRACE(start);
        SetErrorMode(start);
        ASSERT_EQ(start, GetErrorMode());
        EXPECT_EQ(IDCANCEL, Closer::RunAppMain(IDCANCEL));
        EXPECT_EQ(quiet, Closer::errorMode & quiet);
    }
    SetErrorMode(before);
}

TEST(AppMain, EndCodeBecomesTheExitCode)
{
    for (WORD command : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(command);
        // The runtime's exit runs the module tear-downs after AppMain returns.
        DWORD code = RunInChildProcess(command == IDOK ? "close-ok" : "close-cancel",
                                       [&] { std::exit(Closer::RunAppMain(command)); });
        EXPECT_EQ(DWORD(command), code);
    }
}

}  // namespace
