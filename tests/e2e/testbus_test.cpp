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

            // The kit's reference, which the tests on Windows hold the system
            // drive's lookup to, finds the same disk.
            EXPECT_EQ("USBSTOR\\DISK&VEN_OSTRIVO&PROD_E2E_STICK&REV_1.00",
                      driver::ToUtf8(ReferenceFixedDriveHardwareId(letter)));
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

namespace {

testbus::ChildPlan UsbChild(const std::wstring& hardwareId, const std::wstring& description)
{
    testbus::ChildPlan plan;
    plan.hardwareIds = {hardwareId};
    plan.description = description;
    plan.setupClass = testbus::kUsbSetupClass;
    plan.interfaceClass = testbus::kUsbDeviceInterface;
    return plan;
}

// Whether the Setup API lists a present device whose instance id is `id`,
// and whether it has hardware ids.
bool PresentWithIds(const std::wstring& id, bool* hasIds)
{
    std::vector<ReferenceDevice> devices;
    ReferenceScope scope;
    scope.instanceIds = true;
    ReferenceWalk(&devices, scope);
    for (const ReferenceDevice& device : devices) {
        if (lstrcmpiW(device.instanceId.c_str(), id.c_str()) == 0) {
            *hasIds = !device.hardwareIds.empty();
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(RealDevices, ChildrenPresentAtStartAreListedAndOnePulledIsShownAsRemoved)
{
    testbus::Scope bus;
    testbus::Child kept, pulled, nameless;
    ASSERT_TRUE(Done(bus.Add(UsbChild(L"USB\\VID_E2ED&PID_0301", L"e2e testbus kept"), &kept)));
    ASSERT_TRUE(Done(bus.Add(UsbChild(L"USB\\VID_E2ED&PID_0302&MI_00", L"e2e testbus pulled"), &pulled)));
    testbus::ChildPlan noIds = UsbChild(L"USB\\VID_E2ED&PID_0303", L"e2e testbus without ids");
    noIds.reportsHardwareIds = false;
    noIds.interfaceClass = {};  // present before the start: no broadcast needed
    ASSERT_TRUE(Done(bus.Add(noIds, &nameless)));
    bool hasIds = true;
    ASSERT_TRUE(PresentWithIds(nameless.instanceId, &hasIds)) << "the child without ids is not present";
    ASSERT_FALSE(hasIds) << "the child reported hardware ids after all";

    Program program;
    ASSERT_TRUE(program.Start());
    ExpectAllDevicesShown(program);
    std::wstring all = program.Text(IDC_ALL_DEVICES);
    const ExpectedDevice pulledShown{L"e2e testbus pulled", L"USB\\VID_E2ED&PID_0302&MI_00"};
    for (const ExpectedDevice& shown : {ExpectedDevice{L"e2e testbus kept", L"USB\\VID_E2ED&PID_0301"}, pulledShown})
        EXPECT_NE(std::wstring::npos, all.find(ExpectedBlocks({shown}))) << driver::ToUtf8(shown.description);
    EXPECT_EQ(std::wstring::npos, all.find(L"e2e testbus without ids"));
    EXPECT_EQ(L"", program.Text(IDC_CHANGED_DEVICES));

    // Present at the baseline the start took, then pulled.
    ASSERT_TRUE(Done(bus.Remove(pulled.serial)));
    ASSERT_TRUE(Shows(program, IDC_CHANGED_DEVICES, ExpectedBlocks({pulledShown})));
    ExpectAllDevicesShown(program);
    ASSERT_TRUE(driver::SendCommand(program.Dialog(), IDC_SET_BASELINE, BN_CLICKED));
    EXPECT_EQ(L"", program.Text(IDC_CHANGED_DEVICES));
    ASSERT_TRUE(driver::ClickButton(program.Dialog(), IDCANCEL));
    EXPECT_EQ(2u, program.ExitCode());
}

TEST(RealDevices, BurstOfArrivalsAndRemovalsEndsShowingWhatIsPresent)
{
    Program program;
    ASSERT_TRUE(program.Start());
    const std::wstring before = program.Text(IDC_ALL_DEVICES);
    {
        testbus::Scope bus;
        std::vector<testbus::Child> children;
        std::vector<ExpectedDevice> staying;
        // Each request returns once Wine has started or removed the child,
        // so the broadcasts come as fast as the platform makes them; every
        // other child leaves again while the rest still arrive.
        for (int i = 0; i < 8; ++i) {
            wchar_t id[64];
            swprintf(id, 64, L"USB\\VID_E2EE&PID_%04X", 0x400 + i);
            testbus::Child child;
            ASSERT_TRUE(Done(bus.Add(UsbChild(id, L"e2e testbus burst"), &child)));
            if (i % 2 == 1) {
                ASSERT_TRUE(Done(bus.Remove(children.back().serial)));
                staying.pop_back();
            }
            children.push_back(child);
            staying.push_back({L"e2e testbus burst", id});
        }
        // In the platform's order, as the dialog lists them.
        std::vector<ExpectedDevice> present;
        for (const ExpectedDevice& device : ExpectedPresentDevices()) {
            if (device.hardwareId.rfind(L"USB\\VID_E2EE&", 0) == 0)
                present.push_back(device);
        }
        ASSERT_EQ(staying.size(), present.size());
        ASSERT_TRUE(Shows(program, IDC_CHANGED_DEVICES, ExpectedBlocks(present)));
        ExpectAllDevicesShown(program);
        EXPECT_TRUE(program.Answers());
    }
    // The scope removed the rest: the dialog is back where it started.
    ASSERT_TRUE(Shows(program, IDC_CHANGED_DEVICES, L""));
    EXPECT_EQ(driver::ToUtf8(before), driver::ToUtf8(program.Text(IDC_ALL_DEVICES)));
    ASSERT_TRUE(driver::ClickButton(program.Dialog(), IDCANCEL));
    EXPECT_EQ(2u, program.ExitCode());
}

TEST(RealDevices, LetterWhoseDiskHasNoInterfaceGivesTheEmptyBox)
{
    wchar_t letter = FreeLetter();
    ASSERT_NE(0, letter) << "no free drive letter";
    testbus::Scope bus;
    ASSERT_TRUE(Done(bus.Letter(letter, DriveFolder(), true)));
    DWORD number = 0;
    ASSERT_TRUE(Done(testbus::VolumeDeviceNumber(letter, &number)));
    // The number matches, but without the disk interface the walk never
    // meets this disk.
    testbus::ChildPlan disk;
    disk.hardwareIds = {L"USBSTOR\\Disk&Ven_Ostrivo&Prod_Hidden&Rev_1.00"};
    disk.description = L"e2e testbus hidden disk";
    disk.setupClass = testbus::kDiskSetupClass;
    disk.disk = true;
    disk.removable = true;
    disk.deviceNumber = number;
    ASSERT_TRUE(Done(bus.Add(disk)));

    Program program;
    ASSERT_TRUE(program.Start());
    EXPECT_EQ("", driver::ToUtf8(LookupDrive(program, std::wstring(1, letter))));
    ASSERT_TRUE(driver::ClickButton(program.Dialog(), IDCANCEL));
    EXPECT_EQ(2u, program.ExitCode());
}

namespace {

// What the reader sees of a list: its first visible line and the selected
// text, read across processes.
struct ReaderPlace {
    int firstLine = -1;
    DWORD start = 0;
    DWORD end = 0;
    bool caretAtStart = false;  // the end that Shift+arrow moves
    int sideways = 0;           // where character 0 is drawn: the sideways scroll
    std::wstring topLine;
    std::wstring selected;
};

LRESULT Ask(HWND control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, message, wParam, lParam, SMTO_NORMAL,
                        driver::AnswerBoundMs(), &result);
    return static_cast<LRESULT>(result);
}

ReaderPlace PlaceIn(const Program& program, int controlId)
{
    HWND list = GetDlgItem(program.Dialog(), controlId);
    ReaderPlace place;
    place.firstLine = static_cast<int>(Ask(list, EM_GETFIRSTVISIBLELINE));
    DWORD range = static_cast<DWORD>(Ask(list, EM_GETSEL));  // the lists stay under 64K
    place.start = LOWORD(range);
    place.end = HIWORD(range);
    place.sideways = static_cast<short>(LOWORD(Ask(list, EM_POSFROMCHAR, 0)));
    // A selection given up leaves the caret where it was; then it comes back
    // (and, the caret being in view, the view does not move).
    Ask(list, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    DWORD caret = LOWORD(static_cast<DWORD>(Ask(list, EM_GETSEL)));
    place.caretAtStart = place.start != place.end && caret == place.start;
    Ask(list, EM_SETSEL, place.caretAtStart ? place.end : place.start,
        place.caretAtStart ? place.start : place.end);
    std::wstring text = program.Text(controlId);
    size_t at = 0;
    for (int line = 0; line < place.firstLine && at != std::wstring::npos; ++line) {
        at = text.find(L"\r\n", at);
        at = at == std::wstring::npos ? at : at + 2;
    }
    if (at != std::wstring::npos)
        place.topLine = text.substr(at, text.find(L"\r\n", at) - at);
    if (place.end <= text.size() && place.start <= place.end)
        place.selected = text.substr(place.start, place.end - place.start);
    return place;
}

// Scrolls the list to `firstLine` and a few characters sideways, and selects
// the `length` characters that begin `into` characters after the start of
// that line backwards, as a drag upwards does: the caret at their start.
void ScrollAndSelect(const Program& program, int controlId, int firstLine, int into, int length)
{
    HWND list = GetDlgItem(program.Dialog(), controlId);
    int lineStart = static_cast<int>(Ask(list, EM_LINEINDEX, firstLine));
    Ask(list, EM_SETSEL, lineStart + into + length, lineStart + into);
    Ask(list, EM_LINESCROLL, 6, firstLine - static_cast<int>(Ask(list, EM_GETFIRSTVISIBLELINE)));
}

void ExpectSamePlace(const ReaderPlace& before, const ReaderPlace& after, const char* list)
{
    std::printf("%s list: first line %d -> %d (\"%s\"), selection %lu-%lu -> %lu-%lu (\"%s\")\n",
                list, before.firstLine, after.firstLine, driver::ToUtf8(after.topLine).c_str(),
                static_cast<unsigned long>(before.start), static_cast<unsigned long>(before.end),
                static_cast<unsigned long>(after.start), static_cast<unsigned long>(after.end),
                driver::ToUtf8(after.selected).c_str());
    EXPECT_EQ(driver::ToUtf8(before.topLine), driver::ToUtf8(after.topLine)) << list;
    EXPECT_EQ(driver::ToUtf8(before.selected), driver::ToUtf8(after.selected)) << list;
    EXPECT_EQ(before.caretAtStart, after.caretAtStart) << list << ": the caret changed ends";
    EXPECT_EQ(before.sideways, after.sideways) << list << ": sent back to column 0";
}

}  // namespace

// The reader scrolled both lists and selected a hardware ID to copy; devices
// then come and go through Wine, and the reader stays where they were.
TEST(RealDevices, ArrivalAndRemovalKeepTheReadersPlaceInBothLists)
{
    Program program;
    ASSERT_TRUE(program.Start());
    testbus::Scope bus;
    // Enough arrivals after the start's baseline for the lower list to
    // scroll, with ids longer than a list is wide, so that both scroll sideways.
    std::vector<testbus::Child> arrived(6);
    for (int i = 0; i < 6; ++i) {
        wchar_t id[160];
        swprintf(id, 160, L"USB\\VID_E2EF&PID_%04X&MI_00&SERIAL_%s", 0x500 + i,
                 L"0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"
                 L"0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF");
        ASSERT_TRUE(Done(bus.Add(UsbChild(id, L"e2e testbus place"), &arrived[i])));
    }
    auto ours = [](const wchar_t* prefix) {
        std::vector<ExpectedDevice> present;
        for (const ExpectedDevice& device : ExpectedPresentDevices())
            if (device.hardwareId.rfind(prefix, 0) == 0)
                present.push_back(device);
        return present;
    };
    ASSERT_TRUE(Shows(program, IDC_CHANGED_DEVICES, ExpectedBlocks(ours(L"USB\\VID_E2EF&"))));

    // The third line of a block is its hardware ID: the reader's place.
    ScrollAndSelect(program, IDC_ALL_DEVICES, 2, 12, 20);
    ScrollAndSelect(program, IDC_CHANGED_DEVICES, 6, 12, 20);
    const ReaderPlace upper = PlaceIn(program, IDC_ALL_DEVICES);
    const ReaderPlace lower = PlaceIn(program, IDC_CHANGED_DEVICES);
    ASSERT_EQ(2, upper.firstLine) << "the upper list did not scroll";
    ASSERT_EQ(6, lower.firstLine) << "the lower list did not scroll";
    ASSERT_EQ(20u, upper.selected.size());
    ASSERT_EQ(20u, lower.selected.size());
    ASSERT_TRUE(upper.caretAtStart && lower.caretAtStart) << "the selections are not backwards";
    ASSERT_LT(upper.sideways, 0) << "the upper list did not scroll sideways";
    ASSERT_LT(lower.sideways, 0) << "the lower list did not scroll sideways";

    {
        SCOPED_TRACE("Refresh with nothing changed: the very same numbers");
        ASSERT_TRUE(driver::SendCommand(program.Dialog(), IDC_REFRESH, BN_CLICKED));
        for (auto& [id, before] : {std::pair<int, ReaderPlace>{IDC_ALL_DEVICES, upper},
                                   std::pair<int, ReaderPlace>{IDC_CHANGED_DEVICES, lower}}) {
            ReaderPlace now = PlaceIn(program, id);
            EXPECT_EQ(before.firstLine, now.firstLine);
            EXPECT_EQ(before.start, now.start);
            EXPECT_EQ(before.end, now.end);
            EXPECT_EQ(before.caretAtStart, now.caretAtStart);
            EXPECT_EQ(before.sideways, now.sideways);
        }
    }
    testbus::Child late;
    {
        SCOPED_TRACE("a device arrives");
        ASSERT_TRUE(Done(bus.Add(UsbChild(L"USB\\VID_E2EF&PID_05FF", L"e2e testbus place"), &late)));
        ASSERT_TRUE(Shows(program, IDC_CHANGED_DEVICES, ExpectedBlocks(ours(L"USB\\VID_E2EF&"))));
        ExpectSamePlace(upper, PlaceIn(program, IDC_ALL_DEVICES), "upper");
        ExpectSamePlace(lower, PlaceIn(program, IDC_CHANGED_DEVICES), "lower");
    }
    {
        SCOPED_TRACE("it leaves again");
        ASSERT_TRUE(Done(bus.Remove(late.serial)));
        ASSERT_TRUE(Shows(program, IDC_CHANGED_DEVICES, ExpectedBlocks(ours(L"USB\\VID_E2EF&"))));
        ExpectSamePlace(upper, PlaceIn(program, IDC_ALL_DEVICES), "upper");
        ExpectSamePlace(lower, PlaceIn(program, IDC_CHANGED_DEVICES), "lower");
    }
    {
        SCOPED_TRACE("a device above the lower list's view leaves: that view moves up with its device");
        ASSERT_EQ(0u, program.Text(IDC_CHANGED_DEVICES).find(L"e2e testbus place\r\nVID = E2EF ,PID = 0500"))
            << "the platform lists the first child elsewhere";
        ASSERT_TRUE(Done(bus.Remove(arrived[0].serial)));
        ASSERT_TRUE(Shows(program, IDC_CHANGED_DEVICES, ExpectedBlocks(ours(L"USB\\VID_E2EF&"))));
        ReaderPlace now = PlaceIn(program, IDC_CHANGED_DEVICES);
        ExpectSamePlace(lower, now, "lower");
        EXPECT_EQ(lower.firstLine - 4, now.firstLine);
        ExpectSamePlace(upper, PlaceIn(program, IDC_ALL_DEVICES), "upper");
    }
    EXPECT_TRUE(program.Answers());
    ASSERT_TRUE(driver::ClickButton(program.Dialog(), IDCANCEL));
    EXPECT_EQ(2u, program.ExitCode());
}
