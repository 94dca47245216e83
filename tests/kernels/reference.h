// A slow reference for the kernels, one pixel at a time, written straight from the pixel-format formulas. It shares
// no code with src/kernels, so a slip in the library's traits shows up as a difference.
#pragma once

#include <stdint.h>
#include <string.h>

#include "kalvex2/canvas.h"
#include "surface/palette.h"

namespace ref {

inline int BytesOf(int depth) { return depth == 15 ? 2 : depth / 8; }

inline uint32_t Swap(uint32_t v) { return (v & 0xFF) << 16 | (v & 0xFF00) | ((v >> 16) & 0xFF); }

inline uint32_t ToNative(int depth, uint32_t c)
{
    uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    switch (depth) {
    case 15: return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    case 16: return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    default: return Swap(c);  // 24 and 32: fourth byte 0
    }
}

inline uint32_t ToRgb(int depth, uint32_t p)
{
    switch (depth) {
    case 15: return ((p >> 10) & 0x1F) << 3 | (((p >> 5) & 0x1F) << 3) << 8 | ((p & 0x1F) << 3) << 16;
    case 16: return ((p >> 11) & 0x1F) << 3 | (((p >> 5) & 0x3F) << 2) << 8 | ((p & 0x1F) << 3) << 16;
    default: return Swap(p & 0xFFFFFF);
    }
}

inline uint32_t Entry(const SharedPalette* pal, uint32_t i)
{
    const PALETTEENTRY& e = pal->entries[i & 0xFF];
    return e.peRed | e.peGreen << 8 | e.peBlue << 16;
}

// Nearest entry: black is 0; otherwise entries 1-255, squared distance, exact match first, ties to the last.
inline int Nearest(const SharedPalette* pal, uint32_t c)
{
    int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    if (r == 0 && g == 0 && b == 0)
        return 0;
    int best = -1;
    long bestD = 0;
    for (int i = 1; i < 256; i++) {
        const PALETTEENTRY& e = pal->entries[i];
        long d = (long)(e.peRed - r) * (e.peRed - r) + (long)(e.peGreen - g) * (e.peGreen - g) +
                 (long)(e.peBlue - b) * (e.peBlue - b);
        if (d == 0)
            return i;
        if (best < 0 || d <= bestD)
            best = i, bestD = d;
    }
    return best;
}

inline uint8_t* At(const SurfaceDesc* d, int x, int y)
{
    return d->rowZero + (ptrdiff_t)y * d->rowStep + (ptrdiff_t)x * BytesOf(d->depth);
}

inline uint32_t Read(const SurfaceDesc* d, int x, int y)
{
    uint8_t* p = At(d, x, y);
    uint32_t v = 0;
    for (int k = 0; k < BytesOf(d->depth); k++)
        v |= (uint32_t)p[k] << (8 * k);
    return v;
}

inline void Write(const SurfaceDesc* d, int x, int y, uint32_t v, int bytes)
{
    uint8_t* p = At(d, x, y);
    for (int k = 0; k < bytes; k++)
        p[k] = (uint8_t)(v >> (8 * k));
}
inline void Write(const SurfaceDesc* d, int x, int y, uint32_t v) { Write(d, x, y, v, BytesOf(d->depth)); }

inline uint32_t Colour(const SurfaceDesc* d, const SharedPalette* pal, uint32_t native)
{
    return d->depth == 8 ? Entry(pal, native) : ToRgb(d->depth, native);
}

inline void SetPixel(SurfaceDesc* d, int x, int y, uint32_t c)
{
    if (d->depth == 8)
        Write(d, x, y, (c & 0x01000000) ? (c & 0xFF) : (uint32_t)Nearest(d->palette, c));
    else
        Write(d, x, y, ToNative(d->depth, c), d->depth == 32 ? 3 : BytesOf(d->depth));
}

inline uint32_t GetPixel(SurfaceDesc* d, int x, int y)
{
    uint32_t p = Read(d, x, y);
    return d->depth == 8 ? p : ToRgb(d->depth, p);
}

inline void Fill(SurfaceDesc* d, int x, int y, int w, int h, uint32_t c)
{
    uint32_t v = d->depth == 8 ? (c & 0xFF) : ToNative(d->depth, c);
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++)
            Write(d, x + i, y + j, v);
}

inline uint32_t Blend(uint32_t s, uint32_t d, uint32_t a)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8)
        out |= ((((s >> shift) & 0xFF) * a + ((d >> shift) & 0xFF) * (256 - a)) >> 8) << shift;
    return out;
}

inline void CopyTransparent(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w, int h)
{
    int bytes = BytesOf(src->depth);
    uint32_t key = bytes == 4 ? (uint32_t)src->transparentNative
                              : (uint32_t)src->transparentNative & ((1u << (8 * bytes)) - 1);
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) {
            uint32_t s = Read(src, sx + i, sy + j);
            if (!src->alphaRowZero) {
                if (s != key)
                    Write(dst, dx + i, dy + j, s);
                continue;
            }
            uint32_t a = src->alphaRowZero[(ptrdiff_t)(sy + j) * src->alphaRowStep + sx + i];
            if (a == 0)
                continue;
            if (a == 255) {
                Write(dst, dx + i, dy + j, s);
                continue;
            }
            uint32_t d = Read(dst, dx + i, dy + j);
            switch (dst->depth) {
            case 8:
                Write(dst, dx + i, dy + j,
                      Nearest(dst->palette, Blend(Entry(dst->palette, s), Entry(dst->palette, d), a)));
                break;
            case 15:
            case 16:
                Write(dst, dx + i, dy + j,
                      ToNative(dst->depth, Blend(ToRgb(dst->depth, s), ToRgb(dst->depth, d), a)));
                break;
            default:
                Write(dst, dx + i, dy + j, Blend(s, d, a), 3);
            }
        }
}

inline void CopyOpaque(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w, int h)
{
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++)
            Write(dst, dx + i, dy + j, Read(src, sx + i, sy + j));
}

inline void Callback(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w, int h,
                     PixelColourFn fn, void* user, bool transparent)
{
    int bytes = BytesOf(src->depth);
    uint32_t key = bytes == 4 ? (uint32_t)src->transparentNative
                              : (uint32_t)src->transparentNative & ((1u << (8 * bytes)) - 1);
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) {
            uint32_t s = Read(src, sx + i, sy + j);
            if (transparent && s == key)
                continue;
            uint32_t d = Read(dst, dx + i, dy + j);
            uint32_t r = fn(Colour(dst, dst->palette, d), Colour(dst, dst->palette, s), user);
            Write(dst, dx + i, dy + j, dst->depth == 8 ? (uint32_t)Nearest(dst->palette, r) : ToNative(dst->depth, r));
        }
}

inline void MirrorRows(SurfaceDesc* d, int x, int y, int w, int h)
{
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w / 2; i++) {
            uint32_t a = Read(d, x + i, y + j), b = Read(d, x + w - 1 - i, y + j);
            Write(d, x + i, y + j, b);
            Write(d, x + w - 1 - i, y + j, a);
        }
}

inline void ReplaceColour(SurfaceDesc* d, int x, int y, int w, int h, uint32_t to, uint32_t from)
{
    if (d->depth != 8)
        to = ToNative(d->depth, to), from = ToNative(d->depth, from);
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++)
            if (Read(d, x + i, y + j) == from)
                Write(d, x + i, y + j, to);
}

}  // namespace ref
