#include <gtest/gtest.h>

#include <string>

#include "devices/device_entry.h"

namespace {

struct ParseCase {
    const wchar_t* hardwareId;  // upper-cased, as the enumeration hands it over
    unsigned vendorId;
    unsigned productId;
    const wchar_t* line;
};

const ParseCase kParseCases[] = {
    {L"USB\\VID_046D&PID_C52B&REV_1200", 0x046D, 0xC52B, L"VID = 046D ,PID = C52B"},
    {L"USB\\VID_0A5C&PID_21E8&MI_00", 0x0A5C, 0x21E8, L"VID = 0A5C ,PID = 21E8"},
    {L"USB\\VID_ABCD&PID_0024&REV_0000", 0xABCD, 0x0024, L"VID = ABCD ,PID = 0024"},
    {L"USB\\VID_8000&PID_FFFF", 0x8000, 0xFFFF, L"VID = 8000 ,PID = FFFF"},
    {L"USB\\VID_00AB&PID_0C0D", 0x00AB, 0x0C0D, L"VID = 00AB ,PID = 0C0D"},
    {L"USB\\VID_1234", 0x1234, 0, L"VID = 1234 ,PID = 0000"},
    {L"USB\\VID_1ABCD&PID_0001", 0xABCD, 0x0001, L"VID = ABCD ,PID = 0001"},
    {L"USB\\VID_046D&PID_C52B\\220392143783184D", 0x046D, 0xC52B, L"VID = 046D ,PID = C52B"},
    {L"USB\\VID_0X1F&PID_0X2", 0x1F, 0x2, L"VID = 001F ,PID = 0002"},
    {L"USB\\VID_12G4&PID_0001", 0x12, 0, L"VID = 0012 ,PID = 0000"},
    {L"USB\\VID_ZZZZ&PID_0001", 0, 0, L"VID = 0000 ,PID = 0000"},
    {L"USB\\VID", 0, 0, L"VID = 0000 ,PID = 0000"},
    {L"USB\\VIDX_1234&PID_0001", 0, 0, L"VID = 0000 ,PID = 0000"},
    {L"HID\\VID_046D&PID_C52B&REV_1200", 0, 0, L"VID = 0000 ,PID = 0000"},
    {L"USB\\ROOT_HUB20&VIDABCD&PID3B34", 0, 0, L"VID = 0000 ,PID = 0000"},
    {L"ROOT\\USB\\VID_1234&PID_5678", 0, 0, L"VID = 0000 ,PID = 0000"},
};

TEST(DeviceEntry, ParseVidPidAndLine)
{
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.hardwareId).c_str());
        VidPid ids = ParseVidPid(CString(c.hardwareId));
        EXPECT_EQ(c.vendorId, ids.vendorId);
        EXPECT_EQ(c.productId, ids.productId);

        DeviceEntry entry;
        entry.vendorId = ids.vendorId;
        entry.productId = ids.productId;
        CString line = FormatVidPidLine(entry);
        EXPECT_STREQ(c.line, line.Text());
    }
}

// A lower-case identifier fails the "USB\VID" test: upper-casing comes first.
TEST(DeviceEntry, ParseVidPidExpectsUpperCase)
{
    VidPid ids = ParseVidPid(CString(L"usb\\vid_0a5c&pid_21e8"));
    EXPECT_EQ(0, ids.vendorId);
    EXPECT_EQ(0, ids.productId);
}

TEST(DeviceEntry, CopySharesBothStrings)
{
    DeviceEntry entry;
    entry.vendorId = 0x046D;
    entry.productId = 0xC52B;
    entry.description = L"Mouse";
    entry.hardwareId = L"USB\\VID_046D&PID_C52B";
    {
        DeviceEntry copy = entry;
        EXPECT_EQ(entry.description.Text(), copy.description.Text());
        EXPECT_EQ(entry.hardwareId.Text(), copy.hardwareId.Text());
        EXPECT_EQ(2, entry.hardwareId.RefCount());
        EXPECT_EQ(0xC52B, copy.productId);
    }
    EXPECT_EQ(1, entry.hardwareId.RefCount());
    EXPECT_EQ(1, entry.description.RefCount());
}

}  // namespace
