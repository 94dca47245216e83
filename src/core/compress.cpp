// The compressed-stream pumps: zlib between any input stream and any output stream, and the handle and memory
// variants that wrap their arguments in temporary streams. Also zlib's own entry points as the library exports
// them: the current zlib, answering to the version its old callers were built against.
#include <stdint.h>
#include <stdlib.h>
#include <zlib.h>

#include "core/inflate_bounded.h"
#include "kalvex2/compress.h"

// The record that hosts allocate and hand to the exported zlib functions keeps the layout of their headers.
#if KX_ABI32
static_assert(sizeof(z_stream) == 56, "zlib's stream record is fourteen 32-bit words");
#endif

namespace {

// What inflateInit_/deflateInit_ are told: only the first character and the record size are compared.
const char kZlibVersion[] = "1.1.3";
const int kInflateOut = COMPRESS_CHUNK;
const int kDeflateOut = COMPRESS_CHUNK + COMPRESS_CHUNK / 4 + 12;

// The pump's two C-heap buffers, released on every way out.
struct Buffers {
    unsigned char* in = nullptr;
    unsigned char* out = nullptr;
    bool Alloc(int outSize)
    {
        in = static_cast<unsigned char*>(malloc(COMPRESS_CHUNK));
        out = static_cast<unsigned char*>(malloc(outSize));
        return in && out;
    }
    ~Buffers()
    {
        free(in);
        free(out);
    }
};

int InitStatus(int zlibResult)
{
    return zlibResult == Z_MEM_ERROR ? ERR_NO_MEMORY : ERR_BAD_DATA;
}

// length -1 is the input's whole size; other negative lengths (and a size that is itself negative) are refused.
bool ResolveLength(cInStream* input, int* length)
{
    if (*length == -1)
        *length = input->GetSize();
    return *length >= 0;
}

// Hands zlib the next chunk when it has consumed the last one. Returns false when the length is exhausted.
bool Feed(z_stream& z, cInStream* input, unsigned char* chunk, int& left, int& status)
{
    if (z.avail_in != 0)
        return true;
    if (left == 0)
        return false;
    int n = left < COMPRESS_CHUNK ? left : COMPRESS_CHUNK;
    status = input->ReadExact(chunk, n);
    if (status != STATUS_OK)
        return false;
    left -= n;
    z.next_in = chunk;
    z.avail_in = (uInt)n;
    return true;
}

// Runs a zlib step with Z_FINISH until the stream's end, writing what each call produces. A call that produces
// nothing without reaching the end means the end will never come.
int Finish(int (*step)(z_streamp, int), cOutStream* output, z_stream& z, unsigned char* out, int outSize)
{
    for (;;) {
        z.next_out = out;
        z.avail_out = (uInt)outSize;
        int r = step(&z, Z_FINISH);
        if (r != Z_OK && r != Z_STREAM_END)
            return ERR_BAD_DATA;
        int produced = outSize - (int)z.avail_out;
        int status;
        if (produced > 0 && (status = output->Write(out, produced)) != STATUS_OK)
            return status;
        if (r == Z_STREAM_END)
            return STATUS_OK;
        if (produced == 0)
            return ERR_BAD_DATA;
    }
}

int Inflate(cOutStream* output, cInStream* input, int length, z_stream& z, Buffers& b)
{
    int left = length;
    int status = STATUS_OK;
    bool ended = false;
    while (!ended) {
        if (!Feed(z, input, b.in, left, status))
            break;
        z.next_out = b.out;
        z.avail_out = kInflateOut;
        int r = inflate(&z, Z_NO_FLUSH);
        if (r != Z_OK && r != Z_STREAM_END)
            return ERR_BAD_DATA;
        int produced = kInflateOut - (int)z.avail_out;
        if (produced > 0 && (status = output->Write(b.out, produced)) != STATUS_OK)
            return status;
        ended = r == Z_STREAM_END;
    }
    if (status != STATUS_OK)
        return status;
    // Drain what zlib still holds. A stream whose end never came is truncated, whatever it produced so far.
    return Finish(inflate, output, z, b.out, kInflateOut);
}

int Deflate(cOutStream* output, cInStream* input, int length, z_stream& z, Buffers& b)
{
    int left = length;
    int status = STATUS_OK;
    while (Feed(z, input, b.in, left, status)) {
        z.next_out = b.out;
        z.avail_out = kDeflateOut;
        int r = deflate(&z, Z_NO_FLUSH);
        int produced = kDeflateOut - (int)z.avail_out;
        if (produced > 0 && (status = output->Write(b.out, produced)) != STATUS_OK)
            return status;
        if (r != Z_OK)
            return ERR_BAD_DATA;
    }
    if (status != STATUS_OK)
        return status;
    // Only the end of the zlib stream is success: stopping earlier would leave a stream without its trailer.
    return Finish(deflate, output, z, b.out, kDeflateOut);
}

}  // namespace

