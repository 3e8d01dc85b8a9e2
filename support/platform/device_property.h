// Reading one registry property of a device as text.
#pragma once

#include "support/cstring.h"
#include "support/platform/platform.h"

// The text up to its first NUL (for a list, its first string); empty when the
// device has no such property or its buffer cannot be had.
CString ReadDeviceProperty(Platform& platform, HDEVINFO set, SP_DEVINFO_DATA& device,
                           DWORD property);
