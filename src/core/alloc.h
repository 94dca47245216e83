// Objects of the library on the retrying allocator: library code never uses a throwing new, and memory that
// crosses the interface must come from the library's own heap.
#pragma once

#include <new>
#include <utility>

#include "kalvex2/memory.h"

namespace kx {

template <class T, class... Args>
T* New(Args&&... args)
{
    void* p = nullptr;
    if (!AllocRetry(sizeof(T), &p))
        return nullptr;
    return ::new (p) T(std::forward<Args>(args)...);
}

template <class T>
void Delete(T* p)
{
    if (!p)
        return;
    p->~T();
    void* block = p;
    FreeAndNull(&block);
}

}  // namespace kx
