// Alpha-plane copy (slot 3 with a source alpha plane) of 32-bit pixels with SSE2, four pixels per step. Each
// colour byte becomes (s * a + d * (256 - a)) >> 8 in 16-bit lanes - the plain kernel's two-lane formula taken a
// channel at a time, which gives the same bytes because no lane there carries into the next. Alpha 255 copies the
// whole source pixel, and otherwise the destination keeps its fourth byte, as in the plain loop.
#include <emmintrin.h>

#include "kernels/copy_kernels.h"

namespace kx {

KX_TARGET_SSE2 void CopyAlpha32Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep,
                                    const uint8_t* alpha, ptrdiff_t alphaStep, int w, int h)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi32(-1);
    const __m128i k256 = _mm_set1_epi16(256);
    const __m128i fourth = _mm_set1_epi32((int)0xFF000000u);
    int blocks = w / 4, rest = w % 4;
    for (int j = 0; j < h; j++, dst += dstStep, src += srcStep, alpha += alphaStep) {
        uint8_t* d = dst;
        const uint8_t* s = src;
        const uint8_t* a = alpha;
        for (int b = 0; b < blocks; b++, d += 16, s += 16, a += 4) {
            uint32_t a4 = Load32(a);
            if (a4 == 0)
                continue;
            __m128i sv = _mm_loadu_si128((const __m128i*)s);
            if (a4 == 0xFFFFFFFFu) {
                _mm_storeu_si128((__m128i*)d, sv);
                continue;
            }
            __m128i dv = _mm_loadu_si128((const __m128i*)d);
            // Each pixel's alpha in all four bytes of its lane.
            __m128i av = _mm_cvtsi32_si128((int)a4);
            av = _mm_unpacklo_epi8(av, av);
            av = _mm_unpacklo_epi16(av, av);
            __m128i aLo = _mm_unpacklo_epi8(av, zero), aHi = _mm_unpackhi_epi8(av, zero);
            __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), aLo),
                                       _mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), _mm_sub_epi16(k256, aLo)));
            __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), aHi),
                                       _mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), _mm_sub_epi16(k256, aHi)));
            __m128i blend = _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
            blend = _mm_or_si128(_mm_andnot_si128(fourth, blend), _mm_and_si128(fourth, dv));
            __m128i opaque = _mm_cmpeq_epi32(av, ones);
            _mm_storeu_si128((__m128i*)d, _mm_or_si128(_mm_and_si128(opaque, sv), _mm_andnot_si128(opaque, blend)));
        }
        CopyAlphaPlain<Format32>(d, 0, s, 0, a, 0, rest, 1, nullptr);
    }
}

}  // namespace kx
