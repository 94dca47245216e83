// Fill (slot 2) of 8-, 15-, 16- and 32-bit surfaces with MMX stores: blocks of 32 bytes (four 8-byte stores),
// then single 8-byte stores, then the last 1 to 7 bytes of the row from the pattern's low bytes.
#include <mmintrin.h>
#include <string.h>

#include "kernels/simd_kernels.h"

namespace kx {

KX_TARGET_MMX void FillPatternMmx(uint8_t* row, ptrdiff_t rowStep, int bytes, int h, uint64_t pattern)
{
    __m64 v = _mm_set_pi32((int)(pattern >> 32), (int)pattern);
    for (int j = 0; j < h; j++, row += rowStep) {
        uint8_t* p = row;
        int n = bytes;
        for (; n >= 32; n -= 32, p += 32) {
            ((__m64_u*)p)[0] = v;
            ((__m64_u*)p)[1] = v;
            ((__m64_u*)p)[2] = v;
            ((__m64_u*)p)[3] = v;
        }
        for (; n >= 8; n -= 8, p += 8)
            *(__m64_u*)p = v;
        memcpy(p, &pattern, (size_t)n);
    }
    _mm_empty();
}

}  // namespace kx
