// The real program under the real dialog manager, driven from outside as a
// user and the platform would drive it.
#include "e2e_support.h"

#include <dbt.h>
#include <gtest/gtest.h>

#include <functional>

using namespace e2e;

namespace {

void ExpectChanged(const Program& program, const std::vector<ExpectedDevice>& devices)
{
    EXPECT_EQ(driver::ToUtf8(ExpectedBlocks(devices)),
              driver::ToUtf8(program.Text(IDC_CHANGED_DEVICES)));
}

bool DeviceChange(const Program& program, WPARAM event)
{
    LRESULT result = -1;
    return driver::SendDeviceChange(program.Dialog(), event, 0, &result) && result == 0;
}

}  // namespace

TEST(MainDialog, StartShowsPresentDevicesAndHidesTheDriveLookup)
{
    SimulatedDevices devices;
    // Lower-case id, a vendor above 0x7FFF and a device without description.
    ASSERT_FALSE(devices.Add(L"e2e start", L"usb\\vid_abcd&pid_8001&rev_0001").hardwareId.empty());
    ASSERT_FALSE(devices.Add(L"", L"USB\\VID_E2E1&PID_0002").hardwareId.empty());
    Program program;
    ASSERT_TRUE(program.Start());

    ExpectAllDevicesShown(program);
    std::wstring all = program.Text(IDC_ALL_DEVICES);
    EXPECT_NE(std::wstring::npos, all.find(L"e2e start\r\nVID = ABCD ,PID = 8001\r\n"
                                          L"硬件ID = USB\\VID_ABCD&PID_8001&REV_0001\r\n"));
    EXPECT_NE(std::wstring::npos, all.find(L"\r\n\r\nVID = E2E1 ,PID = 0002\r\n"));
    EXPECT_EQ(L"", program.Text(IDC_CHANGED_DEVICES));
    for (int id : {IDC_DRIVE_LETTER, IDC_GET_HARDWARE_ID, IDC_DRIVE_LABEL}) {
        EXPECT_NE(nullptr, GetDlgItem(program.Dialog(), id)) << id;
        EXPECT_FALSE(driver::ControlVisible(program.Dialog(), id)) << id;
    }
    EXPECT_TRUE(driver::ControlVisible(program.Dialog(), IDC_ALL_DEVICES));
    EXPECT_EQ(GetDlgItem(program.Dialog(), IDCANCEL), driver::FocusedWindow(program.Dialog()));
}

TEST(MainDialog, DeviceChangesAreShownAgainstTheBaseline)
{
    SimulatedDevices baselineDevices;
    ExpectedDevice kept = baselineDevices.Add(L"e2e baseline", L"USB\\VID_E2E2&PID_0010&REV_0001");
    ASSERT_FALSE(kept.hardwareId.empty());
    Program program;
    ASSERT_TRUE(program.Start());
    SimulatedDevices arrivals;

    ExpectedDevice arrived = arrivals.Add(L"e2e arrived", L"USB\\VID_E2E3&PID_0020&REV_0002");
    ASSERT_FALSE(arrived.hardwareId.empty());
    ASSERT_TRUE(DeviceChange(program, DBT_DEVICEARRIVAL));
    ExpectAllDevicesShown(program);
    EXPECT_NE(std::wstring::npos, program.Text(IDC_ALL_DEVICES).find(ExpectedBlocks({arrived})));
    ExpectChanged(program, {arrived});

    ASSERT_TRUE(arrivals.RemoveLast());
    ASSERT_TRUE(DeviceChange(program, DBT_DEVICEREMOVECOMPLETE));
    ExpectAllDevicesShown(program);
    ExpectChanged(program, {});

    ASSERT_TRUE(baselineDevices.RemoveLast());
    ASSERT_TRUE(DeviceChange(program, DBT_DEVNODES_CHANGED));
    ExpectAllDevicesShown(program);
    ExpectChanged(program, {kept});

    ASSERT_TRUE(driver::SendCommand(program.Dialog(), IDC_SET_BASELINE, BN_CLICKED));
    ExpectAllDevicesShown(program);
    ExpectChanged(program, {});
    ASSERT_TRUE(driver::ClickButton(program.Dialog(), IDCANCEL));
    EXPECT_EQ(2u, program.ExitCode());
}

TEST(MainDialog, ButtonCommandsOtherThanClicksChangeNothing)
{
    Program program;
    ASSERT_TRUE(program.Start());
    std::wstring count = program.Text(IDC_DEVICE_COUNT);
    std::wstring all = program.Text(IDC_ALL_DEVICES);
    SimulatedDevices devices;
    ExpectedDevice arrived = devices.Add(L"e2e unseen", L"USB\\VID_E2E4&PID_0030");
    ASSERT_FALSE(arrived.hardwareId.empty());

    for (WORD code : {WORD(BN_DOUBLECLICKED), WORD(BN_SETFOCUS), WORD(EN_CHANGE)}) {
        for (WORD id : {WORD(IDC_REFRESH), WORD(IDC_SET_BASELINE)}) {
            ASSERT_TRUE(driver::SendCommand(program.Dialog(), id, code)) << id << " " << code;
            EXPECT_EQ(count, program.Text(IDC_DEVICE_COUNT)) << id << " " << code;
            EXPECT_EQ(all, program.Text(IDC_ALL_DEVICES)) << id << " " << code;
            EXPECT_EQ(L"", program.Text(IDC_CHANGED_DEVICES)) << id << " " << code;
        }
    }
    // A click does refresh, and the baseline was not retaken above.
    ASSERT_TRUE(driver::SendCommand(program.Dialog(), IDC_REFRESH, BN_CLICKED));
    ExpectAllDevicesShown(program);
    ExpectChanged(program, {arrived});
}

