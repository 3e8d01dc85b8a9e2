#include "drives_fixture.h"

#include "drives/interfaces.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace {

using InterfacesTest = ScriptedDrivesTest;

const wchar_t kScsiDisk[] =
    L"\\\\?\\scsi#disk&ven_acme&prod_storage#4&2&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

TEST(ClassifyInterfacePath, FirstWordInFixedOrderDecides)
{
    struct {
        const wchar_t* path;
        MediaClass expected;
    } const cases[] = {
        {L"\\\\?\\fdc#generic_floppy_drive#1", MediaClass::Floppy},
        {L"\\\\?\\ide#cdromacme#2", MediaClass::CdRomOrOther},
        {L"\\\\?\\storage#volume#3", MediaClass::Disk},
        {L"\\\\?\\usbstor#disk#4", MediaClass::Disk},
        {L"\\\\?\\ide#disk#5", MediaClass::Unclassified},
        {L"", MediaClass::Unclassified},
        {L"\\\\?\\storage#floppy#6", MediaClass::Floppy},
        {L"\\\\?\\storage#cdrom#7", MediaClass::CdRomOrOther},
        {L"\\\\?\\usbstor#cdrom#8", MediaClass::CdRomOrOther},
        {L"\\\\?\\USBSTOR#DISK#9", MediaClass::Unclassified},
        {L"\\\\?\\FLOPPY#STORAGE#CDROM", MediaClass::Unclassified},
        {L"\\\\?\\Storage#usbStor", MediaClass::Unclassified},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.path)));
        EXPECT_EQ(c.expected, ClassifyInterfacePath(CString(c.path)));
    }
}

TEST_F(InterfacesTest, ClassChoiceFollowsDriveType)
{
    struct {
        UINT type;
        MEDIA_TYPE media;
        const wchar_t* expected;
    } const cases[] = {
        {DRIVE_REMOVABLE, F3_1Pt44_512, kVolumeClass},
        {DRIVE_REMOVABLE, RemovableMedia, kDiskClass},
        {DRIVE_FIXED, FixedMedia, kDiskClass},
        {DRIVE_CDROM, RemovableMedia, kVolumeClass},
        {DRIVE_REMOTE, Unknown, kVolumeClass},
        {DRIVE_RAMDISK, FixedMedia, kVolumeClass},
        {DRIVE_UNKNOWN, Unknown, kVolumeClass},
        {DRIVE_NO_ROOT_DIR, Unknown, kVolumeClass},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ScriptedPlatform s;
        s.drives[L'H'].type = c.type;
        s.drives[L'H'].mediaType = c.media;
        EXPECT_EQ(std::wstring(c.expected), Text(SelectInterfaceClass(s, L'H')));
        EXPECT_TRUE(s.NothingLeft());
    }
}

TEST_F(InterfacesTest, EntriesCarryWhatThePlatformGave)
{
    platform.interfaces[kDiskClass] = {
        StorageInterface(kUsbDisk, 2, {L"usbstor\\diskacme_stick___1.00", L"usbstor\\diskacme"}),
        StorageInterface(kIdeDisk, 0, {L"IDE\\DiskAcme_SSD"}),
    };
    StorageInterfaceList list;
    ASSERT_TRUE(EnumerateStorageInterfaces(platform, kDiskClass, list));
    ASSERT_EQ(2u, list.Size());

    const StorageInterfaceEntry& usb = list.At(0);
    EXPECT_EQ(std::wstring(kUsbDisk), Text(usb.devicePath));  // case kept
    EXPECT_EQ(L"USBSTOR\\DISKACME_STICK___1.00", Text(usb.hardwareId));
    EXPECT_EQ(MediaClass::Disk, usb.mediaClass);
    EXPECT_EQ(0x100u, usb.devInst);
    EXPECT_EQ(sizeof(SP_DEVINFO_DATA), usb.devInfoData.cbSize);
    EXPECT_EQ(usb.devInst, usb.devInfoData.DevInst);

    const StorageInterfaceEntry& ide = list.At(1);
    EXPECT_EQ(L"IDE\\DISKACME_SSD", Text(ide.hardwareId));
    EXPECT_EQ(MediaClass::Unclassified, ide.mediaClass);
    EXPECT_EQ(0x101u, ide.devInst);

    // Present interfaces of the class are asked for, and the set released.
    EXPECT_EQ(std::vector<std::wstring>{L"SetupDiGetClassDevsW({53F56307-B6BF-11D0-94F2-00A0C91EFB8B}, 12)"},
              platform.CallsNamed({L"SetupDiGetClassDevsW"}));
    EXPECT_EQ(1, platform.setsDestroyed);

    // The property buffer is twice the reported size; the call is told the
    // reported size itself.
    DWORD reported = DWORD((wcslen(L"usbstor\\diskacme_stick___1.00") + 1 +
                            wcslen(L"usbstor\\diskacme") + 1 + 1) * sizeof(wchar_t));
    std::vector<std::wstring> calls = platform.CallsNamed(
        {L"SetupDiGetDeviceRegistryPropertyW", L"LocalAlloc", L"LocalFree"});
    auto first =
        std::find(calls.begin(), calls.end(), L"SetupDiGetDeviceRegistryPropertyW(1, 1, 0)");
    ASSERT_LE(4, calls.end() - first);
    std::vector<std::wstring> protocol(first, first + 4);
    std::vector<std::wstring> expected = {
        L"SetupDiGetDeviceRegistryPropertyW(1, 1, 0)",
        L"LocalAlloc(40, " + std::to_wstring(2 * reported) + L")",
        L"SetupDiGetDeviceRegistryPropertyW(1, 1, " + std::to_wstring(reported) + L")",
        L"LocalFree()",
    };
    EXPECT_EQ(expected, protocol);
}

