// One move-only owner for every kind of system resource the program and its
// harness hold. Each kind names its handle type, its "empty" value, which
// values hold nothing, and how a resource is released. A resource the
// program got through a platform is released through that platform, so a
// stand-in sees the release too; code that calls the system directly (the
// harness and the tests) owns kinds whose release is the system's own call,
// defined beside that code (harness/owned/system_owned.h).
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <type_traits>
#include <utility>

#include "support/platform/platform.h"

template <class Kind>
class Owned {
public:
    using Handle = typename Kind::Handle;

    Owned() = default;
    Owned(Platform& platform, Handle handle) : platform(&platform), handle(handle)
    {
        static_assert(kThroughPlatform, "this kind is released by the system itself");
    }
    explicit Owned(Handle handle) : handle(handle)
    {
        static_assert(!kThroughPlatform, "this kind is released through a platform");
    }
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
        if (!*this)
            return;
        Handle held = std::exchange(handle, Kind::Empty());
        if constexpr (kThroughPlatform)
            Kind::Release(*platform, held);
        else
            Kind::Release(held);
    }

private:
    static constexpr bool kThroughPlatform =
        std::is_invocable_v<decltype(&Kind::Release), Platform&, Handle>;

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
