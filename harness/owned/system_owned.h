// The harness's and the tests' kinds for the one owner shape (Owned<Kind>):
// resources they got from the system directly, released by the system's own
// call. The program itself holds none of these.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <winsvc.h>

#include "support/platform/owned.h"

struct SystemDeviceInfoSetKind : DeviceInfoSetKind {
    static void Release(Handle set) { ::SetupDiDestroyDeviceInfoList(set); }
};

// Files, events, processes, threads: whatever CloseHandle ends. Calls fail
// with either null or INVALID_HANDLE_VALUE; an empty owner gives null, since
// INVALID_HANDLE_VALUE is also the current process's own pseudo-handle.
struct SystemHandleKind {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool Holds(Handle handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    static void Release(Handle handle) { ::CloseHandle(handle); }
};

struct ServiceKind {
    using Handle = SC_HANDLE;
    static Handle Empty() { return nullptr; }
    static bool Holds(Handle service) { return service != nullptr; }
    static void Release(Handle service) { ::CloseServiceHandle(service); }
};

struct RegistryKeyKind {
    using Handle = HKEY;
    static Handle Empty() { return nullptr; }
    static bool Holds(Handle key) { return key != nullptr; }
    static void Release(Handle key) { ::RegCloseKey(key); }
};

struct DesktopKind {
    using Handle = HDESK;
    static Handle Empty() { return nullptr; }
    static bool Holds(Handle desktop) { return desktop != nullptr; }
    static void Release(Handle desktop) { ::CloseDesktop(desktop); }
};

struct ModuleKind {
    using Handle = HMODULE;
    static Handle Empty() { return nullptr; }
    static bool Holds(Handle module) { return module != nullptr; }
    static void Release(Handle module) { ::FreeLibrary(module); }
};

// What the system allocated for the caller with LocalAlloc (FormatMessageW's
// buffer, say).
struct SystemLocalMemoryKind {
    using Handle = HLOCAL;
    static Handle Empty() { return nullptr; }
    static bool Holds(Handle memory) { return memory != nullptr; }
    static void Release(Handle memory) { ::LocalFree(memory); }
};

using SystemDeviceInfoSet = Owned<SystemDeviceInfoSetKind>;
using SystemHandle = Owned<SystemHandleKind>;
using ServiceHandle = Owned<ServiceKind>;
using RegistryKey = Owned<RegistryKeyKind>;
using DesktopHandle = Owned<DesktopKind>;
using ModuleHandle = Owned<ModuleKind>;
using SystemLocalMemory = Owned<SystemLocalMemoryKind>;
