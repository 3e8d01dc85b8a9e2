#include "ui/main_dialog.h"

#include "ui/resources/resource.h"

namespace {
BeepFunction exchangeBeep = MessageBeep;
}

BeepFunction SetExchangeBeep(BeepFunction beep)
{
    BeepFunction previous = exchangeBeep;
    exchangeBeep = beep;
    return previous;
}

bool MainDialog::ExchangeText(int controlId, CString& member, Exchange direction)
{
    if (direction == Exchange::MemberToControl) {
        if (SetDlgItemTextW(window, controlId, member))
            return true;
        ReportExchangeError(controlId);
        return false;
    }
    if (ReadControlText(GetDlgItem(window, controlId), member))
        return true;
    ReportExchangeError(controlId);
    return false;
}

bool ReadControlText(HWND control, CString& text)
{
    int length = GetWindowTextLengthW(control);
    int read = -1;
    if (wchar_t* buffer = text.OpenBufferWithLength(length)) {
        read = GetWindowTextW(control, buffer, length + 1);
        text.CloseBuffer();
    }
    return read >= length;
}

void MainDialog::ReportExchangeError(int controlId)
{
    exchangeBeep(static_cast<UINT>(-1));
    SetFocus(GetDlgItem(window, controlId));
}

void MainDialog::SetAllDevicesText(const CString& text)
{
    allDevicesText = text;
    ExchangeText(IDC_ALL_DEVICES, allDevicesText, Exchange::MemberToControl);
}

void MainDialog::SetChangedDevicesText(const CString& text)
{
    changedDevicesText = text;
    ExchangeText(IDC_CHANGED_DEVICES, changedDevicesText, Exchange::MemberToControl);
}
