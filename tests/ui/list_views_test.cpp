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

// A control whose text cannot be read back gives nothing to compare with.
LRESULT CALLBACK GiveNoText(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR)
{
    if (message == WM_GETTEXT) {
        if (wParam > 0)
            reinterpret_cast<wchar_t*>(lParam)[0] = 0;
        return 0;
    }
    return DefSubclassProc(w, message, wParam, lParam);
}

TEST_F(ListViewsTest, ListWhoseTextCannotBeReadIsWrittenEvenWhenTheNewTextIsEmpty)
{
    platform.devices = {kReceiver, kStick};
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        HWND upper = d.Control(IDC_ALL_DEVICES);
        SetWindowSubclass(upper, GiveNoText, 1, 0);
        platform.devices.clear();  // every device gone
        d.Command(IDC_REFRESH);
        RemoveWindowSubclass(upper, GiveNoText, 1);
        EXPECT_EQ(L"", d.Text(IDC_ALL_DEVICES));
        EXPECT_EQ(L"0", d.Text(IDC_DEVICE_COUNT));
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
            // Inside the receiver's block, which moves down in the new text.
            SendMessageW(d.Control(IDC_ALL_DEVICES), EM_SETSEL, 2, 5);
            platform.devices = {kStick, kReceiver, kNoName};
            SetFocus(d.Control(IDC_REFRESH));
            BeepCounter beeps;
            d.Command(IDC_REFRESH);
            EXPECT_EQ(c.beeps, beeps.count);
            for (UINT type : beeps.types)
                EXPECT_EQ(0xFFFFFFFFu, type);
            EXPECT_EQ(d.Control(c.focus), GetFocus());
            // The member holds the new text whether or not the control took it.
            EXPECT_EQ(ExpectedBlocks({kStickShown, kReceiverShown, kNoNameShown}),
                      std::wstring(d.allDevicesText));
            EXPECT_EQ(ExpectedBlocks({kStickShown, kNoNameShown}),
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
            // ... and its place in it.
            DWORD start = 0, end = 0;
            SendMessageW(d.Control(IDC_ALL_DEVICES), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                         reinterpret_cast<LPARAM>(&end));
            bool upperRefused = std::find(c.refusing.begin(), c.refusing.end(),
                                          IDC_ALL_DEVICES) != c.refusing.end();
            DWORD moved = upperRefused ? 0 : DWORD(ExpectedBlocks({kStickShown}).size());
            EXPECT_EQ(moved + 2, start);
            EXPECT_EQ(moved + 5, end);
            for (int id : c.refusing)
                RemoveWindowSubclass(d.Control(id), RefuseText, 1);
        });
    }
}

}  // namespace

namespace {

// Counts the texts written into a control while subclassed.
LRESULT CALLBACK CountTextWrites(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR writes)
{
    if (message == WM_SETTEXT)
        ++*reinterpret_cast<int*>(writes);
    return DefSubclassProc(w, message, wParam, lParam);
}

struct Place {
    int firstLine;
    DWORD start;
    DWORD end;
};

Place PlaceOf(HWND list)
{
    Place place = {static_cast<int>(SendMessageW(list, EM_GETFIRSTVISIBLELINE, 0, 0)), 0, 0};
    SendMessageW(list, EM_GETSEL, reinterpret_cast<WPARAM>(&place.start),
                 reinterpret_cast<LPARAM>(&place.end));
    return place;
}

void ScrollAndSelect(HWND list, int firstLine, DWORD start, DWORD end)
{
    SendMessageW(list, EM_SETSEL, start, end);
    SendMessageW(list, EM_LINESCROLL, 0, firstLine - PlaceOf(list).firstLine);
    ASSERT_EQ(firstLine, PlaceOf(list).firstLine);
}

// Both lists show the same text here, so both must be at the same place.
void ExpectBothAt(HWND upper, HWND lower, int firstLine, int start, int end)
{
    for (HWND list : {upper, lower}) {
        SCOPED_TRACE(list == upper ? "upper list" : "lower list");
        Place place = PlaceOf(list);
        EXPECT_EQ(firstLine, place.firstLine);
        EXPECT_EQ(DWORD(start), place.start);
        EXPECT_EQ(DWORD(end), place.end);
    }
}

ScriptedDevice Numbered(int i)
{
    wchar_t id[40];
    wsprintfW(id, L"USB\\VID_1234&PID_%04X", i);
    return PresentDevice(L"Device", id);
}

// A list long enough to scroll: 40 numbered devices.
std::vector<ScriptedDevice> LongList()
{
    std::vector<ScriptedDevice> devices;
    for (int i = 0; i < 40; ++i)
        devices.push_back(Numbered(i));
    return devices;
}

// Every numbered device's block has the same length.
int BlockLength()
{
    return static_cast<int>(ExpectedBlocks({{L"Device", L"USB\\VID_1234&PID_0000"}}).size());
}

}  // namespace

