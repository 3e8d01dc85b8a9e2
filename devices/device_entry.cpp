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

namespace {

// The value's own four digits, upper case: what "%0.4x" gives for the value
// widened with its sign, cut to its last four characters and upper-cased.
wchar_t* PutFourHexDigits(wchar_t* at, uint16_t value)
{
    const wchar_t digits[] = L"0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4)
        *at++ = digits[(value >> shift) & 0xF];
    return at;
}

wchar_t* PutText(wchar_t* at, const wchar_t* text)
{
    while (*text != 0)
        *at++ = *text++;
    return at;
}

}  // namespace

void WriteVidPidLine(const DeviceEntry& entry, wchar_t (&line)[kVidPidLineLength + 1])
{
    wchar_t* at = PutText(line, L"VID = ");
    at = PutFourHexDigits(at, entry.vendorId);
    at = PutText(at, L" ,PID = ");
    at = PutFourHexDigits(at, entry.productId);
    *at = 0;
}

CString FormatVidPidLine(const DeviceEntry& entry)
{
    wchar_t line[kVidPidLineLength + 1];
    WriteVidPidLine(entry, line);
    return CString(line);
}
