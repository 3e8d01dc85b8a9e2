// What the device inventory keeps of one present device.
#pragma once

#include <cstdint>

#include "support/growable_array.h"
#include "support/cstring.h"

struct DeviceEntry {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    CString description;
    CString hardwareId;  // first identifier of the device, upper-cased
};

using DeviceList = GrowableArray<DeviceEntry>;

struct VidPid {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

// Expects an identifier that is upper-cased already.
VidPid ParseVidPid(const CString& hardwareId);

// "VID = 046D ,PID = C52B": always this many characters.
constexpr int kVidPidLineLength = 22;

// Writes the line and its terminator into `line`; needs no memory, so a list
// never shows a blank where a number belongs.
void WriteVidPidLine(const DeviceEntry& entry, wchar_t (&line)[kVidPidLineLength + 1]);

// The same line as a string; empty only when its memory cannot be had.
CString FormatVidPidLine(const DeviceEntry& entry);
