// cMemOutStream: writes into a memory block that grows in whole growth steps (library-owned) or stays fixed (a
// caller's buffer). Its data accessor and file name are cMemInStream's bodies (see mem_in_stream.cpp).
#include <stdint.h>
#include <string.h>

#include "core/stream_util.h"
#include "core/symbol_alias.h"
#include "kalvex2/streams.h"

#if KX_ABI32
// The layout is the interface; offsetof on a class with a virtual table is exact with this compiler.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(cMemOutStream) == 28, "cMemOutStream is seven 32-bit words");
static_assert(offsetof(cMemOutStream, data) == 4 && offsetof(cMemOutStream, cursor) == 8 &&
                  offsetof(cMemOutStream, capacity) == 12 && offsetof(cMemOutStream, size) == 16 &&
                  offsetof(cMemOutStream, growStep) == 20 && offsetof(cMemOutStream, ownsData) == 24,
              "cMemOutStream member offsets");
#pragma GCC diagnostic pop
#endif

KX_EXPORT_VTABLE(cMemOutStream, _ZTV13cMemOutStream);

namespace {

void Release(cMemOutStream* s)
{
    if (s->ownsData) {
        void* block = s->data;
        FreeAndNull(&block);
    }
    s->data = s->cursor = nullptr;
}

}  // namespace

cMemOutStream::cMemOutStream()
    : data(nullptr), cursor(nullptr), capacity(0), size(0), growStep(MEM_GROW_STEP), ownsData(1)
{
}

// A copy writes into the same block as a fixed buffer: it never grows, moves or frees the original's block.
cMemOutStream::cMemOutStream(const cMemOutStream& other)
    : cOutStream(other), data(other.data), cursor(other.cursor), capacity(other.capacity), size(other.size),
      growStep(other.growStep), ownsData(0)
{
}

cMemOutStream::~cMemOutStream()
{
    Release(this);
}

cMemOutStream& cMemOutStream::operator=(const cMemOutStream& other)
{
    if (this != &other) {
        Release(this);
        data = other.data;
        cursor = other.cursor;
        capacity = other.capacity;
        size = other.size;
        growStep = other.growStep;
        ownsData = 0;
    }
    return *this;
}

void* cMemOutStream::Destroy(unsigned flags)
{
    this->~cMemOutStream();
    if (flags & 1) {
        void* block = this;
        FreeAndNull(&block);
    }
    return this;
}

int cMemOutStream::Write(const void* source, int count)
{
    if (count < 0)
        return ERR_WRITE;
    int64_t offset = cursor - data;
    int64_t end = offset + count;
    if (end > capacity) {
        if (!ownsData)
            return ERR_BUFFER_FULL;
        if (end > INT32_MAX)
            return ERR_NO_MEMORY;
        int64_t step = growStep > 0 ? growStep : MEM_GROW_STEP;
        int64_t grown = (end + step - 1) / step * step;
        if (grown > INT32_MAX)
            grown = INT32_MAX;
        void* block = data;
        if (!ReallocRetry((size_t)grown, &block))
            return ERR_NO_MEMORY;
        data = static_cast<unsigned char*>(block);
        capacity = (int)grown;
        cursor = data + offset;
    }
    if (count > 0) {
        memcpy(cursor, source, count);
        cursor += count;
    }
    if (end > size)
        size = (int)end;
    return STATUS_OK;
}

int cMemOutStream::Flush()
{
    return STATUS_OK;
}

int cMemOutStream::GetSize()
{
    return size;
}

int cMemOutStream::Tell()
{
    return (int)(cursor - data);
}

int cMemOutStream::Seek(int offset, int origin)
{
    int64_t target = Tell();
    if (origin == SEEK_FROM_START)
        target = offset;
    else if (origin == SEEK_FROM_CURRENT)
        target += offset;
    else if (origin == SEEK_FROM_END)
        target = (int64_t)size + offset;
    if (target < 0)
        target = 0;
    if (target > size)
        target = size;
    cursor = data + target;
    return (int)target;
}

// Both replace the block: the old one is freed if it was the stream's, and the length starts again at 0, since
// a length left from the old block would let a seek or a reader run past the new one.
int cMemOutStream::AllocBuffer(int n)
{
    if (n < 0)
        return ERR_NO_MEMORY;
    void* block = nullptr;
    if (n > 0 && !AllocRetry((size_t)n, &block))
        return ERR_NO_MEMORY;
    Release(this);
    data = cursor = static_cast<unsigned char*>(block);
    capacity = n;
    growStep = n > 0 ? n : MEM_GROW_STEP;  // a step of 0 would divide by zero on the first growth
    size = 0;
    ownsData = 1;
    return STATUS_OK;
}

int cMemOutStream::AttachBuffer(void* block, int n)
{
    if (n < 0)
        return ERR_WRITE;
    Release(this);
    data = cursor = static_cast<unsigned char*>(block);
    capacity = n;
    growStep = n > 0 ? n : MEM_GROW_STEP;
    size = 0;
    ownsData = 0;
    return STATUS_OK;
}

unsigned char* cMemOutStream::TakeBuffer()
{
    if (size > 0 && size < capacity && ownsData) {
        void* block = data;
        if (ReallocRetry((size_t)size, &block))
            data = static_cast<unsigned char*>(block);
    }
    unsigned char* taken = data;
    // The cursor goes too: left behind, the next write would compute its offset from a null block.
    data = cursor = nullptr;
    size = capacity = 0;
    return taken;
}

void KX_CDECL FreeStreamBuffer(void* block)
{
    FreeAndNull(&block);
}
