// What the storage stack says about one drive: its device number, whether it
// is a floppy drive, and its media class.
#pragma once

#include <windows.h>

#include "drives/storage_platform.h"

// Only equality matters; the numbers are fixed all the same.
enum class MediaClass { Floppy = 0, Disk = 1, CdRomOrOther = 2, Unclassified = 3 };

// Opens "\\.\X:" for reading and writing; an empty handle when that fails.
StorageHandle OpenDriveVolume(StoragePlatform& platform, wchar_t letter);

// A failed open or geometry request counts as no floppy drive.
bool IsFloppyDrive(StoragePlatform& platform, wchar_t letter);

// Leaves deviceNumber untouched on failure.
bool QueryStorageDeviceNumber(StoragePlatform& platform, const wchar_t* path,
                              DWORD& deviceNumber);

// GetDriveTypeW on "X:\".
UINT QueryDriveType(StoragePlatform& platform, wchar_t letter);

MediaClass GetDriveMediaClass(StoragePlatform& platform, wchar_t letter);
