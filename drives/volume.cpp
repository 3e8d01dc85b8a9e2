#include "drives/volume.h"

#include <winioctl.h>

FileHandle OpenDriveVolume(Platform& platform, wchar_t letter)
{
    wchar_t path[] = L"\\\\.\\A:";
    path[4] = letter;
    HANDLE opened = platform.CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    // "No volume" is a null handle: the platform's INVALID_HANDLE_VALUE
    // stays in here.
    return FileHandle(platform, opened == INVALID_HANDLE_VALUE ? nullptr : opened);
}

bool IsFloppyDrive(Platform& platform, wchar_t letter)
{
    FileHandle volume = OpenDriveVolume(platform, letter);
    if (!volume)
        return false;
    DISK_GEOMETRY geometry = {};
    DWORD returned = 0;
    if (!platform.DeviceIoControl(volume.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0,
                                  &geometry, sizeof geometry, &returned, nullptr))
        return false;
    switch (geometry.MediaType) {
    case Unknown:
    case RemovableMedia:
    case FixedMedia:
        return false;
    default:
        return true;
    }
}

bool QueryStorageDeviceNumber(Platform& platform, const wchar_t* path,
                              DWORD& deviceNumber)
{
    FileHandle device(platform,
                      platform.CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device)
        return false;
    STORAGE_DEVICE_NUMBER number = {};
    DWORD returned = 0;
    if (!platform.DeviceIoControl(device.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                  &number, sizeof number, &returned, nullptr))
        return false;
    deviceNumber = number.DeviceNumber;
    return true;
}

UINT QueryDriveType(Platform& platform, wchar_t letter)
{
    const wchar_t root[] = {letter, L':', L'\\', 0};
    return platform.GetDriveTypeW(root);
}

MediaClass GetDriveMediaClass(Platform& platform, wchar_t letter)
{
    switch (QueryDriveType(platform, letter)) {
    case DRIVE_REMOVABLE:
        return IsFloppyDrive(platform, letter) ? MediaClass::Floppy : MediaClass::Disk;
    case DRIVE_FIXED:
        return MediaClass::Disk;
    case DRIVE_UNKNOWN:
        return MediaClass::Unclassified;
    default:
        return MediaClass::CdRomOrOther;
    }
}
