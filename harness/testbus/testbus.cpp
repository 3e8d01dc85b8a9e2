#include "testbus.h"

#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstring>
#include <cwchar>

#include "system_owned.h"
#include "testbus_ioctl.h"

namespace testbus {

const wchar_t kServiceName[] = L"ostrivo_testbus";
const wchar_t kRootInstanceId[] = L"ROOT\\OSTRIVOTESTBUS\\0000";
const wchar_t kInstanceMark[] = TESTBUS_INSTANCE_MARK;

const GUID kDiskInterface = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID kVolumeInterface = {0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID kUsbSetupClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kDiskSetupClass = {0x4d36e967, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kUsbDeviceInterface = {0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};

namespace {

const wchar_t kImageName[] = L"ostrivo_testbus.sys";
const wchar_t kRootHardwareId[] = L"ROOT\\OSTRIVOTESTBUS\0";
const wchar_t kStateKey[] = L"Software\\Ostrivo\\TestBus";
const wchar_t kEnumKey[] = L"System\\CurrentControlSet\\Enum";
const wchar_t kDeviceClassesKey[] = L"System\\CurrentControlSet\\Control\\DeviceClasses";

// Wine's own request to its mount manager (a Wine extension): defines or
// removes a drive letter backed by a host folder.
const DWORD kDefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct UnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};

Status Ok() { return Status(); }

// The failure of `step` with `error`, which is left in GetLastError too.
Status Failed(const char* step, DWORD error)
{
    Status status;
    status.ok = false;
    status.error = error ? error : ERROR_GEN_FAILURE;
    status.step = step;
    SetLastError(status.error);
    return status;
}

Status FailedNow(const char* step) { return Failed(step, GetLastError()); }

// Opens or creates a key into `key`; the system's status.
LSTATUS OpenKey(RegistryKey* key, HKEY root, const std::wstring& path, REGSAM access)
{
    HKEY opened = nullptr;
    LSTATUS error = RegOpenKeyExW(root, path.c_str(), 0, access, &opened);
    if (error == ERROR_SUCCESS)
        *key = RegistryKey(opened);
    return error;
}

LSTATUS CreateKey(RegistryKey* key, HKEY root, const std::wstring& path)
{
    HKEY created = nullptr;
    LSTATUS error = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &created, nullptr);
    if (error == ERROR_SUCCESS)
        *key = RegistryKey(created);
    return error;
}

bool ReadWhole(const std::wstring& path, std::string* bytes)
{
    SystemHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr));
    if (!file)
        return false;
    bytes->clear();
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes->append(chunk, got);
    return true;
}

std::wstring SystemDirectory()
{
    wchar_t path[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(path) : std::wstring(L"C:\\windows\\system32");
}

Status CopyImage(const std::wstring& imagePath, bool* changed)
{
    std::string source, installed;
    if (!ReadWhole(imagePath, &source))
        return FailedNow("reading the driver image");
    std::wstring drivers = SystemDirectory() + L"\\drivers\\";
    std::wstring target = drivers + kImageName;
    // Images set aside by earlier installs, once nothing runs them any more.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((target + L".old*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileW((drivers + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (ReadWhole(target, &installed) && installed == source)
        return Ok();
    if (!CopyFileW(imagePath.c_str(), target.c_str(), FALSE)) {
        // Wine loads the driver as soon as the prefix starts and keeps its
        // image open, but lets it be renamed: set aside, the new one is
        // loaded at the next start.
        if (GetLastError() != ERROR_SHARING_VIOLATION)
            return FailedNow("copying the driver image into the drivers folder");
        std::wstring aside = target + L".old" + std::to_wstring(GetTickCount());
        if (!MoveFileExW(target.c_str(), aside.c_str(), 0) ||
            !CopyFileW(imagePath.c_str(), target.c_str(), FALSE))
            return FailedNow("replacing the running driver's image");
    }
    *changed = true;
    return Ok();
}

Status MakeService(bool* changed)
{
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return FailedNow("opening the service manager");
    ServiceHandle existing(OpenServiceW(manager.Get(), kServiceName, SERVICE_QUERY_CONFIG));
    if (existing)
        return Ok();
    std::wstring image = SystemDirectory() + L"\\drivers\\" + kImageName;
    ServiceHandle made(CreateServiceW(manager.Get(), kServiceName, L"Ostrivo test bus",
                                      SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image.c_str(),
                                      nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!made)
        return FailedNow("creating the driver's service");
    *changed = true;
    return Ok();
}

Status MakeRootDevice(bool* changed)
{
    SystemDeviceInfoSet set(SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_SYSTEM, nullptr));
    if (!set)
        return FailedNow("making a device set");
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoW(set.Get(), kRootInstanceId, &GUID_DEVCLASS_SYSTEM,
                                  L"Ostrivo test bus", nullptr, 0, &device)) {
        if (GetLastError() == ERROR_DEVINST_ALREADY_EXISTS)
            return Ok();
        return FailedNow("creating the root device");
    }
    const BYTE* ids = reinterpret_cast<const BYTE*>(kRootHardwareId);
    if (!SetupDiSetDeviceRegistryPropertyW(set.Get(), &device, SPDRP_HARDWAREID, ids,
                                           sizeof kRootHardwareId) ||
        !SetupDiSetDeviceRegistryPropertyW(set.Get(), &device, SPDRP_SERVICE,
                                           reinterpret_cast<const BYTE*>(kServiceName),
                                           sizeof kServiceName) ||
        !SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.Get(), &device)) {
        Status failed = FailedNow("registering the root device");
        SetupDiDeleteDeviceInfo(set.Get(), &device);
        return failed;
    }
    *changed = true;
    return Ok();
}

