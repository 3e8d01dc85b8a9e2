// A device walk that breaks off half way, in the real main dialog: what was
// gathered is shown and counted, the one diagnostic line is written, and the
// next refresh recovers the whole list.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/devices/stdout_capture.h"
#include "tests/ui/dialog_fixture.h"
#include "tests/ui/scripted_devices.h"

namespace {

// Present devices whose next `failingWalks` walks end at `failAt` with
// `error` instead of ERROR_NO_MORE_ITEMS.
class BreakingDevices : public PresentDevices {
public:
    DWORD failAt = 0;
    DWORD error = ERROR_INVALID_HANDLE;
    int failingWalks = 0;

    BOOL EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) override
    {
        if (failingWalks > 0 && index == failAt) {
            --failingWalks;
            breakError = error;
            return FALSE;
        }
        breakError = 0;
        return PresentDevices::EnumDeviceInfo(set, index, device);
    }
    DWORD GetLastError() override
    {
        return breakError != 0 ? breakError : PresentDevices::GetLastError();
    }

private:
    DWORD breakError = 0;
};

std::wstring Block(int i)
{
    return L"Device " + std::to_wstring(i) + L"\r\nVID = 0000 ,PID = 000" + std::to_wstring(i) +
           L"\r\n硬件ID = USB\\VID_0000&PID_000" + std::to_wstring(i) + L"\r\n" +
           std::wstring(47, L'-') + L"\r\n";
}

std::wstring Blocks(int count)
{
    std::wstring text;
    for (int i = 0; i < count; ++i)
        text += Block(i);
    return text;
}

TEST(FailedWalk, ShowsAndCountsThePartialListOnceThenRecovers)
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
    BreakingDevices platform;
    ScopedDevicePlatform scope(platform);
    for (int i = 0; i < 6; ++i)
        platform.devices.push_back({L"Device " + std::to_wstring(i),
                                    L"usb\\vid_0000&pid_000" + std::to_wstring(i)});

    RunInsideMainDialog([&](DrivenMainDialog& d) {
        ASSERT_EQ(L"6", d.Text(IDC_DEVICE_COUNT));
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            platform.failAt = c.failAt;
            platform.error = c.error;
            platform.failingWalks = 1;  // the refresh's first walk: the upper list
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
