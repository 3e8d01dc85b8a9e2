// The real storage stack and Setup API under the platform this runs on.
#include <gtest/gtest.h>

#include "drives/interfaces.h"
#include "drives/lookup.h"
#include "drives/volume.h"
#include "support/platform/owned.h"
#include "tests/kit/scripted_platform.h"

namespace {

TEST(RealStorage, SystemDriveHasADeviceNumber)
{
    ScriptedPlatform platform(SystemPlatform());
    EXPECT_EQ(UINT(DRIVE_FIXED), platform.GetDriveTypeW(L"C:\\"));
    EXPECT_EQ(MediaClass::Disk, GetDriveMediaClass(platform, L'C'));

    for (const wchar_t* path : {L"\\\\?\\C:", L"\\\\.\\C:"}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(path)));
        DWORD number = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(QueryStorageDeviceNumber(platform, path, number));
        EXPECT_NE(0xdeadbeefu, number);
    }
    EXPECT_GE(platform.handlesOpened, 2);
    EXPECT_TRUE(platform.NothingLeft());
}

TEST(RealStorage, PathThatNamesNoDriveFails)
{
    ScriptedPlatform platform(SystemPlatform());
    DWORD number = 0x12345678;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryStorageDeviceNumber(platform, L"\\\\?\\", number));
    EXPECT_NE(0xdeadbeefu, GetLastError());
    EXPECT_EQ(0x12345678u, number);

    SetLastError(0xdeadbeef);
    HANDLE h = platform.CreateFileW(L"\\\\.\\:", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    EXPECT_NE(0xdeadbeefu, platform.GetLastError());
    EXPECT_TRUE(platform.NothingLeft());
}

TEST(RealStorage, ClassTextConversion)
{
    ScriptedPlatform platform(SystemPlatform());
    wchar_t disk[] = L"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    GUID guid = {};
    EXPECT_EQ(S_OK, platform.CLSIDFromString(disk, &guid));
    EXPECT_EQ(0x53f56307u, guid.Data1);
    wchar_t broken[] = L"{53f56307-b6bf-11d0}";
    EXPECT_NE(S_OK, platform.CLSIDFromString(broken, &guid));

    StorageInterfaceList list;
    EXPECT_FALSE(EnumerateStorageInterfaces(platform, L"{53f56307-b6bf-11d0}", list));
    EXPECT_EQ(0, platform.setsOpened);
}

// Wine lists no disk or volume interfaces: the walk ends at once.
TEST(RealStorage, InterfaceWalkEndsWithoutMatch)
{
    ScriptedPlatform platform(SystemPlatform());
    DWORD number = 0;
    ASSERT_TRUE(QueryStorageDeviceNumber(platform, L"\\\\?\\C:", number));
    for (const wchar_t* text : {kDiskInterfaceClass, kVolumeInterfaceClass}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(text)));
        wchar_t writable[40];
        lstrcpynW(writable, text, 40);
        GUID guid = {};
        ASSERT_EQ(S_OK, platform.CLSIDFromString(writable, &guid));
        {
            DeviceInfoSet set(platform, platform.SetupDiGetClassDevsW(
                                            &guid, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
            ASSERT_TRUE(set);
            SP_DEVICE_INTERFACE_DATA data = {};
            data.cbSize = sizeof data;
            SetLastError(0xdeadbeef);
            EXPECT_FALSE(platform.SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &guid, 0, &data));
            EXPECT_EQ(DWORD(ERROR_NO_MORE_ITEMS), platform.GetLastError());
        }

        StorageInterfaceList list;
        EXPECT_TRUE(EnumerateStorageInterfaces(platform, text, list));
        EXPECT_EQ(0u, list.Size());
        StorageInterfaceEntry found;
        found.hardwareId = L"untouched";
        for (MediaClass media : {MediaClass::Disk, MediaClass::CdRomOrOther})
            EXPECT_FALSE(FindStorageInterface(platform, text, number, media, found));
        EXPECT_EQ(std::wstring(L"untouched"), std::wstring(found.hardwareId.Text()));
    }
    EXPECT_TRUE(platform.NothingLeft());
}

TEST(RealStorage, LookupOfTheSystemDriveFindsNothing)
{
    ScriptedPlatform platform(SystemPlatform());
    CString id = L"untouched";
    EXPECT_FALSE(LookupDriveHardwareId(platform, L'C', id));
    EXPECT_EQ(std::wstring(L"untouched"), std::wstring(id.Text()));
    EXPECT_GE(platform.handlesOpened, 1);
    EXPECT_EQ(1, platform.setsOpened);
    EXPECT_TRUE(platform.NothingLeft());

    // The command's own form runs on the real platform.
    EXPECT_FALSE(LookupDriveHardwareId(L'C', id));
    EXPECT_EQ(std::wstring(L"untouched"), std::wstring(id.Text()));
}

}  // namespace
