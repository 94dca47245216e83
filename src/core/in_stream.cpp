// cInStream: the reading members every input stream shares, written on top of the pure slots so that a plug-in
// that supplies Read, ReadExact, ReadByte and the position slots gets the rest from here.
#include <stdint.h>
#include <stdlib.h>

#include "core/stream_util.h"
#include "core/symbol_alias.h"
#include "kalvex2/streams.h"

KX_EXPORT_VTABLE(cInStream, _ZTV9cInStream);

// The base has no data: construction, copy and destruction only concern the virtual table. Each member keeps its
// own body because the copy constructor and the assignment remove an argument that the others do not.
cInStream::cInStream() {}
cInStream::cInStream(const cInStream&) {}
cInStream::~cInStream() {}
cInStream& cInStream::operator=(const cInStream&)
{
    return *this;
}
// The output base's assignment has the same argument list and does the same nothing.
KX_SAME_BODY(_ZN10cOutStreamaSERKS_, _ZN9cInStreamaSERKS_);

void* cInStream::Destroy(unsigned flags)
{
    this->~cInStream();
    if (flags & 1) {
        void* block = this;
        FreeAndNull(&block);
    }
    return this;
}

void cInStream::Delete()
{
    if (!kx::IsNullObject(this))
        Destroy(1);
}

int cInStream::ReadWord(unsigned short* value)
{
    unsigned char low, high;
    int status = ReadByte(&low);
    if (status == STATUS_OK)
        status = ReadByte(&high);
    if (status == STATUS_OK)
        *value = (unsigned short)(low | high << 8);
    return status;
}

int cInStream::ReadDword(unsigned long* value)
{
    unsigned short low, high;
    int status = ReadWord(&low);
    if (status == STATUS_OK)
        status = ReadWord(&high);
    if (status == STATUS_OK)
        *value = low | (unsigned long)high << 16;
    return status;
}

int cInStream::ReadWordBE(unsigned short* value)
{
    unsigned char high, low;
    int status = ReadByte(&high);
    if (status == STATUS_OK)
        status = ReadByte(&low);
    if (status == STATUS_OK)
        *value = (unsigned short)(low | high << 8);
    return status;
}

int cInStream::ReadDwordBE(unsigned long* value)
{
    unsigned short high, low;
    int status = ReadWordBE(&high);
    if (status == STATUS_OK)
        status = ReadWordBE(&low);
    if (status == STATUS_OK)
        *value = low | (unsigned long)high << 16;
    return status;
}

int cInStream::ReadLong(long* value)
{
    return ReadDword(reinterpret_cast<unsigned long*>(value));
}

int cInStream::ReadLongBE(long* value)
{
    return ReadDwordBE(reinterpret_cast<unsigned long*>(value));
}

namespace {

// The byte count of an array read, or -1 when the element count is negative or the product leaves int32.
int ArrayBytes(int count, int elementSize)
{
    if (count < 0 || count > INT32_MAX / elementSize)
        return -1;
    return count * elementSize;
}

}  // namespace

int cInStream::ReadWords(unsigned short* values, int count)
{
    int bytes = ArrayBytes(count, 2);
    if (bytes < 0)
        return ERR_READ;
    int delivered = 0;
    return Read(values, bytes, &delivered);
}

int cInStream::ReadDwords(unsigned long* values, int count)
{
    int bytes = ArrayBytes(count, 4);
    if (bytes < 0)
        return ERR_READ;
    int delivered = 0;
    return Read(values, bytes, &delivered);
}

int cInStream::ReadLongs(long* values, int count)
{
    return ReadDwords(reinterpret_cast<unsigned long*>(values), count);
}

int cInStream::ReadWordsBE(unsigned short* values, int count)
{
    int bytes = ArrayBytes(count, 2);
    if (bytes < 0)
        return ERR_READ;
    int delivered = 0;
    int status = Read(values, bytes, &delivered);
    if (status == STATUS_OK) {
        for (int i = 0; i < count; i++)
            values[i] = (unsigned short)(values[i] >> 8 | values[i] << 8);
    }
    return status;
}

int cInStream::ReadDwordsBE(unsigned long* values, int count)
{
    int bytes = ArrayBytes(count, 4);
    if (bytes < 0)
        return ERR_READ;
    int delivered = 0;
    int status = Read(values, bytes, &delivered);
    if (status == STATUS_OK) {
        for (int i = 0; i < count; i++) {
            uint32_t v = (uint32_t)values[i];
            values[i] = v >> 24 | (v >> 8 & 0xFF00) | (v << 8 & 0xFF0000) | v << 24;
        }
    }
    return status;
}

int cInStream::ReadLongsBE(long* values, int count)
{
    return ReadDwordsBE(reinterpret_cast<unsigned long*>(values), count);
}

void* cInStream::ReadAlloc(int count)
{
    if (count <= 0)
        return nullptr;
    void* block = malloc((size_t)count);
    if (!block)
        return nullptr;
    if (ReadExact(block, count) != STATUS_OK) {
        free(block);
        return nullptr;
    }
    return block;
}

void cInStream::FreeAlloc(void* block)
{
    free(block);
}