TEST_F(InterfacesTest, ClassTextThatDoesNotConvert)
{
    platform.interfaces[kDiskClass] = {StorageInterface(kUsbDisk, 2, {L"USBSTOR\\DISK"})};
    StorageInterfaceList list;
    list.Append(StorageInterfaceEntry());  // cleared even when the walk never starts
    EXPECT_FALSE(EnumerateStorageInterfaces(platform, L"{53f56307-b6bf-11d0-94f2}", list));
    EXPECT_EQ(0u, list.Size());
    EXPECT_FALSE(EnumerateStorageInterfaces(platform, L"", list));
    EXPECT_EQ(0, platform.setsOpened);

    StorageInterfaceEntry found;
    found.hardwareId = L"UNTOUCHED";
    EXPECT_FALSE(FindStorageInterface(platform, L"disk", 2, MediaClass::Disk, found));
    EXPECT_EQ(L"UNTOUCHED", Text(found.hardwareId));
}

TEST_F(InterfacesTest, NoSetCanBeHad)
{
    platform.FailCalls(L"SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER);
    StorageInterfaceList list;
    EXPECT_FALSE(EnumerateStorageInterfaces(platform, kDiskClass, list));
    EXPECT_EQ(0u, list.Size());
    EXPECT_TRUE(platform.CallsNamed({L"SetupDiEnumDeviceInterfaces"}).empty());
    EXPECT_TRUE(platform.CallsNamed({L"SetupDiDestroyDeviceInfoList"}).empty());
}

TEST_F(InterfacesTest, NoInterfacesAtAll)
{
    StorageInterfaceList list;
    EXPECT_TRUE(EnumerateStorageInterfaces(platform, kVolumeClass, list));
    EXPECT_EQ(0u, list.Size());
    StorageInterfaceEntry found;
    EXPECT_FALSE(FindStorageInterface(platform, kVolumeClass, 0, MediaClass::Disk, found));
    EXPECT_TRUE(found.devicePath.IsEmpty());
    EXPECT_EQ(2, platform.setsDestroyed);
}

TEST_F(InterfacesTest, WalkEndingEarlyKeepsWhatWasGathered)
{
    struct {
        const char* name;
        void (*breakIt)(ScriptedInterface&);
    } const cases[] = {
        {"size query answers another error",
         [](ScriptedInterface& i) { i.sizeQueryError = ERROR_INVALID_PARAMETER; }},
        {"detail buffer cannot be allocated",
         [](ScriptedInterface& i) { i.detailAllocFails = true; }},
        {"detail query fails", [](ScriptedInterface& i) { i.detailFails = true; }},
        {"reported size smaller than the detail header",
         [](ScriptedInterface& i) { i.reportedDetailSize = 2; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPlatform s;
        auto& interfaces = s.interfaces[kDiskClass];
        interfaces = {StorageInterface(kIdeDisk, 0, {L"IDE\\A"}),
                      StorageInterface(kUsbDisk, 1, {L"USBSTOR\\B"}),
                      StorageInterface(kScsiDisk, 1, {L"SCSI\\C"})};
        c.breakIt(interfaces[1]);

        StorageInterfaceList list;
        EXPECT_TRUE(EnumerateStorageInterfaces(s, kDiskClass, list));
        ASSERT_EQ(1u, list.Size());
        EXPECT_EQ(L"IDE\\A", Text(list.At(0).hardwareId));
        EXPECT_EQ(std::vector<std::wstring>({L"SetupDiEnumDeviceInterfaces(0)",
                                             L"SetupDiEnumDeviceInterfaces(1)"}),
                  s.CallsNamed({L"SetupDiEnumDeviceInterfaces"}));

        // The search then runs over what was gathered; the interface behind
        // the break is never looked at.
        StorageInterfaceEntry found;
        EXPECT_FALSE(FindStorageInterface(s, kDiskClass, 1, MediaClass::Disk, found));
        EXPECT_TRUE(FindStorageInterface(s, kDiskClass, 0, MediaClass::Unclassified, found));
        EXPECT_TRUE(s.NothingLeft());
    }
}

TEST_F(InterfacesTest, EnumerationErrorSkipsOnlyThatIndex)
{
    platform.interfaces[kDiskClass] = {StorageInterface(kIdeDisk, 0, {L"IDE\\A"}),
                                      StorageInterface(kUsbDisk, 1, {L"USBSTOR\\B"}),
                                      StorageInterface(kScsiDisk, 2, {L"SCSI\\C"})};
    platform.interfaces[kDiskClass][1].enumError = ERROR_INVALID_DATA;
    StorageInterfaceList list;
    EXPECT_TRUE(EnumerateStorageInterfaces(platform, kDiskClass, list));
    ASSERT_EQ(2u, list.Size());
    EXPECT_EQ(L"IDE\\A", Text(list.At(0).hardwareId));
    EXPECT_EQ(L"SCSI\\C", Text(list.At(1).hardwareId));
    EXPECT_EQ(0x102u, list.At(1).devInst);
}

TEST_F(InterfacesTest, MissingOrUnreadableHardwareIdLeavesItEmpty)
{
    platform.interfaces[kDiskClass] = {StorageInterface(kIdeDisk, 0),
                                      StorageInterface(kUsbDisk, 1, {L"USBSTOR\\B"}),
                                      StorageInterface(kScsiDisk, 2, {L"scsi\\c"})};
    platform.interfaces[kDiskClass][1].propertyAllocFails = true;
    StorageInterfaceList list;
    EXPECT_TRUE(EnumerateStorageInterfaces(platform, kDiskClass, list));
    ASSERT_EQ(3u, list.Size());
    EXPECT_TRUE(list.At(0).hardwareId.IsEmpty());
    EXPECT_EQ(std::wstring(kIdeDisk), Text(list.At(0).devicePath));
    EXPECT_TRUE(list.At(1).hardwareId.IsEmpty());
    EXPECT_EQ(std::wstring(kUsbDisk), Text(list.At(1).devicePath));
    EXPECT_EQ(L"SCSI\\C", Text(list.At(2).hardwareId));
    // A failed allocation ends that read: the platform is not asked again.
    std::vector<std::wstring> second;
    for (const std::wstring& call : platform.CallsNamed({L"SetupDiGetDeviceRegistryPropertyW"}))
        if (call.find(L"(2, ") != std::wstring::npos)
            second.push_back(call);
    EXPECT_EQ(std::vector<std::wstring>{L"SetupDiGetDeviceRegistryPropertyW(2, 1, 0)"}, second);
}

TEST_F(InterfacesTest, FindTakesFirstInterfaceWithSameNumberAndClass)
{
    auto& interfaces = platform.interfaces[kDiskClass];
    interfaces = {
        StorageInterface(L"\\\\?\\usbstor#unreachable", 3, {L"USBSTOR\\UNREACHABLE"}),
        StorageInterface(L"\\\\?\\usbstor#silent", 3, {L"USBSTOR\\SILENT"}),
        StorageInterface(L"\\\\?\\usbstor#other_number", 4, {L"USBSTOR\\OTHER"}),
        StorageInterface(L"\\\\?\\ide#same_number_no_word", 3, {L"IDE\\NOWORD"}),
        StorageInterface(L"\\\\?\\usbstor#first", 3, {L"USBSTOR\\FIRST"}),
        StorageInterface(L"\\\\?\\usbstor#second", 3, {L"USBSTOR\\SECOND"}),
    };
    interfaces[0].opens = false;
    interfaces[1].numberAnswers = false;

    StorageInterfaceEntry found;
    ASSERT_TRUE(FindStorageInterface(platform, kDiskClass, 3, MediaClass::Disk, found));
    EXPECT_EQ(L"USBSTOR\\FIRST", Text(found.hardwareId));
    EXPECT_EQ(L"\\\\?\\usbstor#first", Text(found.devicePath));
    EXPECT_EQ(0x104u, found.devInst);
    EXPECT_EQ(0x104u, found.devInfoData.DevInst);
    EXPECT_EQ(MediaClass::Disk, found.mediaClass);
    // Each interface is opened in turn, closed before the next, up to the match.
    EXPECT_EQ(std::vector<std::wstring>({
                  L"CreateFileW(\\\\?\\usbstor#unreachable, 0, 3, 3, 0)",
                  L"CreateFileW(\\\\?\\usbstor#silent, 0, 3, 3, 0)",
                  L"CloseHandle(\\\\?\\usbstor#silent)",
                  L"CreateFileW(\\\\?\\usbstor#other_number, 0, 3, 3, 0)",
                  L"CloseHandle(\\\\?\\usbstor#other_number)",
                  L"CreateFileW(\\\\?\\ide#same_number_no_word, 0, 3, 3, 0)",
                  L"CloseHandle(\\\\?\\ide#same_number_no_word)",
                  L"CreateFileW(\\\\?\\usbstor#first, 0, 3, 3, 0)",
                  L"CloseHandle(\\\\?\\usbstor#first)",
              }),
              platform.CallsNamed({L"CreateFileW", L"CloseHandle"}));

    // With no match the caller's entry stays as it was.
    StorageInterfaceEntry untouched;
    untouched.devicePath = L"kept";
    untouched.devInst = 77;
    EXPECT_FALSE(FindStorageInterface(platform, kDiskClass, 3, MediaClass::Floppy, untouched));
    EXPECT_EQ(L"kept", Text(untouched.devicePath));
    EXPECT_EQ(77u, untouched.devInst);
}

}  // namespace
