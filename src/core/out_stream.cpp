// cOutStream: the output base. Its conveniences write a value in one Write call, in a fixed byte order.
#include "core/stream_util.h"
#include "core/symbol_alias.h"
#include "kalvex2/streams.h"

KX_EXPORT_VTABLE(cOutStream, _ZTV10cOutStream);

// No data: these only concern the virtual table. The assignment is the input base's body (see in_stream.cpp).
cOutStream::cOutStream() {}
cOutStream::cOutStream(const cOutStream&) {}
cOutStream::~cOutStream() {}

void* cOutStream::Destroy(unsigned flags)
{
    this->~cOutStream();
    if (flags & 1) {
        void* block = this;
        FreeAndNull(&block);
    }
    return this;
}

int cOutStream::WriteWord(const unsigned short& value)
{
    unsigned char b[2] = {(unsigned char)value, (unsigned char)(value >> 8)};
    return Write(b, 2);
}

int cOutStream::WriteDword(const unsigned long& value)
{
    unsigned char b[4] = {(unsigned char)value, (unsigned char)(value >> 8), (unsigned char)(value >> 16),
                          (unsigned char)(value >> 24)};
    return Write(b, 4);
}

int cOutStream::WriteLong(const long& value)
{
    unsigned long v = (unsigned long)value;
    return WriteDword(v);
}

int cOutStream::WriteWordBE(const unsigned short& value)
{
    unsigned char b[2] = {(unsigned char)(value >> 8), (unsigned char)value};
    return Write(b, 2);
}

int cOutStream::WriteDwordBE(const unsigned long& value)
{
    unsigned char b[4] = {(unsigned char)(value >> 24), (unsigned char)(value >> 16), (unsigned char)(value >> 8),
                          (unsigned char)value};
    return Write(b, 4);
}
