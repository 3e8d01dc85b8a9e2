// The real storage stack and Setup API under the platform this runs on.
#include <gtest/gtest.h>

#include "drives/interfaces.h"
#include "drives/lookup.h"
#include "drives/volume.h"

namespace {

// Passes every call to the real platform and counts what was obtained and
// released, so the real path can be checked for leaks too.
class CountingPlatform : public StoragePlatform {
public:
    int opened = 0, closed = 0, sets = 0, destroyed = 0, allocated = 0, freed = 0;

    HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD shareMode,
                       SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                       HANDLE templateFile) override
    {
        HANDLE h = real.CreateFileW(path, access, shareMode, security, disposition, flags,
                                    templateFile);
        opened += h != INVALID_HANDLE_VALUE;
        return h;
    }
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned, OVERLAPPED* overlapped) override
    {
        return real.DeviceIoControl(device, code, in, inSize, out, outSize, returned,
                                    overlapped);
    }
    BOOL CloseHandle(HANDLE handle) override
    {
        ++closed;
        return real.CloseHandle(handle);
    }
    UINT GetDriveTypeW(const wchar_t* rootPath) override { return real.GetDriveTypeW(rootPath); }
    HRESULT CLSIDFromString(wchar_t* text, CLSID* clsid) override
    {
        return real.CLSIDFromString(text, clsid);
    }
    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, const wchar_t* enumerator,
                                  HWND parent, DWORD flags) override
    {
        HDEVINFO set = real.SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
        sets += set != INVALID_HANDLE_VALUE;
        return set;
    }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device,
                                     const GUID* interfaceClass, DWORD index,
                                     SP_DEVICE_INTERFACE_DATA* data) override
    {
        return real.SetupDiEnumDeviceInterfaces(set, device, interfaceClass, index, data);
    }
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                          SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                          DWORD detailSize, DWORD* requiredSize,
                                          SP_DEVINFO_DATA* device) override
    {
        return real.SetupDiGetDeviceInterfaceDetailW(set, data, detail, detailSize,
                                                     requiredSize, device);
    }
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device,
                                           DWORD property, DWORD* valueType, BYTE* buffer,
                                           DWORD bufferSize, DWORD* requiredSize) override
    {
        return real.SetupDiGetDeviceRegistryPropertyW(set, device, property, valueType,
                                                      buffer, bufferSize, requiredSize);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override
    {
        ++destroyed;
        return real.SetupDiDestroyDeviceInfoList(set);
    }
    HLOCAL LocalAlloc(UINT flags, SIZE_T size) override
    {
        HLOCAL memory = real.LocalAlloc(flags, size);
        allocated += memory != nullptr;
        return memory;
    }
    HLOCAL LocalFree(HLOCAL memory) override
    {
        ++freed;
        return real.LocalFree(memory);
    }
    DWORD GetLastError() override { return real.GetLastError(); }

    void ExpectBalanced() const
    {
        EXPECT_EQ(opened, closed);
        EXPECT_EQ(sets, destroyed);
        EXPECT_EQ(allocated, freed);
    }

private:
    StoragePlatform& real = RealStoragePlatform();
};

TEST(RealStorage, SystemDriveHasADeviceNumber)
{
    CountingPlatform platform;
    EXPECT_EQ(UINT(DRIVE_FIXED), platform.GetDriveTypeW(L"C:\\"));
    EXPECT_EQ(MediaClass::Disk, GetDriveMediaClass(platform, L'C'));

    for (const wchar_t* path : {L"\\\\?\\C:", L"\\\\.\\C:"}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(path)));
        DWORD number = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(QueryStorageDeviceNumber(platform, path, number));
        EXPECT_NE(0xdeadbeefu, number);
    }
    EXPECT_GE(platform.opened, 2);
    platform.ExpectBalanced();
}

TEST(RealStorage, PathThatNamesNoDriveFails)
{
    CountingPlatform platform;
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
    platform.ExpectBalanced();
}

TEST(RealStorage, ClassTextConversion)
{
    CountingPlatform platform;
    wchar_t disk[] = L"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    GUID guid = {};
    EXPECT_EQ(S_OK, platform.CLSIDFromString(disk, &guid));
    EXPECT_EQ(0x53f56307u, guid.Data1);
    wchar_t broken[] = L"{53f56307-b6bf-11d0}";
    EXPECT_NE(S_OK, platform.CLSIDFromString(broken, &guid));

    StorageInterfaceList list;
    EXPECT_FALSE(EnumerateStorageInterfaces(platform, L"{53f56307-b6bf-11d0}", list));
    EXPECT_EQ(0, platform.sets);
}

// Wine lists no disk or volume interfaces: the walk ends at once.
TEST(RealStorage, InterfaceWalkEndsWithoutMatch)
{
    CountingPlatform platform;
    DWORD number = 0;
    ASSERT_TRUE(QueryStorageDeviceNumber(platform, L"\\\\?\\C:", number));
    for (const wchar_t* text : {kDiskInterfaceClass, kVolumeInterfaceClass}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(text)));
        wchar_t writable[40];
        lstrcpynW(writable, text, 40);
        GUID guid = {};
        ASSERT_EQ(S_OK, platform.CLSIDFromString(writable, &guid));
        {
            StorageDeviceSet set(platform, platform.SetupDiGetClassDevsW(
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
    EXPECT_EQ(8, platform.destroyed);
    platform.ExpectBalanced();
}

TEST(RealStorage, LookupOfTheSystemDriveFindsNothing)
{
    CountingPlatform platform;
    CString id = L"untouched";
    EXPECT_FALSE(LookupDriveHardwareId(platform, L'C', id));
    EXPECT_EQ(std::wstring(L"untouched"), std::wstring(id.Text()));
    EXPECT_GE(platform.opened, 1);
    EXPECT_EQ(1, platform.sets);
    platform.ExpectBalanced();

    // The command's own form runs on the real platform.
    EXPECT_FALSE(LookupDriveHardwareId(L'C', id));
    EXPECT_EQ(std::wstring(L"untouched"), std::wstring(id.Text()));
}

}  // namespace
