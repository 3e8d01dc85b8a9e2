// Every allocation a test program makes goes through here: the global
// operator new (both forms) is replaced by one that puts guard bytes around
// each block, and the scripted platform's LocalAlloc asks the same counter.
// While a thread is armed, its allocations are numbered from 1, and the one
// numbered `failAt` fails, as an allocation of a machine out of memory would.
#pragma once

#include <cstddef>
#include <string>

namespace allocation_hooks {

// Starts numbering the calling thread's allocations; 0 fails none.
void Arm(int failAt);
// While armed, also fails every allocation larger than `bytes` (0: none).
void FailLargerThan(std::size_t bytes);
// Stops numbering; the number of allocations seen while armed.
int Disarm();

// The guarded heap behind the replaced operators (heap_replacement.cpp,
// linked only into programs that want it). Allocate returns null for the
// chosen allocation of an armed run.
void* Allocate(std::size_t size);
void Free(void* memory);

// For allocators outside this file (the scripted LocalAlloc): numbers one
// allocation of the armed thread, paused or not, and says whether it fails.
bool NumberedAllocationFails();

// While one is in scope on the armed thread, its allocations are the test's
// own: not numbered, never failed, not counted as the run's.
class Paused {
public:
    Paused();
    ~Paused();
    Paused(const Paused&) = delete;
    Paused& operator=(const Paused&) = delete;

private:
    bool counted;
};
bool Failed();  // whether the armed run's chosen allocation came and failed

// Blocks still live that the armed thread allocated since the last Arm.
std::size_t LiveBlocksOfRun();

// Guard bytes found overwritten, at free or by CheckAllGuards; the first
// description is kept.
int GuardFaults();
std::string FirstGuardFault();
void CheckAllGuards();

}  // namespace allocation_hooks
