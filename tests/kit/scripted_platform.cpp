#include "tests/kit/scripted_platform.h"

#include "tests/kit/allocation_hooks.h"

#include <objbase.h>

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

// Guard bytes on either side of every local buffer: a write past either end
// is found when the buffer is freed, or by NothingLeft while it lives.
const SIZE_T kGuard = 16;
const BYTE kGuardByte = 0xAB;
// What memory asked for without LMEM_ZEROINIT holds, so reliance on zeroes shows.
const BYTE kUninitialisedByte = 0xCD;
// The last error after a scripted success: code that reads it after a call
// that did not fail reads nonsense, as it may on the real system.
const DWORD kStaleError = 0xdeadbeef;

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

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

}  // namespace

std::vector<BYTE> TextBytes(const std::wstring& text)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<BYTE> MultiTextBytes(const std::vector<std::wstring>& items)
{
    std::vector<BYTE> bytes;
    for (const std::wstring& item : items) {
        std::vector<BYTE> one = TextBytes(item);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    std::vector<BYTE> end = TextBytes(L"");
    bytes.insert(bytes.end(), end.begin(), end.end());
    return bytes;
}

PropertyScript Answers(const std::vector<BYTE>& data)
{
    DWORD size = static_cast<DWORD>(data.size());
    return {{FALSE, ERROR_INSUFFICIENT_BUFFER, size, {}}, {TRUE, 0, size, data}};
}

PropertyScript TextProperty(const std::wstring& text) { return Answers(TextBytes(text)); }

PropertyScript MultiTextProperty(const std::vector<std::wstring>& items)
{
    return Answers(MultiTextBytes(items));
}

PropertyScript MissingProperty() { return {{FALSE, ERROR_INVALID_DATA, 0, {}}}; }

ScriptedDevice PresentDevice(const std::wstring& description, const std::wstring& hardwareId)
{
    return {hardwareId.empty() ? MissingProperty() : MultiTextProperty({hardwareId}),
            description.empty() ? MissingProperty() : TextProperty(description)};
}

ScriptedInterface StorageInterface(const std::wstring& path, DWORD deviceNumber,
                                   std::vector<std::wstring> hardwareIds)
{
    ScriptedInterface i;
    i.path = path;
    i.deviceNumber = deviceNumber;
    i.hardwareIds = std::move(hardwareIds);
    return i;
}

ScriptedPlatform::~ScriptedPlatform()
{
    // Whatever a failing test left behind goes back to where it came from.
    for (auto& [memory, size] : liveBuffers) {
        if (beneath)
            beneath->LocalFree(memory - kGuard);
        else
            ::LocalFree(memory - kGuard);
    }
    if (beneath) {
        for (auto& [set, open] : openSets)
            beneath->SetupDiDestroyDeviceInfoList(set);
        for (auto& [handle, device] : openDevices)
            beneath->CloseHandle(handle);
    }
}

void ScriptedPlatform::Fail(const std::wstring& name, int first, int last, DWORD error)
{
    rules.push_back({name, first, last, error});
}

void ScriptedPlatform::FailCalls(const std::wstring& name, DWORD error)
{
    Fail(name, CallCount(name) + 1, INT32_MAX, error);
}

void ScriptedPlatform::StopFailing(const std::wstring& name)
{
    std::vector<FailureRule> kept;
    for (const FailureRule& rule : rules)
        if (rule.name != name)
            kept.push_back(rule);
    rules = kept;
}

int ScriptedPlatform::CallCount(const std::wstring& name) const
{
    auto found = counts.find(name);
    return found == counts.end() ? 0 : found->second;
}

std::vector<std::wstring> ScriptedPlatform::CallsNamed(
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

::testing::AssertionResult ScriptedPlatform::NothingLeft() const
{
    std::string problems;
    auto add = [&](const std::string& problem) { problems += "\n  " + problem; };
    if (!openSets.empty())
        add(std::to_string(openSets.size()) + " device information sets left (" +
            std::to_string(setsOpened) + " opened, " + std::to_string(setsDestroyed) +
            " destroyed)");
    for (auto& [handle, device] : openDevices)
        add("handle left open: " + Narrow(device.path));
    for (auto& [memory, size] : liveBuffers) {
        add("local buffer of " + std::to_string(size) + " bytes left");
        if (!GuardsIntact(memory, size))
            add("a write beyond a local buffer of " + std::to_string(size) + " bytes");
    }
    for (const std::string& what : misuse)
        add("platform misused: " + what);
    if (problems.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << problems;
}

bool ScriptedPlatform::Called(DWORD& error, const wchar_t* name, const wchar_t* format, ...)
{
    if (logCalls) {
        wchar_t arguments[512];
        va_list args;
        va_start(args, format);
        vswprintf(arguments, 512, format, args);
        va_end(args);
        calls.push_back(std::wstring(name) + L"(" + arguments + L")");
    }
    auto count = counts.find(std::wstring_view(name));
    if (count == counts.end())
        count = counts.emplace(name, 0).first;
    int n = ++count->second;
    for (const FailureRule& rule : rules) {
        if (rule.name == name && rule.first <= n && n <= rule.last) {
            error = rule.error;
            return true;
        }
    }
    return false;
}

BOOL ScriptedPlatform::Failed(DWORD error)
{
    lastError = error;
    if (beneath)
        ::SetLastError(error);  // for a test that asks the system directly
    return FALSE;
}

BOOL ScriptedPlatform::Succeeded()
{
    lastError = kStaleError;
    return TRUE;
}

ScriptedPlatform::OpenSet* ScriptedPlatform::OpenSetOf(HDEVINFO set, const char* call)
{
    auto open = openSets.find(set);
    if (open != openSets.end())
        return &open->second;
    Misuse(std::string(call) + " on a set that is not open");
    return nullptr;
}

bool ScriptedPlatform::CheckMember(const OpenSet& open, ULONG_PTR member, const char* call)
{
    size_t members = open.interfaces ? open.interfaces->size() : devices.size();
    if (member != 0 && member <= members)
        return true;
    Misuse(std::string(call) + " with a record the set did not fill");
    return false;
}

void ScriptedPlatform::CheckBuffer(const void* buffer, DWORD size, const char* call)
{
    if (buffer == nullptr) {
        if (size != 0)
            Misuse(std::string(call) + " with no buffer and a non-zero size");
        return;
    }
    auto live = liveBuffers.find(static_cast<BYTE*>(const_cast<void*>(buffer)));
    if (live == liveBuffers.end())
        Misuse(std::string(call) + " with a buffer that is not a live allocation");
    else if (size > live->second)
        Misuse(std::string(call) + " told of more room than was allocated");
}

bool ScriptedPlatform::GuardsIntact(const BYTE* memory, SIZE_T size) const
{
    for (SIZE_T k = 0; k < kGuard; ++k)
        if (memory[-1 - SSIZE_T(k)] != kGuardByte || memory[size + k] != kGuardByte)
            return false;
    return true;
}

HANDLE ScriptedPlatform::Open(const OpenDevice& device)
{
    HANDLE handle = reinterpret_cast<HANDLE>(nextHandle);
    nextHandle += 4;
    openDevices[handle] = device;
    ++handlesOpened;
    lastError = kStaleError;
    return handle;
}

const PropertyAnswer& ScriptedPlatform::NextAnswer(OpenSet& open, ULONG_PTR member,
                                                   DWORD property)
{
    static const PropertyScript missing = MissingProperty();
    const PropertyScript* script = &missing;
    if (open.interfaces) {
        const ScriptedInterface& i = (*open.interfaces)[member - 1];
        if (property == SPDRP_HARDWAREID && !i.hardwareIds.empty()) {
            interfaceScript = MultiTextProperty(i.hardwareIds);
            script = &interfaceScript;
        }
    } else {
        const ScriptedDevice& d = devices[member - 1];
        if (property == SPDRP_HARDWAREID)
            script = &d.hardwareId;
        else if (property == SPDRP_DEVICEDESC)
            script = &d.description;
    }
    if (script->empty())
        script = &missing;
    size_t given = open.answersGiven[{member, property}]++;
    return (*script)[given < script->size() ? given : script->size() - 1];
}

HDEVINFO ScriptedPlatform::SetupDiGetClassDevsW(const GUID* classGuid, const wchar_t* enumerator,
                                                HWND parent, DWORD flags)
{
    // The stand-in's own bookkeeping is no allocation of the program.
    allocation_hooks::Paused paused;
    DWORD error = 0;
    bool fails = Called(error, L"SetupDiGetClassDevsW", L"%ls, %lx",
                        classGuid ? GuidText(*classGuid).c_str() : L"null", flags);
    if (enumerator != nullptr || parent != nullptr)
        Misuse("SetupDiGetClassDevsW with an enumerator or a parent window");
    if (fails) {
        Failed(error);
        return INVALID_HANDLE_VALUE;
    }
    OpenSet open = {nullptr, classGuid ? *classGuid : GUID(), {}};
    HDEVINFO set;
    if (beneath) {
        set = Passed(beneath->SetupDiGetClassDevsW(classGuid, enumerator, parent, flags));
        if (set == INVALID_HANDLE_VALUE)
            return set;
    } else {
        if (classGuid) {
            open.interfaces = &noInterfaces;
            for (auto& [text, list] : interfaces)
                if (SameGuid(text, *classGuid))
                    open.interfaces = &list;
        }
        set = reinterpret_cast<HDEVINFO>(nextHandle);
        nextHandle += 4;
        Succeeded();
    }
    openSets[set] = open;
    ++setsOpened;
    return set;
}

BOOL ScriptedPlatform::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device)
{
    allocation_hooks::Paused paused;
    DWORD error = 0;
    bool fails = Called(error, L"SetupDiEnumDeviceInfo", L"%lu", index);
    OpenSet* open = OpenSetOf(set, "SetupDiEnumDeviceInfo");
    if (open == nullptr)
        return Failed(ERROR_INVALID_HANDLE);
    if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        Misuse("SP_DEVINFO_DATA without its size");
        return Failed(ERROR_INVALID_USER_BUFFER);
    }
    if (fails)
        return Failed(error);
    if (index == walkBreak.index && walkBreak.walks != 0) {
        if (walkBreak.walks > 0)
            --walkBreak.walks;
        return Failed(walkBreak.error);
    }
    if (beneath)
        return Passed(beneath->SetupDiEnumDeviceInfo(set, index, device));
    if (open->interfaces != nullptr || index >= devices.size())
        return Failed(ERROR_NO_MORE_ITEMS);
    device->ClassGuid = GUID();
    device->DevInst = index;
    device->Reserved = index + 1;
    return Succeeded();
}

BOOL ScriptedPlatform::SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                   const GUID* interfaceClass, DWORD index,
                                                   SP_DEVICE_INTERFACE_DATA* data)
{
    allocation_hooks::Paused paused;
    DWORD error = 0;
    bool fails = Called(error, L"SetupDiEnumDeviceInterfaces", L"%lu", index);
    OpenSet* open = OpenSetOf(set, "SetupDiEnumDeviceInterfaces");
    if (open == nullptr)
        return Failed(ERROR_INVALID_HANDLE);
    if (device != nullptr || interfaceClass == nullptr ||
        !IsEqualGUID(*interfaceClass, open->guid))
        Misuse("SetupDiEnumDeviceInterfaces with a device record or another class");
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        Misuse("SP_DEVICE_INTERFACE_DATA without its size");
        return Failed(ERROR_INVALID_USER_BUFFER);
    }
    if (fails)
        return Failed(error);
    if (beneath)
        return Passed(beneath->SetupDiEnumDeviceInterfaces(set, device, interfaceClass, index,
                                                           data));
    if (open->interfaces == nullptr || index >= open->interfaces->size())
        return Failed(ERROR_NO_MORE_ITEMS);
    const ScriptedInterface& i = (*open->interfaces)[index];
    if (i.enumError != 0)
        return Failed(i.enumError);
    data->InterfaceClassGuid = *interfaceClass;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = index + 1;
    return Succeeded();
}

