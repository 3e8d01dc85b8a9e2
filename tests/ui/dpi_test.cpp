// The dialogs at the scales people run Windows at: 100, 125, 150 and 200 %
// (96, 120, 144 and 192 DPI). Wine reads the system DPI from the prefix's
// registry when a process starts, and a running server hands a changed value
// to the next process, so the test sets each scale, checks it in a child copy
// of this program and puts the prefix's own value back.
//
// `ui_dpi_tests --restore-dpi` only puts the saved value back: CTest runs it
// after the test, so that even a killed run leaves the prefix as it was.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bounds.h"
#include "driver.h"
#include "spawn.h"
#include "system_owned.h"
#include "tests/kit/child_process.h"
#include "tests/kit/dialog_fixture.h"
#include "tests/kit/scripted_platform.h"
#include "ui/about_dialog.h"

namespace {

const int kScales[] = {96, 120, 144, 192};
const wchar_t kScaleVariable[] = L"OSTRIVO_DPI_CHILD";

// ---- The prefix's DPI ------------------------------------------------------

// Where Wine keeps the system DPI. Either one alone is read; both are set, as
// a person's change of scale sets both.
struct DpiValue {
    HKEY root;
    const wchar_t* path;
    const wchar_t* savedAs;
};
const DpiValue kDpiValues[] = {
    {HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"desktop"},
    {HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts",
     L"fonts"},
};
const wchar_t kLogPixels[] = L"LogPixels";
// The prefix's own values while a test has changed them; a value missing
// here was missing there. Its presence means "not yet restored".
const wchar_t kSavedKey[] = L"Software\\Ostrivo tests\\Saved DPI";
const wchar_t kSavedParent[] = L"Software\\Ostrivo tests";

bool ReadDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD* value)
{
    DWORD size = sizeof *value;
    return RegGetValueW(root, path, name, RRF_RT_REG_DWORD, nullptr, value, &size) ==
           ERROR_SUCCESS;
}

// The key `path` under `root`, made if missing; empty when it cannot be.
RegistryKey CreateKey(HKEY root, const wchar_t* path, REGSAM access)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return RegistryKey();
    return RegistryKey(key);
}

bool WriteDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value)
{
    RegistryKey key = CreateKey(root, path, KEY_SET_VALUE);
    return key && RegSetValueExW(key.Get(), name, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value),
                                 sizeof value) == ERROR_SUCCESS;
}

