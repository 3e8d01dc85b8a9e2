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

HICON LoadAppIcon(int widthMetric, int heightMetric)
{
    return static_cast<HICON>(LoadImageW(ProcessBaseModule().resourceInstance,
                                         MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

}  // namespace

LRESULT MainDialog::InitialiseDialog()
{
    CenterOverOwner(window, nullptr);
    SendMessageW(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadAppIcon(SM_CXICON, SM_CYICON)));
    SendMessageW(window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadAppIcon(SM_CXSMICON, SM_CYSMICON)));
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
