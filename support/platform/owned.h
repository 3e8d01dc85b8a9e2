// One move-only owner for every kind of system resource the program holds.
// Each kind names its handle type, its "empty" value, which values hold
// nothing, and how a resource is released; the owner releases through the
// platform that handed the resource out.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <utility>

#include "support/platform/platform.h"

template <class Kind>
class Owned {
public:
    using Handle = typename Kind::Handle;

    Owned() = default;
    Owned(Platform& platform, Handle handle) : platform(&platform), handle(handle) {}
    Owned(Owned&& other) noexcept
        : platform(other.platform), handle(std::exchange(other.handle, Kind::Empty()))
    {
    }
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other) {
            Reset();
            platform = other.platform;
            handle = std::exchange(other.handle, Kind::Empty());
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Reset(); }

    Handle Get() const { return handle; }
    explicit operator bool() const { return Kind::Holds(handle); }

    void Reset()
    {
        if (*this)
            Kind::Release(*platform, std::exchange(handle, Kind::Empty()));
    }

private:
    Platform* platform = nullptr;
    Handle handle = Kind::Empty();
};

struct DeviceInfoSetKind {
    using Handle = HDEVINFO;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static bool Holds(Handle set) { return set != INVALID_HANDLE_VALUE; }
    static void Release(Platform& platform, Handle set) { platform.SetupDiDestroyDeviceInfoList(set); }
};

struct FileKind {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    // A null file handle is never an open one either.
    static bool Holds(Handle file) { return file != INVALID_HANDLE_VALUE && file != nullptr; }
    static void Release(Platform& platform, Handle file) { platform.CloseHandle(file); }
};

struct LocalMemoryKind {
    using Handle = HLOCAL;
    static Handle Empty() { return nullptr; }
    static bool Holds(Handle memory) { return memory != nullptr; }
    static void Release(Platform& platform, Handle memory) { platform.LocalFree(memory); }
};

using DeviceInfoSet = Owned<DeviceInfoSetKind>;
using FileHandle = Owned<FileKind>;
using LocalMemory = Owned<LocalMemoryKind>;
