#include "tests/kit/allocation_hooks.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "support/failure.h"

namespace {

const unsigned kMagic = 0x6B6C6F62;
const std::size_t kGuardSize = 16;
const unsigned char kGuardByte = 0xFD;

// 48 bytes in either build, so the caller's block keeps malloc's alignment.
struct Header {
    Header* previous;
    Header* next;
    std::size_t size;
    unsigned run;  // the arming it was allocated in; 0: none
    unsigned magic;
    unsigned char guard[sizeof(void*) == 8 ? 16 : 28];
};
static_assert(sizeof(Header) == 48, "the header keeps the block aligned");

SRWLOCK lock = SRWLOCK_INIT;
Header* live = nullptr;
DWORD armedThread = 0;
unsigned currentRun = 0;
int numbered = 0;
int failAt = 0;
std::size_t failAbove = 0;
int pauseDepth = 0;  // of the armed thread
bool failed = false;
int guardFaults = 0;
char firstFault[160] = "";

struct Locked {
    Locked() { AcquireSRWLockExclusive(&lock); }
    ~Locked() { ReleaseSRWLockExclusive(&lock); }
};

unsigned char* Tail(Header* h) { return reinterpret_cast<unsigned char*>(h + 1) + h->size; }

bool GuardsHold(Header* h)
{
    if (h->magic != kMagic)
        return false;
    for (unsigned char b : h->guard)
        if (b != kGuardByte)
            return false;
    for (std::size_t i = 0; i < kGuardSize; ++i)
        if (Tail(h)[i] != kGuardByte)
            return false;
    return true;
}

void NoteFault(Header* h, const char* when)
{
    if (guardFaults++ == 0)
        wsprintfA(firstFault, "guard bytes of a %lu-byte block overwritten (seen %s)",
                  static_cast<unsigned long>(h->size), when);
}

bool ArmedHere() { return armedThread != 0 && GetCurrentThreadId() == armedThread; }

bool NumberAndDecide(std::size_t size)
{
    if (!ArmedHere() || pauseDepth > 0)
        return false;
    if (++numbered != failAt && (failAbove == 0 || size <= failAbove))
        return false;
    failed = true;
    return true;
}

}  // namespace

namespace allocation_hooks {

void* Allocate(std::size_t size)
{
    Locked hold;
    if (NumberAndDecide(size))
        return nullptr;
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + size + kGuardSize));
    if (h == nullptr)
        return nullptr;
    h->size = size;
    h->magic = kMagic;
    h->run = ArmedHere() && pauseDepth == 0 ? currentRun : 0;
    std::memset(h->guard, kGuardByte, sizeof h->guard);
    std::memset(Tail(h), kGuardByte, kGuardSize);
    h->previous = nullptr;
    h->next = live;
    if (live != nullptr)
        live->previous = h;
    live = h;
    return h + 1;
}

void Free(void* memory)
{
    if (memory == nullptr)
        return;
    Header* h = static_cast<Header*>(memory) - 1;
    Locked hold;
    if (!GuardsHold(h))
        NoteFault(h, "when freed");
    if (h->previous != nullptr)
        h->previous->next = h->next;
    else
        live = h->next;
    if (h->next != nullptr)
        h->next->previous = h->previous;
    h->magic = 0;
    std::free(h);
}

void Arm(int failOn)
{
    Locked hold;
    armedThread = GetCurrentThreadId();
    ++currentRun;
    pauseDepth = 0;
    numbered = 0;
    failAt = failOn;
    failAbove = 0;
    failed = false;
}

int Disarm()
{
    Locked hold;
    armedThread = 0;
    return numbered;
}

bool NumberedAllocationFails()
{
    Locked hold;
    int depth = pauseDepth;
    pauseDepth = 0;
    bool fails = NumberAndDecide(0);
    pauseDepth = depth;
    return fails;
}

Paused::Paused()
{
    Locked hold;
    counted = ArmedHere();
    pauseDepth += counted;
}

Paused::~Paused()
{
    Locked hold;
    if (counted && pauseDepth > 0)
        --pauseDepth;
}

void FailLargerThan(std::size_t bytes)
{
    Locked hold;
    failAbove = bytes;
}

bool Failed() { return failed; }

std::size_t LiveBlocksOfRun()
{
    Locked hold;
    std::size_t n = 0;
    for (Header* h = live; h != nullptr; h = h->next)
        n += h->run == currentRun && currentRun != 0;
    return n;
}

int GuardFaults() { return guardFaults; }
std::string FirstGuardFault() { return firstFault; }

void CheckAllGuards()
{
    Locked hold;
    for (Header* h = live; h != nullptr; h = h->next)
        if (!GuardsHold(h))
            NoteFault(h, "on a check");
}

}  // namespace allocation_hooks

