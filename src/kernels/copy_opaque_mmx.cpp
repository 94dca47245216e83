// Opaque copy (slot 5, every format) with MMX moves: 32 bytes per step, then 8, then the row's last 1 to 7 bytes.
#include <mmintrin.h>
#include <string.h>

#include "kernels/simd_kernels.h"

namespace kx {

KX_TARGET_MMX void CopyOpaqueMmx(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep, int bytes,
                                 int h)
{
    for (int j = 0; j < h; j++, dst += dstStep, src += srcStep) {
        uint8_t* d = dst;
        const uint8_t* s = src;
        int n = bytes;
        for (; n >= 32; n -= 32, d += 32, s += 32) {
            __m64 a = ((const __m64_u*)s)[0], b = ((const __m64_u*)s)[1];
            __m64 c = ((const __m64_u*)s)[2], e = ((const __m64_u*)s)[3];
            ((__m64_u*)d)[0] = a;
            ((__m64_u*)d)[1] = b;
            ((__m64_u*)d)[2] = c;
            ((__m64_u*)d)[3] = e;
        }
        for (; n >= 8; n -= 8, d += 8, s += 8)
            *(__m64_u*)d = *(const __m64_u*)s;
        memcpy(d, s, (size_t)n);
    }
    _mm_empty();
}

}  // namespace kx