HANDLE OpenControl(DWORD flags)
{
    return CreateFileW(TESTBUS_DOS_NAME, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
}

// One request to the control device, waited for within the bound; a request
// still pending at the bound is cancelled and reported as a timeout.
Status Request(const char* step, DWORD code, const void* in, DWORD inSize, void* out,
               DWORD outSize, const bounds::Bound& bound)
{
    SystemHandle control(OpenControl(FILE_FLAG_OVERLAPPED));
    if (!control)
        return FailedNow("opening the test bus (is the driver installed and started?)");
    SystemHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return FailedNow("making an event");
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.Get();
    DWORD returned = 0;
    if (!DeviceIoControl(control.Get(), code, const_cast<void*>(in), inSize, out, outSize,
                         &returned, &overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING)
            return FailedNow(step);
        if (WaitForSingleObject(event.Get(), bounds::Ms(bound)) != WAIT_OBJECT_0) {
            CancelIoEx(control.Get(), &overlapped);
            // The cancel is answered at once; this bound only guards a driver
            // that would not answer it.
            WaitForSingleObject(event.Get(), bounds::Ms(bound));
            return Failed(step, ERROR_TIMEOUT);
        }
        if (!GetOverlappedResult(control.Get(), &overlapped, &returned, FALSE))
            return FailedNow(step);
    }
    return Ok();
}

std::wstring LettersValue()
{
    RegistryKey key;
    if (OpenKey(&key, HKEY_LOCAL_MACHINE, kStateKey, KEY_READ) != ERROR_SUCCESS)
        return std::wstring();
    wchar_t text[32] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), L"Letters", nullptr, &type, reinterpret_cast<BYTE*>(text),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::wstring();
    return text;
}