BOOL ScriptedPlatform::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set,
                                                        SP_DEVICE_INTERFACE_DATA* data,
                                                        SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                        DWORD detailSize, DWORD* requiredSize,
                                                        SP_DEVINFO_DATA* device)
{
    allocation_hooks::Paused paused;
    const char* call = "SetupDiGetDeviceInterfaceDetailW";
    DWORD error = 0;
    bool fails = Called(error, L"SetupDiGetDeviceInterfaceDetailW", L"%lu, %lu",
                        DWORD(data ? data->Reserved : 0), detailSize);
    OpenSet* open = OpenSetOf(set, call);
    if (open == nullptr)
        return Failed(ERROR_INVALID_HANDLE);
    CheckBuffer(detail, detailSize, call);
    if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA) ||
        (detail != nullptr && detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))) {
        Misuse(std::string(call) + " with a record without its size");
        return Failed(ERROR_INVALID_USER_BUFFER);
    }
    if (fails)
        return Failed(error);
    if (beneath)
        return Passed(beneath->SetupDiGetDeviceInterfaceDetailW(set, data, detail, detailSize,
                                                                requiredSize, device));
    if (data == nullptr || open->interfaces == nullptr ||
        !CheckMember(*open, data->Reserved, call))
        return Failed(ERROR_INVALID_PARAMETER);
    const ScriptedInterface& i = (*open->interfaces)[data->Reserved - 1];
    DWORD trueSize = DWORD(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                           (i.path.size() + 1) * sizeof(wchar_t));
    if (detail == nullptr) {
        if (i.sizeQueryError != ERROR_INSUFFICIENT_BUFFER)
            return Failed(i.sizeQueryError);
        if (requiredSize != nullptr)
            *requiredSize = i.reportedDetailSize ? i.reportedDetailSize : trueSize;
        pendingAlloc = Pending::Detail;
        pendingFor = &i;
        return Failed(ERROR_INSUFFICIENT_BUFFER);
    }
    if (detailSize < trueSize) {
        if (requiredSize != nullptr)
            *requiredSize = trueSize;
        return Failed(ERROR_INSUFFICIENT_BUFFER);
    }
    if (i.detailFails)
        return Failed(ERROR_GEN_FAILURE);
    memcpy(detail->DevicePath, i.path.c_str(), (i.path.size() + 1) * sizeof(wchar_t));
    device->ClassGuid = GUID();
    device->DevInst = DWORD(0x100 + data->Reserved - 1);
    device->Reserved = data->Reserved;
    return Succeeded();
}

