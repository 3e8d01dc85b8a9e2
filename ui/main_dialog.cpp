#include "ui/main_dialog.h"

#include "app/modules.h"
#include "devices/enumeration.h"
#include "ui/resources/resource.h"

bool MainDialog::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                               DWORD mapId)
{
    if (mapId != 0)
        return false;
    switch (message) {
    case WM_INITDIALOG:
        result = InitialiseDialog();
        return true;
    case WM_DEVICECHANGE:
        result = RefreshViews();
        return true;
    case WM_DPICHANGED:
        // The place Windows suggests for the new scale, as its page asks
        // (Windows 10's dialog manager takes the same; Wine's none), and the
        // icons. Never "handled": the dialog manager then rescales the
        // controls and gives them the new font.
        TakeSuggestedPlace(*reinterpret_cast<const RECT*>(lParam));
        SetWindowIcons(LOWORD(wParam));
        return false;
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam), result);
    default:
        return false;
    }
}

// The buttons act on a click only; the other commands on any code.
bool MainDialog::OnCommand(WORD id, WORD code, HWND control, LRESULT& result)
{
    bool handled = true;
    switch (id) {
    case IDOK:
    case IDCANCEL:
        result = CloseDialog(id);
        return true;
    case ID_SHOW_ABOUT:
        result = ShowAboutBox();
        return true;
    case IDC_REFRESH:
        if (code != BN_CLICKED)
            return false;
        result = RefreshViews();
        return true;
    case IDC_SET_BASELINE:
        if (code != BN_CLICKED)
            return false;
        result = SetBaseline();
        return true;
    case IDC_GET_HARDWARE_ID:
        if (code != BN_CLICKED)
            return false;
        result = OnGetHardwareId(code, id, control, handled);
        return handled;
    default:
        return false;
    }
}

namespace {

// Both calls exist from Windows 10 on only, so they are looked up, not
// imported; without them every window has the system's DPI.
template <typename Function> Function User32Function(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

DpiCalls SystemDpiCalls()
{
    return {User32Function<DpiCalls::ForWindow>("GetDpiForWindow"),
            User32Function<DpiCalls::MetricForDpi>("GetSystemMetricsForDpi")};
}

DpiCalls& CurrentDpiCalls()
{
    static DpiCalls calls = SystemDpiCalls();
    return calls;
}

UINT WindowDpi(HWND window)
{
    const DpiCalls& calls = CurrentDpiCalls();
    return calls.dpiForWindow ? calls.dpiForWindow(window) : 0;
}

int MetricAtDpi(int metric, UINT dpi)
{
    const DpiCalls& calls = CurrentDpiCalls();
    return calls.systemMetricsForDpi && dpi ? calls.systemMetricsForDpi(metric, dpi)
                                            : GetSystemMetrics(metric);
}

HICON LoadAppIcon(int widthMetric, int heightMetric, UINT dpi)
{
    return static_cast<HICON>(LoadImageW(ProcessBaseModule().resourceInstance,
                                         MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                                         MetricAtDpi(widthMetric, dpi),
                                         MetricAtDpi(heightMetric, dpi), LR_DEFAULTCOLOR));
}

}  // namespace

void MainDialog::TakeSuggestedPlace(const RECT& place)
{
    SetWindowPos(window, nullptr, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

DpiCalls SetDpiCalls(DpiCalls calls)
{
    DpiCalls previous = CurrentDpiCalls();
    CurrentDpiCalls() = calls;
    return previous;
}

void MainDialog::SetWindowIcons(UINT dpi)
{
    const struct {
        WPARAM kind;
        int widthMetric, heightMetric;
    } icons[] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
    for (const auto& icon : icons) {
        HICON loaded = LoadAppIcon(icon.widthMetric, icon.heightMetric, dpi);
        // The window holds no icon but the ones loaded here, so the one it
        // gives back is this dialog's to destroy.
        auto previous = reinterpret_cast<HICON>(
            SendMessageW(window, WM_SETICON, icon.kind, reinterpret_cast<LPARAM>(loaded)));
        if (previous != nullptr && previous != loaded)
            DestroyIcon(previous);
    }
}

LRESULT MainDialog::InitialiseDialog()
{
    CenterOverOwner(window, nullptr);
    SetWindowIcons(WindowDpi(window));
    ShowAllDevices();
    EnumerateDevices(baseline);  // a partial baseline is kept as it is
    for (int id : {IDC_DRIVE_LABEL, IDC_DRIVE_LETTER, IDC_GET_HARDWARE_ID})
        ShowWindow(GetDlgItem(window, id), SW_HIDE);
    return TRUE;  // focus to the first tab stop
}

LRESULT MainDialog::CloseDialog(WORD id)
{
    EndDialog(window, id);
    return 0;
}

POINT CentredPosition(const RECT& centre, const RECT& area, int width, int height)
{
    POINT at;
    at.x = (centre.left + centre.right) / 2 - width / 2;
    at.y = (centre.top + centre.bottom) / 2 - height / 2;
    if (at.x < area.left)
        at.x = area.left;
    else if (at.x + width > area.right)
        at.x = area.right - width;
    if (at.y < area.top)
        at.y = area.top;
    else if (at.y + height > area.bottom)
        at.y = area.bottom - height;
    return at;
}

void CenterOverOwner(HWND window, HWND centreOn)
{
    LONG style = GetWindowLongW(window, GWL_STYLE);
    bool child = (style & WS_CHILD) != 0;
    if (centreOn == nullptr)
        centreOn = child ? GetParent(window) : GetWindow(window, GW_OWNER);

    RECT own;
    GetWindowRect(window, &own);
    RECT area;
    RECT centre;
    if (!child) {
        if (centreOn != nullptr) {
            LONG centreStyle = GetWindowLongW(centreOn, GWL_STYLE);
            if (!(centreStyle & WS_VISIBLE) || (centreStyle & WS_MINIMIZE))
                centreOn = nullptr;
        }
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        if (centreOn != nullptr)
            GetWindowRect(centreOn, &centre);
        else
            centre = area;
    } else {
        HWND parent = GetParent(window);
        GetClientRect(parent, &area);
        GetClientRect(centreOn, &centre);
        MapWindowPoints(centreOn, parent, reinterpret_cast<POINT*>(&centre), 2);
    }
    POINT at = CentredPosition(centre, area, own.right - own.left, own.bottom - own.top);
    SetWindowPos(window, nullptr, at.x, at.y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
