#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/enumeration.h"
#include "support/platform/device_property.h"
#include "support/platform/owned.h"
#include "tests/kit/scripted_platform.h"
#include "tests/kit/stdout_capture.h"

namespace {

using Calls = std::vector<std::wstring>;

class Enumeration : public ScriptedPlatformTest {
protected:
    void AddDevice(PropertyScript hardwareId, PropertyScript description)
    {
        platform.devices.push_back({std::move(hardwareId), std::move(description)});
    }

    DeviceList list;
};

TEST_F(Enumeration, KeepsDevicesWithAHardwareIdInWalkOrder)
{
    AddDevice(MultiTextProperty({L"usb\\vid_0a5c&pid_21e8&rev_0a10", L"usb\\vid_0a5c&pid_21e8"}),
              TextProperty(L"Bluetooth radio"));
    AddDevice(MissingProperty(), TextProperty(L"No ids"));
    AddDevice(MultiTextProperty({}), TextProperty(L"Empty id list"));
    AddDevice(MultiTextProperty({L"HID\\VID_046D&PID_C52B&REV_1200"}), MissingProperty());
    AddDevice(MultiTextProperty({L"ACPI\\PNP0303"}), TextProperty(L"Keyboard"));

    StdoutCapture output;
    ASSERT_TRUE(EnumerateDevices(list, platform));
    EXPECT_EQ("", output.Text());

    ASSERT_EQ(3u, list.Size());
    EXPECT_STREQ(L"USB\\VID_0A5C&PID_21E8&REV_0A10", list.At(0).hardwareId.Text());
    EXPECT_STREQ(L"Bluetooth radio", list.At(0).description.Text());
    EXPECT_EQ(0x0A5C, list.At(0).vendorId);
    EXPECT_EQ(0x21E8, list.At(0).productId);

    EXPECT_STREQ(L"HID\\VID_046D&PID_C52B&REV_1200", list.At(1).hardwareId.Text());
    EXPECT_TRUE(list.At(1).description.IsEmpty());
    EXPECT_EQ(0, list.At(1).vendorId);
    EXPECT_EQ(0, list.At(1).productId);

    EXPECT_STREQ(L"ACPI\\PNP0303", list.At(2).hardwareId.Text());
    EXPECT_STREQ(L"Keyboard", list.At(2).description.Text());

    // No class, DIGCF_PRESENT | DIGCF_ALLCLASSES.
    EXPECT_EQ(Calls{L"SetupDiGetClassDevsW(null, 6)"},
              platform.CallsNamed({L"SetupDiGetClassDevsW"}));
    Calls walked;
    for (int i = 0; i <= 5; ++i)
        walked.push_back(L"SetupDiEnumDeviceInfo(" + std::to_wstring(i) + L")");
    EXPECT_EQ(walked, platform.CallsNamed({L"SetupDiEnumDeviceInfo"}));
}

// Both properties are read for every device, identifier first, each with a
// size query and then a buffer twice the size reported.
TEST_F(Enumeration, ReadsEachPropertyBySizeThenData)
{
    AddDevice(TextProperty(L"USB\\VID_1234&PID_5678"), TextProperty(L"Pad"));
    ASSERT_TRUE(EnumerateDevices(list, platform));

    DWORD idSize = 2 * (21 + 1);
    DWORD descSize = 2 * (3 + 1);
    ASSERT_EQ(4u, platform.propertyCalls.size());
    const PropertyCall& idQuery = platform.propertyCalls[0];
    const PropertyCall& idRead = platform.propertyCalls[1];
    const PropertyCall& descQuery = platform.propertyCalls[2];
    EXPECT_EQ(DWORD(SPDRP_HARDWAREID), idQuery.property);
    EXPECT_TRUE(idQuery.nullBuffer);
    EXPECT_EQ(0u, idQuery.bufferSize);
    EXPECT_FALSE(idRead.nullBuffer);
    EXPECT_EQ(idSize, idRead.bufferSize);
    EXPECT_EQ(DWORD(SPDRP_DEVICEDESC), descQuery.property);
    EXPECT_EQ((Calls{L"LocalAlloc(40, " + std::to_wstring(2 * idSize) + L")",
                     L"LocalAlloc(40, " + std::to_wstring(2 * descSize) + L")"}),
              platform.CallsNamed({L"LocalAlloc"}));
}

TEST_F(Enumeration, EmptiesTheListWhenTheSetFailsToOpen)
{
    list.Append(DeviceEntry());
    platform.FailCalls(L"SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER);
    StdoutCapture output;
    EXPECT_FALSE(EnumerateDevices(list, platform));
    EXPECT_EQ(0u, list.Size());
    EXPECT_EQ("", output.Text());
    EXPECT_EQ(0, platform.setsOpened);
    EXPECT_TRUE(platform.CallsNamed({L"SetupDiEnumDeviceInfo"}).empty());
}

TEST_F(Enumeration, NoDevicesIsAnEmptySuccess)
{
    list.Append(DeviceEntry());
    EXPECT_TRUE(EnumerateDevices(list, platform));
    EXPECT_EQ(0u, list.Size());
    EXPECT_EQ(1, platform.setsDestroyed);
}

TEST_F(Enumeration, WalkEndingInErrorKeepsPartialListAndReportsIt)
{
    for (int i = 0; i < 4; ++i)
        AddDevice(TextProperty(L"PCI\\VEN_8086&DEV_100" + std::to_wstring(i)), MissingProperty());
    platform.BreakWalk(2, ERROR_INVALID_HANDLE);

    StdoutCapture output;
    EXPECT_FALSE(EnumerateDevices(list, platform));
    EXPECT_EQ("Error Details:[6]\n", output.Text());
    ASSERT_EQ(2u, list.Size());
    EXPECT_STREQ(L"PCI\\VEN_8086&DEV_1001", list.At(1).hardwareId.Text());
    EXPECT_EQ(1, platform.setsDestroyed);
}

TEST_F(Enumeration, WalkEndingWithErrorZeroIsANormalEnd)
{
    AddDevice(TextProperty(L"ACPI\\PNP0A03"), MissingProperty());
    platform.BreakWalk(1, 0);
    StdoutCapture output;
    EXPECT_TRUE(EnumerateDevices(list, platform));
    EXPECT_EQ("", output.Text());
    EXPECT_EQ(1u, list.Size());
}

TEST_F(Enumeration, FailedAllocationLeavesOnlyThatDeviceOut)
{
    AddDevice(TextProperty(L"USB\\VID_0001&PID_0001"), TextProperty(L"First"));
    AddDevice(TextProperty(L"USB\\VID_0002&PID_0002"), TextProperty(L"Second"));
    AddDevice(TextProperty(L"USB\\VID_0003&PID_0003"), TextProperty(L"Third"));
    platform.FailAllocation(3);  // the second device's identifier

    EXPECT_TRUE(EnumerateDevices(list, platform));
    EXPECT_EQ(1, platform.allocationFailures);
    ASSERT_EQ(2u, list.Size());
    EXPECT_STREQ(L"First", list.At(0).description.Text());
    EXPECT_STREQ(L"USB\\VID_0003&PID_0003", list.At(1).hardwareId.Text());
    EXPECT_STREQ(L"Third", list.At(1).description.Text());
}

TEST_F(Enumeration, ScopedPlatformIsWhatTheDefaultCallUses)
{
    AddDevice(TextProperty(L"USB\\VID_0001&PID_0002"), TextProperty(L"Scripted"));
    ScriptedPlatform inner;
    {
        ScopedPlatform outerScope(platform);
        EXPECT_EQ(&platform, &CurrentPlatform());
        {
            ScopedPlatform innerScope(inner);
            EXPECT_TRUE(EnumerateDevices(list));
            EXPECT_EQ(0u, list.Size());
        }
        EXPECT_TRUE(EnumerateDevices(list));
        ASSERT_EQ(1u, list.Size());
        EXPECT_STREQ(L"Scripted", list.At(0).description.Text());
    }
    EXPECT_EQ(&SystemPlatform(), &CurrentPlatform());
    EXPECT_EQ(1, inner.setsOpened);
    EXPECT_TRUE(inner.NothingLeft());
}

struct ReadCase {
    const char* name;
    PropertyScript script;
    const wchar_t* expected;
    int allocations;
    int failingAllocation;  // from 1; 0 for none
};

std::vector<BYTE> Bytes(std::initializer_list<BYTE> bytes) { return bytes; }

// The property read on its own: every way a call sequence can go.
TEST(PropertyRead, EveryAnswerSequence)
{
    std::vector<BYTE> sixChars = TextBytes(L"abcdef");
    std::vector<BYTE> unterminated = {'a', 0, 'b', 0, 'c', 0};
    const ReadCase cases[] = {
        {"plain text", TextProperty(L"Root hub"), L"Root hub", 1, 0},
        {"first of a list", MultiTextProperty({L"A1", L"B2"}), L"A1", 1, 0},
        {"missing", MissingProperty(), L"", 0, 0},
        {"size query succeeds", {{TRUE, 0, 0, {}}}, L"", 0, 0},
        {"grows between calls",
         {{FALSE, ERROR_INSUFFICIENT_BUFFER, 4, {}},
          {FALSE, ERROR_INSUFFICIENT_BUFFER, 8, {}},
          {FALSE, ERROR_INSUFFICIENT_BUFFER, 14, {}},
          {TRUE, 0, 14, sixChars}},
         L"abcdef", 3, 0},
        {"read fails after the size",
         {{FALSE, ERROR_INSUFFICIENT_BUFFER, 14, {}}, {FALSE, ERROR_INVALID_HANDLE, 0, {}}},
         L"", 1, 0},
        {"partial data left by a failed read",
         {{FALSE, ERROR_INSUFFICIENT_BUFFER, 14, {}}, {FALSE, ERROR_GEN_FAILURE, 0, sixChars}},
         L"abcdef", 1, 0},
        {"data without its terminator",
         {{FALSE, ERROR_INSUFFICIENT_BUFFER, 6, {}}, {TRUE, 0, 6, unterminated}}, L"abc", 1, 0},
        {"odd size", {{FALSE, ERROR_INSUFFICIENT_BUFFER, 1, {}}, {TRUE, 0, 1, Bytes({'z'})}},
         L"z", 1, 0},
        {"allocation fails", TextProperty(L"lost"), L"", 0, 1},
        {"allocation fails on the retry",
         {{FALSE, ERROR_INSUFFICIENT_BUFFER, 4, {}},
          {FALSE, ERROR_INSUFFICIENT_BUFFER, 14, {}},
          {TRUE, 0, 14, sixChars}},
         L"", 1, 2},
        {"insufficient for ever at the same size", {{FALSE, ERROR_INSUFFICIENT_BUFFER, 8, {}}},
         L"", 1, 0},
        {"insufficient with no size", {{FALSE, ERROR_INSUFFICIENT_BUFFER, 0, {}}}, L"", 0, 0},
        {"size beyond any buffer", {{FALSE, ERROR_INSUFFICIENT_BUFFER, 0x80000001u, {}}}, L"", 0,
         0},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPlatform platform;
        platform.devices.push_back({c.script, MissingProperty()});
        if (c.failingAllocation > 0)
            platform.FailAllocation(c.failingAllocation);
        {
            DeviceInfoSet set(platform,
                              platform.SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 0));
            SP_DEVINFO_DATA device = {};
            device.cbSize = sizeof(device);
            ASSERT_TRUE(platform.SetupDiEnumDeviceInfo(set.Get(), 0, &device));
            CString text = ReadDeviceProperty(platform, set.Get(), device, SPDRP_HARDWAREID);
            EXPECT_STREQ(c.expected, text.Text());
        }
        EXPECT_EQ(c.allocations, platform.buffersAllocated);
        EXPECT_TRUE(platform.NothingLeft());
    }
}

}  // namespace
