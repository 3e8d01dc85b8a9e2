#include "scripted_storage.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <cwchar>

namespace {

const SIZE_T kGuard = 16;
const BYTE kGuardByte = 0xAB;

std::wstring GuidText(const GUID& guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

bool SameGuid(const std::wstring& text, const GUID& guid)
{
    GUID parsed = {};
    return ::CLSIDFromString(text.c_str(), &parsed) == S_OK && IsEqualGUID(parsed, guid);
}

}  // namespace

ScriptedInterface StorageInterface(const std::wstring& path, DWORD deviceNumber,
                                   std::vector<std::wstring> hardwareIds)
{
    ScriptedInterface i;
    i.path = path;
    i.deviceNumber = deviceNumber;
    i.hardwareIds = std::move(hardwareIds);
    return i;
}

ScriptedStorage::~ScriptedStorage()
{
    for (auto& [memory, size] : liveBuffers)
        ::LocalFree(memory);
}

std::vector<std::wstring> ScriptedStorage::CallsNamed(
    std::initializer_list<const wchar_t*> names) const
{
    std::vector<std::wstring> picked;
    for (const std::wstring& call : calls) {
        std::wstring name = call.substr(0, call.find(L'('));
        for (const wchar_t* wanted : names)
            if (name == wanted)
                picked.push_back(call);
    }
    return picked;
}

void ScriptedStorage::ExpectNothingLeft() const
{
    EXPECT_EQ(handlesOpened, handlesClosed) << "device handles left open";
    EXPECT_EQ(setsCreated, setsDestroyed) << "device information sets left";
    EXPECT_EQ(buffersAllocated, buffersFreed) << "local buffers left";
    EXPECT_TRUE(openDevices.empty());
    EXPECT_TRUE(openSets.empty());
    EXPECT_TRUE(liveBuffers.empty());
    for (const std::string& what : misuse)
        ADD_FAILURE() << "platform misused: " << what;
}

BOOL ScriptedStorage::Fail(DWORD error)
{
    lastError = error;
    return FALSE;
}

void ScriptedStorage::Record(const wchar_t* format, ...)
{
    wchar_t text[512];
    va_list args;
    va_start(args, format);
    vswprintf(text, 512, format, args);
    va_end(args);
    calls.push_back(text);
}

void ScriptedStorage::Misuse(const std::string& what) { misuse.push_back(what); }

HANDLE ScriptedStorage::Open(const OpenDevice& device)
{
    HANDLE handle = reinterpret_cast<HANDLE>(nextHandle);
    nextHandle += 4;
    openDevices[handle] = device;
    ++handlesOpened;
    return handle;
}

HANDLE ScriptedStorage::CreateFileW(const wchar_t* path, DWORD access, DWORD shareMode,
                                    SECURITY_ATTRIBUTES* security, DWORD disposition,
                                    DWORD flags, HANDLE templateFile)
{
    Record(L"CreateFileW(%ls, %lx, %lu, %lu, %lx)", path, access, shareMode, disposition,
           flags);
    if (security != nullptr || templateFile != nullptr)
        Misuse("CreateFileW with security attributes or a template");
    std::wstring p = path;
    OpenDevice device;
    device.path = p;
    if (p.size() == 6 && p[5] == L':' && drives.count(p[4])) {
        const ScriptedDrive& drive = drives.at(p[4]);
        if (p.compare(0, 4, L"\\\\.\\") == 0 && drive.volumeOpens) {
            device.drive = &drive;
            device.volume = true;
            return Open(device);
        }
        if (p.compare(0, 4, L"\\\\?\\") == 0 && drive.interfacePathOpens) {
            device.drive = &drive;
            return Open(device);
        }
    }
    for (auto& [text, list] : interfaces) {
        for (const ScriptedInterface& i : list) {
            if (i.path == p && i.opens) {
                device.iface = &i;
                return Open(device);
            }
        }
    }
    lastError = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
}

BOOL ScriptedStorage::DeviceIoControl(HANDLE handle, DWORD code, void* in, DWORD inSize,
                                      void* out, DWORD outSize, DWORD* returned,
                                      OVERLAPPED* overlapped)
{
    auto open = openDevices.find(handle);
    if (open == openDevices.end()) {
        Misuse("DeviceIoControl on a handle that is not open");
        return Fail(ERROR_INVALID_HANDLE);
    }
    const OpenDevice& device = open->second;
    Record(L"DeviceIoControl(%ls, %lx, %lu)", device.path.c_str(), code, outSize);
    if (in != nullptr || inSize != 0 || overlapped != nullptr || returned == nullptr)
        Misuse("DeviceIoControl with input, overlapped record or no bytes-returned");
    if (code == IOCTL_DISK_GET_DRIVE_GEOMETRY) {
        if (outSize < sizeof(DISK_GEOMETRY))
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        if (!device.volume || !device.drive->geometryAnswers)
            return Fail(ERROR_NOT_SUPPORTED);
        DISK_GEOMETRY geometry = {};
        geometry.MediaType = device.drive->mediaType;
        geometry.BytesPerSector = 512;
        memcpy(out, &geometry, sizeof geometry);
        *returned = sizeof geometry;
        return TRUE;
    }
    if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER) {
        if (outSize < sizeof(STORAGE_DEVICE_NUMBER))
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        bool answers = device.iface ? device.iface->numberAnswers : device.drive->numberAnswers;
        if (!answers)
            return Fail(ERROR_INVALID_FUNCTION);
        STORAGE_DEVICE_NUMBER number = {};
        number.DeviceType = FILE_DEVICE_DISK;
        number.DeviceNumber =
            device.iface ? device.iface->deviceNumber : device.drive->deviceNumber;
        number.PartitionNumber = 1;
        memcpy(out, &number, sizeof number);
        *returned = sizeof number;
        return TRUE;
    }
    return Fail(ERROR_INVALID_FUNCTION);
}

