// The two device lists and the count, on a scripted set of present devices,
// in the real main dialog.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/kit/dialog_fixture.h"
#include "tests/kit/expected_blocks.h"
#include "tests/kit/scripted_platform.h"

namespace {

// Each device as the platform gives it, and as the lists must show it.
const ScriptedDevice kReceiver =
    PresentDevice(L"USB Receiver", L"USB\\VID_046D&PID_C52B&REV_1200");
const ExpectedDevice kReceiverShown = {L"USB Receiver", L"USB\\VID_046D&PID_C52B&REV_1200"};
const ScriptedDevice kNoName = PresentDevice(L"", L"usb\\vid_0bda&pid_8153");
const ExpectedDevice kNoNameShown = {L"", L"USB\\VID_0BDA&PID_8153"};
const ScriptedDevice kAdapter = PresentDevice(L"PCI 网络适配器", L"PCI\\VEN_8086&DEV_100E");
const ExpectedDevice kAdapterShown = {L"PCI 网络适配器", L"PCI\\VEN_8086&DEV_100E"};
const ScriptedDevice kNoId = PresentDevice(L"Without an id", L"");
const ScriptedDevice kStick = PresentDevice(L"USB Mass Storage", L"USB\\VID_0781&PID_5567");
const ExpectedDevice kStickShown = {L"USB Mass Storage", L"USB\\VID_0781&PID_5567"};

using ListViewsTest = ScriptedDialogTest;

TEST_F(ListViewsTest, AllDevicesViewShowsEveryDeviceWithAnIdAndCountsThem)
{
    struct Case {
        const char* name;
        std::vector<ScriptedDevice> present;
        const wchar_t* count;
        std::vector<ExpectedDevice> shown;
    };
    const Case cases[] = {
        {"none", {}, L"0", {}},
        {"one", {kReceiver}, L"1", {kReceiverShown}},
        {"several", {kReceiver, kNoName, kNoId, kAdapter}, L"3",
         {kReceiverShown, kNoNameShown, kAdapterShown}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform.devices = c.present;
        RunInsideMainDialog([&](DrivenMainDialog& d) {
            // As initialisation left it.
            EXPECT_EQ(c.count, d.Text(IDC_DEVICE_COUNT));
            EXPECT_EQ(ExpectedBlocks(c.shown), d.Text(IDC_ALL_DEVICES));
            EXPECT_EQ(d.Text(IDC_ALL_DEVICES), std::wstring(d.allDevicesText));
            EXPECT_EQ(L"", d.Text(IDC_CHANGED_DEVICES));
            EXPECT_EQ(c.shown.size(), d.baseline.Size());
            // A refresh over the same devices writes the same text again.
            d.RefreshViews();
            EXPECT_EQ(ExpectedBlocks(c.shown), d.Text(IDC_ALL_DEVICES));
            EXPECT_EQ(L"", d.Text(IDC_CHANGED_DEVICES));
        });
    }
}

TEST_F(ListViewsTest, ChangedDevicesFollowTheBaseline)
{
    platform.devices = {kReceiver, kNoName};
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        platform.devices.push_back(kStick);  // plugged in after the baseline
        EXPECT_EQ(0, d.Send(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED));
        EXPECT_EQ(L"3", d.Text(IDC_DEVICE_COUNT));
        EXPECT_EQ(ExpectedBlocks({kReceiverShown, kNoNameShown, kStickShown}),
                  d.Text(IDC_ALL_DEVICES));
        EXPECT_EQ(ExpectedBlocks({kStickShown}), d.Text(IDC_CHANGED_DEVICES));
        EXPECT_EQ(d.Text(IDC_CHANGED_DEVICES), std::wstring(d.changedDevicesText));

        platform.devices = {kReceiver, kNoName};  // pulled out again
        d.Command(IDC_REFRESH);
        EXPECT_EQ(L"", d.Text(IDC_CHANGED_DEVICES));

        platform.devices = {kReceiver};  // one that was in the baseline leaves
        d.Command(IDC_REFRESH);
        EXPECT_EQ(ExpectedBlocks({kNoNameShown}), d.Text(IDC_CHANGED_DEVICES));

        d.Command(IDC_SET_BASELINE);  // the present devices become the baseline
        EXPECT_EQ(1u, d.baseline.Size());
        EXPECT_EQ(L"", d.Text(IDC_CHANGED_DEVICES));
        platform.devices = {kAdapter, kReceiver};
        d.Command(IDC_REFRESH);
        EXPECT_EQ(ExpectedBlocks({kAdapterShown}), d.Text(IDC_CHANGED_DEVICES));
    });
}

