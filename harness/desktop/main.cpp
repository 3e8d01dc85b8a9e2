// desktop_keeper: starts the shell of the default desktop and keeps it.
//
//   desktop_keeper READY
//
// Wine ends a desktop's shell (explorer) a second after the last program on
// that desktop ends, and the next program to make a window starts it again,
// giving it a fixed 10 s to come up; in a loaded emulated machine it can take
// longer, and that program's windows all fail. The harness starts this once
// per run: it starts the shell under the window bound, writes READY (a
// file) and stays on the desktop until the server ends it, so the shell
// never ends between the run's programs.
#include <windows.h>

#include <cstdio>
#include <string>

#include "driver.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        fputs("usage: desktop_keeper READY\n", stderr);
        return 2;
    }
    std::string why;
    if (!driver::StartDesktopShell(&why)) {
        fprintf(stderr, "desktop_keeper: %s\n", why.c_str());
        return 1;
    }
    FILE* ready = _wfopen(argv[1], L"w");
    if (!ready) {
        fwprintf(stderr, L"desktop_keeper: cannot write %ls\n", argv[1]);
        return 1;
    }
    fclose(ready);
    Sleep(INFINITE);
    return 0;
}
