// The enumeration against the real Setup API, with devices added by the
// simulator. Every test leaves the simulated devices as it found them.
#include <gtest/gtest.h>

#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bounds.h"
#include "spawn.h"
#include "system_owned.h"
#include "devices/baseline.h"
#include "devices/enumeration.h"
#include "harness/devsim/devsim.h"
#include "tests/kit/beside.h"
#include "tests/kit/reference_walk.h"

namespace {

using Ids = std::vector<std::wstring>;

Ids SimulatedIds()
{
    std::vector<devsim::SimulatedDevice> devices;
    EXPECT_TRUE(devsim::ListDevices(&devices, false));
    Ids ids;
    for (const devsim::SimulatedDevice& device : devices)
        ids.push_back(device.instanceId);
    return ids;
}

Ids HardwareIdsOf(const DeviceList& list)
{
    Ids ids;
    for (unsigned i = 0; i < list.Size(); ++i)
        ids.push_back(list.At(i).hardwareId.Text());
    return ids;
}

const DeviceEntry* FindEntry(const DeviceList& list, const wchar_t* hardwareId)
{
    for (unsigned i = 0; i < list.Size(); ++i) {
        if (list.At(i).hardwareId.Equals(hardwareId))
            return &list.At(i);
    }
    return nullptr;
}

devsim::DevicePlan Plan(const wchar_t* description, Ids hardwareIds)
{
    devsim::DevicePlan plan;
    if (description)
        plan.description = description;
    plan.hardwareIds = std::move(hardwareIds);
    return plan;
}

class SimulatedDevices : public testing::Test {
protected:
    void SetUp() override { before = SimulatedIds(); }

    void TearDown() override
    {
        Ids present = SimulatedIds();
        Ids left;
        for (const std::wstring& id : added) {
            if (std::find(present.begin(), present.end(), id) != present.end())
                left.push_back(id);
        }
        EXPECT_TRUE(devsim::RemoveDevices(left));
        EXPECT_EQ(before, SimulatedIds()) << "simulated devices left behind";
    }

    std::wstring Add(const devsim::DevicePlan& plan)
    {
        std::wstring id;
        EXPECT_TRUE(devsim::AddDevice(plan, &id));
        added.push_back(id);
        return id;
    }

    Ids AddMany(const std::vector<devsim::DevicePlan>& plans)
    {
        Ids ids;
        EXPECT_TRUE(devsim::AddDevices(plans, &ids));
        added.insert(added.end(), ids.begin(), ids.end());
        return ids;
    }

    void Remove(const std::wstring& id) { EXPECT_TRUE(devsim::RemoveDevice(id)) << id.c_str(); }

    Ids before;
    Ids added;
};

// What the scripted platform assumes of the real one.
TEST_F(SimulatedDevices, SetupApiAnswersAsTheScriptAssumes)
{
    Add(Plan(nullptr, {L"USB\\VID_5EED&PID_0001"}));

    SetLastError(0xdeadbeef);
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    bool sawMissing = false;
    DWORD index = 0;
    for (; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        DWORD required = 0;
        SetLastError(0xdeadbeef);
        BOOL ok = SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr,
                                                    nullptr, 0, &required);
        EXPECT_FALSE(ok);
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER)
            EXPECT_GT(required, 0u);
        else
            EXPECT_EQ(DWORD(ERROR_INVALID_DATA), GetLastError());

