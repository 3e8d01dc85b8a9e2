// The real program with real devices: children of the test bus driver arrive
// and leave through Wine's plug-and-play manager, which itself tells the
// dialog (no test sends WM_DEVICECHANGE here), and a disk child behind a
// drive letter of Wine's mount manager is what the drive lookup finds.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include "testbus.h"

using namespace e2e;

namespace {

::testing::AssertionResult Done(const testbus::Status& status)
{
    if (status)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "test bus: " << status.Describe();
}

// Waits until the control shows `expected`: the dialog changes it only when
// told of a device change, so this waits for Wine's broadcast and its effect.
::testing::AssertionResult Shows(const Program& program, int controlId, const std::wstring& expected)
{
    bounds::Wait wait(bounds::kBroadcast);
    std::wstring shown;
    for (;;) {
        shown = program.Text(controlId);
        if (shown == expected)
            return ::testing::AssertionSuccess();
        if (wait.Left() == 0)
            break;
        Sleep(5);
    }
    return ::testing::AssertionFailure() << "control " << controlId << " still shows \""
                                         << driver::ToUtf8(shown) << "\" instead of \""
                                         << driver::ToUtf8(expected) << "\" after "
                                         << wait.Report();
}

void ExpectAllDevicesShown(const Program& program)
{
    std::vector<ExpectedDevice> present = ExpectedPresentDevices();
    EXPECT_EQ(driver::ToUtf8(std::to_wstring(present.size())),
              driver::ToUtf8(program.Text(IDC_DEVICE_COUNT)));
    EXPECT_EQ(driver::ToUtf8(ExpectedBlocks(present)),
              driver::ToUtf8(program.Text(IDC_ALL_DEVICES)));
}

// A free letter that the other drive tests do not use either.
wchar_t FreeLetter()
{
    DWORD used = GetLogicalDrives();
    for (wchar_t letter : std::wstring(L"TUVWXY")) {
        if (!(used & (1u << (letter - L'A'))))
            return letter;
    }
    return 0;
}

std::wstring DriveFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"ostrivo-e2e-drive";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

}  // namespace

TEST(RealDevices, ArrivalAndRemovalReachTheDialogThroughWine)
{
    Program program;
    ASSERT_TRUE(program.Start());
    ExpectAllDevicesShown(program);
    ASSERT_EQ(L"", program.Text(IDC_CHANGED_DEVICES));

    // With and without a description; the vendor number above 0x7FFF.
    const struct {
        const char* name;
        std::wstring description;
        std::wstring hardwareId;
    } cases[] = {
        {"described", L"e2e testbus arrival", L"USB\\VID_E2EB&PID_0101&REV_0001"},
        {"no description", L"", L"usb\\vid_8e2e&pid_0102"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testbus::Scope bus;
        testbus::ChildPlan plan;
        plan.hardwareIds = {c.hardwareId, L"USB\\E2E_TESTBUS_SECOND_ID"};
        plan.description = c.description;
        plan.setupClass = testbus::kUsbSetupClass;
        plan.interfaceClass = testbus::kUsbDeviceInterface;
        testbus::Child child;
        ASSERT_TRUE(Done(bus.Add(plan, &child)));
        std::wstring upper = c.hardwareId;
        CharUpperBuffW(&upper[0], DWORD(upper.size()));
        ExpectedDevice arrived{c.description, upper};

        ASSERT_TRUE(Shows(program, IDC_CHANGED_DEVICES, ExpectedBlocks({arrived})));
        ExpectAllDevicesShown(program);
        EXPECT_NE(std::wstring::npos, program.Text(IDC_ALL_DEVICES).find(ExpectedBlocks({arrived})));

        ASSERT_TRUE(Done(bus.Remove(child.serial)));
        ASSERT_TRUE(Shows(program, IDC_CHANGED_DEVICES, L""));
        ExpectAllDevicesShown(program);
        EXPECT_EQ(std::wstring::npos, program.Text(IDC_ALL_DEVICES).find(upper));
    }
    EXPECT_TRUE(program.Answers());
    ASSERT_TRUE(driver::ClickButton(program.Dialog(), IDCANCEL));
    EXPECT_EQ(2u, program.ExitCode());
}

TEST(RealDevices, ChildWithoutInterfaceIsListedOnlyOnRefresh)
{
    // Wine tells windows of a child only when it enables an interface: the
    // dialog learns of this one when asked to look again.
    Program program;
    ASSERT_TRUE(program.Start());
    testbus::Scope bus;
    testbus::ChildPlan plan;
    plan.hardwareIds = {L"USB\\VID_E2EC&PID_0201"};
    plan.description = L"e2e testbus quiet";
    ASSERT_TRUE(Done(bus.Add(plan)));
    ASSERT_TRUE(program.Answers());
    EXPECT_EQ(L"", program.Text(IDC_CHANGED_DEVICES));

    ASSERT_TRUE(driver::SendCommand(program.Dialog(), IDC_REFRESH, BN_CLICKED));
    EXPECT_EQ(driver::ToUtf8(ExpectedBlocks({{L"e2e testbus quiet", L"USB\\VID_E2EC&PID_0201"}})),
              driver::ToUtf8(program.Text(IDC_CHANGED_DEVICES)));
    ExpectAllDevicesShown(program);
}

TEST(RealDevices, DriveLetterResolvesToTheDiskBehindIt)
{
    const struct {
        const char* name;
        bool removable;
    } cases[] = {{"removable", true}, {"fixed", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t letter = FreeLetter();
        ASSERT_NE(0, letter) << "no free drive letter";
        const std::wstring field(1, letter);
        {
            testbus::Scope bus;
            ASSERT_TRUE(Done(bus.Letter(letter, DriveFolder(), c.removable)));
            DWORD number = 0;
            ASSERT_TRUE(Done(testbus::VolumeDeviceNumber(letter, &number)));
            testbus::ChildPlan disk;
            disk.hardwareIds = {L"USBSTOR\\Disk&Ven_Ostrivo&Prod_E2E_Stick&Rev_1.00",
                                L"USBSTOR\\Disk&Ven_Ostrivo&Prod_E2E_Stick", L"GenDisk"};
            disk.description = L"e2e testbus stick";
            disk.setupClass = testbus::kDiskSetupClass;
            disk.interfaceClass = testbus::kDiskInterface;
            disk.disk = true;
            disk.removable = c.removable;
            disk.deviceNumber = number;
            ASSERT_TRUE(Done(bus.Add(disk)));
            // Another disk whose number differs: not the one behind the letter.
            testbus::ChildPlan other = disk;
            other.hardwareIds = {L"USBSTOR\\Disk&Ven_Ostrivo&Prod_Other&Rev_1.00"};
            other.deviceNumber = number + 7;
            ASSERT_TRUE(Done(bus.Add(other)));

            Program program;
            ASSERT_TRUE(program.Start());
            EXPECT_EQ("USBSTOR\\DISK&VEN_OSTRIVO&PROD_E2E_STICK&REV_1.00",
                      driver::ToUtf8(LookupDrive(program, field)));
            ASSERT_TRUE(driver::ClickButton(program.Dialog(), IDCANCEL));
            EXPECT_EQ(2u, program.ExitCode());
        }
        // The scope took the disks and the letter away again.
        EXPECT_FALSE((GetLogicalDrives() >> (letter - L'A')) & 1);
        Program program;
        ASSERT_TRUE(program.Start());
        EXPECT_EQ("", driver::ToUtf8(LookupDrive(program, field)));
    }
}
