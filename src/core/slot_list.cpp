// cSlotList: a doubly linked list kept in one array of nodes, so that an element's index stays valid as a handle
// for as long as the element lives. Elements and free nodes are two chains through the same prev/next fields;
// index 0 is the "none" of both chains and never holds an element.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "kalvex2/memory.h"

// Hosts compiled against the 32-bit layout walk the nodes themselves.
static_assert(sizeof(void*) != 4 || sizeof(SlotNode) == 16, "a node is four 32-bit words");
static_assert(sizeof(void*) != 4 || offsetof(SlotNode, used) == 12, "used is the last word of a node");
static_assert(sizeof(void*) != 4 || sizeof(cSlotList) == 32, "cSlotList is eight 32-bit words");
static_assert(offsetof(cSlotList, freeHead) == 0 && offsetof(cSlotList, head) == 4 &&
                  offsetof(cSlotList, freeTail) == 8 && offsetof(cSlotList, tail) == 12 &&
                  offsetof(cSlotList, capacity) == 16 && offsetof(cSlotList, freeCount) == 20 &&
                  offsetof(cSlotList, growStep) == 24,
              "cSlotList member order");
static_assert(sizeof(void*) != 4 || offsetof(cSlotList, nodes) == 28, "nodes is the last word");

namespace {

constexpr int kDefaultGrowStep = 32;

bool NodeBytesFit(int count)
{
    return (uint64_t)count * sizeof(SlotNode) <= UINT32_MAX;
}

// Chains the nodes first .. last - 1 as the whole free list; callers only do this when the free list is empty.
void ChainFree(cSlotList& list, int first, int last)
{
    for (int i = first; i < last; ++i) {
        list.nodes[i].prev = i == first ? 0 : i - 1;
        list.nodes[i].next = i + 1 == last ? 0 : i + 1;
    }
    list.freeHead = first;
    list.freeTail = last - 1;
}

bool IsElement(const cSlotList& list, int index)
{
    return index >= 1 && index < list.capacity && list.nodes[index].used;
}

// Takes the node at the head of the free list (the one freed longest ago); Grow must have succeeded.
int TakeFreeNode(cSlotList& list, void* data)
{
    int index = list.freeHead;
    SlotNode& node = list.nodes[index];
    list.freeHead = node.next;
    if (list.freeHead)
        list.nodes[list.freeHead].prev = 0;
    else
        list.freeTail = 0;
    --list.freeCount;
    node.used = 1;
    node.data = data;
    return index;
}

// Links element index right after element after, or at the head when after is 0.
void LinkAfter(cSlotList& list, int index, int after)
{
    SlotNode& node = list.nodes[index];
    int next = after ? list.nodes[after].next : list.head;
    node.prev = after;
    node.next = next;
    if (after)
        list.nodes[after].next = index;
    else
        list.head = index;
    if (next)
        list.nodes[next].prev = index;
    else
        list.tail = index;
}

void Unlink(cSlotList& list, int index)
{
    SlotNode& node = list.nodes[index];
    if (node.prev)
        list.nodes[node.prev].next = node.next;
    else
        list.head = node.next;
    if (node.next)
        list.nodes[node.next].prev = node.prev;
    else
        list.tail = node.prev;
}

int AddAfter(cSlotList& list, int after, void* data)
{
    if (!list.Grow())
        return 0;
    int index = TakeFreeNode(list, data);
    LinkAfter(list, index, after);
    return index;
}

}  // namespace

cSlotList::cSlotList()
    : freeHead(0), head(0), freeTail(0), tail(0), capacity(0), freeCount(0), growStep(kDefaultGrowStep),
      nodes(nullptr)
{
}

cSlotList::~cSlotList()
{
    if (nodes)
        Free();
}

void cSlotList::SetGrowStep(int n)
{
    growStep = n;
}

