// The retrying allocator over the C runtime heap. Everything that the library or a host may free later comes from
// here, so that one module's heap never receives another module's block.
#include <malloc.h>
#include <stdlib.h>

#include "kalvex2/memory.h"

namespace {

// Raised and lowered by the bank lock functions; nothing reads it, so it needs no lock.
int g_compactionHolds = 0;

int Compact()
{
#ifdef _WIN32
    return _heapmin();
#else
    return 0;
#endif
}

}  // namespace

int KX_CDECL AllocRetry(size_t size, void** out)
{
    void* p = malloc(size);
    if (!p) {
        Compact();
        p = malloc(size);
    }
    *out = p;
    return p != nullptr;
}

int KX_CDECL CallocRetry(size_t size, void** out)
{
    void* p = calloc(size, 1);
    if (!p) {
        Compact();
        p = calloc(size, 1);
    }
    *out = p;
    return p != nullptr;
}

int KX_CDECL ReallocRetry(size_t size, void** block)
{
    // realloc to 0 bytes frees the block and returns null, which would look like a failure: the retry would then
    // free the block a second time and the caller would keep a dangling pointer. A successful call must leave a
    // live block in the variable, so the smallest request is one byte.
    if (size == 0)
        size = 1;
    void* p = realloc(*block, size);
    if (!p) {
        Compact();
        p = realloc(*block, size);
        if (!p)
            return 0;
    }
    *block = p;
    return 1;
}

void* KX_CDECL FreeAndNull(void** block)
{
    void* old = *block;
    if (old) {
        free(old);
        *block = nullptr;
    }
    return old;
}

int KX_CDECL CompactHeap()
{
    return Compact();
}

void KX_CDECL HoldCompaction()
{
    ++g_compactionHolds;
}

int KX_CDECL ReleaseCompaction()
{
    if (g_compactionHolds != 0)
        --g_compactionHolds;
    return Compact();
}

size_t KX_CDECL GetBlockSize(void* block)
{
    // The runtime treats a null block as an invalid parameter and may end the process.
    if (!block)
        return 0;
#ifdef _WIN32
    return _msize(block);
#else
    return malloc_usable_size(block);
#endif
}
