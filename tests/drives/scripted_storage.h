// A scripted stand-in for the storage stack and the Setup API: drives,
// interfaces and their failures are set up by the test, every call is
// recorded, and every handle, set and buffer is tracked so that a test can
// see nothing outlives the operation.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <winioctl.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "drives/storage_platform.h"

struct ScriptedDrive {
    UINT type = DRIVE_FIXED;
    bool volumeOpens = true;        // "\\.\X:" for reading and writing
    bool geometryAnswers = true;
    MEDIA_TYPE mediaType = FixedMedia;
    bool interfacePathOpens = true;  // "\\?\X:"
    bool numberAnswers = true;
    DWORD deviceNumber = 0;
};

struct ScriptedInterface {
    std::wstring path;
    DWORD deviceNumber = 0;
    std::vector<std::wstring> hardwareIds;  // none: the property is missing
    bool opens = true;
    bool numberAnswers = true;
    DWORD enumError = 0;                    // non-zero: enumerating it fails so
    DWORD sizeQueryError = ERROR_INSUFFICIENT_BUFFER;
    DWORD reportedDetailSize = 0;           // 0: the true size
    bool detailFails = false;
    bool detailAllocFails = false;
    bool propertyAllocFails = false;        // the first property buffer only
};

class ScriptedStorage : public StoragePlatform {
public:
    std::map<wchar_t, ScriptedDrive> drives;
    std::map<std::wstring, std::vector<ScriptedInterface>> interfaces;  // by class text
    bool classDevsFails = false;

    std::vector<std::wstring> calls;
    std::vector<std::string> misuse;  // anything the real platform would not forgive
    int handlesOpened = 0, handlesClosed = 0;
    int setsCreated = 0, setsDestroyed = 0;
    int buffersAllocated = 0, buffersFreed = 0;

    ~ScriptedStorage() override;

    // Calls whose name is one of names, in order.
    std::vector<std::wstring> CallsNamed(std::initializer_list<const wchar_t*> names) const;
    // Fails the current test if any handle, set or buffer is still alive or
    // the platform was misused.
    void ExpectNothingLeft() const;

    HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD shareMode,
                       SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                       HANDLE templateFile) override;
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned, OVERLAPPED* overlapped) override;
    BOOL CloseHandle(HANDLE handle) override;
    UINT GetDriveTypeW(const wchar_t* rootPath) override;
    HRESULT CLSIDFromString(wchar_t* text, CLSID* clsid) override;
    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, const wchar_t* enumerator,
                                  HWND parent, DWORD flags) override;
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device,
                                     const GUID* interfaceClass, DWORD index,
                                     SP_DEVICE_INTERFACE_DATA* data) override;
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                          SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                          DWORD detailSize, DWORD* requiredSize,
                                          SP_DEVINFO_DATA* device) override;
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device,
                                           DWORD property, DWORD* valueType, BYTE* buffer,
                                           DWORD bufferSize, DWORD* requiredSize) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;
    HLOCAL LocalAlloc(UINT flags, SIZE_T size) override;
    HLOCAL LocalFree(HLOCAL memory) override;
    DWORD GetLastError() override { return lastError; }

private:
    struct OpenDevice {
        std::wstring path;
        const ScriptedDrive* drive = nullptr;          // volume or volume interface path
        const ScriptedInterface* iface = nullptr;  // an interface's own path
        bool volume = false;                           // opened as "\\.\X:"
    };
    struct OpenSet {
        const std::vector<ScriptedInterface>* interfaces;
        GUID guid;
    };
    enum class Pending { None, Detail, Property };

    BOOL Fail(DWORD error);
    void Record(const wchar_t* format, ...);
    void Misuse(const std::string& what);
    const ScriptedInterface* Member(HDEVINFO set, ULONG_PTR reserved);
    void CheckBuffer(const void* buffer, DWORD size, const char* call);
    HANDLE Open(const OpenDevice& device);

    DWORD lastError = 0;
    std::map<HANDLE, OpenDevice> openDevices;
    std::map<HDEVINFO, OpenSet> openSets;
    std::map<void*, SIZE_T> liveBuffers;
    std::vector<ScriptedInterface> noInterfaces;
    UINT_PTR nextHandle = 0x1000;
    Pending pendingAlloc = Pending::None;
    const ScriptedInterface* pendingFor = nullptr;
    std::vector<const ScriptedInterface*> propertyAllocFailed;
};

// Hardware ids as a platform gives them: the test may pass lower case.
ScriptedInterface StorageInterface(const std::wstring& path, DWORD deviceNumber,
                                   std::vector<std::wstring> hardwareIds = {});
