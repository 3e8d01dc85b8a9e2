// Dialog tests run their windows on a desktop of the test program's own. On
// the desktop that every program of the prefix shares, a window that another
// program shows takes the activation from the dialog under test, and a box
// that the dialog then opens has no owner (its owner is the active window):
// the test fails, or hangs in the box's modal loop.
// Not for programs whose threads end with windows alive (the allocation
// sweep's ending runs): on a desktop of its own, Wine's X11 driver then
// now and then ends the program on an X error (BadMatch in CreateGC).
#pragma once

#include <windows.h>

#include <string>

// Moves the calling thread, which must have no windows yet, to the program's
// own desktop, made on first use. False where it could not; the thread then
// stays on the shared desktop. The desktop lasts as long as the program.
inline bool EnterOwnDesktop()
{
    static HDESK desktop = [] {
        std::wstring name = L"ostrivo-tests-" + std::to_wstring(GetCurrentProcessId());
        return CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    }();
    return desktop != nullptr && SetThreadDesktop(desktop);
}
