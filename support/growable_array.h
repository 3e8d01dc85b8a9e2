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

    // The copy is made before the old storage is released: the entry may be
    // one of this list's own.
    void Append(const T& entry)
    {
        if (count < capacity) {
            new (&items[count]) T(entry);
            ++count;
            return;
        }
        unsigned newCapacity = NextCapacity(count + 1);
        T* fresh = Allocate(newCapacity);
        if (fresh == nullptr)
            RaiseFailure(E_OUTOFMEMORY);
        new (&fresh[count]) T(entry);
        MoveInto(fresh, newCapacity);
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

private:
    T* items = nullptr;
    unsigned count = 0;
    unsigned capacity = 0;
    unsigned growBy = 0;  // 0 selects the automatic rule; no list changes it

    // The first storage is exactly what is needed; later the step is growBy,
    // or count/8 kept within 4..1024.
    unsigned NextCapacity(unsigned needed) const
    {
        if (items == nullptr)
            return growBy > needed ? growBy : needed;
        unsigned step = growBy;
        if (step == 0) {
            step = count / 8;
            if (step < 4) step = 4;
            if (step > 1024) step = 1024;
        }
        unsigned grown = capacity + step;
        return needed > grown ? needed : grown;
    }

    static T* Allocate(unsigned entries)
    {
        if (entries > MAXDWORD / sizeof(T))
            return nullptr;
        return static_cast<T*>(::operator new(entries * sizeof(T), std::nothrow));
    }

    // Moves the live entries into `fresh` and releases the old storage.
    void MoveInto(T* fresh, unsigned newCapacity)
    {
        for (unsigned i = 0; i < count; ++i) {
            new (&fresh[i]) T(std::move(items[i]));
            items[i].~T();
        }
        ::operator delete(items);
        items = fresh;
        capacity = newCapacity;
    }
};
