// Growable array of values, kept in the order they were appended. Device and
// storage-interface lists are both this one template.
#pragma once

#include <windows.h>
#include <new>
#include <utility>

#include "support/failure.h"

template <class T>
class GrowableArray {
public:
    GrowableArray() = default;
    GrowableArray(const GrowableArray&) = delete;
    GrowableArray& operator=(const GrowableArray&) = delete;
    ~GrowableArray() { Clear(); }

    void Clear()
    {
        for (unsigned i = 0; i < count; ++i)
            items[i].~T();
        ::operator delete(items);
        items = nullptr;
        count = 0;
        capacity = 0;
    }

    void Append(const T& entry)
    {
        if (count >= capacity && !Grow(count + 1))
            RaiseFailure(E_OUTOFMEMORY);
        new (&items[count]) T(entry);
        ++count;
    }

    unsigned Size() const { return count; }

    T& At(unsigned i)
    {
        if (i >= count)
            RaiseFailure(E_INVALIDARG);
        return items[i];
    }
    const T& At(unsigned i) const { return const_cast<GrowableArray*>(this)->At(i); }

    unsigned Capacity() const { return capacity; }

    // Step is growBy, or count/8 kept within 4..1024; the first allocation is
    // exactly what is needed. Failure leaves the list unchanged.
    bool Grow(unsigned needed)
    {
        if (needed <= capacity)
            return true;
        unsigned newCapacity;
        if (items == nullptr) {
            newCapacity = growBy > needed ? growBy : needed;
        } else {
            unsigned step = growBy;
            if (step == 0) {
                step = count / 8;
                if (step < 4) step = 4;
                if (step > 1024) step = 1024;
            }
            newCapacity = capacity + step;
            if (needed > newCapacity) newCapacity = needed;
        }
        if (newCapacity > MAXDWORD / sizeof(T))
            return false;
        T* fresh = static_cast<T*>(::operator new(newCapacity * sizeof(T), std::nothrow));
        if (fresh == nullptr)
            return false;
        for (unsigned i = 0; i < count; ++i) {
            new (&fresh[i]) T(std::move(items[i]));
            items[i].~T();
        }
        ::operator delete(items);
        items = fresh;
        capacity = newCapacity;
        return true;
    }

private:
    T* items = nullptr;
    unsigned count = 0;
    unsigned capacity = 0;
    unsigned growBy = 0;  // 0 selects the automatic rule; no list changes it
};
