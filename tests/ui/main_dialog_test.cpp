// The main dialog's start, message map, text exchange, drive lookup command
// and About box, in the real dialog manager with the real templates.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <string>
#include <vector>

#include "driver.h"
#include "tests/kit/dialog_fixture.h"
#include "tests/kit/scripted_platform.h"
#include "ui/about_dialog.h"

namespace {

// The dialogs run on the main thread, on a desktop of the program's own from
// before any test makes a window: a box they open is theirs.
driver::PrivateDesktop ownDesktop;
const bool kOnOwnDesktop = ownDesktop.Enter(L"ui-dialog-tests");

const ScriptedDevice kReceiver = PresentDevice(L"USB Receiver", L"USB\\VID_046D&PID_C52B");

using MainDialogTest = ScriptedDialogTest;

TEST_F(MainDialogTest, StartsCentredWithIconsCountAndHiddenDriveLookup)
{
    platform.devices = {kReceiver};
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        EXPECT_EQ(L"VID、PID获取工具", WindowText(d.window));
        EXPECT_EQ(L"1", d.Text(IDC_DEVICE_COUNT));
        EXPECT_TRUE(d.Send(WM_GETICON, ICON_BIG) != 0);
        EXPECT_TRUE(d.Send(WM_GETICON, ICON_SMALL) != 0);
        auto shown = [&](int id) {
            return (GetWindowLongW(d.Control(id), GWL_STYLE) & WS_VISIBLE) != 0;
        };
        for (int id : {IDC_DRIVE_LABEL, IDC_DRIVE_LETTER, IDC_GET_HARDWARE_ID})
            EXPECT_FALSE(shown(id)) << id;
        for (int id : {IDC_ALL_DEVICES, IDC_CHANGED_DEVICES, IDC_REFRESH, IDC_SET_BASELINE})
            EXPECT_TRUE(shown(id)) << id;
        EXPECT_EQ(d.Control(IDCANCEL), GetFocus());

        // No owner: centred on the work area, which it fits in; halves
        // truncate.
        RECT work, own;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(d.window, &own);
        int width = own.right - own.left, height = own.bottom - own.top;
        ASSERT_LE(width, work.right - work.left);
        ASSERT_LE(height, work.bottom - work.top);
        EXPECT_EQ((work.left + work.right) / 2 - width / 2, own.left);
        EXPECT_EQ((work.top + work.bottom) / 2 - height / 2, own.top);
        EXPECT_GT(own.left, work.left);  // a real move, not the template's 0, 0
    });
}

// The side of an icon in pixels; 0 for a handle that is no icon (any more).
int IconSide(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

template <typename Function> Function User32Function(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The manifest asks for per-monitor awareness (v2 where Windows has it): the
// system then leaves scaling to the dialog manager instead of stretching the
// window's bitmap. Wine tells the two per-monitor kinds apart in no call, so
// the kind of awareness is what is checked.
TEST_F(MainDialogTest, RunsPerMonitorAwareAsItsManifestAsks)
{
    const auto windowContext =
        User32Function<HANDLE(WINAPI*)(HWND)>("GetWindowDpiAwarenessContext");
    const auto awarenessOf =
        User32Function<int(WINAPI*)(HANDLE)>("GetAwarenessFromDpiAwarenessContext");
    ASSERT_TRUE(windowContext && awarenessOf);
    const int perMonitor = 2;  // DPI_AWARENESS_PER_MONITOR_AWARE
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        EXPECT_EQ(perMonitor, awarenessOf(windowContext(d.window)));
    });
}

