// Simulated devices: root-enumerated devices of the USB setup class added and
// removed through the real Setup API, seen by every program in the prefix.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace devsim {

// Every simulated device's instance id starts with this, which is how the
// simulator finds its own devices again.
extern const wchar_t kInstancePrefix[];

struct DevicePlan {
    std::optional<std::wstring> description;  // none: no description property
    std::vector<std::wstring> hardwareIds;    // empty: no hardware-id property
};

// One device, with an id that the Setup API generates.
bool AddDevice(const DevicePlan& plan, std::wstring* instanceId);

// Many devices in one set, with ids chosen here: far faster than generated
// ids, whose search for a free number grows with every device added.
bool AddDevices(const std::vector<DevicePlan>& plans, std::vector<std::wstring>* instanceIds);

// Devices with distinct USB hardware ids, described "devsim <tag> <i>".
std::vector<DevicePlan> TaggedPlans(unsigned count, const std::wstring& tag);
std::wstring TagDescriptionPrefix(const std::wstring& tag);

bool RemoveDevice(const std::wstring& instanceId);
bool RemoveDevices(const std::vector<std::wstring>& instanceIds);

struct SimulatedDevice {
    std::wstring instanceId;
    std::wstring description;
    std::wstring firstHardwareId;
};

// Simulated devices in the platform's order; present ones only, or all.
bool ListDevices(std::vector<SimulatedDevice>* devices, bool presentOnly = true);

// Removes every simulated device; the number removed, or -1 on a failure.
int ClearDevices();

}  // namespace devsim
