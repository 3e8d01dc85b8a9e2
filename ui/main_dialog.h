// The program's one window: both device lists, the count, the baseline and
// the hidden drive lookup.
#pragma once

#include <windows.h>

#include "app/dialog_host.h"
#include "devices/device_entry.h"
#include "support/cstring.h"

class MainDialog : public DialogBase {
public:
    enum class Exchange { ControlToMember, MemberToControl };

    MainDialog() = default;

    bool HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override;

    // Message and command handlers; each returns the message result.
    LRESULT InitialiseDialog();
    LRESULT CloseDialog(WORD id);
    LRESULT RefreshViews();
    LRESULT SetBaseline();
    LRESULT OnGetHardwareId(WORD code, WORD id, HWND control, bool& handled);
    LRESULT ShowAboutBox();

    // Loads both window icons at the sizes the system gives for `dpi` (0: the
    // system's own) and destroys the ones they replace.
    void SetWindowIcons(UINT dpi);
    void TakeSuggestedPlace(const RECT& place);

    // The list views, each rebuilt whole from a fresh enumeration.
    void ShowAllDevices();
    void ShowChangedDevices();

    // Text between the controls and their members.
    bool ExchangeText(int controlId, CString& member, Exchange direction);
    void ReportExchangeError(int controlId);
    void SetAllDevicesText(const CString& text);
    void SetChangedDevicesText(const CString& text);

    // Puts a rebuilt list into its control, keeping the reader's place: an
    // unchanged text is not written at all; a changed one keeps the device
    // at the top of the view and the selection where they still are.
    void ShowListText(int controlId, CString& member, const CString& text);

    CString changedDevicesText;
    CString allDevicesText;
    CString driveLetterText;
    DeviceList baseline;

private:
    bool OnCommand(WORD id, WORD code, HWND control, LRESULT& result);
};

// Four lines a device (description, VID/PID, hardware ID, separator), each
// ended by CR LF; empty for an empty list. Built in one allocation; false,
// with `text` untouched, when that allocation fails.
bool FormatDeviceBlocks(const DeviceList& devices, CString& text);

// The control's whole text into `text`, quietly: false when it could not be
// read whole (no memory, or the control gave fewer characters than it said).
bool ReadControlText(HWND control, CString& text);

// Centres `window` over `centreOn`, or its parent or owner when that is null,
// kept inside the work area (top-level) or the parent's client area (child).
void CenterOverOwner(HWND window, HWND centreOn);

// Top-left corner for a width x height window centred on `centre`, pushed
// back into `area`: the left (top) edge wins over the right (bottom) one.
POINT CentredPosition(const RECT& centre, const RECT& area, int width, int height);

// The beep of a failed exchange, replaceable so tests can count it. Returns
// the previous one.
using BeepFunction = BOOL(WINAPI*)(UINT);
BeepFunction SetExchangeBeep(BeepFunction beep);

// The per-window DPI calls, looked up in the system at first use;
// replaceable so tests can play a Windows without them or a window on
// another screen. Returns the previous ones.
struct DpiCalls {
    using ForWindow = UINT(WINAPI*)(HWND);
    using MetricForDpi = int(WINAPI*)(int, UINT);
    ForWindow dpiForWindow;
    MetricForDpi systemMetricsForDpi;
};
DpiCalls SetDpiCalls(DpiCalls calls);
