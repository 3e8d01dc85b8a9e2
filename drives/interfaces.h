// The present disk and volume interfaces, and the search for the one that
// belongs to a drive.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include "support/growable_array.h"
#include "support/platform/platform.h"
#include "drives/volume.h"
#include "support/cstring.h"

extern const wchar_t kDiskInterfaceClass[];    // GUID_DEVINTERFACE_DISK
extern const wchar_t kVolumeInterfaceClass[];  // GUID_DEVINTERFACE_VOLUME

struct StorageInterfaceEntry {
    CString devicePath;  // exactly as the platform returns it
    DWORD devInst = 0;
    SP_DEVINFO_DATA devInfoData = {};
    CString hardwareId;  // first hardware id, upper-cased; may be empty
    MediaClass mediaClass = MediaClass::Unclassified;
};

using StorageInterfaceList = GrowableArray<StorageInterfaceEntry>;

// Disk interfaces for removable disks and fixed drives, volume interfaces
// for everything else (floppy drives included).
CString SelectInterfaceClass(Platform& platform, wchar_t letter);

// Case-sensitive: only lower-case words in the path count.
MediaClass ClassifyInterfacePath(const CString& devicePath);

// False only when the class text does not convert or no set can be had; a
// walk that ends early keeps what it gathered and still succeeds.
bool EnumerateStorageInterfaces(Platform& platform, const CString& interfaceClass,
                                StorageInterfaceList& list);

// The first interface whose device answers with deviceNumber and whose path
// gives mediaClass; found is untouched when there is none.
bool FindStorageInterface(Platform& platform, const CString& interfaceClass,
                          DWORD deviceNumber, MediaClass mediaClass,
                          StorageInterfaceEntry& found);
