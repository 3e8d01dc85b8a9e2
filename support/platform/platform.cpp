#include "support/platform/platform.h"

#include <objbase.h>

namespace {

class WindowsPlatform final : public Platform {
public:
    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, const wchar_t* enumerator,
                                  HWND parent, DWORD flags) override
    {
        return ::SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
    }
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) override
    {
        return ::SetupDiEnumDeviceInfo(set, index, device);
    }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device,
                                     const GUID* interfaceClass, DWORD index,
                                     SP_DEVICE_INTERFACE_DATA* data) override
    {
        return ::SetupDiEnumDeviceInterfaces(set, device, interfaceClass, index, data);
    }
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                          SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                          DWORD detailSize, DWORD* requiredSize,
                                          SP_DEVINFO_DATA* device) override
    {
        return ::SetupDiGetDeviceInterfaceDetailW(set, data, detail, detailSize,
                                                  requiredSize, device);
    }
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device,
                                           DWORD property, DWORD* valueType, BYTE* buffer,
                                           DWORD bufferSize, DWORD* requiredSize) override
    {
        return ::SetupDiGetDeviceRegistryPropertyW(set, device, property, valueType, buffer,
                                                   bufferSize, requiredSize);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override
    {
        return ::SetupDiDestroyDeviceInfoList(set);
    }
    HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD shareMode,
                       SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                       HANDLE templateFile) override
    {
        return ::CreateFileW(path, access, shareMode, security, disposition, flags,
                             templateFile);
    }
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned, OVERLAPPED* overlapped) override
    {
        return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned,
                                 overlapped);
    }
    BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
    UINT GetDriveTypeW(const wchar_t* rootPath) override { return ::GetDriveTypeW(rootPath); }
    HRESULT CLSIDFromString(wchar_t* text, CLSID* clsid) override
    {
        return ::CLSIDFromString(text, clsid);
    }
    HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) override { return ::LocalAlloc(flags, bytes); }
    HLOCAL LocalFree(HLOCAL memory) override { return ::LocalFree(memory); }
    DWORD GetLastError() override { return ::GetLastError(); }
};

// Constant-initialised: usable from any static constructor.
WindowsPlatform systemPlatform;
Platform* currentPlatform = &systemPlatform;

}  // namespace

Platform& SystemPlatform() { return systemPlatform; }

Platform& CurrentPlatform() { return *currentPlatform; }

ScopedPlatform::ScopedPlatform(Platform& platform) : previous(currentPlatform)
{
    currentPlatform = &platform;
}

ScopedPlatform::~ScopedPlatform() { currentPlatform = previous; }
