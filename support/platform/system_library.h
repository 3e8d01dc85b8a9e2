// Where the program's DLLs come from: Windows' system folder, never the
// folder the exe was started from (a Downloads folder any web page can drop
// files into).
#pragma once

#include <windows.h>

// The program's first act, before anything can load a DLL: restricts the
// process's DLL search to the system folder (SetDefaultDllDirectories where
// the system has it, else SetDllDirectoryW(L"") and full paths), then loads
// by full path the system DLLs that others load later by bare name. Calls
// nothing of the C runtime: it runs before the runtime is set up.
void RestrictDllSearch();

// Loads `name` (a bare file name) from the system folder only, with its own
// imports from there too. Null, with the reason in GetLastError, when it
// cannot. For a DLL the manifest redirects (comctl32), see
// LoadRedirectedSystemLibrary.
HMODULE LoadSystemLibrary(const wchar_t* name);

// Like LoadSystemLibrary for a DLL the program's manifest redirects to a
// side-by-side assembly: the redirection applies before any folder is
// searched, and a full path would bypass it.
HMODULE LoadRedirectedSystemLibrary(const wchar_t* name);

// A typed export of `module`: true, with `*function` set, when it has one.
template <class Function>
bool BindExport(HMODULE module, const char* name, Function* function)
{
    FARPROC found = GetProcAddress(module, name);
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
    return found != nullptr;
}
