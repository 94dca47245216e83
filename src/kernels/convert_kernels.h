// Format conversion: slot 11 of the standard sets copies a rectangle into a surface of another format, one row
// routine per (source format, destination format). The generic blit uses it for every blit between formats.
#pragma once

#include <stdint.h>

#include "kernels/kernel_set.h"

namespace kx {

// What a row routine needs besides the pixels: the palette of the 8-bit side, and for an 8-bit source every
// index already converted into the destination's form.
struct ConvertContext {
    SharedPalette* palette;
    uint32_t natives[256];
};

// n pixels from src to dst; pointers are not advanced.
using ConvertRowFn = void (*)(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n);

// The row routine from a source of one depth to a destination of another, picked by the destination's feature
// bits; a plain copy of the row when the formats are the same.
ConvertRowFn ConvertRowFor(int sourceDepth, int destinationDepth, unsigned long flags);

// Slot 11 (dst, dx, dy, dst row bytes, src, sx, sy, w, h) under the kernel contract, F the source's format; the
// destination's format is read from its depth. Instantiated for the five formats in convert_kernels.cpp.
template <class F>
void ConvertKernel(SurfaceDesc* dst, int dx, int dy, int dstRowBytes, const SurfaceDesc* src, int sx, int sy, int w,
                   int h);

// Rows with SSE2 bodies (convert_sse2.cpp): packed 5-5-5 / 5-6-5 to 32 bits and back, the rest of a row by the
// plain loop.
void Convert15To32Sse2(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n);
void Convert16To32Sse2(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n);
void Convert32To15Sse2(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n);
void Convert32To16Sse2(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n);

}  // namespace kx
