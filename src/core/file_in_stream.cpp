// cFileInStream: a read-ahead buffer over a file handle, optionally limited to a region of the file. Large reads
// bypass the buffer; the buffer only ever holds bytes that follow the last byte delivered from the file.
#include <stdint.h>
#include <string.h>

#include "core/alloc.h"
#include "core/stream_util.h"
#include "core/symbol_alias.h"
#include "kalvex2/streams.h"

// Ordinal 524 (GetSize) is a body shared with the surface backend that returns the word at offset 36.
#if KX_ABI32
// The layout is the interface; offsetof on a class with a virtual table is exact with this compiler.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(cFileInStream) == 40, "cFileInStream is ten 32-bit words");
static_assert(offsetof(cFileInStream, handle) == 4 && offsetof(cFileInStream, position) == 8 &&
                  offsetof(cFileInStream, buffer) == 12 && offsetof(cFileInStream, cursor) == 16 &&
                  offsetof(cFileInStream, buffered) == 20 && offsetof(cFileInStream, ownsHandle) == 24 &&
                  offsetof(cFileInStream, fileName) == 28 && offsetof(cFileInStream, regionStart) == 32,
              "cFileInStream member offsets");
static_assert(offsetof(cFileInStream, regionLength) == 36, "GetSize shares a body that reads offset 36");
#pragma GCC diagnostic pop
#endif

KX_EXPORT_VTABLE(cFileInStream, _ZTV13cFileInStream);

namespace {

bool EnsureBuffer(cFileInStream* s)
{
    if (s->buffer)
        return true;
    void* block = nullptr;
    if (!AllocRetry(FILE_BUFFER_SIZE, &block))
        return false;
    s->buffer = static_cast<unsigned char*>(block);
    return true;
}

// Attaching another handle must not leak the one the stream opened itself; re-attaching the same handle keeps it.
void CloseOwnedHandle(cFileInStream* s, HANDLE next)
{
    if (s->ownsHandle && s->handle != INVALID_HANDLE_VALUE && s->handle != next)
        FileClose(s->handle);
    s->ownsHandle = 0;
}

void Release(cFileInStream* s)
{
    CloseOwnedHandle(s, INVALID_HANDLE_VALUE);
    void* block = s->buffer;
    FreeAndNull(&block);
    s->buffer = s->cursor = nullptr;
    s->buffered = 0;
    kx::FreeText(s->fileName);
}

// A copy reads the same handle but never owns it, and gets its own buffer (with the same read-ahead, so that it
// delivers the same next bytes) because each stream frees its buffer when it goes.
void CopyAsNonOwner(cFileInStream* to, const cFileInStream& from)
{
    to->handle = from.handle;
    to->position = from.position;
    to->ownsHandle = 0;
    to->regionStart = from.regionStart;
    to->regionLength = from.regionLength;
    to->fileName = kx::CopyText(from.fileName);
    to->buffer = to->cursor = nullptr;
    to->buffered = 0;
    if (!from.buffer)
        return;
    if (EnsureBuffer(to)) {
        memcpy(to->buffer, from.buffer, FILE_BUFFER_SIZE);
        to->cursor = to->buffer + (from.cursor - from.buffer);
        to->buffered = from.buffered;
    } else if (from.buffered) {
        // Without the read-ahead the copy's position and the file pointer disagree: it must not read at all.
        to->handle = INVALID_HANDLE_VALUE;
    }
}

// How many bytes the next file read may ask for: a full chunk, or what is left of a bounded region.
int ChunkFor(const cFileInStream* s)
{
    int chunk = FILE_BUFFER_SIZE;
    if (s->regionLength != 0) {
        int64_t left = (int64_t)s->regionStart + s->regionLength - s->position;
        if (left < chunk)
            chunk = left > 0 ? (int)left : 0;
    }
    return chunk;
}

void DiscardBuffer(cFileInStream* s)
{
    s->cursor = s->buffer;
    s->buffered = 0;
}

}  // namespace

cFileInStream::cFileInStream()
    : handle(INVALID_HANDLE_VALUE), position(0), buffer(nullptr), cursor(nullptr), buffered(0), ownsHandle(0),
      fileName(nullptr), regionStart(0), regionLength(0)
{
}

cFileInStream::cFileInStream(const cFileInStream& other) : cInStream(other)
{
    CopyAsNonOwner(this, other);
}

cFileInStream::~cFileInStream()
{
    Release(this);
}

cFileInStream& cFileInStream::operator=(const cFileInStream& other)
{
    if (this != &other) {
        Release(this);
        CopyAsNonOwner(this, other);
    }
    return *this;
}

void* cFileInStream::Destroy(unsigned flags)
{
    this->~cFileInStream();
    if (flags & 1) {
        void* block = this;
        FreeAndNull(&block);
    }
    return this;
}

int cFileInStream::Read(void* destination, int count, int* delivered)
{
    int before = position;
    int status = ReadExact(destination, count);
    if (delivered)
        *delivered = position - before;
    return status;
}

