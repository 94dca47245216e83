// The slow reference for ink effects, format conversion and row stretching, one pixel at a time and channel by
// channel, written straight from the formulas. Like reference.h it shares no code with src/kernels.
#pragma once

#include <algorithm>
#include <vector>

#include "reference.h"

namespace ref {

inline uint32_t PixelBits(int depth) { return depth == 32 ? 0xFFFFFFFFu : (1u << (8 * BytesOf(depth))) - 1; }

// floor(x / 128) for negative x too.
inline int FloorDiv128(int x) { return x >= 0 ? x / 128 : -((-x + 127) / 128); }

inline int Channel(uint32_t c, int k) { return (int)((c >> (8 * k)) & 0xFF); }

// The colour an arithmetic effect sees: palette entries (8), unpacked RGB values (15/16), natives (24/32).
inline uint32_t InkColour(int depth, const SharedPalette* pal, uint32_t p)
{
    if (depth == 8)
        return Entry(pal, p);
    if (depth == 15 || depth == 16)
        return ToRgb(depth, p);
    return p & 0xFFFFFF;
}

inline uint32_t InkNative(int depth, const SharedPalette* pal, uint32_t c)
{
    if (depth == 8)
        return (uint32_t)Nearest(pal, c);
    if (depth == 15 || depth == 16)
        return ToNative(depth, c);
    return c;
}

// s + floor((d - s) * p / 128) in each of the three channels.
inline uint32_t InkBlend(uint32_t s, uint32_t d, uint32_t p)
{
    uint32_t r = 0;
    for (int k = 0; k < 3; k++) {
        int sc = Channel(s, k), dc = Channel(d, k);
        r |= (uint32_t)(sc + FloorDiv128((dc - sc) * (int)p)) << (8 * k);
    }
    return r;
}

// Channel widths of the packed formats, low field first: blue, green, red.
inline void PackedFields(int depth, int shift[3], int bits[3])
{
    shift[0] = 0, bits[0] = 5;
    shift[1] = 5, bits[1] = depth == 15 ? 5 : 6;
    shift[2] = depth == 15 ? 10 : 11, bits[2] = 5;
}

// min(s + d, max) (add) or max(d - s, 0) (subtract) in every channel; packed formats field by field.
inline uint32_t Saturate(int depth, uint32_t s, uint32_t d, bool add)
{
    int shift[3] = {0, 8, 16}, bits[3] = {8, 8, 8};
    if (depth == 15 || depth == 16)
        PackedFields(depth, shift, bits);
    uint32_t r = 0;
    for (int k = 0; k < 3; k++) {
        int max = (1 << bits[k]) - 1;
        int sc = (int)(s >> shift[k]) & max, dc = (int)(d >> shift[k]) & max;
        int v = add ? std::min(sc + dc, max) : std::max(dc - sc, 0);
        r |= (uint32_t)v << shift[k];
    }
    return r;
}

inline uint32_t ClampWeight(uint32_t w) { return w > 128 ? 128 : w; }

// One pixel of an effect: native s and d of the given depth in, native result out. transparentNative is the
// source's transparent value (code 6 tests the destination against it).
inline uint32_t InkPixel(int depth, const SharedPalette* pal, int effect, uint32_t parameter,
                         uint32_t transparentNative, uint32_t s, uint32_t d)
{
    uint32_t mask = PixelBits(depth);
    switch (effect) {
    case 1: return InkNative(depth, pal, InkBlend(InkColour(depth, pal, s), InkColour(depth, pal, d),
                                                   ClampWeight(parameter)));
    case 2: return s ^ (depth == 32 ? 0xFFFFFF : mask);
    case 3: return s ^ d;
    case 4: return s & d;
    case 5: return s | d;
    case 8: return ~s & d & mask;
    case 9:
        if (depth == 15 || depth == 16)
            return Saturate(depth, s, d, true);
        return InkNative(depth, pal, Saturate(depth, InkColour(depth, pal, s), InkColour(depth, pal, d), true));
    case 11:
        if (depth == 8)
            return InkNative(depth, pal, Saturate(depth, InkColour(depth, pal, s), InkColour(depth, pal, d), false));
        // What is not colour (bit 15 of 15-bit pixels, the fourth byte of 32-bit ones) stays the destination's.
        if (depth == 15)
            return (d & 0x8000) | Saturate(depth, s, d, false);
        return (d & ~0xFFFFFFu & mask) | Saturate(depth, s, d, false);
    case 10: {
        uint32_t c = InkColour(depth, pal, s);
        bool native = depth >= 24;
        int red = Channel(c, native ? 2 : 0), green = Channel(c, 1), blue = Channel(c, native ? 0 : 2);
        uint32_t g = (uint32_t)(5 * red + 9 * green + 2 * blue) >> 4;
        return InkNative(depth, pal, g | g << 8 | g << 16);
    }
    case 6: {
        bool backdrop = depth == 8 ? d == 0 : d == (transparentNative & mask);
        uint32_t dc = backdrop ? (parameter & 0xFFFFFF) : InkColour(depth, pal, d);
        return InkNative(depth, pal, InkBlend(InkColour(depth, pal, s), dc, ClampWeight(parameter >> 24)));
    }
    case 12: {
        uint32_t key = parameter & 0xFFFFFF;
        bool isKey = depth == 8 ? Entry(pal, d) == key
                                : (d & (depth == 15 ? 0x7FFF : depth == 16 ? 0xFFFF : 0xFFFFFF)) ==
                                      ToNative(depth, key);
        if (isKey)
            return d;
        return InkNative(depth, pal, InkBlend(InkColour(depth, pal, s), InkColour(depth, pal, d),
                                              ClampWeight(parameter >> 24)));
    }
    }
    return d;
}

// The two ink copies. Transparent: source pixels equal to the transparent value are left out, or, with an alpha
// plane, the effect's result is blended over the destination by the alpha byte as the plain alpha copy does.
inline void InkCopy(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w, int h,
                    int effect, uint32_t parameter, bool transparent)
{
    int depth = src->depth;
    uint32_t key = (uint32_t)src->transparentNative & PixelBits(depth);
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) {
            uint32_t s = Read(src, sx + i, sy + j), d = Read(dst, dx + i, dy + j);
            if (!transparent) {
                Write(dst, dx + i, dy + j,
                      InkPixel(depth, dst->palette, effect, parameter, (uint32_t)src->transparentNative, s, d));
                continue;
            }
            uint32_t a = 255;
            if (src->alphaRowZero)
                a = src->alphaRowZero[(ptrdiff_t)(sy + j) * src->alphaRowStep + sx + i];
            else if (s == key)
                continue;
            if (a == 0)
                continue;
            uint32_t e = InkPixel(depth, dst->palette, effect, parameter, (uint32_t)src->transparentNative, s, d);
            if (a == 255) {
                Write(dst, dx + i, dy + j, e);
            } else if (depth == 8) {
                Write(dst, dx + i, dy + j, Nearest(dst->palette, Blend(Entry(dst->palette, e), Entry(dst->palette, d), a)));
            } else if (depth == 15 || depth == 16) {
                Write(dst, dx + i, dy + j, ToNative(depth, Blend(ToRgb(depth, e), ToRgb(depth, d), a)));
            } else {
                Write(dst, dx + i, dy + j, Blend(e, d, a), 3);
            }
        }
}

