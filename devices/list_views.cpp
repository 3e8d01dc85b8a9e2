// The two device lists of the main dialog and the count beside the upper one.
#include <cstring>
#include <cwchar>

#include "devices/baseline.h"
#include "devices/enumeration.h"
#include "devices/view_place.h"
#include "ui/main_dialog.h"
#include "ui/resources/resource.h"

namespace {

const wchar_t kHardwareIdLabel[] = L"硬件ID = ";
const int kLineEndLength = 2;

int Chars(const wchar_t* text) { return static_cast<int>(std::wcslen(text)); }

wchar_t* PutLine(wchar_t* at, const wchar_t* first, int firstLength, const wchar_t* second = L"",
                 int secondLength = 0)
{
    std::memcpy(at, first, firstLength * sizeof(wchar_t));
    at += firstLength;
    std::memcpy(at, second, secondLength * sizeof(wchar_t));
    at += secondLength;
    *at++ = L'\r';
    *at++ = L'\n';
    return at;
}

}  // namespace

// The whole view is written in one exchange: appending line by line rewrites
// the control's text each time, which takes minutes for a thousand devices.
// Every line's length is known before anything is written, so the text fills
// its block exactly.
bool FormatDeviceBlocks(const DeviceList& devices, CString& text)
{
    const int labelLength = Chars(kHardwareIdLabel);
    const int separatorLength = Chars(kDeviceSeparatorLine);
    const int fixedLength = kVidPidLineLength + labelLength + separatorLength + 4 * kLineEndLength;
    long long total = 0;
    for (unsigned i = 0; i < devices.Size(); ++i) {
        const DeviceEntry& entry = devices.At(i);
        total += entry.description.Length() + entry.hardwareId.Length() + fixedLength;
    }

    CString result;
    if (total > 0x3FFFFFFF)
        return false;  // beyond any block a string can hold
    if (total > 0) {
        wchar_t* at = result.OpenBufferWithLength(static_cast<int>(total));
        if (at == nullptr)
            return false;
        for (unsigned i = 0; i < devices.Size(); ++i) {
            const DeviceEntry& entry = devices.At(i);
            wchar_t vidPid[kVidPidLineLength + 1];
            WriteVidPidLine(entry, vidPid);
            at = PutLine(at, entry.description, entry.description.Length());
            at = PutLine(at, vidPid, kVidPidLineLength);
            at = PutLine(at, kHardwareIdLabel, labelLength, entry.hardwareId,
                         entry.hardwareId.Length());
            at = PutLine(at, kDeviceSeparatorLine, separatorLength);
        }
        *at = 0;
        result.CloseBuffer();
    }
    text = result;
    return true;
}

