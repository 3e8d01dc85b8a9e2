#include "harness/devsim/devsim.h"

#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <cwchar>
#include <cwctype>
#include <utility>

namespace devsim {

const wchar_t kInstancePrefix[] = L"ROOT\\OSTRIVOSIM\\";

namespace {

const wchar_t kDeviceName[] = L"OSTRIVOSIM";
const DWORD kMaxInstanceId = 201;  // the platform's longest instance id and its NUL

class SetHandle {
public:
    explicit SetHandle(HDEVINFO handle) : handle(handle) {}
    SetHandle(const SetHandle&) = delete;
    SetHandle& operator=(const SetHandle&) = delete;
    ~SetHandle()
    {
        if (IsOpen())
            SetupDiDestroyDeviceInfoList(handle);
    }
    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
    HDEVINFO Get() const { return handle; }

private:
    HDEVINFO handle;
};

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

std::wstring ReadText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    std::vector<BYTE> data(512);
    DWORD required = 0;
    while (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, data.data(),
                                              DWORD(data.size()), &required)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= data.size())
            return std::wstring();
        data.assign(required + 2, 0);
    }
    data.push_back(0);
    data.push_back(0);
    return reinterpret_cast<const wchar_t*>(data.data());
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
    SetHandle set(SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_USB, nullptr));
    if (!set.IsOpen())
        return false;
    DWORD error = 0;
    return CreateDevice(set.Get(), kDeviceName, DICD_GENERATE_ID, plan, instanceId, &error);
}

bool AddDevices(const std::vector<DevicePlan>& plans, std::vector<std::wstring>* instanceIds)
{
    SetHandle set(SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_USB, nullptr));
    if (!set.IsOpen())
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
    SetHandle set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set.IsOpen())
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
    DWORD flags = DIGCF_ALLCLASSES | (presentOnly ? DIGCF_PRESENT : 0);
    SetHandle set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, flags));
    if (!set.IsOpen())
        return false;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.Get(), i, &device); ++i) {
        std::wstring id = InstanceIdOf(set.Get(), device);
        if (!HasPrefix(id, kInstancePrefix))
            continue;
        devices->push_back({id, ReadText(set.Get(), device, SPDRP_DEVICEDESC),
                            ReadText(set.Get(), device, SPDRP_HARDWAREID)});
    }
    return GetLastError() == ERROR_NO_MORE_ITEMS;
}

int ClearDevices()
{
    SetHandle set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set.IsOpen())
        return -1;
    // Collected first and removed within the same set: reopening a set for
    // each removal would cost a walk over every device each time.
    std::vector<SP_DEVINFO_DATA> ours;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.Get(), i, &device); ++i) {
        if (HasPrefix(InstanceIdOf(set.Get(), device), kInstancePrefix))
            ours.push_back(device);
    }
    if (GetLastError() != ERROR_NO_MORE_ITEMS)
        return -1;
    for (SP_DEVINFO_DATA& member : ours) {
        if (!SetupDiRemoveDevice(set.Get(), &member))
            return -1;
    }
    return int(ours.size());
}

}  // namespace devsim