BOOL ScriptedStorage::CloseHandle(HANDLE handle)
{
    auto open = openDevices.find(handle);
    if (open == openDevices.end()) {
        Misuse("CloseHandle on a handle that is not open");
        return Fail(ERROR_INVALID_HANDLE);
    }
    Record(L"CloseHandle(%ls)", open->second.path.c_str());
    openDevices.erase(open);
    ++handlesClosed;
    return TRUE;
}

UINT ScriptedStorage::GetDriveTypeW(const wchar_t* rootPath)
{
    Record(L"GetDriveTypeW(%ls)", rootPath);
    std::wstring root = rootPath;
    if (root.size() == 3 && root.compare(1, 2, L":\\") == 0 && drives.count(root[0]))
        return drives.at(root[0]).type;
    return DRIVE_NO_ROOT_DIR;
}

HRESULT ScriptedStorage::CLSIDFromString(wchar_t* text, CLSID* clsid)
{
    Record(L"CLSIDFromString(%ls)", text);
    return ::CLSIDFromString(text, clsid);
}

HDEVINFO ScriptedStorage::SetupDiGetClassDevsW(const GUID* classGuid,
                                               const wchar_t* enumerator, HWND parent,
                                               DWORD flags)
{
    Record(L"SetupDiGetClassDevsW(%ls, %lx)", GuidText(*classGuid).c_str(), flags);
    if (enumerator != nullptr || parent != nullptr)
        Misuse("SetupDiGetClassDevsW with an enumerator or a parent window");
    if (classDevsFails) {
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    OpenSet open = {&noInterfaces, *classGuid};
    for (auto& [text, list] : interfaces)
        if (SameGuid(text, *classGuid))
            open.interfaces = &list;
    HDEVINFO set = reinterpret_cast<HDEVINFO>(nextHandle);
    nextHandle += 4;
    openSets[set] = open;
    ++setsCreated;
    return set;
}

const ScriptedInterface* ScriptedStorage::Member(HDEVINFO set, ULONG_PTR reserved)
{
    auto open = openSets.find(set);
    if (open == openSets.end()) {
        Misuse("a set that is not open");
        return nullptr;
    }
    if (reserved == 0 || reserved > open->second.interfaces->size()) {
        Misuse("a record the set did not fill");
        return nullptr;
    }
    return &(*open->second.interfaces)[reserved - 1];
}

void ScriptedStorage::CheckBuffer(const void* buffer, DWORD size, const char* call)
{
    if (buffer == nullptr) {
        if (size != 0)
            Misuse(std::string(call) + " with no buffer and a non-zero size");
        return;
    }
    auto live = liveBuffers.find(const_cast<void*>(buffer));
    if (live == liveBuffers.end())
        Misuse(std::string(call) + " with a buffer that is not a live allocation");
    else if (size > live->second)
        Misuse(std::string(call) + " told of more room than was allocated");
}

BOOL ScriptedStorage::SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                  const GUID* interfaceClass, DWORD index,
                                                  SP_DEVICE_INTERFACE_DATA* data)
{
    Record(L"SetupDiEnumDeviceInterfaces(%lu)", index);
    auto open = openSets.find(set);
    if (open == openSets.end()) {
        Misuse("SetupDiEnumDeviceInterfaces on a set that is not open");
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (device != nullptr || !IsEqualGUID(*interfaceClass, open->second.guid))
        Misuse("SetupDiEnumDeviceInterfaces with a device record or another class");
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    const auto& list = *open->second.interfaces;
    if (index >= list.size())
        return Fail(ERROR_NO_MORE_ITEMS);
    if (list[index].enumError != 0)
        return Fail(list[index].enumError);
    data->InterfaceClassGuid = *interfaceClass;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = index + 1;
    return TRUE;
}

BOOL ScriptedStorage::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set,
                                                       SP_DEVICE_INTERFACE_DATA* data,
                                                       SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                       DWORD detailSize, DWORD* requiredSize,
                                                       SP_DEVINFO_DATA* device)
{
    Record(L"SetupDiGetDeviceInterfaceDetailW(%lu, %lu)", DWORD(data->Reserved), detailSize);
    const ScriptedInterface* i = Member(set, data->Reserved);
    if (i == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    CheckBuffer(detail, detailSize, "SetupDiGetDeviceInterfaceDetailW");
    if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    DWORD trueSize = DWORD(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                           (i->path.size() + 1) * sizeof(wchar_t));
    if (detail == nullptr) {
        if (i->sizeQueryError != ERROR_INSUFFICIENT_BUFFER)
            return Fail(i->sizeQueryError);
        *requiredSize = i->reportedDetailSize ? i->reportedDetailSize : trueSize;
        pendingAlloc = Pending::Detail;
        pendingFor = i;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (detailSize < trueSize) {
        *requiredSize = trueSize;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (i->detailFails)
        return Fail(ERROR_GEN_FAILURE);
    memcpy(detail->DevicePath, i->path.c_str(), (i->path.size() + 1) * sizeof(wchar_t));
    device->ClassGuid = GUID();
    device->DevInst = DWORD(0x100 + data->Reserved - 1);
    device->Reserved = data->Reserved;
    return TRUE;
}

BOOL ScriptedStorage::SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                        DWORD property, DWORD* valueType,
                                                        BYTE* buffer, DWORD bufferSize,
                                                        DWORD* requiredSize)
{
    Record(L"SetupDiGetDeviceRegistryPropertyW(%lu, %lu, %lu)", DWORD(device->Reserved),
           property, bufferSize);
    const ScriptedInterface* i = Member(set, device->Reserved);
    if (i == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    CheckBuffer(buffer, bufferSize, "SetupDiGetDeviceRegistryPropertyW");
    if (device->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (property != SPDRP_HARDWAREID || i->hardwareIds.empty())
        return Fail(ERROR_INVALID_DATA);
    std::wstring multi;
    for (const std::wstring& id : i->hardwareIds)
        multi += id + L'\0';
    multi += L'\0';
    DWORD size = DWORD(multi.size() * sizeof(wchar_t));
    if (requiredSize != nullptr)
        *requiredSize = size;
    if (valueType != nullptr)
        *valueType = REG_MULTI_SZ;
    if (buffer == nullptr || bufferSize < size) {
        pendingAlloc = Pending::Property;
        pendingFor = i;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    memcpy(buffer, multi.data(), size);
    return TRUE;
}

BOOL ScriptedStorage::SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    Record(L"SetupDiDestroyDeviceInfoList()");
    if (openSets.erase(set) == 0) {
        Misuse("SetupDiDestroyDeviceInfoList on a set that is not open");
        return Fail(ERROR_INVALID_HANDLE);
    }
    ++setsDestroyed;
    return TRUE;
}

HLOCAL ScriptedStorage::LocalAlloc(UINT flags, SIZE_T size)
{
    Record(L"LocalAlloc(%x, %lu)", flags, DWORD(size));
    Pending pending = std::exchange(pendingAlloc, Pending::None);
    bool fails = pending == Pending::Detail && pendingFor->detailAllocFails;
    if (pending == Pending::Property && pendingFor->propertyAllocFails) {
        auto& failed = propertyAllocFailed;
        if (std::find(failed.begin(), failed.end(), pendingFor) == failed.end()) {
            failed.push_back(pendingFor);
            fails = true;
        }
    }
    if (fails) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    if (flags != LPTR)
        Misuse("LocalAlloc without LPTR");
    BYTE* memory = static_cast<BYTE*>(::LocalAlloc(LPTR, size + kGuard));
    memset(memory + size, kGuardByte, kGuard);
    liveBuffers[memory] = size;
    ++buffersAllocated;
    return memory;
}

HLOCAL ScriptedStorage::LocalFree(HLOCAL memory)
{
    Record(L"LocalFree()");
    auto live = liveBuffers.find(memory);
    if (live == liveBuffers.end()) {
        Misuse("LocalFree of memory that is not a live allocation");
        return memory;
    }
    const BYTE* guard = static_cast<BYTE*>(memory) + live->second;
    for (SIZE_T k = 0; k < kGuard; ++k)
        if (guard[k] != kGuardByte) {
            Misuse("a write past the end of a local buffer");
            break;
        }
    liveBuffers.erase(live);
    ::LocalFree(memory);
    ++buffersFreed;
    return nullptr;
}