BOOL ScriptedPlatform::SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                         DWORD property, DWORD* valueType,
                                                         BYTE* buffer, DWORD bufferSize,
                                                         DWORD* requiredSize)
{
    allocation_hooks::Paused paused;
    const char* call = "SetupDiGetDeviceRegistryPropertyW";
    DWORD member = DWORD(device ? device->Reserved : 0);
    DWORD error = 0;
    bool fails = Called(error, L"SetupDiGetDeviceRegistryPropertyW", L"%lu, %lu, %lu", member,
                        property, bufferSize);
    propertyCalls.push_back({member, property, buffer == nullptr, bufferSize});
    OpenSet* open = OpenSetOf(set, call);
    if (open == nullptr)
        return Failed(ERROR_INVALID_HANDLE);
    CheckBuffer(buffer, bufferSize, call);
    if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        Misuse(std::string(call) + " with a record without its size");
        return Failed(ERROR_INVALID_USER_BUFFER);
    }
    if (fails)
        return Failed(error);
    if (beneath)
        return Passed(beneath->SetupDiGetDeviceRegistryPropertyW(set, device, property, valueType,
                                                                 buffer, bufferSize,
                                                                 requiredSize));
    if (!CheckMember(*open, device->Reserved, call))
        return Failed(ERROR_INVALID_PARAMETER);
    const PropertyAnswer& answer = NextAnswer(*open, device->Reserved, property);
    if (requiredSize != nullptr)
        *requiredSize = answer.required;
    if (valueType != nullptr)
        *valueType = property == SPDRP_HARDWAREID ? REG_MULTI_SZ : REG_SZ;
    if (buffer != nullptr)
        memcpy(buffer, answer.data.data(),
               answer.data.size() < bufferSize ? answer.data.size() : bufferSize);
    if (answer.ok)
        return Succeeded();
    if (answer.error == ERROR_INSUFFICIENT_BUFFER && open->interfaces != nullptr) {
        pendingAlloc = Pending::Property;
        pendingFor = &(*open->interfaces)[device->Reserved - 1];
    }
    return Failed(answer.error);
}

