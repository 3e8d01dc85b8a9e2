// The storage and Setup API calls of the drive lookup, behind one abstract
// class so that every failure of the platform can be scripted in tests.
#pragma once

#include <windows.h>
#include <setupapi.h>

class StoragePlatform {
public:
    virtual ~StoragePlatform() = default;

    virtual HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD shareMode,
                               SECURITY_ATTRIBUTES* security, DWORD disposition,
                               DWORD flags, HANDLE templateFile) = 0;
    virtual BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize,
                                 void* out, DWORD outSize, DWORD* returned,
                                 OVERLAPPED* overlapped) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual UINT GetDriveTypeW(const wchar_t* rootPath) = 0;
    virtual HRESULT CLSIDFromString(wchar_t* text, CLSID* clsid) = 0;
    virtual HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, const wchar_t* enumerator,
                                          HWND parent, DWORD flags) = 0;
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
    virtual HLOCAL LocalAlloc(UINT flags, SIZE_T size) = 0;
    virtual HLOCAL LocalFree(HLOCAL memory) = 0;
    virtual DWORD GetLastError() = 0;
};

// The platform itself.
StoragePlatform& RealStoragePlatform();

// The platform the lookup command uses: the real one unless a scope has put
// another in its place (tests of the dialog drive the command this way).
StoragePlatform& CurrentStoragePlatform();

class ScopedStoragePlatform {
public:
    explicit ScopedStoragePlatform(StoragePlatform& platform);
    ~ScopedStoragePlatform();
    ScopedStoragePlatform(const ScopedStoragePlatform&) = delete;
    ScopedStoragePlatform& operator=(const ScopedStoragePlatform&) = delete;

private:
    StoragePlatform* previous;
};

// An open device; "no handle" is null, whatever the failed open returned.
class StorageHandle {
public:
    StorageHandle() = default;
    StorageHandle(StoragePlatform& platform, HANDLE opened);
    StorageHandle(StorageHandle&& other) noexcept;
    StorageHandle& operator=(StorageHandle&& other) noexcept;
    StorageHandle(const StorageHandle&) = delete;
    StorageHandle& operator=(const StorageHandle&) = delete;
    ~StorageHandle() { Close(); }

    HANDLE Get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    void Close();

private:
    StoragePlatform* platform = nullptr;
    HANDLE handle = nullptr;
};

// A device information set, destroyed with its owner.
class StorageDeviceSet {
public:
    StorageDeviceSet(StoragePlatform& platform, HDEVINFO opened);
    StorageDeviceSet(StorageDeviceSet&& other) noexcept;
    StorageDeviceSet& operator=(StorageDeviceSet&&) = delete;
    StorageDeviceSet(const StorageDeviceSet&) = delete;
    StorageDeviceSet& operator=(const StorageDeviceSet&) = delete;
    ~StorageDeviceSet();

    HDEVINFO Get() const { return set; }
    explicit operator bool() const { return set != INVALID_HANDLE_VALUE; }

private:
    StoragePlatform* platform;
    HDEVINFO set;
};

// Zero-filled local memory, freed with its owner.
class StorageBuffer {
public:
    explicit StorageBuffer(StoragePlatform& platform) : platform(&platform) {}
    StorageBuffer(StorageBuffer&& other) noexcept;
    StorageBuffer& operator=(StorageBuffer&&) = delete;
    StorageBuffer(const StorageBuffer&) = delete;
    StorageBuffer& operator=(const StorageBuffer&) = delete;
    ~StorageBuffer() { Free(); }

    // Replaces the buffer; false (and no buffer) when the allocation fails.
    bool Allocate(SIZE_T size);
    void Free();
    void* Get() const { return memory; }
    BYTE* Bytes() const { return static_cast<BYTE*>(memory); }

private:
    StoragePlatform* platform;
    void* memory = nullptr;
};
