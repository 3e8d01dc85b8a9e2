// The test bus's control library against the running driver (the harness
// installs and starts it): what the Setup API then lists, how failures are
// told, and that clean-up leaves nothing behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "system_owned.h"
#include "testbus.h"
#include "tests/kit/reference_walk.h"

namespace {

::testing::AssertionResult Done(const testbus::Status& status)
{
    if (status)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << status.Describe();
}

bool Listed(const std::wstring& instanceId, ReferenceDevice* found = nullptr)
{
    ReferenceScope scope;
    scope.instanceIds = true;
    std::vector<ReferenceDevice> devices;
    ReferenceWalk(&devices, scope);
    for (const ReferenceDevice& device : devices) {
        if (lstrcmpiW(device.instanceId.c_str(), instanceId.c_str()) == 0) {
            if (found)
                *found = device;
            return true;
        }
    }
    return false;
}

bool KeyExists(const std::wstring& path)
{
    HKEY key = nullptr;
    bool opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    RegistryKey owned(opened ? key : nullptr);
    return opened;
}

const wchar_t kEnum[] = L"System\\CurrentControlSet\\Enum\\";

}  // namespace

TEST(TestBus, ChildIsListedAsPlannedAndGoneOnceRemoved)
{
    testbus::ChildPlan plan;
    plan.hardwareIds = {L"USB\\VID_7E57&PID_0001&REV_0002", L"USB\\VID_7E57&PID_0001"};
    plan.description = L"testbus listed";
    plan.setupClass = testbus::kUsbSetupClass;
    plan.interfaceClass = testbus::kUsbDeviceInterface;
    testbus::Child child;
    ASSERT_TRUE(Done(testbus::AddChild(plan, &child)));
    EXPECT_EQ(L"USB\\VID_7E57&PID_0001&REV_0002\\OSTRIVOTB&", child.instanceId.substr(0, 41));

    ReferenceDevice device;
    ASSERT_TRUE(Listed(child.instanceId, &device));
    EXPECT_EQ(L"testbus listed", device.description);
    EXPECT_EQ(plan.hardwareIds, device.hardwareIds);
    EXPECT_TRUE(IsEqualGUID(testbus::kUsbSetupClass, device.setupClass));

    ASSERT_TRUE(Done(testbus::RemoveChild(child.serial)));
    EXPECT_FALSE(Listed(child.instanceId));
    EXPECT_FALSE(KeyExists(kEnum + child.instanceId));
    // Its serial names nothing any more.
    testbus::Status again = testbus::RemoveChild(child.serial);
    EXPECT_FALSE(again.ok);
    EXPECT_EQ(DWORD(ERROR_NOT_FOUND), again.error);
}

TEST(TestBus, FailuresNameTheStepAndKeepTheError)
{
    testbus::ChildPlan noIds;
    testbus::ChildPlan emptyId;
    emptyId.hardwareIds = {L""};
    testbus::ChildPlan longText;
    longText.hardwareIds = {L"USB\\VID_7E57&PID_0002"};
    longText.description = std::wstring(300, L'x');
    const struct {
        const char* name;
        testbus::Status (*call)(const testbus::ChildPlan*);
        const testbus::ChildPlan* plan;
        DWORD error;
    } cases[] = {
        {"no hardware id", [](const testbus::ChildPlan* p) { return testbus::AddChild(*p, nullptr); },
         &noIds, ERROR_INVALID_PARAMETER},
        {"empty hardware id", [](const testbus::ChildPlan* p) { return testbus::AddChild(*p, nullptr); },
         &emptyId, ERROR_INVALID_PARAMETER},
        {"description too long",
         [](const testbus::ChildPlan* p) { return testbus::AddChild(*p, nullptr); }, &longText,
         ERROR_INVALID_PARAMETER},
        {"unknown serial", [](const testbus::ChildPlan*) { return testbus::RemoveChild(0xFFFFFFF0u); },
         nullptr, ERROR_NOT_FOUND},
        {"letter C", [](const testbus::ChildPlan*) { return testbus::DefineLetter(L'C', L"C:\\", false); },
         nullptr, ERROR_INVALID_PARAMETER},
        {"letter not defined here", [](const testbus::ChildPlan*) { return testbus::RemoveLetter(L'Y'); },
         nullptr, ERROR_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(0);
        testbus::Status status = c.call(c.plan);
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(c.error, status.error);
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_FALSE(status.step.empty());
        EXPECT_NE(std::string::npos, status.Describe().find(std::to_string(c.error)));
    }
}

TEST(TestBus, CleanLeavesNoChildLetterOrRegistryEntry)
{
    // What a test that crashed would leave: children, a letter, and the Enum
    // and interface entries of a child that Wine removed without them.
    testbus::ChildPlan plan;
    plan.hardwareIds = {L"USBSTOR\\Disk&Ven_Ostrivo&Prod_Clean"};
    plan.interfaceClass = testbus::kDiskInterface;
    plan.disk = true;
    testbus::Child first, second;
    ASSERT_TRUE(Done(testbus::AddChild(plan, &first)));
    ASSERT_TRUE(Done(testbus::AddChild(plan, &second)));
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const wchar_t letter = L'X';
    ASSERT_FALSE((GetLogicalDrives() >> (letter - L'A')) & 1);
    ASSERT_TRUE(Done(testbus::DefineLetter(letter, temp, true)));
    ASSERT_TRUE((GetLogicalDrives() >> (letter - L'A')) & 1);
    const std::wstring leftover = std::wstring(kEnum) + L"OSTRIVOTB\\LEFTOVER\\OSTRIVOTB&9999";
    const std::wstring interfaces =
        L"System\\CurrentControlSet\\Control\\DeviceClasses\\{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    const std::wstring leftoverInterface = interfaces + L"\\##?#ostrivotb#leftover#ostrivotb&9999#x";
    for (const std::wstring& path : {leftover, leftoverInterface}) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegistryKey owned(key);
        const wchar_t instance[] = L"OSTRIVOTB\\LEFTOVER\\OSTRIVOTB&9999";
        RegSetValueExW(key, L"DeviceInstance", 0, REG_SZ, reinterpret_cast<const BYTE*>(instance),
                       sizeof instance);
    }
    // Somebody else's interface entry stays.
    const std::wstring foreign = interfaces + L"\\##?#other#device#0#x";
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, foreign.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegistryKey owned(key);
        const wchar_t other[] = L"OTHER\\DEVICE\\0";
        RegSetValueExW(key, L"DeviceInstance", 0, REG_SZ, reinterpret_cast<const BYTE*>(other), sizeof other);
    }

    ASSERT_TRUE(Done(testbus::Clean()));
    EXPECT_FALSE(Listed(first.instanceId));
    EXPECT_FALSE(Listed(second.instanceId));
    EXPECT_FALSE((GetLogicalDrives() >> (letter - L'A')) & 1);
    EXPECT_FALSE(KeyExists(leftover));
    EXPECT_FALSE(KeyExists(std::wstring(kEnum) + L"OSTRIVOTB"));
    EXPECT_FALSE(KeyExists(leftoverInterface));
    EXPECT_TRUE(KeyExists(foreign));
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, foreign.c_str());
    // Nothing left to do the second time, and the bus still works.
    EXPECT_TRUE(Done(testbus::Clean()));
    EXPECT_TRUE(testbus::Running());
}
