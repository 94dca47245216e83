// Addressing helpers shared by the kernel templates, and the entry checks of the calling contract.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "kernels/kernel_set.h"

namespace kx {

inline uint8_t* PixelAt(const SurfaceDesc* d, int x, int y, int bytes)
{
    return d->rowZero + (ptrdiff_t)y * d->rowStep + (ptrdiff_t)x * bytes;
}

inline const uint8_t* AlphaAt(const SurfaceDesc* d, int x, int y)
{
    return d->alphaRowZero + (ptrdiff_t)y * d->alphaRowStep + x;
}

inline bool InsideSurface(const SurfaceDesc* d, int x, int y, int w, int h)
{
    return w >= 1 && h >= 1 && x >= 0 && y >= 0 && x <= d->width - w && y <= d->height - h;
}

// Entry assumptions of a one-surface kernel (debug builds only).
template <class Format>
inline void ExpectRect(const SurfaceDesc* d, int x, int y, int w, int h)
{
    KX_KERNEL_EXPECT(d && d->rowZero);
    KX_KERNEL_EXPECT(d->bytesPerPixel == Format::kBytes);
    KX_KERNEL_EXPECT(InsideSurface(d, x, y, w, h));
    KX_KERNEL_EXPECT(!Format::kIndexed || d->palette);
}

// Entry assumptions of a copy: both rectangles inside, one format, no overlap.
template <class Format>
inline void ExpectCopy(const SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w,
                       int h)
{
    ExpectRect<Format>(dst, dx, dy, w, h);
    KX_KERNEL_EXPECT(src && src->rowZero && src->bytesPerPixel == Format::kBytes);
    KX_KERNEL_EXPECT(InsideSurface(src, sx, sy, w, h));
}

}  // namespace kx
