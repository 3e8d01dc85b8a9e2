#include "harness/devsim/devsim.h"

#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <cwchar>
#include <utility>

#include "support/platform/owned.h"
#include "tests/kit/reference_walk.h"

namespace devsim {

const wchar_t kInstancePrefix[] = L"ROOT\\OSTRIVOSIM\\";

namespace {

const wchar_t kDeviceName[] = L"OSTRIVOSIM";
const DWORD kMaxInstanceId = 201;  // the platform's longest instance id and its NUL

bool HasPrefix(const std::wstring& text, const wchar_t* prefix)
{
    return _wcsnicmp(text.c_str(), prefix, wcslen(prefix)) == 0;
}

std::wstring InstanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    wchar_t id[kMaxInstanceId] = {};
    if (!SetupDiGetDeviceInstanceIdW(set, &device, id, kMaxInstanceId, nullptr))
        return std::wstring();
    return id;
}

std::vector<BYTE> MultiSz(const std::vector<std::wstring>& items)
{
    std::wstring joined;
    for (const std::wstring& item : items) {
        joined += item;
        joined += L'\0';
    }
    joined += L'\0';
    const BYTE* bytes = reinterpret_cast<const BYTE*>(joined.data());
    return std::vector<BYTE>(bytes, bytes + joined.size() * sizeof(wchar_t));
}

bool SetProperties(HDEVINFO set, SP_DEVINFO_DATA& device, const DevicePlan& plan)
{
    if (!plan.hardwareIds.empty()) {
        std::vector<BYTE> ids = MultiSz(plan.hardwareIds);
        if (!SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, ids.data(),
                                               DWORD(ids.size())))
            return false;
    }
    if (plan.description) {
        const std::wstring& text = *plan.description;
        if (!SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_DEVICEDESC,
                                               reinterpret_cast<const BYTE*>(text.c_str()),
                                               DWORD((text.size() + 1) * sizeof(wchar_t))))
            return false;
    }
    return true;
}

// Creates, describes and registers one device; an unregistered leftover is
// deleted again so no phantom stays behind.
bool CreateDevice(HDEVINFO set, const wchar_t* name, DWORD flags, const DevicePlan& plan,
                  std::wstring* instanceId, DWORD* error)
{
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    const wchar_t* description = plan.description ? plan.description->c_str() : nullptr;
    if (!SetupDiCreateDeviceInfoW(set, name, &GUID_DEVCLASS_USB, description, nullptr, flags,
                                  &device)) {
        *error = GetLastError();
        return false;
    }
    if (!SetProperties(set, device, plan) ||
        !SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr)) {
        *error = GetLastError();
        SetupDiRemoveDevice(set, &device);
        SetupDiDeleteDeviceInfo(set, &device);
        return false;
    }
    if (instanceId)
        *instanceId = InstanceIdOf(set, device);
    return true;
}

unsigned NextFreeNumber()
{
    std::vector<SimulatedDevice> existing;
    ListDevices(&existing, false);
    unsigned next = 0;
    for (const SimulatedDevice& device : existing) {
        unsigned number = wcstoul(device.instanceId.c_str() + wcslen(kInstancePrefix), nullptr, 10);
        if (number + 1 > next)
            next = number + 1;
    }
    return next;
}

std::wstring NumberedId(unsigned number)
{
    wchar_t id[64];
    swprintf(id, 64, L"%ls%04u", kInstancePrefix, number);
    return id;
}

unsigned TagHash(const std::wstring& tag)
{
    unsigned hash = 2166136261u;
    for (wchar_t c : tag)
        hash = (hash ^ unsigned(c)) * 16777619u;
    return hash;
}

}  // namespace

bool AddDevice(const DevicePlan& plan, std::wstring* instanceId)
{
    DeviceInfoSet set(SystemPlatform(), SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_USB, nullptr));
    if (!set)
        return false;
    DWORD error = 0;
    return CreateDevice(set.Get(), kDeviceName, DICD_GENERATE_ID, plan, instanceId, &error);
}

bool AddDevices(const std::vector<DevicePlan>& plans, std::vector<std::wstring>* instanceIds)
{
    DeviceInfoSet set(SystemPlatform(), SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_USB, nullptr));
    if (!set)
        return false;
    unsigned number = NextFreeNumber();
    for (const DevicePlan& plan : plans) {
        std::wstring id;
        DWORD error = 0;
        for (;;) {
            std::wstring name = NumberedId(number++);
            if (CreateDevice(set.Get(), name.c_str(), 0, plan, &id, &error))
                break;
            if (error != ERROR_DEVINST_ALREADY_EXISTS)
                return false;
        }
        if (instanceIds)
            instanceIds->push_back(id);
    }
    return true;
}

std::wstring TagDescriptionPrefix(const std::wstring& tag) { return L"devsim " + tag + L" "; }

std::vector<DevicePlan> TaggedPlans(unsigned count, const std::wstring& tag)
{
    // The vendor number follows from the tag, so two tags rarely share ids.
    unsigned vendor = 0xD000 + TagHash(tag) % 0x1000;
    std::vector<DevicePlan> plans;
    for (unsigned i = 0; i < count; ++i) {
        wchar_t id[64];
        swprintf(id, 64, L"USB\\VID_%04X&PID_%04X&REV_0001", (vendor + i / 0x10000) & 0xFFFF,
                 i & 0xFFFF);
        DevicePlan plan;
        plan.description = TagDescriptionPrefix(tag) + std::to_wstring(i);
        plan.hardwareIds.push_back(id);
        plans.push_back(std::move(plan));
    }
    return plans;
}

bool RemoveDevice(const std::wstring& instanceId) { return RemoveDevices({instanceId}); }

bool RemoveDevices(const std::vector<std::wstring>& instanceIds)
{
    // One set for all: opening a set walks every device in the prefix.
    DeviceInfoSet set(SystemPlatform(),
                      SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set)
        return false;
    for (const std::wstring& id : instanceIds) {
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof(device);
        if (!SetupDiOpenDeviceInfoW(set.Get(), id.c_str(), nullptr, 0, &device) ||
            !SetupDiRemoveDevice(set.Get(), &device))
            return false;
    }
    return true;
}

bool ListDevices(std::vector<SimulatedDevice>* devices, bool presentOnly)
{
    devices->clear();
    ReferenceScope scope;
    scope.presentOnly = presentOnly;
    scope.instanceIds = true;
    std::vector<ReferenceDevice> all;
    bool whole = ReferenceWalk(&all, scope);
    for (const ReferenceDevice& device : all) {
        if (!HasPrefix(device.instanceId, kInstancePrefix))
            continue;
        devices->push_back({device.instanceId, device.description,
                            device.hardwareIds.empty() ? std::wstring() : device.hardwareIds[0]});
    }
    return whole;
}

int ClearDevices()
{
    std::vector<SimulatedDevice> ours;
    if (!ListDevices(&ours, false))
        return -1;
    std::vector<std::wstring> ids;
    for (const SimulatedDevice& device : ours)
        ids.push_back(device.instanceId);
    // All in one set: opening a set walks every device in the prefix.
    return RemoveDevices(ids) ? int(ids.size()) : -1;
}

}  // namespace devsim
