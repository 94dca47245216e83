// The ink effects written once over the pixel-format traits, and the generic row, run, keyed-row and alpha-row
// loops around their pixel formulas. ink_kernels.cpp builds the routine tables from these; the SIMD rows in
// ink_*_sse2.cpp and ink_blend_mmx.cpp take the plain loops for the pixels left over after their blocks.
//
// Colour domains: arithmetic effects (1, 6, 9, 10, 11, 12) see 8-bit pixels as the destination palette's colours
// (RGB values, written back through the palette's colour cache), 15/16-bit pixels unpacked to RGB values (add and
// subtract work on the packed fields instead), and 24/32-bit pixels as their native 0x00RRGGBB values. Logical
// effects (2, 3, 4, 5, 8) work on the raw pixel values: indices, packed words, three or four bytes.
#pragma once

#include "kernels/copy_kernels.h"
#include "kernels/ink_kernels.h"
#include "kernels/palette_index.h"
#include "kernels/pixel_formats.h"
#include "kernels/pixel_masks.h"

namespace kx {

// Red sits in the low byte of an RGB value and in the high byte of a 24/32-bit native.
template <class F>
constexpr bool NativeDomain()
{
    return F::kBytes >= 3;
}

// A pixel as an arithmetic effect sees it.
template <class F>
inline uint32_t InkColour(const InkContext& c, uint32_t native)
{
    if constexpr (F::kIndexed)
        return KernelEntryColour(c.palette, native);
    else if constexpr (F::kBytes == 2)
        return F::ToRgb(native);
    else
        return native & 0xFFFFFFu;
}

// An arithmetic result back to a pixel: 8-bit through the colour cache, 32-bit with fourth byte 0.
template <class F>
inline uint32_t InkNative(InkContext& c, uint32_t colour)
{
    if constexpr (F::kIndexed)
        return (uint32_t)KernelBlendIndex(c.palette, colour);
    else if constexpr (F::kBytes == 2)
        return F::ToNative(colour);
    else
        return colour;
}

// s + floor((d - s) * p / 128) per channel of two colours (or 0x00RRGGBB natives), q = 128 - p.
inline uint32_t InkBlendLanes(uint32_t s, uint32_t d, uint32_t p, uint32_t q)
{
    uint32_t rb = (((s & 0xFF00FFu) * q + (d & 0xFF00FFu) * p) >> 7) & 0xFF00FFu;
    uint32_t g = (((s & 0xFF00u) * q + (d & 0xFF00u) * p) >> 7) & 0xFF00u;
    return rb | g;
}

// Saturating add and clamped subtract of three channels laid out by the masks: a low, a middle and a high
// channel, each of whose carry lands in the bit above it.
template <uint32_t Low, uint32_t Mid, uint32_t High>
inline uint32_t AddChannels(uint32_t s, uint32_t d)
{
    constexpr uint32_t kOuter = Low | High;
    uint32_t outer = (s & kOuter) + (d & kOuter);
    uint32_t mid = (s & Mid) + (d & Mid);
    if (outer & (Low + (Low & -Low)) & ~Low)  // carry out of the low channel
        outer |= Low;
    if (outer & (High + (High & -High)) & ~High)
        outer |= High;
    if (mid & (Mid + (Mid & -Mid)) & ~Mid)
        mid = Mid;
    return (outer & kOuter) | (mid & Mid);
}

template <uint32_t Low, uint32_t Mid, uint32_t High>
inline uint32_t SubtractChannels(uint32_t s, uint32_t d)
{
    uint32_t r = 0;
    if ((d & High) >= (s & High))
        r |= (d & High) - (s & High);
    if ((d & Mid) >= (s & Mid))
        r |= (d & Mid) - (s & Mid);
    if ((d & Low) >= (s & Low))
        r |= (d & Low) - (s & Low);
    return r;
}

// The channel layouts that add and subtract use: the packed fields of 15/16-bit pixels, bytes otherwise.
template <class F>
struct InkChannels {
    static constexpr uint32_t kLow = F::kBytes == 2 ? 0x1F : 0xFF;
    static constexpr uint32_t kMid = F::kBytes != 2 ? 0xFF00 : F::kIndex == 1 ? 0x3E0 : 0x7E0;
    static constexpr uint32_t kHigh = F::kBytes != 2 ? 0xFF0000 : F::kIndex == 1 ? 0x7C00 : 0xF800;
};

template <class F>
inline uint32_t InkAdd(uint32_t s, uint32_t d)
{
    using C = InkChannels<F>;
    return AddChannels<C::kLow, C::kMid, C::kHigh>(s, d);
}

template <class F>
inline uint32_t InkSubtract(uint32_t s, uint32_t d)
{
    using C = InkChannels<F>;
    return SubtractChannels<C::kLow, C::kMid, C::kHigh>(s, d);
}

// ---------------------------------------------------------------------------------------------------------------
// The effects: Init fills the context's derived fields, Pixel combines native s and d into a native result.

template <class F>
struct InkBlend {
    static constexpr int kCode = INK_BLEND;
    static void Init(InkContext* c)
    {
        c->destinationWeight = ClampInkWeight(c->parameter);
        c->sourceWeight = 128 - c->destinationWeight;
    }
    static uint32_t Pixel(InkContext* c, uint32_t s, uint32_t d)
    {
        return InkNative<F>(*c, InkBlendLanes(InkColour<F>(*c, s), InkColour<F>(*c, d), c->destinationWeight,
                                              c->sourceWeight));
    }
};

struct InkNoInit {
    static void Init(InkContext*) {}
};

// The complement of the colour bits; a 32-bit source keeps its fourth byte, a 15-bit one gains bit 15.
template <class F>
struct InkInvert : InkNoInit {
    static constexpr int kCode = INK_INVERT;
    static uint32_t Pixel(InkContext*, uint32_t s, uint32_t) { return s ^ (PixelMask<F>() & 0xFFFFFFu); }
};

template <class F>
struct InkXor : InkNoInit {
    static constexpr int kCode = INK_XOR;
    static uint32_t Pixel(InkContext*, uint32_t s, uint32_t d) { return s ^ d; }
};

template <class F>
struct InkAnd : InkNoInit {
    static constexpr int kCode = INK_AND;
    static uint32_t Pixel(InkContext*, uint32_t s, uint32_t d) { return s & d; }
};

template <class F>
struct InkOr : InkNoInit {
    static constexpr int kCode = INK_OR;
    static uint32_t Pixel(InkContext*, uint32_t s, uint32_t d) { return s | d; }
};

template <class F>
struct InkAndNot : InkNoInit {
    static constexpr int kCode = INK_AND_NOT;
    static uint32_t Pixel(InkContext*, uint32_t s, uint32_t d) { return ~s & d & PixelMask<F>(); }
};

// Saturating per channel. 32-bit results have fourth byte 0; the packed formats add their fields in place.
template <class F>
struct InkAddEffect : InkNoInit {
    static constexpr int kCode = INK_ADD;
    static uint32_t Pixel(InkContext* c, uint32_t s, uint32_t d)
    {
        if constexpr (F::kBytes == 2)
            return InkAdd<F>(s, d);
        else
            return InkNative<F>(*c, InkAdd<F>(InkColour<F>(*c, s), InkColour<F>(*c, d)));
    }
};

// d - s per channel, clamped at 0. Bits outside the channels (a 32-bit pixel's fourth byte, a 15-bit pixel's
// bit 15) are the destination's own and never borrow from or lend to red.
template <class F>
struct InkSubtractEffect : InkNoInit {
    static constexpr int kCode = INK_SUBTRACT;
    static uint32_t Pixel(InkContext* c, uint32_t s, uint32_t d)
    {
        if constexpr (F::kIndexed) {
            return InkNative<F>(*c, InkSubtract<F>(InkColour<F>(*c, s), InkColour<F>(*c, d)));
        } else {
            constexpr uint32_t kChannels = ColourBits<F>();
            return (d & ~kChannels) | InkSubtract<F>(s & kChannels, d & kChannels);
        }
    }
};

// (5 red + 9 green + 2 blue) >> 4 of the source alone, in every channel of the result.
template <class F>
struct InkGrey : InkNoInit {
    static constexpr int kCode = INK_GREY;
    static uint32_t Pixel(InkContext* c, uint32_t s, uint32_t)
    {
        uint32_t colour = InkColour<F>(*c, s);
        uint32_t red = NativeDomain<F>() ? colour >> 16 & 0xFF : colour & 0xFF;
        uint32_t blue = NativeDomain<F>() ? colour & 0xFF : colour >> 16 & 0xFF;
        uint32_t grey = (2 * blue + 9 * (colour >> 8 & 0xFF) + 5 * red) >> 4;
        return InkNative<F>(*c, grey * 0x010101u);
    }
};

// Weights from the parameter's top byte.
struct InkTopByteWeights {
    static void InitWeights(InkContext* c)
    {
        c->destinationWeight = ClampInkWeight(c->parameter >> 24);
        c->sourceWeight = 128 - c->destinationWeight;
    }
};

// A destination that still holds the transparent value (8-bit: index 0) stands for the backdrop, the parameter's
// low 24 bits taken as they are: an RGB value where colours are RGB values, a native on 24/32 bits.
template <class F>
struct InkBlendBackdrop : InkTopByteWeights {
    static constexpr int kCode = INK_BLEND_BACKDROP;
    static void Init(InkContext* c)
    {
        InitWeights(c);
        c->backdropOrKey = c->parameter & 0xFFFFFFu;
    }
    static uint32_t Pixel(InkContext* c, uint32_t s, uint32_t d)
    {
        bool backdrop = F::kIndexed ? d == 0 : d == (c->transparentNative & PixelMask<F>());
        uint32_t dc = backdrop ? c->backdropOrKey : InkColour<F>(*c, d);
        return InkNative<F>(*c, InkBlendLanes(InkColour<F>(*c, s), dc, c->destinationWeight, c->sourceWeight));
    }
};

// Destinations of the key colour stay; 8-bit compares the key with the destination's palette colour, the other
// formats with the colour bits of the pixel (a 32-bit pixel's fourth byte is not part of its colour). The 8-bit
// result is looked up without adding to the colour cache.
template <class F>
struct InkBlendExceptKey : InkTopByteWeights {
    static constexpr int kCode = INK_BLEND_EXCEPT_KEY;
    static void Init(InkContext* c)
    {
        InitWeights(c);
        uint32_t key = c->parameter & 0xFFFFFFu;
        if constexpr (F::kIndexed)
            c->backdropOrKey = key;
        else
            c->backdropOrKey = F::ToNative(key);
    }
    static uint32_t Pixel(InkContext* c, uint32_t s, uint32_t d)
    {
        uint32_t dc = InkColour<F>(*c, d);
        if ((F::kIndexed ? dc : d & ColourBits<F>()) == c->backdropOrKey)
            return d;
        uint32_t r = InkBlendLanes(InkColour<F>(*c, s), dc, c->destinationWeight, c->sourceWeight);
        if constexpr (F::kIndexed)
            return (uint32_t)KernelPeekIndex(c->palette, r);
        else
            return InkNative<F>(*c, r);
    }
};

// ---------------------------------------------------------------------------------------------------------------
// The loops around a pixel formula.

template <class F, template <class> class E>
void InkInit(InkContext* c)
{
    E<F>::Init(c);
}

template <class F, template <class> class E>
uint32_t InkPixel(InkContext* c, uint32_t s, uint32_t d)
{
    return E<F>::Pixel(c, s, d);
}

template <class F, template <class> class E>
void InkRow(InkContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    for (int i = 0; i < n; i++, src += F::kBytes, dst += F::kBytes)
        F::Store(dst, E<F>::Pixel(c, F::Load(src), F::Load(dst)));
}

template <class F, template <class> class E>
void InkRun(InkContext* c, uint8_t* dst, int n)
{
    uint32_t s = c->transparentNative & PixelMask<F>();
    for (int i = 0; i < n; i++, dst += F::kBytes)
        F::Store(dst, E<F>::Pixel(c, s, F::Load(dst)));
}

template <class F, template <class> class E>
void InkKeyedRow(InkContext* c, const uint8_t* src, uint8_t* dst, int n, uint32_t key)
{
    for (int i = 0; i < n; i++, src += F::kBytes, dst += F::kBytes) {
        uint32_t s = F::Load(src);
        if (s != key)
            F::Store(dst, E<F>::Pixel(c, s, F::Load(dst)));
    }
}

// The effect's result e takes the source's place in the alpha-plane copy: alpha 0 leaves the destination, 255
// writes e, anything else blends e over the destination as the plain alpha copy does.
template <class F, template <class> class E>
void InkAlphaRow(InkContext* c, const uint8_t* src, uint8_t* dst, const uint8_t* alpha, int n)
{
    for (int i = 0; i < n; i++, src += F::kBytes, dst += F::kBytes) {
        uint32_t a = alpha[i];
        if (a == 0)
            continue;
        uint32_t e = E<F>::Pixel(c, F::Load(src), F::Load(dst));
        if (a == 255) {
            F::Store(dst, e);
        } else {
            uint8_t pixel[4];
            F::Store(pixel, e);
            BlendPixel<F>(dst, pixel, a, c->palette);
        }
    }
}

template <class F, template <class> class E>
constexpr InkRoutines PlainInkRoutines()
{
    return InkRoutines{InkInit<F, E>, InkPixel<F, E>, InkRow<F, E>, InkRun<F, E>, InkKeyedRow<F, E>,
                       InkAlphaRow<F, E>};
}

}  // namespace kx
