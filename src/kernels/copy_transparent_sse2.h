// The row loop shared by the SSE2 transparent copies of 8-, 16- and 32-bit pixels (the 24-bit one has its own:
// its pixels straddle registers). Only the compare differs between them.
#pragma once

#include <emmintrin.h>

#include "kernels/copy_kernels.h"

namespace kx {

template <class F>
KX_TARGET_SSE2 inline __m128i KeyMask(__m128i v, __m128i key)
{
    if constexpr (F::kBytes == 1)
        return _mm_cmpeq_epi8(v, key);
    else if constexpr (F::kBytes == 2)
        return _mm_cmpeq_epi16(v, key);
    else
        return _mm_cmpeq_epi32(v, key);
}

// Sixteen bytes: skipped when all key, stored without reading the destination when none is, merged otherwise.
template <class F>
KX_TARGET_SSE2 inline void TransparentStep16(uint8_t* d, __m128i sv, __m128i m, int keyed)
{
    if (keyed == 0xFFFF)
        return;
    if (keyed != 0)
        sv = _mm_or_si128(_mm_and_si128(m, _mm_loadu_si128((const __m128i*)d)), _mm_andnot_si128(m, sv));
    _mm_storeu_si128((__m128i*)d, sv);
}

// Sources are mostly long runs of key and of other pixels, so 64 bytes are looked at together first; the row's
// last pixels (fewer than 16 bytes) go one at a time.
template <class F>
KX_TARGET_SSE2 inline void CopyTransparentRowsSse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src,
                                                   ptrdiff_t srcStep, int w, int h, uint32_t key, __m128i k)
{
    const int perReg = 16 / F::kBytes;
    for (int j = 0; j < h; j++, dst += dstStep, src += srcStep) {
        uint8_t* d = dst;
        const uint8_t* s = src;
        int n = w;
        for (; n >= 4 * perReg; n -= 4 * perReg, d += 64, s += 64) {
            __m128i s0 = _mm_loadu_si128((const __m128i*)s);
            __m128i s1 = _mm_loadu_si128((const __m128i*)(s + 16));
            __m128i s2 = _mm_loadu_si128((const __m128i*)(s + 32));
            __m128i s3 = _mm_loadu_si128((const __m128i*)(s + 48));
            __m128i m0 = KeyMask<F>(s0, k), m1 = KeyMask<F>(s1, k), m2 = KeyMask<F>(s2, k), m3 = KeyMask<F>(s3, k);
            int any = _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3)));
            if (any == 0) {
                _mm_storeu_si128((__m128i*)d, s0);
                _mm_storeu_si128((__m128i*)(d + 16), s1);
                _mm_storeu_si128((__m128i*)(d + 32), s2);
                _mm_storeu_si128((__m128i*)(d + 48), s3);
                continue;
            }
            int all = _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(m0, m1), _mm_and_si128(m2, m3)));
            if (all == 0xFFFF)
                continue;
            TransparentStep16<F>(d, s0, m0, _mm_movemask_epi8(m0));
            TransparentStep16<F>(d + 16, s1, m1, _mm_movemask_epi8(m1));
            TransparentStep16<F>(d + 32, s2, m2, _mm_movemask_epi8(m2));
            TransparentStep16<F>(d + 48, s3, m3, _mm_movemask_epi8(m3));
        }
        for (; n >= perReg; n -= perReg, d += 16, s += 16) {
            __m128i sv = _mm_loadu_si128((const __m128i*)s);
            __m128i m = KeyMask<F>(sv, k);
            TransparentStep16<F>(d, sv, m, _mm_movemask_epi8(m));
        }
        CopyTransparentPlain<F>(d, 0, s, 0, n, 1, key);
    }
}

}  // namespace kx
