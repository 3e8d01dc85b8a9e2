// The one stand-in for the platform seam. It answers from a script (present
// devices, drives, storage interfaces) or passes every call to a platform
// beneath it; either way it logs every call, fails the calls a test names,
// and keeps account of every set, handle and buffer, so that a test can
// reach each error path and see that nothing leaked and nothing was misused.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <setupapi.h>
#include <winioctl.h>

#include <initializer_list>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/platform/platform.h"

// One answer of the property call.
struct PropertyAnswer {
    BOOL ok;
    DWORD error;             // last error when !ok
    DWORD required;          // reported required size
    std::vector<BYTE> data;  // written into the caller's buffer, up to its size
};

// Answers in order, one per call; the last one repeats. Every device
// information set starts the script afresh.
using PropertyScript = std::vector<PropertyAnswer>;

std::vector<BYTE> TextBytes(const std::wstring& text);  // with its NUL
std::vector<BYTE> MultiTextBytes(const std::vector<std::wstring>& items);

// The usual protocol: the size query fails with ERROR_INSUFFICIENT_BUFFER and
// the size, then the data comes.
PropertyScript Answers(const std::vector<BYTE>& data);
PropertyScript TextProperty(const std::wstring& text);
PropertyScript MultiTextProperty(const std::vector<std::wstring>& items);
PropertyScript MissingProperty();  // ERROR_INVALID_DATA, as for an absent property

// A present device of the all-classes walk.
struct ScriptedDevice {
    PropertyScript hardwareId;
    PropertyScript description;
};

// A plain present device: its hardware id as a one-item list, its
// description as text; an empty string makes that property missing.
ScriptedDevice PresentDevice(const std::wstring& description, const std::wstring& hardwareId);

struct ScriptedDrive {
    UINT type = DRIVE_FIXED;
    bool volumeOpens = true;  // "\\.\X:" for reading and writing
    bool geometryAnswers = true;
    MEDIA_TYPE mediaType = FixedMedia;
    bool interfacePathOpens = true;  // "\\?\X:"
    bool numberAnswers = true;
    DWORD deviceNumber = 0;
};

struct ScriptedInterface {
    std::wstring path;
    DWORD deviceNumber = 0;
    std::vector<std::wstring> hardwareIds;  // none: the property is missing
    bool opens = true;
    bool numberAnswers = true;
    DWORD enumError = 0;  // non-zero: enumerating it fails so
    DWORD sizeQueryError = ERROR_INSUFFICIENT_BUFFER;
    DWORD reportedDetailSize = 0;  // 0: the true size
    bool detailFails = false;
    bool detailAllocFails = false;
    bool propertyAllocFails = false;  // the first property buffer only
};

// Hardware ids as a platform gives them: the test may pass lower case.
ScriptedInterface StorageInterface(const std::wstring& path, DWORD deviceNumber,
                                   std::vector<std::wstring> hardwareIds = {});

// One property request; `member` is the record's place in its set, from 1.
struct PropertyCall {
    DWORD member;
    DWORD property;
    bool nullBuffer;
    DWORD bufferSize;
};

class ScriptedPlatform : public Platform {
public:
    // Answers from the script below.
    ScriptedPlatform() = default;
    // Passes every call on to `beneath` (the system's, say), still logging,
    // failing what it is told to and keeping account.
    explicit ScriptedPlatform(Platform& beneath) : beneath(&beneath) {}
    ScriptedPlatform(const ScriptedPlatform&) = delete;
    ScriptedPlatform& operator=(const ScriptedPlatform&) = delete;
    ~ScriptedPlatform() override;

    // Script. A set opened without a class walks `devices`; one opened for
    // an interface class lists `interfaces` under that class's text.
    std::vector<ScriptedDevice> devices;
    std::map<wchar_t, ScriptedDrive> drives;
    std::map<std::wstring, std::vector<ScriptedInterface>> interfaces;

    // Failures. Calls are named as the platform names them and numbered
    // from 1 per name since this platform was made (see CallCount). A failed
    // call is logged, then does nothing but set the last error to `error` (a
    // Win32 code; CLSIDFromString gives it as an HRESULT): a failed release
    // releases nothing. GetLastError never fails.
    void FailCall(const std::wstring& name, int nth, DWORD error) { Fail(name, nth, nth, error); }
    // Every call of `name` from the next one on, until StopFailing.
    void FailCalls(const std::wstring& name, DWORD error);
    void StopFailing(const std::wstring& name);
    // An allocation sweep: run once and read CallCount(L"LocalAlloc"), then
    // on a fresh platform fail each allocation k in turn.
    void FailAllocation(int nth) { FailCall(L"LocalAlloc", nth, ERROR_NOT_ENOUGH_MEMORY); }
    // Device walks end at `index` with `error` instead of going on, the next
    // `walks` times they reach it (every time when negative).
    void BreakWalk(DWORD index, DWORD error, int walks = -1) { walkBreak = {index, error, walks}; }