int cFileInStream::ReadExact(void* destination, int count)
{
    if (count < 0)
        return ERR_READ;
    if (count == 0)
        return STATUS_OK;
    unsigned char* out = static_cast<unsigned char*>(destination);
    if (buffered >= (unsigned long)count) {
        memcpy(out, cursor, count);
        cursor += count;
        position += count;
        buffered -= count;
        return STATUS_OK;
    }
    if (buffered) {
        memcpy(out, cursor, buffered);
        out += buffered;
        position += buffered;
        count -= buffered;
    }
    // From here on the buffer no longer precedes the position, so a backward seek must not step into it.
    DiscardBuffer(this);

    while (count >= FILE_BUFFER_SIZE) {
        int chunk = ChunkFor(this);
        if (chunk == 0)
            return ERR_END_OF_DATA;
        int got = FileReadSome(handle, out, chunk);
        if (got > 0) {
            out += got;
            position += got;
            count -= got;
        }
        if (got != FILE_BUFFER_SIZE)
            return ERR_END_OF_DATA;
    }
    if (count == 0)
        return STATUS_OK;

    int chunk = ChunkFor(this);
    if (chunk == 0 || !buffer)
        return ERR_END_OF_DATA;
    int got = FileReadSome(handle, buffer, chunk);
    if (got <= 0)
        return ERR_END_OF_DATA;
    buffered = got;
    unsigned long n = buffered < (unsigned long)count ? buffered : (unsigned long)count;
    memcpy(out, cursor, n);
    cursor += n;
    position += n;
    buffered -= n;
    return n == (unsigned long)count ? STATUS_OK : ERR_END_OF_DATA;
}

int cFileInStream::ReadByte(unsigned char* value)
{
    if (buffered >= 1) {
        *value = *cursor++;
        position++;
        buffered--;
        return STATUS_OK;
    }
    return ReadExact(value, 1);
}

int cFileInStream::Tell()
{
    return position - regionStart;
}

int cFileInStream::GetSize()
{
    return regionLength;
}

int cFileInStream::Seek(int offset, int origin)
{
    int64_t target;
    switch (origin) {
    case SEEK_FROM_START:
        target = (int64_t)regionStart + offset;
        break;
    case SEEK_FROM_CURRENT:
        if (offset == 0)
            return Tell();
        if (offset > 0 && (unsigned long)offset <= buffered) {
            cursor += offset;
            position += offset;
            buffered -= offset;
            return Tell();
        }
        if (offset < 0 && -(int64_t)offset <= cursor - buffer) {
            cursor += offset;
            position += offset;
            buffered += (unsigned long)-(int64_t)offset;
            return Tell();
        }
        target = (int64_t)position + offset;
        break;
    case SEEK_FROM_END:
        target = (int64_t)regionStart + regionLength + offset;
        break;
    default:
        target = 0;
        break;
    }
    DiscardBuffer(this);
    int64_t end = (int64_t)regionStart + regionLength;
    if (target < regionStart)
        target = regionStart;
    if (target > end)
        target = end;
    DWORD moved = SetFilePointer(handle, (LONG)target, nullptr, FILE_BEGIN);
    if (moved != INVALID_SET_FILE_POINTER)
        position = (int)moved;
    return Tell();
}

int cFileInStream::AttachHandle(HANDLE file)
{
    regionStart = 0;
    regionLength = 0;
    if (file == INVALID_HANDLE_VALUE)
        return STATUS_OK;
    if (!EnsureBuffer(this))
        return ERR_NO_MEMORY;
    CloseOwnedHandle(this, file);
    handle = file;
    regionStart = position = FileTell(file);
    regionLength = FileGetSize(file);
    DiscardBuffer(this);
    return STATUS_OK;
}

int cFileInStream::AttachRegion(HANDLE file, int start, int length)
{
    // A region that starts before the file or ends beyond int32 would let reads run past its end.
    if (start < 0 || length < 0 || length > INT32_MAX - start)
        return ERR_OPEN;
    regionStart = start;
    regionLength = length;
    if (file == INVALID_HANDLE_VALUE)
        return STATUS_OK;
    if (!EnsureBuffer(this))
        return ERR_NO_MEMORY;
    CloseOwnedHandle(this, file);
    handle = file;
    position = start;
    FileSeek(file, start);
    DiscardBuffer(this);
    return STATUS_OK;
}

HANDLE cFileInStream::DetachHandle()
{
    if (handle == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    FileSeek(handle, position);
    DiscardBuffer(this);
    HANDLE file = handle;
    handle = INVALID_HANDLE_VALUE;
    ownsHandle = 0;
    return file;
}

const char* cFileInStream::GetFileName()
{
    return fileName;
}

int cFileInStream::Open(HANDLE file)
{
    return AttachHandle(file);
}

int cFileInStream::Open(HANDLE file, int start, int length)
{
    int status = AttachRegion(file, start, length);
    if (status == STATUS_OK)
        kx::FreeText(fileName);
    return status;
}

namespace {

// Opens path and hands the handle to attach; the stream owns the handle only once attaching succeeded, and a
// failed attach closes it again.
template <class Attach>
int OpenPath(cFileInStream* s, const char* path, Attach attach)
{
    HANDLE file = FileOpen(path, 0);
    if (file == INVALID_HANDLE_VALUE)
        return ERR_OPEN;
    int status = attach(file);
    if (status != STATUS_OK) {
        FileClose(file);
        return status;
    }
    kx::FreeText(s->fileName);
    s->fileName = kx::CopyText(path);
    s->ownsHandle = 1;
    return STATUS_OK;
}

}  // namespace

int cFileInStream::Open(const char* path)
{
    return OpenPath(this, path, [this](HANDLE file) { return AttachHandle(file); });
}

int cFileInStream::Open(const char* path, int start, int length)
{
    return OpenPath(this, path, [&](HANDLE file) { return AttachRegion(file, start, length); });
}

cFileInStream* KX_CDECL NewFileInStream()
{
    return kx::New<cFileInStream>();
}
