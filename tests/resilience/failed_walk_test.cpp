// A device walk that breaks off half way, in the real main dialog: what was
// gathered is shown and counted, the one diagnostic line is written, and the
// next refresh recovers the whole list.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/kit/dialog_fixture.h"
#include "tests/kit/expected_blocks.h"
#include "tests/kit/stdout_capture.h"

namespace {

// Devices 0 to count - 1, as the list shows them.
std::wstring Blocks(int count)
{
    std::vector<ExpectedDevice> devices;
    for (int i = 0; i < count; ++i)
        devices.push_back({L"Device " + std::to_wstring(i),
                           L"USB\\VID_0000&PID_000" + std::to_wstring(i)});
    return ExpectedBlocks(devices);
}

using FailedWalk = ScriptedDialogTest;

TEST_F(FailedWalk, ShowsAndCountsThePartialListOnceThenRecovers)
{
    struct Case {
        const char* name;
        DWORD failAt;
        DWORD error;
        const char* line;
    };
    const Case cases[] = {
        {"half way", 3, ERROR_INVALID_HANDLE, "Error Details:[6]\n"},
        {"at the first device", 0, ERROR_NOT_ENOUGH_MEMORY, "Error Details:[8]\n"},
        {"at the last device", 5, 0xE000020B, "Error Details:[3758096907]\n"},
    };
    for (int i = 0; i < 6; ++i)
        platform.devices.push_back(PresentDevice(L"Device " + std::to_wstring(i),
                                                 L"usb\\vid_0000&pid_000" + std::to_wstring(i)));

    RunInsideMainDialog([&](DrivenMainDialog& d) {
        ASSERT_EQ(L"6", d.Text(IDC_DEVICE_COUNT));
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            platform.BreakWalk(c.failAt, c.error, 1);  // the refresh's first walk: the upper list
            {
                StdoutCapture out;
                d.Command(IDC_REFRESH);
                EXPECT_EQ(c.line, out.Text());
            }
            EXPECT_EQ(std::to_wstring(c.failAt), d.Text(IDC_DEVICE_COUNT));
            EXPECT_EQ(Blocks(int(c.failAt)), d.Text(IDC_ALL_DEVICES));
            EXPECT_TRUE(IsWindowEnabled(d.window));

            StdoutCapture quiet;
            d.Send(WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */);
            EXPECT_EQ("", quiet.Text());
            EXPECT_EQ(L"6", d.Text(IDC_DEVICE_COUNT));
            EXPECT_EQ(Blocks(6), d.Text(IDC_ALL_DEVICES));
        }
    });
}

}  // namespace