// One pixel converted between formats, from the conversion table as it stands. "Kept" marks the rule that a
// non-black source never becomes 0 in 15/16 bits.
inline uint32_t Kept(uint32_t v, bool nonBlack) { return v == 0 && nonBlack ? 1 : v; }

inline uint32_t Convert(int from, int to, const SharedPalette* pal, uint32_t p)
{
    switch (from) {
    case 8: {
        uint32_t c = Entry(pal, p);
        if (to == 15 || to == 16)
            return Kept(ToNative(to, c), c != 0);
        return Swap(c);
    }
    case 15:
        if (to == 8)
            return p == 0 ? 0 : (uint32_t)Nearest(pal, ToRgb(15, p));
        if (to == 16)
            return ((p << 1) & 0xFFC0) | (p & 0x1F);
        return ((p & 0x1F) << 3) | ((p & 0x3E0) << 6) | ((p & 0x7C00) << 9);
    case 16:
        if (to == 8)
            return p == 0 ? 0 : (uint32_t)Nearest(pal, ToRgb(16, p));
        if (to == 15)
            return Kept(((p >> 1) & 0x7FE0) | (p & 0x1F), p != 0);
        return ((p & 0x1F) << 3) | ((p & 0x7E0) << 5) | ((p & 0xF800) << 8);
    case 24:
        if (to == 8)
            return (uint32_t)Nearest(pal, Swap(p));
        if (to == 15 || to == 16)
            return Kept(ToNative(to, Swap(p)), p != 0);
        return p;
    default:  // 32: black is decided by the colour bytes, the fourth byte is not colour
        if (to == 8)
            return (uint32_t)Nearest(pal, Swap(p & 0xFFFFFF));
        if (to == 15)
            return Kept(((p & 0xF8) >> 3) | ((p & 0xF800) >> 6) | ((p & 0xF80000) >> 9), (p & 0xFFFFFF) != 0);
        if (to == 16)
            return Kept(((p & 0xF8) >> 3) | ((p & 0xFC00) >> 5) | ((p & 0xF80000) >> 8), (p & 0xFFFFFF) != 0);
        return p & 0xFFFFFF;
    }
}

// The source index behind each destination pixel of a nearest-pixel stretch of n to m with step s (16.16).
// Enlarging: pixel i is repeated floor(s(i+1)) - floor(s i) times. Shrinking: destination j takes the first pixel
// of the j-th group, source ceil(j / s). A row that comes out short gets one more pixel inside the source row.
inline std::vector<int> StretchIndices(int n, int m, uint32_t s)
{
    std::vector<int> out;
    if (s >= 0x10000) {
        for (int i = 0; i < n; i++) {
            uint64_t times = ((uint64_t)s * (i + 1) >> 16) - ((uint64_t)s * i >> 16);
            for (uint64_t k = 0; k < times; k++)
                out.push_back(i);
        }
        if ((int)out.size() < m)
            out.push_back(n - 1);
    } else {
        int groups = (int)(((uint64_t)s * n) >> 16);
        for (int j = 0; j < groups; j++)
            out.push_back((int)((((uint64_t)j << 16) + s - 1) / s));
        if ((int)out.size() < m)
            out.push_back(std::min((int)((((uint64_t)groups << 16) + s - 1) / s), n - 1));
    }
    if ((int)out.size() > m)
        out.resize(m);
    return out;
}

}  // namespace ref
