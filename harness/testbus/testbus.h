// Control of the test bus driver (ostrivo_testbus.sys) from user mode: its
// installation in the prefix, its children, the drive letters given to them,
// and the clean-up that leaves nothing behind.
//
// Every call answers with a Status: ok, or the failed step and the system's
// error code, which is also left in GetLastError. No call waits without a
// bound; each wait ends as soon as what it waits for has happened.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "bounds.h"

namespace testbus {

extern const wchar_t kServiceName[];       // the kernel service
extern const wchar_t kRootInstanceId[];    // the root device that loads it
extern const wchar_t kInstanceMark[];      // starts every child's instance part

struct Status {
    bool ok = true;
    DWORD error = 0;    // the system's code, also left in GetLastError
    std::string step;   // what failed, for a message

    explicit operator bool() const { return ok; }
    std::string Describe() const;  // "ok", or "<step>: error <n>"
};

// What a child is: hardware ids (first one first), the text its bus reports,
// its setup class, the device-interface class it enables (none: no
// interface, so Wine tells no window about it), and for a disk its device
// number and whether it is removable.
struct ChildPlan {
    std::vector<std::wstring> hardwareIds;
    std::wstring description;   // empty: none
    GUID setupClass = {};       // all zero: none written
    GUID interfaceClass = {};   // all zero: no interface
    bool disk = false;
    bool removable = false;
    DWORD deviceNumber = 0;
    // False: the bus reports an empty list of hardware ids (the first one
    // still forms the device's id, as a bus must give one). Wine makes no
    // device at all of a child whose bus fails that query.
    bool reportsHardwareIds = true;
};

struct Child {
    ULONG serial = 0;
    std::wstring instanceId;    // as Wine's Enum key names it
};

extern const GUID kDiskInterface;       // GUID_DEVINTERFACE_DISK
extern const GUID kVolumeInterface;     // GUID_DEVINTERFACE_VOLUME
extern const GUID kUsbSetupClass;       // GUID_DEVCLASS_USB
extern const GUID kDiskSetupClass;      // GUID_DEVCLASS_DISKDRIVE
extern const GUID kUsbDeviceInterface;  // GUID_DEVINTERFACE_USB_DEVICE

// Copies the image into the prefix's drivers folder and makes the kernel
// service and the root device whose service it is. Idempotent: *changed says
// whether anything was new, in which case Wine reads the device tree only
// once the prefix starts again (end the wineserver, then Start).
Status Install(const std::wstring& imagePath, bool* changed);

// Starts the service and waits until the control device opens.
Status Start(const bounds::Bound& bound = bounds::kDriverStart);

// Whether the control device opens now.
bool Running();

// Adds a child; returns once Wine has started it (its interface enabled).
Status AddChild(const ChildPlan& plan, Child* child, const bounds::Bound& bound = bounds::kDevice);

// Removes a child; returns once Wine has removed it.
Status RemoveChild(ULONG serial, const bounds::Bound& bound = bounds::kDevice);

// Removes every child; returns once the last one is gone.
Status RemoveAllChildren(const bounds::Bound& bound = bounds::kDevice);

// Defines `letter` through Wine's mount manager, backed by `folder` (a
// Windows path to an existing folder), as a fixed or removable drive. The
// letter must be free; it is recorded so that Clean removes it.
Status DefineLetter(wchar_t letter, const std::wstring& folder, bool removable);

// Removes a letter that DefineLetter made.
Status RemoveLetter(wchar_t letter);

// The device number that the volume of `letter` answers: what a disk child
// must answer for the drive lookup to find it.
Status VolumeDeviceNumber(wchar_t letter, DWORD* number);

// Removes every child (when the driver runs), every letter DefineLetter
// made, and every registry entry of a child that Wine left behind.
Status Clean(const bounds::Bound& bound = bounds::kDevice);

// Children and letters of one test, all removed when it goes.
class Scope {
public:
    Scope() = default;
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    Status Add(const ChildPlan& plan, Child* child = nullptr);
    Status Remove(ULONG serial);
    Status Letter(wchar_t letter, const std::wstring& folder, bool removable);

private:
    std::vector<ULONG> serials_;
    std::vector<wchar_t> letters_;
};

}  // namespace testbus
