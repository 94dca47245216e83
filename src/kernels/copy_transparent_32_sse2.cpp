// Transparent copy by key (slot 3 without an alpha plane) of 32-bit pixels with SSE2, 4 pixels per register:
// source where it differs from the key, destination where it matches. The compare covers the fourth byte, as
// the plain loop's does.
#include "kernels/copy_transparent_sse2.h"

namespace kx {

KX_TARGET_SSE2 void CopyTransparent32Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep,
                                           int w, int h, uint32_t key)
{
    CopyTransparentRowsSse2<Format32>(dst, dstStep, src, srcStep, w, h, key, _mm_set1_epi32((int)key));
}

}  // namespace kx