TEST_F(ListViewsTest, EmptyBaselineListsEveryPresentDeviceAsChanged)
{
    // Neither the view nor the baseline gets a set.
    platform.FailCalls(L"SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER);
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        EXPECT_EQ(L"0", d.Text(IDC_DEVICE_COUNT));
        EXPECT_EQ(0u, d.baseline.Size());
        platform.StopFailing(L"SetupDiGetClassDevsW");
        platform.devices = {kReceiver, kAdapter};
        d.Command(IDC_REFRESH);
        EXPECT_EQ(ExpectedBlocks({kReceiverShown, kAdapterShown}),
                  d.Text(IDC_CHANGED_DEVICES));
    });
}

TEST_F(ListViewsTest, FailedComparisonLeavesTheLowerListAsItWas)
{
    platform.devices = {kReceiver};
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        platform.devices.push_back(kStick);
        d.Command(IDC_REFRESH);
        ASSERT_EQ(ExpectedBlocks({kStickShown}), d.Text(IDC_CHANGED_DEVICES));

        platform.FailCalls(L"SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER);
        d.Command(IDC_REFRESH);
        EXPECT_EQ(L"0", d.Text(IDC_DEVICE_COUNT));
        EXPECT_EQ(L"", d.Text(IDC_ALL_DEVICES));
        EXPECT_EQ(ExpectedBlocks({kStickShown}), d.Text(IDC_CHANGED_DEVICES));
    });
}

LRESULT CALLBACK RefuseText(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR)
{
    if (message == WM_SETTEXT)
        return FALSE;
    return DefSubclassProc(w, message, wParam, lParam);
}

TEST_F(ListViewsTest, RefusedWriteBeepsOncePerViewAndTakesTheFocus)
{
    struct Case {
        const char* name;
        std::vector<int> refusing;
        int beeps;
        int focus;
    };
    const Case cases[] = {
        {"upper", {IDC_ALL_DEVICES}, 1, IDC_ALL_DEVICES},
        {"lower", {IDC_CHANGED_DEVICES}, 1, IDC_CHANGED_DEVICES},
        {"both", {IDC_ALL_DEVICES, IDC_CHANGED_DEVICES}, 2, IDC_CHANGED_DEVICES},
        {"neither", {}, 0, IDC_REFRESH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform.devices = {kReceiver};
        RunInsideMainDialog([&](DrivenMainDialog& d) {
            for (int id : c.refusing)
                SetWindowSubclass(d.Control(id), RefuseText, 1, 0);
            platform.devices = {kReceiver, kNoName, kStick};
            SetFocus(d.Control(IDC_REFRESH));
            BeepCounter beeps;
            d.Command(IDC_REFRESH);
            EXPECT_EQ(c.beeps, beeps.count);
            for (UINT type : beeps.types)
                EXPECT_EQ(0xFFFFFFFFu, type);
            EXPECT_EQ(d.Control(c.focus), GetFocus());
            // The member holds the new text whether or not the control took it.
            EXPECT_EQ(ExpectedBlocks({kReceiverShown, kNoNameShown, kStickShown}),
                      std::wstring(d.allDevicesText));
            EXPECT_EQ(ExpectedBlocks({kNoNameShown, kStickShown}),
                      std::wstring(d.changedDevicesText));
            // A control that refused keeps what it showed before.
            for (int id : {IDC_ALL_DEVICES, IDC_CHANGED_DEVICES}) {
                bool refused = std::find(c.refusing.begin(), c.refusing.end(), id) !=
                               c.refusing.end();
                bool upper = id == IDC_ALL_DEVICES;
                std::wstring before = upper ? ExpectedBlocks({kReceiverShown}) : L"";
                std::wstring member(upper ? d.allDevicesText : d.changedDevicesText);
                EXPECT_EQ(refused ? before : member, d.Text(id));
            }
            for (int id : c.refusing)
                RemoveWindowSubclass(d.Control(id), RefuseText, 1);
        });
    }
}

}  // namespace
