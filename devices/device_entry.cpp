#include "devices/device_entry.h"

#include <cwchar>

#include "support/system_crt.h"

VidPid ParseVidPid(const CString& hardwareId)
{
    VidPid ids;
    if (hardwareId.IndexOf(L"USB\\VID") != 0)
        return ids;
    // swscanf's %x reads into an unsigned int; numbers it does not reach stay 0.
    unsigned vendor = 0;
    unsigned product = 0;
    SystemSwscanf(hardwareId.Text(), L"USB\\VID_%x&PID_%x\\220392143783184D", &vendor, &product);
    ids.vendorId = static_cast<uint16_t>(vendor);
    ids.productId = static_cast<uint16_t>(product);
    return ids;
}

// The number is widened with its sign before formatting, so 0x8000 and above
// render as eight digits; the last four are the value's own.
static CString FourHexDigits(uint16_t value)
{
    CString digits;
    digits.FormatText(L"%0.4x", static_cast<int>(static_cast<int16_t>(value)));
    return digits.TakeRight(4);
}

CString FormatVidPidLine(const DeviceEntry& entry)
{
    CString vendor = FourHexDigits(entry.vendorId);
    CString product = FourHexDigits(entry.productId);
    CString line;
    line.FormatText(L"VID = %s ,PID = %s", vendor.Text(), product.Text());
    line.ToUpperInPlace();
    return line;
}