// The reader scrolled down a long list and selected a hardware ID to copy.
TEST_F(ListViewsTest, RefreshKeepsTheReadersPlaceInBothLists)
{
    std::vector<ScriptedDevice> many = LongList();
    platform.devices = many;
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        // The lower list gets a long text of its own: the baseline is emptied.
        platform.devices.clear();
        d.Command(IDC_SET_BASELINE);
        platform.devices = many;
        d.Command(IDC_REFRESH);
        HWND upper = d.Control(IDC_ALL_DEVICES);
        HWND lower = d.Control(IDC_CHANGED_DEVICES);
        const int block = BlockLength();
        // Line 42 is the third line of device 10; the selection is inside device 11.
        for (HWND list : {upper, lower})
            ScrollAndSelect(list, 42, 11 * block + 20, 11 * block + 40);
        int writes[2] = {0, 0};
        SetWindowSubclass(upper, CountTextWrites, 1, reinterpret_cast<DWORD_PTR>(&writes[0]));
        SetWindowSubclass(lower, CountTextWrites, 1, reinterpret_cast<DWORD_PTR>(&writes[1]));

        {
            SCOPED_TRACE("nothing changed: neither list is written, nothing moves");
            for (UINT message : {UINT(WM_DEVICECHANGE), UINT(WM_COMMAND)}) {
                if (message == WM_DEVICECHANGE)
                    d.Send(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED);
                else
                    d.Command(IDC_REFRESH);
                EXPECT_EQ(0, writes[0]);
                EXPECT_EQ(0, writes[1]);
                ExpectBothAt(upper, lower, 42, 11 * block + 20, 11 * block + 40);
            }
        }
        {
            SCOPED_TRACE("a device arrives at the top: the view and the selection move with theirs");
            platform.devices.insert(platform.devices.begin(), Numbered(99));
            d.Send(WM_DEVICECHANGE, DBT_DEVICEARRIVAL);
            EXPECT_EQ(1, writes[0]);
            EXPECT_EQ(1, writes[1]);
            EXPECT_EQ(L"41", d.Text(IDC_DEVICE_COUNT));
            ExpectBothAt(upper, lower, 46, 12 * block + 20, 12 * block + 40);
        }
        {
            SCOPED_TRACE("the device at the top of the view leaves: the view keeps its line");
            platform.devices.erase(platform.devices.begin() + 11);  // device 10
            d.Command(IDC_REFRESH);
            // Device 11, selected, moved up by one block.
            ExpectBothAt(upper, lower, 46, 11 * block + 20, 11 * block + 40);
        }
        RemoveWindowSubclass(upper, CountTextWrites, 1);
        RemoveWindowSubclass(lower, CountTextWrites, 1);
    });
}

namespace {

// What a list went through while subclassed: the steps of a refresh (text,
// selection, scroll) it took with drawing on, where drawing was left, and
// its paints.
struct Painting {
    bool drawing = true;
    int stepsWhileDrawing = 0;
    int paints = 0;
    int framePaints = 0;
};

LRESULT CALLBACK WatchPainting(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR data)
{
    Painting& seen = *reinterpret_cast<Painting*>(data);
    if (message == WM_SETREDRAW)
        seen.drawing = wParam != FALSE;
    else if (message == WM_SETTEXT || message == EM_SETSEL || message == EM_LINESCROLL)
        seen.stepsWhileDrawing += seen.drawing;
    else if (message == WM_PAINT)
        ++seen.paints;
    else if (message == WM_NCPAINT)
        ++seen.framePaints;
    return DefSubclassProc(w, message, wParam, lParam);
}

}  // namespace

