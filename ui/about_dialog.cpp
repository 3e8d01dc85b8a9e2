#include "ui/about_dialog.h"

#include "ui/main_dialog.h"
#include "ui/resources/resource.h"

bool AboutDialog::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result,
                                DWORD mapId)
{
    if (mapId != 0)
        return false;
    if (message == WM_INITDIALOG) {
        result = TRUE;
        return true;
    }
    WORD id = LOWORD(wParam);
    if (message == WM_COMMAND && id >= IDOK && id <= IDNO) {
        EndDialog(window, id);
        result = 0;
        return true;
    }
    return false;
}

LRESULT MainDialog::ShowAboutBox()
{
    AboutDialog about;
    RunDialogModal(about, IDD_ABOUT_DIALOG);  // a box that cannot be shown is no error
    return 0;
}
