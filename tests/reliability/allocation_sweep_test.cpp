// Every allocation of every user action failed in turn, in the real dialog
// manager on scripted devices: the outcome must always be one the program
// allows. Either the process ends out of memory (the lists' growth, by
// design; here that ends only the action's thread, and one such case per
// action is re-run in a child process for the real ending), or the dialog
// lives on with no guard byte touched, no entry without a hardware id, each
// view its old text or whole blocks, the count a number, nothing leaked; and
// the same action then gives exactly the texts of a run that never failed.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>

#include <cstdio>
#include <cwctype>
#include <functional>
#include <string>
#include <vector>

#include "drives/interfaces.h"
#include "tests/kit/allocation_hooks.h"
#include "tests/kit/allocation_sweep.h"
#include "tests/kit/child_process.h"
#include "tests/kit/dialog_fixture.h"
#include "tests/kit/expected_blocks.h"
#include "tests/kit/scripted_platform.h"

namespace {

const ScriptedDevice kReceiver = PresentDevice(L"USB Receiver", L"USB\\VID_046D&PID_C52B&REV_1200");
const ScriptedDevice kAdapter = PresentDevice(L"PCI 网络适配器", L"PCI\\VEN_8086&DEV_100E");
const ScriptedDevice kNoName = PresentDevice(L"", L"usb\\vid_8bda&pid_f153");
const ScriptedDevice kStick = PresentDevice(L"USB 大容量存储设备", L"USB\\VID_0781&PID_5567\\4C53");

const wchar_t kStickPath[] =
    L"\\\\?\\usbstor#disk&ven_sandisk#4c53&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

// What a person reads off the dialog, copied without the heap while armed.
struct Shown {
    std::wstring all, changed, count, box;
    bool alive = false;
    bool baselineHasEmptyId = false;
    int boxes = 0;
};

struct Action {
    const char* name;
    void (*prepare)(ScriptedPlatform&);              // before the dialog starts
    void (*change)(ScriptedPlatform&, DrivenMainDialog&);  // after it started, before the action
    void (*act)(DrivenMainDialog&);                  // must not allocate itself
    bool atStartup;
    const wchar_t* box;  // the text of the box the action shows; null: none
};

void ThreeDevices(ScriptedPlatform& p)
{
    p.devices = {kReceiver, kAdapter, kNoName};
    p.drives[L'E'] = {DRIVE_REMOVABLE, true, true, RemovableMedia, true, true, 1};
    p.interfaces[kDiskInterfaceClass] = {StorageInterface(kStickPath, 1, {L"usbstor\\disksandisk"})};
}
void NoChange(ScriptedPlatform&, DrivenMainDialog&) {}
void AddStick(ScriptedPlatform& p, DrivenMainDialog&) { p.devices.push_back(kStick); }
void RemoveAdapter(ScriptedPlatform& p, DrivenMainDialog&)
{
    p.devices.erase(p.devices.begin() + 1);
}
void TypeDriveLetter(ScriptedPlatform&, DrivenMainDialog& d)
{
    SetDlgItemTextW(d.window, IDC_DRIVE_LETTER, L"E");
}

void Nothing(DrivenMainDialog&) {}
void Refresh(DrivenMainDialog& d) { d.Command(IDC_REFRESH); }
void TakeBaseline(DrivenMainDialog& d) { d.Command(IDC_SET_BASELINE); }
void Broadcast(DrivenMainDialog& d) { d.Send(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED); }
void LookUpDrive(DrivenMainDialog& d) { d.Command(IDC_GET_HARDWARE_ID); }
void ShowAbout(DrivenMainDialog& d) { d.Command(ID_SHOW_ABOUT); }

const Action kActions[] = {
    {"start-up", ThreeDevices, NoChange, Nothing, true, nullptr},
    {"refresh", ThreeDevices, NoChange, Refresh, false, nullptr},
    {"set baseline", ThreeDevices, AddStick, TakeBaseline, false, nullptr},
    {"device added", ThreeDevices, AddStick, Broadcast, false, nullptr},
    {"device removed", ThreeDevices, RemoveAdapter, Broadcast, false, nullptr},
    {"drive lookup", ThreeDevices, TypeDriveLetter, LookUpDrive, false, L"USBSTOR\\DISKSANDISK"},
    {"about box", ThreeDevices, NoChange, ShowAbout, false, L""},
};

// Whole blocks only: four lines each, a well-formed VID/PID line, a
// hardware id that is not empty, the separator.
bool WholeBlocks(const std::wstring& text, std::string* why)
{
    std::vector<std::wstring> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(L"\r\n", at);
        if (end == std::wstring::npos) {
            *why = "text does not end with a line end";
            return false;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    if (lines.size() % 4 != 0) {
        *why = "a block is cut short";
        return false;
    }
    for (size_t i = 0; i < lines.size(); i += 4) {
        const std::wstring& vidPid = lines[i + 1];
        const std::wstring& id = lines[i + 2];
        bool digits = vidPid.size() == 22 && vidPid.compare(0, 6, L"VID = ") == 0 &&
                      vidPid.compare(10, 8, L" ,PID = ") == 0;
        for (size_t k : {6u, 7u, 8u, 9u, 18u, 19u, 20u, 21u})
            digits = digits && k < vidPid.size() && std::iswxdigit(vidPid[k]) &&
                     !std::iswlower(vidPid[k]);
        if (!digits) {
            *why = "a VID/PID line is not two four-digit numbers";
            return false;
        }
        if (id.compare(0, 7, L"硬件ID = ") != 0 || id.size() <= 7) {
            *why = "a block has no hardware id";
            return false;
        }
        if (lines[i + 3] != std::wstring(47, L'-')) {
            *why = "a separator line is wrong";
            return false;
        }
    }
    return true;
}

std::wstring ControlText(HWND control)
{
    static wchar_t text[1 << 14];  // static: no heap while armed
    text[GetWindowTextW(control, text, 1 << 14)] = 0;
    return text;
}

void Capture(DrivenMainDialog& d, Shown& shown)
{
    shown.alive = IsWindow(d.window) && SendMessageW(d.window, WM_NULL, 0, 0) == 0;
    shown.all = ControlText(d.Control(IDC_ALL_DEVICES));
    shown.changed = ControlText(d.Control(IDC_CHANGED_DEVICES));
    shown.count = ControlText(d.Control(IDC_DEVICE_COUNT));
    for (unsigned i = 0; i < d.baseline.Size(); ++i)
        shown.baselineHasEmptyId = shown.baselineHasEmptyId || d.baseline.At(i).hardwareId.IsEmpty();
}

// Closes every box the action opens, noting the text of a message box.
struct BoxCloser {
    explicit BoxCloser(HWND owner)
        : watcher(owner, [this](HWND box) {
              GetDlgItemTextW(box, 0xFFFF, text, 512);
              EndDialog(box, IDOK);
          })
    {
    }
    OwnedBoxWatcher watcher;
    wchar_t text[512] = L"";
};

struct RunResult {
    SweepRun run;
    int allocations = 0;
    bool chosenFailed = false;
    Shown before, after, again;
    bool nothingLeft = false;
    std::string leftWhy;
    size_t leakedBlocks = 0;
    int guardFaults = 0;
    INT_PTR dialogEnd = 0;  // what the modal dialog returned, when it did
    DWORD dialogError = 0;
};

int sweepRuns = 0;  // in this process

// One run of `action` with allocation `k` failing (0: none).
RunResult RunAction(const Action& action, int k)
{
    ++sweepRuns;
    RunResult r;
    ScriptedPlatform platform;
    action.prepare(platform);
    ScopedPlatform scope(platform);
    int faultsBefore = allocation_hooks::GuardFaults();
    r.run = RunOnSweepThread([&] {
        DrivenMainDialog dialog([&](DrivenMainDialog& d) {
            BoxCloser closer(d.window);
            if (action.atStartup) {
                r.allocations = allocation_hooks::Disarm();
            } else {
                Capture(d, r.before);
                action.change(platform, d);
                allocation_hooks::Arm(k);
                action.act(d);
                r.allocations = allocation_hooks::Disarm();
            }
            r.chosenFailed = allocation_hooks::Failed();
            Capture(d, r.after);
            r.after.box = closer.text;
            r.after.boxes = closer.watcher.boxesSeen;
            // The same action, nothing failing: start-up's is a new baseline.
            closer.text[0] = 0;
            (action.atStartup ? TakeBaseline : action.act)(d);
            Capture(d, r.again);
            r.again.box = closer.text;
            r.again.boxes = closer.watcher.boxesSeen - r.after.boxes;
        });
        if (action.atStartup)
            allocation_hooks::Arm(k);  // the test's own objects are made by now
        r.dialogEnd = dialog.Run();
        r.dialogError = GetLastError();
    });
    if (!r.run.fatal) {
        r.leakedBlocks = allocation_hooks::LiveBlocksOfRun();
        ::testing::AssertionResult left = platform.NothingLeft();
        r.nothingLeft = bool(left);
        r.leftWhy = left.message();
    }
    allocation_hooks::CheckAllGuards();
    r.guardFaults = allocation_hooks::GuardFaults() - faultsBefore;
    return r;
}

void ExpectAllowed(const RunResult& r, const RunResult& reference)
{
    EXPECT_EQ(0, r.guardFaults) << allocation_hooks::FirstGuardFault();
    if (r.run.fatal) {
        EXPECT_EQ(0xC0000017u, r.run.code) << "only running out of memory may end the program";
        return;
    }
    EXPECT_TRUE(r.after.alive);
    EXPECT_FALSE(r.after.baselineHasEmptyId);
    std::string why;
    if (r.after.all != r.before.all) {
        EXPECT_TRUE(WholeBlocks(r.after.all, &why)) << "upper list: " << why;
    }
    if (r.after.changed != r.before.changed) {
        EXPECT_TRUE(WholeBlocks(r.after.changed, &why)) << "lower list: " << why;
    }
    EXPECT_FALSE(r.after.count.empty()) << "the count is blank";
    EXPECT_EQ(std::wstring::npos, r.after.count.find_first_not_of(L"0123456789"));
    EXPECT_TRUE(r.nothingLeft) << r.leftWhy;
    EXPECT_EQ(0u, r.leakedBlocks) << "blocks of the action still live after the dialog";
    // Then the same action, with nothing failing, shows what a clean run does.
    EXPECT_EQ(reference.again.all, r.again.all);
    EXPECT_EQ(reference.again.changed, r.again.changed);
    EXPECT_EQ(reference.again.count, r.again.count);
    EXPECT_EQ(reference.again.box, r.again.box);
    EXPECT_EQ(reference.again.boxes, r.again.boxes);
}

class AllocationSweep : public ::testing::TestWithParam<Action> {};

// The child that shows the real ending runs only that: a child that swept
// again first would take as long as the sweep, and end with another code.
const DWORD kChildSweptAgain = 0x5EE9;

void EndOutOfMemory(const Action& action, int k)
{
    if (sweepRuns != 0)
        ExitProcess(kChildSweptAgain);
    ScriptedPlatform platform;
    action.prepare(platform);
    ScopedPlatform scope(platform);
    DrivenMainDialog dialog([&](DrivenMainDialog& d) {
        action.change(platform, d);
        allocation_hooks::Arm(k);
        action.act(d);
    });
    if (action.atStartup)
        allocation_hooks::Arm(k);
    dialog.Run();
}

TEST_P(AllocationSweep, EveryAllocationFailedInTurn)
{
    const Action& action = GetParam();
    RunIfChild("fatal", [&](int k) { EndOutOfMemory(action, k); });
    RunResult reference = RunAction(action, 0);
    ASSERT_FALSE(reference.run.fatal);
    ASSERT_TRUE(reference.after.alive);
    EXPECT_EQ(reference.after.all, reference.again.all);
    EXPECT_EQ(action.box ? 1 : 0, reference.after.boxes);
    if (action.box) {
        EXPECT_EQ(action.box, reference.after.box);
    }
    EXPECT_EQ(reference.after.box, reference.again.box);

    int fatal = 0, survived = 0, firstFatal = 0;
    for (int k = 1; k <= reference.allocations; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " of " +
                     std::to_string(reference.allocations));
        RunResult r = RunAction(action, k);
        EXPECT_TRUE(r.run.fatal || r.chosenFailed)
            << "the chosen allocation never came (the dialog ended with " << r.dialogEnd << ", error "
            << r.dialogError << ")";
        ExpectAllowed(r, reference);
        if (r.run.fatal) {
            ++fatal;
            if (firstFatal == 0)
                firstFatal = k;
        } else {
            ++survived;
        }
    }
    std::printf("sweep | %-14s | %3d allocation points | %3d ended out of memory (by design) | "
                "%3d survived\n",
                action.name, reference.allocations, fatal, survived);
    std::fflush(stdout);

    // Where the sweep saw the program end, it must end for real: with no
    // sweep thread to catch it, the process ends with the code.
    if (firstFatal != 0) {
        EXPECT_EQ(0xC0000017u, RunChildProcess("fatal", firstFatal));
    }
}

INSTANTIATE_TEST_SUITE_P(Actions, AllocationSweep, ::testing::ValuesIn(kActions),
                         [](const ::testing::TestParamInfo<Action>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c)))
                                     name += *c;
                             return name;
                         });

