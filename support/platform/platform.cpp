#include "support/platform/platform.h"

#include <objbase.h>

#include "support/platform/system_library.h"

namespace {

// The Setup API, bound at run time from the system folder: an import of it
// would be resolved before the program's first statement, with the exe's
// own folder searched first for the DLLs it pulls in.
struct SetupApi {
    decltype(&::SetupDiGetClassDevsW) getClassDevs;
    decltype(&::SetupDiEnumDeviceInfo) enumDeviceInfo;
    decltype(&::SetupDiEnumDeviceInterfaces) enumDeviceInterfaces;
    decltype(&::SetupDiGetDeviceInterfaceDetailW) getDeviceInterfaceDetail;
    decltype(&::SetupDiGetDeviceRegistryPropertyW) getDeviceRegistryProperty;
    decltype(&::SetupDiDestroyDeviceInfoList) destroyDeviceInfoList;
};

SetupApi setupApi;
DWORD setupApiError = ERROR_SUCCESS;
INIT_ONCE setupApiOnce = INIT_ONCE_STATIC_INIT;

DWORD BindSetupApiExports(HMODULE module)
{
    bool all = BindExport(module, "SetupDiGetClassDevsW", &setupApi.getClassDevs) &&
               BindExport(module, "SetupDiEnumDeviceInfo", &setupApi.enumDeviceInfo) &&
               BindExport(module, "SetupDiEnumDeviceInterfaces", &setupApi.enumDeviceInterfaces) &&
               BindExport(module, "SetupDiGetDeviceInterfaceDetailW",
                          &setupApi.getDeviceInterfaceDetail) &&
               BindExport(module, "SetupDiGetDeviceRegistryPropertyW",
                          &setupApi.getDeviceRegistryProperty) &&
               BindExport(module, "SetupDiDestroyDeviceInfoList", &setupApi.destroyDeviceInfoList);
    return all ? ERROR_SUCCESS : ERROR_PROC_NOT_FOUND;
}

BOOL CALLBACK LoadSetupApi(INIT_ONCE*, void*, void**)
{
    HMODULE module = LoadSystemLibrary(L"setupapi.dll");  // kept for the process's life
    setupApiError = module != nullptr ? BindSetupApiExports(module) : ::GetLastError();
    return TRUE;
}

// Whether the Setup API can be called; if not, its error is the thread's
// last error, as a failed call of it would leave.
bool SetupApiReady()
{
    DWORD error = BindSetupApi();
    if (error != ERROR_SUCCESS)
        ::SetLastError(error);
    return error == ERROR_SUCCESS;
}

class WindowsPlatform final : public Platform {
public:
    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, const wchar_t* enumerator,
                                  HWND parent, DWORD flags) override
    {
        if (!SetupApiReady())
            return INVALID_HANDLE_VALUE;
        return setupApi.getClassDevs(classGuid, enumerator, parent, flags);
    }
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) override
    {
        return SetupApiReady() && setupApi.enumDeviceInfo(set, index, device);
    }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device,
                                     const GUID* interfaceClass, DWORD index,
                                     SP_DEVICE_INTERFACE_DATA* data) override
    {
        return SetupApiReady() &&
               setupApi.enumDeviceInterfaces(set, device, interfaceClass, index, data);
    }
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                          SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                          DWORD detailSize, DWORD* requiredSize,
                                          SP_DEVINFO_DATA* device) override
    {
        return SetupApiReady() && setupApi.getDeviceInterfaceDetail(set, data, detail, detailSize,
                                                                     requiredSize, device);
    }
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device,
                                           DWORD property, DWORD* valueType, BYTE* buffer,
                                           DWORD bufferSize, DWORD* requiredSize) override
    {
        return SetupApiReady() &&
               setupApi.getDeviceRegistryProperty(set, device, property, valueType, buffer,
                                                  bufferSize, requiredSize);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override
    {
        return SetupApiReady() && setupApi.destroyDeviceInfoList(set);
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

DWORD BindSetupApi()
{
    InitOnceExecuteOnce(&setupApiOnce, LoadSetupApi, nullptr, nullptr);
    return setupApiError;
}

Platform& SystemPlatform() { return systemPlatform; }

Platform& CurrentPlatform() { return *currentPlatform; }

ScopedPlatform::ScopedPlatform(Platform& platform) : previous(currentPlatform)
{
    currentPlatform = &platform;
}

ScopedPlatform::~ScopedPlatform() { currentPlatform = previous; }
