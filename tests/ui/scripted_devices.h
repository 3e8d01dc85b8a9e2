// A device platform for the views: the present devices are whatever the test
// puts in `devices`, answered afresh on every enumeration with the usual
// size-query protocol, so lists can change between refreshes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "devices/device_platform.h"

struct PresentDevice {
    std::wstring description;  // empty: the property is missing
    std::wstring hardwareId;   // empty: the device has none
};

class PresentDevices : public DevicePlatform {
public:
    std::vector<PresentDevice> devices;
    bool openFails = false;
    int opens = 0;

    HDEVINFO GetClassDevs(const GUID*, const wchar_t*, HWND, DWORD) override
    {
        ++opens;
        if (openFails) {
            lastError = ERROR_INVALID_PARAMETER;
            return INVALID_HANDLE_VALUE;
        }
        return reinterpret_cast<HDEVINFO>(0x5e7);
    }
    BOOL EnumDeviceInfo(HDEVINFO, DWORD index, SP_DEVINFO_DATA* device) override
    {
        if (index >= devices.size())
            return Fail(ERROR_NO_MORE_ITEMS);
        device->DevInst = index;
        return TRUE;
    }
    BOOL GetDeviceRegistryProperty(HDEVINFO, SP_DEVINFO_DATA* device, DWORD property, DWORD*,
                                   BYTE* buffer, DWORD bufferSize, DWORD* requiredSize) override
    {
        const PresentDevice& d = devices.at(device->DevInst);
        const std::wstring& text = property == SPDRP_HARDWAREID ? d.hardwareId : d.description;
        if (text.empty())
            return Fail(ERROR_INVALID_DATA);
        // Hardware ids are a list: each item ends in a NUL, the list in another.
        DWORD bytes = DWORD((text.size() + (property == SPDRP_HARDWAREID ? 2 : 1)) * 2);
        if (requiredSize)
            *requiredSize = bytes;
        if (buffer == nullptr || bufferSize < bytes)
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        memset(buffer, 0, bytes);
        memcpy(buffer, text.c_str(), text.size() * 2);
        return TRUE;
    }
    BOOL DestroyDeviceInfoList(HDEVINFO) override { return TRUE; }
    HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) override { return ::LocalAlloc(flags, bytes); }
    HLOCAL LocalFree(HLOCAL memory) override { return ::LocalFree(memory); }
    DWORD GetLastError() override { return lastError; }

private:
    BOOL Fail(DWORD error)
    {
        lastError = error;
        return FALSE;
    }
    DWORD lastError = 0;
};
