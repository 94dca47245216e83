// Transparent copy by key (slot 3 without an alpha plane) of 16-bit pixels with SSE2, 8 pixels per register:
// source where it differs from the key, destination where it matches. 15- and 16-bit pixels compare alike.
#include "kernels/copy_transparent_sse2.h"

namespace kx {

KX_TARGET_SSE2 void CopyTransparent16Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep,
                                           int w, int h, uint32_t key)
{
    CopyTransparentRowsSse2<Format16>(dst, dstStep, src, srcStep, w, h, key, _mm_set1_epi16((short)key));
}

}  // namespace kx
