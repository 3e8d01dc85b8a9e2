#include <gtest/gtest.h>

#include "tests/devices/scripted_platform.h"

#include <cstring>

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

ScriptedPlatform::~ScriptedPlatform()
{
    for (auto& buffer : live)
        ::LocalFree(buffer.first);
}

::testing::AssertionResult ScriptedPlatform::Balanced() const
{
    if (setsOpened != setsDestroyed)
        return ::testing::AssertionFailure()
               << setsOpened << " sets opened, " << setsDestroyed << " destroyed";
    if (buffersAllocated != buffersFreed)
        return ::testing::AssertionFailure()
               << buffersAllocated << " buffers allocated, " << buffersFreed << " freed";
    if (!faults.empty())
        return ::testing::AssertionFailure() << "misuse: " << faults.front();
    return ::testing::AssertionSuccess();
}

BOOL ScriptedPlatform::Fail(DWORD error)
{
    lastError = error;
    return FALSE;
}

HDEVINFO ScriptedPlatform::GetClassDevs(const GUID* classGuid, const wchar_t* enumerator,
                                        HWND parent, DWORD flags)
{
    openFlags = flags;
    if (classGuid || enumerator || parent)
        faults.push_back("set opened with a class, enumerator or window");
    if (openFails) {
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    HDEVINFO set = reinterpret_cast<HDEVINFO>(static_cast<UINT_PTR>(nextSet++));
    openSets[set] = true;
    ++setsOpened;
    return set;
}

BOOL ScriptedPlatform::EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device)
{
    if (!openSets.count(set))
        faults.push_back("walk on a set that is not open");
    if (device->cbSize != sizeof(SP_DEVINFO_DATA))
        faults.push_back("SP_DEVINFO_DATA without its size");
    walkedIndices.push_back(index);
    if (index >= walkFailsAt)
        return Fail(walkEndError);
    if (index >= devices.size())
        return Fail(ERROR_NO_MORE_ITEMS);
    device->DevInst = index;  // which device later property calls mean
    lastError = 0xdeadbeef;
    return TRUE;
}

BOOL ScriptedPlatform::GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                 DWORD property, DWORD*, BYTE* buffer,
                                                 DWORD bufferSize, DWORD* requiredSize)
{
    propertyCalls.push_back({property, buffer == nullptr, bufferSize});
    if (!openSets.count(set))
        faults.push_back("property read on a set that is not open");
    if (buffer == nullptr && bufferSize != 0)
        faults.push_back("null buffer with a non-zero size");
    if (buffer != nullptr) {
        auto found = live.find(buffer);
        if (found == live.end() || found->second < bufferSize)
            faults.push_back("buffer smaller than the size passed");
    }
    const ScriptedDevice& scripted = devices.at(device->DevInst);
    const PropertyScript& script =
        property == SPDRP_HARDWAREID ? scripted.hardwareId : scripted.description;
    if (property != SPDRP_HARDWAREID && property != SPDRP_DEVICEDESC)
        faults.push_back("unexpected property");
    size_t& given = answersGiven[device->DevInst * 64 + property];
    const PropertyAnswer& answer = script.at(given < script.size() ? given : script.size() - 1);
    ++given;
    if (requiredSize)
        *requiredSize = answer.required;
    if (buffer != nullptr)
        memcpy(buffer, answer.data.data(), answer.data.size() < bufferSize ? answer.data.size()
                                                                           : bufferSize);
    return answer.ok ? (lastError = 0xdeadbeef, TRUE) : Fail(answer.error);
}

BOOL ScriptedPlatform::DestroyDeviceInfoList(HDEVINFO set)
{
    if (!openSets.erase(set)) {
        faults.push_back("destroying a set that is not open");
        return Fail(ERROR_INVALID_HANDLE);
    }
    ++setsDestroyed;
    return TRUE;
}

HLOCAL ScriptedPlatform::LocalAlloc(UINT flags, SIZE_T bytes)
{
    if (flags != LMEM_ZEROINIT)
        faults.push_back("buffer not zero-filled");
    if (allocationCalls++ == failingAllocation) {
        ++allocationFailures;
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    HLOCAL memory = ::LocalAlloc(flags, bytes);
    live[memory] = bytes;
    allocationSizes.push_back(bytes);
    ++buffersAllocated;
    return memory;
}

HLOCAL ScriptedPlatform::LocalFree(HLOCAL memory)
{
    if (!live.erase(memory)) {
        faults.push_back("freeing a buffer that is not live");
        return memory;
    }
    ++buffersFreed;
    return ::LocalFree(memory);
}