// The memory for a whole view's text is the one thing that cannot be had:
// the dialog stays up, that view beeps once and keeps what it showed, the
// count stays true, and the next refresh that gets its memory shows it all.
TEST(AllocationFailure, AViewWhoseTextCannotBeHadKeepsWhatItShowed)
{
    ScriptedPlatform platform;
    const std::wstring longName(3000, L'设');
    platform.devices = {PresentDevice(longName, L"USB\\VID_046D&PID_C52B"),
                        PresentDevice(longName, L"USB\\VID_0781&PID_5567")};
    ScopedPlatform scope(platform);
    Shown before, after, again;
    int beeps = -1;
    SweepRun run = RunOnSweepThread([&] {
        DrivenMainDialog dialog([&](DrivenMainDialog& d) {
            Capture(d, before);
            platform.devices.push_back(PresentDevice(longName, L"PCI\\VEN_8086&DEV_100E"));
            BeepCounter counter;
            // Larger than any one description, smaller than the view's text.
            allocation_hooks::Arm(0);
            allocation_hooks::FailLargerThan(4 * longName.size());
            d.Command(IDC_REFRESH);
            allocation_hooks::Disarm();
            beeps = BeepCounter::count;
            Capture(d, after);
            d.Command(IDC_REFRESH);
            Capture(d, again);
        });
        dialog.Run();
    });
    ASSERT_FALSE(run.fatal) << "the program ended";
    EXPECT_TRUE(after.alive);
    EXPECT_EQ(1, beeps);
    EXPECT_EQ(before.all, after.all);
    EXPECT_EQ(L"3", after.count);
    EXPECT_EQ(ExpectedBlocks({{longName, L"USB\\VID_046D&PID_C52B"},
                              {longName, L"USB\\VID_0781&PID_5567"},
                              {longName, L"PCI\\VEN_8086&DEV_100E"}}),
              again.all);
}

}  // namespace
