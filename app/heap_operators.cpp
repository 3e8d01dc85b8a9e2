// The program's own global allocation operators. The runtime's versions throw
// std::bad_alloc, which would link the whole exception machinery into an
// image that never catches anything; an impossible allocation ends the
// process through RaiseFailure instead, and the nothrow form keeps its
// contract: call the new-handler and retry, else return null.
#include <cstdlib>
#include <new>

#include "support/failure.h"

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (size == 0)
        size = 1;
    for (;;) {
        if (void* memory = std::malloc(size))
            return memory;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr)
            return nullptr;
        handler();
    }
}

void* operator new(std::size_t size)
{
    void* memory = operator new(size, std::nothrow);
    if (memory == nullptr)
        RaiseFailure(E_OUTOFMEMORY);
    return memory;
}

void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
