#include "devices/device_platform.h"

#include <utility>

namespace {

class SetupApiPlatform final : public DevicePlatform {
public:
    HDEVINFO GetClassDevs(const GUID* classGuid, const wchar_t* enumerator, HWND parent,
                          DWORD flags) override
    {
        return SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
    }
    BOOL EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) override
    {
        return SetupDiEnumDeviceInfo(set, index, device);
    }
    BOOL GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                                   DWORD* dataType, BYTE* buffer, DWORD bufferSize,
                                   DWORD* requiredSize) override
    {
        return SetupDiGetDeviceRegistryPropertyW(set, device, property, dataType, buffer,
                                                 bufferSize, requiredSize);
    }
    BOOL DestroyDeviceInfoList(HDEVINFO set) override { return SetupDiDestroyDeviceInfoList(set); }
    HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) override { return ::LocalAlloc(flags, bytes); }
    HLOCAL LocalFree(HLOCAL memory) override { return ::LocalFree(memory); }
    DWORD GetLastError() override { return ::GetLastError(); }
};

SetupApiPlatform systemPlatform;
DevicePlatform* currentPlatform = &systemPlatform;

}  // namespace

DevicePlatform& SystemDevicePlatform() { return systemPlatform; }

DevicePlatform& CurrentDevicePlatform() { return *currentPlatform; }

ScopedDevicePlatform::ScopedDevicePlatform(DevicePlatform& platform) : previous(currentPlatform)
{
    currentPlatform = &platform;
}

ScopedDevicePlatform::~ScopedDevicePlatform() { currentPlatform = previous; }

DeviceInfoSet::DeviceInfoSet(DeviceInfoSet&& other) noexcept
    : platform(other.platform), handle(std::exchange(other.handle, INVALID_HANDLE_VALUE))
{
}

DeviceInfoSet& DeviceInfoSet::operator=(DeviceInfoSet&& other) noexcept
{
    if (this != &other) {
        Close();
        platform = other.platform;
        handle = std::exchange(other.handle, INVALID_HANDLE_VALUE);
    }
    return *this;
}

void DeviceInfoSet::Close()
{
    if (IsOpen())
        platform->DestroyDeviceInfoList(std::exchange(handle, INVALID_HANDLE_VALUE));
}

LocalBuffer::LocalBuffer(LocalBuffer&& other) noexcept
    : platform(other.platform),
      memory(std::exchange(other.memory, nullptr)),
      size(std::exchange(other.size, 0))
{
}

LocalBuffer& LocalBuffer::operator=(LocalBuffer&& other) noexcept
{
    if (this != &other) {
        Free();
        platform = other.platform;
        memory = std::exchange(other.memory, nullptr);
        size = std::exchange(other.size, 0);
    }
    return *this;
}

bool LocalBuffer::Allocate(SIZE_T bytes)
{
    Free();
    memory = platform->LocalAlloc(LMEM_ZEROINIT, bytes);
    if (memory == nullptr)
        return false;
    size = bytes;
    return true;
}

void LocalBuffer::Free()
{
    if (memory != nullptr)
        platform->LocalFree(std::exchange(memory, nullptr));
    size = 0;
}
