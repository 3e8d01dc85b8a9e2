// What the storage stack says about one drive: its device number, whether it
// is a floppy drive, and its media class.
#pragma once

#include <windows.h>

#include "support/platform/owned.h"

// Only equality matters; the numbers are fixed all the same.
enum class MediaClass { Floppy = 0, Disk = 1, CdRomOrOther = 2, Unclassified = 3 };

// Opens "\\.\X:" for reading and writing; a null handle when that fails.
FileHandle OpenDriveVolume(Platform& platform, wchar_t letter);

// A failed open or geometry request counts as no floppy drive.
bool IsFloppyDrive(Platform& platform, wchar_t letter);

// Leaves deviceNumber untouched on failure.
bool QueryStorageDeviceNumber(Platform& platform, const wchar_t* path,
                              DWORD& deviceNumber);

// GetDriveTypeW on "X:\".
UINT QueryDriveType(Platform& platform, wchar_t letter);

MediaClass GetDriveMediaClass(Platform& platform, wchar_t letter);
