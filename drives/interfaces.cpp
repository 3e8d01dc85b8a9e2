#include "drives/interfaces.h"

#include "support/platform/device_property.h"
#include "support/platform/sized_query.h"

const wchar_t kDiskInterfaceClass[] = L"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const wchar_t kVolumeInterfaceClass[] = L"{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";

CString SelectInterfaceClass(Platform& platform, wchar_t letter)
{
    switch (QueryDriveType(platform, letter)) {
    case DRIVE_REMOVABLE:
        return IsFloppyDrive(platform, letter) ? kVolumeInterfaceClass : kDiskInterfaceClass;
    case DRIVE_FIXED:
        return kDiskInterfaceClass;
    default:
        return kVolumeInterfaceClass;
    }
}

MediaClass ClassifyInterfacePath(const CString& devicePath)
{
    if (devicePath.IndexOf(L"floppy") != -1)
        return MediaClass::Floppy;
    if (devicePath.IndexOf(L"cdrom") != -1)
        return MediaClass::CdRomOrOther;
    if (devicePath.IndexOf(L"storage") != -1 || devicePath.IndexOf(L"usbstor") != -1)
        return MediaClass::Disk;
    return MediaClass::Unclassified;
}

namespace {

// The first string of the device's hardware-id list, upper-cased; empty when
// the device has none or its buffer cannot be had.
CString ReadFirstHardwareId(Platform& platform, HDEVINFO set, SP_DEVINFO_DATA& device)
{
    CString id = ReadDeviceProperty(platform, set, device, SPDRP_HARDWAREID);
    id.ToUpperInPlace();
    return id;
}

enum class Step { Appended, Skipped, EndWalk };

Step AppendInterface(Platform& platform, HDEVINFO set, const GUID& interfaceClass,
                     DWORD index, StorageInterfaceList& list)
{
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;
    if (!platform.SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index,
                                              &interfaceData))
        return platform.GetLastError() == ERROR_NO_MORE_ITEMS ? Step::EndWalk : Step::Skipped;

    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    // cbSize is written before each request, so the buffer must hold the
    // header whatever size was reported. One request with a buffer: a failed
    // one ends the walk.
    LocalBuffer detailBuffer(platform);
    auto request = [&](BYTE* bytes, DWORD size, DWORD* required) {
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(bytes);
        if (detail != nullptr)
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        return platform.SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, size,
                                                         required, &device);
    };
    QueryRoom room;
    room.minimum = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    room.tries = 1;
    if (QueryWithRetry(platform, detailBuffer, room, request) != QueryOutcome::Answered)
        return Step::EndWalk;
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBuffer.Bytes());

    StorageInterfaceEntry entry;
    entry.hardwareId = ReadFirstHardwareId(platform, set, device);
    entry.devicePath = detail->DevicePath;
    entry.devInst = device.DevInst;
    entry.devInfoData = device;
    entry.mediaClass = ClassifyInterfacePath(entry.devicePath);
    list.Append(entry);
    return Step::Appended;
}

}  // namespace

bool EnumerateStorageInterfaces(Platform& platform, const CString& interfaceClass,
                                StorageInterfaceList& list)
{
    list.Clear();
    // The conversion wants writable text; a copy keeps the caller's own.
    CString writable = interfaceClass;
    wchar_t* text = writable.OpenBuffer(writable.Length());
    GUID classGuid = {};
    if (text == nullptr || platform.CLSIDFromString(text, &classGuid) != S_OK)
        return false;

    DeviceInfoSet set(platform, platform.SetupDiGetClassDevsW(&classGuid, nullptr, nullptr,
                                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set)
        return false;
    for (DWORD index = 0;; ++index) {
        if (AppendInterface(platform, set.Get(), classGuid, index, list) == Step::EndWalk)
            break;
    }
    return true;
}

bool FindStorageInterface(Platform& platform, const CString& interfaceClass,
                          DWORD deviceNumber, MediaClass mediaClass,
                          StorageInterfaceEntry& found)
{
    StorageInterfaceList list;
    if (!EnumerateStorageInterfaces(platform, interfaceClass, list))
        return false;
    for (unsigned i = 0; i < list.Size(); ++i) {
        const StorageInterfaceEntry& entry = list.At(i);
        DWORD number = 0;
        if (QueryStorageDeviceNumber(platform, entry.devicePath, number) &&
            number == deviceNumber && entry.mediaClass == mediaClass) {
            found = entry;
            return true;
        }
    }
    return false;
}
