// Size arithmetic of packed device-independent bitmaps: header with its colour table (or the three masks of a
// 16-bit bit-field bitmap), then rows padded to 32 bits. 15-bit surfaces are stored as 16-bit rows.
#include "backend.h"

#include <stdint.h>

unsigned long DibHeaderSize(int depth)
{
    if (depth >= 0 && depth <= 8)
        return 40 + 4 * (1ul << depth);
    return depth == 16 ? 52 : 40;
}

// Sizes that do not fit in 32 bits come back as 0xFFFFFFFF rather than wrapped: an allocation of that size fails
// cleanly, where a wrapped size would be a short buffer.
static unsigned long Saturate(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFul : (unsigned long)v; }

static uint64_t RowBytes64(int width, int depth)
{
    uint64_t bits = depth == 15 ? 16 : (uint32_t)depth;
    return (((uint64_t)(uint32_t)width * bits + 31) >> 3) & ~(uint64_t)3;
}

unsigned long DibRowBytes(int width, int depth) { return Saturate(RowBytes64(width, depth)); }

unsigned long long DibSize(int width, int height, int depth)
{
    unsigned long header = DibHeaderSize(depth);
    unsigned long size = Saturate(header + (uint64_t)(uint32_t)height * RowBytes64(width, depth));
    return (unsigned long long)header << 32 | size;
}

unsigned char* DibBits(const BITMAPINFOHEADER* header)
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(header);
    if (header->biBitCount > 8)
        return const_cast<unsigned char*>(base + (header->biCompression == BI_BITFIELDS ? 52 : 40));
    unsigned long colours = header->biClrUsed ? header->biClrUsed : 1ul << header->biBitCount;
    return const_cast<unsigned char*>(base + 40 + 4 * colours);
}

unsigned long cCanvas::GetDibSize()
{
    return (unsigned long)DibSize(backend->d.width, backend->d.height, backend->d.depth);
}
