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

// The devices the lists show, in order: present ones with a hardware id,
// each with its first id upper-cased. Empty when the walk fails.
std::vector<ExpectedDevice> ExpectedPresentDevices();
