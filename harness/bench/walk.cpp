#include "walk.h"

#include <windows.h>
#include <setupapi.h>

#include <vector>

namespace {

std::wstring Property(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property)
{
    DWORD required = 0;
    SetupDiGetDeviceRegistryPropertyW(set, device, property, nullptr, nullptr, 0, &required);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required == 0)
        return std::wstring();
    std::vector<BYTE> buffer(2 * size_t(required) + 2, 0);
    if (!SetupDiGetDeviceRegistryPropertyW(set, device, property, nullptr, buffer.data(),
                                           required, nullptr))
        return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data()));
}

}  // namespace

std::wstring WalkDevices()
{
    std::wstring text;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return text;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        std::wstring id = Property(set, &device, SPDRP_HARDWAREID);
        std::wstring description = Property(set, &device, SPDRP_DEVICEDESC);
        if (id.empty())
            continue;
        // Same length as the views' block: the VID/PID line is 22 characters.
        text += description + L"\r\nVID = 0000 ,PID = 0000\r\n硬件ID = " + id + L"\r\n" +
                std::wstring(47, L'-') + L"\r\n";
    }
    SetupDiDestroyDeviceInfoList(set);
    return text;
}