bool WriteLetters(const std::wstring& letters)
{
    RegistryKey key;
    if (CreateKey(&key, HKEY_LOCAL_MACHINE, kStateKey) != ERROR_SUCCESS)
        return false;
    if (letters.empty())
        return RegDeleteValueW(key.Get(), L"Letters") == ERROR_SUCCESS ||
               GetLastError() == ERROR_FILE_NOT_FOUND;
    return RegSetValueExW(key.Get(), L"Letters", 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(letters.c_str()),
                          DWORD((letters.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

wchar_t Upper(wchar_t letter) { return letter >= L'a' && letter <= L'z' ? letter - 32 : letter; }

bool LetterExists(wchar_t letter) { return (GetLogicalDrives() >> (Upper(letter) - L'A')) & 1; }

Status MountRequest(const std::string& mountPoint, wchar_t letter, ULONG type)
{
    std::string buffer(sizeof(UnixDrive) + mountPoint.size() + 1, '\0');
    UnixDrive drive = {};
    drive.size = sizeof drive;
    drive.type = type;
    drive.letter = letter;
    if (!mountPoint.empty()) {
        drive.mountPointOffset = sizeof drive;
        buffer.replace(sizeof drive, mountPoint.size(), mountPoint);
    }
    buffer.replace(0, sizeof drive, reinterpret_cast<const char*>(&drive), sizeof drive);
    SystemHandle manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    if (!manager)
        return FailedNow("opening Wine's mount manager");
    DWORD returned = 0;
    if (!DeviceIoControl(manager.Get(), kDefineUnixDrive, &buffer[0], DWORD(buffer.size()),
                         nullptr, 0, &returned, nullptr))
        return FailedNow(type == DRIVE_NO_ROOT_DIR ? "removing the drive letter"
                                                   : "defining the drive letter");
    return Ok();
}

// The host path of a Windows path, through Wine's own conversion.
bool HostPath(const std::wstring& path, std::string* hostPath)
{
    using Convert = char*(CDECL*)(LPCWSTR);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!convert) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    char* converted = convert(path.c_str());
    if (!converted) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    *hostPath = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return true;
}

bool StartsWithMark(const wchar_t* name)
{
    return _wcsnicmp(name, kInstanceMark, wcslen(kInstanceMark)) == 0;
}

std::vector<std::wstring> Subkeys(HKEY key)
{
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    return names;
}

// A key with neither subkeys nor values: a husk nothing reads.
bool IsHusk(HKEY root, const std::wstring& path)
{
    RegistryKey key;
    DWORD subkeys = 1, values = 1;
    if (OpenKey(&key, root, path, KEY_READ) != ERROR_SUCCESS ||
        RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subkeys == 0 && values == 0;
}

// Enum\<enumerator>\<device>\<ours...>: the children's entries. The driver
// deletes a child's own key when Wine removes it, which leaves the device
// and enumerator keys above it empty; those husks go too.
LSTATUS SweepEnum(int* removed)
{
    RegistryKey root;
    LSTATUS error = OpenKey(&root, HKEY_LOCAL_MACHINE, kEnumKey, KEY_ALL_ACCESS);
    if (error != ERROR_SUCCESS)
        return error;
    for (const std::wstring& enumerator : Subkeys(root.Get())) {
        RegistryKey enumKey;
        if (OpenKey(&enumKey, root.Get(), enumerator, KEY_ALL_ACCESS) != ERROR_SUCCESS)
            continue;
        for (const std::wstring& device : Subkeys(enumKey.Get())) {
            RegistryKey deviceKey;
            if (OpenKey(&deviceKey, enumKey.Get(), device, KEY_ALL_ACCESS) != ERROR_SUCCESS)
                continue;
            for (const std::wstring& instance : Subkeys(deviceKey.Get())) {
                if (!StartsWithMark(instance.c_str()))
                    continue;
                // With a subkey named, the tree goes along with the key itself.
                error = RegDeleteTreeW(deviceKey.Get(), instance.c_str());
                if (error != ERROR_SUCCESS)
                    return error;
                ++*removed;
            }
            if (IsHusk(enumKey.Get(), device))
                RegDeleteKeyW(enumKey.Get(), device.c_str());
        }
        if (IsHusk(root.Get(), enumerator))
            RegDeleteKeyW(root.Get(), enumerator.c_str());
    }
    return ERROR_SUCCESS;
}

// DeviceClasses\{class}\<interface>: the interfaces the children registered.
LSTATUS SweepInterfaces(int* removed)
{
    RegistryKey root;
    LSTATUS error = OpenKey(&root, HKEY_LOCAL_MACHINE, kDeviceClassesKey, KEY_ALL_ACCESS);
    if (error != ERROR_SUCCESS)
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    for (const std::wstring& interfaceClass : Subkeys(root.Get())) {
        RegistryKey classKey;
        if (OpenKey(&classKey, root.Get(), interfaceClass, KEY_ALL_ACCESS) != ERROR_SUCCESS)
            continue;
        bool deleted = false;
        for (const std::wstring& name : Subkeys(classKey.Get())) {
            RegistryKey interfaceKey;
            if (OpenKey(&interfaceKey, classKey.Get(), name, KEY_READ) != ERROR_SUCCESS)
                continue;
            wchar_t instance[512] = {};
            DWORD size = sizeof instance - sizeof(wchar_t);
            if (RegQueryValueExW(interfaceKey.Get(), L"DeviceInstance", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(instance), &size) != ERROR_SUCCESS)
                continue;
            const wchar_t* last = wcsrchr(instance, L'\\');
            if (!last || !StartsWithMark(last + 1))
                continue;
            error = RegDeleteTreeW(classKey.Get(), name.c_str());
            if (error != ERROR_SUCCESS)
                return error;
            deleted = true;
            ++*removed;
        }
        if (deleted && IsHusk(root.Get(), interfaceClass))
            RegDeleteKeyW(root.Get(), interfaceClass.c_str());
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::string Status::Describe() const
{
    if (ok)
        return "ok";
    return step + ": error " + std::to_string(error);
}

Status Install(const std::wstring& imagePath, bool* changed)
{
    *changed = false;
    Status status = CopyImage(imagePath, changed);
    if (status)
        status = MakeService(changed);
    if (status)
        status = MakeRootDevice(changed);
    return status;
}

bool Running()
{
    SystemHandle control(OpenControl(0));
    return bool(control);
}

Status Start(const bounds::Bound& bound)
{
    {
        ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (!manager)
            return FailedNow("opening the service manager");
        ServiceHandle service(OpenServiceW(manager.Get(), kServiceName, SERVICE_START));
        if (!service)
            return FailedNow("opening the driver's service (is it installed?)");
        if (!StartServiceW(service.Get(), 0, nullptr) &&
            GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
            return FailedNow("starting the driver's service");
    }
    // The control device appears when Wine hands the root device to the
    // driver, after the service reports running; nothing signals it.
    bounds::Wait wait(bound);
    for (;;) {
        if (Running())
            return Ok();
        if (wait.Left() == 0)
            return Failed("waiting for the test bus's control device", ERROR_TIMEOUT);
        Sleep(10);
    }
}

Status AddChild(const ChildPlan& plan, Child* child, const bounds::Bound& bound)
{
    testbus_add_request request = {};
    request.size = sizeof request;
    size_t at = 0;
    for (const std::wstring& id : plan.hardwareIds) {
        if (id.empty() || at + id.size() + 2 > TESTBUS_MAX_IDS)
            return Failed("adding a child: hardware ids empty or too long", ERROR_INVALID_PARAMETER);
        wmemcpy(request.hardware_ids + at, id.c_str(), id.size());
        at += id.size() + 1;
    }
    if (at == 0)
        return Failed("adding a child: no hardware id", ERROR_INVALID_PARAMETER);
    if (plan.description.size() >= TESTBUS_MAX_TEXT)
        return Failed("adding a child: description too long", ERROR_INVALID_PARAMETER);
    if (!plan.description.empty()) {
        request.flags |= TESTBUS_CHILD_DESCRIPTION;
        wmemcpy(request.description, plan.description.c_str(), plan.description.size());
    }
    if (!plan.reportsHardwareIds)
        request.flags |= TESTBUS_CHILD_NO_HARDWARE_IDS;
    static const GUID none = {};
    if (memcmp(&plan.setupClass, &none, sizeof none) != 0) {
        request.flags |= TESTBUS_CHILD_SETUP_CLASS;
        request.setup_class = plan.setupClass;
    }
    if (memcmp(&plan.interfaceClass, &none, sizeof none) != 0) {
        request.flags |= TESTBUS_CHILD_INTERFACE;
        request.interface_class = plan.interfaceClass;
    }
    if (plan.disk)
        request.flags |= TESTBUS_CHILD_DISK;
    if (plan.removable)
        request.flags |= TESTBUS_CHILD_REMOVABLE;
    request.device_number = plan.deviceNumber;

    testbus_add_reply reply = {};
    Status status = Request("adding a child", IOCTL_TESTBUS_ADD_CHILD, &request, sizeof request,
                            &reply, sizeof reply, bound);
    if (status && child) {
        reply.instance_id[TESTBUS_MAX_INSTANCE - 1] = 0;
        child->serial = reply.serial;
        child->instanceId = reply.instance_id;
    }
    return status;
}

Status RemoveChild(ULONG serial, const bounds::Bound& bound)
{
    testbus_remove_request request = {serial};
    return Request("removing a child", IOCTL_TESTBUS_REMOVE_CHILD, &request, sizeof request,
                   nullptr, 0, bound);
}

Status RemoveAllChildren(const bounds::Bound& bound)
{
    return Request("removing every child", IOCTL_TESTBUS_REMOVE_ALL, nullptr, 0, nullptr, 0, bound);
}

Status DefineLetter(wchar_t letter, const std::wstring& folder, bool removable)
{
    letter = Upper(letter);
    if (letter < L'D' || letter > L'Y')
        return Failed("defining a drive letter: only D to Y", ERROR_INVALID_PARAMETER);
    if (LetterExists(letter))
        return Failed("defining a drive letter: it is in use", ERROR_ALREADY_EXISTS);
    std::string hostPath;
    if (!HostPath(folder, &hostPath))
        return FailedNow("finding the host path of the drive's folder");
    // Recorded first: a crash between the two leaves a letter Clean removes.
    std::wstring letters = LettersValue();
    if (letters.find(letter) == std::wstring::npos && !WriteLetters(letters + letter))
        return FailedNow("recording the drive letter");
    ULONG type = removable ? DRIVE_REMOVABLE : DRIVE_FIXED;
    Status status = MountRequest(hostPath, letter, type);
    if (!status)
        return status;
    const wchar_t root[] = {letter, L':', L'\\', 0};
    if (GetDriveTypeW(root) != type) {
        Status wrong = Failed("defining a drive letter: the drive has another type", ERROR_INVALID_DATA);
        RemoveLetter(letter);
        return wrong;
    }
    return Ok();
}

Status RemoveLetter(wchar_t letter)
{
    letter = Upper(letter);
    std::wstring letters = LettersValue();
    size_t at = letters.find(letter);
    if (at == std::wstring::npos)
        return Failed("removing a drive letter: not one the test bus defined", ERROR_NOT_FOUND);
    if (LetterExists(letter)) {
        Status status = MountRequest(std::string(), letter, DRIVE_NO_ROOT_DIR);
        if (!status)
            return status;
    }
    letters.erase(at, 1);
    if (!WriteLetters(letters))
        return FailedNow("recording the drive letter's removal");
    return Ok();
}

Status VolumeDeviceNumber(wchar_t letter, DWORD* number)
{
    const wchar_t path[] = {L'\\', L'\\', L'?', L'\\', letter, L':', 0};
    SystemHandle volume(CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr));
    if (!volume)
        return FailedNow("opening the drive's volume");
    STORAGE_DEVICE_NUMBER answer = {};
    DWORD returned = 0;
    if (!DeviceIoControl(volume.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &answer,
                         sizeof answer, &returned, nullptr))
        return FailedNow("asking the volume for its device number");
    *number = answer.DeviceNumber;
    return Ok();
}

Status Clean(const bounds::Bound& bound)
{
    if (Running()) {
        Status status = RemoveAllChildren(bound);
        if (!status)
            return status;
    }
    for (wchar_t letter : LettersValue()) {
        Status status = RemoveLetter(letter);
        if (!status)
            return status;
    }
    int removed = 0;
    LSTATUS error = SweepEnum(&removed);
    if (error == ERROR_SUCCESS)
        error = SweepInterfaces(&removed);
    if (error != ERROR_SUCCESS)
        return Failed("deleting the registry entries children left behind", DWORD(error));
    return Ok();
}

Scope::~Scope()
{
    for (ULONG serial : serials_)
        RemoveChild(serial);
    for (wchar_t letter : letters_)
        RemoveLetter(letter);
}

Status Scope::Add(const ChildPlan& plan, Child* child)
{
    Child added;
    Status status = AddChild(plan, &added);
    if (status) {
        serials_.push_back(added.serial);
        if (child)
            *child = added;
    }
    return status;
}

Status Scope::Remove(ULONG serial)
{
    Status status = RemoveChild(serial);
    if (status) {
        for (auto it = serials_.begin(); it != serials_.end(); ++it) {
            if (*it == serial) {
                serials_.erase(it);
                break;
            }
        }
    }
    return status;
}

Status Scope::Letter(wchar_t letter, const std::wstring& folder, bool removable)
{
    Status status = DefineLetter(letter, folder, removable);
    if (status)
        letters_.push_back(letter);
    return status;
}

}  // namespace testbus
