// Copies between two surfaces of one format, written once over the pixel-format traits: transparent copy with
// its alpha-plane blend (slot 3), opaque copy (5) and the callback copies (7 and 8).
#pragma once

#include <string.h>

#include "kernels/kernel_access.h"
#include "kernels/palette_index.h"
#include "kernels/pixel_formats.h"
#include "kernels/simd_kernels.h"

namespace kx {

// s weighted by a, d by 256 - a, red and blue in one lane and green in the other. a is 1..254 here, so the lanes
// never carry into each other.
inline uint32_t BlendAlpha(uint32_t s, uint32_t d, uint32_t a)
{
    uint32_t rb = (((s & 0xFF00FFu) * a + (d & 0xFF00FFu) * (256 - a)) >> 8) & 0xFF00FFu;
    uint32_t g = (((s & 0xFF00u) * a + (d & 0xFF00u) * (256 - a)) >> 8) & 0xFF00u;
    return rb | g;
}

// One blended pixel: both taken as 0x00XXYYZZ values in the format's own terms, the result written back natively.
template <class F>
inline void BlendPixel(uint8_t* dp, const uint8_t* sp, uint32_t a, SharedPalette* palette)
{
    if constexpr (F::kIndexed) {
        // The source index is a colour of the destination's palette too: copies never change format.
        uint32_t c = BlendAlpha(KernelEntryColour(palette, *sp), KernelEntryColour(palette, *dp), a);
        *dp = (uint8_t)KernelBlendIndex(palette, c);
    } else if constexpr (F::kBytes == 2) {
        F::StoreRgb(dp, BlendAlpha(F::ToRgb(F::Load(sp)), F::ToRgb(F::Load(dp)), a));
    } else {
        // 24 and 32 bits blend their natives directly; a 32-bit destination keeps its fourth byte.
        F::StoreLow3(dp, BlendAlpha(F::Load(sp), F::Load(dp), a));
    }
}

template <class F>
void CopyTransparentPlain(uint8_t* drow, ptrdiff_t dstStep, const uint8_t* srow, ptrdiff_t srcStep, int w, int h,
                          uint32_t key)
{
    for (int j = 0; j < h; j++, drow += dstStep, srow += srcStep) {
        const uint8_t* s = srow;
        uint8_t* dp = drow;
        for (int i = 0; i < w; i++, s += F::kBytes, dp += F::kBytes) {
            uint32_t v = F::Load(s);
            if (v != key)
                F::Store(dp, v);
        }
    }
}

template <class F>
inline void CopyAlphaPixel(uint8_t* dp, const uint8_t* s, uint32_t a, SharedPalette* palette)
{
    if (a == 255)
        F::Store(dp, F::Load(s));
    else if (a != 0)
        BlendPixel<F>(dp, s, a, palette);
}

template <class F>
void CopyAlphaPlain(uint8_t* drow, ptrdiff_t dstStep, const uint8_t* srow, ptrdiff_t srcStep, const uint8_t* arow,
                    ptrdiff_t alphaStep, int w, int h, SharedPalette* palette)
{
    for (int j = 0; j < h; j++, drow += dstStep, srow += srcStep, arow += alphaStep) {
        const uint8_t* s = srow;
        uint8_t* dp = drow;
        int i = 0;
        // Alpha planes are mostly long runs of 0 and 255: four alpha bytes are looked at together.
        for (; i + 4 <= w; i += 4, s += 4 * F::kBytes, dp += 4 * F::kBytes) {
            uint32_t a4 = Load32(arow + i);
            if (a4 == 0)
                continue;
            if (a4 == 0xFFFFFFFFu) {
                memcpy(dp, s, 4 * F::kBytes);
                continue;
            }
            for (int k = 0; k < 4; k++)
                CopyAlphaPixel<F>(dp + k * F::kBytes, s + k * F::kBytes, arow[i + k], palette);
        }
        for (; i < w; i++, s += F::kBytes, dp += F::kBytes)
            CopyAlphaPixel<F>(dp, s, arow[i], palette);
    }
}

// Without a source alpha plane, source pixels equal to the source's transparent native value (compared over the
// whole pixel: a 32-bit pixel with a non-zero fourth byte never matches) leave the destination alone. With one,
// the transparent colour is not looked at: alpha 0 leaves the destination, 255 copies, anything else blends.
template <class F>
void CopyTransparentKernel(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w, int h)
{
    ExpectCopy<F>(dst, dx, dy, src, sx, sy, w, h);
    uint8_t* drow = PixelAt(dst, dx, dy, F::kBytes);
    const uint8_t* srow = PixelAt(src, sx, sy, F::kBytes);
    bool sse2 = (dst->flags & KERNEL_CPU_SSE2) != 0;
    if (src->alphaRowZero) {
        const uint8_t* arow = AlphaAt(src, sx, sy);
        if (sse2) {
            if constexpr (F::kIndex == FORMAT_15)
                return CopyAlpha15Sse2(drow, dst->rowStep, srow, src->rowStep, arow, src->alphaRowStep, w, h);
            if constexpr (F::kIndex == FORMAT_16)
                return CopyAlpha16Sse2(drow, dst->rowStep, srow, src->rowStep, arow, src->alphaRowStep, w, h);
            if constexpr (F::kIndex == FORMAT_32)
                return CopyAlpha32Sse2(drow, dst->rowStep, srow, src->rowStep, arow, src->alphaRowStep, w, h);
        }
        return CopyAlphaPlain<F>(drow, dst->rowStep, srow, src->rowStep, arow, src->alphaRowStep, w, h,
                                 dst->palette);
    }
    uint32_t key = (uint32_t)src->transparentNative;
    if constexpr (F::kBytes == 3) {
        key &= 0xFFFFFF;
    } else if constexpr (F::kBytes != 4) {
        key &= (1u << (8 * F::kBytes)) - 1;
    }
    if (sse2) {
        if constexpr (F::kBytes == 1)
            return CopyTransparent8Sse2(drow, dst->rowStep, srow, src->rowStep, w, h, key);
        if constexpr (F::kBytes == 2)
            return CopyTransparent16Sse2(drow, dst->rowStep, srow, src->rowStep, w, h, key);
        if constexpr (F::kBytes == 3)
            return CopyTransparent24Sse2(drow, dst->rowStep, srow, src->rowStep, w, h, key);
        if constexpr (F::kBytes == 4)
            return CopyTransparent32Sse2(drow, dst->rowStep, srow, src->rowStep, w, h, key);
    }
    CopyTransparentPlain<F>(drow, dst->rowStep, srow, src->rowStep, w, h, key);
}

// One routine for every format: w * bytesPerPixel bytes per row; no transparency, no alpha plane.
inline void CopyOpaqueKernel(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w, int h)
{
    KX_KERNEL_EXPECT(dst && src && dst->rowZero && src->rowZero);
    KX_KERNEL_EXPECT(dst->bytesPerPixel == src->bytesPerPixel);
    KX_KERNEL_EXPECT(InsideSurface(dst, dx, dy, w, h) && InsideSurface(src, sx, sy, w, h));
    int bpp = src->bytesPerPixel;
    uint8_t* drow = PixelAt(dst, dx, dy, bpp);
    const uint8_t* srow = PixelAt(src, sx, sy, bpp);
    int bytes = w * bpp;
    if (dst->flags & KERNEL_CPU_SSE2)
        return CopyOpaqueSse2(drow, dst->rowStep, srow, src->rowStep, bytes, h);
    if (dst->flags & KERNEL_CPU_MMX)
        return CopyOpaqueMmx(drow, dst->rowStep, srow, src->rowStep, bytes, h);
    for (int j = 0; j < h; j++, drow += dst->rowStep, srow += src->rowStep)
        memcpy(drow, srow, (size_t)bytes);
}

// The destination becomes fn(destination colour, source colour, user) for every pixel (Transparent: for every
// source pixel that differs from the source's transparent native value). 8-bit colours are entries of the
// destination's palette, and the result goes back through the plain search, without the colour cache.
template <class F, bool Transparent>
void CallbackKernel(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w, int h,
                    PixelColourFn fn, void* user)
{
    ExpectCopy<F>(dst, dx, dy, src, sx, sy, w, h);
    KX_KERNEL_EXPECT(fn);
    uint8_t* drow = PixelAt(dst, dx, dy, F::kBytes);
    const uint8_t* srow = PixelAt(src, sx, sy, F::kBytes);
    uint32_t key = (uint32_t)src->transparentNative;
    if constexpr (F::kBytes == 3)
        key &= 0xFFFFFF;
    else if constexpr (F::kBytes != 4)
        key &= (1u << (8 * F::kBytes)) - 1;
    const SharedPalette* palette = dst->palette;
    for (int j = 0; j < h; j++, drow += dst->rowStep, srow += src->rowStep) {
        const uint8_t* s = srow;
        uint8_t* dp = drow;
        for (int i = 0; i < w; i++, s += F::kBytes, dp += F::kBytes) {
            uint32_t sv = F::Load(s);
            if (Transparent && sv == key)
                continue;
            uint32_t dv = F::Load(dp);
            if constexpr (F::kIndexed) {
                COLORREF r = fn(KernelEntryColour(palette, dv), KernelEntryColour(palette, sv), user);
                *dp = (uint8_t)KernelSearchIndex(palette, (uint32_t)r);
            } else {
                COLORREF r = fn(F::ToRgb(dv), F::ToRgb(sv), user);
                F::Store(dp, F::ToNative((uint32_t)r));
            }
        }
    }
}

}  // namespace kx
