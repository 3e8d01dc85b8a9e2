// The stand-in itself: the faults it is there to find must not slip by it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/enumeration.h"
#include "support/platform/owned.h"
#include "tests/kit/scripted_platform.h"
#include "tests/kit/stdout_capture.h"

namespace {

using Calls = std::vector<std::wstring>;

bool Mentions(const ::testing::AssertionResult& result, const std::string& text)
{
    return std::string(result.message()).find(text) != std::string::npos;
}

TEST(ScriptedPlatform, NothingLeftNamesEachLeakAndMisuse)
{
    struct Case {
        const char* name;
        void (*fault)(ScriptedPlatform&);
        const char* reported;
    };
    const Case cases[] = {
        {"set left open",
         [](ScriptedPlatform& p) { p.SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 6); },
         "device information sets left"},
        {"handle left open",
         [](ScriptedPlatform& p) {
             p.drives[L'E'];
             p.CreateFileW(L"\\\\?\\E:", 0, 3, nullptr, OPEN_EXISTING, 0, nullptr);
         },
         "handle left open: \\\\?\\E:"},
        {"buffer left", [](ScriptedPlatform& p) { p.LocalAlloc(LPTR, 8); },
         "local buffer of 8 bytes left"},
        {"write past the end, freed",
         [](ScriptedPlatform& p) {
             BYTE* b = static_cast<BYTE*>(p.LocalAlloc(LPTR, 8));
             b[8] = 0;
             p.LocalFree(b);
         },
         "misused: a write beyond a local buffer of 8 bytes"},
        {"write before the start, still held",
         [](ScriptedPlatform& p) { static_cast<BYTE*>(p.LocalAlloc(LPTR, 8))[-1] = 0; },
         "a write beyond a local buffer of 8 bytes"},
        {"freed twice",
         [](ScriptedPlatform& p) {
             HLOCAL b = p.LocalAlloc(LPTR, 8);
             p.LocalFree(b);
             p.LocalFree(b);
         },
         "LocalFree of memory that is not a live allocation"},
        {"memory not zero-filled",
         [](ScriptedPlatform& p) { p.LocalFree(p.LocalAlloc(LMEM_FIXED, 8)); },
         "LocalAlloc of other than fixed, zero-filled memory"},
        {"buffer smaller than told",
         [](ScriptedPlatform& p) {
             p.devices.push_back(PresentDevice(L"d", L"ID"));
             DeviceInfoSet set(p, p.SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 6));
             SP_DEVINFO_DATA device = {};
             device.cbSize = sizeof device;
             p.SetupDiEnumDeviceInfo(set.Get(), 0, &device);
             LocalMemory buffer(p, p.LocalAlloc(LPTR, 4));
             p.SetupDiGetDeviceRegistryPropertyW(set.Get(), &device, SPDRP_HARDWAREID, nullptr,
                                                 static_cast<BYTE*>(buffer.Get()), 6, nullptr);
         },
         "told of more room than was allocated"},
        {"record without its size",
         [](ScriptedPlatform& p) {
             DeviceInfoSet set(p, p.SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 6));
             SP_DEVINFO_DATA device = {};
             p.SetupDiEnumDeviceInfo(set.Get(), 0, &device);
         },
         "SP_DEVINFO_DATA without its size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPlatform platform;
        c.fault(platform);
        ::testing::AssertionResult result = platform.NothingLeft();
        EXPECT_FALSE(result);
        EXPECT_TRUE(Mentions(result, c.reported)) << result.message();
    }
}

