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

// "VID = 046D ,PID = C52B"
CString FormatVidPidLine(const DeviceEntry& entry);