// On a move to a screen of another scale the window gets WM_DPICHANGED: both
// window icons are loaded again at that scale's sizes (those of Windows: 32
// and 16 px at 100 %, in proportion above) and the replaced ones destroyed.
TEST_F(MainDialogTest, ReloadsBothWindowIconsOnAChangeOfDpiAndDestroysTheOldOnes)
{
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        const struct {
            UINT dpi;
            int big, small;
        } scales[] = {{120, 40, 20}, {144, 48, 24}, {192, 64, 32}, {96, 32, 16}};
        for (const auto& scale : scales) {
            SCOPED_TRACE(scale.dpi);
            auto icon = [&](WPARAM kind) { return reinterpret_cast<HICON>(d.Send(WM_GETICON, kind)); };
            HICON oldBig = icon(ICON_BIG), oldSmall = icon(ICON_SMALL);
            ASSERT_NE(0, IconSide(oldBig));
            ASSERT_NE(0, IconSide(oldSmall));
            // Somewhere else, as on a move to another screen: the dialog
            // takes it, and leaves the message to the dialog manager.
            RECT suggested;
            GetWindowRect(d.window, &suggested);
            OffsetRect(&suggested, 7, 5);
            suggested.right += scale.dpi / 8;
            LRESULT result = 0;
            EXPECT_FALSE(d.HandleMessage(d.window, WM_DPICHANGED, MAKEWPARAM(scale.dpi, scale.dpi),
                                         reinterpret_cast<LPARAM>(&suggested), result, 0))
                << "answered as handled: Windows' dialog manager would not rescale";
            RECT taken;
            GetWindowRect(d.window, &taken);
            EXPECT_TRUE(EqualRect(&suggested, &taken))
                << "at (" << taken.left << "," << taken.top << ")-(" << taken.right << ","
                << taken.bottom << ")";
            EXPECT_EQ(scale.big, IconSide(icon(ICON_BIG)));
            EXPECT_EQ(scale.small, IconSide(icon(ICON_SMALL)));
            EXPECT_EQ(0, IconSide(oldBig)) << "the replaced large icon was not destroyed";
            EXPECT_EQ(0, IconSide(oldSmall)) << "the replaced small icon was not destroyed";
        }
    });
}

UINT WINAPI At144Dpi(HWND) { return 144; }

// Puts other per-window DPI calls in place for a scope.
class ScopedDpiCalls {
public:
    explicit ScopedDpiCalls(DpiCalls calls) : previous(SetDpiCalls(calls)) {}
    ~ScopedDpiCalls() { SetDpiCalls(previous); }
    ScopedDpiCalls(const ScopedDpiCalls&) = delete;
    ScopedDpiCalls& operator=(const ScopedDpiCalls&) = delete;

private:
    DpiCalls previous;
};

