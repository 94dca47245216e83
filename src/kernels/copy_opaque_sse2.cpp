// Opaque copy (slot 5, every format) with SSE2 moves: 64 bytes per step, then 16, then the row's last bytes.
#include <emmintrin.h>
#include <string.h>

#include "kernels/simd_kernels.h"

namespace kx {

KX_TARGET_SSE2 void CopyOpaqueSse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep,
                                   int bytes, int h)
{
    for (int j = 0; j < h; j++, dst += dstStep, src += srcStep) {
        uint8_t* d = dst;
        const uint8_t* s = src;
        int n = bytes;
        for (; n >= 64; n -= 64, d += 64, s += 64) {
            __m128i a = _mm_loadu_si128((const __m128i*)s);
            __m128i b = _mm_loadu_si128((const __m128i*)(s + 16));
            __m128i c = _mm_loadu_si128((const __m128i*)(s + 32));
            __m128i e = _mm_loadu_si128((const __m128i*)(s + 48));
            _mm_storeu_si128((__m128i*)d, a);
            _mm_storeu_si128((__m128i*)(d + 16), b);
            _mm_storeu_si128((__m128i*)(d + 32), c);
            _mm_storeu_si128((__m128i*)(d + 48), e);
        }
        for (; n >= 16; n -= 16, d += 16, s += 16)
            _mm_storeu_si128((__m128i*)d, _mm_loadu_si128((const __m128i*)s));
        memcpy(d, s, (size_t)n);
    }
}

}  // namespace kx
