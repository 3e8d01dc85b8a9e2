// The size-query, allocate and retry protocol of a device registry property,
// written once for every platform layer that reads one.
#pragma once

#include <windows.h>

// `request(buffer, size, &required)` makes one property request. The buffer
// is twice the reported size and zero-filled, so the text always ends in a
// NUL; only a larger reported size is worth another try, or a platform that
// keeps answering "too small" would hold us for ever. Returns false when the
// buffer cannot be had (its text must then count as empty); otherwise the
// buffer holds the answer, or nothing when none was allocated.
template <class Platform, class Buffer, class Request>
bool ReadRegistryProperty(Platform& platform, Buffer& buffer, Request request)
{
    DWORD required = 0;
    if (request(nullptr, 0, &required))
        return true;
    DWORD offered = 0;
    while (platform.GetLastError() == ERROR_INSUFFICIENT_BUFFER && required > offered) {
        if (required > MAXDWORD / 2 || !buffer.Allocate(2 * SIZE_T(required)))
            return false;
        offered = required;
        if (request(buffer.Bytes(), offered, &required))
            break;
    }
    return true;
}
