// cFileOutStream: a write buffer over a file handle. Appending goes through the buffer; after a seek into the
// middle of the file writes go straight to it until a seek back to the end.
#include <stdint.h>
#include <string.h>

#include "core/stream_util.h"
#include "core/symbol_alias.h"
#include "kalvex2/streams.h"

#if KX_ABI32
// The layout is the interface; offsetof on a class with a virtual table is exact with this compiler.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(cFileOutStream) == 36, "cFileOutStream is nine 32-bit words");
static_assert(offsetof(cFileOutStream, handle) == 4 && offsetof(cFileOutStream, ownsHandle) == 8 &&
                  offsetof(cFileOutStream, buffer) == 12 && offsetof(cFileOutStream, cursor) == 16 &&
                  offsetof(cFileOutStream, pending) == 20 && offsetof(cFileOutStream, bufferSize) == 24 &&
                  offsetof(cFileOutStream, buffering) == 28 && offsetof(cFileOutStream, fileName) == 32,
              "cFileOutStream member offsets");
#pragma GCC diagnostic pop
#endif

KX_EXPORT_VTABLE(cFileOutStream, _ZTV14cFileOutStream);

namespace {

// Writes what is pending, closes an owned handle and frees the buffer and name. A failed last write cannot be
// reported from here; callers that care call Flush first.
void Release(cFileOutStream* s)
{
    if (s->handle != INVALID_HANDLE_VALUE)
        s->Flush();
    if (s->ownsHandle && s->handle != INVALID_HANDLE_VALUE)
        FileClose(s->handle);
    s->handle = INVALID_HANDLE_VALUE;
    s->ownsHandle = 0;
    void* block = s->buffer;
    FreeAndNull(&block);
    s->buffer = s->cursor = nullptr;
    s->pending = 0;
    kx::FreeText(s->fileName);
}

// A buffer of bufferSize, or unbuffered writing when there is none. A size of 0 means unbuffered: a buffer with
// no room would never empty.
void AllocWriteBuffer(cFileOutStream* s)
{
    void* block = nullptr;
    if (s->bufferSize == 0 || !AllocRetry(s->bufferSize, &block))
        block = nullptr;
    s->buffer = s->cursor = static_cast<unsigned char*>(block);
    s->pending = 0;
}

void Attach(cFileOutStream* s, HANDLE file, unsigned long bufferSize, int owns)
{
    s->handle = file;
    s->ownsHandle = owns;
    s->bufferSize = bufferSize;
    AllocWriteBuffer(s);
    s->buffering = s->buffer != nullptr;
}

// A copy writes to the same handle without owning it. The bytes pending in the original stay the original's (two
// streams flushing them would write them twice), so the copy starts with an empty buffer of its own.
void CopyAsNonOwner(cFileOutStream* to, const cFileOutStream& from)
{
    to->handle = from.handle;
    to->ownsHandle = 0;
    to->bufferSize = from.bufferSize;
    to->buffer = to->cursor = nullptr;
    to->pending = 0;
    if (from.buffer)
        AllocWriteBuffer(to);
    to->buffering = from.buffering && to->buffer;
    to->fileName = kx::CopyText(from.fileName);
}

}  // namespace

cFileOutStream::cFileOutStream()
    : handle(INVALID_HANDLE_VALUE), ownsHandle(0), buffer(nullptr), cursor(nullptr), pending(0), bufferSize(0),
      buffering(1), fileName(nullptr)
{
}

cFileOutStream::cFileOutStream(const cFileOutStream& other) : cOutStream(other)
{
    CopyAsNonOwner(this, other);
}

cFileOutStream::~cFileOutStream()
{
    Release(this);
}

cFileOutStream& cFileOutStream::operator=(const cFileOutStream& other)
{
    if (this != &other) {
        Release(this);
        CopyAsNonOwner(this, other);
    }
    return *this;
}

void* cFileOutStream::Destroy(unsigned flags)
{
    this->~cFileOutStream();
    if (flags & 1) {
        void* block = this;
        FreeAndNull(&block);
    }
    return this;
}

int cFileOutStream::Write(const void* source, int count)
{
    if (count < 0)
        return ERR_WRITE;
    if (!buffering || !buffer || bufferSize == 0)
        return FileWrite(handle, source, count);
    const unsigned char* in = static_cast<const unsigned char*>(source);
    unsigned long left = (unsigned long)count;
    while ((uint64_t)pending + left > bufferSize) {
        unsigned long room = bufferSize - pending;
        memcpy(cursor, in, room);
        in += room;
        left -= room;
        cursor += room;
        pending = bufferSize;
        int status = FileWrite(handle, buffer, (int)bufferSize);
        if (status != STATUS_OK)
            return status;  // the buffer keeps the unwritten bytes for the next attempt
        pending = 0;
        cursor = buffer;
    }
    memcpy(cursor, in, left);
    cursor += left;
    pending += left;
    return STATUS_OK;
}

int cFileOutStream::Flush()
{
    if (!buffering || pending == 0 || !buffer)
        return STATUS_OK;
    int status = FileWrite(handle, buffer, (int)pending);
    if (status == STATUS_OK) {
        pending = 0;
        cursor = buffer;
    }
    return status;
}

int cFileOutStream::GetSize()
{
    return FileGetSize(handle) + (int)pending;
}

int cFileOutStream::Tell()
{
    return FileTell(handle) + (int)pending;
}

int cFileOutStream::Seek(int offset, int origin)
{
    int current = Tell();
    int length = GetSize();
    int64_t target = current;
    if (origin == SEEK_FROM_START)
        target = offset;
    else if (origin == SEEK_FROM_CURRENT)
        target = (int64_t)current + offset;
    else if (origin == SEEK_FROM_END)
        target = (int64_t)length + offset;
    if (target < 0)
        target = 0;
    if (target >= length) {
        // The pending bytes belong after the file's end, where the pointer goes.
        if (!buffering && buffer)
            buffering = 1;
        FileSeekEnd(handle, 0);
        return length;
    }
    if (buffering) {
        // Moving with bytes still pending would put them in the wrong place: stay where we are.
        if (Flush() != STATUS_OK)
            return current;
        buffering = 0;
    }
    FileSeek(handle, (int)target);
    return (int)target;
}

const char* cFileOutStream::GetFileName()
{
    return fileName;
}

int cFileOutStream::Open(HANDLE file, unsigned long size)
{
    Release(this);
    Attach(this, file, size, 0);
    return STATUS_OK;
}

int cFileOutStream::Create(const char* path, unsigned long size)
{
    Release(this);
    HANDLE file = FileCreate(path);
    if (file == INVALID_HANDLE_VALUE)
        return ERR_CREATE;
    Attach(this, file, size, 1);
    fileName = kx::CopyText(path);
    return STATUS_OK;
}
