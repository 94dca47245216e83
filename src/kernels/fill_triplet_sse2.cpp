// Fill (slot 2) of 24-bit surfaces with SSE2 stores. Three pixels never fill a whole register, but sixteen fill
// three: the row is stored 48 bytes at a time from three registers holding the triplet at the three phases, and
// the last 0 to 15 pixels as triplets.
#include <emmintrin.h>

#include "kernels/pixel_formats.h"
#include "kernels/simd_kernels.h"

namespace kx {

KX_TARGET_SSE2 void FillTripletSse2(uint8_t* row, ptrdiff_t rowStep, int w, int h, uint32_t native)
{
    alignas(16) uint8_t pattern[48];
    for (int i = 0; i < 16; i++)
        Format24::Store(pattern + 3 * i, native);
    __m128i p0 = _mm_load_si128((const __m128i*)pattern);
    __m128i p1 = _mm_load_si128((const __m128i*)(pattern + 16));
    __m128i p2 = _mm_load_si128((const __m128i*)(pattern + 32));
    for (int j = 0; j < h; j++, row += rowStep) {
        uint8_t* p = row;
        int n = w;
        for (; n >= 16; n -= 16, p += 48) {
            _mm_storeu_si128((__m128i*)p, p0);
            _mm_storeu_si128((__m128i*)(p + 16), p1);
            _mm_storeu_si128((__m128i*)(p + 32), p2);
        }
        for (; n > 0; n--, p += 3)
            Format24::Store(p, native);
    }
}

}  // namespace kx
