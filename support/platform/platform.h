// Every system call the device inventory and the drive lookup make, behind
// one interface, so tests can put a scripted stand-in in place of the real
// system and reach every failure. Names and shapes are the system's own.
#pragma once

#include <windows.h>
#include <setupapi.h>

class Platform {
public:
    virtual ~Platform() = default;

    // Device information sets and their walks.
    virtual HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, const wchar_t* enumerator,
                                          HWND parent, DWORD flags) = 0;
    virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) = 0;
    virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device,
                                             const GUID* interfaceClass, DWORD index,
                                             SP_DEVICE_INTERFACE_DATA* data) = 0;
    virtual BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                                  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                  DWORD detailSize, DWORD* requiredSize,
                                                  SP_DEVINFO_DATA* device) = 0;
    virtual BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                   DWORD property, DWORD* valueType,
                                                   BYTE* buffer, DWORD bufferSize,
                                                   DWORD* requiredSize) = 0;
    virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) = 0;

    // Storage I/O.
    virtual HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD shareMode,
                               SECURITY_ATTRIBUTES* security, DWORD disposition,
                               DWORD flags, HANDLE templateFile) = 0;
    virtual BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize,
                                 void* out, DWORD outSize, DWORD* returned,
                                 OVERLAPPED* overlapped) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual UINT GetDriveTypeW(const wchar_t* rootPath) = 0;

    virtual HRESULT CLSIDFromString(wchar_t* text, CLSID* clsid) = 0;

    virtual HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) = 0;
    virtual HLOCAL LocalFree(HLOCAL memory) = 0;
    virtual DWORD GetLastError() = 0;
};

// The running system itself.
Platform& SystemPlatform();

// Loads the Setup API for the system platform from the system folder, on the
// first call only: ERROR_SUCCESS, or the reason it cannot be used, which
// every Setup API call of the system platform then fails with.
DWORD BindSetupApi();

// The platform used where none is named: the system's, unless a
// ScopedPlatform is in force.
Platform& CurrentPlatform();

// Makes `platform` current for its lifetime, then restores the previous one.
class ScopedPlatform {
public:
    explicit ScopedPlatform(Platform& platform);
    ~ScopedPlatform();
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    Platform* previous;
};
