#include "drives_fixture.h"

#include <vector>

namespace {

using VolumeTest = ScriptedDrivesTest;

struct MediaCase {
    const char* name;
    UINT type;
    bool volumeOpens;
    bool geometryAnswers;
    MEDIA_TYPE mediaType;
    MediaClass expected;
};

TEST_F(VolumeTest, MediaClassFollowsDriveTypeAndFloppyTest)
{
    const MediaCase cases[] = {
        {"removable, floppy media", DRIVE_REMOVABLE, true, true, F3_1Pt44_512, MediaClass::Floppy},
        {"removable, 5.25 media", DRIVE_REMOVABLE, true, true, F5_1Pt2_512, MediaClass::Floppy},
        {"removable, removable media", DRIVE_REMOVABLE, true, true, RemovableMedia, MediaClass::Disk},
        {"removable, fixed media", DRIVE_REMOVABLE, true, true, FixedMedia, MediaClass::Disk},
        {"removable, unknown media", DRIVE_REMOVABLE, true, true, Unknown, MediaClass::Disk},
        {"removable, geometry fails", DRIVE_REMOVABLE, true, false, F3_1Pt44_512, MediaClass::Disk},
        {"removable, volume will not open", DRIVE_REMOVABLE, false, true, F3_1Pt44_512, MediaClass::Disk},
        {"fixed", DRIVE_FIXED, true, true, F3_1Pt44_512, MediaClass::Disk},
        {"unknown", DRIVE_UNKNOWN, true, true, F3_1Pt44_512, MediaClass::Unclassified},
        {"no root dir", DRIVE_NO_ROOT_DIR, true, true, F3_1Pt44_512, MediaClass::CdRomOrOther},
        {"remote", DRIVE_REMOTE, true, true, F3_1Pt44_512, MediaClass::CdRomOrOther},
        {"cdrom", DRIVE_CDROM, true, true, F3_1Pt44_512, MediaClass::CdRomOrOther},
        {"ramdisk", DRIVE_RAMDISK, true, true, F3_1Pt44_512, MediaClass::CdRomOrOther},
        {"beyond the known types", 7, true, true, F3_1Pt44_512, MediaClass::CdRomOrOther},
    };
    for (const MediaCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPlatform s;
        ScriptedDrive& d = s.drives[L'E'];
        d.type = c.type;
        d.volumeOpens = c.volumeOpens;
        d.geometryAnswers = c.geometryAnswers;
        d.mediaType = c.mediaType;

        EXPECT_EQ(c.expected, GetDriveMediaClass(s, L'E'));
        // Only a removable drive is ever opened.
        bool opens = c.type == DRIVE_REMOVABLE;
        EXPECT_EQ(opens, !s.CallsNamed({L"CreateFileW"}).empty());
        EXPECT_TRUE(s.NothingLeft());
    }
}

TEST_F(VolumeTest, FloppyTestUsesTheLetterAsTyped)
{
    platform.drives[L'e'] = {DRIVE_REMOVABLE, true, true, F3_1Pt44_512};
    EXPECT_EQ(MediaClass::Floppy, GetDriveMediaClass(platform, L'e'));
    std::vector<std::wstring> expected = {
        L"GetDriveTypeW(e:\\)",
        L"CreateFileW(\\\\.\\e:, c0000000, 3, 3, 20000000)",
        L"DeviceIoControl(\\\\.\\e:, 70000, 24)",
        L"CloseHandle(\\\\.\\e:)",
    };
    EXPECT_EQ(expected, platform.calls);

    // An upper-case letter names another drive here: nothing is folded.
    platform.calls.clear();
    EXPECT_EQ(MediaClass::CdRomOrOther, GetDriveMediaClass(platform, L'E'));
    EXPECT_EQ(std::vector<std::wstring>{L"GetDriveTypeW(E:\\)"}, platform.calls);
}

TEST_F(VolumeTest, OpenDriveVolumeGivesNullNotInvalidHandle)
{
    platform.drives[L'F'].volumeOpens = false;
    FileHandle volume = OpenDriveVolume(platform, L'F');
    EXPECT_EQ(nullptr, volume.Get());
    EXPECT_FALSE(IsFloppyDrive(platform, L'F'));
    EXPECT_TRUE(platform.CallsNamed({L"DeviceIoControl", L"CloseHandle"}).empty());

    platform.drives[L'F'].volumeOpens = true;
    {
        FileHandle opened = OpenDriveVolume(platform, L'F');
        EXPECT_NE(nullptr, opened.Get());
        FileHandle moved = std::move(opened);
        EXPECT_FALSE(opened);
        EXPECT_EQ(1, platform.handlesOpened - platform.handlesClosed);
    }
    EXPECT_EQ(platform.handlesOpened, platform.handlesClosed);
}

struct NumberCase {
    const char* name;
    bool opens;
    bool answers;
    bool result;
};

TEST_F(VolumeTest, DeviceNumberQuery)
{
    const NumberCase cases[] = {
        {"answers", true, true, true},
        {"open fails", false, true, false},
        {"request fails", true, false, false},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPlatform s;
        ScriptedDrive& d = s.drives[L'g'];
        d.interfacePathOpens = c.opens;
        d.numberAnswers = c.answers;
        d.deviceNumber = 7;

        DWORD number = 0xdeadbeef;
        EXPECT_EQ(c.result, QueryStorageDeviceNumber(s, L"\\\\?\\g:", number));
        EXPECT_EQ(c.result ? 7u : 0xdeadbeefu, number);
        std::vector<std::wstring> expected = {L"CreateFileW(\\\\?\\g:, 0, 3, 3, 0)"};
        if (c.opens) {
            expected.push_back(L"DeviceIoControl(\\\\?\\g:, 2d1080, 12)");
            expected.push_back(L"CloseHandle(\\\\?\\g:)");
        }
        EXPECT_EQ(expected, s.calls);
        EXPECT_TRUE(s.NothingLeft());
    }
}

}  // namespace
