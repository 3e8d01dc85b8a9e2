// Prints what a refresh of both lists costs in the real main dialog for
// growing numbers of scripted devices (every one of them also "connected"
// since an empty baseline, so both views carry the whole list).
//   harness/wine/run ui_list_views_benchmark.exe [counts...]
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "devices/enumeration.h"
#include "tests/kit/dialog_fixture.h"
#include "tests/kit/scripted_platform.h"

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

void Measure(int devices)
{
    ScriptedPlatform platform;
    platform.logCalls = false;
    ScopedPlatform scope(platform);
    // An empty baseline.
    platform.FailCalls(L"SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER);
    DrivenMainDialog dialog([&](DrivenMainDialog& d) {
        platform.StopFailing(L"SetupDiGetClassDevsW");
        for (int i = 0; i < devices; ++i) {
            wchar_t id[64];
            swprintf(id, 64, L"USB\\VID_%04X&PID_%04X\\%08d", i & 0xFFFF, (i * 7) & 0xFFFF, i);
            platform.devices.push_back(PresentDevice(L"USB 输入设备 with a longer description", id));
        }
        LARGE_INTEGER start, built, refreshed;
        QueryPerformanceCounter(&start);
        DeviceList list;
        EnumerateDevices(list);
        CString text;
        FormatDeviceBlocks(list, text);
        QueryPerformanceCounter(&built);
        d.RefreshViews();
        QueryPerformanceCounter(&refreshed);
        printf("%6d devices  %8d chars a view  text built %8.1f ms  refresh of both views %8.1f ms\n",
               devices, text.Length(), Milliseconds(start, built), Milliseconds(built, refreshed));
        fflush(stdout);
    });
    dialog.Run();
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> counts = {50, 250, 1000, 4000};
    if (argc > 1) {
        counts.clear();
        for (int i = 1; i < argc; ++i)
            counts.push_back(atoi(argv[i]));
    }
    for (int n : counts)
        Measure(n);
    return 0;
}
