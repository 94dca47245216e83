// Alpha-plane copy (slot 3 with a source alpha plane) of 15- and 16-bit pixels with SSE2, eight pixels per
// register. Sixteen alpha bytes are tested at once, so clear runs touch nothing and opaque runs are plain copies;
// mixed blocks blend.
//
// The plain kernel widens both pixels to 8-bit channels with zero low bits, blends and narrows again. A channel c
// of n bits becomes c << (8 - n), and narrowing drops the same low bits, so the result channel is
// floor((s * a + d * (256 - a)) / 256) on the narrow fields themselves: d + ((s - d) * a >> 8) with an arithmetic
// shift, which fits 16-bit lanes (|s - d| <= 63, a <= 255); alpha 0 gives d. Alpha 255 copies the source word
// whole (bit 15 of a 15-bit source included); a blended 15-bit pixel has bit 15 clear, as the conversion back
// writes it, and one under alpha 0 keeps the destination's.
#include <emmintrin.h>

#include "kernels/copy_kernels.h"

namespace kx {

namespace {

// How far one channel of eight pixels moves: the field of `bits` bits at `shift`, blended by a (16-bit lanes,
// 0..255), as (s - d) * a >> 8 put back at the field's place. Every field stays inside its range after the move,
// so the moves of all fields can simply be added to the destination word: no borrow crosses a field.
template <int Shift, int Bits>
KX_TARGET_SSE2 inline __m128i FieldDelta(__m128i s, __m128i d, __m128i a)
{
    __m128i sf = s, df = d;
    if constexpr (Shift != 0) {
        sf = _mm_srli_epi16(sf, Shift);
        df = _mm_srli_epi16(df, Shift);
    }
    if constexpr (Shift + Bits != 16) {
        const __m128i mask = _mm_set1_epi16((short)((1 << Bits) - 1));
        sf = _mm_and_si128(sf, mask);
        df = _mm_and_si128(df, mask);
    }
    __m128i delta = _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(sf, df), a), 8);
    if constexpr (Shift != 0)
        delta = _mm_slli_epi16(delta, Shift);
    return delta;
}

// Eight pixels: a8 their alpha bytes.
template <bool SixBitGreen>
KX_TARGET_SSE2 inline __m128i Blend8(__m128i s, __m128i d, __m128i a8)
{
    __m128i a = _mm_unpacklo_epi8(a8, _mm_setzero_si128());
    __m128i blend;
    if constexpr (SixBitGreen) {
        blend = _mm_add_epi16(_mm_add_epi16(d, FieldDelta<0, 5>(s, d, a)),
                              _mm_add_epi16(FieldDelta<5, 6>(s, d, a), FieldDelta<11, 5>(s, d, a)));
    } else {
        blend = _mm_add_epi16(_mm_add_epi16(d, FieldDelta<0, 5>(s, d, a)),
                              _mm_add_epi16(FieldDelta<5, 5>(s, d, a), FieldDelta<10, 5>(s, d, a)));
        // A blended colour has no bit 15; alpha 0 leaves the destination's as it is.
        __m128i clear = _mm_cmpeq_epi16(a, _mm_setzero_si128());
        blend = _mm_and_si128(blend, _mm_or_si128(_mm_set1_epi16(0x7FFF), clear));
    }
    __m128i opaque = _mm_cmpeq_epi16(a, _mm_set1_epi16(255));
    return _mm_or_si128(_mm_and_si128(opaque, s), _mm_andnot_si128(opaque, blend));
}

// Eight pixels at d from s by the alpha bytes in the low half of a8: nothing, a copy or a blend.
template <bool SixBitGreen>
KX_TARGET_SSE2 inline void Step8(uint8_t* d, const uint8_t* s, __m128i a8, int clear, int opaque)
{
    if (clear == 0xFF)
        return;
    __m128i sv = _mm_loadu_si128((const __m128i*)s);
    if (opaque != 0xFF)
        sv = Blend8<SixBitGreen>(sv, _mm_loadu_si128((const __m128i*)d), a8);
    _mm_storeu_si128((__m128i*)d, sv);
}

template <class F, bool SixBitGreen>
KX_TARGET_SSE2 inline void CopyAlpha16(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep,
                                       const uint8_t* alpha, ptrdiff_t alphaStep, int w, int h)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi32(-1);
    for (int j = 0; j < h; j++, dst += dstStep, src += srcStep, alpha += alphaStep) {
        uint8_t* d = dst;
        const uint8_t* s = src;
        const uint8_t* a = alpha;
        int n = w;
        for (; n >= 16; n -= 16, d += 32, s += 32, a += 16) {
            __m128i av = _mm_loadu_si128((const __m128i*)a);
            int clear = _mm_movemask_epi8(_mm_cmpeq_epi8(av, zero));
            if (clear == 0xFFFF)
                continue;
            int opaque = _mm_movemask_epi8(_mm_cmpeq_epi8(av, ones));
            if (opaque == 0xFFFF) {
                __m128i s0 = _mm_loadu_si128((const __m128i*)s);
                __m128i s1 = _mm_loadu_si128((const __m128i*)(s + 16));
                _mm_storeu_si128((__m128i*)d, s0);
                _mm_storeu_si128((__m128i*)(d + 16), s1);
                continue;
            }
            Step8<SixBitGreen>(d, s, av, clear & 0xFF, opaque & 0xFF);
            Step8<SixBitGreen>(d + 16, s + 16, _mm_unpackhi_epi64(av, av), clear >> 8, opaque >> 8);
        }
        if (n >= 8) {
            __m128i av = _mm_loadl_epi64((const __m128i*)a);
            int clear = _mm_movemask_epi8(_mm_cmpeq_epi8(av, zero)) & 0xFF;
            int opaque = _mm_movemask_epi8(_mm_cmpeq_epi8(av, ones)) & 0xFF;
            Step8<SixBitGreen>(d, s, av, clear, opaque);
            n -= 8, d += 16, s += 16, a += 8;
        }
        CopyAlphaPlain<F>(d, 0, s, 0, a, 0, n, 1, nullptr);
    }
}

}  // namespace

KX_TARGET_SSE2 void CopyAlpha15Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep,
                                    const uint8_t* alpha, ptrdiff_t alphaStep, int w, int h)
{
    CopyAlpha16<Format15, false>(dst, dstStep, src, srcStep, alpha, alphaStep, w, h);
}

KX_TARGET_SSE2 void CopyAlpha16Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep,
                                    const uint8_t* alpha, ptrdiff_t alphaStep, int w, int h)
{
    CopyAlpha16<Format16, true>(dst, dstStep, src, srcStep, alpha, alphaStep, w, h);
}

}  // namespace kx
