// Pointer lists whose capacity moves in steps of 16 (the filter sets keep their entries in one). These functions
// manage the block of pointers only; the entries belong to the list's owner.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "kalvex2/memory.h"

static_assert(sizeof(void*) != 4 || sizeof(PtrList16) == 12, "PtrList16 is three 32-bit words");

namespace {

constexpr int kStep = 16;

// Rounds n up to the next multiple of 16 and checks that the block for it can be asked for: the capacity must
// stay an int and the byte count must fit in 32 bits.
bool CapacityFor(int n, int* out)
{
    if (n < 0 || n > INT32_MAX - (kStep - 1))
        return false;
    int capacity = (n + kStep - 1) & ~(kStep - 1);
    if ((uint64_t)capacity * sizeof(void*) > UINT32_MAX)
        return false;
    *out = capacity;
    return true;
}

// Moves the block to the given capacity; a capacity of 0 frees it. On failure nothing changes.
bool Resize(PtrList16* list, int* capacity, int newCapacity)
{
    void* block = list->items;
    if (newCapacity == 0) {
        FreeAndNull(&block);
    } else if (!ReallocRetry((size_t)newCapacity * sizeof(void*), &block)) {
        return false;
    }
    list->items = static_cast<void**>(block);
    *capacity = newCapacity;
    return true;
}

}  // namespace

int KX_CDECL PtrListGrow(PtrList16* list, int* count, int* capacity, int n)
{
    if (*capacity > n)
        return 1;
    // n is the number of entries needed, so a capacity that is already n's multiple of 16 has room for them.
    return PtrListSetCapacity(list, count, capacity, n);
}

int KX_CDECL PtrListSetCapacity(PtrList16* list, int* count, int* capacity, int n)
{
    int newCapacity;
    if (!CapacityFor(n, &newCapacity))
        return 0;
    if (newCapacity == *capacity)
        return 1;
    return Resize(list, capacity, newCapacity);
}

int KX_CDECL PtrListRemoveAt(PtrList16* list, int* count, int* capacity, int index)
{
    // An index outside the list would move memory outside the block and drive count negative.
    if (index < 0 || index >= *count)
        return 0;
    int n = --*count;
    memmove(list->items + index, list->items + index + 1, (size_t)(n - index) * sizeof(void*));
    list->items[n] = nullptr;
    // A step goes back only when more than 16 slots sit idle, so a list that hovers around a multiple of 16 does
    // not reallocate on every add and remove. A failed shrink only keeps the larger block.
    if (*capacity - n > kStep)
        Resize(list, capacity, *capacity - kStep);
    return 1;
}