bool DeleteValue(HKEY root, const wchar_t* path, const wchar_t* name)
{
    LSTATUS status = RegDeleteKeyValueW(root, path, name);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool SavedValuesExist()
{
    HKEY key = nullptr;
    return RegOpenKeyExW(HKEY_CURRENT_USER, kSavedKey, 0, KEY_READ, &key) == ERROR_SUCCESS &&
           RegistryKey(key);
}

// Saved values already there are those of the prefix before a run that did
// not restore them; they are kept, not replaced with that run's scale.
bool SaveDpi()
{
    if (SavedValuesExist())
        return true;
    if (!CreateKey(HKEY_CURRENT_USER, kSavedKey, KEY_SET_VALUE))
        return false;
    for (const DpiValue& v : kDpiValues) {
        DWORD dpi;
        if (ReadDword(v.root, v.path, kLogPixels, &dpi) &&
            !WriteDword(HKEY_CURRENT_USER, kSavedKey, v.savedAs, dpi))
            return false;
    }
    return true;
}

bool RestoreDpi()
{
    if (!SavedValuesExist())
        return true;
    bool ok = true;
    for (const DpiValue& v : kDpiValues) {
        DWORD dpi;
        if (ReadDword(HKEY_CURRENT_USER, kSavedKey, v.savedAs, &dpi))
            ok = WriteDword(v.root, v.path, kLogPixels, dpi) && ok;
        else
            ok = DeleteValue(v.root, v.path, kLogPixels) && ok;
    }
    if (ok) {
        ok = RegDeleteKeyW(HKEY_CURRENT_USER, kSavedKey) == ERROR_SUCCESS;
        RegDeleteKeyW(HKEY_CURRENT_USER, kSavedParent);  // fails while others live there
    }
    return ok;
}

bool SetDpi(DWORD dpi)
{
    bool ok = true;
    for (const DpiValue& v : kDpiValues)
        ok = WriteDword(v.root, v.path, kLogPixels, dpi) && ok;
    return ok;
}

// Changes the prefix's DPI for a scope and restores it however the scope
// ends.
class ScopedSystemDpi {
public:
    ScopedSystemDpi() : saved(SaveDpi()) {}
    ~ScopedSystemDpi() { EXPECT_TRUE(RestoreDpi()) << "the prefix's DPI was not restored"; }
    ScopedSystemDpi(const ScopedSystemDpi&) = delete;
    ScopedSystemDpi& operator=(const ScopedSystemDpi&) = delete;

    bool Set(int dpi) { return saved && SetDpi(static_cast<DWORD>(dpi)); }

private:
    bool saved;
};

// ---- The child at one scale -------------------------------------------------

int ScaleOfThisProcess()
{
    wchar_t value[16] = L"";
    DWORD n = GetEnvironmentVariableW(kScaleVariable, value, 16);
    return n > 0 && n < 16 ? _wtoi(value) : 0;
}

// Runs the checks of one scale in a fresh copy of this program, its output
// in this one's; its exit code, kChildNotStarted, or kChildTimedOut when it
// had to be ended.
DWORD RunAtScale(int dpi)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=AtOneScale.*";
    SetEnvironmentVariableW(kScaleVariable, std::to_wstring(dpi).c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    fflush(stdout);
    PROCESS_INFORMATION process = {};
    bool started = spawn::StartProcess(nullptr, &command[0], true, 0, &startup, &process);
    SetEnvironmentVariableW(kScaleVariable, nullptr);
    if (!started)
        return kChildNotStarted;
    return WaitForChild(process, "the child at " + std::to_string(dpi) + " DPI");
}

TEST(SystemDpi, DialogsFitAtEveryScale)
{
    // A run that was killed before it restored left its saved values.
    ASSERT_TRUE(RestoreDpi());
    ScopedSystemDpi dpi;
    for (int scale : kScales) {
        SCOPED_TRACE(testing::Message() << scale << " DPI");
        ASSERT_TRUE(dpi.Set(scale));
        EXPECT_EQ(0u, RunAtScale(scale));
    }
}

// ---- What the child checks ---------------------------------------------------

// Each scale gets a screen of 1024x768 at 100 %, grown with the scale
// (2048x1536 at 200 %): scales above 100 % are for screens with more
// pixels. The harness's display has 1024x768 at every scale and Wine shrinks
// a window larger than the screen, so the child runs on a desktop of its own
// of that size (Wine's virtual desktops take theirs from the registry).
const wchar_t kDesktopSizes[] = L"Software\\Wine\\Explorer\\Desktops";
int ScreenWidth(int dpi) { return MulDiv(1024, dpi, 96); }
int ScreenHeight(int dpi) { return MulDiv(768, dpi, 96); }

class ScaledScreen {
public:
    bool Enter(int dpi, std::string* why)
    {
        std::wstring name = L"ostrivo-dpi-" + std::to_wstring(GetCurrentProcessId());
        std::wstring size =
            std::to_wstring(ScreenWidth(dpi)) + L"x" + std::to_wstring(ScreenHeight(dpi));
        if (RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopSizes, name.c_str(), REG_SZ, size.c_str(),
                            DWORD((size.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
            *why = "its size could not be written";
            return false;
        }
        sized = name;
        desktop = DesktopHandle(CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr));
        if (!desktop || !SetThreadDesktop(desktop.Get())) {
            *why = "no desktop was made or entered";
            return false;
        }
        return driver::StartDesktopShell(why);
    }
    ~ScaledScreen()
    {
        if (!sized.empty())
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopSizes, sized.c_str());
    }

private:
    std::wstring sized;
    DesktopHandle desktop;  // the thread's for the rest of the run
};

std::string Narrow(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

std::string ClassOf(HWND w)
{
    wchar_t name[32] = L"";
    GetClassNameW(w, name, 32);
    return Narrow(name);
}

std::string Describe(HWND control)
{
    std::wstring text;
    for (wchar_t c : WindowText(control))
        text += c == L'\n' ? std::wstring(L"\\n") : std::wstring(1, c);
    return ClassOf(control) + " " + std::to_string(GetDlgCtrlID(control)) +
           (text.empty() ? std::string() : " \"" + Narrow(text) + "\"");
}

std::vector<HWND> Children(HWND dialog)
{
    std::vector<HWND> children;
    for (HWND w = GetWindow(dialog, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        children.push_back(w);
    return children;
}

// Every control, shown or hidden, lies inside the dialog's client area.
void ExpectControlsInside(HWND dialog)
{
    RECT client;
    GetClientRect(dialog, &client);
    for (HWND control : Children(dialog)) {
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                    r.bottom <= client.bottom)
            << Describe(control) << " at (" << r.left << "," << r.top << ")-(" << r.right << ","
            << r.bottom << ") outside the client area " << client.right << "x" << client.bottom;
    }
}

// The room a control draws its text in and the flags it draws it with, as
// the controls themselves do: a push button inside the 2-pixel frame it
// draws and its text margins, a static text in its whole client area. False
// for controls whose text is not drawn that way (edits, icons, frames).
bool TextRoom(HWND control, RECT* room, UINT* flags)
{
    LONG style = GetWindowLongW(control, GWL_STYLE);
    GetClientRect(control, room);
    std::string cls = ClassOf(control);
    if (_stricmp(cls.c_str(), "Button") == 0) {
        LONG type = style & BS_TYPEMASK;
        if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON)
            return false;
        InflateRect(room, -2, -2);
        RECT margin = {};
        if (SendMessageW(control, BCM_GETTEXTMARGIN, 0, reinterpret_cast<LPARAM>(&margin))) {
            room->left += margin.left;
            room->top += margin.top;
            room->right -= margin.right;
            room->bottom -= margin.bottom;
        }
        *flags = DT_CENTER | ((style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE);
        return true;
    }
    if (_stricmp(cls.c_str(), "Static") == 0) {
        LONG type = style & SS_TYPEMASK;
        if (type == SS_LEFTNOWORDWRAP)
            *flags = DT_SINGLELINE;
        else if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT)
            *flags = DT_WORDBREAK;
        else
            return false;
        *flags |= DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
        return true;
    }
    return false;
}

// Every text a control draws fits its room whole, measured in the control's
// own font; prints what each needs against what it has.
void ExpectTextsWhole(HWND dialog, int dpi)
{
    for (HWND control : Children(dialog)) {
        std::wstring text = WindowText(control);
        RECT room;
        UINT flags;
        if (text.empty() || !TextRoom(control, &room, &flags))
            continue;
        int width = room.right - room.left, height = room.bottom - room.top;
        HDC dc = GetDC(control);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        HGDIOBJ old = SelectObject(dc, font);
        RECT need = {0, 0, width, 0};
        int drawn = DrawTextW(dc, text.c_str(), -1, &need, flags | DT_CALCRECT);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        std::printf("%d DPI: %s needs %ldx%ld of %dx%d\n", dpi, Describe(control).c_str(),
                    need.right - need.left, need.bottom - need.top, width, height);
        EXPECT_NE(0, drawn) << Describe(control);
        EXPECT_TRUE(need.right - need.left <= width && need.bottom - need.top <= height)
            << Describe(control) << " cut short: its text needs " << need.right - need.left
            << "x" << need.bottom - need.top << " pixels, it has " << width << "x" << height;
    }
}

SIZE IconSize(HICON icon)
{
    SIZE size = {0, 0};
    ICONINFO info;
    if (icon == nullptr || !GetIconInfo(icon, &info))
        return size;
    BITMAP bits;
    if (info.hbmColor != nullptr && GetObjectW(info.hbmColor, sizeof bits, &bits)) {
        size = {bits.bmWidth, bits.bmHeight};
    } else if (GetObjectW(info.hbmMask, sizeof bits, &bits)) {
        size = {bits.bmWidth, bits.bmHeight / 2};  // the mask above the image
    }
    if (info.hbmColor != nullptr)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return size;
}

// The sizes of the images in the program's icon group (0 in a group entry
// means 256).
std::vector<SIZE> IconGroupSizes()
{
    std::vector<SIZE> sizes;
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(IDI_APP_ICON), RT_GROUP_ICON);
    const BYTE* group = found ? static_cast<const BYTE*>(LockResource(LoadResource(self, found)))
                              : nullptr;
    if (group == nullptr)
        return sizes;
    WORD count;
    std::memcpy(&count, group + 4, sizeof count);
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = group + 6 + 14 * i;
        sizes.push_back({entry[0] ? entry[0] : 256, entry[1] ? entry[1] : 256});
    }
    return sizes;
}

