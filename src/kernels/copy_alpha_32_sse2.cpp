// Alpha-plane copy (slot 3 with a source alpha plane) of 32-bit pixels with SSE2. Alpha planes are mostly runs of
// 0 and 255 with soft edges between them, so sixteen alpha bytes are tested at once: a clear run touches nothing,
// an opaque run is a plain copy, and only mixed blocks blend, four pixels at a time.
//
// The blend is d + floor((s - d) * a / 256) per colour byte, which is the plain two-lane formula
// ((s * a + d * (256 - a)) >> 8, no carries between lanes) rewritten; one signed high multiply gives it exactly:
// (2 * (s - d)) * (128 * a) >> 16. The fourth byte's alpha is zeroed, so a blended pixel keeps the destination's
// fourth byte, and alpha 255 takes the whole source pixel, as in the plain loop.
#include <emmintrin.h>

#include "kernels/copy_kernels.h"

namespace kx {

namespace {

// Four pixels: s and d the source and destination, a4 their four alpha bytes (neither all 0 nor all 255). Each
// 16-bit lane holds one colour byte (blue and red, then green and the fourth byte shifted down), so nothing has
// to be unpacked or packed again; the blend leaves every lane's high byte 0.
KX_TARGET_SSE2 inline __m128i Blend4(__m128i s, __m128i d, uint32_t a4)
{
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    __m128i av = _mm_cvtsi32_si128((int)a4);
    av = _mm_unpacklo_epi8(av, av);
    av = _mm_unpacklo_epi16(av, av);  // each pixel's alpha in every byte of its lane
    __m128i opaque = _mm_cmpeq_epi32(av, _mm_set1_epi32(-1));
    __m128i a128 = _mm_slli_epi16(_mm_srli_epi16(av, 8), 7);
    __m128i a128Green = _mm_and_si128(a128, _mm_set1_epi32(0x0000FFFF));  // the fourth byte keeps the destination's
    __m128i sRb = _mm_and_si128(s, lowBytes), dRb = _mm_and_si128(d, lowBytes);
    __m128i sGx = _mm_srli_epi16(s, 8), dGx = _mm_srli_epi16(d, 8);
    __m128i rb = _mm_add_epi16(dRb, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(sRb, dRb), 1), a128));
    __m128i gx = _mm_add_epi16(dGx, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(sGx, dGx), 1), a128Green));
    __m128i blend = _mm_or_si128(rb, _mm_slli_epi16(gx, 8));
    return _mm_or_si128(_mm_and_si128(opaque, s), _mm_andnot_si128(opaque, blend));
}

// Four pixels at d from s by the alpha bytes a4: nothing, a copy or a blend.
KX_TARGET_SSE2 inline void Step4(uint8_t* d, const uint8_t* s, uint32_t a4)
{
    if (a4 == 0)
        return;
    __m128i sv = _mm_loadu_si128((const __m128i*)s);
    if (a4 != 0xFFFFFFFFu)
        sv = Blend4(sv, _mm_loadu_si128((const __m128i*)d), a4);
    _mm_storeu_si128((__m128i*)d, sv);
}

}  // namespace

KX_TARGET_SSE2 void CopyAlpha32Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep,
                                    const uint8_t* alpha, ptrdiff_t alphaStep, int w, int h)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi32(-1);
    for (int j = 0; j < h; j++, dst += dstStep, src += srcStep, alpha += alphaStep) {
        uint8_t* d = dst;
        const uint8_t* s = src;
        const uint8_t* a = alpha;
        int n = w;
        for (; n >= 16; n -= 16, d += 64, s += 64, a += 16) {
            __m128i av = _mm_loadu_si128((const __m128i*)a);
            int clear = _mm_movemask_epi8(_mm_cmpeq_epi8(av, zero));
            if (clear == 0xFFFF)
                continue;
            int opaque = _mm_movemask_epi8(_mm_cmpeq_epi8(av, ones));
            if (opaque == 0xFFFF) {
                __m128i s0 = _mm_loadu_si128((const __m128i*)s);
                __m128i s1 = _mm_loadu_si128((const __m128i*)(s + 16));
                __m128i s2 = _mm_loadu_si128((const __m128i*)(s + 32));
                __m128i s3 = _mm_loadu_si128((const __m128i*)(s + 48));
                _mm_storeu_si128((__m128i*)d, s0);
                _mm_storeu_si128((__m128i*)(d + 16), s1);
                _mm_storeu_si128((__m128i*)(d + 32), s2);
                _mm_storeu_si128((__m128i*)(d + 48), s3);
                continue;
            }
            for (int q = 0; q < 4; q++)
                Step4(d + 16 * q, s + 16 * q, Load32(a + 4 * q));
        }
        for (; n >= 4; n -= 4, d += 16, s += 16, a += 4)
            Step4(d, s, Load32(a));
        CopyAlphaPlain<Format32>(d, 0, s, 0, a, 0, n, 1, nullptr);
    }
}

}  // namespace kx