// The icons at start are those of the window's DPI, which on Windows 10 can
// differ from the system's (a second screen); Windows before 10 has neither
// per-window call, and its windows have the system's DPI.
TEST_F(MainDialogTest, WindowIconsAtStartAndOnAChangeFollowTheCallsWindowsHas)
{
    const DpiCalls real = SetDpiCalls({});
    SetDpiCalls(real);
    ASSERT_TRUE(real.dpiForWindow && real.systemMetricsForDpi) << "this Wine lacks them";
    const int systemBig = GetSystemMetrics(SM_CXICON), systemSmall = GetSystemMetrics(SM_CXSMICON);
    struct Case {
        const char* name;
        DpiCalls calls;
        int bigAtStart, smallAtStart;
        int bigAt120, smallAt120;
    };
    const Case cases[] = {
        {"Windows 10, the window on a 150 % screen", {At144Dpi, real.systemMetricsForDpi}, 48,
         24, 40, 20},
        {"Windows 7 to 8.1: no per-window calls", {nullptr, nullptr}, systemBig, systemSmall,
         systemBig, systemSmall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedDpiCalls calls(c.calls);
        RunInsideMainDialog([&](DrivenMainDialog& d) {
            auto side = [&](WPARAM kind) {
                return IconSide(reinterpret_cast<HICON>(d.Send(WM_GETICON, kind)));
            };
            EXPECT_EQ(c.bigAtStart, side(ICON_BIG));
            EXPECT_EQ(c.smallAtStart, side(ICON_SMALL));
            RECT suggested;
            GetWindowRect(d.window, &suggested);
            d.Send(WM_DPICHANGED, MAKEWPARAM(120, 120), reinterpret_cast<LPARAM>(&suggested));
            EXPECT_EQ(c.bigAt120, side(ICON_BIG));
            EXPECT_EQ(c.smallAt120, side(ICON_SMALL));
        });
    }
}

TEST(CentredPosition, CentresThenClampsLeftAndTopFirst)
{
    struct Case {
        const char* name;
        RECT centre;
        RECT area;
        int width, height;
        POINT expected;
    };
    const RECT screen = {0, 0, 1000, 800};
    const Case cases[] = {
        {"fits", screen, screen, 200, 100, {400, 350}},
        {"odd sizes", {0, 0, 101, 51}, screen, 31, 11, {35, 20}},
        {"past left and top", {-300, -200, 100, 100}, screen, 400, 400, {0, 0}},
        {"past right and bottom", {800, 600, 1000, 800}, screen, 400, 400, {600, 400}},
        // Wider or taller than the area: the right (bottom) edge is kept when
        // the centred position is not left of (above) the area...
        {"too big, centred inside", {200, 200, 1000, 600}, {0, 0, 300, 300}, 500, 500,
         {-200, -200}},
        // ... and the left (top) edge when it is.
        {"too big, centred outside", {-400, -400, 200, 200}, {0, 0, 300, 300}, 500, 500,
         {0, 0}},
        // Halves truncate toward zero: (-5 + 0) / 2 is -2, 3 / 2 is 1.
        {"negative halves", {-5, -5, 0, 0}, {-100, -100, 100, 100}, 3, 3, {-3, -3}},
        {"work area not at the origin", {0, 0, 1000, 800}, {100, 50, 1100, 850}, 1000, 100,
         {100, 350}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        POINT at = CentredPosition(c.centre, c.area, c.width, c.height);
        EXPECT_EQ(c.expected.x, at.x);
        EXPECT_EQ(c.expected.y, at.y);
    }
}

TEST_F(MainDialogTest, ButtonsActOnClicksOnlyAndEveryDeviceChangeRefreshes)
{
    struct Case {
        const char* name;
        UINT message;
        WPARAM wParam;
        int enumerations;
    };
    const Case cases[] = {
        {"refresh clicked", WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), 2},
        {"refresh, other code", WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_DOUBLECLICKED), 0},
        {"baseline clicked", WM_COMMAND, MAKEWPARAM(IDC_SET_BASELINE, BN_CLICKED), 3},
        {"baseline, other code", WM_COMMAND, MAKEWPARAM(IDC_SET_BASELINE, BN_SETFOCUS), 0},
        {"lookup, other code", WM_COMMAND, MAKEWPARAM(IDC_GET_HARDWARE_ID, BN_DOUBLECLICKED), 0},
        {"unknown command", WM_COMMAND, MAKEWPARAM(1234, BN_CLICKED), 0},
        {"arrival", WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 2},
        {"removal", WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 2},
        {"node change", WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 2},
        {"query", WM_DEVICECHANGE, DBT_QUERYCHANGECONFIG, 2},
    };
    platform.devices = {kReceiver};
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        OwnedBoxWatcher boxes(d.window, [](HWND box) { EndDialog(box, IDOK); });
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            int opened = platform.CallCount(L"SetupDiGetClassDevsW");
            SetWindowLongPtrW(d.window, DWLP_MSGRESULT, 0xBAD);
            d.Send(c.message, c.wParam);
            EXPECT_EQ(c.enumerations, platform.CallCount(L"SetupDiGetClassDevsW") - opened);
            if (c.enumerations > 0) {
                EXPECT_EQ(0, GetWindowLongPtrW(d.window, DWLP_MSGRESULT));
            }
            EXPECT_TRUE(IsWindow(d.window));
        }
        EXPECT_EQ(0, boxes.boxesSeen);
    });
}

