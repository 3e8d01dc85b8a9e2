#include "support/platform/system_library.h"

namespace {

// Set once by RestrictDllSearch: whether LoadLibraryExW takes the
// LOAD_LIBRARY_SEARCH_* flags (Windows 8 on, Windows 7 with KB2533623).
bool searchFlagsAvailable = false;

// DLLs that a system DLL the program uses loads later by bare name: loaded
// first by full path, so that the later load finds them already in the
// process whatever search it makes (docs/hardening.md lists each and why).
const wchar_t* const kPreloaded[] = {
    L"uxtheme.dll",  // comctl32 version 6, for the visual styles
};

// The system folder's path with `name` appended, in `path` (MAX_PATH
// characters); false when it does not fit. No C runtime: this runs before
// the runtime is set up.
bool SystemPath(const wchar_t* name, wchar_t* path)
{
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    path[length++] = L'\\';
    for (; *name != L'\0'; ++name) {
        if (length + 1 >= MAX_PATH)
            return false;
        path[length++] = *name;
    }
    path[length] = L'\0';
    return true;
}

HMODULE LoadByFullSystemPath(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    if (!SystemPath(name, path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    // The altered search makes the DLL's own imports come from its folder.
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

void RestrictDllSearch()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    SetDefaultDllDirectoriesFunction setDefault = nullptr;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel != nullptr && BindExport(kernel, "SetDefaultDllDirectories", &setDefault))
        searchFlagsAvailable = setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    if (!searchFlagsAvailable)
        SetDllDirectoryW(L"");  // at least the current folder leaves the search
    for (const wchar_t* name : kPreloaded)
        LoadByFullSystemPath(name);  // kept for the process's life
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    if (searchFlagsAvailable)
        return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return LoadByFullSystemPath(name);
}

HMODULE LoadRedirectedSystemLibrary(const wchar_t* name)
{
    if (searchFlagsAvailable)
        return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without the flags only the bare name keeps the manifest's redirection,
    // which every Windows from 7 on resolves to its side-by-side store.
    return LoadLibraryW(name);
}