BOOL ScriptedPlatform::SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    allocation_hooks::Paused paused;
    DWORD error = 0;
    bool fails = Called(error, L"SetupDiDestroyDeviceInfoList", L"");
    if (OpenSetOf(set, "SetupDiDestroyDeviceInfoList") == nullptr)
        return Failed(ERROR_INVALID_HANDLE);
    if (fails)
        return Failed(error);  // the set stays open
    openSets.erase(set);
    ++setsDestroyed;
    if (beneath)
        return Passed(beneath->SetupDiDestroyDeviceInfoList(set));
    return Succeeded();
}

HANDLE ScriptedPlatform::CreateFileW(const wchar_t* path, DWORD access, DWORD shareMode,
                                     SECURITY_ATTRIBUTES* security, DWORD disposition,
                                     DWORD flags, HANDLE templateFile)
{
    allocation_hooks::Paused paused;
    std::wstring p = path ? path : L"(null)";
    DWORD error = 0;
    bool fails = Called(error, L"CreateFileW", L"%ls, %lx, %lu, %lu, %lx", p.c_str(), access,
                        shareMode, disposition, flags);
    if (security != nullptr || templateFile != nullptr)
        Misuse("CreateFileW with security attributes or a template");
    if (fails) {
        Failed(error);
        return INVALID_HANDLE_VALUE;
    }
    OpenDevice device;
    device.path = p;
    if (beneath) {
        HANDLE handle = Passed(beneath->CreateFileW(path, access, shareMode, security,
                                                    disposition, flags, templateFile));
        if (handle != INVALID_HANDLE_VALUE) {
            openDevices[handle] = device;
            ++handlesOpened;
        }
        return handle;
    }
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
    Failed(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL ScriptedPlatform::DeviceIoControl(HANDLE handle, DWORD code, void* in, DWORD inSize,
                                       void* out, DWORD outSize, DWORD* returned,
                                       OVERLAPPED* overlapped)
{
    allocation_hooks::Paused paused;
    auto open = openDevices.find(handle);
    bool isOpen = open != openDevices.end();
    DWORD error = 0;
    bool fails = Called(error, L"DeviceIoControl", L"%ls, %lx, %lu",
                        isOpen ? open->second.path.c_str() : L"(not open)", code, outSize);
    if (!isOpen) {
        Misuse("DeviceIoControl on a handle that is not open");
        return Failed(ERROR_INVALID_HANDLE);
    }
    if (in != nullptr || inSize != 0 || overlapped != nullptr || returned == nullptr)
        Misuse("DeviceIoControl with input, overlapped record or no bytes-returned");
    if (fails)
        return Failed(error);
    if (beneath)
        return Passed(beneath->DeviceIoControl(handle, code, in, inSize, out, outSize, returned,
                                               overlapped));
    const OpenDevice& device = open->second;
    if (code == IOCTL_DISK_GET_DRIVE_GEOMETRY) {
        if (outSize < sizeof(DISK_GEOMETRY))
            return Failed(ERROR_INSUFFICIENT_BUFFER);
        if (!device.volume || !device.drive->geometryAnswers)
            return Failed(ERROR_NOT_SUPPORTED);
        DISK_GEOMETRY geometry = {};
        geometry.MediaType = device.drive->mediaType;
        geometry.BytesPerSector = 512;
        memcpy(out, &geometry, sizeof geometry);
        *returned = sizeof geometry;
        return Succeeded();
    }
    if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER) {
        if (outSize < sizeof(STORAGE_DEVICE_NUMBER))
            return Failed(ERROR_INSUFFICIENT_BUFFER);
        bool answers = device.iface ? device.iface->numberAnswers : device.drive->numberAnswers;
        if (!answers)
            return Failed(ERROR_INVALID_FUNCTION);
        STORAGE_DEVICE_NUMBER number = {};
        number.DeviceType = FILE_DEVICE_DISK;
        number.DeviceNumber =
            device.iface ? device.iface->deviceNumber : device.drive->deviceNumber;
        number.PartitionNumber = 1;
        memcpy(out, &number, sizeof number);
        *returned = sizeof number;
        return Succeeded();
    }
    return Failed(ERROR_INVALID_FUNCTION);
}

BOOL ScriptedPlatform::CloseHandle(HANDLE handle)
{
    allocation_hooks::Paused paused;
    auto open = openDevices.find(handle);
    bool isOpen = open != openDevices.end();
    DWORD error = 0;
    bool fails = Called(error, L"CloseHandle", L"%ls",
                        isOpen ? open->second.path.c_str() : L"(not open)");
    if (!isOpen) {
        Misuse("CloseHandle on a handle that is not open");
        return Failed(ERROR_INVALID_HANDLE);
    }
    if (fails)
        return Failed(error);  // the handle stays open
    openDevices.erase(open);
    ++handlesClosed;
    if (beneath)
        return Passed(beneath->CloseHandle(handle));
    return Succeeded();
}

UINT ScriptedPlatform::GetDriveTypeW(const wchar_t* rootPath)
{
    allocation_hooks::Paused paused;
    std::wstring root = rootPath ? rootPath : L"(null)";
    DWORD error = 0;
    if (Called(error, L"GetDriveTypeW", L"%ls", root.c_str())) {
        Failed(error);
        return DRIVE_UNKNOWN;
    }
    if (beneath)
        return Passed(beneath->GetDriveTypeW(rootPath));
    if (root.size() == 3 && root.compare(1, 2, L":\\") == 0 && drives.count(root[0]))
        return drives.at(root[0]).type;
    return DRIVE_NO_ROOT_DIR;
}

HRESULT ScriptedPlatform::CLSIDFromString(wchar_t* text, CLSID* clsid)
{
    allocation_hooks::Paused paused;
    DWORD error = 0;
    if (Called(error, L"CLSIDFromString", L"%ls", text ? text : L"(null)"))
        return HRESULT_FROM_WIN32(error);
    if (beneath)
        return Passed(beneath->CLSIDFromString(text, clsid));
    return ::CLSIDFromString(text, clsid);
}

HLOCAL ScriptedPlatform::LocalAlloc(UINT flags, SIZE_T bytes)
{
    allocation_hooks::Paused paused;
    DWORD error = 0;
    bool fails = Called(error, L"LocalAlloc", L"%x, %lu", flags, DWORD(bytes));
    // The program's allocations are numbered as one sequence, whatever the
    // allocator: a sweep fails them in turn.
    if (allocation_hooks::NumberedAllocationFails()) {
        fails = true;
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (flags != LPTR)
        Misuse("LocalAlloc of other than fixed, zero-filled memory");

    // A storage interface may fail the buffer that its last answer asked for.
    Pending pending = std::exchange(pendingAlloc, Pending::None);
    if (pending == Pending::Detail && pendingFor->detailAllocFails) {
        fails = true;
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (pending == Pending::Property && pendingFor->propertyAllocFails) {
        auto& failed = propertyAllocFailed;
        if (std::find(failed.begin(), failed.end(), pendingFor) == failed.end()) {
            failed.push_back(pendingFor);
            fails = true;
            error = ERROR_NOT_ENOUGH_MEMORY;
        }
    }

    BYTE* base = nullptr;
    if (!fails && bytes <= SIZE_T(-1) - 2 * kGuard) {
        SIZE_T total = bytes + 2 * kGuard;
        base = static_cast<BYTE*>(beneath ? Passed(beneath->LocalAlloc(LPTR, total))
                                          : ::LocalAlloc(LPTR, total));
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (base == nullptr) {
        ++allocationFailures;
        Failed(error);
        return nullptr;
    }
    BYTE* memory = base + kGuard;
    memset(base, kGuardByte, kGuard);
    memset(memory + bytes, kGuardByte, kGuard);
    if (!(flags & LMEM_ZEROINIT))
        memset(memory, kUninitialisedByte, bytes);
    liveBuffers[memory] = bytes;
    ++buffersAllocated;
    return memory;
}

HLOCAL ScriptedPlatform::LocalFree(HLOCAL memory)
{
    allocation_hooks::Paused paused;
    DWORD error = 0;
    bool fails = Called(error, L"LocalFree", L"");
    auto live = liveBuffers.find(static_cast<BYTE*>(memory));
    if (live == liveBuffers.end()) {
        Misuse("LocalFree of memory that is not a live allocation");
        Failed(ERROR_INVALID_HANDLE);
        return memory;
    }
    if (!GuardsIntact(live->first, live->second))
        Misuse("a write beyond a local buffer of " + std::to_string(live->second) + " bytes");
    if (fails) {
        Failed(error);
        return memory;  // still allocated
    }
    BYTE* base = live->first - kGuard;
    liveBuffers.erase(live);
    ++buffersFreed;
    if (beneath)
        return Passed(beneath->LocalFree(base)) == nullptr ? nullptr : memory;
    ::LocalFree(base);
    return nullptr;
}

DWORD ScriptedPlatform::GetLastError()
{
    allocation_hooks::Paused paused;
    DWORD ignored = 0;
    Called(ignored, L"GetLastError", L"");
    return lastError;
}
