// The floor of the main dialog: its template, and on start, on a device
// change and on Set baseline the same walks and one write of the list, with
// nothing of the program around them. Ends like the program on close.
#include <windows.h>
#include <dbt.h>

#include <string>
#include <vector>

#include "tests/kit/reference_walk.h"
#include "ui/resources/resource.h"

namespace {

// One walk reading both properties of every present device, and the blocks
// of those with a hardware id.
std::wstring WalkDevices()
{
    std::vector<ReferenceDevice> devices;
    ReferenceWalk(&devices);
    std::wstring text;
    for (const ReferenceDevice& device : devices) {
        if (device.hardwareIds.empty())
            continue;
        const std::wstring& id = device.hardwareIds.front();
        text += ExpectedBlock(device.description, ExpectedVidPidLine(id), id);
    }
    return text;
}

void Show(HWND dialog, int walks)
{
    std::wstring text;
    for (int i = 0; i < walks; ++i)
        text = WalkDevices();
    int devices = 0;
    for (size_t at = 0; (at = text.find(L"硬件ID = ", at)) != std::wstring::npos; ++at)
        ++devices;
    SetDlgItemInt(dialog, IDC_DEVICE_COUNT, devices, FALSE);
    SetDlgItemTextW(dialog, IDC_ALL_DEVICES, text.c_str());
}

INT_PTR CALLBACK FloorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        Show(dialog, 2);
        return TRUE;
    case WM_DEVICECHANGE:
        Show(dialog, 2);
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SET_BASELINE)
            Show(dialog, 3);
        else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t*, int)
{
    return int(DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN_DIALOG), nullptr, FloorProc, 0));
}
