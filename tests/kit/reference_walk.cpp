#include "tests/kit/reference_walk.h"

#include <setupapi.h>

#include <cwchar>
#include <utility>

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
    HDEVINFO set = SetupDiGetClassDevsW(scope.setupClass, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE)
        return false;
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
    bool whole = GetLastError() == ERROR_NO_MORE_ITEMS;
    SetupDiDestroyDeviceInfoList(set);
    return whole;
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