// What an allocation sweep does: count the allocations of one run, then fail
// each in turn; only that one fails, and the run still releases everything.
TEST(ScriptedPlatform, AllocationSweepFailsExactlyTheOneNamed)
{
    auto script = [](ScriptedPlatform& p) {
        p.devices = {PresentDevice(L"One", L"USB\\VID_0001&PID_0001"),
                     PresentDevice(L"Two", L"USB\\VID_0002&PID_0002")};
    };
    ScriptedPlatform counting;
    script(counting);
    DeviceList list;
    ASSERT_TRUE(EnumerateDevices(list, counting));
    int allocations = counting.CallCount(L"LocalAlloc");
    ASSERT_EQ(4, allocations);
    EXPECT_EQ(0, counting.allocationFailures);

    for (int k = 1; k <= allocations; ++k) {
        SCOPED_TRACE(k);
        ScriptedPlatform platform;
        script(platform);
        platform.FailAllocation(k);
        EnumerateDevices(list, platform);
        EXPECT_EQ(allocations, platform.CallCount(L"LocalAlloc"));
        EXPECT_EQ(1, platform.allocationFailures);
        EXPECT_EQ(allocations - 1, platform.buffersAllocated);
        EXPECT_TRUE(platform.NothingLeft());
    }
}

TEST(ScriptedPlatform, FailuresFallOnTheCallsNamed)
{
    ScriptedPlatform platform;
    platform.drives[L'E'];
    auto open = [&] {
        HANDLE h = platform.CreateFileW(L"\\\\?\\E:", 0, 3, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return platform.GetLastError();
        platform.CloseHandle(h);
        return DWORD(0);
    };
    platform.FailCall(L"CreateFileW", 2, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(0u, open());
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), open());
    EXPECT_EQ(0u, open());

    platform.FailCalls(L"CreateFileW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), open());
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), open());
    platform.StopFailing(L"CreateFileW");
    EXPECT_EQ(0u, open());
    EXPECT_EQ(6, platform.CallCount(L"CreateFileW"));
    EXPECT_EQ(3, platform.handlesOpened);
    EXPECT_TRUE(platform.NothingLeft());
}

TEST(ScriptedPlatform, WalkBreaksOnlyAsOftenAsTold)
{
    ScriptedPlatform platform;
    for (int i = 0; i < 3; ++i)
        platform.devices.push_back(PresentDevice(L"d", L"ID" + std::to_wstring(i)));
    platform.BreakWalk(1, ERROR_INVALID_HANDLE, 1);
    DeviceList list;
    {
        StdoutCapture output;
        EXPECT_FALSE(EnumerateDevices(list, platform));
        EXPECT_EQ("Error Details:[6]\n", output.Text());
    }
    EXPECT_EQ(1u, list.Size());
    EXPECT_TRUE(EnumerateDevices(list, platform));
    EXPECT_EQ(3u, list.Size());
    EXPECT_TRUE(platform.NothingLeft());
}

// Passed on to the system, the calls are still logged, failed on demand and
// accounted for.
TEST(ScriptedPlatform, PassesCallsToThePlatformBeneath)
{
    ScriptedPlatform platform(SystemPlatform());
    {
        DeviceInfoSet set(platform, platform.SetupDiGetClassDevsW(nullptr, nullptr, nullptr,
                                                                  DIGCF_PRESENT | DIGCF_ALLCLASSES));
        ASSERT_TRUE(set);
        LocalMemory memory(platform, platform.LocalAlloc(LPTR, 16));
        ASSERT_TRUE(memory);
        EXPECT_FALSE(platform.NothingLeft());
    }
    platform.FailAllocation(2);
    HLOCAL none = platform.LocalAlloc(LPTR, 16);
    DWORD systemError = ::GetLastError();  // also set, for a test that asks the system
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(DWORD(ERROR_NOT_ENOUGH_MEMORY), systemError);
    EXPECT_EQ(DWORD(ERROR_NOT_ENOUGH_MEMORY), platform.GetLastError());
    EXPECT_EQ((Calls{L"SetupDiGetClassDevsW(null, 6)", L"LocalAlloc(40, 16)", L"LocalFree()",
                     L"SetupDiDestroyDeviceInfoList()", L"LocalAlloc(40, 16)",
                     L"GetLastError()"}),
              platform.calls);
    EXPECT_EQ(1, platform.setsDestroyed);
    EXPECT_TRUE(platform.NothingLeft());
}

}  // namespace
