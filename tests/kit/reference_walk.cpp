#include "tests/kit/reference_walk.h"

#include <setupapi.h>
#include <winioctl.h>

#include <cwchar>
#include <utility>

#include "system_owned.h"

namespace {

// The size is asked first, as the product does; a property that grew in
// between is asked again.
std::vector<wchar_t> ReadProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    DWORD required = 0;
    if (SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, nullptr, 0, &required) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return {};
    for (int tries = 0; tries < 4; ++tries) {
        // Two spare NULs end any text, stored with its own ending or not.
        std::vector<wchar_t> text(required / sizeof(wchar_t) + 2, L'\0');
        DWORD offered = required;
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                              reinterpret_cast<BYTE*>(text.data()), offered,
                                              &required))
            return text;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= offered)
            break;
    }
    return {};
}

std::vector<std::wstring> Strings(const std::vector<wchar_t>& multi)
{
    std::vector<std::wstring> strings;
    for (const wchar_t* at = multi.data(); !multi.empty() && *at; at += wcslen(at) + 1)
        strings.push_back(at);
    return strings;
}

std::wstring InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    DWORD required = 0;
    SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &required);
    std::vector<wchar_t> id(required + 1, L'\0');
    if (required == 0 ||
        !SetupDiGetDeviceInstanceIdW(set, &device, id.data(), required, nullptr))
        return std::wstring();
    return id.data();
}

}  // namespace

bool ReferenceWalk(std::vector<ReferenceDevice>* devices, const ReferenceScope& scope)
{
    devices->clear();
    DWORD flags = (scope.setupClass ? 0 : DIGCF_ALLCLASSES) |
                  (scope.presentOnly ? DIGCF_PRESENT : 0);
    SystemDeviceInfoSet owned(SetupDiGetClassDevsW(scope.setupClass, nullptr, nullptr, flags));
    if (!owned)
        return false;
    HDEVINFO set = owned.Get();
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    DWORD index = 0;
    for (; SetupDiEnumDeviceInfo(set, index, &data); ++index) {
        ReferenceDevice device;
        device.setupClass = data.ClassGuid;
        device.hardwareIds = Strings(ReadProperty(set, data, SPDRP_HARDWAREID));
        std::vector<wchar_t> description = ReadProperty(set, data, SPDRP_DEVICEDESC);
        if (!description.empty())
            device.description = description.data();
        if (scope.instanceIds)
            device.instanceId = InstanceId(set, data);
        devices->push_back(std::move(device));
    }
    return GetLastError() == ERROR_NO_MORE_ITEMS;
}

std::vector<ExpectedDevice> ExpectedPresentDevices()
{
    std::vector<ReferenceDevice> devices;
    std::vector<ExpectedDevice> shown;
    if (!ReferenceWalk(&devices))
        return shown;
    for (const ReferenceDevice& device : devices) {
        if (device.hardwareIds.empty())
            continue;
        std::wstring id = device.hardwareIds.front();
        CharUpperBuffW(&id[0], static_cast<DWORD>(id.size()));
        shown.push_back({device.description, id});
    }
    return shown;
}

namespace {

// The device type and number that the storage stack gives `path`; false
// when it cannot be opened or does not answer.
bool StorageNumber(const std::wstring& path, STORAGE_DEVICE_NUMBER* number)
{
    SystemHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file)
        return false;
    DWORD returned = 0;
    return DeviceIoControl(file.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number,
                           sizeof *number, &returned, nullptr) != 0;
}

// Calls `visit` with the device path of every present interface of the
// class and its device's record, until `visit` says it has had enough.
template <class Visit>
void WalkInterfaces(const GUID& interfaceClass, Visit visit)
{
    SystemDeviceInfoSet owned(SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr,
                                                   DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!owned)
        return;
    HDEVINFO set = owned.Get();
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &data); ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
        std::vector<BYTE> buffer(required + sizeof(wchar_t));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof *detail;
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof device;
        if (required == 0 ||
            !SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, &device))
            break;
        if (!visit(set, device, std::wstring(detail->DevicePath)))
            break;
    }
}

}  // namespace

std::vector<std::wstring> ReferenceInterfacePaths(const GUID& interfaceClass)
{
    std::vector<std::wstring> paths;
    WalkInterfaces(interfaceClass, [&](HDEVINFO, SP_DEVINFO_DATA&, const std::wstring& path) {
        paths.push_back(path);
        return true;
    });
    return paths;
}

wchar_t SystemDriveLetter()
{
    wchar_t windows[MAX_PATH] = {};
    UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return length >= 2 && windows[1] == L':' ? windows[0] : 0;
}

std::wstring ReferenceFixedDriveHardwareId(wchar_t letter)
{
    // GUID_DEVINTERFACE_DISK
    const GUID disks = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
    STORAGE_DEVICE_NUMBER volume = {};
    if (!StorageNumber(std::wstring(L"\\\\.\\") + letter + L":", &volume))
        return std::wstring();
    std::wstring found;
    WalkInterfaces(disks, [&](HDEVINFO set, SP_DEVINFO_DATA& device, const std::wstring& path) {
        auto names = [&path](const wchar_t* word) { return path.find(word) != std::wstring::npos; };
        if (names(L"floppy") || names(L"cdrom") || !(names(L"storage") || names(L"usbstor")))
            return true;
        STORAGE_DEVICE_NUMBER disk = {};
        if (!StorageNumber(path, &disk) || disk.DeviceNumber != volume.DeviceNumber)
            return true;
        std::vector<std::wstring> ids = Strings(ReadProperty(set, device, SPDRP_HARDWAREID));
        if (!ids.empty()) {
            found = ids.front();
            CharUpperBuffW(&found[0], static_cast<DWORD>(found.size()));
        }
        return false;
    });
    return found;
}
