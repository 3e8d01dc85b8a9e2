// The driver's own desktop: under Wine its shell must be up before a program
// makes its first window there. Left to Wine, the shell starts with that
// window and gets 10 s; a loaded emulated machine took longer, and every
// window of the program failed. Windows gives every desktop its window
// itself: there no shell is started.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "driver.h"

namespace {

struct ShellSearch {
    DWORD self;
    bool trayOfAnotherProcess = false;
};

BOOL CALLBACK NoteTray(HWND window, LPARAM param)
{
    ShellSearch* search = reinterpret_cast<ShellSearch*>(param);
    wchar_t name[32] = {};
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (GetClassNameW(window, name, 32) && lstrcmpW(name, L"Shell_TrayWnd") == 0 && owner != search->self)
        search->trayOfAnotherProcess = true;
    return TRUE;
}

struct Entered {
    bool entered = false;
    std::string why;
    bool shellSeen = false;
};

// On a thread of its own: the test program's main thread is on a desktop
// already, and owns windows.
DWORD WINAPI EnterAndLook(void* param)
{
    Entered* result = static_cast<Entered*>(param);
    driver::PrivateDesktop desktop;
    result->entered = desktop.Enter(L"kit-shell", &result->why);
    ShellSearch search = {GetCurrentProcessId()};
    // Lists what is on the desktop without asking for its window, which
    // would start the shell the slow way.
    EnumDesktopWindows(GetThreadDesktop(GetCurrentThreadId()), NoteTray,
                       reinterpret_cast<LPARAM>(&search));
    result->shellSeen = search.trayOfAnotherProcess;
    return 0;
}

}  // namespace

TEST(PrivateDesktop, IsEnteredWithItsShellAlreadyUpUnderWineAlone)
{
    Entered result;
    SystemHandle thread(CreateThread(nullptr, 0, EnterAndLook, &result, 0, nullptr));
    ASSERT_TRUE(thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.Get(), 2 * bounds::Ms(bounds::kWindow)));
    ASSERT_TRUE(result.entered) << result.why;
    // Wine's ntdll says what it is; Windows' has no such export.
    bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    EXPECT_EQ(wine, driver::UnderWine());
    if (wine)
        EXPECT_TRUE(result.shellSeen) << "no window of the desktop's shell when Enter returned";
    else
        EXPECT_FALSE(result.shellSeen) << "a shell was started on Windows";
}