namespace {

// What the text's place leaves out and only the control knows: which end of
// the selection the caret is at (Shift+arrow moves that end), and how far
// the list is scrolled sideways along its long lines.
struct ListPlace {
    ViewPlace text;
    bool caretAtStart;
    int sidewaysPixels;
};

int CharacterX(HWND list, DWORD at)
{
    return static_cast<short>(LOWORD(SendMessageW(list, EM_POSFROMCHAR, at, 0)));
}

// No message tells which end is the caret, but a selection given up leaves
// the caret where it was. Only for a place about to be written again.
bool CaretAtStart(HWND list, DWORD start, DWORD end)
{
    if (start == end)
        return false;
    SendMessageW(list, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    DWORD caret = 0;
    SendMessageW(list, EM_GETSEL, reinterpret_cast<WPARAM>(&caret), 0);
    return caret == start;
}

// Character 0 starts a line, so its left edge against the text's left edge
// is the sideways scroll, whichever line is at the top.
int SidewaysPixels(HWND list)
{
    if (GetWindowTextLengthW(list) == 0)
        return 0;
    RECT room = {};
    SendMessageW(list, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
    return room.left - CharacterX(list, 0);
}

// The scroll is read before the caret's end: a selection set may scroll its
// caret into view.
ListPlace ReadPlace(HWND list)
{
    DWORD start = 0, end = 0;
    SendMessageW(list, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    ListPlace place;
    place.text.firstLine = static_cast<int>(SendMessageW(list, EM_GETFIRSTVISIBLELINE, 0, 0));
    place.text.selectionStart = static_cast<int>(start);
    place.text.selectionEnd = static_cast<int>(end);
    place.sidewaysPixels = SidewaysPixels(list);
    place.caretAtStart = CaretAtStart(list, start, end);
    return place;
}

// The control scrolls sideways in steps of its own character width, at
// least a pixel each: from column 0, one step measures it.
void ScrollSideways(HWND list, int pixels)
{
    int from = SidewaysPixels(list);
    if (from == pixels)
        return;
    if (from > 0)
        SendMessageW(list, EM_LINESCROLL, -from, 0);
    if (pixels <= 0)
        return;
    SendMessageW(list, EM_LINESCROLL, 1, 0);
    int step = SidewaysPixels(list);
    if (step > 0)
        SendMessageW(list, EM_LINESCROLL, (pixels + step / 2) / step - 1, 0);
}

void RestorePlace(HWND list, const ListPlace& place)
{
    const ViewPlace& text = place.text;
    if (place.caretAtStart)
        SendMessageW(list, EM_SETSEL, text.selectionEnd, text.selectionStart);
    else
        SendMessageW(list, EM_SETSEL, text.selectionStart, text.selectionEnd);
    int now = static_cast<int>(SendMessageW(list, EM_GETFIRSTVISIBLELINE, 0, 0));
    SendMessageW(list, EM_LINESCROLL, 0, text.firstLine - now);
    ScrollSideways(list, place.sidewaysPixels);
}

// Without the text it replaced, the view can only keep its line numbers.
ViewPlace ClampPlace(const ViewPlace& place, const CString& text)
{
    return KeepPlace({L"", 0}, {text, text.Length()}, place);
}

}  // namespace

// A broadcast comes for many changes a person never sees, so a refresh that
// changes nothing must not move the view, and one that does keeps what the
// reader was looking at.
void MainDialog::ShowListText(int controlId, CString& member, const CString& text)
{
    HWND list = GetDlgItem(window, controlId);
    CString shown;
    bool known = ReadControlText(list, shown);
    if (known && shown.Equals(text)) {
        member = text;  // the mirror holds what the control shows
        return;
    }
    // One repaint for the new text and its place, not one for each step.
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ListPlace place = ReadPlace(list);
    member = text;
    if (ExchangeText(controlId, member, Exchange::MemberToControl))
        place.text = known ? KeepPlace({shown, shown.Length()}, {text, text.Length()}, place.text)
                           : ClampPlace(place.text, text);
    RestorePlace(list, place);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    // The frame too: with redraw off, the scroll bar drawn there kept the
    // thumb of the old text.
    RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void MainDialog::ShowAllDevices()
{
    DeviceList devices;
    EnumerateDevices(devices);  // a partial list is shown and counted
    // A number needs no memory of its own: the count is never left blank.
    wchar_t count[16];
    wsprintfW(count, L"%d", static_cast<int>(devices.Size()));
    HWND label = GetDlgItem(window, IDC_DEVICE_COUNT);
    wchar_t shown[16];
    if (GetWindowTextW(label, shown, 16) == 0 || std::wcscmp(shown, count) != 0)
        SetWindowTextW(label, count);
    CString text;
    if (!FormatDeviceBlocks(devices, text)) {
        ReportExchangeError(IDC_ALL_DEVICES);  // the view keeps what it showed
        return;
    }
    ShowListText(IDC_ALL_DEVICES, allDevicesText, text);
}

void MainDialog::ShowChangedDevices()
{
    DeviceList changes;
    if (!CompareWithBaseline(baseline, changes))
        return;  // the view keeps what it showed
    CString text;
    if (!FormatDeviceBlocks(changes, text)) {
        ReportExchangeError(IDC_CHANGED_DEVICES);
        return;
    }
    ShowListText(IDC_CHANGED_DEVICES, changedDevicesText, text);
}

LRESULT MainDialog::RefreshViews()
{
    ShowAllDevices();
    ShowChangedDevices();
    return 0;
}

LRESULT MainDialog::SetBaseline()
{
    EnumerateDevices(baseline);  // a partial baseline is kept as it is
    ShowAllDevices();
    ShowChangedDevices();
    return 0;
}
