// cMemInStream: reads a memory block, the caller's or one it allocated itself (AllocData).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "core/alloc.h"
#include "core/stream_util.h"
#include "core/symbol_alias.h"
#include "kalvex2/streams.h"

// Ordinal 559 (Tell) is a body shared with the canvas that returns the word at offset 12, and the data accessor
// (474) one that returns the word at offset 4.
#if KX_ABI32
// The layout is the interface; offsetof on a class with a virtual table is exact with this compiler.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(cMemInStream) == 24, "cMemInStream is six 32-bit words");
static_assert(offsetof(cMemInStream, data) == 4 && offsetof(cMemInStream, cursor) == 8 &&
                  offsetof(cMemInStream, remaining) == 16 && offsetof(cMemInStream, ownsData) == 20,
              "cMemInStream member offsets");
static_assert(offsetof(cMemInStream, position) == 12, "Tell shares a body that reads offset 12");
#pragma GCC diagnostic pop
#endif

KX_EXPORT_VTABLE(cMemInStream, _ZTV12cMemInStream);

// The memory writer's accessor and file name answer the same way from the same offsets.
KX_SAME_BODY(_ZN13cMemOutStream7GetDataEv, _ZN12cMemInStream7GetDataEv);
KX_SAME_BODY(_ZN13cMemOutStream11GetFileNameEv, _ZN12cMemInStream11GetFileNameEv);

namespace {

void Release(cMemInStream* s)
{
    if (s->ownsData)
        free(s->data);
    s->ownsData = 0;
}

}  // namespace

cMemInStream::cMemInStream() : data(nullptr), cursor(nullptr), position(0), remaining(0), ownsData(0) {}

// A copy reads the same block but never owns it: the block goes with the original.
cMemInStream::cMemInStream(const cMemInStream& other)
    : cInStream(other), data(other.data), cursor(other.cursor), position(other.position),
      remaining(other.remaining), ownsData(0)
{
}

cMemInStream::~cMemInStream()
{
    Release(this);
}

cMemInStream& cMemInStream::operator=(const cMemInStream& other)
{
    if (this != &other) {
        Release(this);
        data = other.data;
        cursor = other.cursor;
        position = other.position;
        remaining = other.remaining;
        ownsData = 0;
    }
    return *this;
}

void* cMemInStream::Destroy(unsigned flags)
{
    this->~cMemInStream();
    if (flags & 1) {
        void* block = this;
        FreeAndNull(&block);
    }
    return this;
}

int cMemInStream::Read(void* destination, int count, int* delivered)
{
    int before = position;
    int status = ReadExact(destination, count);
    if (delivered)
        *delivered = position - before;
    return status;
}

int cMemInStream::ReadExact(void* destination, int count)
{
    if (count < 0)
        return ERR_READ;
    if (count == 0)
        return STATUS_OK;
    unsigned long n = remaining < (unsigned long)count ? remaining : (unsigned long)count;
    if (n) {
        memcpy(destination, cursor, n);
        cursor += n;
        position += n;
        remaining -= n;
    }
    return n == (unsigned long)count ? STATUS_OK : ERR_END_OF_DATA;
}

int cMemInStream::ReadByte(unsigned char* value)
{
    if (remaining == 0)
        return ERR_END_OF_DATA;
    *value = *cursor++;
    position++;
    remaining--;
    return STATUS_OK;
}

int cMemInStream::Tell()
{
    return position;
}

int cMemInStream::GetSize()
{
    return position + (int)remaining;
}

int cMemInStream::Seek(int offset, int origin)
{
    int64_t size = (int64_t)position + remaining;
    int64_t target = position;
    if (origin == SEEK_FROM_START)
        target = offset;
    else if (origin == SEEK_FROM_CURRENT)
        target = (int64_t)position + offset;
    else if (origin == SEEK_FROM_END)
        target = size + offset;
    if (target < 0)
        target = 0;
    if (target > size)
        target = size;
    cursor = data + target;
    position = (int)target;
    remaining = (unsigned long)(size - target);
    return position;
}

int cMemInStream::AttachHandle(HANDLE)
{
    return STATUS_OK;
}

HANDLE cMemInStream::DetachHandle()
{
    return INVALID_HANDLE_VALUE;
}

void* cMemInStream::ReadAlloc(int count)
{
    if (count <= 0 || (unsigned long)count > remaining)
        return nullptr;
    unsigned char* at = cursor;
    Seek(count, SEEK_FROM_CURRENT);
    return at;
}

void cMemInStream::FreeAlloc(void*) {}

const char* cMemInStream::GetFileName()
{
    return nullptr;
}

int cMemInStream::Open(const void* block, int size)
{
    if (size < 0)
        return ERR_OPEN;
    Release(this);
    data = cursor = static_cast<unsigned char*>(const_cast<void*>(block));
    position = 0;
    remaining = (unsigned long)size;
    return STATUS_OK;
}

int cMemInStream::AllocData(int size)
{
    if (size < 0)
        return ERR_NO_MEMORY;
    // Plain C heap without the retry; Release gives it back with free().
    void* block = malloc(size ? (size_t)size : 1);
    if (!block)
        return ERR_NO_MEMORY;
    Release(this);
    data = cursor = static_cast<unsigned char*>(block);
    position = 0;
    remaining = (unsigned long)size;
    ownsData = 1;
    return STATUS_OK;
}

unsigned char* cMemInStream::GetData()
{
    return data;
}

cMemInStream* KX_CDECL NewMemInStream()
{
    return kx::New<cMemInStream>();
}