        SetLastError(0xdeadbeef);
        ok = SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_DEVICEDESC, nullptr, nullptr,
                                               0, &required);
        EXPECT_FALSE(ok);
        if (GetLastError() == ERROR_INVALID_DATA)
            sawMissing = true;
        SetLastError(0xdeadbeef);
        device.cbSize = sizeof(device);
    }
    EXPECT_EQ(DWORD(ERROR_NO_MORE_ITEMS), GetLastError());
    EXPECT_GT(index, 0u);
    EXPECT_TRUE(sawMissing) << "the device without description";
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SimulatedDevices, EntriesFollowTheHardwareIdRules)
{
    DeviceList start;
    ASSERT_TRUE(EnumerateDevices(start));

    Add(Plan(L"Sim Lower Case", {L"usb\\vid_0a5c&pid_21e8&rev_0a10", L"usb\\vid_0a5c&pid_21e8"}));
    Add(Plan(L"Sim without ids", {}));
    Add(Plan(nullptr, {L"USB\\VID_5EED&PID_0002&MI_01"}));
    Add(Plan(L"Sim HID", {L"HID\\VID_5EED&PID_0003"}));

    DeviceList list;
    ASSERT_TRUE(EnumerateDevices(list));
    EXPECT_EQ(start.Size() + 3, list.Size());

    const DeviceEntry* lower = FindEntry(list, L"USB\\VID_0A5C&PID_21E8&REV_0A10");
    ASSERT_NE(nullptr, lower);
    EXPECT_STREQ(L"Sim Lower Case", lower->description.Text());
    EXPECT_EQ(0x0A5C, lower->vendorId);
    EXPECT_EQ(0x21E8, lower->productId);
    EXPECT_EQ(nullptr, FindEntry(list, L"USB\\VID_0A5C&PID_21E8"));

    for (unsigned i = 0; i < list.Size(); ++i)
        EXPECT_FALSE(list.At(i).description.Equals(L"Sim without ids"));

    const DeviceEntry* undescribed = FindEntry(list, L"USB\\VID_5EED&PID_0002&MI_01");
    ASSERT_NE(nullptr, undescribed);
    EXPECT_TRUE(undescribed->description.IsEmpty());
    EXPECT_EQ(0x5EED, undescribed->vendorId);
    EXPECT_EQ(0x0002, undescribed->productId);

    const DeviceEntry* hid = FindEntry(list, L"HID\\VID_5EED&PID_0003");
    ASSERT_NE(nullptr, hid);
    EXPECT_EQ(0, hid->vendorId);
    EXPECT_EQ(0, hid->productId);
}

// The raw walk, read independently by the kit: every device with a
// hardware id, its first id upper-cased, in the platform's order.
Ids ReferenceIds()
{
    Ids ids;
    for (const ExpectedDevice& device : ExpectedPresentDevices())
        ids.push_back(device.hardwareId);
    return ids;
}

TEST_F(SimulatedDevices, HundredsAreListedInThePlatformsOrder)
{
    const unsigned count = 200;
    AddMany(devsim::TaggedPlans(count, L"order"));

    DeviceList list;
    ASSERT_TRUE(EnumerateDevices(list));
    EXPECT_EQ(ReferenceIds(), HardwareIdsOf(list));

    std::vector<devsim::SimulatedDevice> simulated;
    ASSERT_TRUE(devsim::ListDevices(&simulated));
    Ids expected;
    for (const devsim::SimulatedDevice& device : simulated) {
        if (device.description.rfind(devsim::TagDescriptionPrefix(L"order"), 0) == 0)
            expected.push_back(device.firstHardwareId);
    }
    EXPECT_EQ(count, expected.size());
    Ids listed;
    for (unsigned i = 0; i < list.Size(); ++i) {
        if (std::wstring(list.At(i).description.Text()).rfind(L"devsim order ", 0) == 0)
            listed.push_back(list.At(i).hardwareId.Text());
    }
    EXPECT_EQ(expected, listed);
}

TEST_F(SimulatedDevices, BaselineSeesConnectedThenRemovedDevices)
{
    DeviceList baseline;
    ASSERT_TRUE(EnumerateDevices(baseline));
    DeviceList result;

    std::wstring first = Add(Plan(L"Sim first", {L"USB\\VID_5EED&PID_0101"}));
    std::wstring second = Add(Plan(L"Sim second", {L"USB\\VID_5EED&PID_0102"}));
    ASSERT_TRUE(CompareWithBaseline(baseline, result));
    Ids connected = HardwareIdsOf(result);
    std::sort(connected.begin(), connected.end());
    EXPECT_EQ((Ids{L"USB\\VID_5EED&PID_0101", L"USB\\VID_5EED&PID_0102"}), connected);

    Remove(first);
    Remove(second);
    ASSERT_TRUE(CompareWithBaseline(baseline, result));
    EXPECT_EQ(Ids{}, HardwareIdsOf(result));

    std::wstring third = Add(Plan(L"Sim third", {L"USB\\VID_5EED&PID_0103"}));
    ASSERT_TRUE(EnumerateDevices(baseline));
    Remove(third);
    ASSERT_TRUE(CompareWithBaseline(baseline, result));
    ASSERT_EQ(1u, result.Size());
    EXPECT_STREQ(L"USB\\VID_5EED&PID_0103", result.At(0).hardwareId.Text());
    EXPECT_STREQ(L"Sim third", result.At(0).description.Text());
}

