#include "drives/lookup.h"

#include "drives/interfaces.h"
#include "drives/volume.h"

bool LookupDriveHardwareId(wchar_t letter, CString& hardwareId)
{
    return LookupDriveHardwareId(CurrentPlatform(), letter, hardwareId);
}

bool LookupDriveHardwareId(Platform& platform, wchar_t letter, CString& hardwareId)
{
    CString volumePath;
    volumePath.FormatText(L"\\\\?\\%c:", letter);
    DWORD deviceNumber = 0;
    if (!QueryStorageDeviceNumber(platform, volumePath, deviceNumber))
        return false;
    CString interfaceClass = SelectInterfaceClass(platform, letter);
    MediaClass mediaClass = GetDriveMediaClass(platform, letter);
    StorageInterfaceEntry entry;
    if (!FindStorageInterface(platform, interfaceClass, deviceNumber, mediaClass, entry))
        return false;
    hardwareId = entry.hardwareId;
    return true;
}