int KX_CDECL InflateStream(cOutStream* output, cInStream* input, int length)
{
    if (!input)
        return ERR_READ;
    if (!output)
        return ERR_WRITE;
    Buffers b;
    if (!b.Alloc(kInflateOut))
        return ERR_NO_MEMORY;
    z_stream z = {};
    int r = inflateInit_(&z, kZlibVersion, (int)sizeof(z_stream));
    if (r != Z_OK)
        return InitStatus(r);
    int status = ResolveLength(input, &length) ? Inflate(output, input, length, z, b) : ERR_READ;
    inflateEnd(&z);
    return status;
}

int KX_CDECL DeflateStream(cOutStream* output, cInStream* input, int length, int level)
{
    if (!input)
        return ERR_READ;
    if (!output)
        return ERR_WRITE;
    if (level != Z_DEFAULT_COMPRESSION)
        level = level < 0 ? 0 : level > 9 ? 9 : level;
    Buffers b;
    if (!b.Alloc(kDeflateOut))
        return ERR_NO_MEMORY;
    z_stream z = {};
    int r = deflateInit_(&z, level, kZlibVersion, (int)sizeof(z_stream));
    if (r != Z_OK)
        return InitStatus(r);
    int status = ResolveLength(input, &length) ? Deflate(output, input, length, z, b) : ERR_READ;
    deflateEnd(&z);
    return status;
}

namespace {

const unsigned long kFileOutBuffer = 4096;

// The file output's last bytes are written here rather than by its destructor, so that a full disk is reported.
int FinishFile(cFileOutStream& out, int status)
{
    int flushed = out.Flush();
    return status != STATUS_OK ? status : flushed;
}

// A pump into a file handle: the result is the pump's status, else that of the final flush, so a full disk is
// never reported as success.
template <class Pump>
int PumpToFile(HANDLE output, cInStream& in, Pump pump)
{
    cFileOutStream out;
    out.Open(output, kFileOutBuffer);
    return FinishFile(out, pump(out, in));
}

template <class Pump>
int PumpFileToFile(HANDLE output, HANDLE input, Pump pump)
{
    cFileInStream in;
    int status = in.Open(input);
    return status != STATUS_OK ? status : PumpToFile(output, in, pump);
}

template <class Pump>
int PumpMemToFile(HANDLE output, const void* source, int length, Pump pump)
{
    cMemInStream in;
    if (length < 0 || in.Open(source, length) != STATUS_OK)
        return ERR_READ;
    return PumpToFile(output, in, pump);
}

}  // namespace

int KX_CDECL InflateFileToFile(HANDLE output, HANDLE input, int length)
{
    return PumpFileToFile(output, input,
                          [&](cOutStream& out, cInStream& in) { return InflateStream(&out, &in, length); });
}

int KX_CDECL InflateMemToFile(HANDLE output, const void* source, int length)
{
    return PumpMemToFile(output, source, length,
                         [&](cOutStream& out, cInStream& in) { return InflateStream(&out, &in, length); });
}

int kx::InflateFileToMemBounded(void* destination, int capacity, HANDLE input, int length)
{
    cFileInStream in;
    int status = in.Open(input);
    if (status != STATUS_OK)
        return status;
    cMemOutStream out;
    status = out.AttachBuffer(destination, capacity);
    if (status != STATUS_OK)
        return status;
    return InflateStream(&out, &in, length);
}

int KX_CDECL InflateFileToMem(void* destination, HANDLE input, int length)
{
    // Hosts give no size for the destination; this fixed capacity is all the bound there is.
    return kx::InflateFileToMemBounded(destination, 0x7FFFFFF, input, length);
}

int KX_CDECL DeflateFileToFile(HANDLE output, HANDLE input, int length, int level)
{
    return PumpFileToFile(output, input,
                          [&](cOutStream& out, cInStream& in) { return DeflateStream(&out, &in, length, level); });
}

int KX_CDECL DeflateMemToFile(HANDLE output, const void* source, int length, int level)
{
    return PumpMemToFile(output, source, length,
                         [&](cOutStream& out, cInStream& in) { return DeflateStream(&out, &in, length, level); });
}

int KX_CDECL CompressReserved()
{
    return 0;
}

// zlib's version query as the library exports it (the import library maps zlib's name to it): callers built
// against the old headers compare this string.
extern "C" const char* kx_zlibVersion(void)
{
    return kZlibVersion;
}
