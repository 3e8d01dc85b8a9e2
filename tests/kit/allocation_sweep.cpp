#include "tests/kit/allocation_sweep.h"

#include "tests/kit/allocation_hooks.h"
#include "system_owned.h"

namespace {

DWORD sweepThread = 0;
SweepRun* outcome = nullptr;

bool IsDialog(HWND window)
{
    wchar_t name[16] = L"";
    return GetClassNameW(window, name, 16) > 0 && lstrcmpW(name, L"#32770") == 0;
}

BOOL CALLBACK TakeOutProcedure(HWND window, LPARAM)
{
    if (IsDialog(window))
        SetWindowLongPtrW(window, DWLP_DLGPROC, 0);
    return TRUE;
}

BOOL CALLBACK Destroy(HWND window, LPARAM)
{
    if (IsDialog(window))
        DestroyWindow(window);
    return TRUE;
}

// A thread that ends with its windows alive leaves them to Wine to tear
// down as the thread goes, and Wine's X11 driver then now and then ends the
// whole process on an X error. So the thread ends them first, as a closing
// dialog would, but without their procedures: the program never runs again
// after a failure that ends it.
void EndWindowsOfThisThread()
{
    EnumThreadWindows(GetCurrentThreadId(), TakeOutProcedure, 0);
    EnumThreadWindows(GetCurrentThreadId(), Destroy, 0);
}

// Ahead of the program's own handler, which would end the whole process.
LONG CALLBACK EndSweepThread(EXCEPTION_POINTERS* exception)
{
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    bool failure = record->ExceptionCode == 0xC0000017 || record->ExceptionCode == 0xC000001D;
    if (GetCurrentThreadId() != sweepThread || !failure ||
        !(record->ExceptionFlags & EXCEPTION_NONCONTINUABLE))
        return EXCEPTION_CONTINUE_SEARCH;
    allocation_hooks::Disarm();
    outcome->fatal = true;
    outcome->code = record->ExceptionCode;
    EndWindowsOfThisThread();
    ExitThread(record->ExceptionCode);
}

DWORD WINAPI Run(void* parameter)
{
    (*static_cast<const std::function<void()>*>(parameter))();
    return 0;
}

}  // namespace

SweepRun RunOnSweepThread(const std::function<void()>& run)
{
    SweepRun result;
    outcome = &result;
    void* handler = AddVectoredExceptionHandler(1, EndSweepThread);
    DWORD id = 0;
    SystemHandle thread(CreateThread(nullptr, 0, Run, const_cast<std::function<void()>*>(&run),
                                     CREATE_SUSPENDED, &id));
    if (thread) {
        sweepThread = id;
        ResumeThread(thread.Get());
        WaitForSingleObject(thread.Get(), INFINITE);
    }
    sweepThread = 0;
    RemoveVectoredExceptionHandler(handler);
    outcome = nullptr;
    return result;
}
