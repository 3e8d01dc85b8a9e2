#include "devices/enumeration.h"

#include <cstdio>
#include <cwchar>

#include "devices/property_read.h"
#include "support/system_crt.h"

namespace {

// The buffer is twice the size asked for and zero-filled, so the text ends in
// a NUL; the length is still bounded by the buffer, whatever was written.
CString TextOf(const LocalBuffer& buffer)
{
    const wchar_t* text = reinterpret_cast<const wchar_t*>(buffer.Bytes());
    int length = static_cast<int>(wcsnlen(text, buffer.Size() / sizeof(wchar_t)));
    CString result;
    if (length == 0)
        return result;
    wchar_t* room = result.OpenBufferWithLength(length);
    if (room == nullptr)
        return result;
    wmemcpy(room, text, length);
    result.CloseBuffer();
    return result;
}

DeviceEntry MakeEntry(const CString& description, const CString& hardwareId)
{
    DeviceEntry entry;
    entry.description = description;
    entry.hardwareId = hardwareId;
    entry.hardwareId.ToUpperInPlace();
    VidPid ids = ParseVidPid(entry.hardwareId);
    entry.vendorId = ids.vendorId;
    entry.productId = ids.productId;
    return entry;
}

}  // namespace

CString ReadDeviceProperty(DevicePlatform& platform, HDEVINFO set, SP_DEVINFO_DATA& device,
                           DWORD property)
{
    LocalBuffer buffer(platform);
    auto request = [&](BYTE* bytes, DWORD size, DWORD* required) {
        return platform.GetDeviceRegistryProperty(set, &device, property, nullptr, bytes, size,
                                                  required);
    };
    if (!ReadRegistryProperty(platform, buffer, request))
        return CString();
    return TextOf(buffer);
}

bool EnumerateDevices(DeviceList& list) { return EnumerateDevices(list, CurrentDevicePlatform()); }

bool EnumerateDevices(DeviceList& list, DevicePlatform& platform)
{
    list.Clear();
    DeviceInfoSet set(platform, platform.GetClassDevs(nullptr, nullptr, nullptr,
                                                      DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.IsOpen())
        return false;

    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; platform.EnumDeviceInfo(set.Handle(), index, &device); ++index) {
        CString hardwareId = ReadDeviceProperty(platform, set.Handle(), device, SPDRP_HARDWAREID);
        CString description = ReadDeviceProperty(platform, set.Handle(), device, SPDRP_DEVICEDESC);
        if (hardwareId.IsEmpty())
            continue;
        list.Append(MakeEntry(description, hardwareId));
    }

    DWORD error = platform.GetLastError();
    if (error == 0 || error == ERROR_NO_MORE_ITEMS)
        return true;
    SystemPrintf("Error Details:[%lu]\n", error);
    fflush(stdout);
    return false;
}