int cSlotList::Grow()
{
    if (!nodes) {
        // Node 0 is never an element, so the first array needs at least one node besides it.
        int step = growStep < 2 ? 2 : growStep;
        void* block = nullptr;
        if (!NodeBytesFit(step) || !CallocRetry((size_t)step * sizeof(SlotNode), &block))
            return 0;
        nodes = static_cast<SlotNode*>(block);
        capacity = step;
        freeCount = step;
        ChainFree(*this, 1, step);
        return 1;
    }
    if (freeHead)
        return 1;
    int step = growStep < 1 ? 1 : growStep;
    if (capacity > INT32_MAX - step || !NodeBytesFit(capacity + step))
        return 0;
    int newCapacity = capacity + step;
    void* block = nodes;
    if (!ReallocRetry((size_t)newCapacity * sizeof(SlotNode), &block))
        return 0;
    nodes = static_cast<SlotNode*>(block);
    memset(nodes + capacity, 0, (size_t)step * sizeof(SlotNode));
    ChainFree(*this, capacity, newCapacity);
    capacity = newCapacity;
    freeCount += step;
    return 1;
}

int cSlotList::AddTail(void* data)
{
    return AddAfter(*this, tail, data);
}

int cSlotList::AddHead(void* data)
{
    return AddAfter(*this, 0, data);
}

int cSlotList::InsertAfter(int index, void* data)
{
    if (index == 0)
        return AddHead(data);
    if ((unsigned)index >= (unsigned)capacity)
        return AddTail(data);
    // A free node is no place in the element chain: linking after it would splice the new element into the free
    // list. Only on an empty list is the answer obvious (the new element is the only one).
    if (!nodes[index].used)
        return head ? 0 : AddTail(data);
    return AddAfter(*this, index, data);
}

int cSlotList::InsertBefore(int index, void* data)
{
    if (index < 1 || index >= capacity)
        return 0;
    if (!nodes[index].used)
        return head ? 0 : AddHead(data);
    int prev = nodes[index].prev;
    return prev ? InsertAfter(prev, data) : AddHead(data);
}

void cSlotList::MoveAfter(int index, int after)
{
    if (index == after || !IsElement(*this, index) || (unsigned)after >= (unsigned)capacity)
        return;
    if (after && !nodes[after].used)
        return;
    // Covers both "already right after" and, for after 0, "already the head".
    if (nodes[index].prev == after)
        return;
    Unlink(*this, index);
    LinkAfter(*this, index, after);
}

int cSlotList::Remove(int index)
{
    if (index < 1 || index >= capacity)
        return 0;
    SlotNode& node = nodes[index];
    node.data = nullptr;
    // A node that is already free must not be chained a second time, or the free list would loop.
    if (!node.used)
        return 0;
    Unlink(*this, index);
    node.used = 0;
    // Freed nodes join at the tail so that a stale handle keeps pointing at a free node for as long as possible.
    node.prev = freeTail;
    node.next = 0;
    if (freeTail)
        nodes[freeTail].next = index;
    else
        freeHead = index;
    freeTail = index;
    ++freeCount;
    return 1;
}

int cSlotList::Find(void* data) const
{
    for (int i = head; i; i = nodes[i].next) {
        if (nodes[i].data == data)
            return i;
    }
    return 0;
}

void* cSlotList::GetAt(int index) const
{
    return index >= 1 && index < capacity ? nodes[index].data : nullptr;
}

void cSlotList::SetAt(int index, void* data)
{
    if (index >= 1 && index < capacity)
        nodes[index].data = data;
}

void* cSlotList::GetNext(int* index) const
{
    int i = *index;
    if (i < 1 || i >= capacity)
        return nullptr;
    *index = nodes[i].next;
    return nodes[i].data;
}

void* cSlotList::GetPrev(int* index) const
{
    int i = *index;
    if (i < 1 || i >= capacity)
        return nullptr;
    *index = nodes[i].prev;
    return nodes[i].data;
}

SlotNode* cSlotList::Free()
{
    void* block = nodes;
    void* old = FreeAndNull(&block);
    nodes = nullptr;
    freeHead = head = freeTail = tail = 0;
    capacity = 0;
    freeCount = 0;
    return static_cast<SlotNode*>(old);
}

int cSlotList::GetCount() const
{
    // freeCount also counts slot 0, so capacity - freeCount is exactly the number of elements.
    return capacity - freeCount;
}

int cSlotList::GetTail() const
{
    return tail;
}