TEST_F(MainDialogTest, EndsWithTheCommandThatClosedIt)
{
    struct Case {
        const char* name;
        std::function<void(DrivenMainDialog&)> close;
        INT_PTR expected;
    };
    const Case cases[] = {
        {"command 1", [](DrivenMainDialog& d) { d.Command(IDOK); }, IDOK},
        {"command 1, any code", [](DrivenMainDialog& d) { d.Command(IDOK, 0x300); }, IDOK},
        {"command 2, any code", [](DrivenMainDialog& d) { d.Command(IDCANCEL, 7); }, IDCANCEL},
        {"exit button",
         [](DrivenMainDialog& d) { SendMessageW(d.Control(IDCANCEL), BM_CLICK, 0, 0); }, IDCANCEL},
        {"close box", [](DrivenMainDialog& d) { d.Send(WM_SYSCOMMAND, SC_CLOSE); }, IDCANCEL},
        {"escape",
         [](DrivenMainDialog&) { PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); },
         IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrivenMainDialog dialog(c.close);
        dialog.endAfterScript = false;
        EXPECT_EQ(c.expected, dialog.Run());
    }
}

LRESULT CALLBACK ShortRead(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                           DWORD_PTR)
{
    LRESULT answer = DefSubclassProc(w, message, wParam, lParam);
    return message == WM_GETTEXTLENGTH ? answer + 3 : answer;  // announces more than it gives
}

TEST_F(MainDialogTest, ReadsTheDriveLetterFieldWhole)
{
    struct Case {
        const wchar_t* text;
        bool shortRead;
        bool ok;
        int beeps;
    };
    const Case cases[] = {
        {L"", false, true, 0},
        {L"E:\\", false, true, 0},
        {L"E drive", false, true, 0},
        {L"E:\\", true, false, 1},
    };
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        HWND field = d.Control(IDC_DRIVE_LETTER);
        ShowWindow(field, SW_SHOW);  // a hidden window takes no focus
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << std::string(c.text, c.text + wcslen(c.text))
                                            << (c.shortRead ? " short" : ""));
            SetWindowTextW(field, c.text);
            if (c.shortRead)
                SetWindowSubclass(field, ShortRead, 1, 0);
            SetFocus(d.Control(IDC_REFRESH));
            d.driveLetterText = L"stale";
            BeepCounter beeps;
            EXPECT_EQ(c.ok, d.ExchangeText(IDC_DRIVE_LETTER, d.driveLetterText,
                                           MainDialog::Exchange::ControlToMember));
            EXPECT_EQ(c.text, std::wstring(d.driveLetterText));
            EXPECT_EQ(c.beeps, beeps.count);
            EXPECT_EQ(c.ok ? d.Control(IDC_REFRESH) : field, GetFocus());
            RemoveWindowSubclass(field, ShortRead, 1);
        }
    });
}

TEST_F(MainDialogTest, HardwareIdCommandShowsTheLookupInAPlainBox)
{
    struct Case {
        const wchar_t* field;
        const wchar_t* shown;
        const wchar_t* firstOpen;  // the volume path the lookup opened first
    };
    const Case cases[] = {
        {L"e:\\", L"USBSTOR\\DISK&VEN_SANDISK", L"\\\\?\\e:"},
        {L"E drive", L"", L"\\\\?\\E:"},  // no such drive scripted upper-case
        {L"", L"", L"\\\\?\\"},
        {L" e", L"", L"\\\\?\\ :"},
    };
    ScriptedDrive& drive = platform.drives[L'e'];
    drive.type = DRIVE_REMOVABLE;
    drive.mediaType = RemovableMedia;
    drive.deviceNumber = 3;
    platform.interfaces[L"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"] = {
        StorageInterface(L"\\\\?\\usbstor#disk&ven_sandisk", 3, {L"usbstor\\disk&ven_sandisk"})};

    RunInsideMainDialog([&](DrivenMainDialog& d) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "field of " << wcslen(c.field) << " chars");
            platform.calls.clear();
            SetDlgItemTextW(d.window, IDC_DRIVE_LETTER, c.field);
            std::wstring text = L"?", caption = L"?";
            HWND owner = nullptr;
            bool hasOk = false, hasCancel = true;
            OwnedBoxWatcher boxes(d.window, [&](HWND box) {
                text = WindowText(GetDlgItem(box, 0xFFFF));
                caption = WindowText(box);
                owner = GetWindow(box, GW_OWNER);
                hasOk = GetDlgItem(box, IDOK) != nullptr;
                HWND cancel = GetDlgItem(box, IDCANCEL);
                hasCancel = cancel != nullptr && IsWindowVisible(cancel);
                SendMessageW(box, WM_COMMAND, IDOK, 0);
            });
            EXPECT_EQ(0, d.Command(IDC_GET_HARDWARE_ID));
            EXPECT_EQ(1, boxes.boxesSeen);
            EXPECT_EQ(c.shown, text);
            EXPECT_EQ(L"", caption);
            EXPECT_EQ(d.window, owner);
            EXPECT_TRUE(hasOk);
            EXPECT_FALSE(hasCancel);
            EXPECT_EQ(std::wstring(c.field), std::wstring(d.driveLetterText));
            std::vector<std::wstring> opens = platform.CallsNamed({L"CreateFileW"});
            ASSERT_FALSE(opens.empty());
            EXPECT_EQ(0u, opens[0].find(std::wstring(L"CreateFileW(") + c.firstOpen + L","))
                << std::string(opens[0].begin(), opens[0].end());
        }
    });
}

