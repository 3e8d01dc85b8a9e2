// The two device lists of the main dialog and the count beside the upper one.
#include <cstring>
#include <cwchar>

#include "devices/baseline.h"
#include "devices/enumeration.h"
#include "support/failure.h"
#include "ui/main_dialog.h"
#include "ui/resources/resource.h"

namespace {

const wchar_t kHardwareIdLabel[] = L"硬件ID = ";
const wchar_t kSeparator[] = L"-----------------------------------------------";
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
CString FormatDeviceBlocks(const DeviceList& devices)
{
    const int labelLength = Chars(kHardwareIdLabel);
    const int separatorLength = Chars(kSeparator);
    int total = 0;
    for (unsigned i = 0; i < devices.Size(); ++i) {
        const DeviceEntry& entry = devices.At(i);
        total += entry.description.Length() + FormatVidPidLine(entry).Length() + labelLength +
                 entry.hardwareId.Length() + separatorLength + 4 * kLineEndLength;
    }

    CString text;
    if (total == 0)
        return text;
    wchar_t* at = text.OpenBufferWithLength(total);
    if (at == nullptr)
        RaiseFailure(E_OUTOFMEMORY);
    for (unsigned i = 0; i < devices.Size(); ++i) {
        const DeviceEntry& entry = devices.At(i);
        CString vidPid = FormatVidPidLine(entry);
        at = PutLine(at, entry.description, entry.description.Length());
        at = PutLine(at, vidPid, vidPid.Length());
        at = PutLine(at, kHardwareIdLabel, labelLength, entry.hardwareId, entry.hardwareId.Length());
        at = PutLine(at, kSeparator, separatorLength);
    }
    *at = 0;
    text.CloseBuffer();
    return text;
}

void MainDialog::ShowAllDevices()
{
    DeviceList devices;
    EnumerateDevices(devices);  // a partial list is shown and counted
    CString count;
    count.FormatText(L"%d", static_cast<int>(devices.Size()));
    SetWindowTextW(GetDlgItem(window, IDC_DEVICE_COUNT), count);
    SetAllDevicesText(FormatDeviceBlocks(devices));
}

void MainDialog::ShowChangedDevices()
{
    DeviceList changes;
    if (!CompareWithBaseline(baseline, changes))
        return;  // the view keeps what it showed
    SetChangedDevicesText(FormatDeviceBlocks(changes));
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
