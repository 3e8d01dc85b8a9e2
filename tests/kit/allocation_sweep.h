// Runs one piece of a test on a thread of its own, so that an allocation
// failure that ends the process by design (RaiseFailure) ends only that
// thread here, and the sweep can go on to the next allocation.
#pragma once

#include <windows.h>

#include <functional>

struct SweepRun {
    bool fatal = false;  // the run ended through RaiseFailure
    DWORD code = 0;      // its exception code
};

// `run` arms and disarms the allocation hooks around what it sweeps.
SweepRun RunOnSweepThread(const std::function<void()>& run);
