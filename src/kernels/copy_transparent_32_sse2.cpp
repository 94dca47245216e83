// Transparent copy by key (slot 3 without an alpha plane) of 32-bit pixels with SSE2: 4 pixels per step,
// source where it differs from the key and destination where it matches, stored back whole; the row's last
// pixels one at a time. A block without the key is stored without reading the destination, and one of nothing but
// the key is skipped: sprites are mostly long runs of either. The compare covers the fourth byte, as the plain
// loop's does.
#include <emmintrin.h>

#include "kernels/copy_kernels.h"

namespace kx {

KX_TARGET_SSE2 void CopyTransparent32Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep,
                                        int w, int h, uint32_t key)
{
    __m128i k = _mm_set1_epi32((int)key);
    int blocks = w / 4, rest = w % 4;
    for (int j = 0; j < h; j++, dst += dstStep, src += srcStep) {
        uint8_t* d = dst;
        const uint8_t* s = src;
        for (int b = 0; b < blocks; b++, d += 16, s += 16) {
            __m128i sv = _mm_loadu_si128((const __m128i*)s);
            __m128i m = _mm_cmpeq_epi32(sv, k);
            int keyed = _mm_movemask_epi8(m);
            if (keyed == 0xFFFF)
                continue;
            if (keyed == 0) {
                _mm_storeu_si128((__m128i*)d, sv);
                continue;
            }
            __m128i dv = _mm_loadu_si128((const __m128i*)d);
            _mm_storeu_si128((__m128i*)d, _mm_or_si128(_mm_and_si128(m, dv), _mm_andnot_si128(m, sv)));
        }
        CopyTransparentPlain<Format32>(d, 0, s, 0, rest, 1, key);
    }
}

}  // namespace kx
