// Links the program's allocation operators, with the allocation hooks'
// numbering and guard bytes, into a test program that wants them.
#include <new>

#include "support/failure.h"
#include "tests/kit/allocation_hooks.h"

using allocation_hooks::Allocate;
using allocation_hooks::Free;

// The program's own contract (app/heap_operators.cpp): the plain form ends
// the process on failure, the nothrow form returns null.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size == 0 ? 1 : size);
}
void* operator new(std::size_t size)
{
    void* memory = Allocate(size == 0 ? 1 : size);
    if (memory == nullptr)
        RaiseFailure(E_OUTOFMEMORY);
    return memory;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* memory) noexcept { Free(memory); }
void operator delete(void* memory, std::size_t) noexcept { Free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { Free(memory); }
void operator delete[](void* memory) noexcept { Free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { Free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { Free(memory); }
