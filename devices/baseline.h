// Devices connected, or removed, since a baseline was taken.
#pragma once

#include "devices/device_entry.h"

// Enumerates afresh and compares by hardware identifier. The longer list is
// searched for identifiers missing from the shorter one, so the result holds
// either the connected or the removed devices, never both. False, with an
// empty result, when the enumeration fails.
bool CompareWithBaseline(const DeviceList& baseline, DeviceList& result);

// The comparison itself, on two lists already gathered.
void CompareDeviceLists(const DeviceList& baseline, const DeviceList& fresh, DeviceList& result);
