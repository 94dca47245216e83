// One pixel from one format into another, written once over the pixel-format traits, and the plain row loop
// around it. Between formats that are not indexed a pixel goes through its RGB value (no low-bit replication, so
// 5- and 6-bit fields keep their zero low bits); a 15/16-bit result that comes out 0 from a non-black source
// becomes 1, so that colour never turns into the black that marks transparent pixels.
#pragma once

#include <string.h>

#include "kernels/convert_kernels.h"
#include "kernels/palette_index.h"
#include "kernels/pixel_formats.h"
#include "kernels/pixel_masks.h"

namespace kx {

template <class D>
inline uint32_t NativeFromColour(uint32_t rgb, bool nonBlack)
{
    uint32_t v = D::ToNative(rgb);
    if constexpr (D::kBytes == 2) {
        if (v == 0 && nonBlack)
            v = 1;
    }
    return v;
}

// An 8-bit source's pixels are looked up in c.natives; an 8-bit destination gets the nearest index (black is
// index 0) through the palette's colour cache. Whether a source is black is decided by its colour bits: a 32-bit
// pixel whose fourth byte alone is set is black.
template <class S, class D>
inline uint32_t ConvertPixel(const ConvertContext* c, uint32_t p)
{
    if constexpr (S::kIndexed)
        return c->natives[p];
    else if constexpr (D::kIndexed)
        return (uint32_t)KernelColourToIndex(c->palette, S::ToRgb(p));
    else
        return NativeFromColour<D>(S::ToRgb(p), (p & ColourBits<S>()) != 0);
}

template <class S, class D>
void ConvertRow(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    if constexpr (S::kIndex == D::kIndex) {
        memcpy(dst, src, (size_t)n * S::kBytes);
    } else if constexpr (S::kIndexed && D::kBytes == 4) {
        // Four indices per load, four independent lookups and two 8-byte stores: the loop is bound by its loads.
        int i = 0;
        for (; i + 4 <= n; i += 4, src += 4, dst += 16) {
            uint32_t four = Load32(src);
            uint64_t lo = c->natives[four & 0xFF] | (uint64_t)c->natives[(four >> 8) & 0xFF] << 32;
            uint64_t hi = c->natives[(four >> 16) & 0xFF] | (uint64_t)c->natives[four >> 24] << 32;
            memcpy(dst, &lo, 8);
            memcpy(dst + 8, &hi, 8);
        }
        for (; i < n; i++, src++, dst += 4)
            Store32(dst, c->natives[*src]);
    } else {
        for (int i = 0; i < n; i++, src += S::kBytes, dst += D::kBytes)
            D::Store(dst, ConvertPixel<S, D>(c, S::Load(src)));
    }
}

}  // namespace kx
