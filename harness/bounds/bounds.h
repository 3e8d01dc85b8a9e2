// How long a wait may last before what it waits for is called hung. Every
// wait returns as soon as its event comes: a bound is never a pace, only the
// line past which something is wrong, so it is generous. The figures are the
// host's; a slower machine's runner (the emulated i386 machine's) says how
// much slower it is in OSTRIVO_TIME_SCALE, and every bound grows by as much.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bounds {

struct Bound {
    const char* name;
    DWORD hostMs;
};

// A window of another process appears, or goes.
constexpr Bound kWindow = {"window", 30000};
// A thread answers a message sent to one of its windows.
constexpr Bound kAnswer = {"answer", 30000};
// A process ends once it was told to, or killed.
constexpr Bound kExit = {"exit", 30000};
// A child copy of a test program runs its one action to the end.
constexpr Bound kChild = {"child", 120000};
// The system tells a window of a device that arrived or left.
constexpr Bound kBroadcast = {"broadcast", 30000};
// Wine's plug-and-play manager starts or removes a child of the test bus.
constexpr Bound kDevice = {"device", 30000};
// A kernel driver's service starts and its control device opens.
constexpr Bound kDriverStart = {"driver start", 60000};

inline unsigned Scale()
{
    static const unsigned scale = [] {
        const char* text = std::getenv("OSTRIVO_TIME_SCALE");
        long value = text ? std::strtol(text, nullptr, 10) : 1;
        return value >= 1 && value <= 100 ? unsigned(value) : 1u;
    }();
    return scale;
}

inline DWORD Ms(const Bound& bound) { return bound.hostMs * Scale(); }

// One wait measured against its bound, for the message of a test that met it.
class Wait {
public:
    explicit Wait(const Bound& bound) : bound_(bound), start_(GetTickCount()) {}

    DWORD Ms() const { return bounds::Ms(bound_); }
    DWORD Waited() const { return GetTickCount() - start_; }
    // What is left of the bound; 0 once it is met.
    DWORD Left() const { return Waited() >= Ms() ? 0 : Ms() - Waited(); }

    // "the window bound (30 s x 4 = 120 s): waited 120.0 s"
    std::string Report() const
    {
        char text[160];
        std::snprintf(text, sizeof text, "the %s bound (%lu s x %u = %lu s): waited %.1f s", bound_.name,
                      static_cast<unsigned long>(bound_.hostMs / 1000), Scale(),
                      static_cast<unsigned long>(Ms() / 1000), Waited() / 1000.0);
        return text;
    }

private:
    const Bound& bound_;
    DWORD start_;
};

}  // namespace bounds
