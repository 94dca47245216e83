/* Kalvex2 SDK: the retrying allocator and the small containers that the library and its hosts share.
 * Memory that the library may later free (or that a host frees through FreeAndNull) must come from these
 * functions, never from another module's heap. */
#ifndef KALVEX2_MEMORY_H
#define KALVEX2_MEMORY_H

#include "base.h"

/* Allocation: on failure the heap is compacted once and the request is tried again. Results are 1/0. */
KX_API int KX_CDECL AllocRetry(size_t size, void** out);
KX_API int KX_CDECL CallocRetry(size_t size, void** out);
KX_API int KX_CDECL ReallocRetry(size_t size, void** block);     /* leaves *block alone when it fails */
KX_API void* KX_CDECL FreeAndNull(void** block);                  /* returns the old (now freed) address */
KX_API int KX_CDECL CompactHeap();
KX_API void KX_CDECL HoldCompaction();
KX_API int KX_CDECL ReleaseCompaction();
KX_API size_t KX_CDECL GetBlockSize(void* block);

/* Growable pointer array. The block holds room for count rounded up to 16 elements; slots past count are null. */
class KX_API cPtrArray {
public:
    int count;
    void** items;

    cPtrArray();
    ~cPtrArray();
    /* Each array owns its own block: assignment copies the elements into a block of its own. */
    cPtrArray& operator=(const cPtrArray& other);

    int SetSize(int n);
    int Add(void* p);
    void* GetAt(int index) const;
    void SetAt(int index, void* p);
    int SetAtGrow(int index, void* p);
    int InsertAt(int index, void* p, int n);
    int RemoveAt(int index, int n);
    int ClearAt(int index);
    void* RemoveAll();
    int GetCount() const;
    void*& ElementAt(int index);
    int GetMaxCount() const;

private:
    cPtrArray(const cPtrArray&);
};

/* The same array under another name; every member forwards to cPtrArray. */
class KX_API cItemArray : public cPtrArray {
public:
    cItemArray();
    ~cItemArray();
    int Add(void* p);
    void* GetAt(int index) const;
    void SetAt(int index, void* p);
    int SetAtGrow(int index, void* p);
    int InsertAt(int index, void* p, int n);

private:
    cItemArray(const cItemArray&);
    cItemArray& operator=(const cItemArray&);
};

/* Pointer list whose capacity moves in steps of 16 (the filter sets keep their entries in one). The functions
 * take the record, and its count and capacity by address; they never touch the entries themselves. */
struct PtrList16 {
    void** items;
    int count;
    int capacity;
};
KX_API int KX_CDECL PtrListGrow(PtrList16* list, int* count, int* capacity, int n);
KX_API int KX_CDECL PtrListSetCapacity(PtrList16* list, int* count, int* capacity, int n);
KX_API int KX_CDECL PtrListRemoveAt(PtrList16* list, int* count, int* capacity, int index);

/* Index-addressed doubly linked list: an element keeps its index (1 .. capacity-1) for as long as it lives, so
 * the index serves as a handle. Index 0 means "none". Freed nodes are reused first-in first-out. */
struct SlotNode {
    int prev;
    int next;
    void* data;
    int used;
};

class KX_API cSlotList {
public:
    int freeHead;
    int head;
    int freeTail;
    int tail;
    int capacity;
    int freeCount;
    int growStep;
    SlotNode* nodes;

    cSlotList();
    ~cSlotList();
    void SetGrowStep(int n);
    int Grow();
    int AddTail(void* data);
    int AddHead(void* data);
    int InsertAfter(int index, void* data);
    int InsertBefore(int index, void* data);
    void MoveAfter(int index, int after);
    int Remove(int index);
    int Find(void* data) const;
    void* GetAt(int index) const;
    void SetAt(int index, void* data);
    void* GetNext(int* index) const;
    void* GetPrev(int* index) const;
    SlotNode* Free();
    int GetCount() const;    /* elements in the list: capacity minus free nodes (slot 0 counts as free) */
    int GetTail() const;

private:
    cSlotList(const cSlotList&);
    cSlotList& operator=(const cSlotList&);
};

#endif
