// Every present device of every setup class that has a hardware identifier.
#pragma once

#include "devices/device_entry.h"
#include "support/platform/platform.h"

// Clears `list`, then fills it in the system's enumeration order. False when
// the set cannot be opened (list empty) or the walk ends on an unexpected
// error (list keeps what was gathered; one diagnostic line on stdout).
bool EnumerateDevices(DeviceList& list);
bool EnumerateDevices(DeviceList& list, Platform& platform);
