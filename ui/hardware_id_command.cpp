// The drive lookup command: its controls are hidden, but the command stays
// wired and answers whoever sends it.
#include "drives/lookup.h"
#include "ui/main_dialog.h"
#include "ui/resources/resource.h"

LRESULT MainDialog::OnGetHardwareId(WORD, WORD, HWND, bool&)
{
    ExchangeText(IDC_DRIVE_LETTER, driveLetterText, Exchange::ControlToMember);
    wchar_t letter = driveLetterText.Text()[0];
    CString hardwareId;
    LookupDriveHardwareId(letter, hardwareId);  // an empty text tells the failure
    MessageBoxW(window, hardwareId, L"", MB_OK);
    return 0;
}
