// The size-query, allocate and retry protocol of the system's variable-size
// answers (registry properties, interface details), written once.
#pragma once

#include <windows.h>

#include "support/platform/owned.h"

// Zero-filled local memory that knows its size.
class LocalBuffer {
public:
    explicit LocalBuffer(Platform& platform) : platform(&platform) {}

    // Releases what is held first; false (and nothing held) when the
    // allocation fails.
    bool Allocate(SIZE_T bytes)
    {
        memory.Reset();
        size = 0;
        memory = LocalMemory(*platform, platform->LocalAlloc(LMEM_ZEROINIT, bytes));
        if (!memory)
            return false;
        size = bytes;
        return true;
    }
    BYTE* Bytes() const { return static_cast<BYTE*>(memory.Get()); }
    SIZE_T Size() const { return size; }

private:
    Platform* platform;
    LocalMemory memory;
    SIZE_T size = 0;
};

enum class QueryOutcome {
    Answered,    // the last request succeeded; the buffer holds its answer
    Unanswered,  // no request succeeded with a buffer; whatever was read stays
    NoMemory,    // the buffer could not be had, or the size is beyond reason
};

// What to offer for a reported size. A `spare` buffer is twice what the
// request is told, so zero-filled text always ends in a NUL. `tries` bounds
// the requests made with a buffer.
struct QueryRoom {
    DWORD minimum = 0;
    bool spare = false;
    unsigned tries = MAXDWORD;
};

// `request(buffer, size, &required)` makes one request. Only a reported size
// larger than the last offer is worth another try, or a platform that keeps
// answering "too small" would hold us for ever.
template <class Request>
QueryOutcome QueryWithRetry(Platform& platform, LocalBuffer& buffer, QueryRoom room,
                            Request request)
{
    DWORD required = 0;
    if (request(nullptr, 0, &required))
        return QueryOutcome::Unanswered;
    DWORD offered = 0;
    for (unsigned tried = 0; tried < room.tries; ++tried) {
        DWORD wanted = required < room.minimum ? room.minimum : required;
        if (platform.GetLastError() != ERROR_INSUFFICIENT_BUFFER || wanted <= offered)
            break;
        if (wanted > MAXDWORD / 2)
            return QueryOutcome::NoMemory;
        if (!buffer.Allocate(room.spare ? 2 * SIZE_T(wanted) : wanted))
            return QueryOutcome::NoMemory;
        offered = wanted;
        if (request(buffer.Bytes(), offered, &required))
            return QueryOutcome::Answered;
    }
    return QueryOutcome::Unanswered;
}
