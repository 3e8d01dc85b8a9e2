// From a drive letter to the hardware id of the storage device behind it.
#pragma once

#include "support/platform/platform.h"
#include "support/cstring.h"

// True with the id assigned to hardwareId (which may then be empty, for a
// device without one); false with hardwareId untouched. The letter is used
// exactly as given.
bool LookupDriveHardwareId(wchar_t letter, CString& hardwareId);
bool LookupDriveHardwareId(Platform& platform, wchar_t letter, CString& hardwareId);
