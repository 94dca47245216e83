// Single-surface kernels written once over the pixel-format traits: pixel access (slots 0 and 1), fill (2),
// row mirroring (9) and colour replacement (10). The tables in kernel_set.cpp instantiate them per format.
#pragma once

#include <string.h>

#include "kernels/kernel_access.h"
#include "kernels/palette_index.h"
#include "kernels/pixel_formats.h"
#include "kernels/simd_kernels.h"

namespace kx {

template <class F>
void SetPixelKernel(SurfaceDesc* d, int x, int y, unsigned long colour)
{
    ExpectRect<F>(d, x, y, 1, 1);
    uint8_t* p = PixelAt(d, x, y, F::kBytes);
    if constexpr (F::kIndexed)
        *p = (uint8_t)KernelColourToIndex(d->palette, (uint32_t)colour);
    else if constexpr (F::kBytes == 4)
        F::StoreLow3(p, F::ToNative((uint32_t)colour));  // the fourth byte is the pixel's own
    else
        F::Store(p, F::ToNative((uint32_t)colour));
}

// 8-bit: the index (the backend turns it into the entry's colour); otherwise the RGB value.
template <class F>
unsigned long GetPixelKernel(SurfaceDesc* d, int x, int y)
{
    ExpectRect<F>(d, x, y, 1, 1);
    uint32_t p = F::Load(PixelAt(d, x, y, F::kBytes));
    if constexpr (F::kIndexed)
        return p;
    else
        return F::ToRgb(p);
}

template <class F>
void FillKernel(SurfaceDesc* d, int x, int y, int rowStep, int w, int h, uint32_t colour)
{
    ExpectRect<F>(d, x, y, w, h);
    uint8_t* row = PixelAt(d, x, y, F::kBytes);
    uint32_t native;
    if constexpr (F::kIndexed)
        native = colour & 0xFF;
    else
        native = F::ToNative(colour);
    if constexpr (F::kBytes == 3) {
        if (d->flags & KERNEL_CPU_SSE2)
            return FillTripletSse2(row, rowStep, w, h, native);
        for (int j = 0; j < h; j++, row += rowStep)
            for (int i = 0; i < w; i++)
                F::Store(row + 3 * i, native);
    } else {
        uint64_t pattern = native;
        for (int bits = F::kBytes * 8; bits < 64; bits *= 2)
            pattern |= pattern << bits;
        if (d->flags & KERNEL_CPU_SSE2) {
            FillPatternSse2(row, rowStep, w * F::kBytes, h, pattern);
        } else if (d->flags & KERNEL_CPU_MMX) {
            FillPatternMmx(row, rowStep, w * F::kBytes, h, pattern);
        } else {
            for (int j = 0; j < h; j++, row += rowStep) {
                if constexpr (F::kBytes == 1) {
                    memset(row, (int)native, (size_t)w);
                } else {
                    for (int i = 0; i < w; i++)
                        F::Store(row + F::kBytes * i, native);
                }
            }
        }
    }
}

// Pixel i trades places with pixel w - 1 - i; the middle pixel of an odd row stays.
template <class F>
void MirrorRowsKernel(SurfaceDesc* d, int x, int y, int rowStep, int w, int h)
{
    ExpectRect<F>(d, x, y, w, h);
    uint8_t* row = PixelAt(d, x, y, F::kBytes);
    for (int j = 0; j < h; j++, row += rowStep) {
        uint8_t* left = row;
        uint8_t* right = row + (ptrdiff_t)(w - 1) * F::kBytes;
        for (int i = 0; i < w / 2; i++, left += F::kBytes, right -= F::kBytes) {
            uint8_t t[F::kBytes];
            memcpy(t, left, F::kBytes);
            memcpy(left, right, F::kBytes);
            memcpy(right, t, F::kBytes);
        }
    }
}

// Pixels equal to the old colour's native value (the whole pixel, a 32-bit pixel's fourth byte included) become
// the new colour's native value. The 8-bit member takes both colours as indices.
template <class F>
void ReplaceColourKernel(SurfaceDesc* d, int x, int y, int w, int h, int rowBytes, uint32_t newColour,
                         uint32_t oldColour)
{
    ExpectRect<F>(d, x, y, w, h);
    KX_KERNEL_EXPECT(F::kIndexed || rowBytes == w * F::kBytes);
    uint32_t to, from;
    if constexpr (F::kIndexed) {
        to = newColour & 0xFF;
        from = oldColour & 0xFF;
    } else {
        to = F::ToNative(newColour);
        from = F::ToNative(oldColour);
    }
    uint8_t* row = PixelAt(d, x, y, F::kBytes);
    for (int j = 0; j < h; j++, row += d->rowStep) {
        uint8_t* p = row;
        for (int i = 0; i < w; i++, p += F::kBytes)
            if (F::Load(p) == from)
                F::Store(p, to);
    }
}

}  // namespace kx
