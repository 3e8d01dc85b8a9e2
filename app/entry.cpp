// The image's entry point. It runs before the C runtime is set up (and so
// before any static constructor): the DLL search is restricted to the system
// folder first, then the runtime's own entry takes over (with -municode its wide
// variant, under the same name) and calls wWinMain.
#include <windows.h>

#include "support/platform/system_library.h"

extern "C" int WinMainCRTStartup();

// No canary: the runtime's start seeds the guard value while this frame is
// live. The 32-bit entry is called with the stack 4-byte aligned.
extern "C" __attribute__((no_stack_protector, force_align_arg_pointer)) int OstrivoEntry()
{
    RestrictDllSearch();
    return WinMainCRTStartup();
}
