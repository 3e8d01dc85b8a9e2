#include "support/platform/device_property.h"

#include <cwchar>

#include "support/platform/sized_query.h"

namespace {

// Bounded by the buffer, whatever the platform wrote into it.
CString TextOf(const LocalBuffer& buffer)
{
    const wchar_t* text = reinterpret_cast<const wchar_t*>(buffer.Bytes());
    int length = static_cast<int>(wcsnlen(text, buffer.Size() / sizeof(wchar_t)));
    CString result;
    if (length == 0)
        return result;
    wchar_t* room = result.OpenBufferWithLength(length);
    if (room == nullptr)
        return result;
    wmemcpy(room, text, length);
    result.CloseBuffer();
    return result;
}

}  // namespace

CString ReadDeviceProperty(Platform& platform, HDEVINFO set, SP_DEVINFO_DATA& device,
                           DWORD property)
{
    LocalBuffer buffer(platform);
    auto request = [&](BYTE* bytes, DWORD size, DWORD* required) {
        return platform.SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                                          bytes, size, required);
    };
    QueryRoom room;
    room.spare = true;
    if (QueryWithRetry(platform, buffer, room, request) == QueryOutcome::NoMemory)
        return CString();
    return TextOf(buffer);
}