// The checks below run only in the child, which the main function lets
// through.
class AtOneScale : public ScriptedDialogTest {
protected:
    int dpi = ScaleOfThisProcess();
    int Scaled(int atHundredPercent) const { return MulDiv(atHundredPercent, dpi, 96); }
};

TEST_F(AtOneScale, SystemRunsAtTheScaleSet)
{
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(dpi, GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(ScreenWidth(dpi), GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(ScreenHeight(dpi), GetSystemMetrics(SM_CYSCREEN));
    // Windows' icon sizes at each scale: 32 and 16 grow with it.
    EXPECT_EQ(Scaled(32), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(Scaled(32), GetSystemMetrics(SM_CYICON));
    EXPECT_EQ(Scaled(16), GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(Scaled(16), GetSystemMetrics(SM_CYSMICON));
}

TEST_F(AtOneScale, MainDialogHoldsEveryControlAndTextWhole)
{
    // A count as large as a well-equipped machine shows.
    for (int i = 0; i < 1000; ++i)
        platform.devices.push_back(
            PresentDevice(L"Device " + std::to_wstring(i),
                          L"USB\\VID_1234&PID_" + std::to_wstring(1000 + i)));
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        ASSERT_EQ(L"1000", d.Text(IDC_DEVICE_COUNT));
        RECT client;
        GetClientRect(d.window, &client);
        std::printf("%d DPI: main dialog client area %ldx%ld\n", dpi, client.right, client.bottom);
        ExpectControlsInside(d.window);
        ExpectTextsWhole(d.window, dpi);
    });
}

TEST_F(AtOneScale, WindowIconsAtTheSizesAsked)
{
    struct Case {
        WPARAM which;
        int widthMetric, heightMetric;
    };
    const Case cases[] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
    const std::vector<SIZE> group = IconGroupSizes();
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.which == ICON_BIG ? "big icon" : "small icon");
            int width = GetSystemMetrics(c.widthMetric), height = GetSystemMetrics(c.heightMetric);
            SIZE held = IconSize(reinterpret_cast<HICON>(d.Send(WM_GETICON, c.which)));
            std::printf("%d DPI: %s icon %ldx%ld, asked %dx%d\n", dpi,
                        c.which == ICON_BIG ? "big" : "small", held.cx, held.cy, width, height);
            EXPECT_EQ(width, held.cx);
            EXPECT_EQ(height, held.cy);
            // Windows scales another image where the group has none of that
            // size, and the scaled one looks blurred.
            bool drawn = false;
            for (SIZE s : group)
                drawn = drawn || (s.cx == width && s.cy == height);
            EXPECT_TRUE(drawn) << "the icon group has no " << width << "x" << height << " image";
        }
    });
}