// The About box run on its own, with a command sent to it once it is up.
class DrivenAboutDialog : public AboutDialog {
public:
    explicit DrivenAboutDialog(WPARAM command) : command(command) {}
    bool HandleMessage(HWND w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override
    {
        if (message == kRunScript) {
            title = WindowText(window);
            SendMessageW(window, WM_COMMAND, command, 0);
            PostMessageW(window, kRunScript + 1, 0, 0);  // reached only if still open
            return true;
        }
        if (message == kRunScript + 1) {
            EndDialog(window, kSentinel);
            return true;
        }
        bool handled = AboutDialog::HandleMessage(w, message, wParam, lParam, result, mapId);
        if (message == WM_INITDIALOG)
            PostMessageW(window, kRunScript, 0, 0);
        return handled;
    }
    std::wstring title;

private:
    WPARAM command;
};

TEST(AboutDialog, ClosesWithStandardCommandIdsOnly)
{
    struct Case {
        WPARAM command;
        INT_PTR expected;
    };
    const Case cases[] = {
        {IDOK, IDOK},
        {MAKEWPARAM(IDCANCEL, 0x1234), IDCANCEL},
        {IDABORT, IDABORT},
        {IDRETRY, IDRETRY},
        {IDIGNORE, IDIGNORE},
        {IDYES, IDYES},
        {MAKEWPARAM(IDNO, BN_DOUBLECLICKED), IDNO},
        {0, kSentinel},
        {8, kSentinel},
        {ID_SHOW_ABOUT, kSentinel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        DrivenAboutDialog about(c.command);
        EXPECT_EQ(c.expected, RunDialogModal(about, IDD_ABOUT_DIALOG));
        EXPECT_EQ(L"关于", about.title);
    }
}

TEST_F(MainDialogTest, AboutCommandOpensTheBoxOverTheRunningDialog)
{
    ASSERT_TRUE(kOnOwnDesktop);
    platform.devices = {kReceiver};
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        std::wstring title;
        std::wstring changedWhileOpen;
        bool ownerDisabled = false;
        OwnedBoxWatcher boxes(d.window, [&](HWND box) {
            title = WindowText(box);
            ownerDisabled = !IsWindowEnabled(d.window);
            // Broadcasts still reach the main dialog while the box is open.
            platform.devices.push_back(PresentDevice(L"Late", L"USB\\VID_1234&PID_5678"));
            d.Send(WM_DEVICECHANGE, DBT_DEVICEARRIVAL);
            changedWhileOpen = d.Text(IDC_CHANGED_DEVICES);
            SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        });
        EXPECT_EQ(0, d.Command(ID_SHOW_ABOUT, 0x55));  // any notification code
        EXPECT_EQ(1, boxes.boxesSeen);
        EXPECT_EQ(L"关于", title);
        EXPECT_TRUE(ownerDisabled);
        EXPECT_EQ(0u, changedWhileOpen.find(L"Late\r\n"));
        EXPECT_TRUE(IsWindowEnabled(d.window));
    });
}

}  // namespace
