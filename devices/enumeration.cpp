#include "devices/enumeration.h"

#include <cstdio>
#include <cwchar>

#include "support/platform/device_property.h"
#include "support/platform/owned.h"
#include "support/system_crt.h"

namespace {

// The id must be upper-cased already: done on the string read, which is still
// private, so it needs no memory and cannot fail.
DeviceEntry MakeEntry(const CString& description, const CString& hardwareId)
{
    DeviceEntry entry;
    entry.description = description;
    entry.hardwareId = hardwareId;
    VidPid ids = ParseVidPid(entry.hardwareId);
    entry.vendorId = ids.vendorId;
    entry.productId = ids.productId;
    return entry;
}

}  // namespace

bool EnumerateDevices(DeviceList& list) { return EnumerateDevices(list, CurrentPlatform()); }

bool EnumerateDevices(DeviceList& list, Platform& platform)
{
    list.Clear();
    DeviceInfoSet set(platform, platform.SetupDiGetClassDevsW(nullptr, nullptr, nullptr,
                                                              DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set)
        return false;

    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; platform.SetupDiEnumDeviceInfo(set.Get(), index, &device); ++index) {
        CString hardwareId = ReadDeviceProperty(platform, set.Get(), device, SPDRP_HARDWAREID);
        CString description = ReadDeviceProperty(platform, set.Get(), device, SPDRP_DEVICEDESC);
        hardwareId.ToUpperInPlace();
        if (hardwareId.IsEmpty())
            continue;  // no list holds an entry without a hardware id
        list.Append(MakeEntry(description, hardwareId));
    }

    DWORD error = platform.GetLastError();
    if (error == 0 || error == ERROR_NO_MORE_ITEMS)
        return true;
    SystemPrintf("Error Details:[%lu]\n", error);
    fflush(stdout);
    return false;
}