TEST(MainDialog, AboutBoxClosesEveryWayAndTheDialogGoesOn)
{
    Program program;
    ASSERT_TRUE(program.Start());
    HWND dialog = program.Dialog();
    SimulatedDevices devices;
    ExpectedDevice arrived = devices.Add(L"e2e during about", L"USB\\VID_E2E5&PID_0040");
    ASSERT_FALSE(arrived.hardwareId.empty());
    struct Way {
        const char* name;
        WORD notification;  // of the command that opens the box
        std::function<bool(HWND)> close;
    };
    const Way ways[] = {
        {"button click", BN_CLICKED, [](HWND box) { return driver::ClickButton(box, IDOK); }},
        {"command IDOK", 1, [](HWND box) { return driver::PostCommand(box, IDOK); }},
        {"enter key", BN_CLICKED,
         [](HWND box) {
             HWND focus = driver::FocusedWindow(box);
             return PostMessageW(focus ? focus : box, WM_KEYDOWN, VK_RETURN, 0x001C0001) != 0;
         }},
        {"escape command", BN_CLICKED,
         [](HWND box) { return driver::PostCommand(box, IDCANCEL); }},
        {"escape key", BN_CLICKED,
         [](HWND box) {
             HWND focus = driver::FocusedWindow(box);
             return PostMessageW(focus ? focus : box, WM_KEYDOWN, VK_ESCAPE, 0x00010001) != 0;
         }},
        {"WM_CLOSE", 0x300, [](HWND box) { return driver::Close(box); }},
        {"SC_CLOSE", BN_CLICKED,
         [](HWND box) { return PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0) != 0; }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        ASSERT_TRUE(driver::PostCommand(dialog, ID_SHOW_ABOUT, way.notification));
        HWND box = nullptr;
        ASSERT_TRUE(Within(bounds::kWindow, "the About box to appear", [&](DWORD ms) {
            box = driver::WaitForDialog(program.Process(), L"关于", dialog, ms);
            return box != nullptr;
        }));
        std::wstring text;
        // The first control with id -1 in template order is the text.
        ASSERT_TRUE(driver::ReadText(GetDlgItem(box, -1), &text));
        EXPECT_EQ(0u, text.find(L"Ostrivo 应用程序 v1.0\n\n")) << driver::ToUtf8(text);
        EXPECT_FALSE(IsWindowEnabled(dialog));
        // Broadcasts still reach the dialog while the box is open.
        ASSERT_TRUE(DeviceChange(program, DBT_DEVNODES_CHANGED));
        ExpectChanged(program, {arrived});

        ASSERT_TRUE(way.close(box));
        ASSERT_TRUE(Within(bounds::kWindow, "the About box to go",
                           [&](DWORD ms) { return driver::WaitForWindowGone(box, ms); }));
        ASSERT_TRUE(program.Answers());
        EXPECT_TRUE(IsWindowEnabled(dialog));
        EXPECT_TRUE(driver::SendCommand(dialog, IDC_REFRESH, BN_CLICKED));
        ExpectChanged(program, {arrived});
    }
    ASSERT_TRUE(driver::ClickButton(dialog, IDCANCEL));
    EXPECT_EQ(2u, program.ExitCode());
}

TEST(MainDialog, ExitCodeFollowsTheWayOut)
{
    struct Case {
        const char* name;
        std::function<bool(HWND)> leave;
        DWORD exitCode;
    };
    const Case cases[] = {
        {"exit button", [](HWND d) { return driver::ClickButton(d, IDCANCEL); }, 2},
        {"escape command", [](HWND d) { return driver::PostCommand(d, IDCANCEL); }, 2},
        {"escape key",
         [](HWND d) {
             HWND focus = driver::FocusedWindow(d);
             return PostMessageW(focus ? focus : d, WM_KEYDOWN, VK_ESCAPE, 0x00010001) != 0;
         },
         2},
        {"close box", [](HWND d) { return driver::Close(d); }, 2},
        {"SC_CLOSE", [](HWND d) { return PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0) != 0; }, 2},
        {"cancel with another code", [](HWND d) { return driver::PostCommand(d, IDCANCEL, 1); }, 2},
        {"command 1", [](HWND d) { return driver::PostCommand(d, IDOK); }, 1},
        {"command 1 with another code", [](HWND d) { return driver::PostCommand(d, IDOK, 0x300); },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Program program;
        ASSERT_TRUE(program.Start());
        ASSERT_TRUE(c.leave(program.Dialog()));
        EXPECT_EQ(c.exitCode, program.ExitCode());
    }
}
