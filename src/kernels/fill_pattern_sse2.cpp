// Fill (slot 2) of 8-, 15-, 16- and 32-bit surfaces with SSE2 stores: blocks of 64 bytes, then 16-byte stores,
// then the last 1 to 15 bytes of the row from the pattern.
#include <emmintrin.h>
#include <string.h>

#include "kernels/simd_kernels.h"

namespace kx {

KX_TARGET_SSE2 void FillPatternSse2(uint8_t* row, ptrdiff_t rowStep, int bytes, int h, uint64_t pattern)
{
    __m128i v = _mm_set1_epi64x((long long)pattern);
    uint64_t tail[2] = {pattern, pattern};
    for (int j = 0; j < h; j++, row += rowStep) {
        uint8_t* p = row;
        int n = bytes;
        for (; n >= 64; n -= 64, p += 64) {
            _mm_storeu_si128((__m128i*)p, v);
            _mm_storeu_si128((__m128i*)(p + 16), v);
            _mm_storeu_si128((__m128i*)(p + 32), v);
            _mm_storeu_si128((__m128i*)(p + 48), v);
        }
        for (; n >= 16; n -= 16, p += 16)
            _mm_storeu_si128((__m128i*)p, v);
        memcpy(p, tail, (size_t)n);
    }
}

}  // namespace kx
