// cPtrArray, the growable pointer array, and cItemArray, the same array under another name. The array stores
// pointers only; whoever put them there owns what they point to.
#include <stddef.h>
#include <string.h>

#include "kalvex2/memory.h"

// Hosts compiled against the 32-bit layout read these members directly.
static_assert(sizeof(void*) != 4 || sizeof(cPtrArray) == 8, "cPtrArray is two 32-bit words");
static_assert(offsetof(cPtrArray, count) == 0, "count comes first");
static_assert(sizeof(void*) != 4 || offsetof(cPtrArray, items) == 4, "items follows count");
static_assert(sizeof(cItemArray) == sizeof(cPtrArray), "cItemArray adds no members");

namespace {

// Largest element count: (count rounded up to 16, plus the 16 slots of slack) pointers still fit in 32 bits.
constexpr int kMaxCount = 0x1FFFFFFF;
constexpr int kSlack = 16;

int RoundUp16(int n)
{
    return (n + 15) & ~15;
}

void ClearSlots(void** items, int from, int to)
{
    for (int i = from; i < to; ++i)
        items[i] = nullptr;
}

}  // namespace

cPtrArray::cPtrArray() : count(0), items(nullptr) {}

cPtrArray::~cPtrArray()
{
    RemoveAll();
}

cPtrArray& cPtrArray::operator=(const cPtrArray& other)
{
    if (this == &other)
        return *this;
    // Sharing one block between two arrays would free it twice when both die and leave a dangling pointer in one
    // as soon as the other grows, so the destination always gets a block of its own.
    void* block = nullptr;
    int n = other.count;
    if (n > 0 && n <= kMaxCount && other.items && CallocRetry((size_t)RoundUp16(n) * sizeof(void*), &block))
        memcpy(block, other.items, (size_t)n * sizeof(void*));
    else
        n = 0;
    RemoveAll();
    items = static_cast<void**>(block);
    count = n;
    return *this;
}

int cPtrArray::SetSize(int n)
{
    if (n < 0 || n > kMaxCount)
        return 0;
    if (n == 0) {
        RemoveAll();
        return 1;
    }
    int rounded = RoundUp16(n);
    if (!items) {
        void* block = nullptr;
        if (!CallocRetry((size_t)rounded * sizeof(void*), &block))
            return 0;
        items = static_cast<void**>(block);
    } else if (RoundUp16(count) != rounded) {
        void* block = items;
        int slots = rounded + kSlack;
        if (!ReallocRetry((size_t)slots * sizeof(void*), &block))
            return 0;
        items = static_cast<void**>(block);
        // Whatever lay past the old count is stale; a shrink keeps the dropped values below the old count so
        // that they come back if the array grows again within the same multiple of 16.
        ClearSlots(items, count, slots);
    }
    count = n;
    return 1;
}

int cPtrArray::Add(void* p)
{
    int index = count;
    if (!SetSize(index + 1))
        return -1;
    items[index] = p;
    return index;
}

void* cPtrArray::GetAt(int index) const
{
    return (unsigned)index < (unsigned)count ? items[index] : nullptr;
}

void cPtrArray::SetAt(int index, void* p)
{
    if ((unsigned)index < (unsigned)count)
        items[index] = p;
}

int cPtrArray::SetAtGrow(int index, void* p)
{
    if (index < 0 || index >= kMaxCount)
        return 0;
    if (index >= count && !SetSize(index + 1))
        return 0;
    items[index] = p;
    return 1;
}

int cPtrArray::InsertAt(int index, void* p, int n)
{
    if ((unsigned)index > (unsigned)count || n < 0 || n > kMaxCount - count)
        return 0;
    if (n == 0)
        return 1;
    int oldCount = count;
    if (!SetSize(oldCount + n))
        return 0;
    memmove(items + index + n, items + index, (size_t)(oldCount - index) * sizeof(void*));
    for (int i = index; i < index + n; ++i)
        items[i] = p;
    return 1;
}

int cPtrArray::RemoveAt(int index, int n)
{
    if ((unsigned)index >= (unsigned)count)
        return count;
    // Callers are meant to keep index + n within the array; a larger n would move and clear memory outside the
    // block, so it is cut to the elements that exist.
    if (n <= 0)
        return count;
    if (n > count - index)
        n = count - index;
    memmove(items + index, items + index + n, (size_t)(count - index - n) * sizeof(void*));
    ClearSlots(items, count - n, count);
    count -= n;
    return count;
}

int cPtrArray::ClearAt(int index)
{
    if ((unsigned)index < (unsigned)count)
        items[index] = nullptr;
    return index;
}

void* cPtrArray::RemoveAll()
{
    void* block = items;
    void* old = FreeAndNull(&block);
    items = nullptr;
    count = 0;
    return old;
}

int cPtrArray::GetCount() const
{
    return count;
}

void*& cPtrArray::ElementAt(int index)
{
    return items[index];
}

int cPtrArray::GetMaxCount() const
{
    return kMaxCount;
}

cItemArray::cItemArray() {}

cItemArray::~cItemArray() {}

int cItemArray::Add(void* p)
{
    return cPtrArray::Add(p);
}

void* cItemArray::GetAt(int index) const
{
    return cPtrArray::GetAt(index);
}

void cItemArray::SetAt(int index, void* p)
{
    cPtrArray::SetAt(index, p);
}

int cItemArray::SetAtGrow(int index, void* p)
{
    return cPtrArray::SetAtGrow(index, p);
}

int cItemArray::InsertAt(int index, void* p, int n)
{
    return cPtrArray::InsertAt(index, p, n);
}
