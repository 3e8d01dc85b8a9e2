// One walk over the devices through the real Setup API, written plainly and
// apart from the product: what the product's lists are checked against, and
// the walk the harness tools (device simulator, benchmark floor) make.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/kit/expected_blocks.h"

struct ReferenceDevice {
    std::wstring instanceId;               // read only when asked for
    GUID setupClass = {};
    std::vector<std::wstring> hardwareIds;  // as stored; empty when the device has none
    std::wstring description;              // empty when the device has none
};

struct ReferenceScope {
    const GUID* setupClass = nullptr;  // null: every class
    bool presentOnly = true;
    // Instance ids cost another request a device; the property reads are
    // those the product makes, so a walk without ids does the product's work.
    bool instanceIds = false;
};

// Every device of `scope` in the platform's order, both properties read for
// each (hardware ids first). False when no set could be had or the walk
// ended other than at its last device; what was read stays in `devices`.
bool ReferenceWalk(std::vector<ReferenceDevice>* devices, const ReferenceScope& scope = {});

// The device paths of the present interfaces of `interfaceClass`, in the
// platform's order. Empty when there are none or no set could be had.
std::vector<std::wstring> ReferenceInterfacePaths(const GUID& interfaceClass);

// The letter of the drive that holds the Windows folder, the machine's real
// system drive (C under Wine); 0 when it cannot be read.
wchar_t SystemDriveLetter();

// What the drive lookup must find for a fixed drive: the first hardware id,
// upper-cased, of the first disk interface whose path names a disk as the
// lookup reads paths (the lower-case word "storage" or "usbstor", and neither
// "floppy" nor "cdrom") and whose device answers with the device number of
// the drive's volume. Empty when none does (Wine lists no disk interfaces; a
// Windows PC's system disk is mostly "scsi#disk...") or the volume gives no
// number.
std::wstring ReferenceFixedDriveHardwareId(wchar_t letter);

// The devices the lists show, in order: present ones with a hardware id,
// each with its first id upper-cased. Empty when the walk fails.
std::vector<ExpectedDevice> ExpectedPresentDevices();