    // Account.
    std::vector<std::wstring> calls;  // every call, in order; a test may clear it
    bool logCalls = true;             // false: counted only, so a benchmark times the product
    std::vector<PropertyCall> propertyCalls;
    std::vector<std::string> misuse;  // anything the real platform would not forgive
    int setsOpened = 0, setsDestroyed = 0;
    int handlesOpened = 0, handlesClosed = 0;
    int buffersAllocated = 0, buffersFreed = 0, allocationFailures = 0;

    // How many calls of `name` were made; unlike `calls`, never cleared.
    int CallCount(const std::wstring& name) const;
    // The logged calls whose name is one of `names`, in order.
    std::vector<std::wstring> CallsNamed(std::initializer_list<const wchar_t*> names) const;
    // Every set, handle and buffer released, every buffer's guard bytes
    // intact, and the platform never misused.
    ::testing::AssertionResult NothingLeft() const;

    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, const wchar_t* enumerator,
                                  HWND parent, DWORD flags) override;
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) override;
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device,
                                     const GUID* interfaceClass, DWORD index,
                                     SP_DEVICE_INTERFACE_DATA* data) override;
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                          SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                          DWORD detailSize, DWORD* requiredSize,
                                          SP_DEVINFO_DATA* device) override;
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device,
                                           DWORD property, DWORD* valueType, BYTE* buffer,
                                           DWORD bufferSize, DWORD* requiredSize) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;
    HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD shareMode,
                       SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                       HANDLE templateFile) override;
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned, OVERLAPPED* overlapped) override;
    BOOL CloseHandle(HANDLE handle) override;
    UINT GetDriveTypeW(const wchar_t* rootPath) override;
    HRESULT CLSIDFromString(wchar_t* text, CLSID* clsid) override;
    HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) override;
    HLOCAL LocalFree(HLOCAL memory) override;
    DWORD GetLastError() override;

private:
    struct FailureRule {
        std::wstring name;
        int first, last;
        DWORD error;
    };
    struct WalkBreak {
        DWORD index = MAXDWORD;
        DWORD error = 0;
        int walks = 0;
    };
    struct OpenSet {
        const std::vector<ScriptedInterface>* interfaces;  // null: the all-classes walk
        GUID guid;
        std::map<std::pair<ULONG_PTR, DWORD>, size_t> answersGiven;  // by member and property
    };
    struct OpenDevice {
        std::wstring path;
        const ScriptedDrive* drive = nullptr;      // volume or volume interface path
        const ScriptedInterface* iface = nullptr;  // an interface's own path
        bool volume = false;                       // opened as "\\.\X:"
    };
    enum class Pending { None, Detail, Property };

    void Fail(const std::wstring& name, int first, int last, DWORD error);
    // Logs the call, counts it, and tells whether a rule fails it (and with
    // which error).
    bool Called(DWORD& error, const wchar_t* name, const wchar_t* format, ...);
    BOOL Failed(DWORD error);
    BOOL Succeeded();
    // Takes the last error of a call passed beneath.
    template <class T>
    T Passed(T result)
    {
        lastError = beneath->GetLastError();
        return result;
    }
    void Misuse(const std::string& what) { misuse.push_back(what); }
    OpenSet* OpenSetOf(HDEVINFO set, const char* call);
    bool CheckMember(const OpenSet& open, ULONG_PTR member, const char* call);
    void CheckBuffer(const void* buffer, DWORD size, const char* call);
    bool GuardsIntact(const BYTE* memory, SIZE_T size) const;
    HANDLE Open(const OpenDevice& device);
    const PropertyAnswer& NextAnswer(OpenSet& open, ULONG_PTR member, DWORD property);

    Platform* beneath = nullptr;
    DWORD lastError = 0;
    std::vector<FailureRule> rules;
    std::map<std::wstring, int, std::less<>> counts;
    WalkBreak walkBreak;
    std::map<HDEVINFO, OpenSet> openSets;
    std::map<HANDLE, OpenDevice> openDevices;
    std::map<BYTE*, SIZE_T> liveBuffers;  // what the caller was given, and its size
    std::vector<ScriptedInterface> noInterfaces;
    UINT_PTR nextHandle = 0x5e70;
    Pending pendingAlloc = Pending::None;
    const ScriptedInterface* pendingFor = nullptr;
    std::vector<const ScriptedInterface*> propertyAllocFailed;
    PropertyScript interfaceScript;  // the answers of the interface asked last
};

// A test on a scripted platform that must, whatever it did, leave nothing
// behind and misuse nothing.
class ScriptedPlatformTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(platform.NothingLeft()); }

    ScriptedPlatform platform;
};
