// The few Setup API and system calls the device inventory makes, behind one
// interface so a scripted platform can stand in for the real one.
#pragma once

#include <windows.h>
#include <setupapi.h>

class DevicePlatform {
public:
    virtual ~DevicePlatform() = default;

    virtual HDEVINFO GetClassDevs(const GUID* classGuid, const wchar_t* enumerator,
                                  HWND parent, DWORD flags) = 0;
    virtual BOOL EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) = 0;
    virtual BOOL GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device,
                                           DWORD property, DWORD* dataType, BYTE* buffer,
                                           DWORD bufferSize, DWORD* requiredSize) = 0;
    virtual BOOL DestroyDeviceInfoList(HDEVINFO set) = 0;
    virtual HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) = 0;
    virtual HLOCAL LocalFree(HLOCAL memory) = 0;
    virtual DWORD GetLastError() = 0;
};

// The Setup API of the running system.
DevicePlatform& SystemDevicePlatform();

// The platform that EnumerateDevices uses when none is named: the system's,
// unless a ScopedDevicePlatform is in force.
DevicePlatform& CurrentDevicePlatform();

// Makes `platform` current for its lifetime, then restores the previous one.
class ScopedDevicePlatform {
public:
    explicit ScopedDevicePlatform(DevicePlatform& platform);
    ~ScopedDevicePlatform();
    ScopedDevicePlatform(const ScopedDevicePlatform&) = delete;
    ScopedDevicePlatform& operator=(const ScopedDevicePlatform&) = delete;

private:
    DevicePlatform* previous;
};

// A device information set, destroyed through the platform that opened it.
class DeviceInfoSet {
public:
    DeviceInfoSet(DevicePlatform& platform, HDEVINFO handle) : platform(&platform), handle(handle) {}
    DeviceInfoSet(DeviceInfoSet&& other) noexcept;
    DeviceInfoSet& operator=(DeviceInfoSet&& other) noexcept;
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    ~DeviceInfoSet() { Close(); }

    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
    HDEVINFO Handle() const { return handle; }
    void Close();

private:
    DevicePlatform* platform;
    HDEVINFO handle;
};

// A LocalAlloc buffer, freed through the platform that allocated it.
class LocalBuffer {
public:
    explicit LocalBuffer(DevicePlatform& platform) : platform(&platform) {}
    LocalBuffer(LocalBuffer&& other) noexcept;
    LocalBuffer& operator=(LocalBuffer&& other) noexcept;
    LocalBuffer(const LocalBuffer&) = delete;
    LocalBuffer& operator=(const LocalBuffer&) = delete;
    ~LocalBuffer() { Free(); }

    // Frees the buffer held, then takes a zero-filled one of `bytes`.
    bool Allocate(SIZE_T bytes);
    void Free();
    BYTE* Bytes() const { return static_cast<BYTE*>(memory); }
    SIZE_T Size() const { return size; }

private:
    DevicePlatform* platform;
    HLOCAL memory = nullptr;
    SIZE_T size = 0;
};