// The simulator's fast path (ids chosen by it, one set) must give devices
// that are indistinguishable from those with generated ids.
struct Seen {
    bool present = false;
    Ids hardwareIds;
    std::wstring description;
};

Seen LookUpInClassSet(const std::wstring& instanceId)
{
    ReferenceScope scope;
    scope.setupClass = &GUID_DEVCLASS_USB;
    scope.instanceIds = true;
    std::vector<ReferenceDevice> devices;
    EXPECT_TRUE(ReferenceWalk(&devices, scope));
    Seen seen;
    for (const ReferenceDevice& device : devices) {
        if (device.instanceId == instanceId) {
            seen.present = IsEqualGUID(device.setupClass, GUID_DEVCLASS_USB);
            seen.hardwareIds = device.hardwareIds;
            seen.description = device.description;
        }
    }
    return seen;
}

std::string RunDevsim(const wchar_t* arguments)
{
    std::wstring command = L"\"" + BesideThisProgram(L"devsim.exe") + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return "no pipe";
    SystemHandle reading(readEnd);
    SystemHandle writing(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    bool started = spawn::StartProcess(nullptr, &command[0], true, 0, &startup, &process);
    SystemHandle child(process.hProcess);
    SystemHandle thread(process.hThread);
    writing.Reset();  // the child's copy alone keeps the pipe open: reading ends with it
    std::string output = started ? "" : "not started";
    char chunk[4096];
    DWORD got = 0;
    while (started && ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        output.append(chunk, got);
    if (started)
        WaitForSingleObject(child.Get(), bounds::Ms(bounds::kExit));
    return output;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST_F(SimulatedDevices, FastPathGivesTheSameDevicesAsGeneratedIds)
{
    Ids ids = {L"USB\\VID_5EED&PID_0201&REV_0001", L"USB\\VID_5EED&PID_0201"};
    std::wstring generated = Add(Plan(L"Sim generated", ids));
    std::wstring chosen = AddMany({Plan(L"Sim chosen", ids)}).at(0);
    ASSERT_NE(generated, chosen);

    Seen viaGenerated = LookUpInClassSet(generated);
    Seen viaChosen = LookUpInClassSet(chosen);
    EXPECT_TRUE(viaGenerated.present);
    EXPECT_TRUE(viaChosen.present);
    EXPECT_EQ(ids, viaGenerated.hardwareIds);
    EXPECT_EQ(ids, viaChosen.hardwareIds);
    EXPECT_EQ(L"Sim generated", viaGenerated.description);
    EXPECT_EQ(L"Sim chosen", viaChosen.description);

    // Another process in the prefix sees both.
    std::string listing = RunDevsim(L"list");
    EXPECT_NE(std::string::npos, listing.find(Narrow(generated) + "\t")) << listing;
    EXPECT_NE(std::string::npos, listing.find(Narrow(chosen) + "\t")) << listing;
}

TEST_F(SimulatedDevices, ClearRemovesEverySimulatedDevice)
{
    if (!before.empty())
        GTEST_SKIP() << "simulated devices from elsewhere are present";
    AddMany(devsim::TaggedPlans(5, L"clear"));
    Add(Plan(nullptr, {}));
    EXPECT_EQ(6, devsim::ClearDevices());
    EXPECT_EQ(Ids{}, SimulatedIds());
}

}  // namespace
