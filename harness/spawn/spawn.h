// Starting a process, for the harness's tools and the tests.
//
// Wine now and then loses a new process in its own start-up, and
// CreateProcessW fails with the status the process ended with before it told
// the server it had started. Wine tells the server that before it maps a
// single DLL of the program, so none of the program's code has run and
// starting it again changes nothing a test looks at. Windows gets no second
// try: there the error would be real.
#pragma once

#include <windows.h>

#include <cstdio>

namespace spawn {

inline bool UnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// What follows the first `count` arguments of a command line as the system
// splits it: the program a tool starts and its arguments, quoted as given.
inline const wchar_t* ArgumentsAfter(const wchar_t* line, int count)
{
    for (int skipped = 0; skipped < count; ++skipped) {
        while (*line == L' ' || *line == L'\t') ++line;
        bool quoted = false;
        for (; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line)
            if (*line == L'"') quoted = !quoted;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

// What CreateProcessW failed with when Wine lost the process, as seen beside
// busy cores: ERROR_INTERNAL_ERROR, the process ended with no status (on
// the host and in the emulated i386 machine); ERROR_BAD_EXE_FORMAT, Wine in
// the new process could not map the exe that the test itself runs from ("wine:
// failed to start", in the emulated i386 machine). A truly bad exe only
// fails as often as it is tried.
inline bool LostInStartUp(DWORD error)
{
    return error == ERROR_INTERNAL_ERROR || error == ERROR_BAD_EXE_FORMAT;
}

// Tries in all, when Wine loses the process each time.
const int kTries = 3;

// Calls `create` (a CreateProcessW call, true when it started the process)
// again while Wine loses the process, up to kTries in all. The last error is
// the last call's.
template <class Create>
bool Retried(Create create, bool underWine = UnderWine())
{
    for (int tried = 1;; ++tried) {
        if (create())
            return true;
        DWORD error = GetLastError();
        if (!underWine || !LostInStartUp(error) || tried == kTries)
            return false;
        std::fprintf(stderr, "spawn: Wine lost a new process before it ran (error %lu); starting it again\n",
                     static_cast<unsigned long>(error));
        std::fflush(stderr);
    }
}

// CreateProcessW with no security attributes, no environment of its own,
// and another try where Wine loses the process.
inline bool StartProcess(const wchar_t* application, wchar_t* commandLine, bool inheritHandles,
                         DWORD flags, STARTUPINFOW* startup, PROCESS_INFORMATION* started)
{
    return Retried([&] {
        return CreateProcessW(application, commandLine, nullptr, nullptr, inheritHandles, flags,
                              nullptr, nullptr, startup, started) != FALSE;
    });
}

}  // namespace spawn
