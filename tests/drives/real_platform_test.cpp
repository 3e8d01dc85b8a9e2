// The real storage stack and Setup API under the platform this runs on.
#include <gtest/gtest.h>

#include "drives/interfaces.h"
#include "drives/lookup.h"
#include "drives/volume.h"
#include "support/platform/owned.h"
#include "tests/kit/reference_walk.h"
#include "tests/kit/scripted_platform.h"

namespace {

// The machine's own system drive (C under Wine), whichever letter it has.
const wchar_t kSystem = SystemDriveLetter();

TEST(RealStorage, SystemDriveHasADeviceNumber)
{
    ASSERT_NE(0, kSystem);
    ScriptedPlatform platform(SystemPlatform());
    EXPECT_EQ(UINT(DRIVE_FIXED), platform.GetDriveTypeW((std::wstring(1, kSystem) + L":\\").c_str()));
    EXPECT_EQ(MediaClass::Disk, GetDriveMediaClass(platform, kSystem));

    for (const wchar_t* prefix : {L"\\\\?\\", L"\\\\.\\"}) {
        std::wstring path = prefix + std::wstring(1, kSystem) + L":";
        SCOPED_TRACE(::testing::PrintToString(path));
        DWORD number = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(QueryStorageDeviceNumber(platform, path.c_str(), number));
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

// The walk lists what the Setup API lists (nothing under Wine, the disks
// and volumes of a Windows PC), and the lookup of the system drive finds
// the hardware id of the disk that holds it, or nothing where no disk
// interface answers for it.
TEST(RealStorage, InterfaceWalkListsWhatTheSetupApiLists)
{
    ScriptedPlatform platform(SystemPlatform());
    for (const wchar_t* text : {kDiskInterfaceClass, kVolumeInterfaceClass}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(text)));
        wchar_t writable[40];
        lstrcpynW(writable, text, 40);
        GUID guid = {};
        ASSERT_EQ(S_OK, platform.CLSIDFromString(writable, &guid));
        std::vector<std::wstring> expected = ReferenceInterfacePaths(guid);

        StorageInterfaceList list;
        EXPECT_TRUE(EnumerateStorageInterfaces(platform, text, list));
        std::vector<std::wstring> listed;
        for (unsigned i = 0; i < list.Size(); ++i)
            listed.push_back(list.At(i).devicePath.Text());
        EXPECT_EQ(expected, listed);
    }
    EXPECT_TRUE(platform.NothingLeft());
}

TEST(RealStorage, LookupOfTheSystemDriveFindsItsDisk)
{
    ASSERT_NE(0, kSystem);
    std::wstring expected = ReferenceFixedDriveHardwareId(kSystem);
    ScriptedPlatform platform(SystemPlatform());
    CString id = L"untouched";
    EXPECT_EQ(!expected.empty(), LookupDriveHardwareId(platform, kSystem, id));
    EXPECT_EQ(expected.empty() ? L"untouched" : expected, std::wstring(id.Text()));
    EXPECT_GE(platform.handlesOpened, 1);
    EXPECT_EQ(1, platform.setsOpened);
    EXPECT_TRUE(platform.NothingLeft());

    // The command's own form runs on the real platform.
    id = L"untouched";
    EXPECT_EQ(!expected.empty(), LookupDriveHardwareId(kSystem, id));
    EXPECT_EQ(expected.empty() ? L"untouched" : expected, std::wstring(id.Text()));
}

}  // namespace