// A changed list is written with drawing off (WM_SETREDRAW, which this
// Wine's edit control ignores, so the messages are what is watched), then
// drawn once whole: its client area and its frame, where the scroll bar's
// thumb is.
TEST_F(ListViewsTest, ChangedListIsDrawnOnceWholeAndAnUnchangedOneNotAtAll)
{
    std::vector<ScriptedDevice> many = LongList();
    platform.devices = many;
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        ShowWindow(d.window, SW_SHOWNOACTIVATE);
        UpdateWindow(d.window);
        HWND upper = d.Control(IDC_ALL_DEVICES);
        ScrollAndSelect(upper, 20, 10, 10);
        struct Case {
            const char* name;
            bool change;
        };
        for (const Case& c : {Case{"unchanged", false}, Case{"a device arrives", true}}) {
            SCOPED_TRACE(c.name);
            UpdateWindow(upper);
            Painting seen;
            SetWindowSubclass(upper, WatchPainting, 2, reinterpret_cast<DWORD_PTR>(&seen));
            if (c.change)
                platform.devices.insert(platform.devices.begin(), Numbered(99));
            d.Send(WM_DEVICECHANGE, DBT_DEVICEARRIVAL);
            EXPECT_EQ(0, seen.stepsWhileDrawing);
            EXPECT_TRUE(seen.drawing) << "drawing left off";
            EXPECT_EQ(c.change, GetUpdateRect(upper, nullptr, FALSE) != FALSE);
            UpdateWindow(upper);
            RemoveWindowSubclass(upper, WatchPainting, 2);
            EXPECT_EQ(c.change ? 1 : 0, seen.paints);
            EXPECT_EQ(c.change, seen.framePaints > 0) << "the frame was not drawn";

            // The scroll bar's thumb as the control set it for its new text.
            SCROLLINFO bar = {};
            bar.cbSize = sizeof bar;
            bar.fMask = SIF_ALL;
            ASSERT_TRUE(GetScrollInfo(upper, SB_VERT, &bar));
            int lines = static_cast<int>(SendMessageW(upper, EM_GETLINECOUNT, 0, 0));
            EXPECT_EQ(lines - 1, bar.nMax);
            EXPECT_EQ(PlaceOf(upper).firstLine, bar.nPos);
            EXPECT_EQ(c.change ? 24 : 20, bar.nPos);
        }
    });
}

namespace {

// A key pressed in a list with Shift held, as the control reads Shift.
void PressWithShift(HWND list, UINT key)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE held = keys[VK_SHIFT];
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(list, WM_KEYDOWN, key, 1);
    keys[VK_SHIFT] = held;
    SetKeyboardState(keys);
}

// How far the list is scrolled sideways: where its first character is drawn.
int FirstCharacterX(HWND list)
{
    return static_cast<short>(LOWORD(SendMessageW(list, EM_POSFROMCHAR, 0, 0)));
}

std::wstring LongId(int i)
{
    wchar_t id[160];
    wsprintfW(id, L"USB\\VID_1234&PID_%04X&MI_00&%s", i,
              L"SERIAL_0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF");
    return id;
}

ScriptedDevice LongNamed(int i) { return PresentDevice(L"Device", LongId(i)); }

}  // namespace

// The reader dragged upwards over a long hardware ID (the caret at the
// selection's start) and scrolled sideways along it; a device arrives.
TEST_F(ListViewsTest, RefreshKeepsTheCaretsEndAndTheSidewaysScroll)
{
    std::vector<ScriptedDevice> devices;
    for (int i = 0; i < 12; ++i)
        devices.push_back(LongNamed(i));
    platform.devices = devices;
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        HWND upper = d.Control(IDC_ALL_DEVICES);
        SetFocus(upper);
        const int line = static_cast<int>(SendMessageW(upper, EM_LINEINDEX, 6, 0));  // device 1's id
        SendMessageW(upper, EM_SETSEL, line + 40, line + 30);  // backwards
        SendMessageW(upper, EM_LINESCROLL, 40, 4);  // the caret out of view to the left
        const int sideways = FirstCharacterX(upper);
        ASSERT_LT(sideways, 0) << "the list did not scroll sideways";
        const int block = static_cast<int>(ExpectedBlocks({{L"Device", LongId(0)}}).size());

        platform.devices.insert(platform.devices.begin(), LongNamed(99));
        d.Send(WM_DEVICECHANGE, DBT_DEVICEARRIVAL);
        Place now = PlaceOf(upper);
        EXPECT_EQ(DWORD(line + block + 30), now.start);
        EXPECT_EQ(DWORD(line + block + 40), now.end);
        EXPECT_EQ(8, now.firstLine);
        EXPECT_EQ(sideways, FirstCharacterX(upper)) << "sent back to column 0";

        PressWithShift(upper, VK_LEFT);  // the caret's end moves, the anchor stays
        now = PlaceOf(upper);
        EXPECT_EQ(DWORD(line + block + 29), now.start);
        EXPECT_EQ(DWORD(line + block + 40), now.end);
    });
}
