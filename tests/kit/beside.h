// A file in the running test program's own folder. The program under test
// and the harness tools a test starts are copied beside the tests, in the
// build tree as in the test bundle, so no test knows a build machine's path.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring BesideThisProgram(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + name;
}
