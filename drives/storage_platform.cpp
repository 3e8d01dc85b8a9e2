#include "drives/storage_platform.h"

#include <objbase.h>

#include <utility>

namespace {

class WindowsStoragePlatform : public StoragePlatform {
public:
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
    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, const wchar_t* enumerator,
                                  HWND parent, DWORD flags) override
    {
        return ::SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
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
    HLOCAL LocalAlloc(UINT flags, SIZE_T size) override { return ::LocalAlloc(flags, size); }
    HLOCAL LocalFree(HLOCAL memory) override { return ::LocalFree(memory); }
    DWORD GetLastError() override { return ::GetLastError(); }
};

StoragePlatform* current = nullptr;

}  // namespace

StoragePlatform& RealStoragePlatform()
{
    static WindowsStoragePlatform platform;
    return platform;
}

StoragePlatform& CurrentStoragePlatform()
{
    return current != nullptr ? *current : RealStoragePlatform();
}

ScopedStoragePlatform::ScopedStoragePlatform(StoragePlatform& platform) : previous(current)
{
    current = &platform;
}

ScopedStoragePlatform::~ScopedStoragePlatform() { current = previous; }

StorageHandle::StorageHandle(StoragePlatform& platform, HANDLE opened)
    : platform(&platform), handle(opened == INVALID_HANDLE_VALUE ? nullptr : opened)
{
}

StorageHandle::StorageHandle(StorageHandle&& other) noexcept
    : platform(other.platform), handle(std::exchange(other.handle, nullptr))
{
}

StorageHandle& StorageHandle::operator=(StorageHandle&& other) noexcept
{
    if (this != &other) {
        Close();
        platform = other.platform;
        handle = std::exchange(other.handle, nullptr);
    }
    return *this;
}

void StorageHandle::Close()
{
    if (handle != nullptr)
        platform->CloseHandle(std::exchange(handle, nullptr));
}

StorageDeviceSet::StorageDeviceSet(StoragePlatform& platform, HDEVINFO opened)
    : platform(&platform), set(opened)
{
}

StorageDeviceSet::StorageDeviceSet(StorageDeviceSet&& other) noexcept
    : platform(other.platform), set(std::exchange(other.set, INVALID_HANDLE_VALUE))
{
}

StorageDeviceSet::~StorageDeviceSet()
{
    if (set != INVALID_HANDLE_VALUE)
        platform->SetupDiDestroyDeviceInfoList(set);
}

StorageBuffer::StorageBuffer(StorageBuffer&& other) noexcept
    : platform(other.platform), memory(std::exchange(other.memory, nullptr))
{
}

bool StorageBuffer::Allocate(SIZE_T size)
{
    Free();
    memory = platform->LocalAlloc(LPTR, size);
    return memory != nullptr;
}

void StorageBuffer::Free()
{
    if (memory != nullptr)
        platform->LocalFree(std::exchange(memory, nullptr));
}
