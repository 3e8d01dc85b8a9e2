// A device platform that answers from a script and keeps account of every
// set and buffer, so tests can reach each error path and see nothing leaks.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "devices/device_platform.h"

// One answer of the property call.
struct PropertyAnswer {
    BOOL ok;
    DWORD error;               // last error when !ok
    DWORD required;            // reported required size
    std::vector<BYTE> data;    // written into the caller's buffer, up to its size
};

// Answers in order, one per call; the last one repeats.
using PropertyScript = std::vector<PropertyAnswer>;

std::vector<BYTE> TextBytes(const std::wstring& text);  // with its NUL
std::vector<BYTE> MultiTextBytes(const std::vector<std::wstring>& items);

// The usual protocol: the size query fails with ERROR_INSUFFICIENT_BUFFER and
// the size, then the data comes.
PropertyScript Answers(const std::vector<BYTE>& data);
PropertyScript TextProperty(const std::wstring& text);
PropertyScript MultiTextProperty(const std::vector<std::wstring>& items);
PropertyScript MissingProperty();  // ERROR_INVALID_DATA, as for an absent property

struct ScriptedDevice {
    PropertyScript hardwareId;
    PropertyScript description;
};

struct PropertyCall {
    DWORD property;
    bool nullBuffer;
    DWORD bufferSize;
};

class ScriptedPlatform : public DevicePlatform {
public:
    // Script.
    std::vector<ScriptedDevice> devices;
    bool openFails = false;
    DWORD walkEndError = ERROR_NO_MORE_ITEMS;
    DWORD walkFailsAt = MAXDWORD;          // index at which the walk ends early
    int failingAllocation = -1;            // which LocalAlloc call, from 0, fails

    // Account.
    int setsOpened = 0;
    int setsDestroyed = 0;
    int buffersAllocated = 0;
    int buffersFreed = 0;
    int allocationFailures = 0;
    std::vector<std::string> faults;       // misuse seen by the platform
    std::vector<DWORD> walkedIndices;
    std::vector<PropertyCall> propertyCalls;
    std::vector<SIZE_T> allocationSizes;
    DWORD openFlags = 0;

    ~ScriptedPlatform() override;

    // Whether every set and buffer was released and nothing was misused.
    ::testing::AssertionResult Balanced() const;

    HDEVINFO GetClassDevs(const GUID* classGuid, const wchar_t* enumerator, HWND parent,
                          DWORD flags) override;
    BOOL EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) override;
    BOOL GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                                   DWORD* dataType, BYTE* buffer, DWORD bufferSize,
                                   DWORD* requiredSize) override;
    BOOL DestroyDeviceInfoList(HDEVINFO set) override;
    HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) override;
    HLOCAL LocalFree(HLOCAL memory) override;
    DWORD GetLastError() override { return lastError; }

private:
    BOOL Fail(DWORD error);
    DWORD lastError = 0xdeadbeef;
    std::map<DWORD, size_t> answersGiven;  // per device and property
    std::map<HLOCAL, SIZE_T> live;
    std::map<HDEVINFO, bool> openSets;
    unsigned nextSet = 0x5e70;
    int allocationCalls = 0;
};
