#include "drives_fixture.h"

#include "drives/lookup.h"

#include <vector>

namespace {

using LookupTest = ScriptedDrivesTest;

void AddRemovableUsbDisk(ScriptedPlatform& s)
{
    ScriptedDrive& e = s.drives[L'e'];
    e.type = DRIVE_REMOVABLE;
    e.mediaType = RemovableMedia;
    e.deviceNumber = 2;
    s.interfaces[kDiskClass] = {
        StorageInterface(kIdeDisk, 0, {L"IDE\\DiskAcme_SSD"}),
        StorageInterface(kUsbDisk, 2, {L"usbstor\\diskacme_stick___1.00", L"GenDisk"}),
    };
    // A volume of the same number that only a wrong class choice would find.
    s.interfaces[kVolumeClass] = {
        StorageInterface(L"\\\\?\\storage#volume#usb_e", 2, {L"STORAGE\\VOLUME"}),
    };
}

TEST_F(LookupTest, RemovableUsbDiskGivesItsFirstHardwareIdUpperCased)
{
    AddRemovableUsbDisk(platform);
    CString id = L"previous";
    ASSERT_TRUE(LookupDriveHardwareId(platform, L'e', id));
    EXPECT_EQ(L"USBSTOR\\DISKACME_STICK___1.00", Text(id));

    const std::wstring usb = std::wstring(kUsbDisk);
    const std::wstring ide = std::wstring(kIdeDisk);
    std::vector<std::wstring> expected = {
        L"CreateFileW(\\\\?\\e:, 0, 3, 3, 0)",
        L"DeviceIoControl(\\\\?\\e:, 2d1080, 12)",
        L"CloseHandle(\\\\?\\e:)",
        // interface class
        L"GetDriveTypeW(e:\\)",
        L"CreateFileW(\\\\.\\e:, c0000000, 3, 3, 20000000)",
        L"DeviceIoControl(\\\\.\\e:, 70000, 24)",
        L"CloseHandle(\\\\.\\e:)",
        // media class
        L"GetDriveTypeW(e:\\)",
        L"CreateFileW(\\\\.\\e:, c0000000, 3, 3, 20000000)",
        L"DeviceIoControl(\\\\.\\e:, 70000, 24)",
        L"CloseHandle(\\\\.\\e:)",
        L"CLSIDFromString({53f56307-b6bf-11d0-94f2-00a0c91efb8b})",
        L"SetupDiGetClassDevsW({53F56307-B6BF-11D0-94F2-00A0C91EFB8B}, 12)",
        L"CreateFileW(" + ide + L", 0, 3, 3, 0)",
        L"DeviceIoControl(" + ide + L", 2d1080, 12)",
        L"CloseHandle(" + ide + L")",
        L"CreateFileW(" + usb + L", 0, 3, 3, 0)",
        L"DeviceIoControl(" + usb + L", 2d1080, 12)",
        L"CloseHandle(" + usb + L")",
    };
    EXPECT_EQ(expected, platform.CallsNamed({L"CreateFileW", L"DeviceIoControl", L"CloseHandle",
                                             L"GetDriveTypeW", L"CLSIDFromString",
                                             L"SetupDiGetClassDevsW"}));

    // Nothing survives a lookup: the second one asks everything again.
    std::vector<std::wstring> first = platform.calls;
    platform.calls.clear();
    CString again;
    ASSERT_TRUE(LookupDriveHardwareId(platform, L'e', again));
    EXPECT_EQ(Text(id), Text(again));
    EXPECT_EQ(first, platform.calls);
}

TEST_F(LookupTest, VolumeInterfacesServeFloppyAndCdRomDrives)
{
    struct {
        const char* name;
        ScriptedDrive drive;
        const wchar_t* matchingPath;
        const wchar_t* id;
    } const cases[] = {
        {"floppy", {DRIVE_REMOVABLE, true, true, F3_1Pt44_512, true, true, 0},
         L"\\\\?\\fdc#generic_floppy_drive#6&1#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}",
         L"FDC\\GENERIC_FLOPPY_DRIVE"},
        {"cd-rom", {DRIVE_CDROM, true, true, Unknown, true, true, 0},
         L"\\\\?\\ide#cdromacme_dvd#5&2#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}",
         L"IDE\\CDROMACME_DVD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPlatform s;
        s.drives[L'A'] = c.drive;
        // Same number everywhere: only the class tells the volumes apart.
        s.interfaces[kVolumeClass] = {
            StorageInterface(L"\\\\?\\storage#volume#1", 0, {L"STORAGE\\VOLUME"}),
            StorageInterface(c.matchingPath, 0, {c.id}),
        };
        s.interfaces[kDiskClass] = {
            StorageInterface(L"\\\\?\\fdc#floppy#cdrom#disk", 0, {L"WRONG\\CLASS"}),
        };
        CString id;
        EXPECT_TRUE(LookupDriveHardwareId(s, L'A', id));
        EXPECT_EQ(std::wstring(c.id), Text(id));
        EXPECT_EQ(std::vector<std::wstring>{L"CLSIDFromString({53f5630d-b6bf-11d0-94f2-00a0c91efb8b})"},
                  s.CallsNamed({L"CLSIDFromString"}));
        EXPECT_TRUE(s.NothingLeft());
    }
}

TEST_F(LookupTest, FixedDiskWhosePathHoldsNoWordHasNoMatch)
{
    platform.drives[L'C'].deviceNumber = 0;
    platform.interfaces[kDiskClass] = {StorageInterface(kIdeDisk, 0, {L"IDE\\DISKACME_SSD"})};
    CString id = L"untouched";
    EXPECT_FALSE(LookupDriveHardwareId(platform, L'C', id));
    EXPECT_EQ(L"untouched", Text(id));
    // The interface was asked and answered with the same number all the same.
    EXPECT_EQ(2u, platform.CallsNamed({L"DeviceIoControl"}).size());
}

TEST_F(LookupTest, MatchWithoutHardwareIdGivesTrueAndEmpty)
{
    AddRemovableUsbDisk(platform);
    platform.interfaces[kDiskClass][1].hardwareIds.clear();
    CString id = L"previous";
    EXPECT_TRUE(LookupDriveHardwareId(platform, L'e', id));
    EXPECT_TRUE(id.IsEmpty());
}

TEST_F(LookupTest, VolumePathThatDoesNotAnswerStopsAtOnce)
{
    struct {
        const char* name;
        wchar_t letter;
        const wchar_t* path;
    } const cases[] = {
        {"empty text", 0, L"\\\\?\\"},
        {"blank", L' ', L"\\\\?\\ :"},
        {"no such drive", L'Q', L"\\\\?\\Q:"},
        {"path will not open", L'e', L"\\\\?\\e:"},
        {"no device number", L'E', L"\\\\?\\E:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPlatform s;
        AddRemovableUsbDisk(s);
        s.drives[L'e'].interfacePathOpens = false;
        s.drives[L'E'] = s.drives[L'e'];
        s.drives[L'E'].interfacePathOpens = true;
        s.drives[L'E'].numberAnswers = false;

        CString id = L"untouched";
        EXPECT_FALSE(LookupDriveHardwareId(s, c.letter, id));
        EXPECT_EQ(L"untouched", Text(id));
        std::vector<std::wstring> calls = s.CallsNamed({L"CreateFileW", L"GetDriveTypeW"});
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(L"CreateFileW(" + std::wstring(c.path) + L", 0, 3, 3, 0)", calls[0]);
        EXPECT_TRUE(s.NothingLeft());
    }
}

TEST_F(LookupTest, CommandFormUsesThePlatformInScope)
{
    AddRemovableUsbDisk(platform);
    CString id;
    {
        ScopedPlatform scripted(platform);
        EXPECT_TRUE(LookupDriveHardwareId(L'e', id));
    }
    EXPECT_EQ(L"USBSTOR\\DISKACME_STICK___1.00", Text(id));
    EXPECT_EQ(&SystemPlatform(), &CurrentPlatform());
}

}  // namespace