// The About box, stopped once it is initialised.
class MeasuredAboutDialog : public AboutDialog {
public:
    explicit MeasuredAboutDialog(std::function<void(HWND)> check) : check(std::move(check)) {}
    bool HandleMessage(HWND w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override
    {
        if (message == kRunScript) {
            check(window);
            EndDialog(window, kSentinel);
            return true;
        }
        bool handled = AboutDialog::HandleMessage(w, message, wParam, lParam, result, mapId);
        if (message == WM_INITDIALOG)
            PostMessageW(window, kRunScript, 0, 0);
        return handled;
    }

private:
    std::function<void(HWND)> check;
};

TEST_F(AtOneScale, AboutBoxHoldsItsTextAndButtonWhole)
{
    bool checked = false;
    MeasuredAboutDialog about([&](HWND box) {
        checked = true;
        ExpectControlsInside(box);
        ExpectTextsWhole(box, dpi);
    });
    EXPECT_EQ(kSentinel, RunDialogModal(about, IDD_ABOUT_DIALOG));
    EXPECT_TRUE(checked);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--restore-dpi") == 0) {
        bool ok = RestoreDpi();
        std::printf("%s\n", ok ? "the prefix's DPI is its own"
                               : "the prefix's DPI was not restored");
        return ok ? 0 : 1;
    }
    testing::InitGoogleTest(&argc, argv);
    int dpi = ScaleOfThisProcess();
    if (dpi == 0) {
        if (GTEST_FLAG_GET(filter) == "*")
            GTEST_FLAG_SET(filter, "-AtOneScale.*");
        return RUN_ALL_TESTS();
    }
    ScaledScreen screen;
    std::string why;
    if (!screen.Enter(dpi, &why)) {
        std::printf("no screen for %d DPI: %s\n", dpi, why.c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}
